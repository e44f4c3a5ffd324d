// Pictures of real documents for the chunk model: PNG (libpng), JPEG (libjpeg) and GIF
// (giflib) decoded into bitmaps, and each picture put into the model as an embedded
// object (its record in range 13, the item {0x1A, record} that names it) whose bytes are a
// small chunk-script document: a bitmap section inside a picture group that names the
// object, which is what the graphics export filter reads when it converts the object. A
// picture that cannot be decoded becomes an object without a bitmap, so the export's
// placeholder stands where it was. Called by the HTML reader (local <img> files), the
// DOCX reader (images of the package's drawings) and the ODT reader (images of frames);
// kvx_documents.cpp names the source's folder while a document is read.
#pragma once
#include <libxml/tree.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "filters/framework/readers/doc_writer.h"
#include "filters/framework/readers/zip_package.h"

namespace kvx::readers {

// Pictures larger than this many pixels are not decoded (they become objects without a
// bitmap); picture files larger than kMaxPictureBytes are not read.
inline constexpr uint64_t kMaxPicturePixels = uint64_t(4096) * 4096;
inline constexpr size_t kMaxPictureBytes = size_t(32) << 20;

// A decoded picture: rows of red, green, blue, alpha, top row first.
struct DecodedPicture {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgba;
};

// PNG, JPEG or GIF by their signatures; false for anything else or a damaged picture.
bool decode_picture(std::string_view bytes, DecodedPicture& out);

// The embedded document of a picture for the object item object_id: a chunk script of a
// bitmap section (8-bit with a palette when the opaque colours and one transparent entry
// fit in 256, else 24-bit over white) inside group 0xA0150000 naming the object; without
// a picture, a bitmap section that holds nothing.
std::string picture_document(const DecodedPicture* picture, uint32_t object_id);

// The folder (ending in "/") against which the HTML reader resolves local <img> files,
// for the document being read; "" when the source is not a file.
const std::string& picture_source_dir();
class PictureSourceScope {
 public:
  explicit PictureSourceScope(std::string dir);
  ~PictureSourceScope();
  PictureSourceScope(const PictureSourceScope&) = delete;
  PictureSourceScope& operator=(const PictureSourceScope&) = delete;

 private:
  std::string saved_;
};

// The readers' call sites. Each writes one object where the picture stands in the
// running text; sizes come from the document when it gives them, else from the pixels
// at 96 per inch.
// HTML <img src>: a local file (relative to picture_source_dir, or a file: URL); other
// sources (http:, data:) write nothing. width and height: the element's attributes, when
// it has them.
void html_picture(DocWriter& w, std::string src, const std::string_view* width, const std::string_view* height);
// DOCX w:drawing (a:blip r:embed) or w:pict (v:imagedata r:id): the part the relation
// names, relative to word/.
void docx_picture(DocWriter& w, const ZipPackage& zip, const xmlNode* drawing,
                  const std::map<std::string, std::string>& relations);
// ODT draw:frame with draw:image xlink:href (a part of the package); false when the frame
// holds no image.
bool odt_picture(DocWriter& w, const ZipPackage& zip, const xmlNode* frame);

}  // namespace kvx::readers
