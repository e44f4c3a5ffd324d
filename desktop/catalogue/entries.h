// The database entries the desktop writes into the configuration file: section INDEX
// and DB-<id> of a document or a mail database, with their keys in a fixed order, the
// file-type list, the mail gateway's DataInputPort, and the names and folders of a
// mail database made from one mail file. Written through the catalogue's own
// configuration tree (common/ini.h: load, set, save, free); used by the index wizard
// and the add/edit form.
#pragma once
#include <string>
#include <string_view>

namespace qm {

class DatabaseCatalog;

// Kinds of mail client (key MailType).
enum MailKind : int {
  kMailOutlookExpress4 = 0,
  kMailOutlookExpress5 = 1,
  kMailNetscape = 2,
  kMailEudora = 3,
  kMailOutlook = 4,  // Outlook 97/98: folders of the mail-store library
};

// Document types chosen for a document database (bits).
enum FileTypeChoice : unsigned {
  kTypeText = 1u << 0,      // "txt"
  kTypeWeb = 1u << 1,       // "htm,html"
  kTypePageDoc = 1u << 2,   // "pgx"
  kTypeWord = 1u << 3,      // "doc"
  kTypeSheet = 1u << 4,     // "xls"
  kTypeSlides = 1u << 5,    // "ppt"
  kTypePdf = 1u << 6,       // "pdf"
  kTypeRtf = 1u << 7,       // "rtf"
};

struct DocumentDatabaseEntry {
  std::string Description;  // as typed (Big5)
  std::string HtmlDir;      // the folder whose documents are indexed
  std::string WorkDir;      // ends in "/"
  unsigned types = 0;       // FileTypeChoice bits
  std::string extra_text_extensions;  // the options' plain-text extensions
};

struct MailDatabaseEntry {
  std::string Description;
  std::string MailKey;      // "outlook:<key>" for the Outlook kind, else empty
  std::string gateway;      // program dir + "libpostbridge.so"
  std::string WorkDir;      // ends in "/"
  std::string mail_source;  // HtmlDir
  std::string Group;        // tree folder for the first placement; may be empty
  int MailType = 0;         // MailKind
  bool Attach = false;
};

// The LocalFileType value: the chosen types joined by "," in fixed order, then, when
// plain text is chosen and extra extensions are set (neither empty nor "0"), those.
std::string local_file_type_value(unsigned types, std::string_view extra_text_extensions);
// "%s;%s;%s" gateway, source, WorkDir; for the Outlook kind with a MailKey
// "%s;%s;%s;%s" gateway, MailKey, WorkDir, source.
std::string data_input_port_value(const MailDatabaseEntry& entry);

// Writes INDEX/<id> = "1" and DB-<id> (Description, HtmlDir, WorkDir, LocalFileType);
// a table the caller holds open is read again, so it holds the new database. A DB-<id> left over from an
// earlier database is replaced whole. false when id is not 1..998 or the file cannot be
// saved (nothing changes).
bool WriteDocumentDatabaseEntry(DatabaseCatalog& catalog, int id, const DocumentDatabaseEntry& e);
// The same for a mail database: MailKey (Outlook kind with a key only), Description,
// HtmlDir, WorkDir, DataInputPort, Group, Mail "1", MailType, Attach.
bool WriteMailDatabaseEntry(DatabaseCatalog& catalog, int id, const MailDatabaseEntry& e);

// Names of a mail database made from one row of the wizard's mail-file list: for the
// Outlook kind caption = the folder's display name and detail = its key in the mail
// store; for the others caption = file name and detail = the folder holding it.
struct MailNames {
  std::string Description;
  std::string mail_source;
  std::string MailKey;
  std::string WorkDir;
};
MailNames mail_names_from_row(int mail_kind, std::string_view caption, std::string_view detail);
// The Description of a mail database named after a mail file: the file name's Big5 form
// (a UTF-8 name converted, a Big5 one kept, a character without a Big5 form a blank),
// blanks around it trimmed. The name stays the file system's bytes in the source path.
std::string mail_database_name(std::string_view file_stem);
// WorkDir := IndexDirectoryFor(Description); while another database uses that folder
// or has that name,
// the folder and the Description both get "(n)" for n = 2, 3, ..., each made from the
// base name. id names the folder when the name gives none.
void mail_names_place(DatabaseCatalog& catalog, MailNames& names, int id);

}  // namespace qm
