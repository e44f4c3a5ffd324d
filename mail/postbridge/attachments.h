// Attachment text for the mail gateway: each named part whose type is handled is saved in
// the database's attachment folder (where the desktop opens it from a mail hit), and its
// text is left in a private folder of the run: plain text and HTML as they are, the other
// types through the converter program docpress, run as a child process under a time-out.
// Also the emptying of the attachment folder at a run's start. Builds on
// platform/process.h and mail/decode/message.h; used by the gateway (gateway.cpp).
//
// Every file is made through a directory handle without following symbolic links, so a
// link planted in the output directory cannot send a write elsewhere.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "mail/decode/message.h"

namespace qm::mail {

enum class AttachmentHandling { None, Copy, Convert };

// By the extension after the name's last ".", compared case-blind: txt, htm, html are
// copied; doc, xls, ppt, rtf, pdf, pgx, docx, xlsx, odt, ods converted (the kinds that
// libkvx.so reads); anything else has no text.
AttachmentHandling attachment_handling(std::string_view name);

// Empties the folder and removes it. Entries whose names begin with "." (hidden) stay,
// and with them the folders that hold them. Symbolic links are removed, never followed;
// a folder that is itself a link is removed as a link.
void empty_attachment_folder(const std::string& folder);

// The prefix of the run's private text folders in the output directory.
inline constexpr char kTextFolderPrefix[] = "pbtext.";
// Removes private text folders left in outdir by earlier runs.
void remove_stale_text_folders(const std::string& outdir);

// A text may be at most this long; a longer one is cut.
inline constexpr size_t kMaxAttachmentText = size_t(32) << 20;

struct ConverterSettings {
  std::string path;         // the converter program
  int timeout_seconds = 60; // 0 or less: stopped at the first look
};

// The attachment texts of one run over a source.
class AttachmentTexts {
 public:
  AttachmentTexts() = default;
  ~AttachmentTexts() { finish(); }
  AttachmentTexts(const AttachmentTexts&) = delete;
  AttachmentTexts& operator=(const AttachmentTexts&) = delete;

  // Starts a run writing into outdir (ending in "/"); the private folder is made when first needed.
  void start(const std::string& outdir);
  // Removes the private folder with what is left in it.
  void finish();

  // Saves part index of message number as "<number>~<name>" in the attachment folder and
  // leaves its text in the private folder; the size of the text, 0 when there is none.
  size_t convert(const ConverterSettings& converter, int number, int index, const MessagePart& part);
  // The text that convert() left for that part, taken out of the private folder (cut at
  // kMaxAttachmentText); false when there is none.
  bool take_text(int number, int index, std::string& text);

  const std::string& text_folder() const { return text_dir_; }

 private:
  bool make_text_folder();
  std::string outdir_;    // absolute, ending in "/"
  std::string text_dir_;  // absolute, ending in "/"; empty until made
};

// Defuses the attachment-section opener inside text: each "<T_ATTACH>" (any case) gets
// its "<" written "&lt;", so only the gateway's own section lines open sections.
std::string defuse_attach_opener(std::string_view text);
// The same appended to out, without a copy of its own.
void append_defused(std::string& out, std::string_view text);
// True when the text holds the opener (any case).
bool holds_attach_opener(std::string_view text);

}  // namespace qm::mail
