// Output files of the HTML export filter: the output-file table with its command lists,
// the creation of a file through the host's KVXCB_CREATEFILE and KVXCB_FILECREATED
// callbacks, the filter's own naming (the root file after the host's output spec, further
// files as <root base>_<n><extension> beside it, skipping names that exist) and the link
// queries by IO object and by chunk id. Called by the engine and the statement handlers.
#include <cstring>
#include <vector>

#include "pc_state.h"

namespace pc {

namespace {

constexpr KVXSTATUS kNoRootSpec = 326;
constexpr uint16_t kKindWideBit = 0x0001, kKindUtf8Bit = 0x2000, kKindLittleBit = 0x8000;

const char* extension_of(uint32_t content_type) {
  switch (content_type) {
    case 1101: return ".htm";
    case 1142: return ".css";
    case 1503: return ".gif";
    case 1535: return ".jpg";
    case 1528: return ".cgm";
    case 4000: return ".txt";
    default: return "";
  }
}

struct Request {
  KVXFILEREQUEST req{};
  std::vector<uint8_t> spec;
  std::vector<uint8_t> name_rec;
  bool wide = false;
  size_t number_offset() const { return wide ? 4 + 2 * kNameMax : 4 + kNameMax; }
};

// Puts the file name (without directory) into the name record; 25 when it does not fit.
KVXSTATUS set_name(Request& q, const std::u16string& name) {
  if (name.size() >= kNameMax) return KVXERR_NOITEM;
  std::memset(q.name_rec.data() + 4, 0, q.number_offset() - 4);
  for (size_t i = 0; i < name.size(); ++i) {
    if (q.wide) {
      q.name_rec[4 + 2 * i] = uint8_t(name[i] & 0xFF);
      q.name_rec[5 + 2 * i] = uint8_t(name[i] >> 8);
    } else {
      q.name_rec[4 + i] = uint8_t(name[i]);
    }
  }
  return KVX_OK;
}

void set_number(Request& q, uint32_t n) { std::memcpy(q.name_rec.data() + q.number_offset(), &n, 4); }

std::u16string file_part(const std::u16string& path) {
  size_t slash = path.find_last_of(u"/\\");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

// The request's path buffer as text (8-bit or 16-bit by its SpecType).
std::u16string spec_text(const Request& q) {
  std::u16string s;
  if (q.req.SpecType == KVXSPEC_WIDEPATH) {
    for (size_t i = 0; i + 1 < q.spec.size(); i += 2) {
      char16_t c = char16_t(q.spec[i] | q.spec[i + 1] << 8);
      if (c == 0) break;
      s.push_back(c);
    }
  } else {
    for (size_t i = 0; i < q.spec.size() && q.spec[i] != 0; ++i) s.push_back(char16_t(q.spec[i]));
  }
  return s;
}

KVXSTATUS set_spec(Request& q, const std::u16string& path) {
  if (path.size() + 1 > q.spec.size() / 2) return KVXERR_NOITEM;
  std::fill(q.spec.begin(), q.spec.end(), 0);
  for (size_t i = 0; i < path.size(); ++i) {
    if (q.req.SpecType == KVXSPEC_WIDEPATH) {
      q.spec[2 * i] = uint8_t(path[i] & 0xFF);
      q.spec[2 * i + 1] = uint8_t(path[i] >> 8);
    } else {
      q.spec[i] = uint8_t(path[i]);
    }
  }
  return KVX_OK;
}

// Names the root file after the host's output spec.
KVXSTATUS open_root_name(Request& q, const void* output_spec) {
  if (output_spec == nullptr) return kNoRootSpec;
  if (q.req.SpecType == KVXSPEC_IOOBJECT) {
    q.req.Spec = const_cast<void*>(output_spec);
    set_number(q, 0);
    return KVX_OK;
  }
  std::u16string path;
  if (q.req.SpecType == KVXSPEC_WIDEPATH) {
    auto* w = static_cast<const uint16_t*>(output_spec);
    for (size_t i = 0; w[i] != 0; ++i) {
      if (i >= 4 * kNameMax) return KVXERR_NOITEM;
      path.push_back(char16_t(w[i]));
    }
  } else {
    path = widen(static_cast<const char*>(output_spec));
  }
  if (KVXSTATUS st = set_spec(q, path)) return st;
  if (KVXSTATUS st = set_name(q, file_part(path))) return st;
  set_number(q, 0);
  q.req.NamingState = 3;
  return KVX_OK;
}

// Names a new file beside the root file: <base>_<n><extension>, the first n whose file
// does not exist yet.
KVXSTATUS open_new_name(Export& x, Request& q) {
  if (x.root_out == nullptr) return KVXERR_CREATEFAILED;
  std::u16string root;
  if (x.root_spec_type == KVXSPEC_WIDEPATH) {
    std::vector<uint16_t> w(KVXIO_NAMEMAX + 1, 0);
    if (x.root_out->GetInfo(x.root_out, KVXIOINFO_FILENAME, w.data()) != KVX_OK) return KVXERR_CREATEFAILED;
    for (size_t i = 0; w[i] != 0; ++i) root.push_back(char16_t(w[i]));
  } else {
    std::vector<char> c(KVXIO_NAMEMAX + 1, 0);
    if (x.root_out->GetInfo(x.root_out, KVXIOINFO_FILENAME, c.data()) != KVX_OK) return KVXERR_CREATEFAILED;
    root = widen(c.data());
  }
  std::u16string name = file_part(root);
  std::u16string dir = root.substr(0, root.size() - name.size());
  size_t dot = name.find(u'.');
  std::u16string base = dot == std::u16string::npos ? name : name.substr(0, dot);
  std::u16string ext = widen(extension_of(q.req.ContentType));
  for (uint32_t tries = 0;; ++tries) {
    if (tries > 100000) return KVXERR_CREATEFAILED;
    ++x.file_counter;
    std::u16string file = base + u"_" + widen(std::to_string(x.file_counter)) + ext;
    if (KVXSTATUS st = set_spec(q, dir + file)) return st;
    KVXIO* probe = nullptr;
    if (IOOpen(&probe, q.req.SpecType, q.spec.data(), 0) == KVX_OK && probe != nullptr) {
      probe->Close(probe);
      continue;
    }
    if (KVXSTATUS st = set_name(q, file)) return st;
    set_number(q, x.file_counter);
    q.req.NamingState = 3;
    return KVX_OK;
  }
}

}  // namespace

KVXSTATUS open_new_file(Export& x, KVXIO* referring, uint32_t kind, uint32_t content_type, uint32_t spec_type,
                        const void* output_spec, KVXIO** out, std::u16string* name) {
  *out = nullptr;
  if (!mem_permit()) return KVXERR_NOMEMORY;
  Request q;
  q.wide = x.wide_names != 0;
  q.spec.assign(4 * kNameMax + 4, 0);
  q.name_rec.assign(q.wide ? 4104 : 2056, 0);
  uint16_t tag = q.wide ? 0x1008 : 0x0808;
  std::memcpy(q.name_rec.data(), &tag, 2);
  q.req.ReferringFile = referring;
  q.req.ExportType = KVXEXPORT_HTML;
  q.req.FileKind = kind;
  q.req.ContentType = content_type;
  q.req.NamingState = 0;
  q.req.SpecType = spec_type;
  q.req.Spec = q.spec.data();
  q.req.NameRecord = q.name_rec.data();
  set_number(q, x.file_counter + 1);
  // The open template's file name travels with the request, in the name record's form.
  int tpl = x.cur_entry >= 0 && size_t(x.cur_entry) < x.entries.size() ? x.entries[size_t(x.cur_entry)].tpl
                                                                        : int(x.templates.size()) - 1;
  std::u16string tpl16;
  std::string tpl8;
  if (tpl >= 0 && !x.templates[size_t(tpl)].builtin) {
    tpl16 = x.templates[size_t(tpl)].path16;
    tpl8 = x.templates[size_t(tpl)].wide_path ? narrow(tpl16) : x.templates[size_t(tpl)].name;
    tpl16.push_back(u'\0');
    q.req.TemplateName = q.wide ? static_cast<const void*>(tpl16.data()) : static_cast<const void*>(tpl8.c_str());
  }
  KVXSTATUS answer = EXDoCallback(x.ex, KVXCB_CREATEFILE, &q.req);
  if (answer == KVXCB_USEDEFAULT) {
    KVXSTATUS st = kind == 516 ? open_root_name(q, output_spec) : open_new_name(x, q);
    if (st) return st;
  } else if (answer == KVX_OK) {
    ++x.file_counter;
  } else {
    return answer;
  }
  if (IOCreate(out, q.req.SpecType, q.req.Spec, KVXIO_CREATE) != KVX_OK || *out == nullptr) {
    *out = nullptr;
    return KVXERR_CREATEFAILED;
  }
  answer = EXDoCallback(x.ex, KVXCB_FILECREATED, &q.req);
  if (answer != KVX_OK && answer != KVXCB_USEDEFAULT) {
    (*out)->Close(*out);
    *out = nullptr;
    return answer;
  }
  // The name the record holds, else the last part of the created file's path.
  std::u16string n;
  for (size_t i = 0; i < kNameMax; ++i) {
    char16_t c = q.wide ? char16_t(q.name_rec[4 + 2 * i] | q.name_rec[5 + 2 * i] << 8) : char16_t(q.name_rec[4 + i]);
    if (c == 0) break;
    n.push_back(c);
  }
  if (n.empty() && q.req.SpecType != KVXSPEC_IOOBJECT) n = file_part(spec_text(q));
  *name = n;
  return KVX_OK;
}

KVXSTATUS register_file(Export& x, KVXIO* out, const std::u16string& name, int parent, uint32_t element, int* index) {
  if (x.entries.size() == x.entries.capacity() && !mem_permit()) return kOutOfMemory;
  Entry e;
  e.out = out;
  e.name = name;
  e.parent = parent;
  e.element_id = element;
  e.tpl = x.cur_entry >= 0 && size_t(x.cur_entry) < x.entries.size() ? x.entries[size_t(x.cur_entry)].tpl : -1;
  e.open_value = uint32_t(x.entries.size());
  e.list.reserve(128);
  e.list.push_back(Record{200, e.open_value, 0, 0, 0});
  // Charged before the table grows (name may be an entry's own); the parse notices a
  // spent budget at its next character.
  x.work.charge(sizeof(Entry) + 128 * sizeof(Record) + 2 * name.size());
  x.entries.push_back(std::move(e));
  *index = int(x.entries.size()) - 1;
  return KVX_OK;
}

KVXSTATUS open_content_file(Export& x, uint32_t content_type, uint16_t mark_kind, int* index) {
  *index = -1;
  KVXIO* out = nullptr;
  std::u16string name;
  if (KVXSTATUS st = open_new_file(x, x.root_out, 513, content_type, x.root_spec_type, nullptr, &out, &name)) return st;
  uint8_t mark[2] = {0xFF, 0xFE};
  uint16_t k = uint16_t(mark_kind & (kKindWideBit | kKindUtf8Bit | kKindLittleBit));
  if (k == kKindWideBit) mark[0] = 0xFE, mark[1] = 0xFF;
  if (k == kKindWideBit || k == (kKindWideBit | kKindLittleBit)) {
    uint32_t w = 0;
    if (out->Write(out, mark, 2, &w) != KVX_OK || w != 2) {
      out->Close(out);
      return kIoFailed;
    }
  }
  int idx = -1;
  if (KVXSTATUS st = register_file(x, out, name, x.cur_entry, 0xFFFFFFFFu, &idx)) {
    out->Close(out);
    return st;
  }
  Entry& e = x.entries[size_t(idx)];
  e.own_out = true;
  e.replayed = true;
  e.recording = false;
  *index = idx;
  return KVX_OK;
}

KVXSTATUS record(Export& x, uint32_t code, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  Entry& e = x.entries[size_t(x.cur_entry)];
  if (!e.recording) return KVX_OK;
  if (e.list.size() == e.list.capacity() && !mem_permit()) return kOutOfMemory;
  if (!x.work.charge(sizeof(Record))) return kTooManyRepetitions;
  e.list.push_back(Record{code, a, b, c, d});
  return KVX_OK;
}

void close_outputs_on_failure(Export& x) {
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

}  // namespace pc
