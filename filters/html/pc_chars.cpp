// The character table, 8-bit text runs, character codes and the character attribute
// setters (see pc_chars.h).
#include "pc_chars.h"

#include <cstring>

#include <string>
#include <vector>

#include "pc_charsets.h"
#include "pc_writer.h"

namespace pc {

namespace {

constexpr uint32_t kUnicodeSet = 0x14B00000;

// The entry written for a character code, 0 when the flavour allows none.
unsigned code_entry(unsigned code, const WriterState& s) {
  switch (code) {
    case kCodeIns: return 8;
    case kCodeDel: return 7;
    case kCodeSub: return 34;
    case kCodeSup: return 35;
    case kCodeBold: return 4;
    case kCodeItalic: return 20;
    case kCodeStrike: return TagAllowed(33, s.flavour) ? 33 : 22;
    case kCodeEm: return 9;
    case kCodeWordUnderline:
    case kCodeUnderline: return 60;
    default: return 0;
  }
}

void set_word_underline(bool on, WriterState& s) {
  const char* nbsp = NbspText(s);
  if (on) {
    s.charText[' '] = "</U> <U>";
    s.charText['\t'] = "</U>\t<U>";
    s.charText[0xA0] = std::string("</U>") + nbsp + "<U>";
  } else {
    s.charText[' '] = " ";
    s.charText['\t'] = "\t";
    s.charText[0xA0] = nbsp;
  }
}

// Records a property: style word allowed, tag fall-back allowed, or dropped.
void record(uint32_t style_flag, unsigned style_entry, unsigned code, uint32_t value, WriterState& s) {
  if (style_entry != 0 && TagAllowed(style_entry, s.flavour)) {
    s.styleFlags = value ? s.styleFlags | style_flag : s.styleFlags & ~style_flag;
    return;
  }
  if (code == 0) return;
  unsigned entry = code_entry(code, s);
  if (code == kCodeStrike && !TagAllowed(33, s.flavour) && !TagAllowed(22, s.flavour)) return;
  if (code != kCodeStrike && !TagAllowed(entry, s.flavour)) return;
  s.wantedCodes = value ? uint16_t(s.wantedCodes | 1u << code) : uint16_t(s.wantedCodes & ~(1u << code));
}

}  // namespace

void BuildCharTable(WriterState& s, uint32_t outputCharset) {
  bool entity = s.flavour.numericRefs;
  bool single = (outputCharset & 0x100) != 0;
  for (unsigned c = 0; c < 256; ++c) {
    std::string& t = s.charText[c];
    if (c == '"') t = "&quot;";
    else if (c == '<') t = "&lt;";
    else if (c == '>') t = "&gt;";
    else if (c == '&') t = "&amp;";
    else if (!entity || (c >= 0x20 && c < 0x80) || c == 0x09 || c == 0x0A || c == 0x0D) t = std::string(1, char(c));
    else if (c < 0x20) t = "@";
    else if (!single) t = std::string(1, char(c));
    else {
      uint16_t unit = uint16_t(c);
      if (MapText16(&unit, 1, outputCharset, kUnicodeSet) != KVX_OK) unit = uint16_t(c);
      t = "&#" + std::to_string(unit) + ";";
    }
  }
  s.charText[0xA0] = NbspText(s);
}

KVXSTATUS ConfigureWriter(uint32_t outputCharset, uint16_t outputKind, WriterState& s, bool* useClasses) {
  uint32_t value = 0, flags = 0, breaks = 0, size = 4;
  if (!s.getOption) return KVXERR_BADPARAM;
  if (KVXSTATUS st = s.getOption(KVXOPT_FLAVOR, &value, &size)) return st;
  size = 4;
  if (s.getOption(KVXOPT_WRITERFLAGS, &flags, &size) != KVX_OK) flags = 0;
  size = 4;
  if (s.getOption(KVXOPT_33, &breaks, &size) != KVX_OK) breaks = 0;
  ConfigureFlavour(s.flavour, value, flags);
  s.noLineBreaks = breaks;
  s.outputCharset = outputCharset;
  s.outputKind = outputKind;
  BuildCharTable(s, outputCharset);
  if (useClasses) *useClasses = s.flavour.useClasses;
  return KVX_OK;
}

void SetVerticalAlign(int16_t value, WriterState& s) {
  if (TagAllowed(103, s.flavour)) {
    s.styleFlags = value ? s.styleFlags | kStyleVertical : s.styleFlags & ~kStyleVertical;
    return;
  }
  s.wantedCodes = uint16_t(s.wantedCodes & ~(1u << kCodeSub | 1u << kCodeSup));
  if (value < 0 && TagAllowed(34, s.flavour)) s.wantedCodes = uint16_t(s.wantedCodes | 1u << kCodeSub);
  if (value > 0 && TagAllowed(35, s.flavour)) s.wantedCodes = uint16_t(s.wantedCodes | 1u << kCodeSup);
}

void WriteText8(const char* text, uint32_t& status, WriterState& s) {
  if (status != 0 || s.suppressOutput || text == nullptr) return;
  std::string out;
  for (const char* p = text; *p; ++p) out += s.charText[uint8_t(*p)];
  s.staging = out;
  s.lineLength = uint16_t(s.lineLength + out.size());
  if (!out.empty() &&
      write_counted(s.output, out.data(), uint32_t(out.size()), kKind8, s.outputKind, nullptr) != KVX_OK)
    status = kStatusWriteFailed;
}

void WriteText16(const uint16_t* text, uint32_t count, uint32_t& status, WriterState& s) {
  if (status != 0 || s.suppressOutput || text == nullptr || count == 0) return;
  uint32_t cs = s.outputCharset;
  bool unicode = cs == kUnicodeSet;
  std::vector<uint16_t> mapped;  // the text in the output set, when it comes in another
  if (s.textCharset != cs) {
    mapped.assign(text, text + count);
    if (KVXSTATUS st = MapText16(mapped.data(), count, s.textCharset, cs)) {
      status = st;
      return;
    }
    text = mapped.data();
  }
  bool single = (cs & 0x100) != 0;
  bool jis = cs == 0x0F0C0000;
  bool jis_double = false;
  std::string bytes;
  std::u16string wide;
  if (unicode) wide.reserve(count + 16);
  else bytes.reserve(2 * size_t(count) + 16);
  size_t columns = 0;
  auto put8 = [&](const std::string& t) {
    if (unicode) wide.append(t.begin(), t.end());
    else if (t.size() == 1) bytes.push_back(t[0]);
    else bytes += t;
    columns += t.size();
  };
  for (uint32_t i = 0; i < count; ++i) {
    char16_t m = char16_t(text[i]);
    if (m == u' ') {
      s.wrapAllowed = 1;
    } else if (s.wrapAllowed) {
      if (s.noLineBreaks == 0 && s.lineLength + columns > kWrapColumn) {
        std::string brk = "\r\n" + std::string(s.indent > 0 ? size_t(s.indent) : 0, ' ');
        if (unicode) wide.append(brk.begin(), brk.end());
        else bytes += brk;
        s.lineLength = 0;
        columns = brk.size() - 2;
      }
      s.wrapAllowed = 0;
    }
    if (single) {
      put8(s.charText[m & 0xFF]);
    } else if (unicode) {
      if (m < 0x100 && (m == '<' || m == '>' || m == '&' || m == '"' || m == 0xA0)) {
        put8(s.charText[m]);
      } else {
        wide.push_back(m);
        ++columns;
      }
    } else {
      if (jis && (m >= 0x2121) != jis_double) {
        bytes += jis_double ? "\x1B(B" : "\x1B$B";
        jis_double = !jis_double;
      }
      if (m < 0x100) {
        put8(s.charText[m]);
      } else {
        bytes += char(m >> 8);
        bytes += char(m & 0xFF);
        columns += 2;
      }
    }
  }
  if (jis_double) bytes += "\x1B(B";
  s.lineLength = uint16_t(s.lineLength + columns);
  KVXSTATUS st = unicode ? write_units(s.output, wide, s.outputKind) : write_text8(s.output, bytes, s.outputKind);
  if (st != KVX_OK) status = kStatusWriteFailed;
}

void WriteUnicodeText(const std::u16string& text, uint32_t& status, WriterState& s) {
  uint32_t saved = s.textCharset;
  s.textCharset = kUnicodeSet;
  WriteText16(reinterpret_cast<const uint16_t*>(text.data()), uint32_t(text.size()), status, s);
  s.textCharset = saved;
}

void AddPendingAnchor(const std::u16string& name, WriterState& s) {
  if (s.noAnchors == 0 && TagAllowed(5, s.flavour)) s.pendingAnchors.push_back(name);
}

void AddPendingLink(const std::u16string& target, WriterState& s) {
  if (TagAllowed(2, s.flavour)) s.pendingLinks.push_back(PendingLink{target});
}

void MarkLinkEnd(WriterState& s) {
  if (!s.pendingLinks.empty()) s.pendingLinks.back().closePending = true;
}

void WritePendingAnchors(bool write, uint32_t& status, WriterState& s) {
  if (s.pendingAnchors.empty() || status != 0) return;
  if (write) {
    for (const std::u16string& name : s.pendingAnchors) {
      if (EmitTag(true, "<%s", 1, status, s)) {
        EmitTag(true, " %s\"", 5, status, s);
        WriteUnicodeText(name, status, s);
        EmitRaw("\">", status, s);
        EmitTag(false, "<%s>", 1, status, s);
      }
    }
  }
  s.pendingAnchors.clear();
}

void WritePendingLinks(uint32_t& status, WriterState& s) {
  s.linkOpen = false;
  for (PendingLink& link : s.pendingLinks) {
    if (link.openPending) {
      if (EmitTag(true, "<%s", 1, status, s)) {
        EmitTag(true, " %s\"", 2, status, s);
        WriteUnicodeText(link.target, status, s);
        EmitRaw("\">", status, s);
      }
      link.openPending = false;
      if (link.closePending && !link.closed) {
        EmitTag(false, "<%s>", 1, status, s);
        link.closed = true;
      }
    }
  }
}

void ClosePendingLinks(bool all, bool force, uint32_t& status, WriterState& s) {
  if (s.pendingLinks.empty() || status != 0) return;
  std::vector<PendingLink> kept;
  for (PendingLink& link : s.pendingLinks) {
    if (!link.openPending && !link.closed && (link.closePending || force)) {
      EmitTag(false, "<%s>", 1, status, s);
      link.closed = true;
    }
    if (all || (!link.openPending && link.closePending)) continue;
    kept.push_back(link);
  }
  s.pendingLinks.swap(kept);
}

bool AnyLinkPending(const WriterState& s) {
  for (const PendingLink& link : s.pendingLinks)
    if (link.openPending || link.closePending) return true;
  return false;
}

int FontStep(uint32_t t) {
  return t < 180 ? 1 : t < 220 ? 2 : t < 260 ? 3 : t < 300 ? 4 : t < 400 ? 5 : t < 600 ? 6 : 7;
}

void SetFontSize(uint32_t twips, WriterState& s) {
  if (TagAllowed(87, s.flavour)) {
    s.styleFlags |= 0x80000;
    s.styleSize = twips;
    return;
  }
  if (!TagAllowed(13, s.flavour)) return;
  if (twips == 0) {
    if (s.fontWanted.step < 0) return;
    twips = 240;
  }
  s.fontWanted.step = FontStep(twips);
  s.lineUnit = twips;
}

void SetColour(uint32_t colour, WriterState& s) {
  if (TagAllowed(82, s.flavour)) {
    s.styleFlags |= 0x100000;
    s.styleColour = colour & 0xFFFFFF;
  } else if (TagAllowed(11, s.flavour)) {
    s.fontWanted.colour = int32_t(colour & 0xFFFFFF);
  }
}

void SetBackground(uint32_t colour, WriterState& s) {
  if (TagAllowed(106, s.flavour)) {
    s.styleFlags |= 0x8000000;
    s.styleBackground = colour & 0xFFFFFF;
  }
}

void SetFace(const std::string& face, WriterState& s) {
  if (TagAllowed(86, s.flavour)) {
    s.styleFlags |= 0x200000;
    s.styleFace = face;
  } else if (TagAllowed(12, s.flavour)) {
    s.fontWanted.face = face;
  }
}

namespace {

void close_font(uint32_t& status, WriterState& s) {
  if (s.fontTagOpen) EmitTag(false, "<%s>", 10, status, s);
  s.fontTagOpen = false;
  s.fontOpen = WriterState::FontTag{};
}

// Opens FONT with every set value (a reopened tag must carry the values that still hold).
void open_font(uint32_t& status, WriterState& s) {
  const WriterState::FontTag& w = s.fontWanted;
  if (w.colour < 0 && w.step < 0 && w.face.empty()) return;
  if (!EmitTag(true, "<%s", 10, status, s)) return;
  if (w.colour >= 0)
    EmitTagColour(true, " %s\"#%2.2X%2.2X%2.2X\"", uint32_t(w.colour), uint32_t(w.colour) ^ 1u, 11, status, s);
  if (w.step >= 0) EmitTagNumber(true, " %s\"%d\"", w.step, 13, status, s);
  if (!w.face.empty() && EmitTag(true, " %s\"", 12, status, s)) {
    WriteText8(w.face.c_str(), status, s);
    EmitRaw("\"", status, s);
  }
  EmitRaw(">", status, s);
  s.fontTagOpen = true;
  s.fontOpen = w;
}

}  // namespace

void FlushPendingFormat(uint32_t& status, WriterState& s) {
  bool font_change = !(s.fontWanted == s.fontOpen);
  if (font_change || !s.pendingAnchors.empty() || AnyLinkPending(s)) {
    CloseCodes(status, s);
    close_font(status, s);
    WritePendingAnchors(true, status, s);  // anchors first: an anchor never stands inside a link
    WritePendingLinks(status, s);
    open_font(status, s);
  }
  FlushCodes(status, s);
}

void CloseFormatting(uint32_t& status, WriterState& s) {
  CloseCodes(status, s);
  close_font(status, s);
}

KVXSTATUS SetTextCharset(uint32_t charset, WriterState& s) {
  bool generic = charset == 0 || charset == 0x00010100 || charset == 0x00020100 || charset == 0x00030100;
  uint32_t source = 0;
  if (generic && !s.charsetName.empty()) {
    std::u16string name = s.charsetName;
    name.push_back(u'\0');
    source = UTCharSetFromName(reinterpret_cast<const uint16_t*>(name.data()));
  }
  if (source == 0) source = UTGetUnknownCharSet(generic ? s.documentCharset : charset);
  if (source == s.textCharset) return KVX_OK;
  KVXCHARMAP* map = nullptr;
  if (KVXSTATUS st = CreateCharMap(&map, source, s.outputCharset, 0x40)) return st;
  UTReleaseMap(map);
  s.textCharset = source;
  return KVX_OK;
}

void WriteTextItem(uint32_t code, uint32_t& status, WriterState& s) {
  if (code > 256) {
    uint16_t unit = uint16_t(code);
    FlushPendingFormat(status, s);
    WriteText16(&unit, 1, status, s);
    return;
  }
  switch (code) {
    case 1:
      if (s.paraPending && !s.paraOpen) {  // before the paragraph's first text
        s.firstIndent += 720;
        s.wrapAllowed = 1;
        break;
      }
      FlushPendingFormat(status, s);
      if (s.wrapAllowed) BreakIfLong(0, status, s);
      WriteText8("\xA0", status, s);
      break;
    case 4:
    case 5:
      if (TagAllowed(6, s.flavour)) {
        FlushPendingFormat(status, s);
        EmitNbspLine(status, true, s);
      }
      break;
    case 6:
      FlushPendingFormat(status, s);
      WriteText8("\xA0", status, s);
      break;
    case 7:
      FlushPendingFormat(status, s);
      WriteText8("-", status, s);
      break;
    case 9:
      FlushPendingFormat(status, s);
      if (KVXSTATUS st = WriteDateField(s); st != KVX_OK && status == 0) status = st;
      break;
    case 10:
      FlushPendingFormat(status, s);
      if (KVXSTATUS st = WriteTimeField(s); st != KVX_OK && status == 0) status = st;
      break;
    default:
      break;
  }
}

void WriteComment(const std::string& text, uint32_t& status, WriterState& s) {
  std::string body = text;
  for (size_t i = 0; (i = body.find("--", i)) != std::string::npos;) body.replace(i, 2, "- -");
  if (!body.empty() && body.back() == '-') body += ' ';
  EmitRaw(("<!-- " + body + " -->").c_str(), status, s);
}

void EmitCharCode(unsigned code, bool open, uint32_t& status, WriterState& s) {
  if (code == kCodeStrike && FeatureOn(s.flavour, kFFlagEntries)) {
    if (open) {
      EmitTag(true, "<%s>", 33, status, s);
      EmitTag(true, "<%s>", 22, status, s);
    } else {
      EmitTag(false, "<%s>", 22, status, s);
      EmitTag(false, "<%s>", 33, status, s);
    }
    return;
  }
  unsigned entry = code_entry(code, s);
  if (entry == 0) return;
  if (code == kCodeWordUnderline) {
    if (!TagAllowed(60, s.flavour)) return;
    EmitTag(open, "<%s>", entry, status, s);
    set_word_underline(open, s);
    return;
  }
  EmitTag(open, "<%s>", entry, status, s);
}

void FlushCodes(uint32_t& status, WriterState& s) {
  uint16_t diff = uint16_t(s.openCodes ^ s.wantedCodes);
  if (diff == 0) return;
  unsigned p = 0;
  while (!(diff & 1u << p)) ++p;
  for (unsigned k = kCodeUnderline + 1; k-- > p;) {
    if (s.openCodes & 1u << k) {
      EmitCharCode(k, false, status, s);
      s.openCodes = uint16_t(s.openCodes & ~(1u << k));
    }
  }
  BreakIfLong(33, status, s);
  for (unsigned k = p; k <= kCodeUnderline; ++k) {
    if (s.wantedCodes & 1u << k) {
      EmitCharCode(k, true, status, s);
      s.openCodes = uint16_t(s.openCodes | 1u << k);
    }
  }
}

void CloseCodes(uint32_t& status, WriterState& s) {
  for (unsigned k = kCodeUnderline + 1; k-- > 0;) {
    if (s.openCodes & 1u << k) EmitCharCode(k, false, status, s);
  }
  s.openCodes = 0;
}

void SetCharAttribute(unsigned code, uint32_t value, WriterState& s) {
  switch (code) {
    case 2: record(kStyleBold, 84, kCodeBold, value, s); break;
    case 3: record(kStyleItalic, 89, kCodeItalic, value, s); break;
    case 4:
    case 5:
    case 14: record(kStyleUnderline, 95, kCodeUnderline, value, s); break;
    case 6:
      if (TagAllowed(92, s.flavour)) record(kStyleSmallCaps, 92, 0, value, s);
      else record(kStyleUpper, 99, 0, value, s);
      break;
    case 9: record(kStyleUpper, 99, 0, value, s); break;
    case 10:
    case 11: {
      unsigned word = code == 10 ? 104 : 105, tag = code == 10 ? kCodeSub : kCodeSup;
      if (TagAllowed(word, s.flavour) || TagAllowed(code_entry(tag, s), s.flavour))
        record(kStyleVertical, word, tag, value, s);
      else
        record(0, 0, kCodeEm, value, s);
      break;
    }
    case 12: record(kStyleStrike, 96, kCodeStrike, value, s); break;
    case 13: record(kStyleUnderline, 95, kCodeWordUnderline, value, s); break;
    case 15: record(kStyleHidden, 108, 0, value, s); break;
    case 16: record(kStyleLower, 100, 0, value, s); break;
    case 17: record(kStyleCapitalise, 101, 0, value, s); break;
    case 19: record(0, 0, kCodeIns, value, s); break;
    case 20: record(0, 0, kCodeDel, value, s); break;
    default: break;
  }
}

}  // namespace pc
