// MailPage and its name (see mail_page.h).
#include "mail/postbridge/mail_page.h"

namespace qm::mail {

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

std::string mail_page(std::string_view subject, std::string_view sender, std::string_view body) {
  std::string page;
  page.reserve(subject.size() + sender.size() + body.size() + 48);
  page += "<TITLE>";
  page += subject;
  page += "</TITLE>\n<H1>";
  page += page_sender(sender);
  page += "</H1>\n<BODY>";
  page += body;
  page += "</BODY>\n";
  return page;
}

std::string mail_page_name(std::string_view mailbox, int number) {
  std::string name = "[";  // appended: GCC 12 warns falsely on "literal" + string chains
  name += mailbox;
  name += "] - ";
  name += std::to_string(number);
  return name;
}

}  // namespace qm::mail
