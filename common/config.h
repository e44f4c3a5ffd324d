// The configuration loader: turns vesprin.ini into one SearchSettings record (section
// VESPRIN) and a DatabaseTable with one DatabaseEntry per database of the id set
// (sections INDEX and DB-<id>), plus the excluded-path and alias lists of every database
// (StopPath-<id>, Alias-<id>). Builds on common/ini.h (the file), common/dbid.h (which
// databases), common/strings.h and common/files.h; common/dbini.h writes the database
// sections and reloads through here.
//
// Two builds of the rules: the search engine's (default) and the desktop application's
// (common_desktop_profile() in common/strings.h): the desktop reads only TextExtName and
// PageSavePath from VESPRIN and includes databases it cannot read as empty slots. The
// search engine's load fails with a message (Config::error) when the file cannot be read
// or a required key (Searcher, HomePage, SystemAdm) is absent; the program's entry ends
// the run with it (fatal_text, common/files.h). Nothing here ends the process.
//
// Values that name files or folders have their "\" separators made "/" once, here.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/strings.h"

namespace qm {

// The keyword mark the search engine writes when the configuration names none.
inline constexpr const char* kDefaultMarkBeginText = "<FONT COLOR=#FF0000>";

class DatabaseIdSet;
class IniTree;

struct SearchSettings {
  std::string CacheDir;          // 259, then "/" added when set
  bool CacheFile = false;
  int MatchRate = 0;             // 50..100
  int Precision = 0;             // -100..100
  std::string ActivePage;        // 1023, blanks trimmed
  std::string UseOtherSearcher;  // 1023, blanks trimmed
  std::string Searcher;          // 259, required
  std::string Marker;            // 259
  bool MarkerGiven = false;      // Marker came from the file, not from Searcher
  std::string HomePage;          // 259, required
  std::string HomePageBase;      // 1023: HomePage up to and including its last "/"
  std::string SystemAdm;         // 259, required
  std::string TmplFirstQuery;    // 259 each
  std::string TmplNextQuery;
  std::string TmplZeroHit;
  std::string TmplError;
  int ParaPerPage = 0;
  std::string MarkBeginText;
  std::string MarkEndText;
  std::string PageSavePath;      // ends in "/"
  int MaxParsingTime = 0;        // 10..600
  std::string ContentType;
  bool UseProxy = false;
  std::string ProxyIP;           // 1023
  int ProxyPort = 0;
  int DirDepth = 0;              // >= 1
  int DownToDepth = 0;           // >= 1
  int TraverseOpt = 0;           // 0..4
  bool ShutdownModem = false;
  bool Connection = false;
  std::string DialupEntry;       // 1023
  StringList TextExtName;        // desktop only
};

// One index database. A slot that was not read holds at most its Id.
struct DatabaseEntry {
  uint16_t Id = 0;
  std::string HtmlDir;           // "http(s):/..." as given, else a folder ending in "/"
  std::string WorkDir;           // folder of the index files, ending in "/"
  std::string HomeUrl;
  std::string Description;
  std::string DefaultHTML;
  std::string HomePageURL;
  std::string CodeConvert;
  std::string NotesDomino;
  std::string DataInputPort;
  int DataInputPortValue = 0;    // the number DataInputPort begins with (desktop)
  int Mail = 0;                  // "1": a mail database, whose hits have no file of their own
  std::string TitleTag;
  int TitleParagraph = 0;
  int MaxDisplayRows = 0;        // 1..6
  int TraverseAll = 0;
  int CgiEnabled = 0;
  int UrlKeepCase = 0;
  int SaveFile = 0;
  int TitleOnly = 0;
  int IndexType = 0;
  std::string DB_Kind;
  std::string ODBC_DSN;
  std::string DB_User;
  std::string DB_Passwd;
  std::string DB_Table;
  std::string Table_Key;
  std::string Table_Doc;
  std::string Key_Data_Type;
  std::string ASP;
  StringList MetaTag;            // empty = none
  StringList LocalFileType;
  StringList RemoteFileType;
};

// Record i describes the i-th id of the id set (its slot); the lists share the slots.
struct DatabaseTable {
  std::vector<DatabaseEntry> entries;
  std::vector<StringList> StopPathLists;  // values of StopPath-<id> keys 1, 2, ... in order
  std::vector<StringList> AliasLists;     // values of Alias-<id> keys 1, 2, ...
  // The slot whose record carries id, or -1.
  int slot_of(uint16_t id) const;
  void clear();
};

// A configuration is a value that a program (or a test) makes over an id set of its own,
// loads and hands to the code that needs it; a process may hold several.
class Config {
 public:
  explicit Config(DatabaseIdSet& ids) : ids_(ids) {}

  // Loads the file at path for the databases of the id set (all of INDEX when the set is
  // marked all). false when a database of the set has no usable INDEX entry (search
  // engine; error() stays empty), or when the file cannot be read or (search engine) a
  // required key is absent: error() then holds the message that ends the run.
  bool load(const std::string& path);
  // The message of the last load that failed on the file or a required key ("" when the
  // last load did not), or the last failure that a writer of common/dbini.h recorded.
  const std::string& error() const { return error_; }
  void set_error(std::string message) { error_ = std::move(message); }
  // The index builder's reading, for the databases of an explicit id set: every key by
  // the search engine's rules, but the keys that only its pages need (Searcher, HomePage,
  // SystemAdm) are not required, and nothing ends the run: false with the reason in
  // error when the file cannot be read, or a database has no section DB-<id> or is not
  // listed in INDEX (or listed inactive while the set excludes inactive ones).
  bool load_for_build(const std::string& path, std::string& error);
  // Reads DB-<id> of tree into slot; false when INDEX lacks the id, or marks it inactive
  // ("0...") while the id set excludes inactive databases.
  bool read_database(const IniTree& tree, size_t slot, uint16_t id);
  // Rebuilds the excluded-path and alias lists of every slot from tree.
  void load_lists(const IniTree& tree);
  void free_lists();
  // Releases settings, table and lists; the id set is left as it is.
  void free();
  // free(), marks the id set all, load(path).
  bool reload(const std::string& path);

  // The program directory (ending in "/") for the default of PageSavePath; when unset,
  // the directory of the configuration file is taken.
  void set_program_dir(const std::string& dir) { program_dir_ = dir; }
  const std::string& program_dir() const { return program_dir_; }
  // The id set the configuration is loaded for.
  const DatabaseIdSet& ids() const { return ids_; }
  bool cache_enabled() const { return settings.CacheFile; }

  SearchSettings settings;
  DatabaseTable table;

 private:
  bool read_settings(const IniTree& tree, const std::string& program_dir, bool require_page_keys);
  std::string program_dir_for(const std::string& path) const;
  void read_desktop_settings(const IniTree& tree, const std::string& program_dir);

  DatabaseIdSet& ids_;
  std::string program_dir_;
  std::string error_;
};


// 1 for "ODBC" or "OtherDB" (case-blind), 0 otherwise.
int db_is_odbc(std::string_view kind);
// Whether the extension after the file name's last "." is listed; a name without "."
// matches the entry "*.". 0 for an empty list.
int db_has_extension(const StringList& list, std::string_view file_name);
// Splits at most the first 1,024 bytes at ",", ";" and " " (no empty pieces); "*.ext"
// becomes "ext". The pieces are held last first; only membership tests read the list.
StringList string_split_list(std::string_view text);

}  // namespace qm
