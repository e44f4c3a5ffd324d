// The database-entry fields that the index wizard and the database add/edit form both
// gather from their own controls: the eight document-type boxes (made with their
// captions, read into and shown from DatabaseEntryFields) and a line edit's text in
// Big5. Builds on catalogue/database_entry.h and big5_qt.h; wizard_form.cpp and
// rebuild_form.cpp call it.
#pragma once
#include <array>
#include <string>

#include "desktop/catalogue/database_entry.h"

class QCheckBox;
class QLineEdit;
class QWidget;

namespace qm {

// The type boxes in LocalFileType order: txt, htm, pgx, doc, xls, ppt, pdf, rtf.
struct DocumentTypeBoxes {
  QCheckBox *txt = nullptr, *htm = nullptr, *pgx = nullptr, *doc = nullptr, *xls = nullptr,
            *ppt = nullptr, *pdf = nullptr, *rtf = nullptr;

  // The eight boxes with their captions, children of parent, unchecked.
  static DocumentTypeBoxes Make(QWidget* parent);
  std::array<QCheckBox*, 8> all() const { return {txt, htm, pgx, doc, xls, ppt, pdf, rtf}; }
  bool AnyChecked() const;
  void SetAll(bool checked) const;
  void Read(DatabaseEntryFields& fields) const;
  void Show(const DatabaseEntryFields& fields) const;
  // Points a form's named boxes (chkTxt ... chkRTF) at these.
  template <class Form>
  void NameIn(Form& form) const {
    form.chkTxt = txt;
    form.chkHtm = htm;
    form.chkPgx = pgx;
    form.chkWord = doc;
    form.chkExcel = xls;
    form.chkPower = ppt;
    form.chkPdf = pdf;
    form.chkRTF = rtf;
  }
};

// The edit's text as Big5 bytes, as typed (the entry checks trim it).
std::string EditBytes(const QLineEdit* edit);

// A document database's fields as a form holds them: the name (Big5), the document folder
// and the index folder (path bytes, path_qt.h) from their edits, the type boxes and the other plain-text extensions.
DatabaseEntryFields DocumentEntryFields(const QLineEdit* name, const QLineEdit* folder,
                                        const QLineEdit* index_folder, const DocumentTypeBoxes& types,
                                        const std::string& other_ext);

}  // namespace qm
