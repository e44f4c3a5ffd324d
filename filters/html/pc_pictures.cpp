// Pictures of the HTML export: nested graphics exports, IMG elements, links offered to
// the host and the spacer picture (see pc_pictures.h).
#include "pc_pictures.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "filters/graphics/placeholders.h"
#include "pc_blocks.h"
#include "pc_chars.h"
#include "pc_charsets.h"
#include "pc_gif.h"
#include "pc_writer.h"

namespace pc {

struct PictureState {
  // The link text block of EUProcessLink, held until EUCleanupAfterLink.
  void* link_handle = nullptr;
  void* link_data = nullptr;
  uint32_t link_bytes = 0;
  bool link_only = false;
  bool spacer_tried = false;
  std::string spacer_link;
};

namespace {

constexpr uint32_t kLinkBlock = 2048;
constexpr uint32_t kLinkTextMax = 1024;
constexpr uint32_t kNoItem = 0xFFFFFFFFu;
constexpr uint32_t kPictureFileKind = 0x202;
constexpr uint32_t kMaxResolution = 2400;
constexpr uint32_t kHtmlModuleWord = 2;

PictureState& pictures(Export& x) {
  if (!x.pictures) x.pictures = std::make_shared<PictureState>();
  return *x.pictures;
}

bool is_unicode(uint32_t charset) { return UTGetUnknownCharSet(charset) == KVXCS_UNICODE; }

// Text in a link block: 8-bit text of a set (a lead byte and its trail form one unit), or
// Unicode units high byte first; up to the terminator or limit bytes.
std::vector<uint16_t> widen_link_text(const uint8_t* text, uint32_t charset, size_t limit) {
  std::vector<uint16_t> units;
  if (text == nullptr) return units;
  if (is_unicode(charset)) {
    for (size_t i = 0; i + 1 < limit; i += 2) {
      uint16_t u = uint16_t(text[i] << 8 | text[i + 1]);
      if (u == 0) break;
      units.push_back(u);
    }
    return units;
  }
  for (size_t i = 0; i < limit && text[i] != 0; ++i) {
    if (UTIsLeadByte(charset, text[i]) && i + 1 < limit && text[i + 1] != 0) {
      units.push_back(uint16_t(text[i] << 8 | text[i + 1]));
      ++i;
    } else {
      units.push_back(text[i]);
    }
  }
  return units;
}

// Maps units of a set to Unicode in place; the map's status.
KVXSTATUS map_to_unicode(std::vector<uint16_t>& units, uint32_t charset) {
  if (is_unicode(charset)) return KVX_OK;
  KVXCHARMAP* map = nullptr;
  if (KVXSTATUS st = CreateCharMap(&map, charset, KVXCS_UNICODE, 0x3F)) return st;
  KVXSTATUS st = KVX_OK;
  for (uint16_t& u : units) {
    uint32_t result = 0;
    if ((st = UTMapCharRtn(map, u, &result)) != KVX_OK) break;
    u = uint16_t(result >> 16);
  }
  UTReleaseMap(map);
  return st;
}

size_t text_limit(const KVXLINKRECORD& link, const PictureState& p) {
  if (link.Text == p.link_data && p.link_data != nullptr) return p.link_bytes;
  return 1u << 20;  // the host's own text: up to its terminator
}

void free_link_block(Export& x, PictureState& p) {
  if (p.link_handle != nullptr) BlockFree(&p.link_handle, &p.link_data, &x.ledger.block_bytes);
  p.link_handle = p.link_data = nullptr;
  p.link_bytes = 0;
}

KVXSTATUS alloc_link_block(Export& x, PictureState& p, uint32_t bytes) {
  free_link_block(x, p);
  if (KVXSTATUS st = BlockAlloc(&p.link_handle, &p.link_data, bytes, &x.ledger.block_bytes)) return st;
  std::memset(p.link_data, 0, bytes);
  p.link_bytes = bytes;
  return KVX_OK;
}

// Reads the text of the link source into the block as 8-bit text of its set (Unicode
// units two bytes, high first); 46 when it does not fit in 1,024 bytes.
KVXSTATUS read_link_text(Export& x, const uint32_t* source, PictureState& p, KVXLINKRECORD& link) {
  uint32_t flags = source[0];
  uint32_t item = (flags & 2) ? source[2] : (flags & 0x80) ? source[1] : kNoItem;
  link.CharacterSet = x.writer.s.documentCharset;
  if (item == kNoItem) return KVX_OK;
  uint32_t run[4] = {};
  if (KVXSTATUS st = CHGetItem(x.chunker, KVXRANGE_ITEMS, item, run, nullptr)) return st;
  if (run[0] != KVXITEM_TEXT) return KVXERR_NOITEM;
  link.CharacterSet = run[1];
  std::vector<uint16_t> units(run[3]);
  if (run[3] > kLinkTextMax) return KVXERR_BUFFERTOOSMALL;
  if (!units.empty())
    if (KVXSTATUS st = CHGetItems(x.chunker, KVXRANGE_TEXT, run[2], units.data(), uint32_t(units.size() * 2)))
      return st;
  std::vector<uint8_t> bytes;
  bool unicode = is_unicode(run[1]);
  for (uint16_t u : units) {
    if (unicode || u > 0xFF) bytes.push_back(uint8_t(u >> 8));
    bytes.push_back(uint8_t(u));
  }
  if (bytes.size() + (unicode ? 2 : 1) > kLinkTextMax) return KVXERR_BUFFERTOOSMALL;
  std::memcpy(p.link_data, bytes.data(), bytes.size());
  return KVX_OK;
}

bool natural_size(const KVXOBJECTITEM& o) {
  return o.NaturalHeight != 0 && o.NaturalWidth != 0 && !(o.Flags & 4);
}

// The object's id file: DAGetFileId of the opened object (0 becomes 1999), 1998 when it
// cannot be opened.
uint32_t object_file_id(KVXHANDLE ex, uint32_t objectId, uint16_t openFlags) {
  KVXEMBEDDEDSPEC spec = {24, ex, objectId, kNoItem, 0, 0};
  KVXHANDLE doc = 0;
  if (DAOpenDocument(&doc, KVXSPEC_EMBEDDED, &spec, openFlags) != KVX_OK) return KVXEXPORT_NONE;
  uint32_t id = 0;
  if (DAGetFileId(doc, &id) != KVX_OK || id == 0) id = KVXFI_UNKNOWN;
  DACloseDocument(doc);
  return id;
}

// Step 2 of the IMG writers: the paragraph waiting to start and the formatting waiting to
// be written go out first.
KVXSTATUS flush_pending(WriterState& s) {
  uint32_t status = 0;
  if (s.paraPending && !s.paraOpen) {
    CloseFormatting(status, s);
    StartParagraph(status, s);
  }
  FlushPendingFormat(status, s);
  return KVXSTATUS(status);
}

// The url as Unicode text in the output form (the writer's text set switched for it).
void write_url(const std::u16string& url, uint32_t& status, WriterState& s) {
  uint32_t saved = s.textCharset;
  if (SetTextCharset(KVXCS_UNICODE, s) != KVX_OK) {
    status = status ? status : KVXERR_UNSUPPORTED;
    return;
  }
  std::vector<uint16_t> units(url.begin(), url.end());
  WriteText16(units.data(), uint32_t(units.size()), status, s);
  if (saved != s.textCharset) SetTextCharset(saved, s);
}

void write_alt(KVXSTATUS unconverted, uint32_t& status, WriterState& s) {
  if (unconverted != 0) EmitTagText(true, " %s\"%s\"", "Unconverted image", 63, status, s);
}

// The alignment block around an embedded object: DIV with ALIGN (and CENTER for centre).
void open_alignment(int alignment, uint32_t& status, WriterState& s) {
  if (!EmitTag(true, "<%s", 71, status, s)) {
    if (alignment == 3) EmitTag(true, "<%s>", 74, status, s);
    return;
  }
  if (alignment == 2) EmitTag(true, " %s\"RIGHT\"", 72, status, s);
  else if (alignment == 3) EmitTag(true, " %s\"CENTER\"", 72, status, s);
  else if (alignment == 4) EmitTag(true, " %s", 73, status, s);
  else EmitTag(true, " %s\"LEFT\"", 72, status, s);
  EmitRaw(">", status, s);
  if (alignment == 3) EmitTag(true, "<%s>", 74, status, s);
}

void close_alignment(int alignment, uint32_t& status, WriterState& s) {
  if (alignment == 3) EmitTag(false, "<%s>", 74, status, s);
  EmitTag(false, "<%s>", 71, status, s);
  EmitLineBreak(status, s);
}

// The spec type of the export's output (info id 14; 2 when it cannot be read).
uint32_t output_spec_type(Export& x) {
  KVXIO* out = x.root_out ? x.root_out : x.writer.s.output;
  uint32_t spec = KVXSPEC_PATH;
  if (out == nullptr || out->GetInfo == nullptr || out->GetInfo(out, KVXIOINFO_SPECTYPE, &spec) != KVX_OK)
    spec = KVXSPEC_PATH;
  return spec;
}

// A new picture file beside the root file for the graphics type.
KVXSTATUS open_picture_file(Export& x, uint32_t graphicType, KVXIO** out, std::u16string* name) {
  uint32_t spec = output_spec_type(x);
  if (spec == KVXSPEC_IOOBJECT) spec = x.root_spec_type;
  return open_new_file(x, x.writer.s.output, kPictureFileKind, graphicType, spec, nullptr, out, name);
}

bool graphic_type(Export& x, uint32_t& type, KVXSTATUS& st) {
  uint32_t size = 4;
  st = DAGetOption(x.ex, KVXOPT_GRAPHICTYPE, &type, &size);
  return st == KVX_OK;
}

PCGRAPHICCONVERSION* lock_conversion(KVXBLOCK b) { return static_cast<PCGRAPHICCONVERSION*>(KVXBlockLock(b)); }

KVXSTATUS new_conversion(KVXBLOCK* out, PCGRAPHICCONVERSION** c) {
  *out = 0;
  KVXBLOCK b = KVXBlockAlloc(KVXBLOCK_MOVABLE | KVXBLOCK_ZEROINIT, sizeof(PCGRAPHICCONVERSION));
  if (b == 0) return KVXERR_NOMEMORY;
  *c = lock_conversion(b);
  if (*c == nullptr) {
    KVXBlockFree(b);
    return KVXERR_NOMEMORY;
  }
  *out = b;
  return KVX_OK;
}

uint32_t resolution_option(KVXHANDLE ex, uint32_t fallback) {
  uint32_t v = 0, size = 4;
  if (DAGetOption(ex, KVXOPT_34, &v, &size) != KVX_OK) return fallback;
  return std::min(v, kMaxResolution);
}

void set_word(KVXHANDLE h, uint32_t id, uint32_t v) { DASetOption(h, id, &v, 4); }

void copy_option(KVXHANDLE from, KVXHANDLE to, uint32_t id) {
  uint32_t v = 0, size = 4;
  if (DAGetOption(from, id, &v, &size) == KVX_OK && size == 4) set_word(to, id, v);
}

}  // namespace

BorderDecode DecodeObjectBorder(uint32_t w) {
  if (w & (0x800 | 0x1000)) return {2, 1};
  if (w & (0x400 | 0x4000 | 0x2000)) return {2, 4};
  int a = (w & 1) ? 0 : (w & 2) ? 2 : 1;
  int b = (w & 4) ? 1 : (w & 8) ? 4 : 2;
  return {a, b};
}

uint32_t TwipsToPixels(int32_t twips, uint32_t resolution) {
  int64_t v = (int64_t(twips) * int64_t(resolution) + 720) / 1440;
  return uint32_t(std::clamp<int64_t>(v, 0, 0x7FFFFFFF));
}

int32_t CropPercent(int32_t crop, int32_t natural) {
  if (natural == 0) return 0;
  int64_t v = int64_t(crop) * 100 / int64_t(natural);
  return int32_t(std::clamp<int64_t>(v, 0, 100));
}

void SetPictureLinkOnly(Export& x, bool on) { pictures(x).link_only = on; }

KVXSTATUS EmbeddedObjectTag(Export& x, long height, long width, const KVXOBJECTITEM& o, const std::u16string& url,
                            uint32_t flags, KVXSTATUS unconverted) {
  WriterState& s = x.writer.s;
  if (!TagAllowed(17, s.flavour)) return KVX_OK;
  if (KVXSTATUS st = flush_pending(s)) return st;
  if (pictures(x).link_only) return KVX_OK;
  uint32_t status = 0;
  int alignment = s.alignment;
  open_alignment(alignment, status, s);
  if (EmitTag(true, "<%s\"", 17, status, s)) {
    write_url(url, status, s);
    EmitRaw("\"", status, s);
    if (flags & 2) {
      BorderDecode a = DecodeObjectBorder(o.BorderA), b = DecodeObjectBorder(o.BorderB);
      if (a.a + b.a > 2) EmitTagNumber(true, " %s\"%d\"", a.b == b.b ? a.b : 2, 18, status, s);
    }
    if ((flags & 6) == 6) EmitSizeAttrs(height, width, 19, status, s);
    write_alt(unconverted, status, s);
    EmitRaw(">", status, s);
    EmitTag(false, "<%s>", 17, status, s);
  }
  close_alignment(alignment, status, s);
  return KVXSTATUS(status);
}

KVXSTATUS GraphicObjectTag(Export& x, long height, long width, const std::u16string& name, KVXSTATUS unconverted) {
  WriterState& s = x.writer.s;
  if (KVXSTATUS st = flush_pending(s)) return st;
  uint32_t status = 0;
  if (pictures(x).link_only) {
    write_url(name, status, s);
    return status ? kStatusWriteFailed : KVX_OK;
  }
  if (!TagAllowed(17, s.flavour)) return KVX_OK;
  if (EmitTag(true, "<%s\"", 17, status, s)) {
    write_url(name, status, s);
    EmitRaw("\"", status, s);
    EmitTag(true, " %s\"0\"", 18, status, s);
    EmitSizeAttrs(height, width, 19, status, s);
    write_alt(unconverted, status, s);
    EmitRaw(">", status, s);
    EmitTag(false, "<%s>", 17, status, s);
  }
  return KVXSTATUS(status);
}

// ---- Links --------------------------------------------------------------------------------

namespace {

KVXSTATUS process_link(Export& x, uint32_t objectId, const KVXOBJECTITEM& o, const uint32_t* source,
                       KVXLINKRECORD& link) {
  PictureState& p = pictures(x);
  if (KVXSTATUS st = alloc_link_block(x, p, kLinkBlock)) return st;
  link.Text = p.link_data;
  if (KVXSTATUS st = read_link_text(x, source, p, link)) {
    free_link_block(x, p);
    return st;
  }
  link.FileId = object_file_id(x.ex, objectId, o.OpenFlags);
  link.Flags = natural_size(o) ? 7 : 3;
  KVXSTATUS answer = EXDoCallback(x.ex, KVXCB_PROCESSLINK, &link);
  if (answer != KVX_OK) {
    free_link_block(x, p);
    return answer;
  }
  bool replaced = link.Text != p.link_data;
  if (replaced) free_link_block(x, p);
  if (!natural_size(o)) link.Flags &= ~4u;
  if ((link.Flags & 1) && link.CharacterSet != x.writer.s.outputCharset && link.Text != nullptr) {
    std::vector<uint16_t> units = widen_link_text(static_cast<const uint8_t*>(link.Text), link.CharacterSet,
                                                  text_limit(link, p));
    if (replaced) {
      if (KVXSTATUS st = alloc_link_block(x, p, uint32_t(units.size()) * 2 + 2)) return st;
    }
    if (KVXSTATUS st = map_to_unicode(units, link.CharacterSet)) {
      free_link_block(x, p);
      return st;
    }
    link.CharacterSet = KVXCS_UNICODE;
    auto* out = static_cast<uint8_t*>(p.link_data);
    size_t n = std::min<size_t>(units.size(), p.link_bytes / 2 - 1);
    for (size_t i = 0; i < n; ++i) {
      out[2 * i] = uint8_t(units[i] >> 8);
      out[2 * i + 1] = uint8_t(units[i]);
    }
    out[2 * n] = out[2 * n + 1] = 0;
    link.Text = p.link_data;
  }
  return KVX_OK;
}

// The link text as Unicode, whatever form it has (8-bit text is always widened).
std::u16string link_text_unicode(Export& x, const KVXLINKRECORD& link) {
  std::vector<uint16_t> units =
      widen_link_text(static_cast<const uint8_t*>(link.Text), link.CharacterSet, text_limit(link, pictures(x)));
  if (map_to_unicode(units, link.CharacterSet) != KVX_OK) {
    for (uint16_t& u : units)
      if (u > 0x7F) u = u'?';
  }
  return std::u16string(units.begin(), units.end());
}

}  // namespace

// ---- Conversions --------------------------------------------------------------------------

namespace {

KVXSTATUS setup_object(Export& x, uint32_t objectId, uint32_t type, KVXIO* output, KVXBLOCK* out,
                       PCGRAPHICSIZE* size, KVXHANDLE chunker) {
  PCGRAPHICCONVERSION* c = nullptr;
  if (KVXSTATUS st = new_conversion(out, &c)) return st;
  c->ExportType = type;
  c->Output = output;
  c->ObjectId = objectId;
  uint32_t item[4] = {};
  KVXOBJECTITEM o{};
  if (CHGetItem(chunker, KVXRANGE_ITEMS, objectId, item, nullptr) == KVX_OK)
    CHGetItem(chunker, KVXRANGE_OBJECTS, item[1], &o, nullptr);
  c->OpenFlags = o.OpenFlags;
  c->Selection.Words[2] &= 0xFFFF0000u;
  c->Kind = 2;
  c->Size = size;
  c->Resolution = resolution_option(x.ex, 96);
  size->Width = TwipsToPixels(o.DisplayWidth, c->Resolution);
  size->Height = TwipsToPixels(o.DisplayHeight, c->Resolution);
  if (size->Width == 0 && size->Height == 0) {
    size->Width = TwipsToPixels(o.NaturalWidth, c->Resolution);
    size->Height = TwipsToPixels(o.NaturalHeight, c->Resolution);
  }
  size->Export = x.ex;
  c->Crop[0] = CropPercent(o.Crop[1], o.NaturalWidth);
  c->Crop[2] = CropPercent(o.Crop[3], o.NaturalWidth);
  c->Crop[1] = CropPercent(o.Crop[0], o.NaturalHeight);
  c->Crop[3] = CropPercent(o.Crop[2], o.NaturalHeight);
  c->ItemFlags = o.Flags;
  KVXBlockUnlock(*out);
  return KVX_OK;
}

KVXSTATUS setup_selection(Export& x, const KVXSELECTION& sel, uint32_t type, KVXIO* output, PCGRAPHICSIZE* size,
                          KVXBLOCK* out) {
  PCGRAPHICCONVERSION* c = nullptr;
  if (KVXSTATUS st = new_conversion(out, &c)) return st;
  c->ExportType = type;
  c->Output = output;
  c->OpenFlags = 1;
  c->Kind = 1;
  c->Selection.Words[0] = 0;
  c->Selection.Words[1] = sel.Words[1];
  c->Selection.Words[2] = sel.Words[2];
  c->ObjectId = kNoItem;
  c->Size = size;
  if (!(size->Flags & 0x10000)) size->Width = 0;
  if (!(size->Flags & 1)) size->Height = 0;
  size->Export = x.ex;
  c->Resolution = resolution_option(x.ex, 0);
  KVXBlockUnlock(*out);
  return KVX_OK;
}

void handle_failure(KVXHANDLE ex, const PCGRAPHICCONVERSION& c, KVXSTATUS status) {
  uint32_t width = 1, height = 1;
  KVXGRAPHICFAILURE f{c.Output, &width, &height, c.ExportType, status};
  if (EXDoCallback(ex, KVXCB_GRAPHICFAILED, &f) != KVXCB_USEDEFAULT || c.Output == nullptr) return;
  c.Output->Seek(c.Output, KVXIO_SEEK_SET, 0);
  uint32_t written = 0;
  if (c.ExportType == KVXEXPORT_JPEG)
    c.Output->Write(c.Output, gfx::kPlaceholderJpeg, sizeof gfx::kPlaceholderJpeg, &written);
  else
    c.Output->Write(c.Output, gfx::kPlaceholderGif, sizeof gfx::kPlaceholderGif, &written);
}

KVXSTATUS do_conversion(KVXHANDLE ex, KVXBLOCK block) {
  PCGRAPHICCONVERSION* c = lock_conversion(block);
  if (c == nullptr) return KVXERR_OPENFAILED;
  KVXSTATUS status = KVX_OK;
  KVXHANDLE doc = 0;
  bool opened = false;
  if (c->Kind == 2) {
    KVXEMBEDDEDSPEC spec = {24, ex, c->ObjectId, kNoItem, 0, 0};
    if (DAOpenDocument(&doc, KVXSPEC_EMBEDDED, &spec, c->OpenFlags) == KVX_OK) {
      opened = true;
      KVXSELECTION sel{};
      if (DAGetSelection(doc, &sel) == KVX_OK) c->Selection = sel;
    } else {
      status = KVXERR_OPENFAILED;
    }
  } else {
    doc = ex;
  }
  if (status != KVX_OK) {
    handle_failure(ex, *c, KVXERR_OPENFAILED);
  } else {
    KVXHANDLE nested = 0;
    if (EXOpenExport(doc, c->ExportType, KVXSPEC_IOOBJECT, c->Output, 0, &c->Selection, &pagecastCallback, c->Size,
                     &nested) != KVX_OK) {
      status = KVXERR_OPENFAILED;
      handle_failure(ex, *c, status);
    } else {
      set_word(nested, KVXOPT_GRAPHICWIDTH, c->Size->Width);
      set_word(nested, KVXOPT_GRAPHICHEIGHT, c->Size->Height);
      DASetOption(nested, KVXOPT_GRAPHICRECT, c->Crop, 16);
      set_word(nested, KVXOPT_19, c->ItemFlags);
      set_word(nested, KVXOPT_25, c->Resolution);
      set_word(nested, KVXOPT_26, c->Resolution);
      set_word(nested, KVXOPT_FALLBACKPICTURE, 1);
      copy_option(ex, nested, KVXOPT_28);
      copy_option(ex, nested, KVXOPT_30);
      copy_option(ex, nested, KVXOPT_GIFINTERLACE);
      status = EXRunExport(nested);
      EXCloseExport(nested);
    }
  }
  if (opened) DACloseDocument(doc);
  KVXBlockUnlock(block);
  KVXBlockFree(block);
  return status;
}

// Creates the picture file, converts into it and closes the filter's hold on it. *name
// gets the file's name; the status of the conversion goes to *converted.
KVXSTATUS convert_into_file(Export& x, uint32_t type, bool selection, const KVXSELECTION& sel, uint32_t objectId,
                            PCGRAPHICSIZE& size, std::u16string& name, KVXSTATUS& converted) {
  KVXIO* file = nullptr;
  if (KVXSTATUS st = open_picture_file(x, type, &file, &name)) return st;
  KVXBLOCK conv = 0;
  converted = selection ? setup_selection(x, sel, type, file, &size, &conv)
                        : setup_object(x, objectId, type, file, &conv, &size, x.chunker);
  if (converted == KVX_OK) converted = do_conversion(x.ex, conv);
  file->Close(file);  // the nested export closed its own share
  return KVX_OK;
}

}  // namespace

KVXSTATUS WriteSectionImage(Export& x, uint32_t section, uint32_t width, uint32_t height) {
  uint32_t type = 0;
  KVXSTATUS st;
  if (!graphic_type(x, type, st)) return st;
  if (type == KVXEXPORT_NONE) return KVX_OK;
  KVXSELECTION sel{};
  sel.Words[2] = section & 0xFFFF;
  PCGRAPHICSIZE size{(width ? 0x10000u : 0u) | (height ? 1u : 0u), width, height, x.ex};
  std::u16string name;
  KVXSTATUS converted = KVX_OK;
  if (KVXSTATUS fs = convert_into_file(x, type, true, sel, kNoItem, size, name, converted)) return fs;
  WriterState& s = x.writer.s;
  BeginElement(0, s);
  AddPendingAnchor(u"s" + widen(std::to_string(section + 1)) + u"image", s);
  KVXSTATUS written = GraphicObjectTag(x, long(size.Height), long(size.Width), name, converted);
  KVXSTATUS ended = EndElement(s);
  return written ? written : ended;
}

KVXSTATUS WriteGraphic(Export& x, uint32_t converterFlags, uint32_t elementFlags, uint32_t itemId, uint32_t ordinal) {
  uint32_t item[4] = {};
  KVXOBJECTITEM o{};
  if (KVXSTATUS st = CHGetItem(x.chunker, KVXRANGE_ITEMS, itemId, item, nullptr)) return st;
  if (KVXSTATUS st = CHGetItem(x.chunker, KVXRANGE_OBJECTS, item[1], &o, nullptr)) return st;
  std::u16string anchor = u"graphic" + widen(std::to_string(ordinal));
  WriterState& s = x.writer.s;
  uint32_t source[4] = {};
  if ((o.LinkText & 1) && CHGetItem(x.chunker, KVXRANGE_ITEMS, o.LinkSource, source, nullptr) == KVX_OK &&
      (source[0] & 0x82) != 0 && (source[0] & ~0x82u) == 0) {
    KVXLINKRECORD link{};
    KVXSTATUS st = process_link(x, itemId, o, source, link);
    if (st == KVX_OK && link.Action == 1) {
      long w = 0, h = 0;
      if (!(o.Flags & 4)) {
        int32_t tw = o.DisplayWidth || o.DisplayHeight ? o.DisplayWidth : o.NaturalWidth;
        int32_t th = o.DisplayWidth || o.DisplayHeight ? o.DisplayHeight : o.NaturalHeight;
        w = long(TwipsToPixels(tw, 72));
        h = long(TwipsToPixels(th, 72));
      }
      std::u16string url = link_text_unicode(x, link);
      AddPendingAnchor(anchor, s);
      KVXSTATUS written = EmbeddedObjectTag(x, h, w, o, url, link.Flags, 0);
      free_link_block(x, pictures(x));
      return written;
    }
    free_link_block(x, pictures(x));
    if (st == KVX_OK && link.Action == 2) return KVX_OK;
  }
  uint32_t type = 0;
  KVXSTATUS st;
  if ((converterFlags & 4) || (elementFlags & 0x80000000u)) return KVX_OK;
  if (!graphic_type(x, type, st)) return st;
  if (type == KVXEXPORT_NONE) return KVX_OK;
  PCGRAPHICSIZE size{};
  std::u16string name;
  KVXSTATUS converted = KVX_OK;
  if (KVXSTATUS fs = convert_into_file(x, type, false, KVXSELECTION{}, itemId, size, name, converted)) return fs;
  AddPendingAnchor(anchor, s);
  return EmbeddedObjectTag(x, long(size.Height), long(size.Width), o, name, 7, converted);
}

bool SpacerPicture(Export& x, std::string& link) {
  PictureState& p = pictures(x);
  if (!p.spacer_tried) {
    p.spacer_tried = true;
    KVXIO* file = nullptr;
    std::u16string name;
    if (open_picture_file(x, KVXEXPORT_GIF, &file, &name) == KVX_OK) {
      WriteGIF(file, 1);
      bool closed = file->Close(file) == KVX_OK;
      if (closed) p.spacer_link = narrow(name);
    }
  }
  link = p.spacer_link;
  return !link.empty();
}

void InstallSpacerPicture(Export& x) {
  Export* px = &x;
  x.writer.s.spacerPicture = [px](std::string& link) { return SpacerPicture(*px, link); };
}

}  // namespace pc

// ---- Exports ----------------------------------------------------------------------------------

extern "C" {

KVX_API KVXSTATUS HtmlExportEmbeddedObject(int32_t height, int32_t width, const KVXOBJECTITEM* object,
                                           const uint16_t* url, uint32_t flags, KVXSTATUS unconverted,
                                           void* instance) {
  pc::Export* x = pc::export_of(instance);
  if (x == nullptr || object == nullptr) return KVXERR_BADPARAM;
  std::u16string u;
  for (size_t i = 0; url != nullptr && i < KVXIO_NAMEMAX && url[i] != 0; ++i) u.push_back(char16_t(url[i]));
  return pc::EmbeddedObjectTag(*x, height, width, *object, u, flags, unconverted);
}

KVX_API KVXSTATUS HtmlExportGraphicObject(int32_t height, int32_t width, const PCPICTUREFILE* file,
                                          KVXSTATUS unconverted, void* instance) {
  pc::Export* x = pc::export_of(instance);
  if (x == nullptr || file == nullptr) return KVXERR_BADPARAM;
  std::u16string name;
  for (size_t i = 0; i < KVXIO_NAMEMAX && file->Name[i] != 0; ++i) name.push_back(char16_t(file->Name[i]));
  return pc::GraphicObjectTag(*x, height, width, name, unconverted);
}

KVX_API KVXSTATUS EUProcessLink(uint32_t objectId, const KVXOBJECTITEM* object, const uint32_t* linkSource,
                                KVXLINKRECORD* link, void* instance) {
  pc::Export* x = pc::export_of(instance);
  if (x == nullptr || object == nullptr || linkSource == nullptr || link == nullptr) return KVXERR_BADPARAM;
  try {
    return pc::process_link(*x, objectId, *object, linkSource, *link);
  } catch (const std::bad_alloc&) {
    return KVXERR_NOMEMORY;
  }
}

KVX_API void EUCleanupAfterLink(void* instance) {
  pc::Export* x = pc::export_of(instance);
  if (x != nullptr && x->pictures) pc::free_link_block(*x, *x->pictures);
}

KVX_API KVXSTATUS EUSetupObjectConversion(uint32_t objectId, uint32_t exportType, KVXIO* output, uint32_t /*unused*/,
                                          KVXBLOCK* conversion, PCGRAPHICSIZE* size, KVXHANDLE chunker,
                                          void* instance) {
  pc::Export* x = pc::export_of(instance);
  if (x == nullptr || conversion == nullptr || size == nullptr) return KVXERR_BADPARAM;
  return pc::setup_object(*x, objectId, exportType, output, conversion, size, chunker);
}

KVX_API KVXSTATUS EUSetupSelectionConversion(const KVXSELECTION* selection, uint32_t exportType, KVXIO* output,
                                             uint32_t /*unused*/, PCGRAPHICSIZE* size, KVXBLOCK* conversion,
                                             void* instance) {
  pc::Export* x = pc::export_of(instance);
  if (x == nullptr || selection == nullptr || conversion == nullptr || size == nullptr) return KVXERR_BADPARAM;
  return pc::setup_selection(*x, *selection, exportType, output, size, conversion);
}

KVX_API KVXSTATUS EUDoConversion(KVXBLOCK conversion, KVXHANDLE /*chunker*/, void* instance) {
  pc::Export* x = pc::export_of(instance);
  if (x == nullptr) return KVXERR_BADPARAM;
  return pc::do_conversion(x->ex, conversion);
}

KVX_API void EUHandleConversionFailure(KVXHANDLE exportHandle, const PCGRAPHICCONVERSION* conversion,
                                       KVXSTATUS status) {
  if (conversion != nullptr) pc::handle_failure(exportHandle, *conversion, status);
}

KVX_API KVXSTATUS pagecastCallback(KVXHANDLE /*nested*/, void* sizeRecord, uint32_t id, void* data) {
  auto* size = static_cast<PCGRAPHICSIZE*>(sizeRecord);
  if (id == KVXCB_GRAPHICDONE) {
    if (size != nullptr && data != nullptr) {
      auto* done = static_cast<const KVXGRAPHICDONE*>(data);
      size->Width = done->Width;
      size->Height = done->Height;
    }
    return KVX_OK;
  }
  if (id != KVXCB_GRAPHICFAILED || size == nullptr) return KVX_OK;
  void* md = nullptr;
  if (KVXSTATUS st = DALockModuleData(size->Export, &md)) return st;
  uint32_t word = 0;
  std::memcpy(&word, static_cast<const uint8_t*>(md) + 4, 4);
  KVXSTATUS answer = word == pc::kHtmlModuleWord ? EXDoCallback(size->Export, KVXCB_GRAPHICFAILED, data)
                                                 : KVXSTATUS(KVXERR_BADPARAM);
  DAUnlockModuleData(size->Export);
  return answer;
}

}  // extern "C"
