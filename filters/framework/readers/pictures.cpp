// Picture decoding and embedded picture objects of the readers (see pictures.h).
#include "filters/framework/readers/pictures.h"

#include <gif_lib.h>
#include <png.h>
// libjpeg's header needs FILE and size_t first.
#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <cctype>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "common/files.h"
#include "filters/framework/chunk_script.h"

namespace kvx::readers {

namespace {

constexpr uint32_t kTwipsPerPixel = 15;  // 1,440 twips per inch at 96 pixels per inch
constexpr uint32_t kBandRows = 256;

bool fits(uint64_t w, uint64_t h) { return w > 0 && h > 0 && w * h <= kMaxPicturePixels; }

bool decode_png(std::string_view bytes, DecodedPicture& out) {
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&img, bytes.data(), bytes.size())) return false;
  if (!fits(img.width, img.height)) {
    png_image_free(&img);
    return false;
  }
  img.format = PNG_FORMAT_RGBA;
  out.rgba.assign(PNG_IMAGE_SIZE(img), 0);
  if (!png_image_finish_read(&img, nullptr, out.rgba.data(), 0, nullptr)) {
    png_image_free(&img);
    return false;
  }
  out.width = img.width;
  out.height = img.height;
  return true;
}

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

void jpeg_fail(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }
void jpeg_quiet(j_common_ptr, int) {}

bool decode_jpeg(std::string_view bytes, DecodedPicture& out) {
  jpeg_decompress_struct info;
  JpegError err;
  std::vector<uint8_t> row;
  std::memset(&info, 0, sizeof info);
  info.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = jpeg_fail;
  err.mgr.emit_message = jpeg_quiet;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || !fits(info.image_width, info.image_height) ||
      info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  out.width = info.output_width;
  out.height = info.output_height;
  out.rgba.assign(size_t(out.width) * out.height * 4, 255);
  row.assign(size_t(out.width) * 3, 0);
  while (info.output_scanline < info.output_height) {
    uint32_t y = info.output_scanline;
    JSAMPROW rows[1] = {row.data()};
    if (jpeg_read_scanlines(&info, rows, 1) != 1) break;
    for (uint32_t x = 0; x < out.width; ++x)
      std::memcpy(&out.rgba[(size_t(y) * out.width + x) * 4], &row[size_t(x) * 3], 3);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

struct GifSource {
  std::string_view bytes;
  size_t at = 0;
};

int gif_read(GifFileType* gif, GifByteType* buffer, int count) {
  auto* s = static_cast<GifSource*>(gif->UserData);
  size_t n = std::min(size_t(count < 0 ? 0 : count), s->bytes.size() - s->at);
  std::memcpy(buffer, s->bytes.data() + s->at, n);
  s->at += n;
  return int(n);
}

bool decode_gif(std::string_view bytes, DecodedPicture& out) {
  GifSource src{bytes, 0};
  int err = 0;
  GifFileType* gif = DGifOpen(&src, gif_read, &err);
  if (gif == nullptr) return false;
  bool ok = false;
  if (DGifSlurp(gif) == GIF_OK && gif->ImageCount >= 1) {
    const SavedImage& im = gif->SavedImages[0];
    const ColorMapObject* map = im.ImageDesc.ColorMap ? im.ImageDesc.ColorMap : gif->SColorMap;
    int w = im.ImageDesc.Width, h = im.ImageDesc.Height;
    if (map != nullptr && w > 0 && h > 0 && fits(uint64_t(w), uint64_t(h)) && im.RasterBits != nullptr) {
      GraphicsControlBlock gcb;
      std::memset(&gcb, 0, sizeof gcb);
      gcb.TransparentColor = NO_TRANSPARENT_COLOR;
      DGifSavedExtensionToGCB(gif, 0, &gcb);
      out.width = uint32_t(w);
      out.height = uint32_t(h);
      out.rgba.assign(size_t(w) * size_t(h) * 4, 255);
      for (size_t i = 0; i < size_t(w) * size_t(h); ++i) {
        int k = im.RasterBits[i];
        uint8_t* p = &out.rgba[i * 4];
        if (k >= map->ColorCount || k == gcb.TransparentColor) {
          p[0] = p[1] = p[2] = 255;
          p[3] = 0;
          continue;
        }
        p[0] = map->Colors[k].Red, p[1] = map->Colors[k].Green, p[2] = map->Colors[k].Blue;
      }
      ok = true;
    }
  }
  DGifCloseFile(gif, &err);
  return ok;
}

// Bytes as upper-case hex digits, appended to s.
void append_hex(std::string& s, const uint8_t* p, size_t n) {
  static const char* const d = "0123456789ABCDEF";
  size_t at = s.size();
  s.resize(at + n * 2);
  char* q = s.data() + at;
  for (size_t i = 0; i < n; ++i) {
    *q++ = d[p[i] >> 4];
    *q++ = d[p[i] & 15];
  }
}

std::string hex(const uint8_t* p, size_t n) {
  std::string s;
  append_hex(s, p, n);
  return s;
}

std::string rrggbb(uint32_t rgb) {
  uint8_t b[3] = {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)};
  return hex(b, 3);
}

// The pixel over white when it is see-through.
uint32_t opaque_rgb(const uint8_t* p) {
  if (p[3] == 255) return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
  auto over = [&](uint8_t c) { return uint32_t((c * p[3] + 255 * (255 - p[3]) + 127) / 255); };
  return over(p[0]) << 16 | over(p[1]) << 8 | over(p[2]);
}

std::string bitmap_lines(const DecodedPicture& pic) {
  const uint32_t w = pic.width, h = pic.height;
  // Colours of the opaque pixels and whether any pixel is see-through, up to 257 colours.
  std::unordered_map<uint32_t, uint32_t> index;
  std::vector<uint32_t> palette;
  bool transparent = false;
  uint32_t last = 0xFFFFFFFFu;  // the colour of the pixel before, already in the palette
  for (size_t i = 0; i < size_t(w) * h && palette.size() + (transparent ? 1 : 0) <= 256; ++i) {
    const uint8_t* p = &pic.rgba[i * 4];
    if (p[3] < 128) {
      transparent = true;
      continue;
    }
    uint32_t rgb = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    if (rgb == last) continue;
    last = rgb;
    if (index.emplace(rgb, uint32_t(palette.size())).second) palette.push_back(rgb);
  }
  std::string s;
  bool indexed = palette.size() + (transparent ? 1 : 0) <= 256;
  if (indexed) {
    uint32_t clear = uint32_t(palette.size());
    if (transparent) palette.push_back(0xFFFFFF);
    if (palette.empty()) palette.push_back(0xFFFFFF);
    s += "palette";
    for (uint32_t c : palette) s += " " + rrggbb(c);
    s += "\nbitmap " + std::to_string(w) + " " + std::to_string(h) + " 8 " + std::to_string(palette.size()) + " " +
         (transparent ? "0x1000" : "0") + " 96 96\n";
    if (transparent) s += "transparency " + std::to_string(clear) + "\n";
    uint32_t stride = (w + 3) / 4 * 4;
    uint32_t last_rgb = 0xFFFFFFFFu, last_index = 0;  // the colour looked up before
    for (uint32_t first = 0; first < h; first += kBandRows) {
      uint32_t n = std::min(kBandRows, h - first);
      std::vector<uint8_t> rows(size_t(stride) * n, 0);
      for (uint32_t r = 0; r < n; ++r)
        for (uint32_t x = 0; x < w; ++x) {
          const uint8_t* p = &pic.rgba[((size_t(first) + r) * w + x) * 4];
          uint32_t at = clear;
          if (p[3] >= 128) {
            uint32_t rgb = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
            if (rgb != last_rgb) last_rgb = rgb, last_index = index[rgb];
            at = last_index;
          }
          rows[size_t(r) * stride + x] = uint8_t(at);
        }
      s += "band " + std::to_string(w) + " " + std::to_string(n) + " ";
      append_hex(s, rows.data(), rows.size());
      s += '\n';
    }
  } else {
    s += "bitmap " + std::to_string(w) + " " + std::to_string(h) + " 24 0 0 96 96\n";
    uint32_t stride = (w * 3 + 3) / 4 * 4;
    for (uint32_t first = 0; first < h; first += kBandRows) {
      uint32_t n = std::min(kBandRows, h - first);
      std::vector<uint8_t> rows(size_t(stride) * n, 0);
      for (uint32_t r = 0; r < n; ++r)
        for (uint32_t x = 0; x < w; ++x) {
          uint32_t rgb = opaque_rgb(&pic.rgba[((size_t(first) + r) * w + x) * 4]);
          uint8_t* q = &rows[size_t(r) * stride + 3 * x];
          q[0] = uint8_t(rgb), q[1] = uint8_t(rgb >> 8), q[2] = uint8_t(rgb >> 16);
        }
      s += "band " + std::to_string(w) + " " + std::to_string(n) + " ";
      append_hex(s, rows.data(), rows.size());
      s += '\n';
    }
  }
  s += "endbitmap\n";
  return s;
}

thread_local std::string t_source_dir;

// "%20"-style escapes of a URL path decoded.
std::string unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out += char(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// A length with its unit ("2.5cm", "1in", "72pt", "96px", "10mm") in twips; 0 when unknown.
int32_t length_twips(const std::string& v) {
  char* end = nullptr;
  double x = std::strtod(v.c_str(), &end);
  if (end == v.c_str() || !(x > 0) || x > 1e6) return 0;
  std::string unit(end);
  double per = unit == "in" ? 1440 : unit == "cm" ? 1440 / 2.54 : unit == "mm" ? 144 / 2.54 : unit == "pt" ? 20
               : unit == "pc" ? 240 : unit == "px" || unit.empty() ? 15 : 0;
  return int32_t(std::min(x * per + 0.5, 2e9));
}

// An attribute of a node found among its descendants (the first one that has it).
xmlNode* find_with_attr(xmlNode* n, const char* element, const char* attribute, int depth = 0) {
  for (; n != nullptr && depth < 32; n = n->next) {
    if (n->type != XML_ELEMENT_NODE) continue;
    if (xml_is(n, element) && xml_has_attr(n, attribute)) return n;
    if (xmlNode* f = find_with_attr(n->children, element, attribute, depth + 1)) return f;
  }
  return nullptr;
}

// A package part named relative to a folder of the package ("media/a.png" from "word/",
// "../media/a.png"); "" when it leaves the package.
std::string part_name(const std::string& folder, std::string target) {
  if (target.starts_with("/")) return target.substr(1);
  std::vector<std::string> parts;
  std::string path = folder + target, piece;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      if (piece == "..") {
        if (parts.empty()) return {};
        parts.pop_back();
      } else if (!piece.empty() && piece != ".") {
        parts.push_back(piece);
      }
      piece.clear();
    } else {
      piece += path[i];
    }
  }
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : "/") + p;
  return out;
}

}  // namespace

bool decode_picture(std::string_view b, DecodedPicture& out) {
  out = DecodedPicture{};
  bool ok = false;
  if (b.size() >= 8 && b.substr(0, 8) == std::string_view("\x89PNG\r\n\x1A\n", 8)) ok = decode_png(b, out);
  else if (b.size() >= 3 && b.substr(0, 3) == "\xFF\xD8\xFF") ok = decode_jpeg(b, out);
  else if (b.size() >= 6 && (b.substr(0, 6) == "GIF87a" || b.substr(0, 6) == "GIF89a")) ok = decode_gif(b, out);
  if (!ok) out = DecodedPicture{};
  return ok;
}

std::string picture_document(const DecodedPicture* picture, uint32_t object_id) {
  std::string s = std::string(kChunkScriptMagic) + "\nsection bm\n";
  if (picture == nullptr || picture->width == 0 || picture->height == 0) return s;
  s += "group 0xA0150000 " + std::to_string(object_id) + "\n";
  s += bitmap_lines(*picture);
  s += "end\n";
  return s;
}

const std::string& picture_source_dir() { return t_source_dir; }

PictureSourceScope::PictureSourceScope(std::string dir) : saved_(std::move(t_source_dir)) {
  t_source_dir = std::move(dir);
}
PictureSourceScope::~PictureSourceScope() { t_source_dir = std::move(saved_); }

bool DocWriter::picture(std::string_view image, int32_t width_twips, int32_t height_twips) {
  if (failed_) return false;
  if (!flush()) return false;
  DecodedPicture pic;
  bool decoded = decode_picture(image, pic);
  uint32_t id = b_.next_item_id();
  std::string doc = picture_document(decoded ? &pic : nullptr, id);
  uint32_t first = 0, record = 0;
  if (!b_.append(KVXRANGE_RECORDS, std::vector<uint8_t>(doc.begin(), doc.end()), &first)) return fail(b_.error());
  KVXOBJECTITEM rec;
  std::memset(&rec, 0, sizeof rec);
  rec.GraphicType = KVXSECTION_BM;
  rec.DataFirst = first;
  rec.DataLength = uint32_t(doc.size());
  int32_t natural_w = int32_t(std::min<uint64_t>(uint64_t(pic.width) * kTwipsPerPixel, INT32_MAX));
  int32_t natural_h = int32_t(std::min<uint64_t>(uint64_t(pic.height) * kTwipsPerPixel, INT32_MAX));
  rec.NaturalWidth = natural_w ? natural_w : std::max(width_twips, 0);
  rec.NaturalHeight = natural_h ? natural_h : std::max(height_twips, 0);
  rec.DisplayWidth = std::max(width_twips, 0);
  rec.DisplayHeight = std::max(height_twips, 0);
  if (rec.DisplayWidth > 0 && rec.DisplayHeight == 0 && natural_w > 0)  // one side given: keep the shape
    rec.DisplayHeight = int32_t(int64_t(rec.DisplayWidth) * natural_h / natural_w);
  if (rec.DisplayHeight > 0 && rec.DisplayWidth == 0 && natural_h > 0)
    rec.DisplayWidth = int32_t(int64_t(rec.DisplayHeight) * natural_w / natural_h);
  rec.LinkSource = 0xFFFFFFFFu;
  const auto* raw = reinterpret_cast<const uint8_t*>(&rec);
  if (!b_.append(KVXRANGE_OBJECTS, std::vector<uint8_t>(raw, raw + sizeof rec), &record)) return fail(b_.error());
  if (!item(KVXITEM_GRAPHIC, record, 0, 0)) return false;
  open_paragraph_ = true;
  return true;
}

void html_picture(DocWriter& w, std::string src, const std::string_view* width, const std::string_view* height) {
  auto dimension = [](const std::string_view* d) {
    if (d == nullptr) return int32_t(0);
    std::string text(*d);
    return text.find('%') == std::string::npos ? length_twips(text) : 0;
  };
  if (size_t cut = src.find_first_of("#?"); cut != std::string::npos) src.erase(cut);
  std::string lower = src;
  for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  std::string path;
  if (lower.starts_with("file://")) {
    path = unescape(src.substr(7));
    if (!path.starts_with("/")) path = path.substr(std::min(path.size(), path.find('/')));  // file://host/path
  } else if (src.empty() || lower.find(':') != std::string::npos || src.starts_with("//")) {
    return;  // another scheme (http:, data: ...) or a host: nothing local to read
  } else if (src.starts_with("/")) {
    path = unescape(src);
  } else {
    if (picture_source_dir().empty()) return;
    path = picture_source_dir() + unescape(src);
  }
  std::string bytes;
  // Only regular files are read: a page that names a device or a pipe gets no picture,
  // and a missing file an object without a bitmap.
  if (!qm::file_read_regular(path, bytes, kMaxPictureBytes)) bytes.clear();
  w.picture(bytes, dimension(width), dimension(height));
}

void docx_picture(DocWriter& w, const ZipPackage& zip, const xmlNode* drawing,
                  const std::map<std::string, std::string>& relations) {
  xmlNode* first = drawing->children;
  xmlNode* blip = find_with_attr(first, "blip", "embed");
  std::string rid = blip ? xml_attr(blip, "embed") : std::string();
  if (rid.empty()) {
    xmlNode* data = find_with_attr(first, "imagedata", "id");
    if (data == nullptr) return;
    rid = xml_attr(data, "id");
  }
  auto it = relations.find(rid);
  if (it == relations.end()) return;
  std::string name = part_name("word/", it->second), bytes;
  if (name.empty() || zip.read(name, bytes) != KVX_OK) bytes.clear();
  int32_t width = 0, height = 0;
  if (xmlNode* extent = find_with_attr(first, "extent", "cx")) {  // EMU: 635 to the twip
    width = int32_t(std::min<double>(std::strtod(xml_attr(extent, "cx").c_str(), nullptr) / 635 + 0.5, 2e9));
    height = int32_t(std::min<double>(std::strtod(xml_attr(extent, "cy").c_str(), nullptr) / 635 + 0.5, 2e9));
  }
  w.picture(bytes, std::max(width, 0), std::max(height, 0));
}

bool odt_picture(DocWriter& w, const ZipPackage& zip, const xmlNode* frame) {
  xmlNode* image = find_with_attr(frame->children, "image", "href");
  if (image == nullptr) return false;
  std::string name = part_name("", unescape(xml_attr(image, "href"))), bytes;
  if (name.empty() || zip.read(name, bytes) != KVX_OK) bytes.clear();
  w.picture(bytes, length_twips(xml_attr(frame, "width")), length_twips(xml_attr(frame, "height")));
  return true;
}

}  // namespace kvx::readers
