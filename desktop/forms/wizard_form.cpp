// The index-database wizard (see wizard_form.h). Entries through
// catalogue/database_entry.h, builds through indexing/schedule.h on a QtWindowThread,
// messages through messages.h's sink.
#include "desktop/forms/wizard_form.h"

#include <algorithm>
#include <cstdlib>

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedLayout>
#include <QStackedWidget>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "common/files.h"
#include "common/ini.h"
#include "common/strings.h"
#include "desktop/app.h"
#include "desktop/big5_qt.h"
#include "desktop/catalogue/catalogue.h"
#include "desktop/catalogue/database_entry.h"
#include "desktop/catalogue/entries.h"
#include "desktop/forms/browse_folder.h"
#include "desktop/forms/entry_fields_ui.h"
#include "desktop/forms/form_ui.h"
#include "desktop/forms/local_adv_txt_form.h"
#include "desktop/forms/mail_form.h"
#include "desktop/forms/qt_window_thread.h"
#include "desktop/indexing/command_line.h"
#include "desktop/indexing/property_file.h"
#include "desktop/indexing/schedule.h"
#include "desktop/mailfind/mail_store.h"
#include "desktop/mailfind/thread_stand.h"
#include "desktop/main_settings.h"
#include "desktop/messages.h"
#include "desktop/path_qt.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"

namespace qm {

namespace {

// A field's Big5 text without the blanks around it.
std::string bytes(const QLineEdit* e) {
  std::string out = EditBytes(e);
  string_trim(out, " \t");
  return out;
}

// A folder field's path bytes without the blanks around it.
std::string path_bytes(const QLineEdit* e) {
  std::string out = path_edit_bytes(e);
  string_trim(out, " \t");
  return out;
}

bool empty_or_zero(const QString& text) {
  const QString t = text.trimmed();
  return t.isEmpty() || t == QLatin1String("0");
}
bool empty_or_zero(const QLineEdit* e) { return empty_or_zero(e->text()); }

// The configuration table held open for a batch of lookups and writes.
struct HeldTable {
  explicit HeldTable(DatabaseCatalog& c) : catalog(c) { catalog.OpenConfig(); }
  ~HeldTable() { catalog.CloseConfig(); }
  HeldTable(const HeldTable&) = delete;
  HeldTable& operator=(const HeldTable&) = delete;
  DatabaseCatalog& catalog;
};

void refuse(int id) { ShowMessageById(id, text::kCaptionInformation, kStyleInformation); }


// A page with its heading, when there is one.
QWidget* page(QStackedWidget* stack, const QString& heading, QVBoxLayout*& layout) {
  auto* w = new QWidget;
  layout = new QVBoxLayout(w);
  if (!heading.isEmpty()) {
    auto* title = new QLabel(heading, w);
    title->setWordWrap(true);
    layout->addWidget(title);
  }
  stack->addWidget(w);
  return w;
}

}  // namespace

TWizardForm::TWizardForm(std::string program_dir, QWidget* parent)
    : QDialog(parent), program_dir_(std::move(program_dir)),
      catalog_(std::make_unique<DatabaseCatalog>(program_dir_)),
      window_(std::make_unique<QtWindowThread>()),
      schedule_(std::make_unique<IndexSchedule>(*window_)) {
  setObjectName(QStringLiteral("TWizardForm"));
  setWindowTitle(ui_text(text::kWizardCaption));
  auto* outer = new QVBoxLayout(this);
  auto* body = new QHBoxLayout;
  Image1 = new QLabel(this);
  Image1->setPixmap(desktop_picture("IDB_WIZARD"));
  body->addWidget(Image1, 0, Qt::AlignTop);
  PageControl1 = new QStackedWidget(this);
  body->addWidget(PageControl1, 1);
  outer->addLayout(body);

  QVBoxLayout* l = nullptr;
  // TabSheet1: the kind.
  TabSheet[0] = page(PageControl1, ui_text(text::kWizardText2002), l);
  radioDoc = new QRadioButton(ui_text(text::kTypeDocuments), TabSheet[0]);
  radioMail = new QRadioButton(ui_text(text::kTypeMail), TabSheet[0]);
  for (auto [radio, hint] : {std::pair{radioDoc, text::kWizardText2003}, {radioMail, text::kWizardText2004}}) {
    l->addWidget(radio);
    auto* note = new QLabel(ui_text(hint), TabSheet[0]);
    note->setWordWrap(true);
    note->setIndent(20);
    l->addWidget(note);
  }
  l->addStretch();
  // TabSheet2: the document folder.
  TabSheet[1] = page(PageControl1, ui_text(text::kWizardText2005), l);
  auto* row = new QHBoxLayout;
  editHtmDir = new QLineEdit(TabSheet[1]);
  btnBrowse = new QPushButton(QStringLiteral("..."), TabSheet[1]);
  row->addWidget(editHtmDir, 1);
  row->addWidget(btnBrowse);
  l->addLayout(row);
  l->addStretch();
  // TabSheet3: the document types.
  TabSheet[2] = page(PageControl1, ui_text(text::kWizardText2008), l);
  auto* grid = new QGridLayout;
  types_ = DocumentTypeBoxes::Make(TabSheet[2]);
  types_.NameIn(*this);
  for (int i = 0; i < 8; ++i) grid->addWidget(types_.all()[i], i / 2, i % 2);
  SpeedButton1 = new QPushButton(QStringLiteral(">>"), TabSheet[2]);
  grid->addWidget(SpeedButton1, 0, 2);
  l->addLayout(grid);
  l->addStretch();
  // TabSheet4: the name.
  TabSheet[3] = page(PageControl1, ui_text(text::kWizardText2011), l);
  editDBName = new QLineEdit(TabSheet[3]);
  l->addWidget(editDBName);
  l->addStretch();
  // TabSheet5: the index folder.
  TabSheet[4] = page(PageControl1, ui_text(text::kWizardText2014), l);
  row = new QHBoxLayout;
  editIndexDir = new QLineEdit(TabSheet[4]);
  btnBrowser2 = new QPushButton(QStringLiteral("..."), TabSheet[4]);
  row->addWidget(editIndexDir, 1);
  row->addWidget(btnBrowser2);
  l->addLayout(row);
  l->addStretch();
  // TabSheet6: ready.
  TabSheet[5] = page(PageControl1, ui_text(text::kWizardText2017), l);
  l->addStretch();
  // TabSheet7: progress. The waiting text and the status panels show while a build runs,
  // the two closing texts after it.
  TabSheet[6] = page(PageControl1, QString(), l);
  labelProgress = new QLabel(ui_text(text::kWizardText2020), TabSheet[6]);
  labelProgress->setWordWrap(true);
  labelBuilt = new QLabel(ui_text(text::kWizardText2028), TabSheet[6]);
  labelFinish = new QLabel(ui_text(text::kWizardText2029), TabSheet[6]);
  labelResult = new QLabel(TabSheet[6]);
  labelResult->setObjectName(QStringLiteral("labelResult"));
  labelResult->setWordWrap(true);
  labelResult->setTextFormat(Qt::PlainText);
  Image2 = new QLabel(TabSheet[6]);
  build_picture_ = desktop_picture("IDB_INDEXMSG");
  show_build_picture(0);
  PanelAVI = new QLabel(TabSheet[6]);
  movie_ = new QMovie(QString::fromStdString(program_dir_ + "quillanim.gif"), QByteArray(), this);
  PanelAVI->setMovie(movie_);
  // The waiting text and the two closing texts take turns in one place.
  turns_ = new QStackedLayout;
  turns_->addWidget(labelProgress);
  auto* closing = new QWidget(TabSheet[6]);
  auto* closing_layout = new QVBoxLayout(closing);
  closing_layout->setContentsMargins(0, 0, 0, 0);
  closing_layout->addWidget(labelBuilt);
  closing_layout->addWidget(labelResult);
  closing_layout->addWidget(labelFinish);
  turns_->addWidget(closing);
  l->addLayout(turns_);
  for (QLabel* w : {Image2, PanelAVI}) l->addWidget(w);
  GroupBox1 = new QFrame(TabSheet[6]);
  GroupBox1->setFrameShape(QFrame::StyledPanel);
  auto* counters = new QGridLayout(GroupBox1);
  lbl1 = new QLabel(QStringLiteral("0"), GroupBox1);
  lbl2 = new QLabel(QStringLiteral("0"), GroupBox1);
  lbl3 = new QLabel(QStringLiteral("0"), GroupBox1);
  counters->addWidget(new QLabel(ui_text(text::kWizardText2021), GroupBox1), 0, 0);
  counters->addWidget(lbl1, 0, 1);
  counters->addWidget(new QLabel(ui_text(text::kWizardText2022), GroupBox1), 1, 0);
  counters->addWidget(lbl2, 1, 1);
  counters->addWidget(new QLabel(ui_text(text::kWizardText2023), GroupBox1), 2, 0);
  counters->addWidget(lbl3, 2, 1);
  counters->setColumnStretch(1, 1);
  l->addWidget(GroupBox1);
  GroupBox2 = new QWidget(TabSheet[6]);
  auto* status = new QHBoxLayout(GroupBox2);
  status->setContentsMargins(0, 0, 0, 0);
  for (auto*& p : panels) {
    p = new QLabel(GroupBox2);
    p->setFrameShape(QFrame::StyledPanel);
    status->addWidget(p, 1);
  }
  l->addWidget(GroupBox2);
  l->addStretch();
  // TabSheet8: the mail client kind, the folder to search and attachments.
  TabSheet[7] = page(PageControl1, ui_text(text::kWizardText2024), l);
  radioIE5 = new QRadioButton(ui_text(text::kWizardText2034), TabSheet[7]);
  radioIE4 = new QRadioButton(ui_text(text::kWizardText2035), TabSheet[7]);
  radio9798 = new QRadioButton(ui_text(text::kWizardText2036), TabSheet[7]);
  radioNS = new QRadioButton(ui_text(text::kWizardText2037), TabSheet[7]);
  radioEudora = new QRadioButton(ui_text(text::kWizardText2038), TabSheet[7]);
  for (QRadioButton* r : {radioIE5, radioIE4, radio9798, radioNS, radioEudora}) l->addWidget(r);
  lblMailFolder = new QLabel(ui_text(text::kWizardText2039), TabSheet[7]);
  l->addWidget(lblMailFolder);
  row = new QHBoxLayout;
  editMailFolder = new QComboBox(TabSheet[7]);
  editMailFolder->setEditable(true);
  editMailFolder->setInsertPolicy(QComboBox::NoInsert);
  btnSel = new QPushButton(QStringLiteral("..."), TabSheet[7]);
  row->addWidget(editMailFolder, 1);
  row->addWidget(btnSel);
  l->addLayout(row);
  chkAttach = new QCheckBox(ui_text(text::kWizardText2025), TabSheet[7]);
  l->addWidget(chkAttach);
  // TabSheet9: the mail files found.
  TabSheet[8] = page(PageControl1, ui_text(text::kWizardText2026), l);
  lvFind = new QTreeWidget(TabSheet[8]);
  lvFind->setRootIsDecorated(false);
  lvFind->setSelectionMode(QAbstractItemView::ExtendedSelection);
  // Room for the three columns of the mail files (100, 198 and 62 pixels) and a scroll bar.
  lvFind->setMinimumWidth(100 + 198 + 62 + 2 * lvFind->frameWidth() +
                          lvFind->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2);
  lblFind = new QLabel(TabSheet[8]);
  cmbDrive = new QComboBox(TabSheet[8]);
  cmbDrive->addItem(QStringLiteral("/"));
  cmbDrive->setVisible(false);
  l->addWidget(lvFind);
  l->addWidget(lblFind);
  // TabSheet10: the group.
  TabSheet[9] = page(PageControl1, ui_text(text::kWizardText2027), l);
  editGroup = new QLineEdit(TabSheet[9]);
  editGroup->setText(ui_text(12083));
  l->addWidget(editGroup);
  l->addStretch();

  auto* buttons = new QHBoxLayout;
  btnPrev = new QPushButton(ui_text(text::kWizardPrevious), this);
  btnNext = new QPushButton(ui_text(text::kWizardNext), this);
  btnCancel = new QPushButton(ui_text(text::kButtonCancel), this);
  btnFinish = new QPushButton(ui_text(text::kWizardFinish), this);
  btnTerminate = new QPushButton(ui_text(text::kBuildStopped), this);
  buttons->addWidget(btnTerminate);
  buttons->addStretch();
  for (QPushButton* b : {btnPrev, btnNext, btnCancel, btnFinish}) {
    b->setAutoDefault(false);
    buttons->addWidget(b);
  }
  btnTerminate->setAutoDefault(false);
  // Terminate comes and goes without moving the other buttons.
  QSizePolicy keep = btnTerminate->sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  btnTerminate->setSizePolicy(keep);
  for (QPushButton* b : {btnBrowse, btnBrowser2, btnSel}) b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
  outer->addLayout(buttons);
  // The pages switch without tabs, so no tab row takes room; the window keeps one size
  // on every page.
  outer->setSizeConstraint(QLayout::SetFixedSize);

  connect(btnNext, &QPushButton::clicked, this, [this] { btnNextClick(); });
  connect(btnPrev, &QPushButton::clicked, this, [this] { btnPrevClick(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
  connect(btnFinish, &QPushButton::clicked, this, [this] { btnFinishClick(); });
  connect(btnTerminate, &QPushButton::clicked, this, [this] { btnTerminateClick(); });
  connect(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
  connect(btnBrowse, &QPushButton::clicked, this, [this] { pick_folder(editHtmDir); });
  connect(btnBrowser2, &QPushButton::clicked, this, [this] { pick_folder(editIndexDir); });
  connect(btnSel, &QPushButton::clicked, this, [this] { pick_folder(editMailFolder); });
  connect(editMailFolder, &QComboBox::editTextChanged, this, [this](const QString& text) {
    if (step_ == 1 && mail()) btnNext->setEnabled(!empty_or_zero(text));
  });
  for (QRadioButton* r : {radioIE5, radioIE4, radio9798, radioNS, radioEudora})
    connect(r, &QRadioButton::toggled, this, [this] {
      const bool store = radio9798->isChecked();
      lblMailFolder->setEnabled(!store);
      editMailFolder->setEnabled(!store);
      btnSel->setEnabled(!store);
    });
}

TWizardForm::~TWizardForm() = default;

bool TWizardForm::mail() const { return radioMail->isChecked(); }

void TWizardForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (may_close_) FormActivate();
}

void TWizardForm::FormActivate() {
  step_ = 0;
  btnNext->setEnabled(true);
  btnCancel->setEnabled(true);
  btnPrev->setEnabled(false);
  btnFinish->setEnabled(false);
  types_.SetAll(true);
  lblFind->clear();
  editHtmDir->clear();
  other_ext_.clear();
  may_close_ = true;
  editDBName->setText(big5_to_qstring(catalog_->DefaultDatabaseName()));
  set_path_edit(editIndexDir, catalog_->DefaultIndexDirectory());
  stop_requested_ = false;
  radioDoc->setChecked(true);
  radioIE5->setChecked(true);
  btnTerminate->setVisible(false);
  turns_->setCurrentIndex(0);
  editMailFolder->setEditText(QDir::homePath() + QLatin1Char('/'));
  cmbDrive->setCurrentIndex(0);
  lvFind->clear();
  row_of_.clear();
  db_id_ = 0;
  IniTree ini;
  ini.load(desktop_config_path(program_dir_));
  if (auto ext = ini.get("VESPRIN", "TxtExtType")) other_ext_ = *ext;
  // The still picture unless IdxAnimate is "1"; an animation that cannot play is hidden.
  animate_ = ini.get("VESPRIN", "IdxAnimate").value_or("") == "1";
  Image2->setVisible(!animate_);
  PanelAVI->setVisible(animate_ && movie_->isValid());
  show_step();
}

// The page of the current step for the chosen kind.
void TWizardForm::show_step() {
  static constexpr int kDocPages[] = {0, 1, 2, 3, 4, 5, 6};
  static constexpr int kMailPages[] = {0, 7, 8, 9, 4, 5, 6};
  PageControl1->setCurrentIndex((mail() ? kMailPages : kDocPages)[step_]);
  if (mail() && step_ == 2) start_mail_search();
}

// The mail-file page: the files of the kind's mask under editMailFolder, found on a
// worker and listed on the window thread; navigation is off meanwhile.
void TWizardForm::start_mail_search() {
  if (thread_) return;
  if (radio9798->isChecked()) return list_store_folders();
  const char* mask = radioIE4->isChecked() ? "*.mbx" : radioIE5->isChecked() ? "*.dbx"
                     : radioNS->isChecked() ? "*.snm" : "*.toc";
  cmbDrive->setCurrentIndex(0);
  for (QPushButton* b : {btnPrev, btnNext, btnCancel}) b->setEnabled(false);
  btnTerminate->setVisible(true);
  lvFind->clear();
  row_of_.clear();
  lvFind->setColumnCount(3);
  lvFind->setHeaderLabels({ui_text(12028), ui_text(12029), ui_text(12030)});
  lvFind->header()->setSectionResizeMode(QHeaderView::Interactive);
  lvFind->header()->setStretchLastSection(false);
  lvFind->setColumnWidth(0, 100);
  lvFind->setColumnWidth(1, 198);
  lvFind->setColumnWidth(2, 62);
  lvFind->headerItem()->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
  thread_ = std::make_unique<TThreadStand>([this](std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
  });
  thread_->SetMasks("*.", mask);
  thread_->SetRowsSink([this](std::vector<MailFileRow> rows) { AddMailFileRows(lvFind, rows); });
  thread_->SetLabel([this](const std::string& s, bool folder) { ShowWalkStatus(lblFind, s, folder); });
  auto big5 = [](int id) {
    std::string out;
    qstring_to_big5(ui_text(id), out);
    return out;
  };
  thread_->SetTexts(big5(text::kMsgSearchStopped), big5(text::kMsgFoundBefore), big5(text::kMsgFoundAfter));
  thread_->SetCallback([](void* user) { static_cast<TWizardForm*>(user)->mail_search_done(); }, this);
  thread_->SetStartFolder(qstring_to_path(editMailFolder->currentText().trimmed()));
  thread_->Start();
}

// The mail-client kind: the store's readable folders, name and key per row.
void TWizardForm::list_store_folders() {
  lvFind->clear();
  row_of_.clear();
  lvFind->setColumnCount(1);
  lvFind->setHeaderLabels({ui_text(12028)});
  lvFind->header()->setStretchLastSection(true);
  lblFind->setText(ui_text(text::kMailFindListing));
  MailStoreLibrary store;
  if (!LoadMailStoreLibrary(store, program_dir_)) {
    lblFind->setText(ui_text(text::kMailFindNoLibrary));
    return;
  }
  for (const MailStoreFolder& f : ListMailStoreFolders(store)) {
    auto* item = new QTreeWidgetItem(lvFind);
    item->setText(0, big5_to_qstring(f.name));
    item->setText(1, big5_to_qstring(f.key));
  }
  lblFind->setText(ui_text(text::kMsgFoundBefore) + QString::number(lvFind->topLevelItemCount()) +
                   ui_text(text::kMsgFoundAfter));
  UnloadMailStoreLibrary(store);
}

void TWizardForm::mail_search_done() {
  if (thread_) thread_->Wait();
  thread_.reset();
  for (QPushButton* b : {btnPrev, btnNext, btnCancel}) b->setEnabled(true);
  btnTerminate->setVisible(false);
}

bool TWizardForm::name_used() {
  std::string name;
  return qstring_to_big5(editDBName->text().trimmed(), name) && catalog_->IsDatabaseNameUsed(name);
}

bool TWizardForm::check_document() {
  if (empty_or_zero(editDBName)) return refuse(text::kMsgNameEmpty), false;
  if (name_used()) return refuse(text::kBadFolderName), false;
  if (empty_or_zero(editHtmDir)) return refuse(text::kMsgHtmlDirEmpty), false;
  if (empty_or_zero(editIndexDir)) return refuse(text::kMsgIndexDirEmpty), false;
  if (!types_.AnyChecked()) return refuse(text::kMsgNoType), false;
  return true;
}

void TWizardForm::btnNextClick() {
  const int next = step_ + 1 == 4 && mail() ? 5 : step_ + 1;
  const bool doc = !mail();
  if (next == 2 && doc && !dir_is_directory(path_bytes(editHtmDir))) return refuse(text::kMsgNoSuchFolder);
  if (next == 2 && !doc && !radio9798->isChecked()) RememberFolderText(editMailFolder);
  if (next == 3) {
    if (doc) {
      if (!types_.AnyChecked()) return refuse(text::kMsgNoType);
    } else if (lvFind->selectedItems().isEmpty()) {
      return refuse(text::kMsgNoMailChosen);
    }
  }
  if (next == 4 && doc && empty_or_zero(editDBName)) return refuse(text::kMsgNameEmpty);
  if (next == 4 && doc) {
    std::string name;
    if (!qstring_to_big5_or_warn(editDBName->text().trimmed(), name)) return;
    // A second database of one name would stand twice in the tree.
    if (name_used()) return refuse(text::kBadFolderName);
  }
  // Again before the build: a database of the name may have been made meanwhile.
  if (next == 6 && doc && name_used()) return refuse(text::kBadFolderName);
  if (next == 5 && doc) {
    if (!check_document()) return;
    if (catalog_->IsIndexDirectoryUsed(path_bytes(editIndexDir))) return refuse(text::kMsgIndexDirUsed);
  }
  step_ = next;
  btnPrev->setEnabled(true);
  show_step();
  if (step_ == 6) {
    btnNext->setEnabled(false);
    create_and_queue();
  }
}

void TWizardForm::btnPrevClick() {
  btnNext->setEnabled(true);
  btnFinish->setEnabled(false);
  if (step_ > 0) step_ = step_ - 1 == 4 && mail() ? 3 : step_ - 1;
  btnPrev->setEnabled(step_ > 0);
  show_step();
}

void TWizardForm::btnCancelClick() {
  may_close_ = true;
  reject();
}

void TWizardForm::btnFinishClick() {
  may_close_ = true;
  accept();
}

void TWizardForm::reject() {
  if (may_close_) QDialog::reject();
}

void TWizardForm::closeEvent(QCloseEvent* event) {
  if (may_close_)
    QDialog::closeEvent(event);
  else
    event->ignore();
}

void TWizardForm::btnTerminateClick() {
  if (thread_) return thread_->Stop();
  schedule_->Stop();
  stop_requested_ = true;
}

void TWizardForm::SpeedButton1Click() {
  TLocalAdvTxtF form(this);
  form.ExtensionText = other_ext_;
  form.exec();
  other_ext_ = form.ExtensionText;
}

bool TWizardForm::pick_folder(QLineEdit* edit) {
  TBrowseFolder browser(this);
  browser.Directory = edit->text();
  if (!browser.Execute()) return false;
  edit->setText(browser.Directory);
  return true;
}

bool TWizardForm::pick_folder(QComboBox* edit) {
  TBrowseFolder browser(this);
  browser.Directory = edit->currentText();
  if (!browser.Execute()) return false;
  edit->setEditText(browser.Directory);
  return true;
}

// Documents: the entry on the next free id and one build job for it.
void TWizardForm::create_and_queue() {
  if (mail()) return create_mail_and_queue();
  const DatabaseEntryFields f = DocumentEntryFields(editDBName, editHtmDir, editIndexDir, types_, other_ext_);
  DocumentDatabaseEntry e;
  e.Description = bytes(editDBName);
  e.HtmlDir = EntryFolderText(path_bytes(editHtmDir));
  e.WorkDir = EntryFolderText(path_bytes(editIndexDir));
  e.types = FileTypeChoices(f);
  e.extra_text_extensions = f.other_ext;
  HeldTable held(*catalog_);
  const int id = catalog_->NextFreeDatabaseId();
  if (id == 0 || !WriteDocumentDatabaseEntry(*catalog_, id, e)) return;
  db_id_ = id;
  // With page documents chosen the builder must also read them.
  queue_builds(f.pgx ? IndexerKind::DocumentRebuild : IndexerKind::Document, {id});
}

// Mail: one database per selected row of lvFind in list order, then one job each.
void TWizardForm::create_mail_and_queue() {
  const int kind = radioIE4->isChecked() ? kMailOutlookExpress4 : radioIE5->isChecked() ? kMailOutlookExpress5
                   : radioNS->isChecked() ? kMailNetscape : radioEudora->isChecked() ? kMailEudora
                   : kMailOutlook;
  std::vector<int> ids;
  HeldTable held(*catalog_);
  for (int r = 0; r < lvFind->topLevelItemCount(); ++r) {
    QTreeWidgetItem* row = lvFind->topLevelItem(r);
    if (!row->isSelected()) continue;
    // A mail-store folder's name and key are texts; a file found is the file system's.
    std::string caption, detail;
    if (kind == kMailOutlook) {
      qstring_to_big5(row->text(0), caption);
      qstring_to_big5(row->text(1), detail);
    } else {
      caption = path_cell_bytes(row, 0);
      detail = path_cell_bytes(row, 1);
    }
    const int id = catalog_->NextFreeDatabaseId();
    if (id == 0) break;
    MailNames names = mail_names_from_row(kind, caption, detail);
    mail_names_place(*catalog_, names, id);
    MailDatabaseEntry e;
    e.Description = names.Description;
    e.MailKey = names.MailKey;
    e.gateway = catalog_->GatewayPath();
    e.WorkDir = names.WorkDir;
    e.mail_source = names.mail_source;
    e.Group = bytes(editGroup);
    e.MailType = kind;
    e.Attach = chkAttach->isChecked();
    if (!WriteMailDatabaseEntry(*catalog_, id, e)) break;
    ids.push_back(id);
    row_of_[id] = row;
    db_id_ = id;
  }
  if (ids.empty()) return;
  queue_builds(chkAttach->isChecked() ? IndexerKind::MailWithAttachments : IndexerKind::Mail, ids);
}

// One build job per new database, in order, with the counters and status panels attached.
void TWizardForm::queue_builds(IndexerKind kind, const std::vector<int>& ids) {
  schedule_->OnQueueStarted = [this] { on_queue_started(); };
  schedule_->OnQueueFinished = [this](bool stopped) { on_queue_finished(stopped); };
  schedule_->status_bar = [this](const ProgressView& view) { show_progress(view); };
  const std::string program_dir = program_dir_;
  schedule_->job_work = [program_dir](int db) { BuildDatabaseProperties(program_dir, db); };
  schedule_->Reset(int(ids.size()));
  schedule_->SetCounterLabels();
  run_ids_ = ids;
  built_.clear();
  results_.clear();
  show_build_picture(0);
  for (int id : ids)
    schedule_->AddJob(indexer_command_line(program_dir_, kind, static_cast<uint64_t>(winId()), id), id,
                      [this](int db, int code) { on_job_event(db, code); });
  schedule_->Start();
}

// A job's end: the database's line of the results, in the builder's own words (how many
// documents it indexed and skipped, or why it failed).
void TWizardForm::on_job_event(int id, int code) {
  if (code != kJobCompleted && code != kJobFailed) return;
  if (code == kJobCompleted) built_.insert(id);
  QString line = big5_to_qstring(catalog_->DatabaseDescription(id)) + QStringLiteral(": ");
  const QString report = big5_to_qstring(schedule_->JobReport(id));
  if (code == kJobCompleted)
    line += report.isEmpty() ? ui_text(text::kBuildBuilt) : report;
  else
    line += ui_text(text::kBuildFailed) + (report.isEmpty() ? QString() : QStringLiteral(": ") + report);
  results_ << line;
}

// IDB_INDEXMSG with its bar, (20, 50) to (220, 70), filled to the build's progress.
void TWizardForm::show_build_picture(double fraction) {
  if (build_picture_.isNull()) return;
  QPixmap shown = build_picture_;
  const QRect bar(20, 50, 201, 21);
  const int filled = int(bar.width() * std::clamp(fraction, 0.0, 1.0) + 0.5);
  if (filled > 0) {
    QPainter painter(&shown);
    painter.fillRect(QRect(bar.left(), bar.top(), filled, bar.height()), QColor(0x1d, 0x3b, 0x6e));
  }
  Image2->setPixmap(shown);
}

void TWizardForm::on_queue_started() {
  may_close_ = false;
  btnPrev->setEnabled(false);
  btnCancel->setEnabled(false);
  GroupBox2->setVisible(true);
  btnTerminate->setVisible(true);
  turns_->setCurrentIndex(0);
  labelResult->clear();
  if (animate_ && movie_->isValid()) movie_->start();
}

void TWizardForm::on_queue_finished(bool stopped) {
  GroupBox2->setVisible(false);
  btnTerminate->setVisible(false);
  turns_->setCurrentIndex(1);
  movie_->stop();
  may_close_ = true;
  if (stopped || stop_requested_) {
    // Every database of the run that was not built goes again, the stopped one and those
    // never started alike; a mail row whose database was built is done and leaves the
    // choice, so a retry builds only the rest.
    for (int id : run_ids_) {
      if (built_.count(id)) {
        if (QTreeWidgetItem* row = row_of_.count(id) ? row_of_[id] : nullptr) {
          row->setSelected(false);
          row->setDisabled(true);
        }
        continue;
      }
      catalog_->DeleteDatabase(id);
    }
    run_ids_.clear();
    db_id_ = 0;
    stop_requested_ = false;
    btnPrev->setEnabled(true);
    btnCancel->setEnabled(true);
    btnNext->setEnabled(true);
    btnFinish->setEnabled(false);
    step_ = 5;
    show_step();
    return;
  }
  // Said as built only when every database was; each one's result stands below.
  show_build_picture(1);
  labelBuilt->setVisible(built_.size() == run_ids_.size());
  labelResult->setText(results_.join(QLatin1Char('\n')));
  btnFinish->setEnabled(true);
}

void TWizardForm::show_progress(const ProgressView& view) {
  // Jobs done, and the running one by its last percentage.
  const int total = std::max(1, std::atoi(view.total_label.c_str()));
  const int done = std::atoi(view.done_label.c_str());
  show_build_picture((done + std::max(0, view.percent) / 100.0) / total);
  for (int i = 0; i < 3; ++i) panels[i]->setText(big5_to_qstring(view.panels[i]));
  if (view.counters_shown) {
    lbl1->setText(big5_to_qstring(view.total_label));
    lbl2->setText(big5_to_qstring(view.done_label));
    lbl3->setText(big5_to_qstring(view.documents_label));
  }
}

}  // namespace qm
