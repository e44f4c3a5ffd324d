// The database entry writers: change the database sections of the configuration file at
// the ini path (INDEX, DB-<id>, StopPath-<id>) and keep the caller's loaded configuration
// (a common/config.h Config, handed to every writer) in step by reloading it. Every writer loads the file, changes it, saves
// it (safely, common/ini.h) and frees it. Also loads the excluded-path and alias lists.
//
// Failures: a write of the file that fails gives 0 and leaves its message in the
// configuration (Config::error), as a reload that fails on the file does; nothing here
// ends the process. The desktop's build (common_desktop_profile()) has its
// dbini_write_entry write DefaultHTML whenever one is given and never LocalFileType or
// RemoteFileType.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "common/config.h"

namespace qm {

// Path of the configuration file the writers change (set by the program).
void dbini_set_ini_path(const std::string& path);
const std::string& dbini_ini_path();

// The first id 1..1000 that INDEX lacks: writes INDEX/<id> = "1", then the entry (as
// dbini_write_entry). 0 when all are taken or the file cannot be read or written (nothing
// written).
int dbini_next_id(Config& config, std::string_view html_dir, std::string_view work_dir, std::string_view home_url,
                  std::string_view description, std::string_view default_html);
// Writes HtmlDir, WorkDir, HomeUrl, Description of DB-<id> and the file types (an
// "http:/" HtmlDir gets DefaultHTML and RemoteFileType, any other LocalFileType); a
// missing file is created. 1, or 0 when the file could not be saved; reloads either way.
int dbini_write_entry(Config& config, std::string_view id, std::string_view html_dir, std::string_view work_dir,
                      std::string_view home_url, std::string_view description,
                      std::string_view default_html);
// Removes DB-<id>, StopPath-<id> and INDEX/<id> (Alias-<id> stays); 1 when INDEX held
// the id, 0 when not or when the file cannot be read.
int dbini_remove_entry(Config& config, std::string_view id);
// INDEX/<id> = "1" / "0", then reload. 1, or 0 when the file could not be saved.
int dbini_set_active(Config& config, std::string_view id);
int dbini_set_inactive(Config& config, std::string_view id);
// Writes key = value in DB-<id> when the id is in the id set; 0 (nothing written) when it
// is not. No reload.
int dbini_write_key(Config& config, std::string_view id, std::string_view key, std::string_view value);

// The n-th (from 1) excluded path of the database's loaded list; 0 when the id has no slot
// or the list is shorter.
int dbini_stoppath_get(const Config& config, uint16_t id, int n, std::string& out);
// Appends the text as the next numbered key (refused, 0, when keys 1..100 all exist).
int dbini_stoppath_add(Config& config, uint16_t id, std::string_view text);
// Sets key index + 1.
int dbini_stoppath_set(Config& config, uint16_t id, int index, std::string_view text);
// Removes entry index + 1 and numbers the later entries down by one; 1 when the last key
// was removed, 0 when entry index + 1 did not exist.
int dbini_stoppath_delete(Config& config, uint16_t id, int index);
// mode 0 add, 1 set, 2 delete; 0 when the id has no slot in the loaded table.
int dbini_stoppath_edit(Config& config, uint16_t id, int index, std::string_view text, int mode);

// Rebuilds the excluded-path and alias lists of every slot from the file (empty lists
// when it cannot be read).
void dbini_load_lists(Config& config);
void dbini_free_lists(Config& config);

}  // namespace qm
