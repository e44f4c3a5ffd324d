// The template parser of the HTML export filter: the parse loop that separates text from
// commands and checks nesting, and the statement handlers (VELMIF with ELSEIF and ELSE,
// VELMREP, VELMINC, VELMDEC, VELMINS, VELMIGNORE, VELMINCLUDE, VELMLINK with its deferred
// pass). Conditions, repetitions and indexes are decided against the document while the
// template is read; the handlers record commands into the current output file's list.
// Called by the engine (pc_engine.cpp); builds on the reader (pc_template.cpp), element
// paths (pc_paths.cpp), output files (pc_files.cpp) and the element side.
//
// Bounds. A hostile template never costs more than a bounded multiple of its size T (the
// size of the template the export was given, or of the built-in one), beside constant
// terms and terms of the document that an ordinary export needs anyway, in time and
// memory:
// - A template is a regular file (devices and FIFOs are refused at the open) of at most
//   kMaxTemplateBytes (4 MiB); a larger one, or a stream that goes on past that, is 1564.
// - Statements nest at most kMaxNesting (100) deep, VELMINCLUDEs counted with them (and
//   includes at most kMaxIncludeDepth deep); a deeper one is 1558 at its command, as a
//   statement stack that cannot grow. The parser's call stack is bounded with it.
// - The parse's work is at most kWorkBase + kWorkPerByte x T + kWorkPerSection x S units
//   (64 Mi + 16 x T + 4 Ki x S, S the document's sections, at most 100,000: room for the
//   built-in template's pass over every section): a unit is one template character read
//   (VELMREP passes read their body again), one byte of command records, path records,
//   texts, entries and statement-stack copies kept, and kExistsWork per question to the
//   document. The memory that the parse keeps is therefore at most about twice that many
//   bytes. Past it the parse stops with 1550 ("too many repetitions"), and the error page
//   marks the outermost VELMREP that was repeating.
// - The replay writes at most kOutputBase + kOutputPerByte x (T + D) bytes of template
//   text and element content (256 MiB + 64 x (T + D), D the source document's size);
//   past it the replay stops and the export answers 9, so a cut output is never a success.
#include <cstdio>

#include "pc_state.h"

namespace pc {

namespace {

Reader& reader(Export& x) { return *x.templates[size_t(x.entries[size_t(x.cur_entry)].tpl)].reader; }
bool recording(Export& x) { return x.entries[size_t(x.cur_entry)].recording; }
void set_recording(Export& x, bool on) { x.entries[size_t(x.cur_entry)].recording = on; }

KVXSTATUS record_text(Export& x, uint32_t start, uint32_t end) {
  if (end <= start) return KVX_OK;
  uint32_t len = end - start;
  if (reader(x).width == 2 && (len & 1)) ++len;
  return record(x, 201, start, len);
}

// Reads the next word of a command; 1537 at the end of the template or for a word that
// is too long.
KVXSTATUS command_word(Reader& r, ScanMode mode, std::string& w) {
  bool too_long = false;
  if (!next_word(r, mode, w, &too_long) || too_long) return kUnknownWord;
  return KVX_OK;
}

KVXSTATUS expect(Reader& r, const char* what, KVXSTATUS fail) {
  std::string w;
  uint32_t at = r.tell();
  bool too_long = false;
  if (!next_word(r, ScanMode::Command, w, &too_long) || too_long) return kUnknownWord;
  if (w != what) {
    reader_seek(r, fail == kNoEquals ? at : r.word_start);
    return fail;
  }
  return KVX_OK;
}

// The optional closer word right after a statement's "}".
KVXSTATUS optional_closer(Reader& r, int closer) {
  uint32_t at = r.tell();
  if (read_char(r) != '{') {
    reader_seek(r, at);
    return KVX_OK;
  }
  std::string w;
  bool too_long = false;
  if (!next_word(r, ScanMode::Command, w, &too_long) || too_long || word_number(w) != closer) {
    reader_seek(r, at);
    return KVX_OK;
  }
  return expect(r, "}", kBadCloser);
}

bool all_digits(const std::string& w) {
  if (w.empty()) return false;
  for (char c : w)
    if (c < '0' || c > '9') return false;
  return true;
}

// A path record with its last index replaced.
PathRec with_last_index(const PathRec& p, int32_t index) {
  PathRec q = p;
  if (!q.items.empty()) q.items.back() = index;
  return q;
}

KVXSTATUS parse_loop(Export& x, int* closer);

// A statement still open at the end of the template: 1575 at its command.
KVXSTATUS open_at_end(Export& x, uint32_t command) {
  reader_seek(reader(x), command);
  return kUnbalanced;
}

struct Saved {
  int open, encl, depth;
};
Saved enter(Export& x, int stmt) {
  Saved s{x.open_stmt, x.encl_stmt, x.depth};
  x.encl_stmt = x.open_stmt;
  x.open_stmt = stmt;
  ++x.depth;
  return s;
}
void leave(Export& x, const Saved& s) {
  x.open_stmt = s.open;
  x.encl_stmt = s.encl;
  x.depth = s.depth;
}

// Attributes of VELMIF and VELMELSEIF up to "}"; *cond the decision.
KVXSTATUS if_condition(Export& x, bool* cond) {
  Reader& r = reader(x);
  int path = -1;
  bool have_value = false, have_cond = false, not_exists = false;
  uint32_t value_type = 0;
  std::string w;
  for (;;) {
    if (KVXSTATUS st = command_word(r, ScanMode::Command, w)) return st;
    if (w == "}") break;
    int n = word_number(w);
    if (n == kWElement) {
      if (KVXSTATUS st = expect(r, "=", kNoEquals)) return st;
      if (KVXSTATUS st = command_word(r, ScanMode::Command, w)) return st;
      if (KVXSTATUS st = parse_path(x, r, w, PathUse::If, &path, nullptr, nullptr)) return st;
    } else if (n == kWValue) {
      if (KVXSTATUS st = expect(r, "=", kNoEquals)) return st;
      if (KVXSTATUS st = command_word(r, ScanMode::Command, w)) return st;
      if (w == "}") {
        reader_seek(r, x.cmd_pos);
        return kValueMissing;
      }
      if (section_type_from_word(lower(w), &value_type) != KVX_OK) {
        reader_seek(r, x.cmd_pos);
        return kUnknownSectionType;
      }
      have_value = true;
    } else if (n == kWCondition) {
      if (KVXSTATUS st = expect(r, "=", kNoEquals)) return st;
      if (KVXSTATUS st = command_word(r, ScanMode::Command, w)) return st;
      std::string v = lower(w);
      if (v != "exists" && v != "notexists") return kBadCondition;
      not_exists = v == "notexists";
      have_cond = true;
    } else {
      if (have_value || have_cond) return kCloserNoBrace;
      if (path >= 0 && x.paths[size_t(path)].ends_in_type) return kTypeWithoutValue;
      return kBadIfAttribute;
    }
  }
  if (path < 0) return kOpenerNoBrace;
  const PathRec p = x.paths[size_t(path)];
  if (p.ends_in_type && !have_value) return kTypeWithoutValue;
  bool exists = p.host || template_element_exists(x, p);
  if (not_exists) {
    *cond = !exists;
  } else {
    *cond = exists;
    if (exists && have_value) {
      uint32_t type = 0;
      if (KVXSTATUS st = section_type_of_path(x, p, &type)) return st;
      *cond = type == value_type;
    }
  }
  return KVX_OK;
}

KVXSTATUS handle_if(Export& x) {
  Saved saved = enter(x, kWIf);
  uint32_t command = x.cmd_pos;
  bool rec0 = recording(x);
  bool cond = false;
  if (KVXSTATUS st = if_condition(x, &cond)) return st;
  bool taken = cond, in_else = false;
  set_recording(x, rec0 && cond);
  for (;;) {
    int closer = 0;
    if (KVXSTATUS st = parse_loop(x, &closer)) return st;
    if (closer == 0) return open_at_end(x, command);
    if (closer == kWIfEnd) break;
    if (in_else) {
      reader_seek(reader(x), x.cmd_pos);
      return kBadIf;
    }
    if (closer == kWElseIf) {
      if (KVXSTATUS st = if_condition(x, &cond)) return st;
      set_recording(x, rec0 && !taken && cond);
      taken = taken || cond;
    } else {  // VELMELSE
      in_else = true;
      set_recording(x, rec0 && !taken);
      taken = true;
    }
  }
  set_recording(x, rec0);
  leave(x, saved);
  return KVX_OK;
}

KVXSTATUS rep_body(Export& x, size_t ci, int path, uint32_t command);

KVXSTATUS handle_rep(Export& x) {
  Saved saved = enter(x, kWRep);
  uint32_t command = x.cmd_pos;
  Reader& r = reader(x);
  std::string w;
  if (KVXSTATUS st = command_word(r, ScanMode::Command, w)) return st;
  if (word_number(w) != kWElement) return kOpenerNoBrace;
  if (KVXSTATUS st = expect(r, "=", kNoEquals)) return st;
  if (KVXSTATUS st = command_word(r, ScanMode::Command, w)) return st;
  int path = -1;
  Context* ctx = nullptr;
  if (KVXSTATUS st = parse_path(x, r, w, PathUse::Rep, &path, nullptr, &ctx)) return st;
  if (ctx == nullptr) return kNoIndexContext;
  size_t ci = size_t(ctx - x.stack.data());
  if (KVXSTATUS st = expect(r, "}", kCloserNoBrace)) return st;
  x.rep_commands.push_back(command);
  KVXSTATUS st = rep_body(x, ci, path, command);
  x.rep_commands.pop_back();
  if (st == KVX_OK) leave(x, saved);
  // The work ran out while repeating: the outermost repetition is what the page marks.
  if (x.work.spent() && x.rep_commands.empty()) {
    reader_seek(r, command);
    return kTooManyRepetitions;
  }
  return st;
}

KVXSTATUS rep_body(Export& x, size_t ci, int path, uint32_t command) {
  Reader& r = reader(x);
  uint32_t body = r.tell();
  int32_t saved_index = x.stack[ci].index;
  const PathRec p = x.paths[size_t(path)];
  bool rec0 = recording(x);
  if (template_element_exists(x, with_last_index(p, 1))) {
    for (int32_t i = 1;; ++i) {
      if (uint32_t(i) > kMaxRepPasses) return kOutOfMemory;
      x.stack[ci].index = i;
      if (!reader_seek(r, body)) return kIoFailed;
      size_t contexts = x.stack.size();
      int closer = 0;
      if (KVXSTATUS st = parse_loop(x, &closer)) return st;
      if (closer != kWRepEnd) return open_at_end(x, command);
      x.stack.resize(contexts);
      if (!template_element_exists(x, with_last_index(p, i + 1))) break;
    }
  } else {
    set_recording(x, false);
    int closer = 0;
    KVXSTATUS st = parse_loop(x, &closer);
    set_recording(x, rec0);
    if (st) return st;
    if (closer != kWRepEnd) return open_at_end(x, command);
  }
  x.stack[ci].index = saved_index;
  return KVX_OK;
}

KVXSTATUS handle_incdec(Export& x, int step, int closer) {
  Reader& r = reader(x);
  std::string w;
  if (KVXSTATUS st = command_word(r, ScanMode::Command, w)) return st;
  if (word_number(w) != kWElement) return kOpenerNoBrace;
  if (KVXSTATUS st = expect(r, "=", kNoEquals)) return st;
  if (KVXSTATUS st = command_word(r, ScanMode::Command, w)) return st;
  int path = -1;
  Context* ctx = nullptr;
  if (KVXSTATUS st = parse_path(x, r, w, PathUse::IncDec, &path, nullptr, &ctx)) return st;
  if (ctx == nullptr) return kBadIncDec;
  ctx->index += step;
  if (KVXSTATUS st = expect(r, "}", kCloserNoBrace)) return st;
  return optional_closer(r, closer);
}

KVXSTATUS number_text(Export& x, const PathRec& p, NumberMode mode, std::string* text) {
  int64_t v = 0;
  if (mode == NumberMode::Count || mode == NumberMode::CountB0) {
    int32_t i = 1;
    while (i <= int32_t(kMaxRepPasses) && template_element_exists(x, with_last_index(p, i))) ++i;
    v = i - 1;
  } else {
    v = p.items.back();
  }
  if (mode == NumberMode::CountB0 || mode == NumberMode::ValueB0) --v;
  *text = std::to_string(v);
  return KVX_OK;
}

KVXSTATUS handle_ins(Export& x) {
  Reader& r = reader(x);
  int path = -1;
  uint32_t flags = 0, width = 0, height = 0, suppress = 0;
  std::string w;
  for (;;) {
    if (KVXSTATUS st = command_word(r, ScanMode::Command, w)) return st;
    if (w == "}") break;
    int n = word_number(w);
    if (n != kWElement && n != kWWidth && n != kWHeight && n != kWSuppress && n != kWDisplay && n != kWOem &&
        n != kWNumber)
      return kBadAttribute;
    if (KVXSTATUS st = expect(r, "=", kNoEquals)) return st;
    if (n == kWElement) {
      if (path >= 0) return kBadAttribute;
      if (KVXSTATUS st = command_word(r, ScanMode::Command, w)) return st;
      if (KVXSTATUS st = parse_path(x, r, w, PathUse::Ins, &path, nullptr, nullptr)) return st;
    } else if (n == kWWidth || n == kWHeight) {
      if (KVXSTATUS st = command_word(r, ScanMode::Value, w)) return st;
      if (!all_digits(w) || w.size() > 9) return kBadAttribute;
      (n == kWWidth ? width : height) = uint32_t(std::stoul(w));
      flags |= n == kWWidth ? 0x10000u : 1u;
    } else if (n == kWSuppress) {
      if (KVXSTATUS st = command_word(r, ScanMode::Value, w)) return st;
      std::string v = lower(w);
      if (v == "tags") suppress |= 0x80000000u;
      else if (v == "bookmarks") suppress |= 0x40000000u;
      else return kBadAttribute;
    } else if (n == kWDisplay) {
      if (KVXSTATUS st = command_word(r, ScanMode::Value, w)) return st;
      if (lower(w) != "image") return kBadAttribute;
    } else if (n == kWOem) {
      if (KVXSTATUS st = command_word(r, ScanMode::ToBrace, w)) return st;
      if (w == "}") {
        w.clear();
        reader_seek(r, r.tell() - r.width);
      }
      if (recording(x)) {
        if (x.texts8.size() == x.texts8.capacity() && !mem_permit()) return kOutOfMemory;
        if (!x.work.charge(sizeof(std::string) + w.size())) return kTooManyRepetitions;
        x.texts8.push_back(w);
        if (KVXSTATUS st = record(x, 208, uint32_t(x.texts8.size() - 1))) return st;
      }
      if (KVXSTATUS st = expect(r, "}", kCloserNoBrace)) return st;
      return optional_closer(r, kWInsEnd);
    } else {  // NUMBER
      if (KVXSTATUS st = command_word(r, ScanMode::Command, w)) return st;
      int np = -1;
      NumberMode mode = NumberMode::None;
      if (KVXSTATUS st = parse_path(x, r, w, PathUse::Number, &np, &mode, nullptr)) return st;
      std::string text;
      if (KVXSTATUS st = number_text(x, x.paths[size_t(np)], mode, &text)) return st;
      if (KVXSTATUS st = expect(r, "}", kInsNoBrace)) return st;
      if (recording(x)) {
        if (x.texts8.size() == x.texts8.capacity() && !mem_permit()) return kOutOfMemory;
        if (!x.work.charge(sizeof(std::string) + text.size())) return kTooManyRepetitions;
        x.texts8.push_back(text);
        if (KVXSTATUS st = record(x, 203, uint32_t(x.texts8.size() - 1))) return st;
      }
      return optional_closer(r, kWInsEnd);
    }
  }
  if (path < 0) return kOpenerNoBrace;
  PathRec& p = x.paths[size_t(path)];
  p.flags = flags;
  p.width = width;
  p.height = height;
  p.suppress = suppress;
  if (recording(x)) {
    if (p.host) {
      if (!x.work.charge(sizeof(std::string) + p.host_text.size())) return kTooManyRepetitions;
      x.texts8.push_back(p.host_text);
      if (KVXSTATUS st = record(x, 210, uint32_t(x.texts8.size() - 1))) return st;
    } else if (template_element_exists(x, x.paths[size_t(path)])) {
      if (KVXSTATUS st = record(x, 202, uint32_t(path))) return st;
    }
  }
  return optional_closer(r, kWInsEnd);
}

KVXSTATUS handle_ignore(Export& x) {
  Reader& r = reader(x);
  if (KVXSTATUS st = expect(r, "}", kCloserNoBrace)) return st;
  uint32_t start = r.tell();
  for (;;) {
    uint32_t c = read_char(r);
    if (c == kEndChar) {
      reader_seek(r, x.cmd_pos);
      return kIgnoreOpen;
    }
    if (c != '{') continue;
    uint32_t brace = r.tell() - r.width;
    std::string w;
    bool too_long = false;
    if (!next_word(r, ScanMode::Command, w, &too_long)) continue;
    if (w == "{") {
      reader_seek(r, r.tell() - r.width);
      continue;
    }
    if (!too_long && lower(w) == "/velmignore") {
      if (KVXSTATUS st = record_text(x, start, brace)) return st;
      return expect(r, "}", kCloserNoBrace);
    }
  }
}

struct LinkAttrs {
  int path = -1;
  std::string tpl;
  bool top = false;
};

KVXSTATUS link_attributes(Export& x, LinkAttrs* a) {
  Reader& r = reader(x);
  std::string w;
  for (;;) {
    if (KVXSTATUS st = command_word(r, ScanMode::Command, w)) return st;
    if (w == "}") break;
    int n = word_number(w);
    if (n == kWElement || n == kWTarget) {
      if (expect(r, "=", kBadLink) != KVX_OK) return kBadLink;
      if (command_word(r, ScanMode::Command, w) != KVX_OK) return kBadLink;
      int path = -1;
      KVXSTATUS st = parse_path(x, r, w, PathUse::Link, &path, nullptr, nullptr);
      if (st == kOutOfMemory) return st;
      if (st != KVX_OK) return kBadLink;
      if (n == kWElement) a->path = path;
    } else if (n == kWTemplate) {
      if (expect(r, "=", kBadLink) != KVX_OK) return kBadLink;
      if (command_word(r, ScanMode::Value, w) != KVX_OK || w == "}" || w.empty()) return kBadLink;
      a->tpl = w;
    } else if (n == kWTop) {
      uint32_t after = r.tell();
      std::string eq;
      if (next_word(r, ScanMode::Command, eq) && eq == "=") {
        if (command_word(r, ScanMode::Value, w) != KVX_OK) return kBadLink;
        std::string v = lower(w);
        a->top = v == "true" || v == "yes" || v == "1";
      } else {
        reader_seek(r, after);
        a->top = true;
      }
    } else {
      reader_seek(r, r.word_start);
      return kBadLinkAttribute;
    }
  }
  if (a->path < 0 && a->tpl.empty()) return kLinkWithoutTarget;
  return KVX_OK;
}

// Makes a new entry over template tpl writing into out, parses the template into it and
// comes back to the current template where it was.
KVXSTATUS parse_into_new_entry(Export& x, int tpl, KVXIO* out, bool own_out, const std::u16string& name,
                               uint32_t element, const std::vector<int32_t>& key, int* made) {
  if (x.include_depth >= kMaxIncludeDepth || x.templates[size_t(tpl)].parsing) return kNoTemplate;
  int idx = -1;
  if (KVXSTATUS st = register_file(x, out, name, x.cur_entry, element, &idx)) return st;
  Entry& e = x.entries[size_t(idx)];
  e.tpl = tpl;
  e.own_out = own_out;
  e.element_key = key;
  *made = idx;
  Reader& back = reader(x);
  uint32_t remembered = back.tell();
  int saved_entry = x.cur_entry;
  Saved saved{x.open_stmt, x.encl_stmt, x.depth};
  x.cur_entry = idx;
  x.open_stmt = x.encl_stmt = 0;
  x.depth = 0;
  std::vector<uint32_t> outer_reps;
  outer_reps.swap(x.rep_commands);  // the other template's repetitions are not this one's
  ++x.include_depth;
  Reader& r = *x.templates[size_t(tpl)].reader;
  if (!reader_seek(r, r.width == 2 ? 2 : 0)) return kIoFailed;
  x.entries[size_t(idx)].text_start = r.tell();
  KVXSTATUS st = parse_template(x);
  x.rep_commands.swap(outer_reps);
  --x.include_depth;
  x.cur_entry = saved_entry;
  leave(x, saved);
  if (st) return st;
  if (!reader_seek(back, remembered)) return kIoFailed;
  return KVX_OK;
}

// VELMINCLUDE at once, or a VELMLINK from the deferred pass (*text the link text).
KVXSTATUS process_link(Export& x, bool include, std::u16string* text, uint32_t* element) {
  LinkAttrs a;
  if (KVXSTATUS st = link_attributes(x, &a)) return st;
  int cur_tpl = x.entries[size_t(x.cur_entry)].tpl;
  auto open_tpl = [&](int* tpl) -> KVXSTATUS {
    if (a.tpl.empty()) {
      *tpl = cur_tpl;
      return x.templates[size_t(cur_tpl)].parsing ? kNoTemplate : KVX_OK;
    }
    return open_named_template(x, a.tpl, cur_tpl, tpl);
  };
  if (include) {
    if (!recording(x)) return KVX_OK;
    int tpl = -1;
    if (KVXSTATUS st = open_tpl(&tpl)) return st;
    if (KVXSTATUS st = record(x, 205, uint32_t(x.entries.size()))) return st;
    Entry& cur = x.entries[size_t(x.cur_entry)];
    int made = -1;
    return parse_into_new_entry(x, tpl, cur.out, false, cur.name, cur.element_id, {}, &made);
  }
  // A copy: the nested parse below may grow the path records.
  const PathRec path_copy = a.path >= 0 ? x.paths[size_t(a.path)] : PathRec{};
  const PathRec* p = a.path >= 0 ? &path_copy : nullptr;
  std::vector<int32_t> key = p ? p->items : std::vector<int32_t>{};
  int found = -1;
  std::string tpl_name = a.tpl.empty() ? x.templates[size_t(cur_tpl)].name : a.tpl;
  for (size_t i = 0; i < x.entries.size() && found < 0; ++i) {
    const Entry& e = x.entries[i];
    if (p == nullptr) {
      if (e.own_out && e.element_key.empty() && e.tpl >= 0 &&
          lower(x.templates[size_t(e.tpl)].name) == lower(tpl_name) && !x.templates[size_t(e.tpl)].builtin)
        found = int(i);
    } else if (!e.element_key.empty() && e.element_key == key) {
      found = int(i);
    }
  }
  std::u16string name;
  *element = p ? element_id(x, *p) : 0xFFFFFFFFu;
  if (found >= 0) {
    if (x.entries[size_t(found)].out != x.entries[size_t(x.cur_entry)].out) name = x.entries[size_t(found)].name;
  } else {
    if (p != nullptr && !template_element_exists(x, *p)) return KVX_OK;
    int tpl = -1;
    if (KVXSTATUS st = open_tpl(&tpl)) return st;
    KVXIO* out = nullptr;
    KVXSTATUS st = open_new_file(x, x.root_out, 513, KVXEXPORT_HTML, x.root_spec_type, nullptr, &out, &name);
    // The linked file cannot be made: 1553 (memory running out keeps its own status).
    if (st == KVXERR_NOMEMORY || st == kOutOfMemory) return st;
    if (st != KVX_OK || out == nullptr) return kIoFailed;
    int made = -1;
    if (KVXSTATUS s2 = parse_into_new_entry(x, tpl, out, true, name, *element, p ? key : std::vector<int32_t>{}, &made)) {
      if (made < 0) out->Close(out);
      return s2;
    }
  }
  *text = name;
  if (p != nullptr && !a.top) {
    std::u16string en = element_name(x, *p);
    if (!en.empty()) *text += u"#" + en;
  }
  return KVX_OK;
}

KVXSTATUS handle_link_command(Export& x) {
  Reader& r = reader(x);
  uint32_t copy = 0;
  if (recording(x)) {
    if (!mem_permit()) return kOutOfMemory;
    if (!x.work.charge(sizeof(x.stack) + x.stack.size() * (sizeof(Context) + 16))) return kTooManyRepetitions;
    x.stack_copies.push_back(x.stack);
    copy = uint32_t(x.stack_copies.size() - 1);
  }
  LinkAttrs a;
  if (KVXSTATUS st = link_attributes(x, &a)) return st;
  if (recording(x))
    if (record(x, 207, a.path < 0 ? 0xFFFFFFFFu : uint32_t(a.path), x.cmd_pos, copy) != KVX_OK) return kBadLink;
  return optional_closer(r, kWLinkEnd);
}

KVXSTATUS handle_include(Export& x) {
  std::u16string text;
  uint32_t element = 0;
  if (KVXSTATUS st = process_link(x, true, &text, &element)) return st;
  return optional_closer(reader(x), kWIncludeEnd);
}

// The deferred VELMLINKs of the current entry: each 207 record becomes the 209 record of
// its link text (or 206 when the link makes nothing).
KVXSTATUS deferred_links(Export& x) {
  Reader& r = reader(x);
  uint32_t end = r.tell();
  std::vector<Context> stack = x.stack;
  for (size_t i = 0; i < x.entries[size_t(x.cur_entry)].list.size(); ++i) {
    Record rec = x.entries[size_t(x.cur_entry)].list[i];
    if (rec.code != 207) continue;
    if (!reader_seek(r, rec.b)) return kIoFailed;
    x.cmd_pos = rec.b;
    std::string w;
    if (command_word(r, ScanMode::Command, w) || command_word(r, ScanMode::Command, w)) return kBadLink;
    x.stack = x.stack_copies[rec.c];
    x.in_deferred_link = true;
    std::u16string text;
    uint32_t element = 0;
    KVXSTATUS st = process_link(x, false, &text, &element);
    x.in_deferred_link = false;
    if (st) return st;
    Record& out = x.entries[size_t(x.cur_entry)].list[i];
    if (text.empty()) {
      out = Record{206, 0, 0, 0, 0};
    } else {
      if (!mem_permit()) return kOutOfMemory;
      if (!x.work.charge(sizeof(std::u16string) + 2 * text.size())) return kTooManyRepetitions;
      x.texts16.push_back(text);
      out = Record{209, uint32_t(x.texts16.size() - 1), 0, 0, element};
    }
  }
  x.stack = std::move(stack);
  return reader_seek(r, end) ? KVX_OK : kIoFailed;
}

KVXSTATUS dispatch_statement(Export& x, int n) {
  switch (n) {
    case kWIf: return handle_if(x);
    case kWRep: return handle_rep(x);
    case kWInc: return handle_incdec(x, 1, kWIncEnd);
    case kWDec: return handle_incdec(x, -1, kWDecEnd);
    case kWIns: return handle_ins(x);
    case kWIgnore: return handle_ignore(x);
    case kWInclude: return handle_include(x);
    case kWLink: return handle_link_command(x);
    default: return kUnknownWord;
  }
}

// A statement inside kMaxNesting others is refused at its command (1558); the parser
// calls itself once per level, so its stack stays bounded.
KVXSTATUS handle_statement(Export& x, int n) {
  if (x.nesting >= kMaxNesting) {
    reader_seek(reader(x), x.cmd_pos);
    return kOutOfMemory;
  }
  ++x.nesting;
  KVXSTATUS st = dispatch_statement(x, n);
  --x.nesting;
  return st;
}

bool is_opener(int n) {
  return n == kWLink || n == kWIf || n == kWInc || n == kWInclude || n == kWDec || n == kWIns || n == kWRep ||
         n == kWIgnore;
}

KVXSTATUS parse_loop(Export& x, int* closer) {
  Reader& r = reader(x);
  *closer = 0;
  uint32_t text_start = r.tell();
  for (;;) {
    uint32_t c = read_char(r);
    if (c == kEndChar) return record_text(x, text_start, r.tell());
    if (c != '{') continue;
    uint32_t brace = r.tell() - r.width;
    uint32_t after = r.tell();
    std::string w;
    bool too_long = false;
    if (!next_word(r, ScanMode::Command, w, &too_long)) continue;
    if (too_long) {  // a long word (inline styles, scripts) is text
      reader_seek(r, after);
      continue;
    }
    if (w == "{") {
      reader_seek(r, r.tell() - r.width);
      continue;
    }
    int n = word_number(w);
    if (is_opener(n)) {
      if (KVXSTATUS st = record_text(x, text_start, brace)) return st;
      x.cmd_pos = brace;
      if (KVXSTATUS st = handle_statement(x, n)) return st;
      text_start = r.tell();
      continue;
    }
    if (n == kWIfEnd || n == kWRepEnd || n == kWIgnoreEnd || n == kWElse || n == kWElseIf) {
      // A /VELMREP that would close a repetition while a statement inside it is still open
      // leaves the repetition's nesting unbalanced: 1566 at the VELMREP.
      if (n == kWRepEnd && x.open_stmt != kWRep && !x.rep_commands.empty()) {
        reader_seek(r, x.rep_commands.back());
        return kRepUnbalanced;
      }
      if ((n == kWIfEnd && x.open_stmt != kWIf) || (n == kWRepEnd && x.open_stmt != kWRep) || n == kWIgnoreEnd)
        return kUnbalanced;
      if (n == kWElse && x.open_stmt != kWIf) return kElseOutsideIf;
      if (n == kWElseIf && x.open_stmt != kWIf) return kElseIfOutsideIf;
      if (KVXSTATUS st = record_text(x, text_start, brace)) return st;
      x.cmd_pos = brace;
      if (n != kWElseIf)
        if (KVXSTATUS st = expect(r, "}", kCloserNoBrace)) return st;
      *closer = n;
      return KVX_OK;
    }
    if (starts_with_prefix(lower(w))) {
      reader_seek(r, brace);
      return kUnknownKeyword;
    }
  }
}

}  // namespace

KVXSTATUS parse_template(Export& x) {
  int tpl = x.entries[size_t(x.cur_entry)].tpl;
  x.templates[size_t(tpl)].parsing = true;
  int closer = 0;
  KVXSTATUS st = parse_loop(x, &closer);
  if (st == KVX_OK && closer != 0) st = kUnbalanced;
  if (st == KVX_OK) st = deferred_links(x);
  if (st == KVX_OK) st = record(x, 204, x.entries[size_t(x.cur_entry)].open_value);
  // A cut template or spent work ended the text early: whatever the parse made of the
  // early end, that is the error.
  if (x.templates[size_t(tpl)].reader->too_large) st = kNoTemplate;
  else if (x.work.spent()) st = kTooManyRepetitions;
  // The first error is marked where it happened; spent work is marked in the outermost
  // template (each level overwrites it on the way out), at its outermost repetition.
  if (st != KVX_OK && (x.err_tpl < 0 || st == kTooManyRepetitions)) {
    x.err_tpl = tpl;
    const Reader& r = *x.templates[size_t(tpl)].reader;
    x.err_pos = r.tell() == r.word_end ? r.word_start : r.tell();
  }
  x.templates[size_t(tpl)].parsing = false;
  return st;
}

}  // namespace pc
