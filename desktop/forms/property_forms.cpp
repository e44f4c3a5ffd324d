// The property dialogs (see property_forms.h).
#include "desktop/forms/property_forms.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QToolButton>
#include <QVBoxLayout>

#include "desktop/big5_qt.h"
#include "desktop/forms/form_ui.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"

namespace qm {
namespace {

QLineEdit* grey_edit(QWidget* parent, const char* name) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(QString::fromLatin1(name));
  e->setReadOnly(true);
  QPalette p = e->palette();
  p.setColor(QPalette::Base, p.color(QPalette::Window));
  e->setPalette(p);
  e->setMinimumWidth(320);
  return e;
}

QLabel* label(QWidget* parent, const char* name) {
  auto* l = new QLabel(parent);
  l->setObjectName(QString::fromLatin1(name));
  return l;
}

}  // namespace

// ---- TDocPtyForm ----

TDocPtyForm::TDocPtyForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("DocPtyForm"));
  auto* layout = new QVBoxLayout(this);
  lblCaption = label(this, "lblCaption");
  QFont bold = lblCaption->font();
  bold.setBold(true);
  lblCaption->setFont(bold);
  layout->addWidget(lblCaption);
  lblDBName = label(this, "lblDBName");
  layout->addWidget(lblDBName);
  auto* form = new QFormLayout;
  lblType = label(this, "lblType");
  editDocType = grey_edit(this, "editDocType");
  form->addRow(lblType, editDocType);
  lblMailFile = label(this, "lblMailFile");
  editHtmlDir = grey_edit(this, "editHtmlDir");
  form->addRow(lblMailFile, editHtmlDir);
  lblSender = label(this, "lblSender");
  editSender = grey_edit(this, "editSender");
  form->addRow(lblSender, editSender);
  lblTitle = label(this, "lblTitle");
  editTitle = grey_edit(this, "editTitle");
  form->addRow(lblTitle, editTitle);
  lblDate = label(this, "lblDate");
  editDate = grey_edit(this, "editDate");
  form->addRow(lblDate, editDate);
  layout->addLayout(form);
  btnOk = new QPushButton(this);
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnOk->setDefault(true);
  layout->addWidget(btnOk, 0, Qt::AlignRight);
  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);  // btnOkClick
}

void TDocPtyForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
}

void TDocPtyForm::FormActivate() {
  setWindowTitle(ui_text(text::kDocPtyCaption));
  lblType->setText(ui_text(text::kDocPtyType));
  lblMailFile->setText(ui_text(text::kDocPtyMailFile));
  lblDate->setText(ui_text(text::kDocPtyDate));
  lblTitle->setText(ui_text(text::kDocPtyTitle));
  lblSender->setText(ui_text(text::kDocPtySender));
  btnOk->setText(ui_text(text::kButtonOk));
}

void TDocPtyForm::ShowProperties(const DocProperties& p) {
  lblCaption->setText(p.caption);
  editDocType->setText(p.type);
  lblDBName->setText(p.database);
  editSender->setText(p.sender);
  editTitle->setText(p.title);
  editDate->setText(p.date);
  editHtmlDir->setText(p.path);
  // A document hit has no sender.
  const bool sender = !p.sender.isEmpty() && p.sender != QStringLiteral("0");
  lblSender->setVisible(sender);
  editSender->setVisible(sender);
}

// ---- TBMPtyForm ----

QString bookmark_file_filter(const QString& text) {
  QStringList entries;
  if (text.contains(QLatin1Char('|'))) {
    const QStringList parts = text.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
      QString patterns = parts[i + 1];
      patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
      // The description may show the patterns already: they are given once, in parentheses.
      QString description = parts[i];
      const qsizetype paren = description.indexOf(QLatin1Char('('));
      if (paren > 0) description = description.left(paren).trimmed();
      entries << description + QStringLiteral(" (") + patterns.simplified() + QLatin1Char(')');
    }
  } else {
    entries = text.split(QStringLiteral(";;"), Qt::SkipEmptyParts);
  }
  static const QRegularExpression inside(QStringLiteral("\\(([^)]*)\\)"));
  for (QString& e : entries) {
    const QRegularExpressionMatch m = inside.match(e);
    if (!m.hasMatch()) continue;
    QString patterns = m.captured(1);
    patterns.replace(QLatin1Char(','), QLatin1Char(' ')).replace(QLatin1Char(';'), QLatin1Char(' '));
    e.replace(m.capturedStart(1), m.capturedLength(1), patterns.simplified());
  }
  return entries.join(QStringLiteral(";;"));
}

TBMPtyForm::TBMPtyForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("BMPtyForm"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  lblBMName = label(this, "lblBMName");
  edtCaption = new QLineEdit(this);
  edtCaption->setObjectName(QStringLiteral("edtCaption"));
  edtCaption->setMinimumWidth(320);
  form->addRow(lblBMName, edtCaption);
  lblBookMark = label(this, "lblBookMark");
  auto* row = new QHBoxLayout;
  editBookMark = grey_edit(this, "editBookMark");
  SpeedButton1 = new QToolButton(this);
  SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
  SpeedButton1->setText(QStringLiteral("..."));
  row->addWidget(editBookMark);
  row->addWidget(SpeedButton1);
  form->addRow(lblBookMark, row);
  layout->addLayout(form);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  btnOk = new QPushButton(this);
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnOk->setDefault(true);
  btnCancel = new QPushButton(this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  btnCancel->setAutoDefault(false);
  buttons->addWidget(btnOk);
  buttons->addWidget(btnCancel);
  layout->addLayout(buttons);

  // FormCreate: the browser's filter.
  filter_ = bookmark_file_filter(ui_text(text::kBookmarkFilter));
  choose_ = [](QWidget* parent, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
  };
  connect(SpeedButton1, &QToolButton::clicked, this, &TBMPtyForm::SpeedButton1Click);
  connect(btnOk, &QPushButton::clicked, this, &TBMPtyForm::btnOkClick);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(edtCaption, &QLineEdit::textChanged, this, [this] { edit_changed(edtCaption); });
  connect(editBookMark, &QLineEdit::textChanged, this, [this] { edit_changed(editBookMark); });
}

void TBMPtyForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
}

void TBMPtyForm::FormActivate() {
  setWindowTitle(ui_text(text::kBookmarkPtyCaption));
  lblBookMark->setText(ui_text(text::kBookmarkPtyLabel));
  lblBMName->setText(ui_text(text::kBookmarkName));
  btnOk->setText(ui_text(text::kButtonOk));
  btnCancel->setText(ui_text(text::kButtonCancel));
}

void TBMPtyForm::SetBookmark(const QString& caption, const QString& target) {
  edtCaption->setText(caption.trimmed());
  editBookMark->setText(target.trimmed());
  edit_changed(edtCaption);
}

void TBMPtyForm::edit_changed(QLineEdit* edit) {
  // A text of blanks only is emptied; blanks between words stay while typing (the ends
  // are trimmed when OK takes the texts).
  if (!edit->text().isEmpty() && edit->text().trimmed().isEmpty()) edit->clear();
  btnOk->setEnabled(!edtCaption->text().trimmed().isEmpty() &&
                    !editBookMark->text().trimmed().isEmpty());
}

void TBMPtyForm::SpeedButton1Click() {
  const QString file = choose_ ? choose_(this, filter_) : QString();
  if (file.isEmpty()) return;
  editBookMark->setText(file);
  const QString name = file.mid(file.lastIndexOf(QLatin1Char('/')) + 1);
  if (!name.isEmpty()) edtCaption->setText(name);
}

void TBMPtyForm::btnOkClick() {
  AcceptedCaption = edtCaption->text().trimmed();
  AcceptedTarget = editBookMark->text().trimmed();
  accept();
}

}  // namespace qm
