// PreviewPane: the main window's preview over its QTextBrowser (HTML1). Pages of the
// system are Big5 files: they are read and decoded here and shown with setHtml; a page's
// <BASE HREF> (else the page file's own folder) becomes the document's base address, so
// its pictures and relative links resolve against the document. Links are ours to follow
// (the browser's own opening is off): a local .htm/.html page opens in the pane, an
// anchor scrolls, anything else goes to the window's opener. Nothing is fetched from the
// network.
#pragma once
#include <QObject>
#include <QUrl>
#include <functional>
#include <string>

class QTextBrowser;

namespace qm {

class PreviewPane : public QObject {
  Q_OBJECT

 public:
  explicit PreviewPane(QTextBrowser* browser, QObject* parent = nullptr);

  // Where links that are not local pages go (an address or a file URL).
  void set_opener(std::function<void(const QUrl&)> opener) { opener_ = std::move(opener); }

  // Shows a Big5 page file; false (the pane emptied) when it cannot be read.
  bool show_file(const std::string& path);
  // Shows a Big5 page whose relative addresses resolve against base.
  void show_page(const std::string& big5, const QUrl& base);
  void clear();

  // The file shown last (empty after clear or show_page).
  const std::string& shown_file() const { return shown_file_; }
  QUrl base() const;

  // A link of the page was followed.
  void follow(const QUrl& link);

 private:
  QTextBrowser* browser_;
  std::function<void(const QUrl&)> opener_;
  std::string shown_file_;
};

}  // namespace qm
