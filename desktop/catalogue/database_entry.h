// One database's entry as the database add/edit form edits it: loading DB-<id> into the
// form's fields (LocalFileType split into the eight type boxes and the other plain-text
// extensions), the checks before saving with their message numbers in order, and writing
// INDEX/<id> and DB-<id> (documents, or mail with its DataInputPort). Qt-free, over the
// catalogue (catalogue.h) and common/ini.h; desktop/forms/rebuild_form.cpp calls it.
#pragma once
#include <string>

#include "desktop/catalogue/catalogue.h"

namespace qm {

struct DatabaseEntryFields {
  bool mail = false;
  std::string name;          // Description
  std::string doc_folder;    // documents: HtmlDir
  std::string mail_file;     // mail: HtmlDir (the store)
  std::string index_folder;  // WorkDir
  // Type boxes: txt, htm+html, pgx, doc, xls, ppt, pdf, rtf.
  bool txt = true, htm = true, pgx = true, doc = true, xls = true, ppt = true, pdf = false,
       rtf = true;
  std::string other_ext;  // plain-text extensions besides txt, comma-separated
  int mail_type = 0;      // 0-4; 4 is the mail-client store
  bool attach = false;
  std::string mail_key;   // "outlook:" + folder key, mail-client stores
  std::string group;      // mail: the tree folder shown first (the wizard's), "" for none
};

inline constexpr char kMailKeyPrefix[] = "outlook:";

// Fills fields from DB-<id> (Description from the table). false when id is unknown.
bool LoadDatabaseEntry(DatabaseCatalog& catalog, int id, DatabaseEntryFields& fields);

// The checked type boxes as FileTypeChoice bits (entries.h).
unsigned FileTypeChoices(const DatabaseEntryFields& fields);

// LocalFileType of the checked boxes in the order txt, "htm,html", pgx, doc, xls, ppt,
// pdf, rtf; the other extensions follow txt's group at the end when txt is checked.
std::string LocalFileTypeText(const DatabaseEntryFields& fields);

// A folder written with one trailing "/" ("" stays "").
std::string EntryFolderText(std::string_view folder);

// The checks before saving, fields trimmed first: 0 when they pass, else the message
// number (9016 also empties the document folder; 9011, 9012, 9013, 9014, 9028; 9018 when
// another database uses the index folder; 1423 when another database has the name).
// current_work_dir is the database's WorkDir when editing ("" when adding); id is the
// database's own, whose name is no clash.
int CheckDatabaseEntry(DatabaseCatalog& catalog, DatabaseEntryFields& fields, bool adding,
                       const std::string& current_work_dir, int id = 0);

// Checks, then writes INDEX/<id> = 1 and DB-<id>. 0 on success, else the check's message
// number, or -1 when the file could not be written.
int SaveDatabaseEntry(DatabaseCatalog& catalog, int id, DatabaseEntryFields& fields, bool adding);

}  // namespace qm
