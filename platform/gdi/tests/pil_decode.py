#!/usr/bin/env python3
# Test oracle (run by the Debian python3 that has python3-pil): decodes an image file with Pillow and prints "width height" and then the
# RGB bytes of its pixels, top row first, as one hex line.
import sys
from PIL import Image

with Image.open(sys.argv[1]) as im:
    rgb = im.convert("RGB")
    print(rgb.width, rgb.height)
    print(rgb.tobytes().hex())
