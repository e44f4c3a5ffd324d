// The mail page writer and the page's name (see mail_page.h); the tags come from
// mail/mail_page_format.h, the defusing from attachments.h.
#include "mail/postbridge/mail_page.h"

#include "mail/mail_page_format.h"
#include "mail/postbridge/attachments.h"

namespace qm::mail {

namespace fmt = qm::mail_page_format;

std::string page_sender(std::string_view sender) {
  std::string out(sender);
  for (size_t i = 0; i < out.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(out[i]);
    if (c >= 0xA1 && c <= 0xFE && i + 1 < out.size()) {
      const unsigned char t = static_cast<unsigned char>(out[i + 1]);
      if (t >= 0x40 && t <= 0xFE) {
        ++i;
        continue;
      }
    }
    if (c == '<') out[i] = '{';
    if (c == '>') out[i] = '}';
  }
  return out;
}

void append_mail_page(std::string& page, std::string_view subject, std::string_view sender,
                      std::string_view body) {
  // Defused piece by piece (no opener can span a piece and the tags between them), in
  // the caller's buffer: a long body is copied once.
  page.reserve(page.size() + subject.size() + sender.size() + body.size() + 48);
  page += fmt::kTitleOpen;
  append_defused(page, subject);
  page += fmt::kTitleClose;
  page += fmt::kSenderOpen;
  append_defused(page, page_sender(sender));
  page += fmt::kSenderClose;
  page += fmt::kBodyOpen;
  append_defused(page, body);
  page += fmt::kBodyClose;
}

void append_attach_section(std::string& page, std::string_view name, std::string_view text) {
  page += fmt::kAttachOpen;
  page += name;
  page += fmt::kAttachClose;
  page += fmt::kAttachLineEnd;
  append_defused(page, text);
}

std::string mail_page_name(std::string_view mailbox, int number) {
  std::string name = "[";  // appended: GCC 12 warns falsely on "literal" + string chains
  name += mailbox;
  name += "] - ";
  name += std::to_string(number);
  return name;
}

}  // namespace qm::mail
