# SPDX-License-Identifier: GPL-3.0-or-later
"""End to end through AT-SPI, the road Orca takes: a private session bus, the
accessibility bus and registry of at-spi2-core, the trainer with Qt's bridge
switched on, and pyatspi as the client. The names in the tree are words, no
internal control name and nothing hidden reaches it, a number list reads as
what it sets with its entry as value, the focus is the card's at start and
follows Tab, a press through the client acts as a click and moves the focus,
and a tile's new number and a list's new entry are told as they change.

pyatspi is a Debian package: run this with /usr/bin/python3."""
import importlib.util
import os
import re
import sys
import unittest
import warnings

from testbed import e2e
from testbed.e2e import INTERNAL, NAMES


class AccessibilityE2ETest(unittest.TestCase):
    def test_names_hidden_controls_lists_and_presses_through_at_spi(self):
        if importlib.util.find_spec("pyatspi") is None:
            self.fail("no pyatspi for %s: run this test with /usr/bin/python3" % sys.executable)
        warnings.simplefilter("ignore", DeprecationWarning)  # pyatspi's own calls
        with e2e.Xvfb() as x, e2e.AccessibilityBus(x) as bus:
            # The client connects to the buses named in its environment.
            os.environ.update(bus.env())
            import pyatspi
            from gi.repository import GLib, Atspi
            # What a screen reader that keeps a copy of the tree is told.
            added = []
            listener = Atspi.EventListener.new(
                lambda ev: added.append(getattr(ev.any_data, "name", None)) if ev.type.endswith(":add") else None)
            listener.register("object:children-changed")
            listener.register("object:state-changed:showing")
            # What a screen reader is told of a name or a value that changed.
            changes = []

            def on_change(ev):
                try:
                    changes.append((ev.type.rsplit(":", 1)[-1], ev.source.get_name()))
                except Exception:  # the source may be gone already
                    pass
            changed = Atspi.EventListener.new(on_change)
            changed.register("object:property-change:accessible-name")
            changed.register("object:property-change:accessible-value")

            def events_until(check):
                def look():
                    while GLib.MainContext.default().iteration(False):
                        pass
                    return check()
                return e2e.wait_until(look, e2e.TIMEOUT, what="accessibility events")
            with e2e.Abacorn(x, env={"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
                                     "DBUS_SESSION_BUS_ADDRESS": bus.address}) as app:
                # Asked from the start: the first answers come while the
                # start-up pause runs, and the window goes on all the same.
                def tree():
                    for a in pyatspi.Registry.getDesktop(0):
                        if a is not None and a.name == "abacorn" and a.childCount:
                            nodes = e2e.accessible_subtree(a)
                            if any(n.name == "Flash card" for n in nodes):
                                return nodes
                    return None
                e2e.wait_until(tree, e2e.TIMEOUT, interval=0.1, what="the trainer in the tree")
                answered_ms = e2e.monotonic_ms()
                events = app.wait_for_say(e2e.WELCOME, timeout=e2e.TIMEOUT)
                welcome_ms = [e.t_ms for e in events if e.text == e2e.WELCOME][0]
                print("\ntree answered %.0f ms %s the welcome" % (abs(welcome_ms - answered_ms),
                      "before" if answered_ms < welcome_ms else "after"), file=sys.stderr)

                nodes = tree()
                names = [n.name for n in nodes]
                for name in NAMES:
                    self.assertIn(name, names)
                self.assertEqual([n for n in names if INTERNAL.match(n)], [])
                print("names: " + ", ".join(sorted(set(n for n in names if n))), file=sys.stderr)
                # Hidden: the focus button, the answers' frame, the other loudspeaker.
                self.assertNotIn("Possible answers", names)
                self.assertNotIn("Speech off", names)
                self.assertFalse([n for n in names if n.startswith("Answer")])
                self.assertEqual([n for n in nodes if n.getRoleName() == "push button" and not n.name], [])
                by_name = {n.name: n for n in nodes}
                for name, value in [("Smallest number", "0"), ("Largest number", "12")]:
                    box = by_name[name]
                    self.assertEqual(box.getRoleName(), "combo box")
                    self.assertEqual(box.queryText().getText(0, -1), value)

                # The focus: on the card at start, then where Tab takes it,
                # each named in words.
                def focused():
                    found = [n.name for n in tree() if n.getState().contains(pyatspi.STATE_FOCUSED)]
                    return found[0] if len(found) == 1 else None
                self.assertEqual(e2e.wait_until(focused, e2e.TIMEOUT, interval=0.1, what="a focused object"),
                                 "Flash card")
                x.key("Tab")
                e2e.wait_until(lambda: focused() == "Addition", e2e.TIMEOUT, interval=0.1,
                               what="the focus on the next control")
                x.key("shift+Tab")
                e2e.wait_until(lambda: focused() == "Flash card", e2e.TIMEOUT, interval=0.1,
                               what="the focus back on the card")

                # A press on the card through the client deals a card.
                press(by_name["Flash card"])
                app.wait_for_say("click flash card for answer", timeout=e2e.TIMEOUT)

                # Interactive mode: the answers join the tree with their numbers,
                # and a press on one is judged.
                said = len(app.said())
                press(by_name["Interactive mode"])
                e2e.wait_until(lambda: len(app.said()) > said, e2e.TIMEOUT, what="interactive mode said")
                # A press through the client moves the focus, as a click does.
                e2e.wait_until(lambda: focused() == "Interactive mode", e2e.TIMEOUT, interval=0.1,
                               what="the focus on the control pressed")
                answers = e2e.wait_until(
                    lambda: [n for n in tree() if re.match(r"^Answer [1-6]: \d+$", n.name)], e2e.TIMEOUT,
                    interval=0.1, what="the six answers")
                self.assertEqual(len(answers), 6, [a.name for a in answers])
                print("answers: " + ", ".join(a.name for a in answers), file=sys.stderr)
                self.assertIn("Possible answers", [n.name for n in tree()])
                events_until(lambda: "Possible answers" in added)
                # A new card: the tiles' new numbers are told as new names.
                del changes[:]
                said = len(app.said())
                press(by_name["Flash card"])
                e2e.wait_until(lambda: len(app.said()) > said, e2e.TIMEOUT, what="the card dealt")
                answers = e2e.wait_until(
                    lambda: [n for n in tree() if re.match(r"^Answer [1-6]: \d+$", n.name)], e2e.TIMEOUT,
                    interval=0.1, what="the six answers")
                renamed = events_until(lambda: [c for c in changes if c[0] == "accessible-name"
                                                and re.match(r"^Answer [1-6]: \d+$", c[1] or "")])
                print("tile changes: %s" % renamed, file=sys.stderr)
                said = len(app.said())
                press(answers[0])
                e2e.wait_until(lambda: len(app.said()) > said, e2e.TIMEOUT, what="the pick judged")
                e2e.wait_until(lambda: (focused() or "").startswith(answers[0].name[:8]), e2e.TIMEOUT,
                               interval=0.1, what="the focus on the tile pressed")
                # A list's new entry is told as a change of the list: the
                # one before the tiles in the walk.
                for _ in range(6):
                    if focused() == "Largest number":
                        break
                    here = focused()
                    x.key("shift+Tab")
                    e2e.wait_until(lambda: focused() != here, e2e.TIMEOUT, interval=0.1, what="the focus moved")
                self.assertEqual(focused(), "Largest number")
                x.key("Down")
                listed = events_until(lambda: [c for c in changes if c[1] == "Largest number"])
                print("list changes: %s" % listed, file=sys.stderr)
                self.assertTrue(app.running())


def press(acc):
    action = acc.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    action.doAction(names.index("Press"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
