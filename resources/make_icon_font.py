#!/usr/bin/python3
"""Writes Quillon.ttf, the icon font of QuillonMini's preset selector.

    make_icon_font.py OUTPUT.ttf

Needs FontForge's Python module (Debian: python3-fontforge, which belongs to /usr/bin/python3).

U+F003 previous preset (a chevron pointing left), U+F004 next preset (pointing right) and U+F005
service menu (three bars). The editor draws them at size 16 in 25 x 29 point zones; the font has
Roboto's vertical metrics (ascender 1900, descender 500 on an em of 2048), so a line of icons sits
in a zone exactly like a line of the preset name beside it. The glyphs are centred on the middle of
that line and on their advance widths, and drawn as round-capped strokes of one weight.

The font carries a fixed date (SOURCE_DATE_EPOCH, which FontForge reads), so every build writes the
same bytes.
"""
import os
import sys

os.environ["SOURCE_DATE_EPOCH"] = "1796601600"  # 2026-12-07, the glyphs' design date


def import_fontforge_quietly():
    """FontForge greets on standard error when it loads; a build has no use for that."""
    saved = os.dup(2)
    with open(os.devnull, "w") as null:
        os.dup2(null.fileno(), 2)
    try:
        import fontforge
    finally:
        os.dup2(saved, 2)
        os.close(saved)
    return fontforge


fontforge = import_fontforge_quietly()

EM = 2048
ASCENT = 1900
DESCENT = 500
# At size 16 the line (ascender to descender, 2400 units) is 16 points high: 150 units a point.
POINT = (ASCENT + DESCENT) / 16
MIDDLE = (ASCENT - DESCENT) / 2  # the line's middle above the baseline
ADVANCE = 2048
STROKE = 1.5 * POINT

CHEVRON_HALF_HEIGHT = 4 * POINT  # of the centre line; the ink adds half a stroke all round
CHEVRON_DEPTH = 4 * POINT  # arms at 45 degrees
BAR_LENGTH = 9 * POINT
BAR_PITCH = 3.5 * POINT


def stroked(glyph, polylines):
    """Draws open centre lines and turns them into round-capped, round-joined outlines."""
    pen = glyph.glyphPen()
    for points in polylines:
        pen.moveTo(points[0])
        for point in points[1:]:
            pen.lineTo(point)
        pen.endPath()
    pen = None
    glyph.stroke("circular", STROKE, "round", "round")
    glyph.removeOverlap()
    glyph.addExtrema()
    glyph.simplify(0.5)
    glyph.round()
    glyph.correctDirection()


def chevron(pointing):
    """Centre line of a chevron pointing -1 (left) or +1 (right), centred on the ink."""
    centre_x = ADVANCE / 2
    tip_x = centre_x + pointing * CHEVRON_DEPTH / 2
    back_x = centre_x - pointing * CHEVRON_DEPTH / 2
    return [[(back_x, MIDDLE + CHEVRON_HALF_HEIGHT), (tip_x, MIDDLE), (back_x, MIDDLE - CHEVRON_HALF_HEIGHT)]]


def menu_bars():
    left = (ADVANCE - BAR_LENGTH) / 2
    return [[(left, MIDDLE + k * BAR_PITCH), (left + BAR_LENGTH, MIDDLE + k * BAR_PITCH)] for k in (1, 0, -1)]


def make_font():
    font = fontforge.font()
    font.encoding = "UnicodeBmp"
    font.fontname = "Quillon-Regular"
    font.familyname = "Quillon"
    font.fullname = "Quillon"
    font.weight = "Regular"
    font.version = "1.0"
    font.copyright = "Copyright 2026 Brannock Sound"
    font.em = EM
    font.ascent = 1638  # the em's split, as Roboto's
    font.descent = EM - 1638
    font.hhea_ascent, font.hhea_ascent_add = ASCENT, False
    font.hhea_descent, font.hhea_descent_add = -DESCENT, False
    font.hhea_linegap = 0
    font.os2_typoascent, font.os2_typoascent_add = ASCENT, False
    font.os2_typodescent, font.os2_typodescent_add = -DESCENT, False
    font.os2_typolinegap = 0
    font.os2_winascent, font.os2_winascent_add = ASCENT, False
    font.os2_windescent, font.os2_windescent_add = DESCENT, False

    notdef = font.createChar(-1, ".notdef")
    notdef.width = ADVANCE
    space = font.createChar(0x20, "space")
    space.width = ADVANCE
    for code, name, lines in ((0xF003, "previous", chevron(-1)), (0xF004, "next", chevron(+1)),
                              (0xF005, "menu", menu_bars())):
        glyph = font.createChar(code, name)
        stroked(glyph, lines)
        glyph.width = ADVANCE
    return font


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon_font.py OUTPUT.ttf")
    output = sys.argv[1]
    partial = output + ".partial.ttf"
    make_font().generate(partial, flags=("opentype", "omit-instructions"))
    os.replace(partial, output)


if __name__ == "__main__":
    main()
