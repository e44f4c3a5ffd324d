// The main window's bookmark, property, layout, about and web search commands (see
// main_form.h): the bookmark manager (forms/bookmark_form.h) bound to the bookmark menu
// and the result list, bookmarks added from hits and opened from the menu, the hit
// property dialog (forms/property_forms.h), the layout dialog and about box
// (forms/layout_form.h) and the web search form (forms/web_srch_form.h).
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QToolButton>
#include <QTreeView>

#include "common/big5_codec.h"
#include "common/files.h"
#include "common/strings.h"
#include "desktop/big5_qt.h"
#include "desktop/catalogue/catalogue.h"
#include "desktop/forms/bookmark_form.h"
#include "desktop/forms/form_ui.h"
#include "desktop/forms/layout_form.h"
#include "desktop/forms/property_forms.h"
#include "desktop/forms/web_srch_form.h"
#include "desktop/hit_list_model.h"
#include "desktop/main_form.h"
#include "desktop/maker_pages.h"
#include "desktop/messages.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"
#include "platform/atomic_file.h"

namespace qm {
namespace {

QString file_text(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

// The part of a hit's name after its last "\", else after its last "/", else the whole;
// a 0x5C inside a Big5 pair is a trail byte, not a separator.
std::string name_after_separator(std::string_view name) {
  size_t back = std::string_view::npos, slash = std::string_view::npos;
  for (size_t i = 0; i < name.size();) {
    if (name[i] == '\\') back = i;
    if (name[i] == '/') slash = i;
    i += std::max<size_t>(1, big5_char_len(name, i));
  }
  const size_t cut = back != std::string_view::npos ? back : slash;
  return std::string(cut == std::string_view::npos ? name : name.substr(cut + 1));
}

// A bookmark's caption (Big5) from a hit's name: a mail's subject is Big5 already, a
// document's name is a file name, taken as the list shows it.
std::string hit_caption(const HitRow& h) {
  const std::string& name = h.sub[kSubName];
  std::string big5;
  if (h.mail || !qstring_to_big5(file_text(name), big5)) return name;
  return big5;
}

}  // namespace

void TMainForm::create_bookmark_forms() {
  web_search_address_ = maker::kWebSearchHost;
  bookmarks_ = new TBookmarkForm(program_dir_, this);
  doc_pty_ = new TDocPtyForm(this);
  for (QAction* a : {menuLayout, mWebSearch, mAddBM, mEditBM, mAbout, mContent, popAddBM})
    a->setEnabled(true);
  btnWebSearch->setEnabled(true);
}

void TMainForm::wire_bookmark_commands() {
  connect(mEditBM, &QAction::triggered, this, [this] { mEditBMClick(); });
  connect(mAddBM, &QAction::triggered, this, [this] { mAddBMClick(); });
  connect(popAddBM, &QAction::triggered, this, [this] { mAddBMClick(); });
  connect(mContent, &QAction::triggered, this, [this] { mContentClick(); });
  connect(mWebSearch, &QAction::triggered, this, [this] { btnWebSearchClick(); });
  connect(btnWebSearch, &QToolButton::clicked, this, [this] { btnWebSearchClick(); });
  connect(menuLayout, &QAction::triggered, this, [this] { menuLayoutClick(); });
  connect(mAbout, &QAction::triggered, this, [this] { mAboutClick(); });
}

void TMainForm::SetUpBookmarks() {
  if (bookmarks_set_up_ || !bookmarks_) return;
  bookmarks_set_up_ = true;
  bookmarks_->SetBookmarkMenu(mBookMark, [this](int tag) { BookmarkClick(tag); });
  bookmarks_->SetHitSource(ListView1, [this]() -> std::optional<BookmarkHit> {
    const int r = selected_row();
    if (r < 0) return std::nullopt;
    const HitRow& h = hits_->row(r);
    return BookmarkHit{hit_caption(h), row_document_path(r), h.mail};
  });
}

void TMainForm::mEditBMClick() {
  if (!bookmarks_) return;
  SetUpBookmarks();
  bookmarks_->setWindowFlag(Qt::WindowStaysOnTopHint, true);
  bookmarks_->show();
  bookmarks_->raise();
  bookmarks_->activateWindow();
}

void TMainForm::mAddBMClick() {
  const int r = selected_row();
  if (r < 0 || !bookmarks_) return;
  const HitRow& h = hits_->row(r);
  if (h.mail) return;  // a mail has no file to bookmark
  SetUpBookmarks();
  const std::string path = bookmark_hit_path(row_document_path(r));
  const std::string caption = hit_caption(h);
  const int tag = bookmarks_->AddBookmark(caption, path);
  bookmark_menu_entry(mBookMark, caption, tag, [this](int t) { BookmarkClick(t); });
}

void TMainForm::BookmarkClick(int tag) {
  if (!bookmarks_) return;
  const std::string path = bookmarks_->PathOfTag(tag);
  if (!file_exists(path)) {
    ShowMessageById(text::kMsgBookmarkMissing, text::kCaptionError, kStyleStop);
    return;
  }
  if (path == "Error" || OpenShellDocument(path)) return;
  if (ShowMessageById(text::kAskOpenAsText, text::kCaptionQuestion, kStyleQuestionOkCancel) !=
      kAnswerOk)
    return;
  // The copy goes beside the program, replacing the last one whole.
  std::string bytes;
  const std::string copy = program_dir_ + "temp.htm";
  if (!file_read_all_binary(path, bytes) || !atomic_replace(copy, bytes)) {
    ShowMessageById(text::kMsgShellFailed, text::kCaptionError, kStyleStop);
    return;
  }
  open_with_shell("file://" + copy);
}

void TMainForm::mContentClick() {
  const int r = selected_row();
  if (r < 0 || !doc_pty_ || !catalog_) return;
  const HitRow& h = hits_->row(r);
  const std::string name = name_after_separator(h.sub[kSubName]);
  DocProperties p;
  // A mail's name is its subject (Big5); a document's is a file name.
  p.caption = h.mail ? big5_to_qstring(name) : file_text(name);
  p.type = ui_text(h.mail ? text::kTypeMail : text::kTypeDocuments);
  p.database = big5_to_qstring(catalog_->DatabaseDescription(h.database_id));
  p.sender = h.mail ? big5_to_qstring(h.sub[kSubSender]) : QString();
  p.title = big5_to_qstring(h.sub[kSubTitle]);
  p.date = big5_to_qstring(h.sub[kSubDate]);
  // The mail file for a mail, the document (with its sub-folders) for a document.
  p.path = file_text(row_document_path(r));
  doc_pty_->ShowProperties(p);
  doc_pty_->exec();
}

void TMainForm::btnWebSearchClick() {
  TWebSrchForm form(web_search_address_, [this](const std::string& a) { open_with_shell(a); }, this);
  form.exec();
}

void TMainForm::menuLayoutClick() {
  TLayoutForm form(this);
  form.SetPanes(panelTool, panelLeft, panelPreview, nullptr);
  form.exec();
  SetTreeCaption(lblCaption->text());
}

void TMainForm::mAboutClick() {
  TAboutF form([this](const std::string& a) { open_with_shell(a); }, this);
  form.exec();
}

}  // namespace qm
