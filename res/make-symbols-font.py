#!/usr/bin/python3
"""Writes formtidy-symbols.ttf: the font that draws the symbol of a lone CR.

The symbol U+240D of the fonts that have one (FreeSans and its kin) is two
tiny slanted letters, a smudge at the panes' 8 points. This font draws it as
the letters CR cut out of a solid box, on a grid of whole pixels at 8 points
and 96 dpi (and so at any whole scale factor too), so that it stays sharp.
The panes take only this character from it.

Needs Debian's python3-fonttools. Run it again after changing the picture:
    res/make-symbols-font.py res/formtidy-symbols.ttf
"""

import sys

from fontTools.fontBuilder import FontBuilder
from fontTools.misc.timeTools import timestampFromString
from fontTools.pens.ttGlyphPen import TTGlyphPen

UNITS_PER_EM = 2048
PIXEL = 192  # one pixel at 8 points and 96 dpi, where the em is 10 2/3 pixels

# The box, top row first, with the baseline under the row before the last;
# "#" is ink, "." the cut-out letters.
PICTURE = [
    "##########",
    "##..#...##",
    "#.###.##.#",
    "#.###.##.#",
    "#.###...##",
    "#.###.#.##",
    "#.###.##.#",
    "##..#.##.#",
    "##########",
]
LEFT = 1  # pixels of space on either side
BOTTOM = -1  # the last row stands one pixel below the baseline


def outlines():
    """The edges of the ink, as closed loops of pixel corners (x right, y up),
    each with the ink on its right: clockwise around ink, anticlockwise
    around the letters. One outline for all the ink, rather than a square a
    pixel, leaves no seams where squares would meet."""
    ink = set()
    for row, line in enumerate(PICTURE):
        y = BOTTOM + len(PICTURE) - 1 - row
        ink.update((LEFT + x, y) for x, c in enumerate(line) if c == "#")
    edges = {}
    for x, y in ink:
        corners = [(x, y), (x, y + 1), (x + 1, y + 1), (x + 1, y)]
        for a, b in zip(corners, corners[1:] + corners[:1]):
            if (b, a) in edges:  # shared with the pixel beside it
                del edges[(b, a)]
            else:
                edges[(a, b)] = True
    following = {}
    for a, b in edges:
        following.setdefault(a, []).append(b)
    loops = []
    while following:
        start = next(iter(following))
        loop, at = [start], start
        while True:
            ends = following[at]
            step = ends.pop()
            if not ends:
                del following[at]
            at = step
            if at == start:
                break
            loop.append(at)
        # Corners on a straight run of edges are left out.
        loops.append([p for i, p in enumerate(loop)
                      if (loop[i - 1][0] != p[0] or p[0] != loop[(i + 1) % len(loop)][0])
                      and (loop[i - 1][1] != p[1] or p[1] != loop[(i + 1) % len(loop)][1])])
    return loops


def symbol_glyph():
    pen = TTGlyphPen(None)
    for loop in outlines():
        pen.moveTo((loop[0][0] * PIXEL, loop[0][1] * PIXEL))
        for x, y in loop[1:]:
            pen.lineTo((x * PIXEL, y * PIXEL))
        pen.closePath()
    return pen.glyph()


def main(path):
    # Liberation Sans's vertical metrics, so that a line keeps its height.
    ascent, descent = 1854, -434
    advance = (2 * LEFT + len(PICTURE[0])) * PIXEL
    font = FontBuilder(UNITS_PER_EM, isTTF=True)
    font.setupGlyphOrder([".notdef", "uni240D"])
    font.setupCharacterMap({0x240D: "uni240D"})
    font.setupGlyf({".notdef": TTGlyphPen(None).glyph(), "uni240D": symbol_glyph()})
    font.setupHorizontalMetrics({".notdef": (UNITS_PER_EM // 2, 0), "uni240D": (advance, LEFT * PIXEL)})
    font.setupHorizontalHeader(ascent=ascent, descent=descent)
    font.setupNameTable({"familyName": "Formtidy Symbols", "styleName": "Regular",
                         "copyright": "Copyright (C) 2026 The Formtidy authors (MIT licence)"})
    font.setupOS2(sTypoAscender=ascent, sTypoDescender=descent, sTypoLineGap=0,
                  usWinAscent=ascent, usWinDescent=-descent, fsType=0)
    font.setupPost()
    # A fixed date, so that the same picture gives the same file.
    date = timestampFromString("Tue Dec  8 00:00:00 2026")
    font.updateHead(created=date, modified=date)
    font.save(path)


if __name__ == "__main__":
    main(sys.argv[1])
