#!/usr/bin/python3
"""Writes the picture fixtures of the readers' tests with Pillow and zipfile: an HTML page
with GIF, PNG and JPEG images beside it (pictures/), and a DOCX and an ODT package with an
image each. Run from this folder; the files are kept in the repository."""
import io
import zipfile

from PIL import Image

# A 4 x 3 GIF of three colours, one pixel transparent.
gif = Image.new("P", (4, 3))
gif.putpalette([255, 0, 0, 0, 128, 0, 0, 0, 255, 255, 255, 255] + [0] * (256 * 3 - 12))
gif.putdata([0, 1, 2, 0, 1, 2, 0, 1, 2, 3, 0, 1])
gif.save("pictures/red.gif", transparency=3)

# A 5 x 5 PNG with four colours and a see-through corner.
icon = Image.new("RGBA", (5, 5), (10, 20, 30, 255))
for x in range(5):
    icon.putpixel((x, 2), (200, 100, 0, 255))
    icon.putpixel((2, x), (0, 250, 120, 255))
icon.putpixel((0, 0), (0, 0, 0, 0))
icon.save("pictures/icon.png")

# A 20 x 20 PNG of 400 colours (more than a GIF holds).
grad = Image.new("RGB", (20, 20))
grad.putdata([(x * 12, y * 12, (x * y) % 256) for y in range(20) for x in range(20)])
grad.save("pictures/grad.png")

# A 24 x 16 JPEG.
photo = Image.new("RGB", (24, 16))
photo.putdata([(x * 10, y * 15, 128) for y in range(16) for x in range(24)])
photo.save("pictures/photo.jpg", quality=95)

with open("pictures/page.html", "w") as f:
    f.write('<html><head><title>Pictures</title></head><body>\n'
            '<p>Before <img src="red.gif" width="40"> between <img src="icon.png"></p>\n'
            '<p><img src="grad.png"><img src="photo.jpg" width="48" height="32"></p>\n'
            '<p>Gone <img src="missing.png" alt="x"> far <img src="http://example.com/x.png"> after</p>\n'
            '</body></html>\n')

def png_bytes(image):
    b = io.BytesIO()
    image.save(b, "PNG")
    return b.getvalue()

W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"'
R = 'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
WP = 'xmlns:wp="http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing"'
A = 'xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main"'
PIC = 'xmlns:pic="http://schemas.openxmlformats.org/drawingml/2006/picture"'
with zipfile.ZipFile("pictures.docx", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("[Content_Types].xml",
               '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
               '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
               '<Default Extension="xml" ContentType="application/xml"/><Default Extension="png" ContentType="image/png"/>'
               '<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>'
               '</Types>')
    z.writestr("_rels/.rels",
               '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
               '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>'
               '</Relationships>')
    z.writestr("word/_rels/document.xml.rels",
               '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
               '<Relationship Id="rId5" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/image" Target="media/image1.png"/>'
               '</Relationships>')
    z.writestr("word/document.xml",
               f'<?xml version="1.0" encoding="UTF-8"?><w:document {W} {R} {WP} {A} {PIC}><w:body>'
               '<w:p><w:r><w:t>Logo:</w:t></w:r><w:r><w:drawing><wp:inline><wp:extent cx="914400" cy="457200"/>'
               '<a:graphic><a:graphicData><pic:pic><pic:blipFill><a:blip r:embed="rId5"/></pic:blipFill></pic:pic>'
               '</a:graphicData></a:graphic></wp:inline></w:drawing></w:r><w:r><w:t> end.</w:t></w:r></w:p>'
               '</w:body></w:document>')
    z.writestr("word/media/image1.png", png_bytes(icon))

with zipfile.ZipFile("pictures.odt", "w") as z:
    z.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.text")
    z.writestr("META-INF/manifest.xml",
               '<?xml version="1.0" encoding="UTF-8"?><manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0">'
               '<manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.text"/>'
               '</manifest:manifest>')
    z.writestr("content.xml",
               '<?xml version="1.0" encoding="UTF-8"?><office:document-content '
               'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
               'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
               'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" '
               'xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" '
               'xmlns:xlink="http://www.w3.org/1999/xlink"><office:body><office:text>'
               '<text:p>Chart: <draw:frame svg:width="2.54cm" svg:height="1in"><draw:image xlink:href="Pictures/red.gif"/>'
               '</draw:frame> done.</text:p></office:text></office:body></office:document-content>')
    with open("pictures/red.gif", "rb") as f:
        z.writestr("Pictures/red.gif", f.read())
