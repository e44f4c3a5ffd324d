// The catalogue's changes to databases (catalogue.h): deleting a database's entry and
// files, renaming it, the default names and folders of new databases, and clearing the
// keyword cache.
//
// Deleting files touches only what belongs to the database: the index files by their
// names (found case-blind) and the index writer's temporary leftovers, the saved
// attachments of a mail database, then the folder itself only when that leaves it
// empty. No symbolic link is followed: links are removed as links, and a WorkDir that
// is itself a link is left alone.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "common/files.h"
#include "common/ini.h"
#include "common/strings.h"
#include "desktop/catalogue/catalogue.h"
#include "desktop/catalogue/catalogue_paths.h"
#include "mail/side_files_format.h"
#include "platform/paths.h"

namespace qm {
namespace {

// The files of one database, in the order they are deleted, then the two index files
// of ours that the old list lacked.
constexpr const char* kDatabaseFileNames[] = {
    "chash.db",     "ehash.db",     "cindex.db",       "cross.db",       "eindex.db",
    "esign.db",     "fulltext.db",  "path.db",         "chash.db.tmp",   "ehash.db.tmp",
    "cindex.db.tmp", "cross.db.tmp", "eindex.db.tmp",  "esign.db.tmp",   "fulltext.db.tmp",
    "path.db.tmp",  "corvdoc.pi",   "corvdoc.map",     "property.db",    "mailproperty.db",
    "attachidx.db", "attachinfo.db", "history.db",     "clist.db",       "rehash.db"};

bool ends_with_tmp(std::string_view name) {
  return name.size() >= 4 && string_icmp(name.substr(name.size() - 4), ".tmp") == 0;
}

bool begins_with_ci(std::string_view name, std::string_view prefix) {
  return name.size() >= prefix.size() && string_nicmp(name, prefix, prefix.size()) == 0;
}

// A file of the database: one of the names, or a temporary file the index writer or
// a safe replacement left behind ("<name>.<tag>.tmp", "run-<...>.tmp", ".<name>.tmp<n>").
bool is_database_file(std::string_view name) {
  for (const char* known : kDatabaseFileNames) {
    std::string k = known;
    if (string_icmp(name, k) == 0) return true;
    if (ends_with_tmp(name) && begins_with_ci(name, k + ".")) return true;
    if (begins_with_ci(name, "." + k + ".tmp")) return true;
  }
  return ends_with_tmp(name) && begins_with_ci(name, "run-");
}

}  // namespace

void DatabaseCatalog::delete_files(const std::string& work_dir, bool mail) {
  std::string normal = catalogue_normal_path(work_dir, program_dir_);
  if (catalogue_is_guarded_dir(normal)) return;
  std::string dir = path_backslash_to_slash(work_dir);
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (!dir.empty() && dir[0] != '/') dir = program_dir_ + dir;
  struct stat st;
  if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;  // missing, or a link

  std::vector<std::string> doomed;
  std::string attach;
  {
    std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dir.c_str()), closedir);
    if (!d) return;
    while (dirent* e = readdir(d.get())) {
      std::string name = e->d_name;
      std::string full = dir + "/" + name;
      if (lstat(full.c_str(), &st) != 0) continue;
      if (S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode)) {
        if (mail && attach.empty() && string_icmp(name, mail_side::kAttachFolder) == 0) attach = full;
        if (S_ISDIR(st.st_mode)) continue;
      }
      if (is_database_file(name)) doomed.push_back(full);
    }
  }
  for (const std::string& f : doomed) unlink(f.c_str());  // a link goes as a link
  if (!attach.empty()) {
    if (lstat(attach.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
      unlink(attach.c_str());
    else
      dir_remove_tree(attach, false);
  }
  rmdir(dir.c_str());  // only when nothing else is left in it
}

void DatabaseCatalog::DeleteDatabaseFiles(int i) {
  Hold hold(*this);
  int id = DatabaseIdAt(i);
  if (id < 0) return;
  delete_files(DatabaseEntryField(i, kFieldWorkDir), IsMailDatabase(id));
}

bool DatabaseCatalog::DeleteDatabase(int id) {
  Hold hold(*this);
  IniTree ini;
  if (!ini.load(config_path_) || !HasDatabase(id)) return false;
  std::string key = std::to_string(id);
  std::string work_dir = DatabaseWorkDir(id);
  bool mail = ini.get("DB-" + key, "Mail").value_or("") == "1";
  ini.delete_section("DB-" + key);
  // A later database given the same id must not inherit the old one's lists.
  ini.delete_section("StopPath-" + key);
  ini.delete_section("Alias-" + key);
  ini.delete_key("INDEX", key);
  if (!ini.save()) return false;  // the entry stays, so do its files
  load_table();
  // Files shared with another database's entry stay.
  if (!work_dir.empty() && !IsIndexDirectoryUsed(work_dir)) delete_files(work_dir, mail);
  return true;
}

bool DatabaseCatalog::RenameDatabase(int id, std::string_view text) {
  Hold hold(*this);
  IniTree ini;
  if (!ini.load(config_path_) || !HasDatabase(id)) return false;
  ini.set("DB-" + std::to_string(id), "Description", text);
  if (!ini.save()) return false;
  load_table();
  return true;
}

std::string DatabaseCatalog::DefaultDatabaseName() { return "DB" + std::to_string(NextFreeDatabaseId()); }

std::string DatabaseCatalog::DefaultIndexDirectory() {
  return program_dir_ + "DB/db-" + std::to_string(NextFreeDatabaseId()) + "/";
}

std::string DatabaseCatalog::IndexDirectoryFor(std::string_view name, int id) {
  std::string file_name = catalogue_file_name(name);
  if (file_name.empty()) file_name = "db-" + std::to_string(id);
  return program_dir_ + "DB/" + file_name + "/";
}

bool DatabaseCatalog::ClearCache() {
  IniTree ini;
  if (!ini.load(config_path_)) return false;
  std::string dir = ini.get("VESPRIN", "CacheDir").value_or("");
  std::string normal = catalogue_normal_path(dir, program_dir_);
  if (catalogue_is_guarded_dir(normal)) return false;
  // Cache files only ("nos..."/"num..."); anything else in the folder stays.
  dir_remove_tree(normal, true);
  return true;
}

}  // namespace qm
