// Stored layout of a mail database's side files, shared by the mail gateway that writes
// them and the desktop catalogue's reader (desktop/catalogue/mail_side_files.h). The
// files lie in the database's index directory (WorkDir) beside the folder of saved
// attachments. Every integer is little-endian and read or written field by field with
// platform/le.h; texts are 8-bit (Big5 or ASCII), NUL-padded.
//
//   MailProperty.db  MailPropertyRecord  168 bytes  one per message, in hand-out order:
//                                                   record n is message n + 1
//       0   i32       date as the decimal number yyyymmdd; 0 when unreadable
//       4   char[81]  subject: at most 80 bytes, NUL-terminated, rest zero
//       85  char[81]  sender: at most 80 bytes as in the message, NUL-terminated
//       166 2 bytes   zero
//   AttachIdx.db     AttachIndexRecord     8 bytes  one per message (only when
//                                                   attachments are on)
//       0   i32       number of the message's AttachInfoRecords
//       4   i32       byte offset of the first of them in AttachInfo.db
//                     (= attachments of all earlier messages x 266)
//   AttachInfo.db    AttachInfoRecord    266 bytes  one per attachment text
//       0   u16       first number the index builder gave the attachment's text
//       2   u16       last number (next record's first - 1, or closing - 1)
//       4   char[260] attachment name, NUL-terminated when shorter
//       264 2 bytes   zero
//
// Saved attachments: WorkDir + "Attach/" + <message number from 1> + "~" + <name>.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/le.h"

namespace qm::mail_side {

// ---- File names (canonical spellings; readers fall back to a case-blind match) -----
inline constexpr char kMailPropertyFile[] = "MailProperty.db";
inline constexpr char kAttachIndexFile[] = "AttachIdx.db";
inline constexpr char kAttachInfoFile[] = "AttachInfo.db";
inline constexpr char kAttachFolder[] = "Attach";

// ---- MailPropertyRecord ------------------------------------------------------------
inline constexpr size_t kMailPropertySize = 168;
inline constexpr size_t kMailDateAt = 0;
inline constexpr size_t kMailSubjectAt = 4;
inline constexpr size_t kMailSenderAt = 85;
inline constexpr size_t kMailTextField = 81;  // 80 bytes and the NUL

// ---- AttachIndexRecord -------------------------------------------------------------
inline constexpr size_t kAttachIndexSize = 8;
inline constexpr size_t kAttachCountAt = 0;
inline constexpr size_t kAttachOffsetAt = 4;

// ---- AttachInfoRecord --------------------------------------------------------------
inline constexpr size_t kAttachInfoSize = 266;
inline constexpr size_t kAttachFirstAt = 0;
inline constexpr size_t kAttachLastAt = 2;
inline constexpr size_t kAttachNameAt = 4;
inline constexpr size_t kAttachNameField = 260;

struct MailPropertyRecord {
  int32_t date = 0;     // yyyymmdd, 0 when unreadable
  std::string subject;  // at most 80 bytes
  std::string sender;   // at most 80 bytes
};

struct AttachIndexRecord {
  int32_t count = 0;
  int32_t offset = 0;
};

struct AttachInfoRecord {
  uint16_t first = 0;
  uint16_t last = 0;
  std::string name;  // at most 260 bytes
};

// The text of a NUL-padded field: up to its first NUL, never past the field.
inline std::string field_text(const unsigned char* field, size_t size) {
  size_t n = 0;
  while (n < size && field[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(field), n);
}

// Copies text into a zeroed field, at most size - 1 bytes (room for the NUL) or all
// size bytes when the field may be full (the attachment name).
inline void put_field(unsigned char* field, size_t size, std::string_view text, bool keep_nul) {
  size_t room = keep_nul ? size - 1 : size;
  size_t n = text.size() < room ? text.size() : room;
  for (size_t i = 0; i < size; ++i) field[i] = i < n ? static_cast<unsigned char>(text[i]) : 0;
}

// ---- Record encoders and decoders (each record is exactly its size) ----------------
inline std::string encode(const MailPropertyRecord& r) {
  unsigned char b[kMailPropertySize] = {};
  le::put32(b + kMailDateAt, static_cast<uint32_t>(r.date));
  put_field(b + kMailSubjectAt, kMailTextField, r.subject, true);
  put_field(b + kMailSenderAt, kMailTextField, r.sender, true);
  return std::string(reinterpret_cast<const char*>(b), sizeof b);
}

inline std::string encode(const AttachIndexRecord& r) {
  unsigned char b[kAttachIndexSize];
  le::put32(b + kAttachCountAt, static_cast<uint32_t>(r.count));
  le::put32(b + kAttachOffsetAt, static_cast<uint32_t>(r.offset));
  return std::string(reinterpret_cast<const char*>(b), sizeof b);
}

inline std::string encode(const AttachInfoRecord& r) {
  unsigned char b[kAttachInfoSize] = {};
  le::put16(b + kAttachFirstAt, r.first);
  le::put16(b + kAttachLastAt, r.last);
  put_field(b + kAttachNameAt, kAttachNameField, r.name, false);
  return std::string(reinterpret_cast<const char*>(b), sizeof b);
}

inline MailPropertyRecord decode_mail_property(const unsigned char* b) {
  MailPropertyRecord r;
  r.date = le::get32s(b + kMailDateAt);
  r.subject = field_text(b + kMailSubjectAt, kMailTextField);
  r.sender = field_text(b + kMailSenderAt, kMailTextField);
  return r;
}

inline AttachIndexRecord decode_attach_index(const unsigned char* b) {
  return {le::get32s(b + kAttachCountAt), le::get32s(b + kAttachOffsetAt)};
}

inline AttachInfoRecord decode_attach_info(const unsigned char* b) {
  AttachInfoRecord r;
  r.first = le::get16(b + kAttachFirstAt);
  r.last = le::get16(b + kAttachLastAt);
  r.name = field_text(b + kAttachNameAt, kAttachNameField);
  return r;
}

}  // namespace qm::mail_side
