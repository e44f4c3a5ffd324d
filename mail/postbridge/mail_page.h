// The mail page writer: the page handed out for one message (its layout in
// mail/mail_page_format.h) and its name "[mailbox] - n". Builds on attachments.h for
// defusing section openers; used by the gateway (gateway.cpp) and its tests.
#pragma once
#include <string>
#include <string_view>

namespace qm::mail {

// The sender as the page shows it: "<" becomes "{" and ">" becomes "}" outside Big5
// pairs (a lead 0xA1-0xFE and a trail 0x40-0xFE are passed over whole).
std::string page_sender(std::string_view sender);

// Appends the page's head "<TITLE>subject</TITLE>\n<H1>sender</H1>\n<BODY>body</BODY>\n",
// the sender through page_sender() and every piece with its section openers defused.
void append_mail_page(std::string& page, std::string_view subject, std::string_view sender,
                      std::string_view body);
// Appends an attachment section: "<T_ATTACH>name</T_ATTACH>\r\n", then the text defused.
// The caller leaves out names that hold the opener (holds_attach_opener()).
void append_attach_section(std::string& page, std::string_view name, std::string_view text);

// "[mailbox] - number".
std::string mail_page_name(std::string_view mailbox, int number);

}  // namespace qm::mail
