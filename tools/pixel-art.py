#!/usr/bin/env python3
"""Redraws the window's XPM pictures at another size, pixel for pixel.

  tools/pixel-art.py double app/images/open.xpm app/images/open@2x.xpm
  tools/pixel-art.py svg app/images/icon.xpm app/images/velmar-html-compressor.svg

"double" makes each pixel a 2x2 square (the @2x pictures Qt shows on
high-density screens); "svg" makes each run of same-coloured pixels a
rectangle, so the icon stays sharp at every size. Both keep the look of the
hand-drawn original exactly.
"""
import re
import sys


def read_xpm(path):
    strings = re.findall(r'"((?:[^"\\]|\\.)*)"', open(path).read())
    width, height, colours, per_pixel = map(int, strings[0].split()[:4])
    palette = {}
    for line in strings[1:1 + colours]:
        key, rest = line[:per_pixel], line[per_pixel:].split()
        palette[key] = rest[rest.index("c") + 1]
    rows = strings[1 + colours:1 + colours + height]
    pixels = [[row[x * per_pixel:(x + 1) * per_pixel] for x in range(width)] for row in rows]
    name = re.search(r"\*\s*(\w+)\s*\[\]", open(path).read()).group(1)
    return name, width, height, per_pixel, palette, pixels, strings[1:1 + colours]


def double(source, target):
    name, width, height, per_pixel, palette, pixels, colour_lines = read_xpm(source)
    lines = ["/* XPM */", "static const char *%s_2x[] = {" % name,
             '"%d %d %d %d",' % (width * 2, height * 2, len(palette), per_pixel)]
    lines += ['"%s",' % line for line in colour_lines]
    rows = []
    for row in pixels:
        wide = "".join(key * 2 for key in row)
        rows += [wide, wide]
    lines += ['"%s",' % row for row in rows[:-1]] + ['"%s"' % rows[-1], "};"]
    open(target, "w").write("\n".join(lines) + "\n")


def svg(source, target):
    _, width, height, _, palette, pixels, _ = read_xpm(source)
    shapes = []
    for y, row in enumerate(pixels):
        x = 0
        while x < width:
            colour = palette[row[x]]
            end = x
            while end < width and row[end] == row[x]:
                end += 1
            if colour.lower() != "none":
                shapes.append('<rect x="%d" y="%d" width="%d" height="1" fill="%s"/>'
                              % (x, y, end - x, colour))
            x = end
    open(target, "w").write(
        '<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 %d %d" width="%d" height="%d" '
        'shape-rendering="crispEdges">\n%s\n</svg>\n'
        % (width, height, width, height, "\n".join(shapes)))


if __name__ == "__main__":
    {"double": double, "svg": svg}[sys.argv[1]](sys.argv[2], sys.argv[3])
