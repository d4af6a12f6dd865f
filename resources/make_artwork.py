#!/usr/bin/python3
"""Writes quillon.svg (the product title) and bnlogo.svg (the maker's logo) into this folder.

    make_artwork.py [OUTPUT_FOLDER]

Needs FontForge's Python module (Debian: python3-fontforge, which belongs to /usr/bin/python3) and
Roboto (fonts-roboto-unhinted). The letterforms are Roboto's own outlines, kerned by Roboto's
kerning, so the artwork matches the editor's text; everything is written as filled paths.

The title is drawn into the panel's tab, a 69 x 17 point box whose top-left corner lies 7.5 points
inside the tab's, and into a 210 x 22 box of the about box; both scale it by the smaller ratio and
anchor it at the top-left. Its view box is therefore 69 x 17 units, one unit a point in the tab. The
word is centred on the tab (7.5 points from either side), so it also comes out centred in the about
box; its capitals are centred on the tab's height, its tallest letters touch the box's top and its
baseline lies on a whole unit, on a pixel edge at scale 1 and 2.

The logo is drawn into a box at the about box's lower left, of which only the left part is free (the
maker's link begins 107 points to the right of the box's left edge); its view box is 100 x 32 units.
"""
import math
import os
import sys

import fontforge

ROBOTO = "/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-{}.ttf"
LIGHT = "#c9cfd3"  # the editor's text colour (201, 207, 211)
ACCENT = "#3498db"  # the editor's accent blue (52, 152, 219)


def number(value):
    text = f"{value:.2f}".rstrip("0").rstrip(".")
    return "0" if text == "-0" else text


class Face:
    """Roboto outlines placed on a page in points: scale from font units, y growing downwards."""

    def __init__(self, weight):
        self.font = fontforge.open(ROBOTO.format(weight))
        self.kerning = self._read_kerning()

    def _read_kerning(self):
        pairs = {}
        for lookup in self.font.gpos_lookups:
            if self.font.getLookupInfo(lookup)[0] != "gpos_pair":
                continue
            for subtable in self.font.getLookupSubtables(lookup):
                if self.font.isKerningClass(subtable):
                    firsts, seconds, offsets = self.font.getKerningClass(subtable)
                    for i, first in enumerate(firsts):
                        for j, second in enumerate(seconds):
                            offset = offsets[i * len(seconds) + j]
                            for a in first or ():
                                for b in second or ():
                                    if offset:
                                        pairs.setdefault((a, b), offset)
                else:
                    for glyph in self.font.glyphs():
                        for entry in glyph.getPosSub(subtable):
                            if entry[1] == "Pair":
                                pairs.setdefault((glyph.glyphname, entry[2]), entry[5])
        return pairs

    def cap_height_scale(self, cap_height):
        """Points per font unit for a given cap height in points."""
        return cap_height / self.font.capHeight

    def glyph(self, char):
        return self.font[ord(char)]

    def positions(self, text, x, scale, tracking=0.0):
        """Pen positions in points of each letter of text and of its end, with kerning and tracking
        (points added between letters)."""
        pens = [x]
        for i, char in enumerate(text):
            x += self.glyph(char).width * scale
            if i + 1 < len(text):
                x += self.kern(char, text[i + 1]) * scale + tracking
            pens.append(x)
        return pens

    def ink_width(self, text, scale, tracking=0.0):
        return (self.positions(text, 0, scale, tracking)[-1] - self.ink_left(text[0], scale) -
                self.ink_right(text[-1], scale))

    def kern(self, a, b):
        return self.kerning.get((self.glyph(a).glyphname, self.glyph(b).glyphname), 0)

    def ink_left(self, char, scale):
        return self.glyph(char).boundingBox()[0] * scale

    def ink_right(self, char, scale):
        glyph = self.glyph(char)
        return (glyph.width - glyph.boundingBox()[2]) * scale

    def path(self, text, x, baseline, scale, tracking=0.0):
        """SVG path data of text with its first pen position at (x, baseline)."""
        pens = self.positions(text, x, scale, tracking)
        return "".join(outline(self.glyph(char), pen, baseline, scale) for char, pen in zip(text, pens))


def outline(glyph, x0, baseline, scale):
    """A TrueType glyph's quadratic contours as SVG path data."""
    data = []

    def at(point):
        return f"{number(x0 + point[0] * scale)} {number(baseline - point[1] * scale)}"

    for contour in glyph.foreground:
        points = [(p.x, p.y, p.on_curve) for p in contour]
        # Start on an on-curve point; between two off-curve points lies an implied one.
        start = next((i for i, p in enumerate(points) if p[2]), None)
        if start is None:
            first = ((points[0][0] + points[-1][0]) / 2, (points[0][1] + points[-1][1]) / 2, True)
            points = [first] + points
            start = 0
        points = points[start:] + points[:start]
        data.append("M" + at(points[0]))
        control = None
        for p in points[1:] + [points[0]]:
            if p[2]:
                data.append(("Q" + at(control) + " " if control else "L") + at(p))
                control = None
            elif control:
                middle = ((control[0] + p[0]) / 2, (control[1] + p[1]) / 2)
                data.append("Q" + at(control) + " " + at(middle))
                control = p
            else:
                control = p
        data.append("Z")
    return "".join(data)


def svg(width, height, title, fills, strokes=()):
    """fills: (colour, path data); strokes: (colour, width, cap, join, path data)."""
    body = "".join(f'  <path fill="{colour}" d="{d}"/>\n' for colour, d in fills)
    body += "".join(f'  <path fill="none" stroke="{colour}" stroke-width="{number(weight)}" stroke-linecap="{cap}" '
                    f'stroke-linejoin="{join}" d="{d}"/>\n' for colour, weight, cap, join, d in strokes)
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}px" height="{height}px" '
            f'viewBox="0 0 {width} {height}">\n  <!-- {title}, written by make_artwork.py -->\n{body}</svg>\n')


def title_svg():
    """QuillonMini in Roboto Medium, 'Quillon' light and 'Mini' accent blue."""
    width, height = 69, 17
    cap_height, baseline = 8.5, 9  # the ascenders of l reach up to 0
    tracking = 0.15  # a little air between letters this small
    face = Face("Medium")
    scale = face.cap_height_scale(cap_height)
    word, split = "QuillonMini", len("Quillon")
    centre = 41.5 - 11  # the tab's middle, in the box's units
    x = centre - face.ink_width(word, scale, tracking) / 2 - face.ink_left(word[0], scale)
    pens = face.positions(word, x, scale, tracking)
    return svg(width, height, "QuillonMini", [
        (LIGHT, face.path(word[:split], x, baseline, scale, tracking)),
        (ACCENT, face.path(word[split:], pens[split], baseline, scale, tracking)),
    ])


def arc_path(cx, cy, r, degrees):
    """An arc of radius r around (cx, cy) opening to the right, spanning degrees about the horizontal."""
    half = math.radians(degrees / 2)
    x, dy = cx + r * math.cos(half), r * math.sin(half)
    return f"M{number(x)} {number(cy - dy)}A{number(r)} {number(r)} 0 0 1 {number(x)} {number(cy + dy)}"


def logo_svg():
    """A monoline B sending out sound waves, beside BRANNOCK over a spaced-out SOUND, all of one height."""
    width, height = 100, 32
    top, bottom = 6, 26  # of the mark's ink and of the two lines of capitals
    stroke = 2  # centre lines on whole units put the straight edges on pixels at scale 1 and 2
    # The B: a stem and two bowls, each bowl a closed shape so that its corners are mitred.
    stem, upper, waist, lower = 1 + stroke / 2, top + stroke / 2, 15, bottom - stroke / 2
    bowl_x = stem + 4
    upper_r, lower_r = (waist - upper) / 2, (lower - waist) / 2  # the upper bowl the smaller, as in a drawn B
    n = number
    b = (f"M{n(stem)} {n(upper)}H{n(bowl_x)}A{n(upper_r)} {n(upper_r)} 0 0 1 {n(bowl_x)} {n(waist)}H{n(stem)}Z"
         f"M{n(stem)} {n(waist)}H{n(bowl_x)}A{n(lower_r)} {n(lower_r)} 0 0 1 {n(bowl_x)} {n(lower)}H{n(stem)}Z")
    waves = "".join(arc_path(bowl_x, (top + bottom) / 2, r, 64) for r in (lower_r + 5, lower_r + 9))

    medium = Face("Medium")
    text_x = 26
    maker, trade = "BRANNOCK", "SOUND"
    maker_cap, trade_cap = 8, 6
    maker_scale, trade_scale = medium.cap_height_scale(maker_cap), medium.cap_height_scale(trade_cap)
    maker_tracking = 1.0
    maker_ink = medium.ink_width(maker, maker_scale, maker_tracking)
    trade_ink = medium.ink_width(trade, trade_scale)
    trade_tracking = (maker_ink - trade_ink) / (len(trade) - 1)  # both lines end together
    return svg(width, height, "Brannock Sound", [
        (LIGHT, medium.path(maker, text_x - medium.ink_left(maker[0], maker_scale), top + maker_cap, maker_scale,
                            maker_tracking)),
        (ACCENT, medium.path(trade, text_x - medium.ink_left(trade[0], trade_scale), bottom, trade_scale,
                             trade_tracking)),
    ], strokes=[(LIGHT, stroke, "butt", "miter", b), (ACCENT, stroke, "round", "round", waves)])


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, text in (("quillon.svg", title_svg()), ("bnlogo.svg", logo_svg())):
        with open(os.path.join(folder, name), "w") as file:
            file.write(text)


if __name__ == "__main__":
    main()
