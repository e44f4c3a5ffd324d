// The configuration file engine; see ini.h.
#include "common/ini.h"

#include "common/files.h"
#include "common/strings.h"
#include "platform/atomic_file.h"
#include "platform/paths.h"

namespace qm {
namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view trim_view(std::string_view s) {
  size_t b = s.find_first_not_of(kBlanks);
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(kBlanks);
  return s.substr(b, e - b + 1);
}

bool same_name(std::string_view a, std::string_view b) { return string_icmp(a, b) == 0; }

// A name as the section index keys it: ASCII letters lowered outside Big5 pairs, so
// names equal case-blind (same_name) fold to the same text.
std::string folded(std::string_view name) {
  std::string out(name);
  string_lower_big5(out);
  return out;
}

// Trees with fewer sections are scanned; larger ones get an index.
constexpr size_t kIndexFrom = 32;

// The part of a name or value that fits on one line of the file.
std::string_view one_line(std::string_view s) {
  size_t end = s.find_first_of(std::string_view("\r\n\x1a", 3));
  return end == std::string_view::npos ? s : s.substr(0, end);
}

// The "]" that closes a "[name" line, found Big5-aware: 0x5D is also a Big5 trail byte,
// and a name holding such a character is not cut inside it.
size_t section_close(std::string_view line) {
  for (size_t i = 1; i < line.size(); i += big5_char_len(line, i))
    if (line[i] == ']') return i;
  return std::string_view::npos;
}

}  // namespace

// ---- IniTree ------------------------------------------------------------------------

const std::vector<size_t>* IniTree::indexed(std::string_view section) const {
  if (sections_.size() < kIndexFrom) return nullptr;
  if (!index_valid_) {
    index_.clear();
    for (size_t i = 0; i < sections_.size(); ++i) index_[folded(sections_[i].name)].push_back(i);
    index_valid_ = true;
  }
  static const std::vector<size_t> none;
  auto it = index_.find(folded(section));
  return it == index_.end() ? &none : &it->second;
}

void IniTree::free() {
  drop_index();
  sections_.clear();
  file_name_.clear();
  cursor_valid_ = false;
}

void IniTree::parse(std::string_view text) {
  drop_index();
  sections_.clear();
  cursor_valid_ = false;
  // The first line also ends at a 0x1A byte; file_read_all already ends the text there.
  size_t eof = text.find('\x1a');
  if (eof != std::string_view::npos) text = text.substr(0, eof);
  IniSection* current = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = trim_view(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    size_t close = line.front() == '[' ? section_close(line) : std::string_view::npos;
    if (close != std::string_view::npos) {
      std::string_view name = trim_view(line.substr(1, close - 1));
      if (!name.empty()) {
        sections_.push_back(IniSection{std::string(name), {}});
        current = &sections_.back();
      }
      continue;
    }
    size_t eq = line.find('=');
    if (current == nullptr || eq == std::string_view::npos) continue;
    std::string_view name = trim_view(line.substr(0, eq));
    if (name.empty()) continue;
    current->keys.push_back(IniKey{std::string(name), std::string(trim_view(line.substr(eq + 1)))});
  }
}

bool IniTree::load(const std::string& file_name) {
  free();
  std::string path = file_name;
  std::string text;
  bool read = file_read_all(path, text);
  if (!read) {
    // Folders copied from the old system may spell the name in other cases.
    size_t slash = file_name.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : file_name.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? file_name : file_name.substr(slash + 1);
    std::string found = path_find_case_blind(dir, base);
    if (found != file_name) {
      path = found;
      read = file_read_all(path, text);
    }
  }
  if (!read || text.empty()) return false;
  file_name_ = path;
  parse(text);
  return true;
}

std::string IniTree::serialize() const {
  std::string out;
  for (const IniSection& s : sections_) {
    std::string_view name = one_line(s.name);
    out += "\n[";
    out += name;
    // A name ending in a lead byte that starts no pair would take the "]" for its trail
    // byte when read back; a blank keeps them apart and is trimmed on reading.
    size_t last = 0;
    while (last < name.size() && last + big5_char_len(name, last) < name.size())
      last += big5_char_len(name, last);
    if (!name.empty() && big5_is_lead(static_cast<unsigned char>(name[last])) && big5_char_len(name, last) == 1)
      out += ' ';
    out += "]\n";
    for (const IniKey& k : s.keys) {
      std::string_view name = one_line(k.name);
      std::string_view value = one_line(k.value);
      if (name.empty() || value.empty()) continue;
      out += name;
      out += '=';
      out += value;
      out += '\n';
    }
  }
  return out;
}

bool IniTree::save() const {
  if (file_name_.empty()) return false;
  return atomic_replace(file_name_, serialize());
}

IniSection* IniTree::find_section(std::string_view section) {
  if (const std::vector<size_t>* at = indexed(section))
    return at->empty() ? nullptr : &sections_[at->front()];
  for (IniSection& s : sections_)
    if (same_name(s.name, section)) return &s;
  return nullptr;
}

const IniSection* IniTree::find_section(std::string_view section) const {
  if (const std::vector<size_t>* at = indexed(section))
    return at->empty() ? nullptr : &sections_[at->front()];
  for (const IniSection& s : sections_)
    if (same_name(s.name, section)) return &s;
  return nullptr;
}

std::optional<std::string> IniTree::get(std::string_view section, std::string_view key) const {
  if (const std::vector<size_t>* at = indexed(section)) {
    for (size_t i : *at)
      for (const IniKey& k : sections_[i].keys)
        if (same_name(k.name, key)) return k.value;
    return std::nullopt;
  }
  for (const IniSection& s : sections_) {
    if (!same_name(s.name, section)) continue;
    for (const IniKey& k : s.keys)
      if (same_name(k.name, key)) return k.value;
  }
  return std::nullopt;
}

void IniTree::set(std::string_view section, std::string_view key, std::string_view value) {
  IniSection* s = find_section(section);
  if (s == nullptr) {
    sections_.push_back(IniSection{std::string(section), {}});
    s = &sections_.back();
    if (index_valid_) index_[folded(section)].push_back(sections_.size() - 1);
  }
  for (IniKey& k : s->keys) {
    if (same_name(k.name, key)) {
      k.value.assign(value);
      return;
    }
  }
  s->keys.push_back(IniKey{std::string(key), std::string(value)});
}

// Removals keep an enumeration going over the keys that remain; removing the key or
// section the cursor stands on ends it.
bool IniTree::delete_section(std::string_view section) {
  for (size_t i = 0; i < sections_.size(); ++i) {
    if (!same_name(sections_[i].name, section)) continue;
    sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(i));
    drop_index();
    if (cursor_valid_ && i == cursor_section_) cursor_valid_ = false;
    if (cursor_valid_ && i < cursor_section_) --cursor_section_;
    return true;
  }
  return false;
}

bool IniTree::delete_key(std::string_view section, std::string_view key) {
  for (size_t i = 0; i < sections_.size(); ++i) {
    if (!same_name(sections_[i].name, section)) continue;
    std::vector<IniKey>& keys = sections_[i].keys;
    for (size_t k = 0; k < keys.size(); ++k) {
      if (!same_name(keys[k].name, key)) continue;
      keys.erase(keys.begin() + static_cast<std::ptrdiff_t>(k));
      if (cursor_valid_ && i == cursor_section_ && k == cursor_key_) cursor_valid_ = false;
      if (cursor_valid_ && i == cursor_section_ && k < cursor_key_) --cursor_key_;
      return true;
    }
    return false;  // only the first section of that name
  }
  return false;
}

bool IniTree::has_section(std::string_view section) const { return find_section(section) != nullptr; }

bool IniTree::rename_section(std::string_view section, std::string_view new_name) {
  IniSection* s = find_section(section);
  if (s == nullptr) return false;
  s->name.assign(new_name);
  drop_index();
  return true;
}

bool IniTree::rename_key(std::string_view section, std::string_view key, std::string_view new_name) {
  for (IniSection& s : sections_) {
    if (!same_name(s.name, section)) continue;
    for (IniKey& k : s.keys) {
      if (same_name(k.name, key)) {
        k.name.assign(new_name);
        return true;
      }
    }
  }
  return false;
}

bool IniTree::enumerate(std::optional<std::string_view> section, std::string& key, std::string* value) {
  if (sections_.empty()) {
    cursor_valid_ = false;
    return false;
  }
  if (section) {
    cursor_valid_ = false;
    for (size_t i = 0; i < sections_.size(); ++i) {
      if (same_name(sections_[i].name, *section)) {
        cursor_valid_ = !sections_[i].keys.empty();
        cursor_section_ = i;
        cursor_key_ = 0;
        break;
      }
    }
  } else if (cursor_valid_) {
    ++cursor_key_;
  }
  if (!cursor_valid_ || cursor_section_ >= sections_.size() ||
      cursor_key_ >= sections_[cursor_section_].keys.size()) {
    cursor_valid_ = false;
    return false;
  }
  const IniKey& k = sections_[cursor_section_].keys[cursor_key_];
  key = k.name;
  if (value != nullptr) *value = k.value;
  return true;
}

// ---- Flat operations ----------------------------------------------------------------

IniTree& ini_tree() {
  static IniTree tree;
  return tree;
}

void ini_set_file(const std::string& file_name) { ini_tree().set_file(file_name); }
const std::string& ini_file_name() { return ini_tree().file_name(); }
const std::vector<IniSection>& ini_get_root() { return ini_tree().sections(); }
bool ini_load(const std::string& file_name) { return ini_tree().load(file_name); }
void ini_free() { ini_tree().free(); }
bool ini_save() { return ini_tree().save(); }

std::optional<std::string> ini_get(std::string_view section, std::string_view key) {
  return ini_tree().get(section, key);
}

bool ini_set(std::string_view section, std::string_view key, std::string_view value) {
  ini_tree().set(section, key, value);
  return true;
}

bool ini_delete_section(std::string_view section) { return ini_tree().delete_section(section); }
bool ini_delete_key(std::string_view section, std::string_view key) {
  return ini_tree().delete_key(section, key);
}

bool ini_read_value(std::string_view section, std::string_view key, std::string& out,
                    std::optional<std::string_view> default_text, const std::string& file_name) {
  if (!ini_load(file_name)) {
    if (default_text) out.assign(*default_text);
    return false;
  }
  std::optional<std::string> value = ini_get(section, key);
  ini_free();
  if (value) {
    out = std::move(*value);
    return true;
  }
  if (default_text) out.assign(*default_text);
  return false;
}

bool ini_write_value(std::string_view section, std::string_view key, std::string_view value,
                     const std::string& file_name) {
  if (!ini_load(file_name)) ini_set_file(file_name);
  ini_set(section, key, value);
  bool saved = ini_save();
  ini_free();
  return saved;
}

bool ini_enum(std::optional<std::string_view> section, std::string& key, std::string* value) {
  return ini_tree().enumerate(section, key, value);
}

bool ini_has_section(std::string_view section) { return ini_tree().has_section(section); }
bool ini_rename_section(std::string_view section, std::string_view new_name) {
  return ini_tree().rename_section(section, new_name);
}
bool ini_rename_key(std::string_view section, std::string_view key, std::string_view new_name) {
  return ini_tree().rename_key(section, key, new_name);
}

}  // namespace qm
