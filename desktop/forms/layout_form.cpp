// The layout dialog and the about box (see layout_form.h).
#include "desktop/forms/layout_form.h"

#include <QCheckBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "desktop/app.h"
#include "desktop/big5_qt.h"
#include "desktop/forms/form_ui.h"
#include "desktop/maker_pages.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"

namespace qm {
// ---- TLayoutForm ----

TLayoutForm::TLayoutForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("LayoutForm"));
  setMinimumWidth(360);
  auto* layout = new QVBoxLayout(this);
  GroupBox1 = named(new QGroupBox(this), "GroupBox1");
  auto* group = new QVBoxLayout(GroupBox1);
  Label1 = named(new QLabel(GroupBox1), "Label1");
  Label1->setWordWrap(true);
  group->addWidget(Label1);
  chkToolBar = named(new QCheckBox(GroupBox1), "chkToolBar");
  chkTreeView = named(new QCheckBox(GroupBox1), "chkTreeView");
  chkListView = named(new QCheckBox(GroupBox1), "chkListView");
  chkPreview = named(new QCheckBox(GroupBox1), "chkPreview");
  for (QCheckBox* b : {chkToolBar, chkTreeView, chkListView, chkPreview}) group->addWidget(b);
  // The hit list cannot be hidden.
  chkListView->setChecked(true);
  chkListView->setEnabled(false);
  Label2 = named(new QLabel(GroupBox1), "Label2");
  Label2->setWordWrap(true);
  group->addWidget(Label2);
  layout->addWidget(GroupBox1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  btnOk = named(new QPushButton(this), "btnOk");
  btnOk->setDefault(true);
  btnCancel = named(new QPushButton(this), "btnCancel");
  btnApply = named(new QPushButton(this), "btnApply");
  for (QPushButton* b : {btnCancel, btnApply}) b->setAutoDefault(false);
  for (QPushButton* b : {btnOk, btnCancel, btnApply}) buttons->addWidget(b);
  layout->addLayout(buttons);

  connect(btnOk, &QPushButton::clicked, this, &TLayoutForm::btnOkClick);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnApply, &QPushButton::clicked, this, &TLayoutForm::btnApplyClick);
  for (QCheckBox* b : {chkToolBar, chkTreeView, chkListView, chkPreview})
    connect(b, &QCheckBox::clicked, btnApply, [this] { btnApply->setEnabled(true); });
}

void TLayoutForm::SetPanes(QWidget* tool, QWidget* tree, QWidget* preview, QWidget* splitter) {
  tool_ = tool;
  tree_ = tree;
  preview_ = preview;
  splitter_ = splitter;
  chkToolBar->setChecked(tool_ && !tool_->isHidden());
  chkTreeView->setChecked(tree_ && !tree_->isHidden());
  chkPreview->setChecked(preview_ && !preview_->isHidden());
}

void TLayoutForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
}

void TLayoutForm::FormActivate() {
  setWindowTitle(ui_text(text::kLayoutCaption));
  GroupBox1->setTitle(ui_text(text::kLayoutGroup));
  Label1->setText(ui_text(text::kLayoutLabel1));
  Label2->setText(ui_text(text::kLayoutLabel2));
  chkToolBar->setText(ui_text(text::kLayoutToolBar));
  chkTreeView->setText(ui_text(text::kLayoutTree));
  chkListView->setText(ui_text(text::kLayoutList));
  chkPreview->setText(ui_text(text::kLayoutPreview));
  btnOk->setText(ui_text(text::kButtonOk));
  btnCancel->setText(ui_text(text::kButtonCancel));
  btnApply->setText(ui_text(text::kButtonApply));
  btnApply->setEnabled(false);
}

void TLayoutForm::apply() {
  if (tool_) tool_->setVisible(chkToolBar->isChecked());
  if (tree_) tree_->setVisible(chkTreeView->isChecked());
  if (preview_) preview_->setVisible(chkPreview->isChecked());
  if (splitter_) splitter_->setVisible(chkPreview->isChecked());
}

void TLayoutForm::btnOkClick() {
  apply();
  accept();
}

void TLayoutForm::btnApplyClick() {
  apply();
  btnApply->setEnabled(false);
}

// ---- TAboutF ----

TAboutF::TAboutF(std::function<void(const std::string&)> open, QWidget* parent)
    : QDialog(parent), open_(std::move(open)) {
  setObjectName(QStringLiteral("AboutF"));
  setWindowTitle(ui_text(text::kMenuAbout).remove(QLatin1Char('&')));
  auto* layout = new QHBoxLayout(this);
  auto* panel = named(new QFrame(this), "Panel1");
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* inner = new QVBoxLayout(panel);
  inner->setContentsMargins(1, 1, 1, 1);
  Image1 = named(new QLabel(panel), "Image1");
  Image1->setScaledContents(true);
  const QPixmap picture = desktop_picture("IDB_ABOUT");
  Image1->setPixmap(picture);
  Image1->setFixedSize(picture.isNull() ? QSize(120, 120) : picture.size());
  inner->addWidget(Image1);
  layout->addWidget(panel, 0, Qt::AlignTop);
  auto* texts = new QVBoxLayout;
  lblProduct = named(new QLabel(this), "lblProduct");
  QFont big = lblProduct->font();
  big.setBold(true);
  big.setPointSizeF(big.pointSizeF() * 1.4);
  lblProduct->setFont(big);
  lblProduct->setText(ui_text(text::kTitleProduct) + QLatin1Char(' ') + ui_text(text::kTitleEdition));
  lblVersion = named(new QLabel(this), "lblVersion");
  lblVersion->setText(ui_text(text::kTitleVersion));
  lblOwner = named(new QLabel(this), "lblOwner");
  lblOwner->setText(ui_text(text::kTitleMaker));
  auto* bevel = named(new QFrame(this), "Bevel1");
  bevel->setFrameShape(QFrame::HLine);
  bevel->setFrameShadow(QFrame::Sunken);
  LabelServiceURL = named(new QLabel(this), "LabelServiceURL");
  LabelServiceURL->setText(QString::fromLatin1(maker::kService));
  LabelServiceURL->setCursor(Qt::PointingHandCursor);
  QPalette link = LabelServiceURL->palette();
  link.setColor(QPalette::WindowText, link.color(QPalette::Link));
  LabelServiceURL->setPalette(link);
  LabelServiceURL->installEventFilter(this);
  for (QWidget* w : {static_cast<QWidget*>(lblProduct), static_cast<QWidget*>(lblVersion),
                     static_cast<QWidget*>(lblOwner), static_cast<QWidget*>(bevel),
                     static_cast<QWidget*>(LabelServiceURL)})
    texts->addWidget(w);
  texts->addStretch();
  layout->addLayout(texts);
}

bool TAboutF::eventFilter(QObject* watched, QEvent* event) {
  if (watched == LabelServiceURL && event->type() == QEvent::MouseButtonRelease) {
    LabelServiceURLClick();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TAboutF::LabelServiceURLClick() {
  if (open_) open_(LabelServiceURL->text().toStdString());
}

}  // namespace qm
