// The folder browser (see browse_folder.h).
#include "desktop/forms/browse_folder.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTreeView>
#include <QVBoxLayout>

#include "desktop/mailfind/browse_text.h"

namespace qm {

QString RootFolderPath(TSHFolders root) {
  QStandardPaths::StandardLocation where;
  switch (root) {
    case TSHFolders::foDesktop:
    case TSHFolders::foDesktopDirectory: where = QStandardPaths::DesktopLocation; break;
    case TSHFolders::foPersonal: where = QStandardPaths::DocumentsLocation; break;
    case TSHFolders::foPrograms:
    case TSHFolders::foStartMenu: where = QStandardPaths::ApplicationsLocation; break;
    case TSHFolders::foFonts: where = QStandardPaths::FontsLocation; break;
    case TSHFolders::foTemplates: where = QStandardPaths::TemplatesLocation; break;
    default: return QStringLiteral("/");
  }
  const QStringList found = QStandardPaths::standardLocations(where);
  for (const QString& p : found)
    if (QFileInfo(p).isDir()) return p;
  return QStringLiteral("/");
}

TBrowseFolder::TBrowseFolder(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("BrowseFolder"));
  auto* layout = new QVBoxLayout(this);
  title_ = new QLabel(this);
  title_->setWordWrap(true);
  layout->addWidget(title_);
  model_ = new QFileSystemModel(this);
  model_->setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives | QDir::Hidden);
  model_->setRootPath(QStringLiteral("/"));
  tree_ = new QTreeView(this);
  tree_->setObjectName(QStringLiteral("tree"));
  tree_->setModel(model_);
  for (int c = 1; c < model_->columnCount(); ++c) tree_->hideColumn(c);
  tree_->header()->hide();
  layout->addWidget(tree_);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("status"));
  layout->addWidget(status_);
  auto* row = new QHBoxLayout;
  custom_ = new QPushButton(this);
  custom_->setObjectName(QStringLiteral("customButton"));
  custom_->setAutoDefault(false);
  row->addWidget(custom_);
  row->addStretch();
  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  row->addWidget(buttons_);
  layout->addLayout(row);
  resize(360, 420);

  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(custom_, &QPushButton::clicked, this, [this] { emit OnCustomButtonClick(this); });
  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] { selection_changed(); });
}

QPushButton* TBrowseFolder::okButton() const { return buttons_->button(QDialogButtonBox::Ok); }

void TBrowseFolder::SetCustomButtonEnabled(bool on) {
  custom_enabled_ = on;
  custom_->setEnabled(on);
}

void TBrowseFolder::SetCustomButtonCaption(const QString& caption) {
  custom_caption_ = caption;
  custom_->setText(caption);
}

void TBrowseFolder::SetStatusText(const QString& text) { status_->setText(text); }

void TBrowseFolder::SetSelectionPath(const QString& path) {
  const QModelIndex index = model_->index(path);
  if (!index.isValid()) return;
  tree_->setCurrentIndex(index);
  tree_->scrollTo(index);
}

void TBrowseFolder::EnableOK(bool on) {
  okButton()->setEnabled(on);
  if (SyncCustomButton) SetCustomButtonEnabled(on);
}

void TBrowseFolder::selection_changed() {
  const QModelIndex index = tree_->currentIndex();
  selection_ = index.isValid() ? model_->filePath(index) : QString();
  if (ShowPathInStatusArea) {
    const std::string shown = CompressString(selection_.toStdString(), "/", "...", 35);
    SetStatusText(QString::fromStdString(shown));
  }
  EnableOK(!selection_.isEmpty() && QFileInfo(selection_).isDir());
  emit OnSelectionChanged(this, selection_);
}

bool TBrowseFolder::Execute() {
  title_->setText(Title);
  title_->setVisible(!Title.isEmpty());
  status_->clear();
  status_->setVisible(ShowPathInStatusArea || (Flags & bfStatusText));
  const QString root = RootFolderPath(RootFolder);
  tree_->setRootIndex(model_->index(root));
  selection_.clear();
  tree_->setCurrentIndex(QModelIndex());
  EnableOK(false);
  custom_->setVisible(CustomButtonVisible);
  custom_->setText(custom_caption_);
  custom_->setFixedWidth(custom_width_ > 0 ? custom_width_ : 75);
  custom_->setEnabled(custom_enabled_);
  if (!Directory.isEmpty() && QFileInfo(Directory).isDir()) SetSelectionPath(Directory);
  QMetaObject::invokeMethod(this, [this] { emit OnInitialized(this); }, Qt::QueuedConnection);
  if (exec() != QDialog::Accepted || selection_.isEmpty()) return false;
  Directory = selection_;
  return true;
}

void RememberFolderText(QComboBox* box) {
  const QString folder = box->currentText();
  for (int i = 0; i < box->count(); ++i)
    if (box->itemText(i).compare(folder, Qt::CaseInsensitive) == 0) return;
  box->addItem(folder);
  box->setEditText(folder);
}

}  // namespace qm
