// The preview over the text browser (see preview_pane.h).
#include "desktop/preview_pane.h"

#include <QFile>
#include <QFileInfo>
#include <QTextBrowser>
#include <QTextDocument>

#include "desktop/big5_qt.h"
#include "desktop/search/full_view.h"

namespace qm {

PreviewPane::PreviewPane(QTextBrowser* browser, QObject* parent)
    : QObject(parent), browser_(browser) {
  browser_->setOpenLinks(false);
  browser_->setOpenExternalLinks(false);
  connect(browser_, &QTextBrowser::anchorClicked, this, &PreviewPane::follow);
}

QUrl PreviewPane::base() const { return browser_->document()->baseUrl(); }

void PreviewPane::clear() {
  shown_file_.clear();
  browser_->clear();
}

bool PreviewPane::show_file(const std::string& path) {
  const QString name = QFile::decodeName(QByteArray::fromStdString(path));
  QFile file(name);
  if (!file.open(QIODevice::ReadOnly)) {
    clear();
    return false;
  }
  const QByteArray bytes = file.readAll();
  std::string page(bytes.constData(), size_t(bytes.size()));
  QUrl base = QUrl::fromLocalFile(QFileInfo(name).absoluteFilePath());
  const std::string reference = PageBaseReference(page);
  if (!reference.empty()) {
    base = QUrl::fromEncoded(QByteArray::fromStdString(reference));
    page = PageWithoutBase(std::move(page));
  }
  show_page(page, base);
  shown_file_ = path;
  return true;
}

void PreviewPane::show_page(const std::string& big5, const QUrl& base) {
  shown_file_.clear();
  QTextDocument* doc = browser_->document();
  doc->setBaseUrl(base);
  // Local pictures and style sheets are found beside the document.
  if (base.isLocalFile())
    browser_->setSearchPaths({QFileInfo(base.toLocalFile()).absolutePath()});
  browser_->setHtml(big5_to_qstring(big5));
  doc->setBaseUrl(base);
}

void PreviewPane::follow(const QUrl& link) {
  if (link.isRelative() && link.path().isEmpty() && link.hasFragment()) {
    browser_->scrollToAnchor(link.fragment());
    return;
  }
  const QUrl target = base().resolved(link);
  if (target.isLocalFile()) {
    const QString path = target.toLocalFile();
    const QString suffix = QFileInfo(path).suffix().toLower();
    if ((suffix == QLatin1String("htm") || suffix == QLatin1String("html")) && QFileInfo(path).isFile()) {
      show_file(QFile::encodeName(path).toStdString());
      if (target.hasFragment()) browser_->scrollToAnchor(target.fragment());
      return;
    }
  }
  if (opener_) opener_(target);
}

}  // namespace qm
