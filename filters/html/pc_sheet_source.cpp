// The sheet writer's document source over the framework's chunker, data values, the
// format cache and the cell formatting calls over it (see pc_sheet_source.h).
#include "filters/html/pc_sheet_source.h"

#include <cstring>

#include "filters/html/pc_cellvalue.h"

namespace pc {

namespace {

constexpr uint32_t kEndItem = 0, kColumnCountItem = 75, kValueItem = 224;
constexpr uint32_t kGroupOpen = 67, kGroupClose = 68, kTextItem = 7;
// Guards for damaged groups: items of one format and its nesting.
constexpr size_t kMaxFormatItems = 4096;

std::u16string FrameworkText(uint32_t id) {
  char buffer[128] = {};
  if (UTGetString(id, buffer, sizeof buffer - 1, 0) != KVX_OK) return u"";
  std::u16string s;
  for (const char* p = buffer; *p; ++p) s.push_back(char16_t(static_cast<unsigned char>(*p)));
  return s;
}

}  // namespace

ChunkerSheetSource::ChunkerSheetSource(KVXHANDLE chunker, KVXHANDLE exportHandle) : chunker_(chunker) {
  context_.texts = FrameworkText;
  KVXNUMBERFORMATS nf{};
  uint32_t size = sizeof nf;
  if (exportHandle != 0 && DAGetOption(exportHandle, KVXOPT_NUMBERFORMATS, &nf, &size) == KVX_OK &&
      size >= sizeof nf) {
    unsigned char record[32];
    std::memcpy(record, &nf, sizeof record);
    context_.formats = ReadNumberFormatsRecord(record);
  }
  uint32_t dateFormats = 0;
  size = sizeof dateFormats;
  if (exportHandle != 0 && DAGetOption(exportHandle, KVXOPT_DATEFORMATS, &dateFormats, &size) == KVX_OK)
    context_.keepTwelveHour = (dateFormats & 2) != 0;
}

bool ChunkerSheetSource::bind(uint32_t section) {
  KVXSECTIONINFO info{};
  if (CHGetSectionInfo(chunker_, section, &info) != KVX_OK || info.ItemCount == 0) return false;
  first_ = info.FirstItem;
  last_ = info.LastItem;
  groupsRead_ = false;
  groups_.clear();
  return true;
}

KVXSTATUS ChunkerSheetSource::item(uint32_t stream, uint32_t id, uint32_t words[4]) {
  if (stream == 0 && last_ != kNoItem && id > last_) {
    std::memset(words, 0, 16);
    return KVX_OK;
  }
  uint32_t unit[6] = {};  // the largest unit read here: a 24-byte section record
  if (stream != 0 && stream != 1 && stream != KVXRANGE_CELLRANGES) return KVXERR_BADPARAM;
  if (KVXSTATUS s = CHGetItem(chunker_, stream, id, unit, nullptr)) return s;
  if (stream == KVXRANGE_CELLRANGES) {
    // {first item, first cell, cells} as {0, first item, cells, first cell}.
    words[0] = 0;
    words[1] = unit[0];
    words[2] = unit[2];
    words[3] = unit[1];
    return KVX_OK;
  }
  std::memcpy(words, unit, 16);
  if (stream == 0 && words[0] == kColumnCountItem) {
    words[2] = words[1];
    words[1] = 0;
  }
  return KVX_OK;
}

KVXSTATUS ChunkerSheetSource::itemId(uint32_t stream, uint32_t index, uint32_t* id) {
  return CHGetItemId(chunker_, stream, index, id);
}

KVXSTATUS ChunkerSheetSource::nextId(uint32_t stream, uint32_t id, uint32_t* next) {
  if (stream == 0 && last_ != kNoItem && id >= last_) {
    // Past the section: an id that reads as the end item.
    if (id == 0xFFFFFFFFu) return KVXERR_NOITEM;
    *next = id + 1;
    return KVX_OK;
  }
  return CHNextItemId(chunker_, stream, id, next);
}

KVXSTATUS ChunkerSheetSource::sectionInfo(uint32_t section, uint32_t* first, uint32_t* last) {
  KVXSECTIONINFO info{};
  if (KVXSTATUS s = CHGetSectionInfo(chunker_, section, &info)) return s;
  *first = info.FirstItem;
  *last = info.LastItem;
  return KVX_OK;
}

KVXSTATUS ChunkerSheetSource::value(uint32_t unit, unsigned char bytes[16]) {
  return CHGetItem(chunker_, KVXRANGE_VALUES, unit, bytes, nullptr);
}

KVXSTATUS ChunkerSheetSource::text(uint32_t first, uint32_t count, std::u16string* out) {
  out->clear();
  if (count == 0) return KVX_OK;
  std::vector<uint16_t> units(count);
  if (KVXSTATUS s = CHGetItems(chunker_, KVXRANGE_TEXT, first, units.data(), count * 2)) return s;
  out->assign(units.begin(), units.end());
  return KVX_OK;
}

uint32_t ChunkerSheetSource::group(uint32_t code, uint32_t idWord) {
  if (!groupsRead_ && first_ != kNoItem) {
    // One walk over the bound section notes every group open.
    groupsRead_ = true;
    uint32_t id = first_, w[4];
    while (id <= last_ && CHGetItem(chunker_, 0, id, w, nullptr) == KVX_OK) {
      if (w[0] == kGroupOpen) groups_.try_emplace({w[1], w[2]}, id);
      if (id == last_ || CHNextItemId(chunker_, 0, id, &id) != KVX_OK) break;
    }
  }
  auto it = groups_.find({code, idWord});
  return it == groups_.end() ? kNoItem : it->second;
}

void ChunkerSheetSource::dates(uint32_t section, uint32_t* base, uint32_t* flags) {
  *base = *flags = 0;
  uint32_t entry = 0;
  KVXSECTIONRECORD rec{};
  if (CHGetItemId(chunker_, KVXRANGE_SECTIONS, section, &entry) == KVX_OK &&
      CHGetItem(chunker_, KVXRANGE_SECTIONS, entry, &rec, nullptr) == KVX_OK) {
    *base = rec.DateBase;
    *flags = rec.DateFlags;
  }
}

int FUDataVal(SheetSource& src, uint32_t itemId, double* out) {
  *out = 0;
  uint32_t w[4];
  if (src.item(0, itemId, w) != KVX_OK || w[0] != kValueItem) return 0;
  unsigned char bytes[16];
  if (src.value(w[1], bytes) != KVX_OK) return 0;
  uint32_t tag = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
  if (tag == 1) return FUDataValFromUnion(bytes + 8, 8, w[2], 4, out);
  return FUDataValFromUnion(bytes + 4, 12, w[2], w[3], out);
}

bool FormatCache::Read(uint32_t groupItem, SheetSource& src, Format* out) {
  out->sections.clear();
  uint32_t id = groupItem, w[4];
  if (src.item(0, id, w) != KVX_OK || w[0] != kGroupOpen) return false;
  std::vector<FormatItem>* section = nullptr;
  int depth = 0;
  size_t read = 0;
  for (;;) {
    if (src.nextId(0, id, &id) != KVX_OK || src.item(0, id, w) != KVX_OK) return false;
    if (++read > kMaxFormatItems || w[0] == kEndItem) return false;
    if (w[0] == kGroupOpen) {
      ++depth;
      if (depth == 1 && w[1] == kFormatSectionCode) {
        // Sections are numbered by their id word; a gap leaves an empty section.
        if (w[2] == 0 || w[2] > 64) return false;
        if (out->sections.size() < w[2]) out->sections.resize(w[2]);
        section = &out->sections[w[2] - 1];
        section->clear();
      }
      continue;
    }
    if (w[0] == kGroupClose) {
      if (depth == 0) return true;
      if (depth == 1 && section) {
        section->push_back(FormatItem{kGroupClose, 0, 0, {}});
        section = nullptr;
      }
      --depth;
      continue;
    }
    if (!section || depth != 1) continue;
    FormatItem it{w[0], w[1], w[2], {}};
    it.field3 = w[3];
    if (w[0] == kTextItem) {
      if (w[3] > 0x8000 || src.text(w[2], w[3], &it.text) != KVX_OK) return false;
    } else if (w[0] == kValueItem) {
      FUDataVal(src, id, &it.number);
    }
    section->push_back(std::move(it));
  }
}

const FormatCache::Format* FormatCache::get(uint32_t number, SheetSource& src) {
  auto it = formats_.find(number);
  if (it != formats_.end()) return it->second.get();
  std::unique_ptr<Format> f;
  uint32_t at = number == 0 ? kNoItem : src.group(kFormatGroupCode, number);
  if (at != kNoItem) {
    f = std::make_unique<Format>();
    if (!Read(at, src, f.get()) || f->sections.empty()) f.reset();
  }
  return formats_.emplace(number, std::move(f)).first->second.get();
}

namespace {

// A condition's target: with the group tag, a section of the same format by its number;
// otherwise the first section of the format with that number.
FormatSectionResolver Resolver(const FormatCache::Format* format, FormatCache& cache, SheetSource& src) {
  return [format, &cache, &src](uint32_t target, bool byGroupTag) -> const std::vector<FormatItem>* {
    const FormatCache::Format* in = byGroupTag ? format : cache.get(target, src);
    uint32_t section = byGroupTag ? target : 1;
    if (!in || section == 0 || section > in->sections.size() || in->sections[section - 1].empty()) return nullptr;
    return &in->sections[section - 1];
  };
}

}  // namespace

std::u16string FormatCellNumber(FormatCache& cache, SheetSource& src, uint32_t number, double value, double dateBase,
                                uint32_t dateFlags, uint32_t* colour, const DateTimeContext& context) {
  const FormatCache::Format* format = cache.get(number, src);
  const std::vector<FormatItem>* first = format && !format->sections[0].empty() ? &format->sections[0] : nullptr;
  const std::vector<FormatItem>* items =
      first ? SelectFormatSection(first, value, Resolver(format, cache, src)) : nullptr;
  // Where a format has several sections their own text says what the sign is: a negative
  // value is shown without its sign, whichever section shows it.
  if (items && (format->sections.size() > 1 || items != first) && value < 0) value = -value;
  uint32_t attribute = 0;
  return FUFormatNumber(CompileNumberFormat(items), value, dateBase, dateFlags, 0, colour, &attribute, 256, context);
}

int FormatTextCellColour(FormatCache& cache, SheetSource& src, uint32_t number, uint32_t* colour,
                         uint32_t* attribute) {
  const FormatCache::Format* format = cache.get(number, src);
  if (!format || format->sections[0].empty()) return kCellNotFound;
  return FUFormatTextCell(&format->sections[0], Resolver(format, cache, src), colour, attribute);
}

}  // namespace pc
