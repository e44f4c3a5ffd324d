// The export engine of the HTML export filter (libpagecast.so): the entry skeleton's
// routines (VwExportOpen, VwExportWrite, VwExportClose) over one heap Export per
// instance, the choice of the output form, the replay of the command lists into the
// output files, and the parse-error page that takes the document's place when the template
// does not parse. Loaded by libkvx.so for export type 1101; builds on every other file of
// this folder.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "filters/common/kvx_entry.h"
#include "pc_charsets.h"
#include "pc_content.h"
#include "pc_pictures.h"
#include "pc_state.h"
#include "pc_writer.h"

namespace pc {

namespace {

constexpr uint16_t kDataSize = 19044;

void set_export(void* instance, Export* x) { std::memcpy(instance, &x, sizeof x); }

// ---- Template text in the output form ---------------------------------------------------

// Bytes [pos, pos + len) of a template.
KVXSTATUS read_range(Template& t, uint32_t pos, uint32_t len, std::string& out) {
  out.assign(len, '\0');
  if (len == 0) return KVX_OK;
  if (pos > 0x7FFFFFFFu || t.io->Seek(t.io, KVXIO_SEEK_SET, int32_t(pos)) != KVX_OK) return kIoFailed;
  uint32_t have = 0;
  while (have < len) {
    uint32_t got = 0;
    KVXSTATUS st = t.io->Read(t.io, &out[have], len - have, &got);
    if (st == KVXIO_EOF || (st == KVX_OK && got == 0)) break;
    if (st != KVX_OK) return kIoFailed;
    have += got;
  }
  out.resize(have);
  return KVX_OK;
}

// Template characters (bytes of an 8-bit template, units of a 16-bit one) in the output form.
KVXSTATUS write_template_chars(Export& x, KVXIO* out, uint16_t format, const std::u16string& chars) {
  if (chars.empty()) return KVX_OK;
  if (format == kTpl8) {
    std::string bytes;
    for (char16_t c : chars) bytes.push_back(char(c));
    return write_counted(out, bytes.data(), uint32_t(bytes.size()), kKind8, x.out_kind, nullptr);
  }
  if (x.out_charset != KVXCS_UNICODE) {
    std::vector<uint16_t> units(chars.begin(), chars.end());
    MapText16(units.data(), uint32_t(units.size()), KVXCS_UNICODE, x.out_charset);
    std::string bytes;
    for (uint16_t u : units) {
      if (u > 0xFF) bytes.push_back(char(u >> 8));
      bytes.push_back(char(u & 0xFF));
    }
    return write_counted(out, bytes.data(), uint32_t(bytes.size()), kKind8, x.out_kind, nullptr);
  }
  return write_units(out, chars, x.out_kind);
}

std::u16string decode(const std::string& bytes, uint16_t format) {
  std::u16string s;
  if (format == kTpl8) {
    for (unsigned char c : bytes) s.push_back(char16_t(c));
  } else {
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      auto a = uint8_t(bytes[i]), b = uint8_t(bytes[i + 1]);
      s.push_back(char16_t(format == kTplLE ? (a | b << 8) : (a << 8 | b)));
    }
  }
  return s;
}

KVXSTATUS copy_range(Export& x, KVXIO* out, Template& t, uint32_t pos, uint32_t len) {
  if (len == 0) return KVX_OK;
  std::string bytes;
  if (read_range(t, pos, len, bytes)) return kIoFailed;
  uint16_t format = t.reader->format;
  if (format == kTpl8) return write_counted(out, bytes.data(), uint32_t(bytes.size()), kKind8, x.out_kind, nullptr) ? kIoFailed : KVX_OK;
  if (x.out_charset == KVXCS_UNICODE)
    return write_counted(out, bytes.data(), uint32_t(bytes.size() / 2), format, x.out_kind, nullptr) ? kIoFailed : KVX_OK;
  return write_template_chars(x, out, format, decode(bytes, format)) ? kIoFailed : KVX_OK;
}

KVXSTATUS write_mark(Export& x, KVXIO* out) {
  uint32_t pos = 0;
  if (out->Seek(out, KVXIO_SEEK_END, 0) != KVX_OK || out->Tell(out, &pos) != KVX_OK) return kIoFailed;
  if (pos != 0 || x.out_kind == kKind8 || x.out_kind == kKindUTF8) return KVX_OK;
  const uint8_t le[2] = {0xFF, 0xFE}, be[2] = {0xFE, 0xFF};
  uint32_t w = 0;
  KVXSTATUS st = out->Write(out, kind_bits(x.out_kind) == kind_bits(kKindLE) ? le : be, 2, &w);
  return st != KVX_OK || w != 2 ? kIoFailed : KVX_OK;
}

// ---- Replay ----------------------------------------------------------------------------------

// The first template whose command lists insert a document body without referring to
// Pragma.CSSFile (each page that shows bodies needs its own link to the style sheet); -1
// when none.
int template_without_css_link(const Export& x) {
  for (size_t t = 0; t < x.templates.size(); ++t) {
    bool bodies = false, css = false;
    for (const Entry& e : x.entries) {
      if (e.tpl != int(t)) continue;
      for (const Record& r : e.list) {
        if (r.code != 202 || r.a >= x.paths.size()) continue;
        const PathRec& p = x.paths[r.a];
        if (is_css_file_path(p)) css = true;
        for (int32_t k : p.items) bodies = bodies || k == -8;
      }
    }
    if (bodies && !css) return int(t);
  }
  return -1;
}

// A host element's text as the template gave it (a 16-bit template's characters whole).
std::u16string host_text16(const Export& x, const Entry& e, const std::string& text) {
  uint16_t width = 1;
  if (e.tpl >= 0 && x.templates[size_t(e.tpl)].reader) width = x.templates[size_t(e.tpl)].reader->width;
  return word16(text, width);
}

KVXSTATUS replay(Export& x, size_t index, KVXIO* target) {
  x.entries[index].replayed = true;
  for (size_t i = 0; i < x.entries[index].list.size(); ++i) {
    const Record rec = x.entries[index].list[i];
    Entry& e = x.entries[index];
    KVXSTATUS st = KVX_OK;
    switch (rec.code) {
      case 200:
        st = write_mark(x, target);
        break;
      case 201:
        x.output_written += rec.b;
        st = x.output_written > x.output_limit ? kReplayFailed
                                                : copy_range(x, target, x.templates[size_t(e.tpl)], rec.a, rec.b);
        break;
      case 202: {
        // Element content is counted by how far the file grew.
        uint32_t before = 0, after = 0;
        bool known = target->Tell(target, &before) == KVX_OK;
        st = template_pass_element(x, target, x.paths[rec.a]);
        if (known && target->Tell(target, &after) == KVX_OK && after > before) x.output_written += after - before;
        if (st == KVX_OK && x.output_written > x.output_limit) st = kReplayFailed;
        break;
      }
      case 203:
        st = write_text8(target, x.texts8[rec.a], x.out_kind) ? kIoFailed : KVX_OK;
        break;
      case 204:
        if (e.own_out && !e.closed && e.out != nullptr && e.out != x.current_out) {
          e.closed = true;
          if (e.out->Close(e.out) != KVX_OK) st = kIoFailed;
        }
        break;
      case 205:
        st = replay(x, rec.a, target);
        if (st == KVX_OK && target->Seek(target, KVXIO_SEEK_END, 0) != KVX_OK) st = kIoFailed;
        break;
      case 208: {
        std::u16string wide = host_text16(x, e, x.texts8[rec.a]) + u'\0';
        std::string narrow8 = narrow(wide);
        KVXHOSTELEMENT he{target, x.wide_names ? static_cast<const void*>(wide.data())
                                               : static_cast<const void*>(narrow8.c_str())};
        KVXSTATUS answer = EXDoCallback(x.ex, KVXCB_HOSTELEMENT, &he);
        if (answer != KVX_OK && answer != KVXCB_USEDEFAULT) return answer;
        break;
      }
      case 209: {
        const std::u16string& text = x.texts16[rec.a];
        if (x.before_text) {
          uint32_t pos = 0;
          bool known = target->Tell(target, &pos) == KVX_OK;
          KVXBEFORETEXT bt{24, e.element_id, rec.d, known ? pos : 0x0FFFFFFFu, uint32_t(text.size()), known ? 0 : -1};
          EXDoCallback(x.ex, KVXCB_BEFORETEXT, &bt);
        }
        std::vector<uint16_t> units(text.begin(), text.end());
        if (x.out_charset != KVXCS_UNICODE) {
          MapText16(units.data(), uint32_t(units.size()), KVXCS_UNICODE, x.out_charset);
          std::string bytes;
          for (uint16_t u : units) {
            if (u > 0xFF) bytes.push_back(char(u >> 8));
            bytes.push_back(char(u & 0xFF));
          }
          st = write_text8(target, bytes, x.out_kind);
        } else {
          st = write_units(target, text, x.out_kind);
        }
        if (st) st = kIoFailed;
        break;
      }
      case 210: {
        std::u16string wide = host_text16(x, e, x.texts8[rec.a]);
        const std::string t8 = narrow(wide);
        wide += u'\0';
        KVXELEMENTTEXT et{target, nullptr, nullptr};
        if (x.wide_names) {
          et.Text = wide.data();
          et.End = wide.data() + wide.size();
        } else {
          et.Text = t8.c_str();
          et.End = t8.c_str() + t8.size() + 1;
        }
        EXDoCallback(x.ex, KVXCB_ELEMENTTEXT, &et);
        break;
      }
      default:
        break;
    }
    if (st) return st;
  }
  return KVX_OK;
}

// ---- The parse-error page ------------------------------------------------------------------

uint32_t message_id(KVXSTATUS status) {
  if (status < 1536 || status > 1589) status = 1560;
  switch (status) {
    case 1536: case 1537: case 1538: return 0x142CC + uint32_t(status - 1536);
    case 1539: case 1548: case 1549: case 1551: case 1552: case 1557: return 0x142CF;
    case 1550: return 0x142D8;
    default: break;
  }
  if (status >= 1540 && status <= 1547) return 0x142D0 + uint32_t(status - 1540);
  if (status >= 1553 && status <= 1556) return 0x142D9 + uint32_t(status - 1553);
  return 0x142DD + uint32_t(status - 1558);
}

std::string string_of(uint32_t id) {
  char buf[512];
  UTGetString(id, buf, sizeof buf, 0);
  return buf;
}

std::u16string escape(const std::u16string& s) {
  std::u16string o;
  for (char16_t c : s) {
    switch (c) {
      case u'"': o += u"&quot;"; break;
      case u'<': o += u"&lt;"; break;
      case u'>': o += u"&gt;"; break;
      case u'&': o += u"&amp;"; break;
      default: o.push_back(c);
    }
  }
  return o;
}

bool starts_word(char16_t c) { return c == u'.' || c == u' ' || c == u'{' || c == u'='; }
bool ends_word(char16_t c) { return c == u'.' || c == u' ' || c == u'}' || c == u'=' || c == u'\r' || c == u'\n'; }

}  // namespace

KVXSTATUS write_error_page(Export& x, uint32_t position, KVXSTATUS status) {
  KVXIO* out = x.root_out;
  if (out == nullptr || x.err_tpl < 0) return kIoFailed;
  Template& t = x.templates[size_t(x.err_tpl)];
  uint16_t format = t.reader->format;
  uint32_t size = 0;
  if (t.io->GetInfo(t.io, KVXIOINFO_SIZE, &size) != KVX_OK) size = 0;
  if (size > kMaxTemplateBytes) size = kMaxTemplateBytes;
  std::string bytes;
  if (read_range(t, 0, size, bytes)) return kIoFailed;
  uint32_t skip = format == kTpl8 ? 0 : 2;
  if (bytes.size() < skip) bytes.assign(skip, '\0');
  std::u16string chars = decode(bytes.substr(skip), format);
  uint32_t width = format == kTpl8 ? 1 : 2;
  // Character index of the error position and the span around it.
  size_t at = position <= skip ? 0 : (position - skip) / width;
  if (at > chars.size()) at = chars.size();
  size_t start = at;
  if (at >= chars.size() || chars[at] != u'{')
    while (start > 0 && !starts_word(chars[start - 1])) --start;
  size_t end = at;
  while (end < chars.size() && !ends_word(chars[end])) ++end;
  if (end == start && end < chars.size()) ++end;  // a delimiter alone is marked itself
  size_t line_end = at;
  while (line_end < chars.size() && chars[line_end] != u'\n') ++line_end;
  if (line_end < chars.size()) ++line_end;
  if (end > line_end) end = line_end;

  auto lit = [&](const std::string& s) { return write_text8(out, s, x.out_kind); };
  auto tpl = [&](size_t from, size_t to) { return write_template_chars(x, out, format, escape(chars.substr(from, to - from))); };
  std::u16string name = escape(t.path16);
  KVXSTATUS st = write_mark(x, out);
  if (!st) st = lit("<HTML>\r\n<HEAD>\r\n<TITLE>\r\n" + string_of(0x14330));
  if (!st) st = write_template_chars(x, out, kTplLE, name);
  if (!st) st = lit("</TITLE>\r\n</HEAD>\r\n<BODY>\r\n<H2>\r\n" + string_of(0x14331));
  if (!st) st = write_template_chars(x, out, kTplLE, name);
  if (!st) st = lit("\r\n</H2>\r\n<P>\r\n" + string_of(0x14333) + "</P>\r\n" + string_of(0x14334));
  if (!st) st = lit("<BLOCKQUOTE>\r\n<PRE>\r\n");
  if (!st) st = tpl(0, start);
  if (!st) st = lit("<FONT COLOR=\"#FF0000\"><STRONG><A NAME=\"err\"></A>");
  if (!st) st = tpl(start, end);
  if (!st) st = lit("</STRONG></FONT>");
  if (!st) st = tpl(end, line_end);
  if (!st) st = lit("\r\n</PRE>\r\n");
  if (!st) {
    std::string para = "<P>\r\n<FONT COLOR=\"#FF0000\">\r\n<STRONG>\r\n" + string_of(0x14332) + std::to_string(status) +
                       string_of(message_id(status)) + "\r\n</STRONG>\r\n" + string_of(0x14335) +
                       "\r\n</FONT>\r\n</P>\r\n";
    if (para.size() > 2047) para.resize(2047);
    st = lit(para);
  }
  if (!st) st = lit("<PRE>\r\n");
  if (!st) st = tpl(line_end, chars.size());
  if (!st) st = lit("\r\n</PRE>\r\n</BLOCKQUOTE>\r\n</BODY>\r\n</HTML>\r\n");
  x.error_page_written = true;
  return st ? kIoFailed : KVX_OK;
}

namespace {

void close_all(Export& x) {
  KVXSTATUS ignored = KVX_OK;
  close_templates(x, &ignored);
  for (Entry& e : x.entries) {
    if (e.own_out && !e.closed && e.out != nullptr) {
      e.out->Close(e.out);
      e.closed = true;
    }
  }
  if (x.root_out != nullptr) {
    x.root_out->Close(x.root_out);
    x.root_out = nullptr;
  }
  x.current_out = nullptr;
}

KVXSTATUS export_close(uint32_t /*word*/, void* instance) {
  Export* x = export_of(instance);
  if (x == nullptr) return KVX_OK;
  close_all(*x);
  StopWriter(x->writer);
  if (x->content) NumberingDestroy(&x->content->numbers.store, &x->ledger);
  MUCacheDeinit(&x->cache, &x->ledger);
  delete x;
  set_export(instance, nullptr);
  return KVX_OK;
}

uint32_t option_word(KVXHANDLE ex, uint32_t id, bool* ok) {
  uint32_t v = 0, size = 4;
  *ok = DAGetOption(ex, id, &v, &size) == KVX_OK;
  return *ok ? v : 0;
}

KVXSTATUS export_open(uint32_t spec_type, const void* spec, uint32_t word3, KVXHANDLE ex, const void* /*info*/,
                      uint32_t /*word6*/, void* instance) {
  if (instance == nullptr) return KVXERR_BADPARAM;
  std::memset(instance, 0, kDataSize);
  Export* x = mem_permit() ? new (std::nothrow) Export : nullptr;
  if (x == nullptr) return KVXERR_NOMEMORY;
  set_export(instance, x);
  MemLedgerInit(&x->ledger);
  MemLedgerInit(&x->ledger2);
  MUCacheInit(4095, 1, 96, 0, 0, &x->cache, &x->ledger);
  x->ex = ex;
  if (KVXSTATUS st = StartWriter(x->writer)) {
    export_close(0, instance);
    return st;
  }
  // Start-of-export set-up.
  x->entries.reserve(32);
  x->stack.reserve(32);
  bool ok = false;
  x->before_text = option_word(ex, KVXOPT_16, &ok) == 201 && ok;
  int tpl = -1;
  KVXSTATUS tst = load_template(*x, false, &tpl);
  if (tst == kOutOfMemory) {
    export_close(0, instance);
    return tst;
  }
  x->wide_names = option_word(ex, KVXOPT_ROOTFILECALLBACK, &ok);
  x->root_spec_type = spec_type;
  std::u16string name;
  KVXIO* out = nullptr;
  x->cur_entry = -1;
  KVXSTATUS st = open_new_file(*x, nullptr, 516, KVXEXPORT_HTML, spec_type, spec, &out, &name);
  x->root_out = x->current_out = out;
  x->root_name = name;
  int idx = -1;
  if (st == KVX_OK) st = register_file(*x, out, name, -1, 0xFFFFFFFFu, &idx);
  x->cur_entry = 0;
  if (st == KVX_OK) x->entries[0].tpl = tpl;
  if (st == KVX_OK) st = DAGetHChunker(ex, &x->chunker);
  x->word3 = word3;
  if (st == KVX_OK) {
    KVXSTATUS fi = CHGetItemId(x->chunker, KVXRANGE_ITEMS, 0, &x->first_item);
    if (fi == KVXERR_NOITEM) x->first_item = 0xFFFFFFFFu;  // an empty document still exports
    else st = fi;
  }
  if (st != KVX_OK) {
    export_close(0, instance);
    return st;
  }
  return KVX_OK;
}

KVXSTATUS output_form(Export& x) {
  x.doc_charset = document_charset(x);
  uint32_t row = 0, state = 0;
  if (KVXSTATUS st = SetOutputCharset(x.ex, x.doc_charset, &row, &state, &x.charset_name)) return st;
  x.out_charset = state;
  if (row == KVXCS_UTF8) {
    x.out_kind = kKindUTF8;
  } else if (state == KVXCS_UNICODE) {
    bool ok = false;
    uint32_t order = option_word(x.ex, KVXOPT_CHARBYTEORDER, &ok);
    uint16_t tpl_format = x.templates[size_t(x.entries[0].tpl)].reader->format;
    if (ok && order == 1) x.out_kind = kKindBE2;
    else if (ok && order != 0) x.out_kind = kKindLE;
    else x.out_kind = tpl_format != kTpl8 ? tpl_format : kKindBE2;
  } else {
    x.out_kind = kKind8;
  }
  return KVX_OK;
}

void host_elements(Export& x) {
  void* list = nullptr;
  KVXSTATUS answer = EXDoCallback(x.ex, KVXCB_EXPORTSTART, &list);
  if (answer != KVX_OK || list == nullptr) return;
  auto** names = static_cast<void**>(list);
  for (size_t i = 0; i < 4096 && names[i] != nullptr; ++i) {
    std::u16string n;
    if (x.wide_names) {
      auto* w = static_cast<const uint16_t*>(names[i]);
      for (size_t k = 0; k < kNameMax && w[k] != 0; ++k) n.push_back(char16_t(w[k]));
    } else {
      auto* c = static_cast<const unsigned char*>(names[i]);
      for (size_t k = 0; k < kNameMax && c[k] != 0; ++k) n.push_back(char16_t(c[k]));
    }
    if (n.empty()) break;
    x.host_elements.push_back(lower16(n));
  }
}

}  // namespace

KVXSTATUS style_sheet_link(Export& x, std::u16string* name) {
  name->clear();
  if (x.css_mode != 1) return KVXERR_NOITEM;
  if (x.css_entry < 0) {
    int idx = -1;
    uint16_t kind = StyleSheetKind(x.writer);
    if (KVXSTATUS st = open_content_file(x, 1142, kind, &idx)) return st;
    x.css_entry = idx;
  }
  *name = x.entries[size_t(x.css_entry)].name;
  return KVX_OK;
}

KVXSTATUS template_pass_element(Export& x, KVXIO* out, const PathRec& p) {
  if (!is_css_file_path(p)) return pass_element(x, out, p);
  std::u16string name;
  if (style_sheet_link(x, &name) != KVX_OK) return KVX_OK;  // nothing to link to
  if (x.out_kind == kKind8) return write_text8(out, narrow(name), x.out_kind);
  return write_units(out, name, x.out_kind);
}

namespace {

// The constant terms of the two limits; tests make them small (PCTestBounds).
uint64_t g_work_base = kWorkBase, g_output_base = kOutputBase;

// The parse's work limit and the replay's output limit of this export (pc_parse.cpp states
// them), from the size of its template and of the source document.
void set_bounds(Export& x) {
  uint64_t template_size = 0, document_size = 0;
  uint32_t size = 0;
  Template& t = x.templates[size_t(x.entries[0].tpl)];
  if (t.io->GetInfo(t.io, KVXIOINFO_SIZE, &size) == KVX_OK) template_size = size;
  KVXIO* doc = nullptr;
  if (DAGetHFile(x.ex, &doc) == KVX_OK && doc != nullptr && doc->GetInfo(doc, KVXIOINFO_SIZE, &size) == KVX_OK)
    document_size = size;
  template_size = std::min<uint64_t>(template_size, kMaxTemplateBytes);
  // Room for the template's text passes over every section (the built-in template's
  // repetition), up to as many as one VELMREP may make.
  uint32_t sections = 0;
  if (CHGetItemCount(x.chunker, KVXRANGE_SECTIONS, &sections) != KVX_OK) sections = 0;
  sections = std::min(sections, kMaxRepPasses);
  x.work = WorkBudget{};
  x.work.limit = g_work_base + kWorkPerByte * template_size + kWorkPerSection * sections;
  x.output_written = 0;
  x.output_limit = g_output_base + kOutputPerByte * (template_size + document_size);
}

KVXSTATUS run_export(Export& x) {
  if (x.entries.empty() || x.root_out == nullptr) return kIoFailed;
  if (x.entries[0].tpl < 0) {
    int tpl = -1;
    if (KVXSTATUS st = load_template(x, true, &tpl)) return st;
    x.entries[0].tpl = tpl;
  }
  if (KVXSTATUS st = output_form(x)) return st;
  x.css_mode = 0;
  x.css_entry = -1;
  KVXHANDLE ex = x.ex;
  x.writer.s.getOption = [ex](uint32_t id, void* buffer, uint32_t* size) { return DAGetOption(ex, id, buffer, size); };
  x.writer.s.output = x.root_out;
  bool classes = false;
  if (KVXSTATUS st = ConfigureHtmlWriter(x.out_charset, x.out_kind, x.writer, &classes)) return st;
  x.css_mode = classes ? 1 : 0;
  InstallSpacerPicture(x);
  host_elements(x);
  x.cur_entry = 0;
  set_bounds(x);
  Reader& r = *x.templates[size_t(x.entries[0].tpl)].reader;
  x.entries[0].text_start = r.tell();
  x.stack.clear();
  KVXSTATUS st = parse_template(x);
  if (st != KVX_OK) {
    uint32_t size = 0;
    Template& t = x.templates[size_t(x.err_tpl)];
    if (t.io->GetInfo(t.io, KVXIOINFO_SIZE, &size) == KVX_OK && size < x.err_pos) x.err_pos = size;
    write_error_page(x, x.err_pos, st);
    return st;
  }
  // Bodies written with style classes need the template to link the style sheet.
  if (int t = x.css_mode == 1 ? template_without_css_link(x) : -1; t >= 0) {
    x.err_tpl = t;
    reader_seek(*x.templates[size_t(t)].reader, 0);
    write_error_page(x, 0, kNoStyleSheetLink);
    return kNoStyleSheetLink;
  }
  for (Entry& e : x.entries) e.replayed = false;
  KVXSTATUS all = KVX_OK;
  for (size_t i = 0; i < x.entries.size(); ++i)
    if (!x.entries[i].replayed) all |= replay(x, i, x.entries[i].out);
  if (all != KVX_OK) return kReplayFailed;
  if (x.css_entry >= 0)
    if (KVXSTATUS st = FinishWriter(int(x.css_mode), x.entries[size_t(x.css_entry)].out, x.writer)) return st;
  return x.cut ? KVXSTATUS(KVXERR_TRUNCATED) : KVXSTATUS(KVX_OK);
}

KVXSTATUS export_write(uint32_t /*word*/, void* instance) {
  Export* x = export_of(instance);
  if (x == nullptr) return KVXERR_BADPARAM;
  KVXSTATUS st;
  try {
    st = run_export(*x);
  } catch (const std::bad_alloc&) {
    st = kOutOfMemory;
  }
  KVXSTATUS closing = KVX_OK;
  close_templates(*x, &closing);
  for (Entry& e : x->entries) {
    if (e.own_out && !e.closed && e.out != nullptr && st == KVX_OK) {
      e.closed = true;
      if (e.out->Close(e.out) != KVX_OK && closing == KVX_OK) closing = kIoFailed;
    }
  }
  if (st == KVX_OK) st = closing;
  if (st != KVX_OK) close_outputs_on_failure(*x);
  x->status = st;
  return st;
}

KVXSTATUS guarded_open(uint32_t a, const void* b, uint32_t c, KVXHANDLE d, const void* e, uint32_t f, void* g) {
  try {
    return export_open(a, b, c, d, e, f, g);
  } catch (const std::bad_alloc&) {
    export_close(0, g);
    return KVXERR_NOMEMORY;
  }
}

const uint16_t kExportIds[] = {KVXEXPORT_HTML};
const kvx::FilterInfo kInfo = {kDataSize, 0x19D8, 0x0190, 0x01B8, kExportIds, 1, "Oct 27 1999", __TIME__};

}  // namespace

}  // namespace pc

using pc::kInfo;
KVX_DEFINE_FILTER_ENTRY(kInfo, pc::guarded_open, pc::export_close, pc::export_write)

extern "C" {

// Test hook: the constant terms of the work and output limits of later exports (0: the
// usual ones), so that tests reach the limits with small fixtures.
KVX_API void PCTestBounds(uint64_t work_base, uint64_t output_base) {
  pc::g_work_base = work_base ? work_base : pc::kWorkBase;
  pc::g_output_base = output_base ? output_base : pc::kOutputBase;
}

// The 16-bit name of the output file whose IO object is file; 25 when there is none or it
// does not fit in size bytes (nothing copied then).
KVX_API KVXSTATUS BIGetLinkByHFile(KVXIO* file, uint16_t* out, uint32_t size, void* instance) {
  pc::Export* x = pc::export_of(instance);
  if (x == nullptr || out == nullptr) return KVXERR_NOITEM;
  for (const pc::Entry& e : x->entries) {
    if (e.out == file && file != nullptr) {
      if ((e.name.size() + 1) * 2 > size) return KVXERR_NOITEM;
      for (size_t i = 0; i < e.name.size(); ++i) out[i] = e.name[i];
      out[e.name.size()] = 0;
      return KVX_OK;
    }
  }
  return KVXERR_NOITEM;
}

// The 16-bit name of the output file that holds the element nearest at or below the
// chunk id; 25 when none or it does not fit.
KVX_API KVXSTATUS BIGetLinkByElemChId(uint32_t chunk_id, uint16_t* out, uint32_t size, void* instance) {
  pc::Export* x = pc::export_of(instance);
  if (x == nullptr || out == nullptr) return KVXERR_NOITEM;
  const pc::Entry* best = nullptr;
  for (size_t i = x->entries.size(); i-- > 0;) {
    const pc::Entry& e = x->entries[i];
    if (e.element_id == 0xFFFFFFFFu || e.element_id > chunk_id || !e.own_out) continue;
    if (best == nullptr || e.element_id > best->element_id) best = &e;
  }
  if (best == nullptr || (best->name.size() + 1) * 2 > size) return KVXERR_NOITEM;
  for (size_t i = 0; i < best->name.size(); ++i) out[i] = best->name[i];
  out[best->name.size()] = 0;
  return KVX_OK;
}

// The section type of a section word ("wp" 0 ... "ch" 8); 1576 for any other word.
KVX_API KVXSTATUS BIGetSectionTypeFromInString(const char* word, uint32_t* type) {
  if (word == nullptr || type == nullptr) return pc::kUnknownSectionType;
  return pc::section_type_from_word(word, type);
}

// The element requests over a path of count words: exists (0 or 37; first item of the
// element, the item after its range (-1 when it runs to the stream's end) and found 1
// on the way out), its anchor name (16-bit, at most 128
// characters with the terminator), and writing it into out (flags bit 31 suppresses tags,
// bit 30 anchors).
KVX_API KVXSTATUS HtmlElementExist(uint32_t count, const int32_t* path, uint32_t* first, uint32_t* end,
                                   uint32_t* found, void* instance) {
  pc::Export* x = pc::export_of(instance);
  if (x == nullptr || (path == nullptr && count > 0) || count > 64) return KVXERR_BADPARAM;
  if (first) *first = 0;
  if (end) *end = 0xFFFFFFFFu;
  if (found) *found = 1;
  pc::PathRec p;
  p.items.assign(path, path + count);
  KVXSTATUS st = pc::element_request(*x, p, pc::kReqExists, nullptr, 0);
  if (st == KVX_OK) {
    uint32_t e = 0xFFFFFFFFu;
    uint32_t f = pc::element_id(*x, p, &e);
    if (first) *first = f;
    if (end) *end = e;
  }
  return st;
}

KVX_API KVXSTATUS HtmlGetElementName(uint32_t count, const int32_t* path, uint16_t* name, void* instance) {
  pc::Export* x = pc::export_of(instance);
  if (x == nullptr || name == nullptr || (path == nullptr && count > 0) || count > 64) return KVXERR_BADPARAM;
  pc::PathRec p;
  p.items.assign(path, path + count);
  KVXSTATUS st = pc::element_request(*x, p, pc::kReqName, nullptr, 0);
  std::u16string n = pc::content(*x).name.substr(0, 127);
  for (size_t i = 0; i < n.size(); ++i) name[i] = n[i];
  name[n.size()] = 0;
  return st;
}

KVX_API KVXSTATUS HtmlHandleElement(KVXIO* out, uint32_t count, const int32_t* path, uint32_t flags,
                                    const uint32_t* /*attribute*/, void* instance) {
  pc::Export* x = pc::export_of(instance);
  if (x == nullptr || out == nullptr || (path == nullptr && count > 0) || count > 64) return KVXERR_BADPARAM;
  pc::PathRec p;
  p.items.assign(path, path + count);
  return pc::element_request(*x, p, pc::kReqWrite, out, flags & 0xC0000000u);
}

}  // extern "C"
