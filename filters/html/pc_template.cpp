// Template reading for the HTML export filter: loading the host's template (or building
// the built-in default one in memory), the 2,048-byte buffered reader with its character
// read by template format, the scanner that cuts the template into words, and the word
// table. Called by the engine (loading) and by the parser and element paths (words).
#include <cstring>
#include <vector>

#include "pc_state.h"

namespace pc {

bool scan_word(Reader& r, ScanMode mode, std::string& word, bool* too_long);

namespace {

const char* const kWords[] = {
    "",          "{",           "=",          "}",        "display",     "element",    "height",
    "target",    "template",    "type",       "typename", "width",       "define",     "document",
    "velmlink",  "/velmlink",   "velmif",     "/velmif",  "velminc",     "/velminc",   "velminclude",
    "/velminclude", "velmdec",  "/velmdec",   "velmins",  "/velmins",    "velmrep",    "/velmrep",
    "velmignore", "/velmignore", "top",       "suppress", "value",       "condition",  "velmelse",
    "oem",       "number",      "velmelseif",
};

// The next buffer of the template; false at its end, on a read error, and past
// kMaxTemplateBytes (a stream that goes on, as a device would, is cut there and marked).
bool fill(Reader& r) {
  r.base += r.filled;
  r.used = r.filled = 0;
  uint32_t got = 0;
  KVXSTATUS st = r.io->Read(r.io, r.buf, sizeof r.buf, &got);
  if (st != KVX_OK) return false;
  got = got > sizeof r.buf ? uint32_t(sizeof r.buf) : got;
  if (uint64_t(r.base) + got > kMaxTemplateBytes) {
    r.too_large = true;
    return false;
  }
  r.filled = got;
  return r.filled > 0;
}

uint32_t next_byte(Reader& r) {
  if (r.used >= r.filled && !fill(r)) return kEndChar;
  return r.buf[r.used++];
}

// UTF-8 of one 16-bit unit (a lone surrogate is written as its three bytes, and read
// back by word16 the same way).
size_t utf8_of(uint32_t c, char* u) {
  if (c < 0x80) {
    u[0] = char(c);
    return 1;
  }
  if (c < 0x800) {
    u[0] = char(0xC0 | c >> 6);
    u[1] = char(0x80 | (c & 0x3F));
    return 2;
  }
  u[0] = char(0xE0 | c >> 12);
  u[1] = char(0x80 | (c >> 6 & 0x3F));
  u[2] = char(0x80 | (c & 0x3F));
  return 3;
}

bool is_separator(uint32_t c, bool dot) {
  return c == ' ' || c == ';' || c == '\t' || c == '\n' || c == '\r' || (dot && c == '.');
}

// Creates the reader over io, charging the export's budget, and detects the format from
// the first two bytes. A template that tells a size beyond kMaxTemplateBytes is refused
// (1564) before anything is read.
KVXSTATUS attach_reader(Template& t, WorkBudget& budget) {
  uint32_t size = 0;
  if (t.io->GetInfo(t.io, KVXIOINFO_SIZE, &size) == KVX_OK && size > kMaxTemplateBytes) return kNoTemplate;
  t.reader = std::make_unique<Reader>();
  t.reader->io = t.io;
  t.reader->budget = &budget;
  if (t.io->Seek(t.io, KVXIO_SEEK_SET, 0) != KVX_OK) return kIoFailed;
  Reader& r = *t.reader;
  uint32_t a = next_byte(r), b = next_byte(r);
  if (a == 0xFF && b == 0xFE) {
    r.format = kTplLE;
    r.width = 2;
  } else if (a == 0xFE && b == 0xFF) {
    r.format = kTplBE;
    r.width = 2;
  } else {
    reader_seek(r, 0);
  }
  return KVX_OK;
}

std::string directory_of(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

std::string lower(const std::string& s) {
  std::string o = s;
  for (char& c : o)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return o;
}

std::u16string lower16(const std::u16string& s) {
  std::u16string o = s;
  for (char16_t& c : o)
    if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
  return o;
}

int word_number(const std::string& word) {
  std::string w = lower(word);
  if (w.empty()) return 0;
  for (int i = 1; i < int(sizeof kWords / sizeof *kWords); ++i)
    if (w == kWords[i]) return i;
  return 0;
}

bool starts_with_prefix(const std::string& w) {
  return w.compare(0, 4, "velm") == 0 || w.compare(0, 5, "/velm") == 0;
}

bool reader_seek(Reader& r, uint32_t pos) {
  if (pos >= r.base && pos <= r.base + r.filled) {
    r.used = pos - r.base;
    return true;
  }
  if (pos > 0x7FFFFFFFu || r.io->Seek(r.io, KVXIO_SEEK_SET, int32_t(pos)) != KVX_OK) return false;
  r.base = pos;
  r.used = r.filled = 0;
  return true;
}

uint32_t read_char(Reader& r) {
  // A spent budget ends the template for the parser; parse_template reports it.
  if (r.budget != nullptr && !r.budget->charge(r.width)) return kEndChar;
  uint32_t a = next_byte(r);
  if (a == kEndChar || r.width == 1) return a;
  uint32_t b = next_byte(r);
  if (b == kEndChar) return kEndChar;
  uint32_t c = r.format == kTplLE ? (a | b << 8) : (a << 8 | b);
  // The two values that stand for "end" and "wide" are noncharacters; read as U+FFFD.
  return c >= kWideChar ? 0xFFFD : c;
}

void unread_char(Reader& r) {
  uint32_t t = r.tell();
  reader_seek(r, t >= r.width ? t - r.width : 0);
}

bool next_word(Reader& r, ScanMode mode, std::string& word, bool* too_long) {
  bool got = scan_word(r, mode, word, too_long);
  if (got) r.word_end = r.tell();
  return got;
}

bool scan_word(Reader& r, ScanMode mode, std::string& word, bool* too_long) {
  word.clear();
  if (too_long) *too_long = false;
  bool dot = mode == ScanMode::Command;
  uint32_t c;
  do {
    c = read_char(r);
  } while (c != kEndChar && is_separator(c, dot));
  if (c == kEndChar) return false;
  r.word_start = r.tell() - r.width;
  if (c == '=' || c == '{' || c == '}') {
    if (mode != ScanMode::ToBrace || c == '}') {
      word.assign(1, char(c));
      return true;
    }
  }
  auto push = [&](uint32_t ch) {
    if (word.size() + 1 >= kWordMax) {
      if (too_long) *too_long = true;
      return false;
    }
    // A 16-bit template's characters from 0x80 are kept whole, UTF-8 encoded in the
    // word (keywords are ASCII, so they compare as before); word16 decodes them.
    if (r.width == 2 && ch >= 0x80) {
      char u[4];
      size_t n = utf8_of(ch, u);
      if (word.size() + n >= kWordMax) {
        if (too_long) *too_long = true;
        return false;
      }
      word.append(u, n);
    } else {
      word.push_back(char(ch));
    }
    return true;
  };
  if ((mode == ScanMode::Value || mode == ScanMode::ToBrace) && c == '"') {
    for (;;) {
      c = read_char(r);
      if (c == kEndChar) return !word.empty();
      if (c == '"') {
        uint32_t d = read_char(r);
        if (d != '"') {
          if (d != kEndChar) unread_char(r);
          return true;
        }
      }
      if (!push(c)) return true;
    }
  }
  for (;;) {
    if (!push(c)) return true;
    c = read_char(r);
    if (c == kEndChar) return true;
    bool ends = mode == ScanMode::ToBrace ? c == '}' : (is_separator(c, dot) || c == 0 || c == '=' || c == '{' || c == '}');
    if (ends) {
      unread_char(r);
      return true;
    }
  }
}

const std::string& default_template_text() {
  static const std::string text = [] {
    const char* const lines[] = {
        "<html><head>",
        "{VELMIF ELEMENT=Property.Title}",
        "  <title>{VELMINS ELEMENT=Property.Title}</title>",
        "{VELMELSE}",
        "  <title>Converted {VELMINS ELEMENT=Pragma.SourceFileName}</title>",
        "{/VELMIF}",
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset={VELMINS ELEMENT=Pragma.Charset}\"></meta>",
        "{VELMIF ELEMENT=Pragma.CSSFile}",
        "  <LINK REL=\"STYLESHEET\" HREF=\"{VELMINS ELEMENT=Pragma.CSSFile}\"></LINK>",
        "{/VELMIF}",
        "</head>",
        "",
        "<body>",
        "{VELMREP ELEMENT=Sections}",
        "  {VELMIF ELEMENT=Sections.Current.Type VALUE=WP}",
        "    {VELMINS ELEMENT=Sections.Current.BodyOrImage WIDTH=300}",
        "",
        "    {VELMIF ELEMENT=Sections.Current.Footnotes.1.Body}<br></br>",
        "      {VELMREP ELEMENT=Sections.Current.Footnotes}",
        "        {VELMINS ELEMENT=Sections.Current.Footnotes.Current.Body}<br></br>",
        "      {/VELMREP}",
        "    {/VELMIF}",
        "",
        "    {VELMIF ELEMENT=Sections.Current.Endnotes.1.Body}<br></br>",
        "      {VELMREP ELEMENT=Sections.Current.Endnotes}",
        "        {VELMINS ELEMENT=Sections.Current.Endnotes.Current.Body}<br></br>",
        "      {/VELMREP}",
        "    {/VELMIF}",
        "  {VELMELSE}",
        "    <h1>{VELMINS ELEMENT=Sections.Current.Body.Title SUPPRESS=TAGS}</h1>",
        "    {VELMINS ELEMENT=Sections.Current.BodyOrImage WIDTH=300}",
        "    <br></br><hr></hr><br></br>",
        "  {/VELMIF}",
        "{/VELMREP}",
        "</body></html>",
    };
    std::string t;
    for (const char* l : lines) t += std::string(l) + "\r\n";
    return t;
  }();
  return text;
}

KVXSTATUS load_template(Export& x, bool default_allowed, int* index) {
  KVXIO* doc = nullptr;
  uint32_t spec_type = KVXSPEC_PATH;
  if (DAGetHFile(x.ex, &doc) != KVX_OK || doc == nullptr || doc->GetInfo(doc, KVXIOINFO_SPECTYPE, &spec_type) != KVX_OK)
    spec_type = KVXSPEC_PATH;
  if (spec_type != KVXSPEC_WIDEPATH) spec_type = KVXSPEC_PATH;
  std::vector<char> value(8192 + 4, 0);
  uint32_t size = 8192;
  KVXSTATUS st = DAGetOption(x.ex, KVXOPT_TEMPLATE, value.data(), &size);
  bool empty = st != KVX_OK || size == 0 || (size == 1 && value[0] == 0) ||
               (spec_type == KVXSPEC_PATH && value[0] == 0) || (size >= 2 && value[0] == 0 && value[1] == 0);
  Template t;
  if (!empty) {
    uint32_t magic = 0;
    std::memcpy(&magic, value.data(), 4);
    uint32_t open_type = magic == KVXREDIRECT_MAGIC ? uint32_t(KVXSPEC_REDIRECT) : spec_type;
    // A named template must be a regular file: a device never ends and a FIFO would wait.
    if (IOOpen(&t.io, open_type, value.data(), KVXIO_OPEN_REGULAR) != KVX_OK || t.io == nullptr) return kNoTemplate;
    if (open_type == KVXSPEC_WIDEPATH) {
      auto* w = reinterpret_cast<const uint16_t*>(value.data());
      for (size_t i = 0; i < 4096 && w[i] != 0; ++i) t.path16.push_back(char16_t(w[i]));
      t.name = word_of16(t.path16);
      t.wide_path = true;
    } else if (open_type == KVXSPEC_PATH) {
      t.name = value.data();
      t.path16 = widen(t.name);
    }
  } else if (default_allowed) {
    const std::string& text = default_template_text();
    KVXMEMORYSPEC spec{sizeof(KVXMEMORYSPEC), text.data(), uint32_t(text.size())};
    if (IOOpen(&t.io, KVXSPEC_MEMORY, &spec, 0) != KVX_OK || t.io == nullptr) return kNoBuiltin;
    t.builtin = true;
  } else {
    return kNoTemplate;
  }
  if (KVXSTATUS a = attach_reader(t, x.work)) {
    t.io->Close(t.io);
    return a;
  }
  x.templates.push_back(std::move(t));
  *index = int(x.templates.size()) - 1;
  return KVX_OK;
}

KVXSTATUS open_named_template(Export& x, const std::string& name, int relative_to, int* index) {
  // A name from a 16-bit template, or relative to a template opened by a 16-bit path, is
  // opened by its 16-bit path, so characters beyond Latin-1 reach the file system whole.
  const Template* from = relative_to >= 0 ? &x.templates[size_t(relative_to)] : nullptr;
  uint16_t width = from && from->reader ? from->reader->width : 1;
  bool wide = from && (from->wide_path || width == 2);
  std::u16string name16 = word16(name, width);
  bool relative = !name16.empty() && name16[0] != u'/' && from != nullptr;
  std::u16string path16;
  std::string path = name;
  if (wide) {
    path16 = name16;
    if (relative) {
      size_t slash = from->path16.rfind(u'/');
      if (slash != std::u16string::npos) path16 = from->path16.substr(0, slash + 1) + name16;
    }
    path = word_of16(path16);
  } else {
    if (relative) path = directory_of(from->name) + name;
    path16 = widen(path);
  }
  for (size_t i = 0; i < x.templates.size(); ++i) {
    Template& t = x.templates[i];
    if (!t.builtin && lower(t.name) == lower(path)) {
      if (t.parsing) return kNoTemplate;  // a template that includes or links itself
      if (!reader_seek(*t.reader, t.reader->width == 2 ? 2 : 0)) return kIoFailed;
      *index = int(i);
      return KVX_OK;
    }
  }
  if (path.empty()) return kNoTemplate;
  Template t;
  t.name = path;
  t.path16 = path16;
  t.wide_path = wide;
  std::vector<uint16_t> spec16(path16.begin(), path16.end());
  spec16.push_back(0);
  KVXSTATUS st = wide ? IOOpen(&t.io, KVXSPEC_WIDEPATH, spec16.data(), KVXIO_OPEN_REGULAR)
                      : IOOpen(&t.io, KVXSPEC_PATH, path.c_str(), KVXIO_OPEN_REGULAR);
  if (st != KVX_OK || t.io == nullptr) return kNoTemplate;
  if (KVXSTATUS a = attach_reader(t, x.work)) {
    t.io->Close(t.io);
    return a;
  }
  x.templates.push_back(std::move(t));
  *index = int(x.templates.size()) - 1;
  return KVX_OK;
}

void close_templates(Export& x, KVXSTATUS* first) {
  for (Template& t : x.templates) {
    if (t.io != nullptr) {
      KVXSTATUS st = t.io->Close(t.io);
      if (st != KVX_OK && first && *first == KVX_OK) *first = kIoFailed;
      t.io = nullptr;
    }
    t.reader.reset();
  }
}

std::u16string word16(const std::string& word, uint16_t width) {
  if (width != 2) return widen(word);
  std::u16string o;
  for (size_t i = 0; i < word.size();) {
    auto c = uint8_t(word[i]);
    if (c < 0x80) {
      o.push_back(char16_t(c));
      ++i;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < word.size()) {
      o.push_back(char16_t((c & 0x1F) << 6 | (uint8_t(word[i + 1]) & 0x3F)));
      i += 2;
    } else if ((c & 0xF0) == 0xE0 && i + 2 < word.size()) {
      o.push_back(char16_t((c & 0x0F) << 12 | (uint8_t(word[i + 1]) & 0x3F) << 6 | (uint8_t(word[i + 2]) & 0x3F)));
      i += 3;
    } else {
      o.push_back(u'\uFFFD');
      ++i;
    }
  }
  return o;
}

std::string word_of16(const std::u16string& text) {
  std::string o;
  for (char16_t c : text) {
    char u[4];
    o.append(u, utf8_of(c, u));
  }
  return o;
}

std::u16string widen(const std::string& s) {
  std::u16string o;
  for (unsigned char c : s) o.push_back(char16_t(c));
  return o;
}

std::string narrow(const std::u16string& s) {
  std::string o;
  for (char16_t c : s) o.push_back(c < 0x100 ? char(c) : '?');
  return o;
}

}  // namespace pc
