// The configuration loader; see config.h.
#include "common/config.h"

#include <algorithm>
#include <climits>

#include "common/dbid.h"
#include "common/files.h"
#include "common/html.h"
#include "common/ini.h"
#include "platform/paths.h"

namespace qm {
namespace {

constexpr size_t kText260 = 259;
constexpr size_t kText1024 = 1023;

// A decimal number at the start of the value: blanks, an optional sign, digits up to the
// first other byte; 0 without digits. Values beyond the int range saturate.
int to_int(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long long v = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    v = v * 10 + (s[i++] - '0');
    if (v > INT_MAX) {
      v = static_cast<long long>(INT_MAX) + 1;
      break;
    }
  }
  if (negative) v = -v;
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  return static_cast<int>(v);
}

// "Fail to read INI file: [section], key\r\n": a required key is absent.
std::string missing_key_message(std::string_view section, std::string_view key) {
  std::string message = "Fail to read INI file: [";
  message += section;
  message += "], ";
  message += key;
  message += "\r\n";
  return message;
}

int clamp_int(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

bool begins_with(const std::optional<std::string>& v, char c) { return v && !v->empty() && (*v)[0] == c; }

// Cuts a text to at most n bytes without leaving half a Big5 pair at the end.
std::string cut(std::string text, size_t n) {
  if (text.size() <= n) return text;
  size_t pos = 0;
  while (pos < n) {
    size_t len = big5_char_len(text, pos);
    if (len == 0 || pos + len > n) break;
    pos += len;
  }
  text.resize(pos);
  return text;
}

std::string trim_blanks(std::string text) {
  string_trim(text, " ");
  return text;
}

// A folder value: a network path of a share of this computer becomes its local path;
// either way "\" becomes "/" and the folder ends in "/" (an empty value stays empty).
std::string folder_value(const std::string& value) {
  std::string local;
  std::string out = path_to_share(value, local) ? local : value;
  path_add_slash(out);
  return out;
}

// Pieces of text at the separators, in order; "*.ext" loses "*." when strip_star.
std::vector<std::string> split_pieces(std::string_view text, std::string_view separators,
                                      bool strip_star) {
  std::vector<std::string> pieces;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t b = text.find_first_not_of(separators, pos);
    if (b == std::string_view::npos) break;
    size_t e = text.find_first_of(separators, b);
    if (e == std::string_view::npos) e = text.size();
    std::string_view piece = text.substr(b, e - b);
    if (strip_star && piece.size() > 2 && piece[0] == '*' && piece[1] == '.') piece.remove_prefix(2);
    pieces.emplace_back(piece);
    pos = e;
  }
  return pieces;
}

// The values of keys "1", "2", ... of section, up to the first missing number, in order.
StringList numbered_list(const IniTree& tree, const std::string& section) {
  StringList list;
  auto tail = list.before_begin();
  for (unsigned n = 1;; ++n) {
    std::optional<std::string> v = tree.get(section, std::to_string(n));
    if (!v) break;
    tail = list.insert_after(tail, *v);
  }
  return list;
}

}  // namespace

// ---- DatabaseTable ------------------------------------------------------------------

int DatabaseTable::slot_of(uint16_t id) const {
  if (id == 0) return -1;
  for (size_t i = 0; i < entries.size(); ++i)
    if (entries[i].Id == id) return static_cast<int>(i);
  return -1;
}

void DatabaseTable::clear() {
  entries.clear();
  StopPathLists.clear();
  AliasLists.clear();
}

// ---- Config -------------------------------------------------------------------------

bool Config::read_settings(const IniTree& tree, const std::string& program_dir,
                           bool require_page_keys) {
  SearchSettings& s = settings;
  s = SearchSettings{};
  auto get = [&](const char* key) { return tree.get("VESPRIN", key); };

  // The folder always ends in "/", also a share's local path, since cache file names are
  // joined to it directly.
  if (auto v = get("CacheDir")) s.CacheDir = folder_value(cut(*v, kText260));
  s.CacheFile = begins_with(get("CacheFile"), '1');
  auto v = get("MatchRate");
  s.MatchRate = v ? clamp_int(to_int(*v), 50, 100) : 70;
  v = get("Precision");
  s.Precision = v ? clamp_int(to_int(*v), -100, 100) : 100;
  if ((v = get("ActivePage"))) s.ActivePage = trim_blanks(cut(*v, kText1024));
  if ((v = get("UseOtherSearcher"))) s.UseOtherSearcher = trim_blanks(cut(*v, kText1024));

  v = get("Searcher");
  if (!v && require_page_keys) {
    error_ = missing_key_message("VESPRIN", "Searcher");
    return false;
  }
  s.Searcher = cut(v.value_or(std::string()), kText260);
  v = get("Marker");
  if (v && !v->empty() && (*v)[0] != ' ') {
    s.Marker = cut(*v, kText260);
    s.MarkerGiven = true;
  } else {
    // The hit viewer sits beside the search engine.
    size_t slash = s.Searcher.rfind('/');
    s.Marker = slash == std::string::npos ? "marker" : s.Searcher.substr(0, slash + 1) + "marker";
    s.Marker = cut(s.Marker, kText260);
    s.MarkerGiven = false;
  }
  v = get("HomePage");
  if (!v && require_page_keys) {
    error_ = missing_key_message("VESPRIN", "HomePage");
    return false;
  }
  s.HomePage = cut(v.value_or(std::string()), kText260);
  size_t slash = s.HomePage.rfind('/');
  s.HomePageBase = slash == std::string::npos ? std::string() : s.HomePage.substr(0, slash + 1);
  v = get("SystemAdm");
  if (!v && require_page_keys) {
    error_ = missing_key_message("VESPRIN", "SystemAdm");
    return false;
  }
  s.SystemAdm = cut(v.value_or(std::string()), kText260);

  auto template_path = [&](const std::optional<std::string>& value) {
    return cut(path_backslash_to_slash(*value), kText260);
  };
  if ((v = get("TmplFirstQuery"))) s.TmplFirstQuery = template_path(v);
  v = get("TmplNextQuery");
  s.TmplNextQuery = v ? template_path(v) : s.TmplFirstQuery;
  if ((v = get("TmplZeroHit"))) s.TmplZeroHit = template_path(v);
  if ((v = get("TmplError"))) s.TmplError = template_path(v);

  v = get("ParaPerPage");
  s.ParaPerPage = v ? to_int(*v) : 15;
  v = get("MarkBeginText");
  s.MarkBeginText = v ? *v : kDefaultMarkBeginText;
  v = get("MarkEndText");
  s.MarkEndText = v ? *v : "</FONT>";
  v = get("PageSavePath");
  s.PageSavePath = v ? cut(path_backslash_to_slash(*v), kText260) : program_dir + "WebPages/";
  path_add_slash(s.PageSavePath);
  v = get("MaxParsingTime");
  s.MaxParsingTime = v ? to_int(*v) : 60;
  if (s.MaxParsingTime < 10) s.MaxParsingTime = 60;
  if (s.MaxParsingTime > 600) s.MaxParsingTime = 600;
  v = get("ContentType");
  s.ContentType = v ? *v : "text/html";
  html_set_content_type(s.ContentType);
  s.UseProxy = begins_with(get("UseProxy"), '1');
  if ((v = get("ProxyIP"))) s.ProxyIP = cut(*v, kText1024);
  if ((v = get("ProxyPort"))) s.ProxyPort = to_int(*v);
  v = get("DirDepth");
  s.DirDepth = v ? std::max(to_int(*v), 1) : 10;
  v = get("DownToDepth");
  s.DownToDepth = v ? std::max(to_int(*v), 1) : 1;
  v = get("TraverseOpt");
  s.TraverseOpt = v ? to_int(*v) : 0;
  if (s.TraverseOpt < 0 || s.TraverseOpt > 4) s.TraverseOpt = 0;
  s.ShutdownModem = begins_with(get("ShutdownModem"), '1');
  s.Connection = begins_with(get("Connection"), '1');
  if ((v = get("DialupEntry"))) s.DialupEntry = cut(*v, kText1024);
  return true;
}

void Config::read_desktop_settings(const IniTree& tree, const std::string& program_dir) {
  SearchSettings& s = settings;
  s = SearchSettings{};
  if (auto v = tree.get("VESPRIN", "TextExtName")) {
    for (const std::string& piece : split_pieces(*v, ", ", false)) stringlist_prepend(s.TextExtName, piece);
  }
  auto v = tree.get("VESPRIN", "PageSavePath");
  s.PageSavePath = v ? cut(path_backslash_to_slash(*v), kText1024) : program_dir + "WebPages/";
  path_add_slash(s.PageSavePath);
}

bool Config::read_database(const IniTree& tree, size_t slot, uint16_t id) {
  if (slot >= table.entries.size()) table.entries.resize(slot + 1);
  DatabaseEntry& e = table.entries[slot];
  e = DatabaseEntry{};
  e.Id = id;
  std::optional<std::string> index = tree.get("INDEX", std::to_string(id));
  if (!index) return false;
  if (!index->empty() && (*index)[0] == '0' && !ids_.include_inactive()) return false;

  const bool desktop = common_desktop_profile();
  const std::string section = "DB-" + std::to_string(id);
  auto get = [&](const char* key) { return tree.get(section, key); };
  auto text = [&](const char* key, std::string_view absent = {}) {
    auto v = get(key);
    return v ? *v : std::string(absent);
  };
  auto flag_unless0 = [&](const char* key) { return begins_with(get(key), '0') ? 0 : 1; };
  auto flag_if1 = [&](const char* key) { return begins_with(get(key), '1') ? 1 : 0; };

  if (auto v = get("HtmlDir")) {
    std::string dir = *v;
    e.HtmlDir = url_is_http(dir) ? dir : folder_value(dir);
  }
  if (auto v = get("WorkDir")) e.WorkDir = folder_value(*v);
  e.HomeUrl = text("HomeUrl");
  e.Description = text("Description");
  e.DefaultHTML = text("DefaultHTML", desktop ? "index.html" : "index.htm");
  e.TraverseAll = flag_unless0("TraverseAll");
  e.CgiEnabled = flag_unless0("CgiEnabled");
  e.UrlKeepCase = begins_with(get("UrlIgnoreCase"), '1') ? 0 : 1;
  e.NotesDomino = text("NotesDomino");
  e.CodeConvert = text("CodeConvert");
  auto v = get("TitleParagraph");
  e.TitleParagraph = v ? to_int(*v) : 1;
  e.SaveFile = flag_if1("SaveFile");
  v = get("HomePageURL");
  e.HomePageURL = v ? *v : settings.HomePage;
  v = get("MaxDisplayRows");
  e.MaxDisplayRows = v ? clamp_int(to_int(*v), 1, 6) : 6;
  e.TitleOnly = flag_if1("TitleOnly");
  v = get("IndexType");
  e.IndexType = v ? to_int(*v) : 0;
  if (!desktop) e.TitleTag = text("TitleTag");
  e.DataInputPort = text("DataInputPort");
  e.DataInputPortValue = to_int(e.DataInputPort);
  e.Mail = flag_if1("Mail");
  if (!desktop) {
    if ((v = get("MetaTag"))) e.MetaTag = string_split_list(*v);
    v = get("LocalFileType");
    e.LocalFileType = string_split_list(v ? *v : std::string());
    if (e.LocalFileType.empty()) e.LocalFileType = string_split_list("htm,html,txt");
    v = get("RemoteFileType");
    e.RemoteFileType = string_split_list(v ? *v : std::string());
    if (e.RemoteFileType.empty()) e.RemoteFileType = string_split_list("htm,html,txt");
  }
  e.ASP = text("ASP");
  e.DB_Kind = text("DB_Kind");
  e.ODBC_DSN = text("ODBC_DSN");
  e.DB_Table = text("DB_Table");
  e.DB_User = text("DB_User");
  e.DB_Passwd = text("DB_Passwd");
  e.Table_Key = text("Table_Key");
  e.Table_Doc = text("Table_Doc");
  e.Key_Data_Type = text("Key_Data_Type");
  return true;
}

void Config::load_lists(const IniTree& tree) {
  free_lists();
  size_t n = ids_.count();
  table.StopPathLists.resize(n);
  table.AliasLists.resize(n);
  for (size_t slot = 0; slot < n; ++slot) {
    std::string id = std::to_string(ids_.id(slot));
    table.StopPathLists[slot] = numbered_list(tree, "StopPath-" + id);
    table.AliasLists[slot] = numbered_list(tree, "Alias-" + id);
  }
}

void Config::free_lists() {
  table.StopPathLists.clear();
  table.AliasLists.clear();
}

void Config::free() {
  settings = SearchSettings{};
  table.clear();
}

std::string Config::program_dir_for(const std::string& path) const {
  if (!program_dir_.empty()) return program_dir_;
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool Config::load(const std::string& path) {
  table.clear();
  error_.clear();
  const bool desktop = common_desktop_profile();
  IniTree tree;
  if (!tree.load(path)) {
    if (!desktop) error_ = "Fail to open INI file! " + path;
    return false;
  }
  const std::string program_dir = program_dir_for(path);
  if (desktop)
    read_desktop_settings(tree, program_dir);
  else if (!read_settings(tree, program_dir, true))
    return false;

  if (ids_.is_all()) ids_.load_index(tree);
  table.entries.assign(ids_.count(), DatabaseEntry{});
  for (size_t slot = 0; slot < ids_.count(); ++slot) {
    if (read_database(tree, slot, ids_.id(slot))) continue;
    if (desktop) continue;  // the desktop shows what it can read
    return false;
  }
  // The lists come from the same reading of the file as the table they belong to.
  load_lists(tree);
  return true;
}

bool Config::load_for_build(const std::string& path, std::string& error) {
  table.clear();
  IniTree tree;
  if (!tree.load(path)) {
    std::string text, why = "it is empty";
    file_read_regular(path, text, kFileReadLimit, &why);
    error = "Cannot read " + path + ": " + why;
    return false;
  }
  read_settings(tree, program_dir_for(path), false);
  if (ids_.is_all()) ids_.load_index(tree);
  table.entries.assign(ids_.count(), DatabaseEntry{});
  for (size_t slot = 0; slot < ids_.count(); ++slot) {
    const std::string id = std::to_string(ids_.id(slot));
    if (!tree.has_section("DB-" + id)) {
      error = "No section [DB-" + id + "] in " + path;
      return false;
    }
    if (!read_database(tree, slot, ids_.id(slot))) {
      error = "Database " + id + " is not listed in [INDEX] of " + path;
      return false;
    }
  }
  load_lists(tree);
  return true;
}

bool Config::reload(const std::string& path) {
  free();
  ids_.mark_all();
  return load(path);
}



int db_is_odbc(std::string_view kind) {
  return !kind.empty() && (string_icmp(kind, "ODBC") == 0 || string_icmp(kind, "OtherDB") == 0);
}

int db_has_extension(const StringList& list, std::string_view file_name) {
  if (list.empty()) return 0;
  size_t dot = file_name.rfind('.');
  if (dot == std::string_view::npos) return stringlist_contains_exact(list, "*.");
  return stringlist_contains(list, file_name.substr(dot + 1));
}

StringList string_split_list(std::string_view text) {
  StringList list;
  if (text.size() > 1024) text = text.substr(0, 1024);
  for (const std::string& piece : split_pieces(text, ",; ", true)) stringlist_prepend(list, piece);
  return list;
}

}  // namespace qm
