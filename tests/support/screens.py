"""What the program's windows show, read from screenshots of the X server: where things are on
the main and results windows, and checks of the screens a session passes through.

A window is given by its client area on the screen, (x, y, width, height) as
xsession.X.geometry returns it; the boxes below are (x, y, width, height) in its client pixels
(15 twips to a pixel)."""

import os
import re

from images import read_bmp_1bit

TWIPS_PER_PX = 15  # at 96 pixels per inch, as the windows are designed
BORDER_PX = 2      # the picture control's sunken border, around its 256-px picture

# The windows' geometry is designed in twips and written once, in the tables of
# WindowGeometry.h beside this file, which the window tests check; the boxes here are read from
# their rows: {"NAME", LEFT, TOP, WIDTH, HEIGHT}.
_TABLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "WindowGeometry.h")
_ROW = re.compile(r'\{"(\w+)",\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+)\}')


def _design():
    rows = {}
    with open(_TABLES, encoding="utf-8") as f:
        for m in _ROW.finditer(f.read()):
            assert m.group(1) not in rows, f"{m.group(1)} twice in {_TABLES}"
            rows[m.group(1)] = tuple(round(int(v) / TWIPS_PER_PX) for v in m.groups()[1:])
    return rows


DESIGN_PX = _design()  # name -> (x, y, width, height) in pixels; a window's own row: its client area


def _inset(box, px):
    x, y, w, h = box
    return x + px, y + px, w - 2 * px, h - 2 * px


# Client sizes of the two windows.
MAIN_SIZE = DESIGN_PX["frmMain"][2:]
RESULTS_SIZE = DESIGN_PX["frmResult"][2:]

# On the main window
IMAGE1_BOX = DESIGN_PX["Image1"]                # outer box of Image1, its sunken border included
PICTURE_BOX = _inset(IMAGE1_BOX, BORDER_PX)      # the picture inside the border
# The caption label, without its last rows, which lie under the buttons.
LMSG_BOX = DESIGN_PX["lMsg"][:3] + (DESIGN_PX["btnStart"][1] - DESIGN_PX["lMsg"][1],)
BTN_END = DESIGN_PX["btnEnd"]

# On the results window
CHART_BOX = DESIGN_PX["chResult"]
BTN_PRINT = DESIGN_PX["btnPrint"]


def on_screen(geo, box):
    """A box of a window's client area in screen pixels."""
    bx, by, bw, bh = box
    return geo[0] + bx, geo[1] + by, bw, bh


def centre(geo, box):
    """The screen point in the middle of a box, where a click on it lands."""
    x, y, w, h = on_screen(geo, box)
    return x + w // 2, y + h // 2


def face(img, geo):
    """The window's face colour, read from a corner of its client area that nothing covers."""
    return img.pixel(geo[0] + 10, geo[1] + 10)


def check_countdown_screen(checks, img, geo, trial):
    """The countdown: an empty picture and a caption with text in it."""
    px, py, pw, ph = on_screen(geo, PICTURE_BOX)
    colours = img.colours(px, py, pw, ph)
    checks.check(len(colours) == 1, f"countdown of trial {trial}: the picture area should be empty "
                 f"(one colour), has {len(colours)} colours ({img.path})")
    lx, ly, lw, lh = on_screen(geo, LMSG_BOX)
    dark = sum(1 for _, _, c in img.region(lx, ly, lw, lh) if max(c) < 100)
    checks.check(dark > 40, f"countdown of trial {trial}: caption text in lMsg, {dark} dark pixels "
                 f"({img.path})")


def check_test_screen(checks, img, geo, trial):
    """The test figure: Image1's sunken border, a black and white figure in it, and the question
    centred in the caption."""
    # Image1: a 2-px sunken border in the 260 x 260 box at (46, 8) of the client area.
    bx, by, bw, bh = on_screen(geo, IMAGE1_BOX)
    bg = face(img, geo)
    outside = [img.pixel(bx - 1, by + bh // 2), img.pixel(bx + bw, by + bh // 2),
               img.pixel(bx + bw // 2, by - 1), img.pixel(bx + bw // 2, by + bh)]
    checks.check(all(p == bg for p in outside),
                 f"Image1: the pixels just outside its box should be the window face {bg}, got {outside} "
                 f"({img.path})")
    top_left = [img.pixel(bx + i, by + bh // 2) for i in (0, 1)] + \
               [img.pixel(bx + bw // 2, by + i) for i in (0, 1)]
    bottom_right = [img.pixel(bx + bw - 1 - i, by + bh // 2) for i in (0, 1)] + \
                   [img.pixel(bx + bw // 2, by + bh - 1 - i) for i in (0, 1)]
    checks.check(all(p != bg for p in top_left),
                 f"Image1: the sunken border's top and left edges (2 px) should differ from the face "
                 f"{bg}, got {top_left} ({img.path})")
    checks.check(all(sum(p) < sum(bg) for p in top_left[:1] + top_left[2:3]),
                 f"Image1: the outer top/left edge of a sunken border is darker than the face, got "
                 f"{top_left} ({img.path})")
    checks.check(sum(bottom_right[0]) >= sum(bg) and sum(bottom_right[2]) >= sum(bg),
                 f"Image1: the outer bottom/right edge of a sunken border is lighter than the face, "
                 f"got {bottom_right} ({img.path})")
    # The picture itself is compared with the exported one (check_picture).
    # The caption under it.
    lx, ly, lw, lh = on_screen(geo, LMSG_BOX)
    dark = [(x, y) for x, y, c in img.region(lx, ly, lw, lh) if max(c) < 100]
    checks.check(len(dark) > 80, f"test of trial {trial}: the question in lMsg, {len(dark)} dark pixels "
                 f"({img.path})")
    if dark:
        left = min(x for x, _ in dark) - lx
        right = lx + lw - 1 - max(x for x, _ in dark)
        checks.check(abs(left - right) <= 3, f"test of trial {trial}: the question should be centred in "
                     f"lMsg, margins {left} and {right} px ({img.path})")


def check_picture(checks, img, geo, stimuli, key, what):
    """Image1 shows picture `key` ("<list>-<position>") pixel for pixel, unscaled, centred, as
    the program exports it into the folder stimuli."""
    expected = read_bmp_1bit(os.path.join(stimuli, key + ".bmp"))
    px, py, pw, ph = on_screen(geo, PICTURE_BOX)
    ox, oy = px + (pw - len(expected[0])) // 2, py + (ph - len(expected)) // 2
    wrong = [(x, y) for y, row in enumerate(expected) for x, c in enumerate(row)
             if img.pixel(ox + x, oy + y) != c]
    checks.check(not wrong, f"{what}: Image1 should show picture {key} as exported, {len(wrong)} pixels "
                 f"differ, e.g. {wrong[:4]} ({img.path})")


def check_ready_picture(checks, img, reference, geo, what):
    """Image1 shows what it showed on the reference screenshot (every third pixel compared)."""
    px, py, pw, ph = on_screen(geo, IMAGE1_BOX)
    same = all(img.pixel(x, y) == reference.pixel(x, y)
               for y in range(py, py + ph, 3) for x in range(px, px + pw, 3))
    checks.check(same, f"{what}: Image1 should show the instruction picture as at start-up "
                 f"({img.path} vs {reference.path})")


def check_caption_empty(checks, img, geo, what):
    """The caption label shows no text: all of it has the window's face colour."""
    lx, ly, lw, lh = on_screen(geo, LMSG_BOX)
    bg = face(img, geo)
    checks.check(all(c == bg for _, _, c in img.region(lx, ly, lw, lh)),
                 f"{what} the caption is empty ({img.path})")


def check_results_window(checks, img, geo):
    """The results window on a real X server: a chart drawn where the chart control is, its plot
    area filling much of the rectangle in one colour other than the window's face, with lines in
    colour on it. (The chart's own look is tst_ChartControl's; its stacking over lWait,
    tst_frmResult::renderedWindow's.)"""
    cx, cy, cw, ch = on_screen(geo, CHART_BOX)
    counts = img.colours(cx, cy, cw, ch)
    counts.pop(face(img, geo), None)
    plot, filled = max(counts.items(), key=lambda item: item[1], default=(None, 0))
    checks.check(filled > cw * ch // 4, f"results: the chart's plot area, {filled} pixels of {plot}, "
                 f"its most common colour but the window's face, in the chart rectangle ({img.path})")
    coloured = sum(n for c, n in counts.items() if max(c) - min(c) > 80)
    checks.check(coloured > 300, f"results: the series lines, {coloured} coloured pixels ({img.path})")
