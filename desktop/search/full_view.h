// The full view of a hit without Qt: the marker request (the hit's marker query, and for a
// mail the "&k=" part that names its attachments), the reader of marker's page, the mail
// header put in front of a mail's text, and the base reference that makes a page's
// relative links resolve against the document. Plain C++ over platform/process.h's line
// cutter and the mail side-file records; used by the main window's hit views
// (main_form_views.cpp); tests in tests/full_view_test.cpp.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mail/side_files_format.h"
#include "platform/process.h"

namespace qm {

// The marker request: the marker query, for a mail followed by "&k=2" without
// attachments, else "&k=0,<v-1>" when v - 1 is at most 2 and "&k=2,<v-1>" otherwise, v
// being the first attachment record's leading number.
std::string MarkerQuery(std::string_view marker_query, bool mail,
                        const std::vector<mail_side::AttachInfoRecord>& attachments);

// Reads marker's output: lines joined with "\n", a leading "Content-Type: text/html" line
// dropped, reading ends at a line that begins with "</html>" (kept) or at the end of the
// output, whose unfinished last line is kept.
class MarkerPageReader {
 public:
  // true once the "</html>" line has come.
  bool feed(std::string_view bytes);
  void finish();
  const std::string& page() const { return page_; }

 private:
  void add(const std::string& line);
  ChildLineReader reader_{std::size_t(1) << 20};
  std::vector<std::string> lines_;
  std::string page_;
  bool first_ = true;
  bool ended_ = false;
};

// The mail's fields for its header (Big5 texts; labels already in Big5).
struct MailHeader {
  std::string sender_label, date_label, subject_label, attach_label;
  std::string sender, subject;
  int32_t date = 0;  // the record's date, yyyymmdd
  std::string attach_dir;  // the database's WorkDir + "Attach/"
  int document = 0;        // the mail's document number
  std::vector<std::string> attachments;  // attachment names in the catalogue's order
};

// The extension of a document path: the text after the first "." of its file name (so
// "report.pgx(12)" has "pgx(12)"; a dot in a folder name does not count).
std::string DocumentExtension(std::string_view path);
// The file of a hit's document path: a page document's trailing "(page)" is cut off; any
// other path is the file itself, parentheses and all.
std::string DocumentFile(std::string_view path);

// "&", "<", ">" and the double quote as entities.
std::string HtmlEscaped(std::string_view text);
// A file URL of an absolute path: "file://" and the path with every byte other than
// letters, digits, "/", "-", ".", "_" and "~" percent-escaped.
std::string FileUrl(std::string_view path);

// Puts the header table behind the ">" that closes the page's "<BODY" tag (upper case
// only, as the marker writes it); a page without one is returned unchanged.
std::string InsertMailHeader(std::string page, const MailHeader& header);
// Replaces the "<BODY ...>" tag (upper case only) by <BASE HREF="<file URL of the
// document>">; a page without one is returned unchanged.
std::string InsertBaseReference(std::string page, std::string_view document_path);
// The address of a page's <BASE HREF="..."> (case-blind); empty when it has none.
std::string PageBaseReference(std::string_view page);
// The page with its first <BASE ...> tag written as <BODY> again, for a viewer that takes
// the base address separately (Qt's text browser shows nothing behind a BASE tag that
// stands outside the head).
std::string PageWithoutBase(std::string page);

}  // namespace qm
