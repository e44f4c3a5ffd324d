#!/usr/bin/env python3
# Test oracle of picview's pixel operations (run by the Debian python3 that has
# python3-pil). Usage:
#   pil_ops.py resize IN.bmp W H          -> Pillow's NEAREST resize
#   pil_ops.py rotate IN.bmp DEGREES      -> Pillow's NEAREST rotate(expand=True)
#   pil_ops.py quantize IN.bmp COUNT METHOD -> Pillow's quantize (0 median cut, 2 fast octree), no dither
#   pil_ops.py gamma VALUE                -> the tone table of a gamma value (gamma x 10)
# Images are printed as "width height" then the RGB bytes, top row first, as one hex line;
# tables as 256 numbers.
import sys
from PIL import Image


def show(im):
    rgb = im.convert("RGB")
    print(rgb.width, rgb.height)
    print(rgb.tobytes().hex())


def gamma_table(value):
    def table(g):
        return [int(255.0 * (v / 255.0) ** (1.0 / g) + 0.5) for v in range(256)]

    identity = list(range(256))
    if value >= 30:
        return table(3.0)
    q, w = value // 5, 2 * (value % 5)
    if q < 2:
        return identity
    tables = {2: (identity, table(1.5)), 3: (table(1.5), table(2.0)), 4: (table(2.0), table(2.5)),
              5: (table(2.5), table(3.0))}
    lower, upper = tables[q]
    return [(upper[v] * w + lower[v] * (10 - w) + 5) // 10 for v in range(256)]


op = sys.argv[1]
if op == "gamma":
    print(" ".join(str(v) for v in gamma_table(int(sys.argv[2]))))
    sys.exit(0)
with Image.open(sys.argv[2]) as im:
    im = im.convert("RGB")
    if op == "resize":
        show(im.resize((int(sys.argv[3]), int(sys.argv[4])), Image.NEAREST))
    elif op == "rotate":
        show(im.rotate(float(sys.argv[3]), resample=Image.NEAREST, expand=True))
    elif op == "quantize":
        show(im.quantize(colors=int(sys.argv[3]), method=int(sys.argv[4]), dither=Image.Dither.NONE))
