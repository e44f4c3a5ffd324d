// The markup primitives, blank space and the date and time fields (see pc_markup.h).
// Every write goes through the staging string and the output text writer in the export's
// output kind; the caller's status word stops all writing once it holds an error.
#include "pc_markup.h"

#include <cstdio>
#include <initializer_list>
#include <string>
#include <type_traits>

#include "pc_writer.h"

namespace pc {

namespace {

// The common case of stage(): a format whose only conversions are %s (and %%) with texts
// given, filled in without snprintf, which costs a formatting pass or two per tag. False
// (the staging string untouched) for any other conversion.
bool stage_texts(std::string& out, const char* format, std::initializer_list<const char*> texts) {
  for (const char* t : texts)
    if (t == nullptr) return false;
  size_t used = 0;
  for (const char* f = format; *f; ++f) {
    if (*f != '%') continue;
    if (f[1] == '%') {
      ++f;
    } else if (f[1] == 's' && used < texts.size()) {
      ++used;
      ++f;
    } else {
      return false;
    }
  }
  if (used != texts.size()) return false;
  out.clear();
  const char* const* next = texts.begin();
  for (const char* f = format; *f; ++f) {
    if (*f != '%') {
      out.push_back(*f);
    } else if (*++f == '%') {
      out.push_back('%');
    } else {
      out.append(*next++);
    }
  }
  return true;
}

// Formats into the staging string, which grows to the formatted length.
template <class... A>
void stage(WriterState& s, const char* format, A... args) {
  if constexpr ((std::is_same_v<A, const char*> && ...)) {
    if (stage_texts(s.staging, format, {args...})) return;
  }
  int n = std::snprintf(nullptr, 0, format, args...);
  if (n < 0) n = 0;
  s.staging.assign(size_t(n) + 1, '\0');
  std::snprintf(s.staging.data(), s.staging.size(), format, args...);
  s.staging.resize(size_t(n));
}

void write_staging(uint32_t& status, WriterState& s) {
  s.lineLength = uint16_t(s.lineLength + s.staging.size());
  if (s.staging.empty()) return;
  if (write_counted(s.output, s.staging.data(), uint32_t(s.staging.size()), kKind8, s.outputKind, nullptr) != KVX_OK)
    status = kStatusWriteFailed;
}

// Steps 1-3 of every tag primitive: 1 to write, 0 refused, -1 allowed but an error is held.
int gate(unsigned index, const uint32_t& status, const WriterState& s) {
  if (!TagAllowed(index, s.flavour) || s.suppressOutput) return 0;
  return status != 0 ? -1 : 1;
}

const char* entry_text(bool open, unsigned index) {
  return open ? kTagTable[index].first : kTagTable[index].closing;
}

uint32_t line_unit(const WriterState& s) { return s.lineUnit == 0 ? kDefaultLineUnit : s.lineUnit; }

// Most non-breaking spaces one horizontal space writes.
constexpr uint32_t kMaxNbsp = 400;

bool read_option(WriterState& s, uint32_t id, void* buffer, uint32_t size) {
  if (!s.getOption) return false;
  uint32_t got = size;
  return s.getOption(id, buffer, &got) == KVX_OK;
}

std::tm local_now(const WriterState& s) {
  if (s.clock) return s.clock();
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm;
}

bool fixed_fields(WriterState& s) {
  uint32_t flags = 0;
  return read_option(s, KVXOPT_FIELDFLAGS, &flags, sizeof flags) && (flags & 0x100) != 0;
}

}  // namespace

int EmitTag(bool open, const char* format, unsigned index, uint32_t& status, WriterState& s) {
  int g = gate(index, status, s);
  if (g <= 0) return -g;
  stage(s, format, entry_text(open, index));
  write_staging(status, s);
  return 1;
}

int EmitTagText(bool open, const char* format, const char* text, unsigned index, uint32_t& status,
                WriterState& s) {
  int g = gate(index, status, s);
  if (g <= 0) return -g;
  stage(s, format, entry_text(open, index), text ? text : "");
  write_staging(status, s);
  return 1;
}

int EmitTagNumber(bool open, const char* format, long number, unsigned index, uint32_t& status,
                  WriterState& s) {
  int g = gate(index, status, s);
  if (g <= 0) return -g;
  stage(s, format, entry_text(open, index), int(number));
  write_staging(status, s);
  return 1;
}

int EmitTagColour(bool open, const char* format, uint32_t colour, uint32_t skip, unsigned index,
                  uint32_t& status, WriterState& s) {
  int g = gate(index, status, s);
  if (g <= 0) return -g;
  if ((colour & 0xFFFFFF) == (skip & 0xFFFFFF)) return 1;
  stage(s, format, entry_text(open, index), unsigned(colour & 0xFF), unsigned(colour >> 8 & 0xFF),
        unsigned(colour >> 16 & 0xFF));
  write_staging(status, s);
  return 1;
}

int EmitSizeAttrs(long height, long width, unsigned index, uint32_t& status, WriterState& s) {
  int g = gate(index, status, s);
  if (g <= 0) return -g;
  const TagEntry& e = kTagTable[index];
  if (height != 0 && width != 0)
    stage(s, " %s\"%ld\" %s\"%ld\"", e.first, height, e.second, width);
  else if (height != 0)
    stage(s, " %s\"%ld\"", e.first, height);
  else if (width != 0)
    stage(s, " %s\"%ld\"", e.second, width);
  else
    return 1;
  write_staging(status, s);
  return 1;
}

int EmitTagPair(const char* format, long a, long b, unsigned index, uint32_t& status, WriterState& s) {
  int g = gate(index, status, s);
  if (g <= 0) return -g;
  const TagEntry& e = kTagTable[index];
  stage(s, format, e.first, int(a), e.second, int(b));
  write_staging(status, s);
  return 1;
}

void EmitRaw(const char* text, uint32_t& status, WriterState& s) {
  if (status != 0 || s.suppressOutput || text == nullptr) return;
  s.staging.assign(text);
  write_staging(status, s);
}

void EmitFormatted(const char* format, uint16_t number, uint32_t& status, WriterState& s) {
  if (status != 0 || s.suppressOutput) return;
  stage(s, format, unsigned(number));
  write_staging(status, s);
}

void EmitLineBreak(uint32_t& status, WriterState& s) {
  if (status != 0 || s.lineLength == 0 || s.noLineBreaks != 0) return;
  s.lineLength = 0;
  s.staging.assign("\r\n");
  if (!s.suppressOutput && s.indent >= 1) s.staging.append(size_t(s.indent), ' ');
  if (write_counted(s.output, s.staging.data(), uint32_t(s.staging.size()), kKind8, s.outputKind, nullptr) != KVX_OK)
    status = kStatusWriteFailed;
}

void BreakIfLong(unsigned count, uint32_t& status, WriterState& s) {
  if (s.lineLength + count > kWrapColumn && s.wrapAllowed) EmitLineBreak(status, s);
}

const char* NbspText(const WriterState& s) {
  return FeatureOn(s.flavour, kFNbspEntity) ? "&nbsp;" : "&#160;";
}

void EmitNbspLine(uint32_t& status, bool withBreak, WriterState& s) {
  EmitRaw(NbspText(s), status, s);
  EmitTag(true, "<%s>", 6, status, s);
  EmitTag(false, "<%s>", 6, status, s);
  if (withBreak) EmitLineBreak(status, s);
}

void EmitSpace(uint32_t vertical, uint32_t horizontal, bool reduceByLine, uint32_t& status, WriterState& s) {
  uint32_t unit = line_unit(s);
  if (reduceByLine && FeatureOn(s.flavour, kFFirstIndentLess)) vertical = vertical > unit ? vertical - unit : 0;
  long v = long((uint64_t(vertical) + 10) / 20), h = long((uint64_t(horizontal) + 10) / 20);
  if (v == 0 && h == 0) return;
  if (TagAllowed(30, s.flavour)) {
    const char* kind = v && h ? "<%s\"BLOCK\"" : v ? "<%s\"VERTICAL\"" : "<%s\"HORIZONTAL\"";
    if (EmitTag(true, kind, 30, status, s)) {
      if (v && h)
        EmitSizeAttrs(v, h, 31, status, s);
      else
        EmitTagNumber(true, " %s\"%d\"", v ? v : h, 32, status, s);
      EmitRaw(">", status, s);
      EmitTag(false, "<%s>", 30, status, s);
    }
    s.pendingSpace = 0;
    return;
  }
  std::string link;
  if (v != 0 && FeatureOn(s.flavour, kFHspaceTable) && s.spacerPicture && s.spacerPicture(link)) {
    if (EmitTagText(true, "<%s\"%s\"", link.c_str(), 17, status, s)) {
      EmitTag(true, " %s\"0\"", 18, status, s);
      EmitSizeAttrs(v ? v : 1, h ? h : 1, 19, status, s);
      EmitRaw(">", status, s);
      EmitTag(false, "<%s>", 17, status, s);
    }
    s.pendingSpace = 0;
    return;
  }
  if (FeatureOn(s.flavour, kFHspaceNbsp)) {
    s.pendingSpace = vertical;
    FlushPendingLines(status, s);
  }
  if (FeatureOn(s.flavour, kFVspaceBreaks)) {
    uint32_t count = uint32_t(uint64_t(horizontal) * 2 / unit);
    if (count > kMaxNbsp) count = kMaxNbsp;
    if (count > 0 && status == 0 && !s.suppressOutput) {
      std::string text;
      for (uint32_t i = 0; i < count; ++i) text += NbspText(s);
      EmitRaw(text.c_str(), status, s);
    }
  }
}

void FlushPendingLines(uint32_t& status, WriterState& s) {
  uint32_t unit = line_unit(s);
  if (FeatureOn(s.flavour, kFHspaceNbsp)) {
    uint32_t lines = uint32_t(s.pendingLines > 0 ? s.pendingLines : 0) + s.pendingSpace / unit;
    if (lines > kMaxNbsp) lines = kMaxNbsp;
    s.pendingLines = int16_t(lines);
    s.pendingSpace = 0;
    while (s.pendingLines > 0) {
      EmitNbspLine(status, false, s);
      --s.pendingLines;
      BreakIfLong(0, status, s);
    }
  } else if (s.pendingLines > 0) {
    s.pendingSpace += unit * uint32_t(s.pendingLines);
    s.pendingLines = 0;
  }
}

KVXSTATUS WriteDateField(WriterState& s) {
  KVXNUMBERFORMATS nf{};
  if (!s.getOption) return KVXERR_BADPARAM;
  uint32_t size = sizeof nf;
  if (KVXSTATUS st = s.getOption(KVXOPT_NUMBERFORMATS, &nf, &size)) return st;
  uint32_t status = 0;
  if (s.flushFormatting) s.flushFormatting(status);
  int day = 1, month = 1, year = 97;
  if (!fixed_fields(s)) {
    std::tm tm = local_now(s);
    day = tm.tm_mday;
    month = tm.tm_mon + 1;
    year = (tm.tm_year + 1900) % 100;
  }
  char sep = nf.DateSeparator;
  if (nf.DateOrder == 1)
    stage(s, "%d%c%d%c%02d", day, sep, month, sep, year);
  else if (nf.DateOrder == 2)
    stage(s, "%d%c%d%c%02d", year, sep, month, sep, day);
  else
    stage(s, "%d%c%d%c%02d", month, sep, day, sep, year);
  if (status == 0 && !s.suppressOutput) write_staging(status, s);
  return status;
}

KVXSTATUS WriteTimeField(WriterState& s) {
  KVXNUMBERFORMATS nf{};
  if (!s.getOption) return KVXERR_BADPARAM;
  uint32_t size = sizeof nf;
  if (KVXSTATUS st = s.getOption(KVXOPT_NUMBERFORMATS, &nf, &size)) return st;
  uint32_t status = 0;
  if (s.flushFormatting) s.flushFormatting(status);
  int hour = 0, minute = 0;
  if (!fixed_fields(s)) {
    std::tm tm = local_now(s);
    hour = tm.tm_hour;
    minute = tm.tm_min;
  }
  if (hour > 12) hour -= 12;
  else if (hour == 0) hour = 12;
  stage(s, "%d%c%02d", hour, nf.TimeSeparator, minute);
  if (status == 0 && !s.suppressOutput) write_staging(status, s);
  return status;
}

}  // namespace pc
