// The web search form (see web_srch_form.h).
#include "desktop/forms/web_srch_form.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "desktop/app.h"
#include "desktop/big5_qt.h"
#include "desktop/forms/form_ui.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"
#include "desktop/web_search.h"

namespace qm {
TWebSrchForm::TWebSrchForm(std::string host, std::function<void(const std::string&)> open,
                           QWidget* parent)
    : QDialog(parent), host_(std::move(host)), open_(std::move(open)) {
  setObjectName(QStringLiteral("WebSrchForm"));
  auto* layout = new QHBoxLayout(this);
  auto* panel = named(new QFrame(this), "Panel1");
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* left = new QVBoxLayout(panel);
  left->setContentsMargins(1, 1, 1, 1);
  // FormCreate: the picture.
  Image1 = named(new QLabel(panel), "Image1");
  const QPixmap picture = desktop_picture("IDB_WEBFIND");
  Image1->setPixmap(picture);
  Image1->setCursor(Qt::PointingHandCursor);
  Image1->installEventFilter(this);
  left->addWidget(Image1);
  left->addStretch();
  layout->addWidget(panel);

  auto* right = new QVBoxLayout;
  lbl1 = named(new QLabel(this), "lbl1");
  right->addWidget(lbl1);
  editStrings = named(new QLineEdit(this), "editStrings");
  editStrings->setMinimumWidth(300);
  right->addWidget(editStrings);
  // The operator hint beside its caption.
  auto* operators = new QHBoxLayout;
  lbl3 = named(new QLabel(this), "lbl3");
  lblOperator = named(new QLabel(this), "lblOperator");
  lblOperator->setText(QStringLiteral("AND~[*]  OR~[+]  NOT~[-]"));
  operators->addWidget(lbl3);
  operators->addWidget(lblOperator, 1);
  right->addLayout(operators);
  lbl2 = named(new QLabel(this), "lbl2");
  right->addWidget(lbl2);
  auto* scopes = new QGridLayout;
  radio1 = named(new QRadioButton(this), "radio1");
  radio2 = named(new QRadioButton(this), "radio2");
  radio3 = named(new QRadioButton(this), "radio3");
  radio4 = named(new QRadioButton(this), "radio4");
  scopes->addWidget(radio1, 0, 0);
  scopes->addWidget(radio2, 0, 1);
  scopes->addWidget(radio3, 1, 0);
  scopes->addWidget(radio4, 1, 1);
  right->addLayout(scopes);
  lbl4 = named(new QLabel(this), "lbl4");
  lbl4->setWordWrap(true);
  right->addWidget(lbl4);
  right->addStretch();
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  BtnOk = named(new QPushButton(this), "BtnOk");
  BtnOk->setDefault(true);
  BtnOk->setEnabled(false);
  btnCancel = named(new QPushButton(this), "btnCancel");
  btnCancel->setAutoDefault(false);
  buttons->addWidget(BtnOk);
  buttons->addWidget(btnCancel);
  right->addLayout(buttons);
  layout->addLayout(right);

  const std::pair<QRadioButton*, char> scope_of[] = {
      {radio1, '1'}, {radio2, '2'}, {radio3, '3'}, {radio4, '0'}};
  for (auto [radio, c] : scope_of)
    connect(radio, &QRadioButton::clicked, this, [this, c = c] { scope_ = c; });
  connect(editStrings, &QLineEdit::textChanged, this, &TWebSrchForm::editStringsChange);
  connect(BtnOk, &QPushButton::clicked, this, &TWebSrchForm::BtnOkClick);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TWebSrchForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
}

void TWebSrchForm::FormActivate() {
  setWindowTitle(ui_text(text::kWebSearch));
  lbl1->setText(ui_text(text::kWebLabel1));
  lbl2->setText(ui_text(text::kWebLabel2));
  lbl3->setText(ui_text(text::kWebLabel3));
  lbl4->setText(ui_text(text::kWebLabel4));
  lblOperator->setText(ui_text(text::kWebOperators));
  radio1->setText(ui_text(text::kWebScope1));
  radio2->setText(ui_text(text::kWebScope2));
  radio3->setText(ui_text(text::kWebScope3));
  radio4->setText(ui_text(text::kWebScope0));
  BtnOk->setText(ui_text(text::kButtonOk));
  btnCancel->setText(ui_text(text::kButtonCancel));
  radio4->setChecked(true);
  scope_ = '0';
}

void TWebSrchForm::editStringsChange() {
  // Words of blanks only are emptied; blanks between words stay while typing (the ends
  // are trimmed when the address is built).
  if (!editStrings->text().isEmpty() && editStrings->text().trimmed().isEmpty())
    editStrings->clear();
  BtnOk->setEnabled(!editStrings->text().trimmed().isEmpty());
}

void TWebSrchForm::BtnOkClick() {
  std::string words;
  if (!qstring_to_big5_or_warn(editStrings->text().trimmed(), words)) return;
  if (words.empty()) return;
  if (open_) open_(web_search_address(host_, words, scope_));
  accept();
}

void TWebSrchForm::Image1Click() {
  if (open_) open_(web_search_home(host_));
}

bool TWebSrchForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Image1 && event->type() == QEvent::MouseButtonRelease) {
    Image1Click();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace qm
