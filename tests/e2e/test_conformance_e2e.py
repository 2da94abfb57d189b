# SPDX-License-Identifier: GPL-3.0-or-later
"""The same checks, end to end, on every binding's program: the Qt build
under Xvfb with openbox, its tree read through AT-SPI (pyatspi: run that
class with /usr/bin/python3), and the Windows build under Wine, its tree read
through MSAA (msaa_names.exe), and the browser build in headless Chromium,
its tree read through the DevTools Protocol (/usr/bin/python3 too). One
start of each carries every check, in the order of the test names; what
differs between them lies in its adapter: how it starts, how its tree and a
screen reader's events are read, how a screen reader presses.

    test_conformance_e2e.py QtConformanceTest
    test_conformance_e2e.py WindowsConformanceTest
    test_conformance_e2e.py WebConformanceTest"""
import collections
import contextlib
import importlib.util
import os
import re
import sys
import threading
import unittest
import warnings

from testbed import e2e
from testbed.e2e import FOR_ANSWER, INTERNAL, NAMES, STANDARD_WALK, WALK_NAMES, WRONG
from testbed.e2e.wine import WINDOW_S, AccessibleEvents, WineAbacorn, WinePrefix, accessible_tree

# A node of the tree as both adapters give it: AT-SPI's role names, the
# states that tell of the focus, hidden nodes left out; location (x, y, w, h).
Node = collections.namedtuple("Node", "name role states value location")
MSAA_ROLES = {43: "push button", 41: "label", 46: "combo box", 33: "list", 34: "list item"}
FOCUS_STATES = {"focused", "focusable"}
TILE = re.compile(r"^Answer [1-6]: \d+$")
# Where the design puts a control, by what a screen reader calls it.
PLACES = [("Flash card", "lblClickMe"), ("Addition", "picPlus"), ("Smallest number", "cmbMinNum"),
          ("Speech on", "Picture1"), ("Close Program", "Command1")]


def heard(events, until):
    """Whether (kind, name) events hold `until`, "kind:name", a name ending
    in * standing for every name that begins so."""
    if until.endswith("*"):
        return any((k + ":" + n).startswith(until[:-1]) for k, n in events)
    return any(k + ":" + n == until for k, n in events)


class Heard:
    """What a screen reader heard while the test acted."""
    events = ()


class QtProgram:
    """The Qt build under openbox, with the accessibility bus of
    at-spi2-core; pyatspi as the screen reader."""

    def __init__(self):
        self.bus = None
        self.told = []

    def session(self):
        return e2e.Session(desktop=self.desktop, program=self.program)

    def desktop(self, x):
        if importlib.util.find_spec("pyatspi") is None:
            raise e2e.E2EError("no pyatspi for %s: run this class with /usr/bin/python3" % sys.executable)
        beside = contextlib.ExitStack()
        try:
            # Alt+F4 as a desktop binds it: the window manager's close.
            beside.callback(e2e.Openbox(x, e2e.OPENBOX_RC % e2e.ALT_F4_CLOSES).start().stop)
            self.bus = beside.enter_context(e2e.AccessibilityBus(x))
        except BaseException:
            beside.close()
            raise
        beside.stop = beside.close
        # The client connects to the buses named in its environment.
        os.environ.update(self.bus.env())
        warnings.simplefilter("ignore", DeprecationWarning)  # pyatspi's own calls
        import pyatspi
        from gi.repository import Atspi, GLib
        self.pyatspi, self.context = pyatspi, GLib.MainContext.default()
        self.listener = Atspi.EventListener.new(self.on_event)
        for kind in ["object:property-change:accessible-name", "object:property-change:accessible-value",
                     "object:value-changed", "object:selection-changed", "object:state-changed:focused",
                     "object:state-changed:showing"]:
            self.listener.register(kind)
        return beside

    def program(self, x):
        return e2e.Abacorn(x, env={"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
                                   "DBUS_SESSION_BUS_ADDRESS": self.bus.address})

    def on_event(self, ev):
        kind = {"object:property-change:accessible-name": "name", "object:property-change:accessible-value": "value",
                "object:value-changed": "value", "object:selection-changed": "value",
                "object:state-changed:focused": "focus", "object:state-changed:showing": "show"}.get(ev.type)
        if kind in ("focus", "show") and not ev.detail1:
            return
        try:
            self.told.append((kind, ev.source.name or ""))
        except Exception:  # a source gone by now
            pass

    def pump(self):
        while self.context.iteration(False):
            pass

    def accessibles(self):
        """The trainer's accessible objects, depth first, from the
        application down."""
        return [acc for app in self.pyatspi.Registry.getDesktop(0) if app is not None and app.name == "abacorn"
                for acc in e2e.accessible_subtree(app)]

    def node(self, acc):
        role = acc.getRoleName()
        states = acc.getState()
        try:
            ext = acc.queryComponent().getExtents(self.pyatspi.DESKTOP_COORDS) if role != "application" else None
        except NotImplementedError:  # Qt's bridge gives an object of no size no place
            ext = None
        return Node(acc.name, role,
                    {s for s, code in [("focused", self.pyatspi.STATE_FOCUSED),
                                       ("focusable", self.pyatspi.STATE_FOCUSABLE)] if states.contains(code)},
                    acc.queryText().getText(0, -1) if role == "combo box" else "",
                    (ext.x, ext.y, ext.width, ext.height) if ext else None)

    def tree(self, s):
        def look():
            nodes = [self.node(a) for a in self.accessibles()]
            return nodes if any(n.name == "Flash card" for n in nodes) else None
        return e2e.wait_until(look, e2e.TIMEOUT, interval=0.1, what="the trainer in the tree")

    def press(self, s, name):
        action = next(a for a in self.accessibles() if a.name == name).queryAction()
        action.doAction([action.getName(i) for i in range(action.nActions)].index("Press"))

    @contextlib.contextmanager
    def events(self, s, until):
        self.pump()
        first = len(self.told)
        result = Heard()
        yield result
        try:
            e2e.wait_until(lambda: self.pump() or heard(self.told[first:], until), s.app.pause_limit(),
                           interval=0.05, what=until)
            # Every event raised with that one comes before the answer to a call.
            self.accessibles()
            self.pump()
        except e2e.E2EError:
            pass
        result.events = list(self.told[first:])


class WindowsProgram:
    """The Windows build under Wine, no window manager (Wine's own
    handles Alt+F4); msaa_names.exe as the screen reader."""

    def __init__(self):
        self.prefix = None

    def session(self):
        self.prefix = WinePrefix().__enter__()
        return e2e.Session(timeout=WINDOW_S, program=lambda x: WineAbacorn(x, prefix=self.prefix))

    def close(self):
        if self.prefix is not None:
            self.prefix.close()

    def tree(self, s):
        nodes, _ = accessible_tree(self.prefix, s.x)
        return [Node(n.name, MSAA_ROLES.get(n.role, n.role), n.states & FOCUS_STATES, n.value, n.location)
                for n in nodes if "invisible" not in n.states]

    def press(self, s, name):
        accessible_tree(self.prefix, s.x, "--press", name)

    @contextlib.contextmanager
    def events(self, s, until):
        result = Heard()
        listening = AccessibleEvents(self.prefix, s.x, until, timeout=s.app.pause_limit()).__enter__()
        try:
            yield result
        except BaseException:
            listening.__exit__(*sys.exc_info())
            raise
        try:
            listening.__exit__(None, None, None)
        except e2e.E2EError:
            pass  # not heard: the test judges what was
        result.events = listening.events or []


class WebProgram:
    """The browser build in headless Chromium; its accessibility tree
    (DevTools' Accessibility domain) read as a screen reader reads it: the
    node a focused container names as its active descendant is the focus,
    and can take it."""

    ROLES = {"button": "push button", "StaticText": "label", "combobox": "combo box", "listbox": "list",
             "option": "list item"}

    def session(self):
        from testbed.e2e.web import WebSession
        return WebSession()

    def nodes(self, page):
        """The window's AX nodes that are not ignored, depth first from the
        application down, each as (raw node, properties)."""
        raw = page.send("Accessibility.getFullAXTree")["nodes"]
        by_id = {n["nodeId"]: n for n in raw}
        app = next((n for n in raw if n.get("role", {}).get("value") == "application" and not n.get("ignored")), None)
        found = []

        def walk(n):
            if not n.get("ignored") and n.get("role", {}).get("value") != "InlineTextBox":
                found.append((n, {p["name"]: p.get("value", {}) for p in n.get("properties", [])}))
            for child in n.get("childIds", []):
                if child in by_id:
                    walk(by_id[child])
        if app is not None:
            walk(app)
        return found

    def states(self, nodes):
        """{backendDOMNodeId: {"focused", "focusable"}} for each node."""
        held = {r.get("backendDOMNodeId") for _, props in nodes
                for r in props.get("activedescendant", {}).get("relatedNodes", [])}
        focus = None
        for n, props in nodes:
            if props.get("focused", {}).get("value"):
                related = props.get("activedescendant", {}).get("relatedNodes", [])
                focus = related[0]["backendDOMNodeId"] if related else n.get("backendDOMNodeId")
        return {n.get("backendDOMNodeId"): ({"focused"} if n.get("backendDOMNodeId") == focus else set())
                | ({"focusable"} if props.get("focusable", {}).get("value") or n.get("backendDOMNodeId") in held
                   else set()) for n, props in nodes}

    def location(self, page, n):
        try:
            box = page.ax_bounds(n)
        except e2e.E2EError:  # no box: an entry of a closed list
            return None
        return tuple(int(v) if v == int(v) else v for v in box)

    def tree(self, s):
        nodes = self.nodes(s.page)
        states = self.states(nodes)
        return [Node(n.get("name", {}).get("value", ""), self.ROLES.get(n["role"]["value"], n["role"]["value"]),
                     states[n.get("backendDOMNodeId")], str(n.get("value", {}).get("value", "")),
                     self.location(s.page, n) if n.get("name", {}).get("value") else None)
                for n, _ in nodes]

    def press(self, s, name):
        """A click with no mouse button (detail 0), as an assistive tool presses."""
        node = next(n for n, _ in self.nodes(s.page) if n.get("name", {}).get("value") == name)
        target = s.page.send("DOM.resolveNode", backendNodeId=node["backendDOMNodeId"])["object"]["objectId"]
        s.page.send("Runtime.callFunctionOn", objectId=target, functionDeclaration="function () { this.click(); }")

    def snapshot(self, page):
        nodes = self.nodes(page)
        states = self.states(nodes)
        return {n.get("backendDOMNodeId"): (n.get("name", {}).get("value", ""), n.get("value", {}).get("value"),
                                            "focused" in states[n.get("backendDOMNodeId")]) for n, _ in nodes}

    @contextlib.contextmanager
    def events(self, s, until):
        """What a screen reader hears, by watching the tree on a thread of
        its own while the test acts: a name that appears or changes, a
        value that changes, a node that takes the focus."""
        told, done = [], threading.Event()
        last = [self.snapshot(s.page)]

        def watch():
            while True:
                now = self.snapshot(s.page)
                for key, (name, value, focused) in now.items():
                    was = last[0].get(key)
                    if was is None or was[0] != name:
                        told.append(("name", name))
                    elif was[1] != value:
                        told.append(("value", name))
                    if focused and not (was and was[2]):
                        told.append(("focus", name))
                last[0] = now
                if done.wait(0.02):
                    return
        watcher = threading.Thread(target=watch, daemon=True)
        watcher.start()
        result = Heard()
        try:
            yield result
            try:
                e2e.wait_until(lambda: heard(told, until), s.app.pause_limit(), interval=0.05, what=until)
            except e2e.E2EError:
                pass  # not heard: the test judges what was
        finally:
            done.set()
            watcher.join()
        result.events = list(told)


class Conformance:
    """The checks; a subclass names its program's adapter."""
    adapter = None

    @classmethod
    def setUpClass(cls):
        cls.program = cls.adapter()
        if hasattr(cls.program, "close"):
            cls.addClassCleanup(cls.program.close)
        cls.s = cls.program.session().__enter__()
        cls.addClassCleanup(cls.s.__exit__)

    def tree(self):
        return self.program.tree(self.s)

    def focused(self):
        return [n.name for n in self.tree() if "focused" in n.states]

    def says(self, act, *texts):
        """Acts, then waits until the program has said `texts` and has gone
        quiet; asserts that it said those and nothing more."""
        s = self.s
        s.wait_until_idle()
        before = len(s.said())
        act()
        s.wait_for_says(len(texts), after=before)
        s.wait_until_idle()
        self.assertEqual(s.said()[before:], list(texts))

    def test_1_names_roles_states_and_values(self):
        nodes = self.tree()
        names = [n.name for n in nodes]
        by_name = {n.name: n for n in reversed(nodes)}
        print("\n  " + "; ".join("%s (%s)" % (n.name, n.role) for n in nodes if n.name), file=sys.stderr)
        for name in NAMES:
            self.assertIn(name, names)
        self.assertEqual([n for n in names if INTERNAL.match(n)], [])
        with self.subTest("hidden controls"):
            for name in ["Possible answers", "Speech off", "Answer 1", "Answer 6"]:
                self.assertNotIn(name, names)
        with self.subTest("roles and values"):
            self.assertEqual(by_name["Flash card"].role, "push button")
            self.assertEqual([n for n in nodes if n.role == "push button" and not n.name], [])
            for name, value in [("Smallest number", "0"), ("Largest number", "12")]:
                self.assertEqual((by_name[name].role, by_name[name].value), ("combo box", value))
            self.assertEqual(by_name["Seconds per card"].role, "list")
        with self.subTest("the card's numbers and the plain labels read their captions"):
            for caption in ["12", "24", "+", "version 2.2", "Kid Safe And Completely Free"]:
                self.assertIn("label", {n.role for n in nodes if n.name == caption}, caption)
        with self.subTest("the focus on the card"):
            self.assertEqual(by_name["Flash card"].states, {"focused", "focusable"})
            self.assertEqual(self.focused(), ["Flash card"])
        with self.subTest("places"):
            for name, control in PLACES:
                self.assertEqual(by_name[name].location, self.s.rect(control), name)

    def test_2_tab_walks_in_order_with_the_ring_and_the_focus_follows(self):
        s = self.s
        self.assertIsNone(e2e.ring_box(s.shot()))  # no ring before a key
        with self.program.events(s, "focus:Speech on") as listened:
            self.assertEqual([s.press("Tab") for _ in STANDARD_WALK], STANDARD_WALK)
        self.assertEqual(s.press("shift+Tab"), "Picture1")
        self.assertEqual(self.focused(), ["Speech on"])
        self.assertEqual(s.press("Tab"), "lblClickMe")
        focus = [name for kind, name in listened.events if kind == "focus"]
        for name in WALK_NAMES[:-1]:
            self.assertIn(name, focus)

    def test_3_space_and_enter_click(self):
        s = self.s
        s.tab_to("lblClickMe")
        self.says(lambda: s.key("space"), FOR_ANSWER)
        s.tab_to("picMinus")
        self.says(lambda: s.key("Return"), "subtraction")
        s.tab_to("picPlus")
        self.says(lambda: s.key("space"), "addition")

    def test_4_arrows_in_a_closed_number_list(self):
        s = self.s
        s.tab_to("cmbMinNum")
        with self.program.events(s, "value:Smallest number") as listened:
            self.says(lambda: s.key("Down"), "the minimum number is now set to 1")
        self.assertEqual(s.focused(), "cmbMinNum")
        with self.subTest("its value"):
            self.assertEqual(next(n.value for n in self.tree() if n.name == "Smallest number"), "1")
        self.says(lambda: s.key("Up"), "the minimum number is now set to 0")
        with self.subTest("a screen reader hears the value change"):
            self.assertIn(("value", "Smallest number"), listened.events)

    def test_5_a_double_click_is_one_click(self):
        s = self.s
        # On a question: one click shows the answer, a second would deal the next.
        s.wait_for_shot(lambda shot: e2e.ink_in(shot, s.rect("lbln3")) == 0, "a question on the card")
        s.wait_until_idle()
        before = len(s.said())
        s.clicks("lblClickMe", 2, delay_ms=60)
        self.assertTrue(s.wait_for_says(1, after=before)[0].isdigit(), s.said()[before:])
        s.wait_until_idle()
        self.assertGreater(e2e.ink_in(s.shot(), s.rect("lbln3")), 0, "the answer gone: two clicks")
        self.says(lambda: s.clicks("picX", 2, delay_ms=60), "multiplication")

    def test_6_alt_f4_escape_and_a_close_request_leave_it_open(self):
        s = self.s
        s.key("alt+F4")
        s.key("Escape")
        s.x.ask_to_close(s.window)
        self.says(lambda: s.click("picDivide"), "division")
        self.assertTrue(s.app.running())
        geo = s.x.window_geometry(s.window)
        self.assertEqual((geo["x"], geo["y"], geo["width"], geo["height"], geo["map_state"]),
                         (0, 0, *s.screen, "IsViewable"))

    def test_7_a_press_through_the_screen_reader_clicks_and_moves_the_focus(self):
        s = self.s
        self.says(lambda: self.program.press(s, "Multiplication"), "multiplication")
        self.assertEqual(self.focused(), ["Multiplication"])

    def test_8_the_tiles_names_change_with_their_numbers(self):
        s = self.s
        self.says(lambda: s.click("lblInteractive"), "interactive mode", "click possible answers to the right")
        before = {n.name[:8]: n.name for n in self.tree() if n.name.startswith("Answer ")}
        with self.program.events(s, "name:Answer *") as listened:
            s.click("lblClickMe")
            s.wait_for_text("click on correct answer to the right")
        s.wait_until_idle()
        tiles = [n.name for n in self.tree() if TILE.match(n.name)]
        self.assertEqual(len(tiles), 6, tiles)
        with self.subTest("a screen reader hears the new numbers"):
            changed = [name for name in tiles if name != before.get(name[:8])]
            self.assertGreater(len(changed), 0, before)
            for name in changed:
                self.assertIn(("name", name), listened.events)
        with self.subTest("a press on a tile is judged and takes the focus"):
            before = len(s.said())
            self.program.press(s, tiles[0])
            said = s.wait_for_says(1, after=before)[0]
            self.assertTrue(said == WRONG or said.isdigit(), said)
            self.assertEqual(self.focused(), [tiles[0]])

    def test_8b_the_loudspeaker_names_its_state(self):
        s = self.s
        s.wait_until_idle()
        with self.program.events(s, "name:Speech off") as listened:
            s.click("Picture1")
        self.assertIn(("name", "Speech off"), listened.events)
        names = [n.name for n in self.tree()]
        self.assertIn("Speech off", names)
        self.assertNotIn("Speech on", names)

    def test_9_ctrl_q_closes_with_status_zero(self):
        self.s.key("ctrl+q")
        self.assertEqual(self.s.app.wait_exit(timeout=e2e.TIMEOUT), 0)


class QtConformanceTest(Conformance, unittest.TestCase):
    adapter = QtProgram


class WindowsConformanceTest(Conformance, unittest.TestCase):
    adapter = WindowsProgram


class WebConformanceTest(Conformance, unittest.TestCase):
    adapter = WebProgram


class SameWindowTest(unittest.TestCase):
    """The browser build's window against the Qt build's, control by
    control through the two accessibility trees: each node the two share
    (by name and role) on the same rectangle, within 2 px, each measured from
    the panel's corner on its own screen. Labels read as
    plain text are left out, as are the lists' entries: the browser gives a
    text's box, not the label's, and Qt places the entries of a closed list
    in its popup, unshown."""

    def tree(self, adapter):
        program = adapter()
        try:
            with program.session() as s:
                s.wait_until_idle()
                nodes = program.tree(s)
                ox, oy, _, _ = s.rect("Frame1")
        finally:
            if hasattr(program, "close"):
                program.close()
        places, seen = {}, collections.Counter()
        for n in nodes:
            if n.name and n.location and n.role not in ("label", "list item"):
                x, y, w, h = n.location
                places[(n.name, n.role, seen[(n.name, n.role)])] = (x - ox, y - oy, w, h)
                seen[(n.name, n.role)] += 1
        return places

    def test_every_control_on_the_same_rectangle(self):
        qt, web = self.tree(QtProgram), self.tree(WebProgram)
        shared = sorted(set(qt) & set(web))
        print("\n  compared: " + ", ".join(key[0] for key in shared), file=sys.stderr)
        for name in NAMES:
            self.assertIn(name, {key[0] for key in shared})
        for key in shared:
            with self.subTest(key[0]):
                self.assertLessEqual(max(abs(a - b) for a, b in zip(qt[key], web[key])), 2, (qt[key], web[key]))


if __name__ == "__main__":
    unittest.main(verbosity=2)
