// DatabaseCatalog: the desktop's access to the configuration file and to the index
// databases it lists. Each form that needs one owns an instance; every instance keeps
// its own configuration table (common/config.h over its own DatabaseIdSet,
// common/dbid.h) and loads its own configuration trees (common/ini.h), so no two users
// share a table. An operation that needs the table loads it afresh from the file and
// frees it again, unless the caller holds it open (OpenConfig ... CloseConfig, nested
// freely) for a batch of lookups; a change is saved at once and the held table reloaded.
//
// The catalogue reads the configuration with the desktop's rules of the common library
// (common_set_desktop_profile(true), set by the program at start).
//
// Also here: the tree's database logic (fill, prune, names, Folder.dat, deleting; the
// model is folder_tree.h), the rows of the database list and the dates of the hit list
// as plain data for the views, the mail side-file readers (mail_side_files.h), deleting a
// database's files and clearing the keyword cache. The entry writers are entries.h.
#pragma once
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/config.h"
#include "common/dbid.h"
#include "desktop/catalogue/folder_tree.h"
#include "desktop/catalogue/mail_side_files.h"

namespace qm {

// Fields of a database entry by kind number.
enum EntryFieldKind : int {
  kFieldHtmlDir = 0,
  kFieldWorkDir = 1,
  kFieldHomeUrl = 2,
  kFieldDescription = 3,
  kFieldDefaultHTML = 4,
};

// Text ids of the database list's status column.
enum StatusTextId : int {
  kTextIndexed = 8003,
  kTextBuildStopped = 8005,
  kTextBuildFailed = 8006,
  kTextBuilding = 8002,
  kTextNotIndexed = 9027,
};

// One row of the database list (what the list view shows).
struct DatabaseRow {
  int id = 0;
  std::string text;       // "<id>.<Description>"
  std::string time_text;  // last index time (FileTimeText of fulltext.db)
  bool checked = false;
  int status_text = 0;    // text id of the status column; 0 = empty
};

struct HitLink {
  int database_id = 0;
  int document = 0;
};

class DatabaseCatalog {
 public:
  static constexpr char kFirstName[] = "vesprin.ini";
  static constexpr char kSecondName[] = "vespNlm.ini";
  // Gateway library named in a mail database's DataInputPort.
  static constexpr char kGatewayLibrary[] = "libpostbridge.so";

  // Init: the configuration file in program_dir (ending in "/"): vesprin.ini when it
  // exists, else vespNlm.ini when that exists, else vesprin.ini; each also by a
  // case-blind match.
  explicit DatabaseCatalog(std::string program_dir);
  ~DatabaseCatalog();
  DatabaseCatalog(const DatabaseCatalog&) = delete;
  DatabaseCatalog& operator=(const DatabaseCatalog&) = delete;

  const std::string& ProgramDir() const { return program_dir_; }
  const std::string& ConfigPath() const { return config_path_; }
  // The mail gateway library a mail database's DataInputPort names.
  std::string GatewayPath() const { return program_dir_ + kGatewayLibrary; }
  // The configuration file could be opened for reading at construction.
  bool ConfigReadable() const { return readable_; }

  // ---- Configuration and table ----
  // Loads the table (every database of INDEX, inactive ones too) unless it is held open
  // already; nested calls count. Always true; a file that cannot be read gives an empty
  // table.
  bool OpenConfig();
  // Frees the table when the outermost holder closes it.
  void CloseConfig();
  bool TableLoaded() const { return depth_ > 0; }
  // Reads the file afresh into a table held open (after another writer changed it).
  void RefreshConfig() { reload_if_held(); }

  int DatabaseCount();
  // The id of database index i; -1 outside the table.
  int DatabaseIdAt(int i);
  // The index of id in the table; -1 when absent.
  int DatabaseIndexOf(int id);
  bool HasDatabase(int id);
  // Marks id active in the held table, adding it when absent (the wizard's new
  // database). false when the table is not held open or id is not 1..65535.
  bool MarkDatabaseActive(int id);
  // The smallest id from 1 up that the table lacks; 0 when that would be 999 or more.
  int NextFreeDatabaseId();
  std::string DatabaseEntryField(int i, int kind);
  std::string DatabaseWorkDir(int id);
  std::string DatabaseDescription(int id);
  bool DatabaseDirs(int id, std::string& work_dir, std::string& html_dir);
  // Some database's WorkDir names dir (both made absolute and normalised).
  bool IsIndexDirectoryUsed(const std::string& dir);
  // Some database other than except_id is described by exactly name (blanks around it
  // not counted), so a new one of that name would stand twice in the tree.
  bool IsDatabaseNameUsed(std::string_view name, int except_id = 0);
  // Key Mail / Attach of DB-<id> is "1".
  bool IsMailDatabase(int id);
  bool HasAttachments(int id);

  // Size of WorkDir + "fulltext.db" of database i; 0 when it cannot be read.
  long long FulltextSize(int i);
  static long long FileSize(const std::string& path);
  // Last write time of the file in local time, "%d/%02d/%02d %s %02d:%02d" with year,
  // month, day, "AM"/"PM", the hour on a 12-hour clock (12, 1, ..., 11) and minute;
  // empty when the file cannot be examined.
  static std::string FileTimeText(const std::string& path);
  static std::string TimeText(std::time_t when);
  // The database id (last "s" token) and document number (last "i" token) of a hit's
  // link query; 0 when absent.
  static HitLink ParseHitLink(std::string_view text);
  // The document of a hit: a mail database's HtmlDir; else HtmlDir + relative path.
  std::string HitDocumentPath(int id, std::string_view relative_path);

  // ---- Views as plain data ----
  // One row per database in table order; rows whose id is in checked stay checked.
  std::vector<DatabaseRow> DatabaseRows(const std::vector<int>& checked);
  // The status text of a build event code (1 stopped, 2 failed, 9 building, 8 no index,
  // other indexed).
  static int StatusTextForCode(int code);
  // The refreshed row of a database after a build event; nullopt when id is unknown.
  std::optional<DatabaseRow> UpdatedDatabaseRow(int id, int code);
  // The date column of a hit: mail databases the message date ("yyyy/mm/dd", or
  // "????/??/??" when unreadable); documents the last write time of the file (a page
  // document's "(page)" part cut off). name = the hit's relative path, number = its
  // document number text.
  std::string HitDateText(int id, std::string_view name, std::string_view number);

  // ---- The tree (model in folder_tree.h) ----
  // Adds the databases the tree lacks (each under its one-time Group folder, whose key
  // is then cleared), prunes and renames (below). The tree has its root.
  void FillDatabaseTree(FolderTree& tree);
  bool IsDatabaseMissingFromTree(const FolderTree& tree, int id) const;
  // Removes database nodes whose id left the table (and repeated nodes of one id); sets
  // state 5 where fulltext.db is empty and brings 5 back to 4 where it is not.
  void PruneDatabaseTree(FolderTree& tree);
  // Every database node takes its database's Description.
  void RefreshTreeNames(FolderTree& tree);
  // Folder.dat in the program directory. Save: false for an empty tree or a failed
  // write. Load: a missing or empty file gives one root of root_text; always true.
  std::string FolderDatPath() const;
  bool SaveFolderTree(const FolderTree& tree);
  bool LoadFolderTree(FolderTree& tree, std::string_view root_text);
  // A name typed for node: checked by the tree (folder_tree.h) and, for a database,
  // stored as its Description. 0 when taken or unchanged; kTextBadName (the old name
  // stays) for an empty or duplicate name; -1 for the root, which keeps its name.
  int RenameTreeNode(FolderTree& tree, TreeNode* node, std::string_view typed);
  // Deletes the databases at and below node, then removes node (not the root).
  bool DeleteTreeNode(FolderTree& tree, TreeNode* node);

  // ---- Maintenance ----
  // Removes DB-<id> and INDEX/<id>, then the database's files unless another database
  // still uses its WorkDir. false when id is not in the file.
  bool DeleteDatabase(int id);
  // Deletes the index files of database i (see catalogue.cpp for exactly which).
  void DeleteDatabaseFiles(int i);
  bool RenameDatabase(int id, std::string_view text);
  std::string DefaultDatabaseName();
  std::string DefaultIndexDirectory();
  // program dir + "DB/" + name as a UTF-8 file name + "/" ("db-<id>" when the name
  // gives nothing usable).
  std::string IndexDirectoryFor(std::string_view name, int id);
  // Removes the keyword cache files under CacheDir; never an empty, root or home path.
  // true when a cache folder was cleared.
  bool ClearCache();

  // ---- Mail side files (readers in mail_side_files.h) ----
  bool ReadMailRecord(int id, int n, std::string& date, std::string& subject, std::string& sender);
  bool ReadMailDate(int id, int n, std::string& date);
  bool ReadAttachInfo(int id, int n, std::vector<mail_side::AttachInfoRecord>& out);
  std::vector<int> ListMailsWithAttachments(int id);
  // Keeps MailProperty.db open between calls for one database.
  bool ReadMailSender(int id, int n, std::string& sender);
  void CloseMailSenderFile();

 private:
  // Holds the table open for one operation.
  class Hold {
   public:
    explicit Hold(DatabaseCatalog& c) : c_(c) { c_.OpenConfig(); }
    ~Hold() { c_.CloseConfig(); }

   private:
    DatabaseCatalog& c_;
  };
  void load_table();
  void reload_if_held();
  const DatabaseEntry* entry_of(int id);
  void delete_files(const std::string& work_dir, bool mail);

  std::string program_dir_;
  std::string config_path_;
  bool readable_ = false;
  int depth_ = 0;
  DatabaseIdSet ids_;
  Config config_{ids_};
  MailSenderReader sender_reader_;
  int sender_id_ = -1;
};

}  // namespace qm
