// The database entry writers; see dbini.h.
#include "common/dbini.h"

#include "common/config.h"
#include "common/dbid.h"
#include "common/files.h"
#include "common/ini.h"
#include "common/strings.h"

namespace qm {
namespace {

constexpr int kMaxStopPaths = 100;

std::string& ini_path() {
  static std::string path;
  return path;
}

// Records a failed write in the configuration, for the caller to show or end with.
void writer_failure(Config& config, const char* message) { config.set_error(message); }

// The leading decimal number of an id text (0 when it has none or is out of range).
uint16_t id_value(std::string_view id) {
  size_t i = 0;
  while (i < id.size() && id[i] == ' ') ++i;
  long v = 0;
  bool digits = false;
  while (i < id.size() && id[i] >= '0' && id[i] <= '9') {
    digits = true;
    v = v * 10 + (id[i++] - '0');
    if (v > 65535) return 0;
  }
  return digits ? static_cast<uint16_t>(v) : 0;
}

std::string db_section(std::string_view id) { return "DB-" + std::string(id); }

bool write_index_value(std::string_view id, const char* value) {
  IniTree tree;
  if (!tree.load(ini_path())) tree.set_file(ini_path());
  tree.set("INDEX", id, value);
  return tree.save();
}

// Sets the keys of a new entry in DB-<id>: the folders, address and name, then the file
// types (an "http:/" HtmlDir takes DefaultHTML and RemoteFileType, any other
// LocalFileType; the desktop writes DefaultHTML when given and no file types).
void set_entry_keys(IniTree& tree, std::string_view id, std::string_view html_dir,
                    std::string_view work_dir, std::string_view home_url,
                    std::string_view description, std::string_view default_html) {
  const std::string section = db_section(id);
  tree.set(section, "HtmlDir", html_dir);
  tree.set(section, "WorkDir", work_dir);
  tree.set(section, "HomeUrl", home_url);
  tree.set(section, "Description", description);
  if (common_desktop_profile()) {
    if (!default_html.empty()) tree.set(section, "DefaultHTML", default_html);
  } else if (string_nicmp(html_dir, "http:/", 6) == 0) {
    tree.set(section, "DefaultHTML", default_html);
    tree.set(section, "RemoteFileType", "txt,asp,cgi,dll,exe,pl");
  } else {
    tree.set(section, "LocalFileType", "htm,html,txt");
  }
}

}  // namespace

void dbini_set_ini_path(const std::string& path) { ini_path() = path; }
const std::string& dbini_ini_path() { return ini_path(); }

int dbini_next_id(Config& config, std::string_view html_dir, std::string_view work_dir, std::string_view home_url,
                  std::string_view description, std::string_view default_html) {
  IniTree tree;
  // Without the file no free id is known.
  if (!tree.load(ini_path())) return 0;
  int id = 0;
  for (int candidate = 1; candidate <= 1000; ++candidate) {
    if (!tree.get("INDEX", std::to_string(candidate))) {
      id = candidate;
      break;
    }
  }
  if (id == 0) return 0;
  // The id and its entry are saved together, so a failed save never leaves an id in
  // INDEX without its section.
  const std::string text = std::to_string(id);
  tree.set("INDEX", text, "1");
  set_entry_keys(tree, text, html_dir, work_dir, home_url, description, default_html);
  if (!tree.save()) return 0;
  tree.free();
  config.reload(ini_path());
  return id;
}

int dbini_write_entry(Config& config, std::string_view id, std::string_view html_dir, std::string_view work_dir,
                      std::string_view home_url, std::string_view description,
                      std::string_view default_html) {
  IniTree tree;
  if (!tree.load(ini_path())) tree.set_file(ini_path());
  set_entry_keys(tree, id, html_dir, work_dir, home_url, description, default_html);
  bool saved = tree.save();
  tree.free();
  config.reload(ini_path());
  return saved ? 1 : 0;
}

int dbini_remove_entry(Config& config, std::string_view id) {
  IniTree tree;
  if (!tree.load(ini_path()) && !tree.load(ini_path())) return 0;
  tree.delete_section(db_section(id));
  tree.delete_section("StopPath-" + std::string(id));
  bool existed = tree.delete_key("INDEX", id);
  if (!tree.save()) {
    writer_failure(config, "Fail to restore the INI file !");
    return 0;
  }
  tree.free();
  config.reload(ini_path());
  return existed ? 1 : 0;
}

int dbini_set_active(Config& config, std::string_view id) {
  bool saved = write_index_value(id, "1");
  config.reload(ini_path());
  return saved ? 1 : 0;
}

int dbini_set_inactive(Config& config, std::string_view id) {
  bool saved = write_index_value(id, "0");
  config.reload(ini_path());
  return saved ? 1 : 0;
}

int dbini_write_key(Config& config, std::string_view id, std::string_view key, std::string_view value) {
  if (!config.ids().contains(id_value(id))) return 0;
  IniTree tree;
  if (!tree.load(ini_path())) tree.set_file(ini_path());
  tree.set(db_section(id), key, value);
  if (!tree.save()) {
    writer_failure(config, "Fail to write INI file");
    return 0;
  }
  return 1;
}

int dbini_stoppath_get(const Config& config, uint16_t id, int n, std::string& out) {
  const DatabaseTable& table = config.table;
  int slot = table.slot_of(id);
  if (slot < 0 || n < 1 || static_cast<size_t>(slot) >= table.StopPathLists.size()) return 0;
  int i = 1;
  for (const std::string& path : table.StopPathLists[static_cast<size_t>(slot)]) {
    if (i++ == n) {
      out = path;
      return 1;
    }
  }
  return 0;
}

int dbini_stoppath_edit(Config& config, uint16_t id, int index, std::string_view text, int mode) {
  if (config.table.slot_of(id) < 0 || index < 0 || mode < 0 || mode > 2) return 0;
  IniTree tree;
  if (!tree.load(ini_path())) {
    writer_failure(config, "Fail to read the INI file!");
    return 0;
  }
  const std::string section = "StopPath-" + std::to_string(id);
  auto key = [](int n) { return std::to_string(n); };
  bool changed = false;
  if (mode == 0) {
    int count = 0;
    while (count < kMaxStopPaths && tree.get(section, key(count + 1))) ++count;
    if (count >= kMaxStopPaths) return 0;  // the list is full; nothing written
    tree.set(section, key(count + 1), text);
    changed = true;
  } else if (mode == 1) {
    tree.set(section, key(index + 1), text);
    changed = true;
  } else {
    // Numbers the entries after index + 1 down by one, as the file holds them now, and
    // removes the last key.
    int last = index + 1;
    while (tree.get(section, key(last)) && tree.get(section, key(last + 1))) {
      auto next = tree.get(section, key(last + 1));
      tree.set(section, key(last), *next);
      ++last;
    }
    changed = tree.delete_key(section, key(last));
  }
  if (!tree.save()) {
    writer_failure(config, "Fail to restore the INI file !");
    return 0;
  }
  tree.free();
  if (changed) dbini_load_lists(config);
  return changed ? 1 : 0;
}

int dbini_stoppath_add(Config& config, uint16_t id, std::string_view text) { return dbini_stoppath_edit(config, id, 0, text, 0); }
int dbini_stoppath_set(Config& config, uint16_t id, int index, std::string_view text) {
  return dbini_stoppath_edit(config, id, index, text, 1);
}
int dbini_stoppath_delete(Config& config, uint16_t id, int index) { return dbini_stoppath_edit(config, id, index, {}, 2); }

void dbini_load_lists(Config& config) {
  dbini_free_lists(config);
  IniTree tree;
  if (!tree.load(ini_path())) return;
  config.load_lists(tree);
}

void dbini_free_lists(Config& config) { config.free_lists(); }

}  // namespace qm
