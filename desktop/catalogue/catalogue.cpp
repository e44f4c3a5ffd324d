// DatabaseCatalog (catalogue.h): choosing the configuration file, the table and its
// lookups, file sizes and times, hit links, the list rows and hit dates as plain data,
// and the mail side-file lookups. The tree logic is catalogue_tree.cpp; deleting,
// renaming, default names and the cache are catalogue_files.cpp.
#include "desktop/catalogue/catalogue.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>

#include "common/files.h"
#include "common/ini.h"
#include "common/strings.h"
#include "desktop/catalogue/catalogue_paths.h"
#include "platform/paths.h"

namespace qm {

DatabaseCatalog::DatabaseCatalog(std::string program_dir) : program_dir_(std::move(program_dir)) {
  if (!program_dir_.empty() && program_dir_.back() != '/') program_dir_ += '/';
  ids_.reset(true);
  config_.set_program_dir(program_dir_);
  // vesprin.ini, else vespNlm.ini, each by its own or a case-blind name; else the first.
  std::string first = path_find_case_blind(program_dir_, kFirstName);
  std::string second = path_find_case_blind(program_dir_, kSecondName);
  struct stat st;
  if (stat(first.c_str(), &st) == 0 || stat(second.c_str(), &st) != 0)
    config_path_ = first;
  else
    config_path_ = second;
  if (std::FILE* f = std::fopen(config_path_.c_str(), "r")) {
    readable_ = true;
    std::fclose(f);
  }
}

DatabaseCatalog::~DatabaseCatalog() = default;

// ---- Table --------------------------------------------------------------------------

void DatabaseCatalog::load_table() {
  // A file that cannot be read gives an empty table (the desktop's rules never end the
  // process); reload() starts from every database of INDEX.
  if (!config_.reload(config_path_)) config_.table.clear();
}

bool DatabaseCatalog::OpenConfig() {
  if (depth_++ == 0) load_table();
  return true;
}

void DatabaseCatalog::CloseConfig() {
  if (depth_ == 0) return;
  if (--depth_ == 0) {
    config_.free();
    ids_.reset(true);
  }
}

void DatabaseCatalog::reload_if_held() {
  if (depth_ > 0) load_table();
}

int DatabaseCatalog::DatabaseCount() {
  Hold hold(*this);
  return static_cast<int>(ids_.count());
}

int DatabaseCatalog::DatabaseIdAt(int i) {
  Hold hold(*this);
  if (i < 0 || static_cast<size_t>(i) >= ids_.count()) return -1;
  return ids_.id(static_cast<size_t>(i));
}

int DatabaseCatalog::DatabaseIndexOf(int id) {
  if (id <= 0 || id > 65535) return -1;
  Hold hold(*this);
  return ids_.slot_of(static_cast<uint16_t>(id));
}

bool DatabaseCatalog::HasDatabase(int id) { return DatabaseIndexOf(id) >= 0; }

bool DatabaseCatalog::MarkDatabaseActive(int id) {
  if (depth_ == 0 || id <= 0 || id > 65535) return false;
  uint16_t key = static_cast<uint16_t>(id);
  if (ids_.set_active(key, true)) return true;
  if (!ids_.add(key, true)) return false;
  // Keep the table's slots in step with the set.
  size_t slot = static_cast<size_t>(ids_.slot_of(key));
  DatabaseTable& t = config_.table;
  DatabaseEntry entry;
  entry.Id = key;
  t.entries.insert(t.entries.begin() + static_cast<std::ptrdiff_t>(slot), entry);
  if (t.StopPathLists.size() >= slot)
    t.StopPathLists.insert(t.StopPathLists.begin() + static_cast<std::ptrdiff_t>(slot), StringList{});
  if (t.AliasLists.size() >= slot)
    t.AliasLists.insert(t.AliasLists.begin() + static_cast<std::ptrdiff_t>(slot), StringList{});
  return true;
}

int DatabaseCatalog::NextFreeDatabaseId() {
  Hold hold(*this);
  size_t i = 0;
  while (i < ids_.count() && ids_.id(i) == i + 1) ++i;
  int id = static_cast<int>(i + 1);
  return id >= 999 ? 0 : id;
}

const DatabaseEntry* DatabaseCatalog::entry_of(int id) {
  int i = DatabaseIndexOf(id);
  if (i < 0 || static_cast<size_t>(i) >= config_.table.entries.size()) return nullptr;
  return &config_.table.entries[static_cast<size_t>(i)];
}

std::string DatabaseCatalog::DatabaseEntryField(int i, int kind) {
  Hold hold(*this);
  if (i < 0 || static_cast<size_t>(i) >= config_.table.entries.size()) return {};
  const DatabaseEntry& e = config_.table.entries[static_cast<size_t>(i)];
  switch (kind) {
    case kFieldHtmlDir: return e.HtmlDir;
    case kFieldWorkDir: return e.WorkDir;
    case kFieldHomeUrl: return e.HomeUrl;
    case kFieldDescription: return e.Description;
    case kFieldDefaultHTML: return e.DefaultHTML;
    default: return {};
  }
}

std::string DatabaseCatalog::DatabaseWorkDir(int id) {
  Hold hold(*this);
  const DatabaseEntry* e = entry_of(id);
  return e ? e->WorkDir : std::string();
}

std::string DatabaseCatalog::DatabaseDescription(int id) {
  Hold hold(*this);
  const DatabaseEntry* e = entry_of(id);
  return e ? e->Description : std::string();
}

bool DatabaseCatalog::DatabaseDirs(int id, std::string& work_dir, std::string& html_dir) {
  Hold hold(*this);
  const DatabaseEntry* e = entry_of(id);
  if (!e) return false;
  work_dir = e->WorkDir;
  html_dir = e->HtmlDir;
  return true;
}

bool DatabaseCatalog::IsIndexDirectoryUsed(const std::string& dir) {
  std::string wanted = catalogue_normal_path(dir, program_dir_);
  if (wanted.empty()) return false;
  Hold hold(*this);
  for (const DatabaseEntry& e : config_.table.entries)
    if (!e.WorkDir.empty() && catalogue_normal_path(e.WorkDir, program_dir_) == wanted) return true;
  return false;
}

bool DatabaseCatalog::IsDatabaseNameUsed(std::string_view name, int except_id) {
  auto trim = [](std::string text) {
    string_trim(text, " \t");
    return text;
  };
  const std::string wanted = trim(std::string(name));
  if (wanted.empty()) return false;
  Hold hold(*this);
  for (const DatabaseEntry& e : config_.table.entries)
    if (e.Id != except_id && trim(e.Description) == wanted) return true;
  return false;
}

namespace {
bool key_is_one(const std::string& path, int id, const char* key) {
  IniTree tree;
  if (!tree.load(path)) return false;
  auto v = tree.get("DB-" + std::to_string(id), key);
  return v && *v == "1";
}
}  // namespace

bool DatabaseCatalog::IsMailDatabase(int id) { return key_is_one(config_path_, id, "Mail"); }
bool DatabaseCatalog::HasAttachments(int id) { return key_is_one(config_path_, id, "Attach"); }

// ---- Files and times ----------------------------------------------------------------

long long DatabaseCatalog::FileSize(const std::string& path) {
  if (path.empty()) return 0;
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return st.st_size;
}

long long DatabaseCatalog::FulltextSize(int i) {
  std::string work_dir = DatabaseEntryField(i, kFieldWorkDir);
  if (work_dir.empty()) return 0;
  return FileSize(path_find_case_blind(work_dir, "fulltext.db"));
}

std::string DatabaseCatalog::TimeText(std::time_t when) {
  struct tm tm{};
  if (!localtime_r(&when, &tm)) return {};
  int hour = tm.tm_hour % 12 == 0 ? 12 : tm.tm_hour % 12;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d/%02d/%02d %s %02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour < 12 ? "AM" : "PM", hour, tm.tm_min);
  return buf;
}

std::string DatabaseCatalog::FileTimeText(const std::string& path) {
  struct stat st;
  if (path.empty() || stat(path.c_str(), &st) != 0) return {};
  return TimeText(st.st_mtime);
}

HitLink DatabaseCatalog::ParseHitLink(std::string_view text) {
  HitLink link;
  auto number = [](std::string_view token) {
    long long v = token.size() > 2 ? string_leading_number(token.substr(2)) : 0;
    return v < 0 || v > INT_MAX ? 0 : static_cast<int>(v);
  };
  size_t start = 0;
  while (start <= text.size()) {
    size_t amp = text.find('&', start);
    std::string_view token = text.substr(start, amp == std::string_view::npos ? amp : amp - start);
    if (token.size() > 1024) token = token.substr(0, 1024);
    if (!token.empty() && token[0] == 's') link.database_id = number(token);
    if (!token.empty() && token[0] == 'i') link.document = number(token);
    if (amp == std::string_view::npos) break;
    start = amp + 1;
  }
  return link;
}

std::string DatabaseCatalog::HitDocumentPath(int id, std::string_view relative_path) {
  Hold hold(*this);
  const DatabaseEntry* e = entry_of(id);
  if (!e) return {};
  if (IsMailDatabase(id)) return e->HtmlDir;
  return e->HtmlDir + path_backslash_to_slash(relative_path);
}

// ---- Views --------------------------------------------------------------------------

int DatabaseCatalog::StatusTextForCode(int code) {
  switch (code) {
    case 1: return kTextBuildStopped;
    case 2: return kTextBuildFailed;
    case 9: return kTextBuilding;
    case 8: return kTextNotIndexed;
    default: return kTextIndexed;
  }
}

std::vector<DatabaseRow> DatabaseCatalog::DatabaseRows(const std::vector<int>& checked) {
  Hold hold(*this);
  std::vector<DatabaseRow> rows;
  for (size_t i = 0; i < config_.table.entries.size(); ++i) {
    const DatabaseEntry& e = config_.table.entries[i];
    DatabaseRow row;
    row.id = ids_.id(i);
    row.text = std::to_string(row.id) + "." + e.Description;
    row.time_text = e.WorkDir.empty() ? std::string()
                                      : FileTimeText(path_find_case_blind(e.WorkDir, "fulltext.db"));
    for (int c : checked) row.checked = row.checked || c == row.id;
    if (!row.checked)
      row.status_text = FulltextSize(static_cast<int>(i)) > 0 ? kTextIndexed : kTextNotIndexed;
    rows.push_back(std::move(row));
  }
  return rows;
}

std::optional<DatabaseRow> DatabaseCatalog::UpdatedDatabaseRow(int id, int code) {
  Hold hold(*this);
  const DatabaseEntry* e = entry_of(id);
  if (!e) return std::nullopt;
  DatabaseRow row;
  row.id = id;
  row.text = std::to_string(id) + "." + e->Description;
  if (!e->WorkDir.empty()) row.time_text = FileTimeText(path_find_case_blind(e->WorkDir, "fulltext.db"));
  row.status_text = StatusTextForCode(code);
  return row;
}

std::string DatabaseCatalog::HitDateText(int id, std::string_view name, std::string_view number) {
  Hold hold(*this);
  const DatabaseEntry* e = entry_of(id);
  if (!e) return {};
  if (IsMailDatabase(id)) {
    long long n = number.empty() || number[0] == '0' ? 0 : string_leading_number(number);
    mail_side::MailPropertyRecord r;
    if (!mail_read_property(e->WorkDir, n, r)) return mail_date_text(0);
    return mail_date_text(r.date);
  }
  std::string text(name);
  size_t dot = text.find('.');
  if (dot != std::string::npos && string_nicmp(std::string_view(text).substr(dot + 1), "pgx", 3) == 0) {
    size_t paren = text.rfind('(');
    if (paren != std::string::npos) text.resize(paren);
  }
  return FileTimeText(e->HtmlDir + path_backslash_to_slash(text));
}

// ---- Mail side files ----------------------------------------------------------------

bool DatabaseCatalog::ReadMailRecord(int id, int n, std::string& date, std::string& subject,
                                     std::string& sender) {
  mail_side::MailPropertyRecord r;
  if (!mail_read_property(DatabaseWorkDir(id), n, r)) return false;
  date = std::to_string(r.date);
  subject = r.subject;
  sender = r.sender;
  return true;
}

bool DatabaseCatalog::ReadMailDate(int id, int n, std::string& date) {
  std::string subject, sender;
  return ReadMailRecord(id, n, date, subject, sender);
}

bool DatabaseCatalog::ReadAttachInfo(int id, int n, std::vector<mail_side::AttachInfoRecord>& out) {
  return mail_read_attachments(DatabaseWorkDir(id), n, out);
}

std::vector<int> DatabaseCatalog::ListMailsWithAttachments(int id) {
  return mail_messages_with_attachments(DatabaseWorkDir(id));
}

bool DatabaseCatalog::ReadMailSender(int id, int n, std::string& sender) {
  if (id != sender_id_ || !sender_reader_.is_open()) {
    sender_id_ = -1;
    if (!sender_reader_.open(DatabaseWorkDir(id))) return false;
    sender_id_ = id;
  }
  mail_side::MailPropertyRecord r;
  if (!sender_reader_.read(n, r)) return false;
  sender = r.sender;
  return true;
}

void DatabaseCatalog::CloseMailSenderFile() {
  sender_reader_.close();
  sender_id_ = -1;
}

}  // namespace qm
