// The entry fields shared by the wizard and the add/edit form (see entry_fields_ui.h).
#include "desktop/forms/entry_fields_ui.h"

#include <QCheckBox>
#include <QLineEdit>

#include "desktop/big5_qt.h"
#include "desktop/path_qt.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"

namespace qm {

DocumentTypeBoxes DocumentTypeBoxes::Make(QWidget* parent) {
  auto box = [parent](int id) { return new QCheckBox(utf8_to_qstring(load_text(id)), parent); };
  DocumentTypeBoxes b;
  b.txt = box(text::kTypeText);
  b.htm = box(text::kTypeHtml);
  b.pgx = box(text::kTypePgx);
  b.doc = box(text::kTypeWord);
  b.xls = box(text::kTypeExcel);
  b.ppt = box(text::kTypePowerPoint);
  b.pdf = box(text::kTypePdf);
  b.rtf = box(text::kTypeRtf);
  return b;
}

bool DocumentTypeBoxes::AnyChecked() const {
  for (QCheckBox* b : all())
    if (b->isChecked()) return true;
  return false;
}

void DocumentTypeBoxes::SetAll(bool checked) const {
  for (QCheckBox* b : all()) b->setChecked(checked);
}

void DocumentTypeBoxes::Read(DatabaseEntryFields& f) const {
  f.txt = txt->isChecked();
  f.htm = htm->isChecked();
  f.pgx = pgx->isChecked();
  f.doc = doc->isChecked();
  f.xls = xls->isChecked();
  f.ppt = ppt->isChecked();
  f.pdf = pdf->isChecked();
  f.rtf = rtf->isChecked();
}

void DocumentTypeBoxes::Show(const DatabaseEntryFields& f) const {
  txt->setChecked(f.txt);
  htm->setChecked(f.htm);
  pgx->setChecked(f.pgx);
  doc->setChecked(f.doc);
  xls->setChecked(f.xls);
  ppt->setChecked(f.ppt);
  pdf->setChecked(f.pdf);
  rtf->setChecked(f.rtf);
}

std::string EditBytes(const QLineEdit* edit) {
  std::string out;
  qstring_to_big5(edit->text(), out);
  return out;
}

DatabaseEntryFields DocumentEntryFields(const QLineEdit* name, const QLineEdit* folder,
                                        const QLineEdit* index_folder, const DocumentTypeBoxes& types,
                                        const std::string& other_ext) {
  DatabaseEntryFields f;
  f.name = EditBytes(name);
  f.doc_folder = path_edit_bytes(folder);
  f.index_folder = path_edit_bytes(index_folder);
  types.Read(f);
  f.other_ext = other_ext;
  return f;
}

}  // namespace qm
