// The options dialog (see options_form.h).
#include "desktop/forms/options_form.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "desktop/big5_qt.h"
#include "desktop/catalogue/catalogue.h"
#include "desktop/forms/form_ui.h"
#include "desktop/maker_pages.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"

namespace qm {
namespace {

constexpr int kCell = 22;  // one colour cell, in pixels
constexpr int kGap = 3;

QColor grid_color(int index) {
  const uint32_t rgb = KeyColorRgb(index);
  return QColor((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff);
}

}  // namespace

// ---- TColorGrid ----------------------------------------------------------------------

TColorGrid::TColorGrid(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("keyColor"));
  setFrameShape(QFrame::StyledPanel);
  setFixedSize(sizeHint());
}

QSize TColorGrid::sizeHint() const { return QSize(4 * kCell + 5 * kGap, 4 * kCell + 5 * kGap); }

QRect TColorGrid::CellRect(int index) const {
  const int col = index % 4, row = index / 4;
  return QRect(kGap + col * (kCell + kGap), kGap + row * (kCell + kGap), kCell, kCell);
}

int TColorGrid::IndexAt(const QPoint& point) const {
  for (int i = 0; i < kKeyColorCount; ++i)
    if (CellRect(i).contains(point)) return i;
  return -1;
}

void TColorGrid::SetForegroundIndex(int index) {
  fg_ = index >= -1 && index < kKeyColorCount ? index : -1;
  update();
}

void TColorGrid::SetBackgroundIndex(int index) {
  bg_ = index >= -1 && index < kKeyColorCount ? index : -1;
  update();
}

void TColorGrid::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter p(this);
  for (int i = 0; i < kKeyColorCount; ++i) {
    const QRect r = CellRect(i);
    p.fillRect(r, grid_color(i));
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    QString mark;
    if (i == fg_) mark += QLatin1Char('F');
    if (i == bg_) mark += QLatin1Char('B');
    if (mark.isEmpty()) continue;
    const QColor c = grid_color(i);
    p.setPen(c.lightness() > 120 ? Qt::black : Qt::white);
    p.drawText(r, Qt::AlignCenter, mark);
  }
}

void TColorGrid::mousePressEvent(QMouseEvent* event) {
  const int index = IndexAt(event->position().toPoint());
  if (index < 0) return;
  if (event->button() == Qt::LeftButton) SetForegroundIndex(index);
  else if (event->button() == Qt::RightButton) SetBackgroundIndex(index);
  else return;
  emit changed();
}

// ---- TOptionsForm --------------------------------------------------------------------

TOptionsForm::TOptionsForm(std::string program_dir, QWidget* parent)
    : QDialog(parent), program_dir_(std::move(program_dir)),
      catalog_(new DatabaseCatalog(program_dir_)) {
  setObjectName(QStringLiteral("OptionsForm"));
  build();
}

TOptionsForm::~TOptionsForm() { delete catalog_; }

void TOptionsForm::build() {
  auto* layout = new QVBoxLayout(this);
  PageControl1 = named(new QTabWidget(this), "PageControl1");
  layout->addWidget(PageControl1);
  TabSheet1 = named(new QWidget, "TabSheet1");
  TabSheet2 = named(new QWidget, "TabSheet2");
  TabSheet3 = named(new QWidget, "TabSheet3");
  TabSheet4 = named(new QWidget, "TabSheet4");
  TabSheet5 = named(new QWidget, "TabSheet5");
  for (QWidget* page : {TabSheet1, TabSheet2, TabSheet3, TabSheet4, TabSheet5})
    PageControl1->addTab(page, QString());
  PageControl1->setTabVisible(2, false);  // automatic indexing
  PageControl1->setTabVisible(3, false);  // browsers

  // Keywords: colours, the clearing panel, sizes.
  auto* keys = new QGridLayout(TabSheet1);
  Label4 = named(new QLabel(TabSheet1), "Label4");
  Label5 = named(new QLabel(TabSheet1), "Label5");
  Label6 = named(new QLabel(TabSheet1), "Label6");
  keyColor = new TColorGrid(TabSheet1);
  Panel1 = named(new QFrame(TabSheet1), "Panel1");
  Panel1->setFrameShape(QFrame::Panel);
  Panel1->setFrameShadow(QFrame::Sunken);
  Panel1->setMinimumSize(200, 2 * kCell);
  Panel1->installEventFilter(this);
  auto* marks = new QHBoxLayout(Panel1);
  lblFG = named(new QLabel(QStringLiteral("F"), Panel1), "lblFG");
  lblBG = named(new QLabel(QStringLiteral("B"), Panel1), "lblBG");
  lblSample = named(new QLabel(Panel1), "lblSample");
  lblSample->setAlignment(Qt::AlignCenter);
  marks->addWidget(lblFG);
  marks->addWidget(lblSample, 1);
  marks->addWidget(lblBG);
  lbSize = named(new QListWidget(TabSheet1), "lbSize");
  keys->addWidget(Label4, 0, 0);
  keys->addWidget(Label5, 1, 0);
  keys->addWidget(keyColor, 2, 0, Qt::AlignTop | Qt::AlignLeft);
  keys->addWidget(Panel1, 3, 0, Qt::AlignTop);
  keys->addWidget(Label6, 0, 1);
  keys->addWidget(lbSize, 1, 1, 3, 1);
  keys->setRowStretch(3, 1);

  // Plain text.
  auto* text = new QVBoxLayout(TabSheet2);
  Label1 = named(new QLabel(TabSheet2), "Label1");
  Label2 = named(new QLabel(TabSheet2), "Label2");
  LabelTxtType = named(new QLabel(TabSheet2), "LabelTxtType");
  editTxtType = named(new QLineEdit(TabSheet2), "editTxtType");
  editTxtType->setMaxLength(5);
  editTxtType->installEventFilter(this);
  btnAdd = named(new QPushButton(TabSheet2), "btnAdd");
  btnAdd->setAutoDefault(false);
  btnRemove = named(new QPushButton(TabSheet2), "btnRemove");
  btnRemove->setAutoDefault(false);
  listboxTxtType = named(new QListWidget(TabSheet2), "listboxTxtType");
  listboxTxtType->setSelectionMode(QAbstractItemView::ExtendedSelection);
  text->addWidget(Label1);
  auto* editRow = new QHBoxLayout;
  editRow->addWidget(Label2);
  editRow->addWidget(editTxtType);
  editRow->addWidget(btnAdd);
  editRow->addWidget(btnRemove);
  text->addLayout(editRow);
  text->addWidget(LabelTxtType);
  text->addWidget(listboxTxtType);

  // Automatic indexing (not shown).
  auto* autoPage = new QVBoxLayout(TabSheet3);
  listviewDB = named(new QTreeWidget(TabSheet3), "listviewDB");
  listviewDB->setColumnCount(2);
  listviewDB->setRootIsDecorated(false);
  listviewDB->header()->resizeSection(0, 180);
  listviewDB->header()->resizeSection(1, 146);
  autoPage->addWidget(listviewDB);
  // Browsers (not shown; no behaviour).
  auto* browserPage = new QHBoxLayout(TabSheet4);
  lvBrowser = named(new QTreeWidget(TabSheet4), "lvBrowser");
  browserPage->addWidget(lvBrowser);
  auto* browserButtons = new QVBoxLayout;
  for (int i = 0; i < 4; ++i) browserButtons->addWidget(new QPushButton(TabSheet4));
  browserPage->addLayout(browserButtons);

  // Other.
  auto* other = new QVBoxLayout(TabSheet5);
  GroupBox1 = named(new QGroupBox(TabSheet5), "GroupBox1");
  auto* fuzzy = new QGridLayout(GroupBox1);
  LabelMatchRateBar = named(new QLabel(GroupBox1), "LabelMatchRateBar");
  MatchRateBar = named(new QSlider(Qt::Horizontal, GroupBox1), "MatchRateBar");
  MatchRateBar->setRange(50, 100);
  MatchRateBar->setTickInterval(2);
  MatchRateBar->setTickPosition(QSlider::TicksBelow);
  MatchRateLable = named(new QLabel(GroupBox1), "MatchRateLable");
  LabelPrecisionBar = named(new QLabel(GroupBox1), "LabelPrecisionBar");
  PrecisionBar = named(new QSlider(Qt::Horizontal, GroupBox1), "PrecisionBar");
  PrecisionBar->setRange(-100, 100);
  PrecisionBar->setTickInterval(6);
  PrecisionBar->setTickPosition(QSlider::TicksBelow);
  PrecisionLable = named(new QLabel(GroupBox1), "PrecisionLable");
  for (QLabel* l : {MatchRateLable, PrecisionLable}) l->setMinimumWidth(40);
  fuzzy->addWidget(LabelMatchRateBar, 0, 0);
  fuzzy->addWidget(MatchRateBar, 0, 1);
  fuzzy->addWidget(MatchRateLable, 0, 2);
  fuzzy->addWidget(LabelPrecisionBar, 1, 0);
  fuzzy->addWidget(PrecisionBar, 1, 1);
  fuzzy->addWidget(PrecisionLable, 1, 2);
  other->addWidget(GroupBox1);
  chkWizard = named(new QCheckBox(TabSheet5), "chkWizard");
  other->addWidget(chkWizard);
  auto* count = new QHBoxLayout;
  Label9 = named(new QLabel(TabSheet5), "Label9");
  cspedtRstCnt = named(new QSpinBox(TabSheet5), "cspedtRstCnt");
  cspedtRstCnt->setRange(10, 100);
  cspedtRstCnt->setSingleStep(10);
  cspedtRstCnt->setValue(50);
  Label10 = named(new QLabel(TabSheet5), "Label10");
  count->addWidget(Label9);
  count->addWidget(cspedtRstCnt);
  count->addWidget(Label10);
  count->addStretch(1);
  other->addLayout(count);
  GroupBox2 = named(new QGroupBox(TabSheet5), "GroupBox2");
  auto* web = new QHBoxLayout(GroupBox2);
  Label8 = named(new QLabel(GroupBox2), "Label8");
  editURL = named(new QLineEdit(GroupBox2), "editURL");
  editURL->setReadOnly(true);
  editURL->setText(QStringLiteral("http://") + QString::fromLatin1(maker::kWebSearchHost) + QStringLiteral("/"));
  web->addWidget(Label8);
  web->addWidget(editURL);
  GroupBox2->setVisible(false);
  other->addWidget(GroupBox2);
  other->addStretch(1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  btnOk = named(new QPushButton(this), "btnOk");
  btnOk->setDefault(true);
  btnCancel = named(new QPushButton(this), "btnCancel");
  btnApply = named(new QPushButton(this), "btnApply");
  for (QPushButton* b : {btnCancel, btnApply}) b->setAutoDefault(false);
  buttons->addWidget(btnOk);
  buttons->addWidget(btnCancel);
  buttons->addWidget(btnApply);
  layout->addLayout(buttons);

  connect(btnOk, &QPushButton::clicked, this, &TOptionsForm::btnOkClick);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnApply, &QPushButton::clicked, this, &TOptionsForm::btnApplyClick);
  connect(btnAdd, &QPushButton::clicked, this, &TOptionsForm::btnAddClick);
  connect(btnRemove, &QPushButton::clicked, this, &TOptionsForm::btnRemoveClick);
  connect(keyColor, &TColorGrid::changed, this, [this] {
    // keyColorChange: a chosen colour hides its clearing mark.
    if (keyColor->ForegroundIndex() != -1) lblFG->setVisible(false);
    if (keyColor->BackgroundIndex() != -1) lblBG->setVisible(false);
    changed();
  });
  connect(lbSize, &QListWidget::currentRowChanged, this, [this] { changed(); });
  connect(MatchRateBar, &QSlider::valueChanged, this, [this](int v) {
    if (loading_) return;
    MatchRateLable->setText(utf8_to_qstring(OptionsPercentLabel(v)));
    changed();
  });
  connect(PrecisionBar, &QSlider::valueChanged, this, [this](int v) {
    if (loading_) return;
    PrecisionLable->setText(utf8_to_qstring(OptionsPercentLabel(v)));
    changed();
  });
  connect(chkWizard, &QCheckBox::toggled, this, [this] { changed(); });
  connect(cspedtRstCnt, &QSpinBox::valueChanged, this, [this] { changed(); });
  connect(listviewDB, &QTreeWidget::itemChanged, this, [this] { changed(); });
  connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
    if (PageControl1->widget(index) == TabSheet3) TabSheet3Show();
  });
}

void TOptionsForm::set_captions() {
  setWindowTitle(ui_text(text::kOptionsCaption));
  PageControl1->setTabText(0, ui_text(text::kOptionsTabHighlight));
  PageControl1->setTabText(1, ui_text(text::kOptionsTabText));
  PageControl1->setTabText(4, ui_text(text::kOptionsTabSearch));
  Label4->setText(ui_text(text::kOptionsColor));
  Label5->setText(ui_text(text::kOptionsBackground));
  Label6->setText(ui_text(text::kOptionsSize));
  lblSample->setText(ui_text(text::kOptionsSample));
  Label1->setText(ui_text(text::kOptionsLabel1));
  Label2->setText(ui_text(text::kOptionsLabel2));
  LabelTxtType->setText(ui_text(text::kOptionsTextType));
  btnAdd->setText(ui_text(text::kOptionsAdd));
  btnRemove->setText(ui_text(text::kOptionsRemove));
  GroupBox1->setTitle(ui_text(text::kOptionsFuzzy));
  LabelMatchRateBar->setText(ui_text(text::kOptionsMatchRate));
  LabelPrecisionBar->setText(ui_text(text::kOptionsPrecision));
  GroupBox2->setTitle(ui_text(text::kOptionsResults));
  Label8->setText(ui_text(text::kOptionsPerPage));
  Label9->setText(ui_text(text::kOptionsPerPageLabel));
  Label10->setText(ui_text(text::kOptionsPerPageHint));
  btnOk->setText(ui_text(text::kButtonOk));
  btnCancel->setText(ui_text(text::kButtonCancel));
  btnApply->setText(ui_text(text::kButtonApply));
  chkWizard->setText(ui_text(text::kOptionsAnimate));
}

void TOptionsForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
}

void TOptionsForm::FormActivate() {
  loading_ = true;
  set_captions();
  PageControl1->setCurrentWidget(TabSheet1);
  const OptionsValues v = OptionsLoad(catalog_->ConfigPath());
  // The highlight.
  keyColor->SetForegroundIndex(v.highlight.fg_index);
  keyColor->SetBackgroundIndex(v.highlight.bg_index);
  lblFG->setVisible(v.highlight.fg_index == -1);
  lblBG->setVisible(v.highlight.bg_index == -1);
  show_sample();
  lbSize->clear();
  for (int id : {text::kOptionsSize1, text::kOptionsSize2, text::kOptionsSize3, text::kOptionsSize4,
                 text::kOptionsSize5, text::kOptionsSizeNone})
    lbSize->addItem(ui_text(id));
  lbSize->setCurrentRow(v.highlight.size_index);
  // The extensions.
  listboxTxtType->clear();
  for (const std::string& ext : v.extensions) listboxTxtType->addItem(big5_to_qstring(ext));
  // The other page: the labels as stored, the bars at their numbers.
  MatchRateLable->setText(big5_to_qstring(v.match_rate_label));
  MatchRateBar->setValue(v.match_rate_label.empty() ? MatchRateBar->minimum()
                                                    : OptionsLeadingNumber(v.match_rate_label));
  PrecisionLable->setText(big5_to_qstring(v.precision_label));
  PrecisionBar->setValue(v.precision_label.empty() ? 0 : OptionsLeadingNumber(v.precision_label));
  chkWizard->setChecked(v.idx_animate);
  cspedtRstCnt->setValue(v.result_count);
  loading_ = false;
  btnApply->setEnabled(false);
}

void TOptionsForm::show_sample() {
  const int fg = keyColor->ForegroundIndex(), bg = keyColor->BackgroundIndex();
  QString style;
  if (fg != -1) style += QStringLiteral("color: #%1;").arg(QString::fromStdString(KeyColorText(fg)));
  if (bg != -1) style += QStringLiteral("background: #%1;").arg(QString::fromStdString(KeyColorText(bg)));
  lblSample->setStyleSheet(style);
}

void TOptionsForm::changed() {
  show_sample();
  if (!loading_) btnApply->setEnabled(true);
}

void TOptionsForm::TabSheet3Show() {
  const bool was_loading = loading_;
  loading_ = true;
  listviewDB->clear();
  catalog_->OpenConfig();
  for (int i = 0; i < catalog_->DatabaseCount(); ++i) {
    const int id = catalog_->DatabaseIdAt(i);
    auto* item = new QTreeWidgetItem(listviewDB);
    item->setText(0, big5_to_qstring(catalog_->DatabaseDescription(id)));
    item->setText(1, utf8_to_qstring(DatabaseCatalog::FileTimeText(catalog_->DatabaseWorkDir(id) + "fulltext.db")));
    item->setData(0, Qt::UserRole, id);
    item->setCheckState(0, OptionsAutoIndex(catalog_->ConfigPath(), id) ? Qt::Checked : Qt::Unchecked);
  }
  catalog_->CloseConfig();
  loading_ = was_loading;
}

OptionsValues TOptionsForm::Values() const {
  OptionsValues v;
  v.highlight.fg_index = keyColor->ForegroundIndex();
  v.highlight.bg_index = keyColor->BackgroundIndex();
  v.highlight.size_index = std::max(0, lbSize->currentRow());
  v.extensions.clear();
  for (int i = 0; i < listboxTxtType->count(); ++i) {
    std::string ext;
    if (qstring_to_big5(listboxTxtType->item(i)->text(), ext)) v.extensions.push_back(ext);
  }
  if (v.extensions.empty()) v.extensions.push_back("txt");
  qstring_to_big5(MatchRateLable->text(), v.match_rate_label);
  qstring_to_big5(PrecisionLable->text(), v.precision_label);
  v.idx_animate = chkWizard->isChecked();
  v.result_count = cspedtRstCnt->value();
  for (int i = 0; i < listviewDB->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = listviewDB->topLevelItem(i);
    v.auto_index.push_back({item->data(0, Qt::UserRole).toInt(), item->checkState(0) == Qt::Checked});
  }
  return v;
}

int TOptionsForm::ResultCount() const { return cspedtRstCnt->value(); }

std::string TOptionsForm::WebAddress() const { return editURL->text().toStdString(); }

void TOptionsForm::save() {
  bool saved = false;
  marks_ = OptionsSave(catalog_->ConfigPath(), Values(), &saved);
  if (!saved) std::fprintf(stderr, "quillmere: cannot save every option to %s\n", catalog_->ConfigPath().c_str());
}

void TOptionsForm::btnOkClick() {
  save();
  accept();
}

void TOptionsForm::btnApplyClick() {
  save();
  emit settingsApplied();
  btnApply->setEnabled(false);
}

void TOptionsForm::btnAddClick() {
  if (editTxtType->text().isEmpty()) return;
  // Only ASCII letters and digits can be accepted: other text is refused as typed.
  const std::string typed = editTxtType->text().toStdString();
  const std::string ext = OptionsExtNormalise(typed);
  editTxtType->setText(QString::fromStdString(ext));
  std::vector<std::string> list;
  for (int i = 0; i < listboxTxtType->count(); ++i) list.push_back(listboxTxtType->item(i)->text().toStdString());
  if (!OptionsExtAccept(list, ext)) return;
  listboxTxtType->addItem(QString::fromStdString(ext));
  changed();
}

void TOptionsForm::btnRemoveClick() {
  std::vector<std::string> list;
  std::vector<int> selected;
  for (int i = 0; i < listboxTxtType->count(); ++i) {
    list.push_back(listboxTxtType->item(i)->text().toStdString());
    if (listboxTxtType->item(i)->isSelected()) selected.push_back(i);
  }
  const std::vector<std::string> kept = OptionsExtRemove(list, selected);
  if (kept.size() == list.size()) return;
  listboxTxtType->clear();
  for (const std::string& ext : kept) listboxTxtType->addItem(QString::fromStdString(ext));
  changed();
}

void TOptionsForm::Panel1MouseDown(Qt::MouseButton button) {
  if (button == Qt::LeftButton) {
    keyColor->SetForegroundIndex(-1);
    lblFG->setVisible(true);
  } else if (button == Qt::RightButton) {
    keyColor->SetBackgroundIndex(-1);
    lblBG->setVisible(true);
  } else {
    return;
  }
  changed();
}

void TOptionsForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    reject();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool TOptionsForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Panel1 && event->type() == QEvent::MouseButtonPress) {
    Panel1MouseDown(static_cast<QMouseEvent*>(event)->button());
    return true;
  }
  if (enter_pressed_in(watched, editTxtType, event)) {
    btnAddClick();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace qm
