// The plain-text extensions dialog (see local_adv_txt_form.h).
#include "desktop/forms/local_adv_txt_form.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "desktop/big5_qt.h"
#include "desktop/forms/form_ui.h"
#include "desktop/plain_ext.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"

namespace qm {

TLocalAdvTxtF::TLocalAdvTxtF(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("LocalAdvTxtF"));
  auto* layout = new QVBoxLayout(this);
  GroupBox1 = new QGroupBox(this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  auto* group = new QVBoxLayout(GroupBox1);
  LabelTxtType = new QLabel(GroupBox1);
  LabelTxtType->setObjectName(QStringLiteral("LabelTxtType"));
  group->addWidget(LabelTxtType);
  auto* row = new QHBoxLayout;
  editTxtType = new QLineEdit(GroupBox1);
  editTxtType->setObjectName(QStringLiteral("editTxtType"));
  editTxtType->setMaxLength(5);
  editTxtType->installEventFilter(this);
  btnAdd = new QPushButton(GroupBox1);
  btnAdd->setObjectName(QStringLiteral("btnAdd"));
  btnAdd->setAutoDefault(false);
  btnRemove = new QPushButton(GroupBox1);
  btnRemove->setObjectName(QStringLiteral("btnRemove"));
  btnRemove->setAutoDefault(false);
  row->addWidget(editTxtType);
  row->addWidget(btnAdd);
  row->addWidget(btnRemove);
  group->addLayout(row);
  listboxTxtType = new QListWidget(GroupBox1);
  listboxTxtType->setObjectName(QStringLiteral("listboxTxtType"));
  listboxTxtType->setSelectionMode(QAbstractItemView::ExtendedSelection);
  group->addWidget(listboxTxtType);
  layout->addWidget(GroupBox1);
  btnOk = new QPushButton(this);
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnOk->setDefault(true);
  layout->addWidget(btnOk, 0, Qt::AlignRight);

  connect(btnAdd, &QPushButton::clicked, this, &TLocalAdvTxtF::btnAddClick);
  connect(btnRemove, &QPushButton::clicked, this, &TLocalAdvTxtF::btnRemoveClick);
  connect(btnOk, &QPushButton::clicked, this, &TLocalAdvTxtF::btnOkClick);
}

void TLocalAdvTxtF::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
}

void TLocalAdvTxtF::FormActivate() {
  setWindowTitle(utf8_to_qstring(load_text(text::kTextExtCaption)));
  LabelTxtType->setText(utf8_to_qstring(load_text(text::kTextExtLabel)));
  btnAdd->setText(utf8_to_qstring(load_text(text::kButtonAdd)));
  btnRemove->setText(utf8_to_qstring(load_text(text::kButtonRemove)));
  btnOk->setText(utf8_to_qstring(load_text(text::kButtonOk)));
  listboxTxtType->clear();
  editTxtType->clear();
  for (const std::string& ext : PlainExtList(ExtensionText))
    listboxTxtType->addItem(big5_to_qstring(ext));
}

void TLocalAdvTxtF::btnAddClick() {
  if (editTxtType->text().isEmpty()) return;
  std::string edit;
  if (!qstring_to_big5(editTxtType->text(), edit)) return;  // not letters and digits anyway
  const std::string ext = PlainExtNormalise(edit);
  editTxtType->setText(big5_to_qstring(ext));
  std::vector<std::string> list;
  for (int i = 0; i < listboxTxtType->count(); ++i) {
    std::string item;
    qstring_to_big5(listboxTxtType->item(i)->text(), item);
    list.push_back(std::move(item));
  }
  if (PlainExtAccept(list, ext)) listboxTxtType->addItem(big5_to_qstring(ext));
}

void TLocalAdvTxtF::btnRemoveClick() {
  // The first entry "txt" stays.
  for (int i = listboxTxtType->count() - 1; i >= 1; --i)
    if (listboxTxtType->item(i)->isSelected()) delete listboxTxtType->takeItem(i);
}

void TLocalAdvTxtF::btnOkClick() {
  std::vector<std::string> list;
  for (int i = 0; i < listboxTxtType->count(); ++i) {
    std::string item;
    qstring_to_big5(listboxTxtType->item(i)->text(), item);
    list.push_back(std::move(item));
  }
  ExtensionText = PlainExtText(list);
  accept();
}

void TLocalAdvTxtF::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    reject();  // the extension text stays as it was
    return;
  }
  QDialog::keyPressEvent(event);
}

bool TLocalAdvTxtF::eventFilter(QObject* watched, QEvent* event) {
  if (enter_pressed_in(watched, editTxtType, event)) {
    btnAddClick();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace qm
