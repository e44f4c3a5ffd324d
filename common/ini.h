// The configuration file engine: files of [sections] and key=value lines (vesprin.ini and
// any other file of that form). A file is read whole into an in-memory tree, looked up,
// changed and written back. Both the search engine and the desktop application use it;
// common/config.cpp (the loader), common/dbid.cpp (the database id set) and
// common/dbini.cpp (the database entry writers) build on it. Reading goes through
// common/files.h (text mode: CR LF as LF, a byte 0x1A ends the file); saving replaces the
// file safely through platform/atomic_file.h.
//
// Syntax as read: lines end at CR or LF; blanks and tabs around every line, name and value
// are trimmed; "[name]" opens a section (an empty name is ignored); "name=value" adds a key
// to the current section (split at the first "="; an empty name or a line before the first
// section is ignored). Duplicate sections and keys stay separate; every operation takes the
// first match in file order unless said otherwise. Names compare case-blind (ASCII only).
//
// The library works on one file at a time: the flat ini_ functions act on one process-wide
// IniTree, which tests reset with ini_free().
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qm {

struct IniKey {
  std::string name;
  std::string value;  // may be empty
};

struct IniSection {
  std::string name;
  std::vector<IniKey> keys;
};

class IniTree {
 public:
  // Reads the whole file; false when it cannot be read or nothing is read (the tree is
  // then empty and the file name unset). An existing tree is freed first. When the name
  // does not exist, a file whose name equals it case-blind in the same directory is taken
  // (folders copied from the old system), and the file name becomes that file's path.
  bool load(const std::string& file_name);
  // Parses text (as read in text mode) into the tree, replacing it; the file name is kept.
  void parse(std::string_view text);
  // Writes the tree to the file name: "\n[name]\n" per section, "name=value\n" per key with
  // a non-empty name and value. A name or value is written up to its first CR, LF or 0x1A
  // byte, so no value can break the file into other lines. false when the name is empty or
  // the file cannot be replaced (the old file and the tree stay as they were).
  bool save() const;
  // The bytes save() writes.
  std::string serialize() const;
  void free();  // empty tree, no file name, cursor reset

  void set_file(const std::string& file_name) { file_name_ = file_name; }
  const std::string& file_name() const { return file_name_; }
  const std::vector<IniSection>& sections() const { return sections_; }
  bool empty() const { return sections_.empty(); }

  // The value of the first matching key among all sections of that name.
  std::optional<std::string> get(std::string_view section, std::string_view key) const;
  // Replaces the first matching key of the first matching section, or appends the key to
  // that section, or appends a new section holding it.
  void set(std::string_view section, std::string_view key, std::string_view value);
  bool delete_section(std::string_view section);
  bool delete_key(std::string_view section, std::string_view key);
  bool has_section(std::string_view section) const;
  bool rename_section(std::string_view section, std::string_view new_name);
  // Renames the first matching key in the first section of that name that holds it.
  bool rename_key(std::string_view section, std::string_view key, std::string_view new_name);

  // Enumeration: a section name starts at its first key, nullopt moves to the next key.
  // true with the key's name (and value when asked) while there is a key.
  bool enumerate(std::optional<std::string_view> section, std::string& key,
                 std::string* value = nullptr);

 private:
  IniSection* find_section(std::string_view section);
  const IniSection* find_section(std::string_view section) const;
  // Positions of the sections of that name in file order, through an index of folded
  // names built on first use in a large tree (vesprin.ini with hundreds of databases);
  // nullptr for a small tree, which is scanned.
  const std::vector<size_t>* indexed(std::string_view section) const;
  void drop_index() const { index_valid_ = false; }

  std::vector<IniSection> sections_;
  std::string file_name_;
  // Cursor of enumerate(): section and key index, or none.
  bool cursor_valid_ = false;
  size_t cursor_section_ = 0;
  size_t cursor_key_ = 0;
  mutable std::unordered_map<std::string, std::vector<size_t>> index_;
  mutable bool index_valid_ = false;
};

// The process-wide tree behind the flat functions.
IniTree& ini_tree();

// ---- Flat operations over the process-wide tree -------------------------------------
void ini_set_file(const std::string& file_name);
const std::string& ini_file_name();
// The sections of the tree in file order (empty when no tree is loaded).
const std::vector<IniSection>& ini_get_root();
bool ini_load(const std::string& file_name);
void ini_free();
bool ini_save();
std::optional<std::string> ini_get(std::string_view section, std::string_view key);
bool ini_set(std::string_view section, std::string_view key, std::string_view value);
bool ini_delete_section(std::string_view section);
bool ini_delete_key(std::string_view section, std::string_view key);
// Loads the file, copies the value (or the default when given) into out, frees the tree.
// true only when the key was found; out untouched when neither value nor default exists.
bool ini_read_value(std::string_view section, std::string_view key, std::string& out,
                    std::optional<std::string_view> default_text, const std::string& file_name);
// Loads the file (or starts an empty tree named after it), sets the value, saves, frees;
// true when saved.
bool ini_write_value(std::string_view section, std::string_view key, std::string_view value,
                     const std::string& file_name);
bool ini_enum(std::optional<std::string_view> section, std::string& key,
              std::string* value = nullptr);
bool ini_has_section(std::string_view section);
bool ini_rename_section(std::string_view section, std::string_view new_name);
bool ini_rename_key(std::string_view section, std::string_view key, std::string_view new_name);

}  // namespace qm
