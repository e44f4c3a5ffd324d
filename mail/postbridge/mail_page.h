// MailPage, the text handed out for one message: title, heading and body lines, and its
// name "[mailbox] - n". Used by the gateway (gateway.cpp) and its tests.
#pragma once
#include <string>
#include <string_view>

namespace qm::mail {

// The sender as the page shows it: "<" becomes "{" and ">" becomes "}" outside Big5
// pairs (a lead 0xA1-0xFE and a trail 0x40-0xFE are passed over whole).
std::string page_sender(std::string_view sender);

// "<TITLE>subject</TITLE>\n<H1>sender</H1>\n<BODY>body</BODY>\n".
std::string mail_page(std::string_view subject, std::string_view sender, std::string_view body);

// "[mailbox] - number".
std::string mail_page_name(std::string_view mailbox, int number);

}  // namespace qm::mail
