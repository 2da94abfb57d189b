#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The browser build's window on any screen: on a phone, a tablet and a
desktop, upright and turned, the panel is drawn as large as the viewport
allows, whole, in its proportions and without a scroll bar; it follows a
turn or a resize during the lesson at once; and the pictures stay sharp at
two and three device pixels to the CSS pixel.

Each size is the page's viewport (DevTools' device metrics, as a phone
or tablet with a touch screen would give them), changed under a running lesson.
"""
import sys
import unittest

from testbed import e2e
from testbed.e2e.processes import wait_until
from testbed.e2e.web import WebSession

# (width, height, device pixel ratio, mobile)
PHONE, PHONE_TURNED = (390, 844, 3, True), (844, 390, 3, True)
TABLET, TABLET_UPRIGHT = (1024, 768, 2, True), (768, 1024, 2, True)
DESKTOP = (1920, 1080, 1, False)
# A tile's name begins so; its number follows.
TILE_NAMES = ["Answer %d" % i for i in range(1, 7)]
# A scale step is 1/96 of the panel (8 px of its 785): the panel reaches the
# side that binds within two steps' worth.
REACH = 0.98

# Every shown element of the window but the window itself and the lists'
# entries (which scroll inside their lists), the banner,
# in CSS px of the viewport; the document's scroll sizes.
LAYOUT = """(() => {
    const stage = document.getElementById('stage');
    const form = stage.firstElementChild;
    const boxes = [];
    for (const e of stage.querySelectorAll('*')) {
        if (e === form || !e.checkVisibility() || e.closest('option, [role=option]')) continue;
        const r = e.getBoundingClientRect();
        if (r.width > 0 && r.height > 0) boxes.push([r.left, r.top, r.right, r.bottom, e.id]);
    }
    const banner = [...stage.querySelectorAll('*')].find(e => e.textContent === 'Kid Safe And Completely Free');
    const b = banner.getBoundingClientRect();
    const s = document.scrollingElement;
    return {boxes, banner: [b.left, b.top, b.width, b.height], viewport: [innerWidth, innerHeight],
            scroll: [s.scrollWidth, s.scrollHeight, s.clientWidth, s.clientHeight], idle: Module.page.idle()};
})()"""


class WebFitTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.s = WebSession().__enter__()
        cls.addClassCleanup(cls.s.__exit__)
        s = cls.s
        # The answer tiles are shown in interactive mode, with a question.
        s.click("lblInteractive")
        s.wait_for_text("interactive mode")
        s.wait_until_idle()
        s.click("lblClickMe")
        s.wait_for_text("click on correct answer to the right")
        s.wait_until_idle()
        cls.figures = []

    @classmethod
    def tearDownClass(cls):
        print("\n  " + "\n  ".join(cls.figures), file=sys.stderr)

    def nodes(self):
        """The window's named nodes in the accessibility tree: name -> (x, y, w, h)."""
        page = self.s.page
        found = {}
        for n in page.ax_tree():
            if (n["name"] and not n["ignored"] and n["backendDOMNodeId"]
                    and n["role"] not in ("StaticText", "InlineTextBox", "option")):
                name = next((t for t in TILE_NAMES if n["name"].startswith(t + ":")), n["name"])
                try:
                    found[name] = page.ax_bounds(n)
                except e2e.E2EError:
                    pass  # laid out in no box: the text inside a control
        return found

    def panel(self, layout):
        """The panel with its banner: (left, top, right, bottom)."""
        boxes = layout["boxes"]
        return (min(b[0] for b in boxes), min(b[1] for b in boxes), max(b[2] for b in boxes),
                max(b[3] for b in boxes))

    def fitted(self, width, height):
        """The layout once the panel lies whole, centred, in a viewport of width x height."""
        def look():
            layout = self.s.page.evaluate(LAYOUT)
            if layout["viewport"] != [width, height] or not layout["idle"] or not layout["boxes"]:
                return None
            left, top, right, bottom = self.panel(layout)
            centred = abs(left - (width - right)) <= 2
            return layout if centred and left >= 0 and top >= 0 and right <= width and bottom <= height else None
        return wait_until(look, e2e.TIMEOUT, interval=0.05, what="the panel fitted to %dx%d" % (width, height))

    def show_at(self, width, height, dpr, mobile):
        self.s.page.set_viewport(width, height, dpr, mobile)
        return self.fitted(width, height)

    def check_fit(self, size):
        width, height, dpr, mobile = size
        layout = self.show_at(width, height, dpr, mobile)
        left, top, right, bottom = self.panel(layout)
        with self.subTest("every control inside the viewport", size=size):
            for x1, y1, x2, y2, id in layout["boxes"]:
                self.assertTrue(x1 >= 0 and y1 >= 0 and x2 <= width and y2 <= height, (id, x1, y1, x2, y2))
        with self.subTest("no scroll bar", size=size):
            self.assertEqual(layout["scroll"], [width, height, width, height])
        # The banner's height is kept free below the centred panel too.
        bx, by, bw, bh = layout["banner"]
        with self.subTest("the proportions kept", size=size):
            self.assertAlmostEqual((right - left) / (bottom - top), 785 / 626, delta=0.02)
            self.assertAlmostEqual(bw / bh, 785 / 41, delta=0.6)
        with self.subTest("as large as the viewport allows", size=size):
            self.assertGreaterEqual(max((right - left) / width, (bottom - top + bh) / height), REACH)
        nodes = self.nodes()
        card = nodes["Flash card"]
        tiles = [nodes[name] for name in TILE_NAMES]
        self.figures.append("%dx%d: panel %d x %d (scale %.3f), card %d x %d, tiles %d x %d" % (
            width, height, right - left, bottom - top, (right - left) / 785, card[2], card[3],
            tiles[0][2], tiles[0][3]))
        with self.subTest("controls inside the viewport, for a screen reader too", size=size):
            for name, (x, y, w, h) in nodes.items():
                if w and h:
                    self.assertTrue(x >= -1 and y >= -1 and x + w <= width + 1 and y + h <= height + 1, name)
        return layout, nodes

    def test_1_phones_and_desktop_fit_whole(self):
        for size in (PHONE, PHONE_TURNED, DESKTOP):
            self.check_fit(size)

    def test_2_tablets_show_a_large_card_and_tiles_a_finger_can_hit(self):
        for size in (TABLET, TABLET_UPRIGHT):
            _, nodes = self.check_fit(size)
            width, height = size[:2]
            with self.subTest("the card", size=size):
                self.assertGreaterEqual(nodes["Flash card"][3], min(width, height) / 2)
            with self.subTest("the tiles", size=size):
                for name in TILE_NAMES:
                    self.assertGreaterEqual(nodes[name][3], 48, name)

    def test_3_a_resize_during_the_lesson_moves_the_card_and_its_clicks_at_once(self):
        s = self.s
        self.show_at(*DESKTOP)
        before = self.nodes()
        self.show_at(*TABLET)
        after = self.nodes()
        self.assertNotEqual(before["Flash card"], after["Flash card"])
        # A tile takes a click at its new place: the pointer at the page's scale.
        s.wait_until_idle()
        said = len(s.said())
        x, y, w, h = after["Answer 1"]
        s.click_at(int(x + w / 2), int(y + h / 2))
        heard = s.wait_for_says(1, after=said)[0]
        self.assertTrue(heard == e2e.WRONG or heard.isdigit(), heard)
        # The ring goes round the clicked tile at its new size (the shot in
        # device pixels, two to the CSS pixel).
        s.key("shift+Tab", "Tab")
        s.wait_until_idle()
        ring = [v / 2 for v in e2e.ring_box(s.shot())]
        x, y, w, h = after["Answer 1"]
        self.assertTrue(ring[0] < x and ring[1] < y and ring[0] + ring[2] > x + w and ring[1] + ring[3] > y + h,
                        (ring, after["Answer 1"]))
        self.assertLessEqual(ring[2] - w, 12, (ring, after["Answer 1"]))

    def test_4_pictures_are_sharp_at_two_and_three_device_pixels_to_the_css_pixel(self):
        for size in (TABLET, PHONE):
            self.show_at(*size)
            dpr = size[2]
            pictures = self.s.page.evaluate("""[...document.querySelectorAll('#stage img')]
                .filter(i => i.checkVisibility())
                .map(i => [i.naturalWidth, i.naturalHeight, i.getBoundingClientRect().width,
                           i.getBoundingClientRect().height, i.currentSrc.slice(0, 60)])""")
            self.assertTrue(pictures)
            for nw, nh, w, h, src in pictures:
                with self.subTest(size=size, picture=src):
                    self.assertGreaterEqual(nw, dpr * w - 1)
                    self.assertGreaterEqual(nh, dpr * h - 1)


if __name__ == "__main__":
    unittest.main(verbosity=2)
