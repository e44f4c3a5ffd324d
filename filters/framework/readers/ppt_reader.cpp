// The PowerPoint (.ppt) reader: catppt runs as a child on a temporary copy of the source
// and its text (UTF-8) becomes one wp section, a paragraph per line. catppt reads only
// the slide list's text; presentations that keep their text in the slides' drawings
// (LibreOffice writes them so) give it nothing, and for them the text atoms of the
// "PowerPoint Document" stream are walked here instead (masters, notes and handouts
// left out). A source that is no compound file, or one without that stream when catppt
// gives nothing, is KVXERR_BADFORMAT (catppt itself exits 0 on any file); a missing
// catppt is KVXERR_NOTOOL. Cost: catppt's run under the children's time limit, then time
// and memory linear in the source (the text walk is bounded by the stream's size and a
// nesting depth of 32).
#include <string>

#include "filters/framework/readers/child_tools.h"
#include "filters/framework/readers/doc_writer.h"
#include "filters/framework/readers/ole_file.h"
#include "filters/framework/readers/reader.h"
#include "filters/framework/readers/text_decode.h"

namespace kvx::readers {

namespace {

constexpr uint16_t kTextChars = 0x0FA0, kTextBytes = 0x0FA8;
// Masters, notes pages and handouts hold placeholder texts ("*" fields), not the slides'.
constexpr uint16_t kMainMaster = 0x03F8, kNotes = 0x03F0, kHandout = 0x0FC9;
constexpr int kMaxDepth = 32;

// Records {u16 version and instance, u16 type, u32 length}; containers have version 0xF.
void text_atoms(std::string_view s, int depth, std::vector<uint16_t>& out) {
  size_t at = 0;
  while (at + 8 <= s.size()) {
    uint16_t ver = uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8);
    uint16_t type = uint16_t(uint8_t(s[at + 2]) | uint8_t(s[at + 3]) << 8);
    uint32_t len = uint32_t(uint8_t(s[at + 4])) | uint32_t(uint8_t(s[at + 5])) << 8 |
                   uint32_t(uint8_t(s[at + 6])) << 16 | uint32_t(uint8_t(s[at + 7])) << 24;
    if (len > s.size() - at - 8) return;  // a record longer than what is left ends the walk
    std::string_view body = s.substr(at + 8, len);
    if ((ver & 0xF) == 0xF) {
      if (type != kMainMaster && type != kNotes && type != kHandout && depth < kMaxDepth)
        text_atoms(body, depth + 1, out);
    } else if (type == kTextChars || type == kTextBytes) {
      for (size_t k = 0; type == kTextChars ? k + 1 < body.size() : k < body.size(); k += type == kTextChars ? 2 : 1) {
        uint16_t u = type == kTextChars ? uint16_t(uint8_t(body[k]) | uint8_t(body[k + 1]) << 8) : uint8_t(body[k]);
        out.push_back(u == '\r' || u == 0x0B ? uint16_t('\n') : u);
      }
      out.push_back('\n');
    }
    at += 8 + len;
  }
}

}  // namespace

KVXSTATUS read_ppt(std::string_view bytes, ChunkBuilder& out) {
  if (!is_compound_file(bytes)) return KVXERR_BADFORMAT;
  TempSource src(bytes);
  if (!src.ok()) return KVXERR_OPENFAILED;
  std::string text;
  KVXSTATUS st = run_tool({child_tools().catppt, "-d", "utf-8", src.path()}, text);
  if (st != KVX_OK) return st;
  std::vector<uint16_t> units = decode(text, SourceEncoding::Utf8);
  if (text.find_first_not_of(" \t\r\n\f") == std::string::npos) {
    OleFile ole;
    std::string stream;
    units.clear();
    if (!ole.open(bytes) || !ole.read("PowerPoint Document", stream)) return KVXERR_BADFORMAT;
    text_atoms(stream, 0, units);
  }
  DocWriter w(out);
  w.section();
  size_t start = 0;
  for (size_t k = 0; k <= units.size() && !w.failed(); ++k) {
    if (k < units.size() && units[k] != '\n' && units[k] != '\f') continue;
    size_t e = k;
    if (e > start && units[e - 1] == '\r') --e;
    if (e > start) {
      w.text(std::vector<uint16_t>(units.begin() + long(start), units.begin() + long(e)));
      w.paragraph();
    }
    start = k + 1;
  }
  if (!w.finish()) return KVXERR_BADFORMAT;
  return KVX_OK;
}

}  // namespace kvx::readers
