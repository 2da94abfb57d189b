# SPDX-License-Identifier: GPL-3.0-or-later
"""End to end: every coloured control shows its designed colour on the screen
(within 2 per channel), under Xvfb with the recording speech daemon: the
backdrop, the frames, the banner, the close button, the card, the dots, the labels with a text colour and the answer tiles
white, red and green."""
import sys
import unittest

from testbed import e2e
from testbed.e2e import GREEN, RED, TILES, WHITE, WRONG, rect

SILVER, DARK_GREEN, DARK_RED = (192, 192, 192), (0, 64, 0), (192, 0, 0)


def spot(name, dx, dy):
    """A point inside a control: dx, dy from its left/top, or from its
    right/bottom when negative."""
    x, y, w, h = rect(name)
    return (x + dx if dx >= 0 else x + w + dx), (y + dy if dy >= 0 else y + h + dy)


def text_pixels(shot, name, colour):
    """Pixels of a control's rectangle in its text colour (within 2)."""
    return shot.count(colour, rect=rect(name), tolerance=2)


class ColoursTest(unittest.TestCase):
    def assertColour(self, shot, point, colour, what):
        self.assertTrue(e2e.near(shot.pixel(*point), colour), "%s at %r is %r, not %r"
                        % (what, point, shot.pixel(*point), colour))

    def test_window_panel_frames_banner_button_card_and_labels(self):
        with e2e.Session() as s:
            shot = s.shot()
            self.assertColour(shot, (5, 5), e2e.BLACK, "the window")
            self.assertColour(shot, spot("Frame1", -10, -10), e2e.LAVENDER, "Frame1")
            self.assertColour(shot, spot("frmSet", 64, -5), e2e.LAVENDER, "frmSet")
            self.assertColour(shot, spot("frameTimer", 5, -8), e2e.LAVENDER, "frameTimer")
            self.assertColour(shot, spot("picX", 0, 0), e2e.LAVENDER, "the margin of picX")
            self.assertColour(shot, spot("shpFlash", 20, 225), WHITE, "the card")
            self.assertColour(shot, spot("lblKidSafe", 3, 3), e2e.BLACK, "the banner")
            self.assertGreater(text_pixels(shot, "lblKidSafe", SILVER), 500)
            self.assertColour(shot, spot("Command1", 6, 24), DARK_RED, "Close Program")
            x, y, w, h = rect("Command1")
            self.assertGreater(shot.count(DARK_RED, rect=rect("Command1"), tolerance=2), w * h * 3 // 4)
            self.assertGreater(e2e.ink_in(shot, rect("Command1"), limit=40), 100)  # its caption
            self.assertGreater(text_pixels(shot, "ShapeStandard", e2e.DARK_GREY), 20)
            self.assertGreater(text_pixels(shot, "Label1", DARK_GREEN), 50)
            self.assertGreater(text_pixels(shot, "lblZindle", e2e.BLACK), 50)
            # Small captions on the mode buttons: a few pixels are solid text.
            for name in ["Label10", "Label6", "Label7"]:
                self.assertGreater(text_pixels(shot, name, e2e.BLACK), 0, name)
            # No colour of their own: the style's, recorded for the reader.
            for name in ["cmbMinNum", "cmbMaxNum", "lstTimer"]:
                x, y, w, h = rect(name)
                print("%s: %r" % (name, shot.pixel(x + 4, y + h // 2)), file=sys.stderr)

            # Interactive mode: the tiles white, then red for wrong picks and
            # green for the right one.
            s.click("lblInteractive")
            s.wait_for_text("click possible answers to the right")
            s.click("lblClickMe")
            s.wait_for_text("click on correct answer to the right")
            s.wait_until_idle()
            shot = s.shot()
            for tile in TILES:
                self.assertColour(shot, spot(tile, 4, 4), WHITE, tile)
            self.assertColour(shot, spot("frameChoices", -10, 200), e2e.LAVENDER, "frameChoices")
            self.assertGreater(text_pixels(shot, "Label4", DARK_GREEN), 50)
            picks = []
            for tile in TILES:
                heard = len(s.said())
                s.click(tile)
                said = s.wait_for_says(1, after=heard)
                picks.append(tile)
                if said[0] != WRONG:
                    break
            s.wait_until_idle()
            shot = s.shot()
            for tile in picks[:-1]:
                self.assertColour(shot, spot(tile, 4, 4), RED, tile)
            self.assertColour(shot, spot(picks[-1], 4, 4), GREEN, picks[-1])
            for tile in TILES[len(picks):]:
                self.assertColour(shot, spot(tile, 4, 4), WHITE, tile)


if __name__ == "__main__":
    unittest.main(verbosity=2)
