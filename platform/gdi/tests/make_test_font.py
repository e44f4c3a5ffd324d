#!/usr/bin/env python3
# Test fixture (run by the Debian python3 that has python3-fonttools): writes "Quill Test",
# a small TrueType font of straight-edged glyphs (P, G, X, 4, 2, A, g, R, 7, a notdef box
# and a space) with its own underline and strike-out values, to the path given. The
# drawing layer's and the glyph renderer's tests list it beside DejaVu and AR PL UMing in
# their private fontconfig configuration; its fixed shapes pin the goldens, and ttx reads
# its tables back as an independent check.
import sys

from fontTools.fontBuilder import FontBuilder
from fontTools.misc.timeTools import timestampFromString
from fontTools.pens.ttGlyphPen import TTGlyphPen

UPEM = 1000
ASCENT, DESCENT = 800, 200

# Each glyph: advance and polygons (counter-clockwise outer contours, font units, y up).
SHAPES = {
    ".notdef": (500, [[(50, 0), (450, 0), (450, 700), (50, 700)], [(100, 50), (100, 650), (400, 650), (400, 50)]]),
    "space": (300, []),
    "P": (600, [[(80, 0), (200, 0), (200, 300), (520, 300), (520, 700), (80, 700)],
                [(200, 400), (200, 600), (400, 600), (400, 400)]]),
    "G": (650, [[(60, 0), (590, 0), (590, 350), (330, 350), (330, 250), (470, 250), (470, 100), (180, 100),
                 (180, 600), (590, 600), (590, 700), (60, 700)]]),
    "X": (620, [[(40, 0), (170, 0), (310, 260), (450, 0), (580, 0), (380, 350), (580, 700), (450, 700),
                 (310, 440), (170, 700), (40, 700), (240, 350)]]),
    "four": (600, [[(380, 0), (500, 0), (500, 200), (560, 200), (560, 300), (500, 300), (500, 700), (380, 700),
                    (40, 300), (40, 200), (380, 200)], [(380, 300), (160, 300), (380, 560)]]),
    "two": (600, [[(60, 0), (540, 0), (540, 100), (200, 100), (540, 450), (540, 700), (60, 700), (60, 600),
                   (420, 600), (420, 480), (60, 120)]]),
    "A": (640, [[(20, 0), (150, 0), (220, 200), (420, 200), (490, 0), (620, 0), (380, 700), (260, 700)],
                [(255, 300), (320, 500), (385, 300)]]),
    "g": (560, [[(60, -200), (500, -200), (500, 500), (60, 500), (60, 100), (380, 100), (380, -100), (60, -100)],
                [(180, 200), (180, 400), (380, 400), (380, 200)]]),
    "R": (620, [[(80, 0), (200, 0), (200, 300), (300, 300), (450, 0), (590, 0), (420, 320), (530, 360),
                 (530, 700), (80, 700)], [(200, 400), (200, 600), (410, 600), (410, 400)]]),
    "seven": (560, [[(180, 0), (310, 0), (520, 600), (520, 700), (40, 700), (40, 600), (390, 600)]]),
}
CMAP = {ord("P"): "P", ord("G"): "G", ord("X"): "X", ord("4"): "four", ord("2"): "two", ord("A"): "A",
        ord("g"): "g", ord("R"): "R", ord("7"): "seven", ord(" "): "space"}


def build(path):
    order = list(SHAPES)
    fb = FontBuilder(UPEM, isTTF=True)
    fb.setupGlyphOrder(order)
    fb.setupCharacterMap(CMAP)
    glyphs, metrics = {}, {}
    for name, (advance, polygons) in SHAPES.items():
        pen = TTGlyphPen(None)
        for poly in polygons:
            pen.moveTo(poly[0])
            for point in poly[1:]:
                pen.lineTo(point)
            pen.closePath()
        glyphs[name] = pen.glyph()
        xs = [x for poly in polygons for x, _ in poly]
        metrics[name] = (advance, min(xs) if xs else 0)
    fb.setupGlyf(glyphs)
    fb.setupHorizontalMetrics(metrics)
    fb.setupHorizontalHeader(ascent=ASCENT, descent=-DESCENT)
    fb.setupNameTable({"familyName": "Quill Test", "styleName": "Regular"})
    fb.setupOS2(sTypoAscender=ASCENT, sTypoDescender=-DESCENT, usWinAscent=ASCENT, usWinDescent=DESCENT,
                yStrikeoutSize=64, yStrikeoutPosition=310, xAvgCharWidth=580)
    fb.setupPost(underlinePosition=-130, underlineThickness=48)
    fixed = timestampFromString("Mon Jan  1 00:00:00 2024")  # the same bytes on every run
    fb.updateHead(created=fixed, modified=fixed)
    fb.save(path)


if __name__ == "__main__":
    build(sys.argv[1])
