#!/usr/bin/python3
"""Turns an SVG picture into path data that the editor's drawing layer fills and strokes itself.

    svg_to_paths.py INPUT.svg OUTPUT

Run by the build for every picture it embeds (resources/EmbedResources.cmake); needs svgelements
(Debian: python3-svgelements, which belongs to /usr/bin/python3). The output keeps what librsvg
made of these pictures: every shape as absolute moves, lines, quadratic and cubic curves and
closes in its own coordinates, with the transform that places it (its own, its groups' and the view
box's) in the picture's size in pixels; elliptical arcs become cubic curves the way librsvg splits
them (at most a quarter turn each); fills with their colour, opacity and rule; strokes with their
colour, opacity, width, caps, joins and miter limit. Shapes are drawn in document order, each fill
before its stroke. Nothing is clipped to the picture's box.

Anything this cannot reproduce stops the build with the reason: text, images, gradients and
patterns, dashes, markers, clipping, masks, filters, group or element opacity, hidden elements,
strokes painted first, non-scaling strokes, edges drawn without anti-aliasing, blend modes, sizes
in units other than pixels.

The output, all numbers little-endian:
    "QMPP", u32 version 1
    f64 width, f64 height                  the picture's size in pixels
    u32 number of shapes, then each shape:
        u8 flags (1 filled, 2 stroked, 4 even-odd fill rule), u8 cap (0 butt, 1 round, 2 square),
        u8 join (0 miter, 1 round, 2 bevel), u8 0
        u8 fill red, green, blue, u8 stroke red, green, blue, u16 0
        f64 fill opacity, stroke opacity, stroke width, miter limit
        f64 transform xx, yx, xy, yy, x0, y0   (x' = xx x + xy y + x0, y' = yx x + yy y + y0)
        u32 number of commands, u32 number of coordinates
        the commands, one byte each: M (x y), L (x y), Q (cx cy x y), C (c1x c1y c2x c2y x y), Z
        the coordinates, f64 each, in the order the commands take them
"""
import math
import re
import struct
import sys

import svgelements as se

MAGIC = b"QMPP"
VERSION = 1
CAPS = {"butt": 0, "round": 1, "square": 2}
JOINS = {"miter": 0, "miter-clip": 0, "arcs": 0, "round": 1, "bevel": 2}
# Attributes whose effect this format does not carry, with the values that leave the picture as it is.
UNSUPPORTED = {
    "opacity": ("1",),
    "stroke-dasharray": ("none",),
    "clip-path": ("none",),
    "mask": ("none",),
    "filter": ("none",),
    "marker-start": ("none",),
    "marker-mid": ("none",),
    "marker-end": ("none",),
    "visibility": ("visible",),
    "display": ("inline", "block"),
    "paint-order": ("normal", "fill", "fill stroke", "fill stroke markers"),
    "vector-effect": ("none",),
    "shape-rendering": ("auto", "geometricPrecision"),
    "mix-blend-mode": ("normal",),
}


class Refused(Exception):
    pass


def number(text, what):
    text = str(text).strip()
    try:
        return float(text[:-1]) / 100 if text.endswith("%") else float(text)
    except ValueError:
        raise Refused(f"{what} '{text}' is not a number")


def pixels(text, what):
    """A width or height: a plain number or pixels only (other units depend on a resolution)."""
    text = str(text).strip()
    if not re.fullmatch(r"[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?(px)?", text):
        raise Refused(f"{what} '{text}': only a number of pixels is supported")
    value = float(text.removesuffix("px"))
    if not value > 0:
        raise Refused(f"{what} '{text}' must be above 0")
    return value


def check_attributes(element, label):
    for name, harmless in UNSUPPORTED.items():
        value = element.values.get(name)
        if value is not None and str(value).strip() not in harmless:
            if name == "opacity" and number(value, name) == 1:
                continue
            raise Refused(f"{label}: {name}='{value}' is not supported")


def paint(element, kind, label):
    """(red, green, blue, opacity) of the fill or stroke, or None when there is none."""
    raw = str(element.values.get(kind, "black" if kind == "fill" else "none")).strip()
    if raw.startswith("url("):
        raise Refused(f"{label}: {kind} '{raw}' (gradients and patterns are not supported)")
    color = element.fill if kind == "fill" else element.stroke
    if raw == "none" or color is None or color.value is None:
        return None
    opacity = number(element.values.get(f"{kind}-opacity", "1"), f"{kind}-opacity")
    return color.red, color.green, color.blue, min(max(opacity, 0.0), 1.0)


def arc_to_cubics(arc):
    """librsvg's curves for an elliptical arc: centre form as in SVG 1.1's
    implementation notes, split into equal pieces of at most a quarter turn, each piece a cubic
    with handles 4/3 tan(angle / 4) long."""
    (x1, y1), (x2, y2) = (arc.start.x, arc.start.y), (arc.end.x, arc.end.y)
    if x1 == x2 and y1 == y2:
        return []
    rx, ry = abs(arc.rx), abs(arc.ry)
    if rx == 0 or ry == 0:
        return [("L", (x2, y2))]
    phi = arc.get_rotation().as_radians
    large, sweep = abs(arc.sweep) > math.pi, arc.sweep > 0
    sin_phi, cos_phi = math.sin(phi), math.cos(phi)
    hx, hy = (x1 - x2) / 2, (y1 - y2) / 2
    x1p, y1p = cos_phi * hx + sin_phi * hy, -sin_phi * hx + cos_phi * hy
    scale = (x1p / rx) ** 2 + (y1p / ry) ** 2
    if scale > 1:
        rx, ry = rx * math.sqrt(scale), ry * math.sqrt(scale)
    denominator = (rx * y1p) ** 2 + (ry * x1p) ** 2
    if denominator == 0:
        return [("L", (x2, y2))]
    k = math.sqrt(abs((rx * ry) ** 2 / denominator - 1))
    if large == sweep:
        k = -k
    cxp, cyp = k * rx * y1p / ry, -k * ry * x1p / rx
    cx = cos_phi * cxp - sin_phi * cyp + (x1 + x2) / 2
    cy = sin_phi * cxp + cos_phi * cyp + (y1 + y2) / 2
    ux, uy = (x1p - cxp) / rx, (y1p - cyp) / ry
    vx, vy = (-x1p - cxp) / rx, (-y1p - cyp) / ry
    theta = math.atan2(uy, ux)
    delta = math.atan2(ux * vy - uy * vx, ux * vx + uy * vy)
    if sweep and delta < 0:
        delta += 2 * math.pi
    elif not sweep and delta > 0:
        delta -= 2 * math.pi
    pieces = math.ceil(abs(delta / (math.pi * 0.5 + 0.001)))
    step = delta / pieces
    curves = []
    for i in range(pieces):
        t0, t1 = theta + i * step, theta + (i + 1) * step
        half = 0.5 * (t1 - t0)
        t = (8.0 / 3.0) * math.sin(half * 0.5) ** 2 / math.sin(half)
        points = [(rx * (math.cos(t0) - t * math.sin(t0)), ry * (math.sin(t0) + t * math.cos(t0))),
                  (rx * math.cos(t1) + rx * t * math.sin(t1), ry * math.sin(t1) - ry * t * math.cos(t1)),
                  (rx * math.cos(t1), ry * math.sin(t1))]
        placed = [coordinate for x, y in points
                  for coordinate in (cx + cos_phi * x - sin_phi * y, cy + sin_phi * x + cos_phi * y)]
        curves.append(("C", tuple(placed)))
    return curves


def smooth_control(segment, previous, kind):
    """The first control point of a smooth curve (S, T): the previous curve's last control point
    reflected about the start when that curve is of the same kind, else the start itself, as the
    SVG standard has it. (svgelements reflects a cubic's control point for a T, too.)"""
    start = (segment.start.x, segment.start.y)
    if previous is None or previous[0] != kind:
        return start
    last = previous[1][-4:-2]
    return 2 * start[0] - last[0], 2 * start[1] - last[1]


def path_commands(shape, label):
    commands = []
    previous = None  # the last command, to continue smooth curves from
    for segment in shape.segments(transformed=False):
        if isinstance(segment, se.Move):
            command = ("M", (segment.end.x, segment.end.y))
        elif isinstance(segment, se.Close):
            command = ("Z", ())
        elif isinstance(segment, se.Line):
            command = ("L", (segment.end.x, segment.end.y))
        elif isinstance(segment, se.QuadraticBezier):
            control = smooth_control(segment, previous, "Q") if segment.smooth else (segment.control.x, segment.control.y)
            command = ("Q", (*control, segment.end.x, segment.end.y))
        elif isinstance(segment, se.CubicBezier):
            control = (smooth_control(segment, previous, "C") if segment.smooth
                       else (segment.control1.x, segment.control1.y))
            command = ("C", (*control, segment.control2.x, segment.control2.y, segment.end.x, segment.end.y))
        elif isinstance(segment, se.Arc):
            commands.extend(arc_to_cubics(segment))
            previous = None
            continue
        else:
            raise Refused(f"{label}: path segment {type(segment).__name__} is not supported")
        commands.append(command)
        previous = command
    return commands


def shape_record(shape, label):
    check_attributes(shape, label)
    fill, stroke = paint(shape, "fill", label), paint(shape, "stroke", label)
    width = float(shape.stroke_width) if stroke else 0.0
    if stroke and not width > 0:
        stroke = None
    if not fill and not stroke:
        return None
    commands = path_commands(shape, label)
    if not commands:
        return None
    if commands[0][0] != "M":
        raise Refused(f"{label}: the path does not begin with a move")
    flags = (1 if fill else 0) | (2 if stroke else 0)
    if str(shape.values.get("fill-rule", "nonzero")).strip() == "evenodd":
        flags |= 4
    cap = str(shape.values.get("stroke-linecap", "butt")).strip()
    join = str(shape.values.get("stroke-linejoin", "miter")).strip()
    if cap not in CAPS or join not in JOINS:
        raise Refused(f"{label}: stroke-linecap '{cap}' or stroke-linejoin '{join}' is not supported")
    miter = number(shape.values.get("stroke-miterlimit", "4"), "stroke-miterlimit")
    m = shape.transform
    coordinates = [c for _, numbers in commands for c in numbers]
    if not all(math.isfinite(c) for c in coordinates + [m.a, m.b, m.c, m.d, m.e, m.f]):
        raise Refused(f"{label}: a coordinate or transform is not finite")
    fill_rgb, stroke_rgb = (fill or (0, 0, 0, 0))[:3], (stroke or (0, 0, 0, 0))[:3]
    record = struct.pack("<4B3B3BH", flags, CAPS[cap], JOINS[join], 0, *fill_rgb, *stroke_rgb, 0)
    record += struct.pack("<4d", fill[3] if fill else 0.0, stroke[3] if stroke else 0.0, width, miter)
    record += struct.pack("<6d", m.a, m.b, m.c, m.d, m.e, m.f)
    record += struct.pack("<2I", len(commands), len(coordinates))
    record += bytes(ord(c) for c, _ in commands)
    record += struct.pack(f"<{len(coordinates)}d", *coordinates)
    return record


def picture_size(root):
    width, height = root.values.get("width"), root.values.get("height")
    if width is None and height is None:
        if root.viewbox is None:
            raise Refused("neither width and height nor a view box")
        return root.viewbox.width, root.viewbox.height
    if width is None or height is None or str(width).strip().endswith("%") or str(height).strip().endswith("%"):
        raise Refused("width and height must both be given in pixels, or both be left out")
    return pixels(width, "width"), pixels(height, "height")


def convert(path):
    root = se.SVG.parse(path, reify=False)
    size = picture_size(root)
    records = []
    for element in root.elements():
        label = f"<{element.values.get('tag', type(element).__name__)}>"
        if isinstance(element, (se.SVGText, se.SVGImage)):
            raise Refused(f"{label}: text and images are not supported")
        if isinstance(element, se.Group):
            check_attributes(element, label)
        elif isinstance(element, se.Shape):
            record = shape_record(element, label)
            if record:
                records.append(record)
    return MAGIC + struct.pack("<I2dI", VERSION, *size, len(records)) + b"".join(records)


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: svg_to_paths.py INPUT.svg OUTPUT")
    source, output = sys.argv[1:]
    try:
        data = convert(source)
    except Refused as reason:
        sys.exit(f"{source}: {reason}")
    with open(output, "wb") as file:
        file.write(data)


if __name__ == "__main__":
    main()
