// One mail message decoded: the header texts postbridge shows and stores, the body text
// to index and the parts that may become attachments. Builds on header.h, codecs.h,
// date.h and names.h; used by postbridge's sources (mail/postbridge/) and pbdrive.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm::mail {

enum class PartEncoding : int32_t { None = 0, Uuencode = 1, Base64 = 2, QuotedPrintable = 3, BinHex = 5 };

struct MessagePart {
  PartEncoding encoding = PartEncoding::None;
  std::string name;          // safe file name (names.h); empty for a part without one
  std::string content_type;  // "text/plain", without parameters, at most 79 bytes
  std::string data;          // decoded bytes; unnamed text/plain parts made Big5
};

inline constexpr size_t kSubjectMax = 80;
inline constexpr size_t kSenderMax = 256;
inline constexpr size_t kRecipientsMax = 1024;
inline constexpr size_t kDateTextMax = 80;
inline constexpr size_t kMessageIdMax = 259;
inline constexpr size_t kMaxParts = 256;
inline constexpr int kMaxNesting = 16;

struct MessageRecord {
  std::string subject;     // encoded words decoded, controls blanked, at most 80 bytes
  std::string sender;      // the From: text the same way, at most 256 bytes
  std::string recipients;  // the To: text, at most 1,024 bytes
  std::string date_text;   // the Date: text, at most 80 bytes
  std::string message_id;  // without "<", ">" and blanks at its ends
  int32_t date = 0;        // yyyymmdd (date.h), 0 when unreadable
  std::string body;        // the text to index
  std::vector<MessagePart> parts;  // at most 256
};

// Decodes one raw message (line ends CR LF, LF or CR). A message without a blank line
// is all header: its fields are read, its body is empty.
MessageRecord parse_message(std::string_view raw);

// Line ends made CR LF (bare LF and bare CR alike).
std::string normalize_line_ends(std::string_view text);

}  // namespace qm::mail
