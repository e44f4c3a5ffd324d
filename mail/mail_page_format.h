// Layout of a mail page, the text the mail gateway hands out for one message
// (written by mail/postbridge/mail_page.cpp for gateway.cpp) and the index builder
// parses back into paragraphs (indexer/mail_build.cpp); pbdrive finds the attachment
// names in it the same way. Text is 8-bit (Big5 or ASCII).
//
//   <TITLE>subject</TITLE>\n
//   <H1>sender</H1>\n            "<" and ">" of the sender shown as "{" and "}"
//   <BODY>body</BODY>\n
//   then per attachment text:
//   <T_ATTACH>name</T_ATTACH>\r\n
//   text of the attachment
//
// No piece the gateway writes holds the section opener "<T_ATTACH>" (in any case) but
// its own section lines: inside subject, sender, body and texts it becomes "&lt;T_ATTACH>",
// and an attachment whose name holds it is left out. The body ends at the "</BODY>\n"
// that opens the first section, or at the last one when there are no sections.
#pragma once
#include <string_view>

namespace qm::mail_page_format {

inline constexpr std::string_view kTitleOpen = "<TITLE>";
inline constexpr std::string_view kTitleClose = "</TITLE>\n";
inline constexpr std::string_view kSenderOpen = "<H1>";
inline constexpr std::string_view kSenderClose = "</H1>\n";
inline constexpr std::string_view kBodyOpen = "<BODY>";
inline constexpr std::string_view kBodyClose = "</BODY>\n";

// An attachment section's line: opener, name, closer and line end.
inline constexpr std::string_view kAttachOpen = "<T_ATTACH>";
inline constexpr std::string_view kAttachClose = "</T_ATTACH>";
inline constexpr std::string_view kAttachLineEnd = "\r\n";
// What the opener becomes inside a piece of text: its "<" written as "&lt;".
inline constexpr std::string_view kDefusedLess = "&lt;";

}  // namespace qm::mail_page_format
