// The database entries of the configuration file (entries.h).
#include "desktop/catalogue/entries.h"

#include "common/charset.h"
#include "common/ini.h"
#include "common/strings.h"
#include "desktop/catalogue/catalogue.h"

namespace qm {

std::string local_file_type_value(unsigned types, std::string_view extra) {
  static const struct {
    unsigned bit;
    const char* text;
  } kTypes[] = {{kTypeText, "txt"},   {kTypeWeb, "htm,html"}, {kTypePageDoc, "pgx"},
                {kTypeWord, "doc"},   {kTypeSheet, "xls"},    {kTypeSlides, "ppt"},
                {kTypePdf, "pdf"},    {kTypeRtf, "rtf"}};
  std::string out;
  for (const auto& t : kTypes) {
    if (!(types & t.bit)) continue;
    if (!out.empty()) out += ',';
    out += t.text;
  }
  if ((types & kTypeText) && !extra.empty() && extra != "0") {
    out += ',';
    out += extra;
  }
  return out;
}

std::string data_input_port_value(const MailDatabaseEntry& e) {
  if (e.MailType == kMailOutlook && !e.MailKey.empty())
    return e.gateway + ";" + e.MailKey + ";" + e.WorkDir + ";" + e.mail_source;
  return e.gateway + ";" + e.mail_source + ";" + e.WorkDir;
}

namespace {

// Loads the file (or starts it empty), writes INDEX/<id> and a fresh DB-<id> through
// fill, saves, and reads the file again into a table the caller holds.
template <class Fill>
bool write_entry(DatabaseCatalog& catalog, int id, Fill fill) {
  if (id < 1 || id > 998) return false;
  catalog.OpenConfig();
  IniTree ini;
  if (!ini.load(catalog.ConfigPath())) {
    ini.free();
    ini.set_file(catalog.ConfigPath());
  }
  std::string key = std::to_string(id);
  ini.set("INDEX", key, "1");
  ini.delete_section("DB-" + key);
  fill(ini, "DB-" + key);
  bool saved = ini.save();
  // A caller holding the table sees the new entry whole (its WorkDir too).
  if (saved) catalog.RefreshConfig();
  catalog.CloseConfig();
  return saved;
}

}  // namespace

bool WriteDocumentDatabaseEntry(DatabaseCatalog& catalog, int id, const DocumentDatabaseEntry& e) {
  return write_entry(catalog, id, [&](IniTree& ini, const std::string& section) {
    ini.set(section, "Description", e.Description);
    ini.set(section, "HtmlDir", e.HtmlDir);
    ini.set(section, "WorkDir", e.WorkDir);
    ini.set(section, "LocalFileType", local_file_type_value(e.types, e.extra_text_extensions));
  });
}

bool WriteMailDatabaseEntry(DatabaseCatalog& catalog, int id, const MailDatabaseEntry& e) {
  return write_entry(catalog, id, [&](IniTree& ini, const std::string& section) {
    if (e.MailType == kMailOutlook && !e.MailKey.empty()) ini.set(section, "MailKey", e.MailKey);
    ini.set(section, "Description", e.Description);
    ini.set(section, "HtmlDir", e.mail_source);
    ini.set(section, "WorkDir", e.WorkDir);
    ini.set(section, "DataInputPort", data_input_port_value(e));
    ini.set(section, "Group", e.Group);
    ini.set(section, "Mail", "1");
    ini.set(section, "MailType", std::to_string(e.MailType));
    ini.set(section, "Attach", e.Attach ? "1" : "0");
  });
}

MailNames mail_names_from_row(int mail_kind, std::string_view caption, std::string_view detail) {
  MailNames names;
  if (mail_kind == kMailOutlook) {
    // The display name's last part (after its last "\", Big5-aware) names the database.
    names.Description = std::string(big5_after_last(caption, '\\'));
    names.mail_source = std::string(caption);
    names.MailKey = "outlook:" + std::string(detail);
    return names;
  }
  size_t dot = caption.rfind('.');
  std::string stem(dot == std::string_view::npos ? caption : caption.substr(0, dot));
  names.Description = mail_database_name(stem);
  std::string folder(detail);
  if (!folder.empty() && folder.back() != '/') folder += '/';
  names.mail_source = folder + (mail_kind == kMailNetscape ? stem : std::string(caption));
  return names;
}

std::string mail_database_name(std::string_view file_stem) {
  std::string name = text_to_big5(file_stem, CharsetChoice{});
  string_trim(name, " ");
  return name;
}

void mail_names_place(DatabaseCatalog& catalog, MailNames& names, int id) {
  const std::string base_dir = catalog.IndexDirectoryFor(names.Description, id);
  const std::string base_name = names.Description;
  names.WorkDir = base_dir;
  for (int n = 2; catalog.IsIndexDirectoryUsed(names.WorkDir) || catalog.IsDatabaseNameUsed(names.Description);
       ++n) {
    std::string suffix = "(";
    suffix += std::to_string(n);
    suffix += ')';
    names.WorkDir = base_dir.substr(0, base_dir.size() - 1) + suffix + "/";
    names.Description = base_name + suffix;
  }
}

}  // namespace qm
