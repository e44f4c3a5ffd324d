// A database's entry for the add/edit form (see database_entry.h).
#include "desktop/catalogue/database_entry.h"

#include <sys/stat.h>

#include <cstdio>
#include <vector>

#include "common/ini.h"
#include "desktop/catalogue/catalogue_paths.h"
#include "desktop/catalogue/entries.h"

namespace qm {

namespace {

std::string trimmed(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

bool blank(const std::string& s) { return s.empty() || s == "0"; }

bool is_dir(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string section_of(int id) { return "DB-" + std::to_string(id); }

}  // namespace

std::string EntryFolderText(std::string_view folder) {
  std::string out(folder);
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  if (!out.empty() && out != "/") out += '/';
  return out;
}

bool LoadDatabaseEntry(DatabaseCatalog& catalog, int id, DatabaseEntryFields& f) {
  IniTree ini;
  ini.load(catalog.ConfigPath());
  const std::string sec = section_of(id);
  if (!ini.has_section(sec)) return false;
  auto get = [&](const char* key) { return ini.get(sec, key).value_or(""); };
  f.name = get("Description");
  f.mail = get("Mail") == "1";
  f.index_folder = get("WorkDir");
  if (f.mail) {
    f.mail_file = get("HtmlDir");
    f.mail_type = std::atoi(get("MailType").c_str());
    if (f.mail_type < 0 || f.mail_type > 4) f.mail_type = 0;
    f.attach = get("Attach").rfind("1", 0) == 0;
    if (auto key = ini.get(sec, "MailKey")) f.mail_key = *key;
    return true;
  }
  f.doc_folder = get("HtmlDir");
  f.txt = f.htm = f.pgx = f.doc = f.xls = f.ppt = f.pdf = f.rtf = false;
  f.other_ext.clear();
  const std::string types = get("LocalFileType");
  size_t start = 0;
  while (start <= types.size()) {
    size_t comma = types.find(',', start);
    std::string item = types.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (item == "txt") f.txt = true;
    else if (item == "htm" || item == "html") f.htm = true;
    else if (item == "pgx") f.pgx = true;
    else if (item == "doc") f.doc = true;
    else if (item == "xls") f.xls = true;
    else if (item == "ppt") f.ppt = true;
    else if (item == "pdf") f.pdf = true;
    else if (item == "rtf") f.rtf = true;
    else if (!item.empty()) f.other_ext += (f.other_ext.empty() ? "" : ",") + item;
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return true;
}

unsigned FileTypeChoices(const DatabaseEntryFields& f) {
  const std::pair<bool, FileTypeChoice> boxes[] = {
      {f.txt, kTypeText}, {f.htm, kTypeWeb},    {f.pgx, kTypePageDoc}, {f.doc, kTypeWord},
      {f.xls, kTypeSheet}, {f.ppt, kTypeSlides}, {f.pdf, kTypePdf},     {f.rtf, kTypeRtf}};
  unsigned bits = 0;
  for (const auto& [checked, bit] : boxes)
    if (checked) bits |= bit;
  return bits;
}

std::string LocalFileTypeText(const DatabaseEntryFields& f) {
  return local_file_type_value(FileTypeChoices(f), f.other_ext);
}

int CheckDatabaseEntry(DatabaseCatalog& catalog, DatabaseEntryFields& f, bool adding,
                       const std::string& current_work_dir, int id) {
  f.name = trimmed(f.name);
  f.doc_folder = trimmed(f.doc_folder);
  f.mail_file = trimmed(f.mail_file);
  f.index_folder = trimmed(f.index_folder);
  if (!f.mail) {
    if (!is_dir(f.doc_folder)) {
      f.doc_folder.clear();
      return 9016;
    }
    if (blank(f.name)) return 9011;
    if (blank(f.doc_folder)) return 9012;
    if (blank(f.index_folder)) return 9013;
    if (!(f.txt || f.htm || f.pgx || f.doc || f.xls || f.ppt || f.pdf || f.rtf)) return 9014;
  } else {
    if (blank(f.name)) return 9011;
    if (blank(f.mail_file)) return 9028;
    if (blank(f.index_folder)) return 9013;
  }
  // A second database of one name would stand twice in the tree.
  if (catalog.IsDatabaseNameUsed(f.name, id)) return 1423;
  const std::string& base = catalog.ProgramDir();
  const bool moved = adding || catalogue_normal_path(f.index_folder, base) !=
                                   catalogue_normal_path(current_work_dir, base);
  if (moved && catalog.IsIndexDirectoryUsed(f.index_folder)) return 9018;
  return 0;
}

int SaveDatabaseEntry(DatabaseCatalog& catalog, int id, DatabaseEntryFields& f, bool adding) {
  const std::string current = adding ? std::string() : catalog.DatabaseWorkDir(id);
  if (int refused = CheckDatabaseEntry(catalog, f, adding, current, id)) return refused;
  IniTree ini;
  if (!ini.load(catalog.ConfigPath())) ini.set_file(catalog.ConfigPath());
  const std::string sec = section_of(id);
  const std::string work = EntryFolderText(f.index_folder);
  ini.set("INDEX", std::to_string(id), "1");
  if (!f.mail) {
    ini.set(sec, "Description", f.name);
    ini.set(sec, "HtmlDir", EntryFolderText(f.doc_folder));
    ini.set(sec, "WorkDir", work);
    ini.set(sec, "LocalFileType", LocalFileTypeText(f));
  } else {
    const std::string gateway = catalog.GatewayPath();
    std::string port;
    if (f.mail_type == 4) {
      port = gateway + ";" + f.mail_key + ";" + work + ";" + f.mail_file;
      ini.set(sec, "MailKey", f.mail_key);
    } else {
      port = gateway + ";" + f.mail_file + ";" + work;
    }
    ini.set(sec, "Description", f.name);
    ini.set(sec, "HtmlDir", f.mail_file);
    ini.set(sec, "WorkDir", work);
    ini.set(sec, "DataInputPort", port);
    if (!f.group.empty()) ini.set(sec, "Group", f.group);
    ini.set(sec, "Mail", "1");
    ini.set(sec, "MailType", std::to_string(f.mail_type));
    ini.set(sec, "Attach", f.attach ? "1" : "0");
  }
  if (!ini.save()) return -1;
  catalog.RefreshConfig();
  return 0;
}

}  // namespace qm
