// The advanced-search dialog (see search_adv_form.h).
#include "desktop/forms/search_adv_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "desktop/big5_qt.h"
#include "desktop/forms/form_ui.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"

namespace qm {
namespace {

QComboBox* keyword_box(QWidget* parent, const char* name) {
  auto* box = named(new QComboBox(parent), name);
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);  // the history grows only at OK
  box->setMinimumWidth(220);
  return box;
}

QDateEdit* date_box(QWidget* parent, const char* name) {
  auto* edit = named(new QDateEdit(parent), name);
  edit->setCalendarPopup(true);
  return edit;
}

std::string date_text(const QDateEdit* edit) {
  const QDate d = edit->date();
  return AdvDateText(d.year(), d.month(), d.day());
}

}  // namespace

TSearchAdvForm::TSearchAdvForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("SearchAdvForm"));
  build();
  FormCreate();
}

void TSearchAdvForm::build() {
  auto* layout = new QVBoxLayout(this);
  Panel2 = named(new QWidget(this), "Panel2");
  auto* top = new QGridLayout(Panel2);
  lblString = named(new QLabel(Panel2), "lblString");
  cmbSrhAdv = keyword_box(Panel2, "cmbSrhAdv");
  cmbOperator1 = named(new QComboBox(Panel2), "cmbOperator1");
  cmbStr1 = keyword_box(Panel2, "cmbStr1");
  cmbOperator2 = named(new QComboBox(Panel2), "cmbOperator2");
  cmbStr2 = keyword_box(Panel2, "cmbStr2");
  btnOk = named(new QPushButton(Panel2), "btnOk");
  btnOk->setDefault(true);
  btnCancel = named(new QPushButton(Panel2), "btnCancel");
  btnCancel->setAutoDefault(false);
  top->addWidget(lblString, 0, 0);
  top->addWidget(cmbSrhAdv, 0, 1);
  top->addWidget(btnOk, 0, 2);
  top->addWidget(cmbOperator1, 1, 0);
  top->addWidget(cmbStr1, 1, 1);
  top->addWidget(btnCancel, 1, 2);
  top->addWidget(cmbOperator2, 2, 0);
  top->addWidget(cmbStr2, 2, 1);
  // The switches left to right; a hidden one takes no room.
  auto* switches = new QHBoxLayout;
  chkH = named(new QCheckBox(Panel2), "chkH");
  chkF = named(new QCheckBox(Panel2), "chkF");
  chkL = named(new QCheckBox(Panel2), "chkL");
  switches->addWidget(chkH);
  switches->addSpacing(10);
  switches->addWidget(chkF);
  switches->addSpacing(10);
  switches->addWidget(chkL);
  switches->addStretch(1);
  top->addLayout(switches, 3, 0, 1, 3);
  layout->addWidget(Panel2);

  PageControl1 = named(new QTabWidget(this), "PageControl1");
  TabSheet2 = named(new QWidget, "TabSheet2");
  TabSheet3 = named(new QWidget, "TabSheet3");
  PageControl1->addTab(TabSheet2, QString());
  PageControl1->addTab(TabSheet3, QString());
  layout->addWidget(PageControl1);

  // The file page.
  auto* filePage = new QVBoxLayout(TabSheet2);
  groupFilter = named(new QGroupBox(TabSheet2), "groupFilter");
  auto* files = new QGridLayout(groupFilter);
  chkFilterName = named(new QCheckBox(groupFilter), "chkFilterName");
  cmbFilterName = named(new QComboBox(groupFilter), "cmbFilterName");
  cmbFilterName->setEditable(true);
  chkFilterDate = named(new QCheckBox(groupFilter), "chkFilterDate");
  labelFrom = named(new QLabel(groupFilter), "labelFrom");
  editTimeF = date_box(groupFilter, "editTimeF");
  labelTo = named(new QLabel(groupFilter), "labelTo");
  editTimeT = date_box(groupFilter, "editTimeT");
  chkFilterSize = named(new QCheckBox(groupFilter), "chkFilterSize");
  cmbSize = named(new QSpinBox(groupFilter), "cmbSize");
  cmbSize->setRange(0, 30000);
  cmbSize->setValue(1);
  labelKB = named(new QLabel(groupFilter), "labelKB");
  cmbKB = named(new QComboBox(groupFilter), "cmbKB");
  files->addWidget(chkFilterName, 0, 0);
  files->addWidget(cmbFilterName, 0, 1, 1, 4);
  files->addWidget(chkFilterDate, 1, 0);
  files->addWidget(labelFrom, 1, 1);
  files->addWidget(editTimeF, 1, 2);
  files->addWidget(labelTo, 1, 3);
  files->addWidget(editTimeT, 1, 4);
  files->addWidget(chkFilterSize, 2, 0);
  files->addWidget(cmbSize, 2, 1, 1, 2);
  files->addWidget(labelKB, 2, 3);
  files->addWidget(cmbKB, 2, 4);
  filePage->addWidget(groupFilter);

  // The mail page.
  auto* mailPage = new QVBoxLayout(TabSheet3);
  groupMailItem = named(new QGroupBox(TabSheet3), "groupMailItem");
  auto* items = new QHBoxLayout(groupMailItem);
  chkMailSubject = named(new QCheckBox(groupMailItem), "chkMailSubject");
  chkMailSender = named(new QCheckBox(groupMailItem), "chkMailSender");
  chkMailContent = named(new QCheckBox(groupMailItem), "chkMailContent");
  items->addWidget(chkMailSubject);
  items->addWidget(chkMailSender);
  items->addWidget(chkMailContent);
  groupMFilter = named(new QGroupBox(TabSheet3), "groupMFilter");
  auto* mailDates = new QHBoxLayout(groupMFilter);
  chkMailDate = named(new QCheckBox(groupMFilter), "chkMailDate");
  labelF = named(new QLabel(groupMFilter), "labelF");
  editMailF = date_box(groupMFilter, "editMailF");
  labelT = named(new QLabel(groupMFilter), "labelT");
  editMailT = date_box(groupMFilter, "editMailT");
  mailDates->addWidget(chkMailDate);
  mailDates->addWidget(labelF);
  mailDates->addWidget(editMailF);
  mailDates->addWidget(labelT);
  mailDates->addWidget(editMailT);
  mailPage->addWidget(groupMailItem);
  mailPage->addWidget(groupMFilter);

  connect(btnOk, &QPushButton::clicked, this, &TSearchAdvForm::btnOkClick);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(cmbSrhAdv, &QComboBox::editTextChanged, this, [this] { cmbSrhAdvChange(); });
  connect(chkFilterName, &QCheckBox::toggled, cmbFilterName, &QWidget::setEnabled);
  connect(chkFilterDate, &QCheckBox::toggled, this, [this](bool on) {
    editTimeF->setEnabled(on);
    editTimeT->setEnabled(on);
  });
  connect(chkFilterSize, &QCheckBox::toggled, this, [this](bool on) {
    cmbSize->setEnabled(on);
    cmbKB->setEnabled(on);
  });
  connect(chkMailDate, &QCheckBox::toggled, this, [this](bool on) {
    editMailF->setEnabled(on);
    editMailT->setEnabled(on);
  });
}

void TSearchAdvForm::FormCreate() {
  setWindowTitle(ui_text(text::kAdvCaption));
  lblString->setText(ui_text(text::kAdvString));
  chkH->setText(ui_text(text::kCheckHomophone));
  chkF->setText(ui_text(text::kCheckFault));
  chkL->setText(ui_text(text::kCheckLexical));
  btnOk->setText(ui_text(text::kButtonOk));
  btnCancel->setText(ui_text(text::kButtonCancel));
  PageControl1->setTabText(0, ui_text(text::kAdvTabFilter));
  PageControl1->setTabText(1, ui_text(text::kAdvTabMail));
  groupFilter->setTitle(ui_text(text::kAdvGroupFilter));
  chkFilterName->setText(ui_text(text::kAdvFilterName));
  chkFilterDate->setText(ui_text(text::kAdvFilterDate));
  chkFilterSize->setText(ui_text(text::kAdvFilterSize));
  labelFrom->setText(ui_text(text::kAdvFrom));
  labelTo->setText(ui_text(text::kAdvTo));
  labelKB->setText(ui_text(text::kAdvKB));
  groupMailItem->setTitle(ui_text(text::kAdvMailItems));
  chkMailSubject->setText(ui_text(text::kAdvMailSubject));
  chkMailSender->setText(ui_text(text::kAdvMailSender));
  chkMailContent->setText(ui_text(text::kAdvMailContent));
  groupMFilter->setTitle(ui_text(text::kAdvMailFilter));
  chkMailDate->setText(ui_text(text::kAdvMailDate));
  labelF->setText(ui_text(text::kAdvFrom));
  labelT->setText(ui_text(text::kAdvTo));
  for (QComboBox* box : {cmbOperator1, cmbOperator2}) {
    box->clear();
    box->addItems({ui_text(text::kAdvOperatorAnd), ui_text(text::kAdvOperatorOr), ui_text(text::kAdvOperatorNot)});
  }
  cmbOperator1->setCurrentIndex(0);
  cmbOperator2->setCurrentIndex(1);
  cmbKB->clear();
  cmbKB->addItems({ui_text(text::kAdvAtLeast), ui_text(text::kAdvAtMost)});
  cmbKB->setCurrentIndex(0);

  btnOk->setEnabled(false);
  for (QWidget* w : {static_cast<QWidget*>(cmbFilterName), static_cast<QWidget*>(editTimeF),
                     static_cast<QWidget*>(editTimeT), static_cast<QWidget*>(cmbSize),
                     static_cast<QWidget*>(cmbKB), static_cast<QWidget*>(editMailF),
                     static_cast<QWidget*>(editMailT)})
    w->setEnabled(false);
  for (QCheckBox* box : {chkFilterName, chkFilterDate, chkFilterSize, chkMailDate}) box->setChecked(false);
  chkMailContent->setChecked(true);
  // Today in every picker (shown in the locale's short form), the two "from" pickers 90
  // days earlier.
  const QDate today = QDate::currentDate();
  for (QDateEdit* edit : {editTimeF, editTimeT, editMailF, editMailT}) edit->setDate(today);
  editMailF->setDate(today.addDays(-90));
  editTimeF->setDate(today.addDays(-90));
  PageControl1->setCurrentWidget(TabSheet2);
}

void TSearchAdvForm::SetKeyword(const std::string& big5) { cmbSrhAdv->setEditText(big5_to_qstring(big5)); }

void TSearchAdvForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
}

void TSearchAdvForm::FormActivate() {
  cmbSrhAdvChange();
  cmbStr1->setEditText(QString());
  cmbStr2->setEditText(QString());
  chkL->setEnabled(NearConceptAllowed);
  PageControl1->setTabVisible(PageControl1->indexOf(TabSheet3), true);
  PageControl1->setCurrentWidget(TabSheet2);
}

void TSearchAdvForm::cmbSrhAdvChange() { btnOk->setEnabled(!cmbSrhAdv->currentText().isEmpty()); }

void TSearchAdvForm::btnOkClick() {
  std::string main, str1, str2;
  if (!qstring_to_big5_or_warn(cmbSrhAdv->currentText(), main) ||
      !qstring_to_big5_or_warn(cmbStr1->currentText(), str1) ||
      !qstring_to_big5_or_warn(cmbStr2->currentText(), str2))
    return;  // the dialog stays open for the text to be mended
  std::string mask;
  if (!qstring_to_big5_or_warn(cmbFilterName->currentText(), mask)) return;
  AdvancedSearchChoice c;
  c.query = AdvComposeQuery(main, AdvOperatorChar(cmbOperator1->currentIndex()), str1,
                            AdvOperatorChar(cmbOperator2->currentIndex()), str2);
  // The further boxes and the main box keep what was searched in their lists.
  for (QComboBox* box : {cmbStr1, cmbStr2}) {
    const QString text = box->currentText();
    if (text.contains(QRegularExpression(QStringLiteral("[^ ]")))) {
      box->addItem(text);
      box->setEditText(text);
    }
  }
  cmbSrhAdv->addItem(cmbSrhAdv->currentText());
  cmbSrhAdv->setEditText(cmbSrhAdv->itemText(cmbSrhAdv->count() - 1));
  c.homophone = chkH->isChecked();
  c.fault = chkF->isChecked();
  c.lexical = chkL->isChecked();
  c.files.name_on = chkFilterName->isChecked();
  c.files.name_mask = mask;
  c.files.date_on = chkFilterDate->isChecked();
  c.files.from_date = date_text(editTimeF);
  c.files.to_date = date_text(editTimeT);
  c.files.size_on = chkFilterSize->isChecked();
  c.files.size_limit = cmbSize->value();
  c.files.at_least = cmbKB->currentIndex() == 0;
  c.mail_fields[0] = chkMailSubject->isChecked();
  c.mail_fields[1] = chkMailSender->isChecked();
  c.mail_fields[2] = chkMailContent->isChecked();
  c.mail_date.on = chkMailDate->isChecked();
  c.mail_date.from_date = date_text(editMailF);
  c.mail_date.to_date = date_text(editMailT);
  c.mail_search = PageControl1->currentWidget() == TabSheet3;
  choice_ = std::move(c);
  accept();
}

void TSearchAdvForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    reject();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace qm
