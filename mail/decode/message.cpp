// Message decoding (see message.h): the header texts, the body by its transfer encoding,
// uuencoded blocks in a plain body, and the recursive multipart split with its limits
// (16 levels of nesting, 256 parts).
#include "mail/decode/message.h"

#include "mail/decode/codecs.h"
#include "mail/decode/date.h"
#include "mail/decode/header.h"
#include "mail/decode/names.h"

namespace qm::mail {

namespace {

std::string lower_ascii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return out;
}

// A header text decoded for showing: encoded words, controls blanked, cut on Big5.
std::string header_text(const std::vector<HeaderField>& fields, std::string_view name, size_t max) {
  const std::string* value = find_field(fields, name);
  if (!value) return {};
  std::string text = decode_encoded_words(big5_cut(*value, 4096));
  blank_controls(text);
  return std::string(big5_cut(text, max));
}

PartEncoding transfer_encoding(const std::vector<HeaderField>& fields) {
  const std::string* cte = find_field(fields, "Content-Transfer-Encoding");
  if (!cte) return PartEncoding::None;
  const std::string v = lower_ascii(field_main_value(*cte, 64));
  if (v == "base64") return PartEncoding::Base64;
  if (v == "quoted-printable") return PartEncoding::QuotedPrintable;
  if (v == "x-uuencode") return PartEncoding::Uuencode;
  return PartEncoding::None;
}

// Content type from a uuencoded file's name.
std::string type_of_extension(std::string_view name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  const std::string ext = lower_ascii(name.substr(dot + 1));
  if (ext == "gif" || ext == "jpg") return "image/" + ext;
  if (ext == "txt") return "text/plain";
  if (ext == "htm" || ext == "html") return "text/html";
  return {};
}

// A line "begin <octal mode> <name>" at text[at]: the name, empty when the line is not one.
std::string begin_line_name(std::string_view text, size_t at) {
  if (text.substr(at, 6) != "begin ") return {};
  size_t i = at + 6;
  unsigned mode = 0;
  const size_t digits = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '7' && i - digits < 6) mode = mode * 8 + unsigned(text[i++] - '0');
  if (i == digits || mode == 0 || i >= text.size() || text[i] != ' ') return {};
  ++i;
  size_t end = text.find("\r\n", i);
  if (end == std::string_view::npos) end = text.size();
  return std::string(text.substr(i, end - i));
}

// The first uuencoded block's begin line: at the body's start or after a blank line.
size_t find_uu_start(std::string_view body) {
  if (!begin_line_name(body, 0).empty()) return 0;
  for (size_t at = body.find("\r\n\r\nbegin "); at != std::string_view::npos;
       at = body.find("\r\n\r\nbegin ", at + 4))
    if (!begin_line_name(body, at + 4).empty()) return at + 4;
  return std::string_view::npos;
}

void add_part(MessageRecord& rec, MessagePart part) {
  if (rec.parts.size() < kMaxParts) rec.parts.push_back(std::move(part));
}

std::string part_name(std::string_view raw, size_t index) {
  std::string name = decode_encoded_words(raw);
  return safe_attachment_name(name, "NoName" + std::to_string(index));
}

// The uuencoded blocks of a plain body, from its first begin line on.
void read_uu_blocks(MessageRecord& rec, std::string_view body, size_t at) {
  while (at < body.size() && rec.parts.size() < kMaxParts) {
    while (body.substr(at, 2) == "\r\n") at += 2;  // blank lines
    const std::string name = begin_line_name(body, at);
    if (name.empty()) {
      const size_t next = body.find("\r\nbegin ", at);
      if (next == std::string_view::npos) return;
      at = next + 2;
      continue;
    }
    const size_t data = body.find("\r\n", at);
    if (data == std::string_view::npos) return;
    // The data runs to an "end" line; a block without one ends the walk.
    size_t end_line = std::string_view::npos;
    for (size_t p = data; p != std::string_view::npos && p < body.size(); p = body.find("\r\n", p + 2)) {
      const std::string_view rest = body.substr(p + 2);
      if (rest.size() >= 3 && iequals(rest.substr(0, 3), "end") && (rest.size() == 3 || rest.substr(3, 2) == "\r\n")) {
        end_line = p + 2;
        break;
      }
    }
    if (end_line == std::string_view::npos) return;
    std::string bytes;
    if (uu_decode_lines(body.substr(data + 2, end_line - data - 2), bytes)) {
      MessagePart part;
      part.encoding = PartEncoding::Uuencode;
      part.name = part_name(name, rec.parts.size());
      part.content_type = type_of_extension(part.name);
      part.data = std::move(bytes);
      add_part(rec, std::move(part));
    }
    at = end_line + 3;
  }
}

// The delimiter line "--boundary" at a line start, from `from` on.
size_t find_delimiter(std::string_view text, std::string_view delimiter, size_t from) {
  for (size_t at = text.find(delimiter, from); at != std::string_view::npos; at = text.find(delimiter, at + 1)) {
    if (at != 0 && text[at - 1] != '\n') continue;
    // "--b1" is no delimiter of "--b10": the boundary ends the line, or "--" follows.
    const size_t after = at + delimiter.size();
    if (after == text.size() || text.substr(after, 2) == "--" || text[after] == '\r' || text[after] == '\n' ||
        text[after] == ' ' || text[after] == '\t')
      return at;
  }
  return std::string_view::npos;
}

MessageRecord parse_at_depth(std::string_view raw, int depth);
void decode_body(MessageRecord& rec, const std::vector<HeaderField>& fields, std::string_view body, int depth);

void split_multipart(MessageRecord& rec, std::string_view text, std::string_view boundary, int depth);

// One part of a multipart body: its header fields and raw content.
void read_part(MessageRecord& rec, std::string_view header, std::string_view content, int depth) {
  const std::vector<HeaderField> fields = parse_header_block(header);
  const std::string* ct = find_field(fields, "Content-Type");
  std::string type = ct ? field_main_value(*ct, 79) : std::string();
  if (type.empty()) type = "text/plain";
  const std::string ltype = lower_ascii(type);
  if (ltype.rfind("multipart/", 0) == 0) {
    const std::string inner = ct ? field_parameter(*ct, "boundary") : std::string();
    if (!inner.empty()) {
      split_multipart(rec, content, inner, depth + 1);
      return;
    }
  }
  MessagePart part;
  part.content_type = type;
  std::string raw_name;
  if (const std::string* cd = find_field(fields, "Content-Disposition")) raw_name = field_parameter(*cd, "filename");
  if (raw_name.empty() && ct) raw_name = field_parameter(*ct, "name");
  part.encoding = transfer_encoding(fields);
  if (ltype.rfind("application/", 0) == 0 && ltype.find("binhex") != std::string::npos)
    part.encoding = PartEncoding::BinHex;
  if (!raw_name.empty()) part.name = part_name(raw_name, rec.parts.size());

  switch (part.encoding) {
    case PartEncoding::Uuencode: {
      const size_t first = content.find("\r\n");
      if (first == std::string_view::npos || !uu_decode_lines(content.substr(first + 2), part.data)) return;
      break;
    }
    case PartEncoding::Base64:
      if (!base64_decode(content, part.data)) return;  // dropped; the split goes on
      break;
    case PartEncoding::QuotedPrintable:
      part.data = quoted_printable_decode(content);
      break;
    case PartEncoding::BinHex:
      if (!binhex_decode(content, part.data)) part.data.assign(content);  // the plain copy
      break;
    case PartEncoding::None:
      if (ltype == "message/rfc822" && part.name.empty()) {
        // An enclosed message: its text joins the body, its named parts follow ours.
        if (depth + 1 >= kMaxNesting) return;
        MessageRecord inner = parse_at_depth(content, depth + 1);
        for (MessagePart& p : inner.parts)
          if (!p.name.empty()) add_part(rec, std::move(p));
        if (inner.body.empty()) return;
        part.content_type = "text/plain";
        part.data = std::move(inner.body);
        add_part(rec, std::move(part));
        return;
      }
      part.data.assign(content);
      break;
  }
  if (part.name.empty() && iequals(part.content_type, "text/plain"))
    part.data = mail_text_to_big5(part.data, ct ? field_parameter(*ct, "charset") : std::string());
  add_part(rec, std::move(part));
}

void split_multipart(MessageRecord& rec, std::string_view text, std::string_view boundary, int depth) {
  if (depth >= kMaxNesting) return;
  const std::string delimiter = "--" + std::string(boundary);
  size_t at = find_delimiter(text, delimiter, 0);
  while (at != std::string_view::npos && rec.parts.size() < kMaxParts) {
    const size_t after = at + delimiter.size();
    if (text.substr(after, 2) == "--") return;  // the closing delimiter
    const size_t line_end = text.find("\r\n", after);
    if (line_end == std::string_view::npos) return;
    const size_t header_at = line_end + 2;
    size_t content_at;
    std::string_view header;
    if (text.substr(header_at, 2) == "\r\n") {
      content_at = header_at + 2;  // a part without header lines
    } else {
      const size_t header_end = text.find("\r\n\r\n", header_at);
      if (header_end == std::string_view::npos) return;
      header = text.substr(header_at, header_end - header_at);
      content_at = header_end + 4;
    }
    const size_t next = find_delimiter(text, delimiter, content_at);
    size_t content_end = next == std::string_view::npos ? text.size() : next;
    // The line end before a delimiter belongs to the delimiter.
    if (content_end >= content_at + 2 && text.substr(content_end - 2, 2) == "\r\n" && next != std::string_view::npos)
      content_end -= 2;
    read_part(rec, header, text.substr(content_at, content_end - content_at), depth);
    at = next;
  }
}

void decode_body(MessageRecord& rec, const std::vector<HeaderField>& fields, std::string_view body, int depth) {
  const std::string* ct = find_field(fields, "Content-Type");
  const std::string type = lower_ascii(ct ? field_main_value(*ct, 79) : std::string());
  const std::string charset = ct ? field_parameter(*ct, "charset") : std::string();
  const bool text = type.empty() || type.rfind("text/", 0) == 0;
  const std::string boundary = ct ? field_parameter(*ct, "boundary") : std::string();
  if (type.rfind("multipart/", 0) == 0 && !boundary.empty()) {
    split_multipart(rec, body, boundary, depth);
    for (const MessagePart& p : rec.parts)
      if (p.name.empty() && iequals(p.content_type, "text/plain")) rec.body += p.data + "\r\n";
    if (!rec.parts.empty()) {
      MessagePart& first = rec.parts.front();
      const size_t slash = first.content_type.find('/');
      if (first.name.empty() && slash != std::string::npos && !iequals(first.content_type, "text/plain"))
        first.name = safe_attachment_name("NoName0." + first.content_type.substr(slash + 1), "NoName0");
    }
    return;
  }
  switch (transfer_encoding(fields)) {
    case PartEncoding::Base64: {
      std::string bytes;
      if (base64_decode(body, bytes)) rec.body = text ? mail_text_to_big5(bytes, charset) : bytes;
      return;
    }
    case PartEncoding::QuotedPrintable: {
      const std::string bytes = quoted_printable_decode(body);
      rec.body = text ? mail_text_to_big5(bytes, charset) : bytes;
      return;
    }
    default:
      break;
  }
  const size_t uu = find_uu_start(body);
  if (uu != std::string_view::npos) {
    rec.body = mail_text_to_big5(body.substr(0, uu == 0 ? 0 : uu - 2), charset);
    read_uu_blocks(rec, body, uu);
    return;
  }
  rec.body = text ? mail_text_to_big5(body, charset) : std::string(body);
}

MessageRecord parse_at_depth(std::string_view raw, int depth) {
  MessageRecord rec;
  // Without a blank line the message is all header (RFC 5322 allows a message without a
  // body): its fields are read and the body is empty.
  const size_t split = raw.find("\r\n\r\n");
  const std::vector<HeaderField> fields = parse_header_block(raw.substr(0, split));
  rec.subject = header_text(fields, "Subject", kSubjectMax);
  rec.sender = header_text(fields, "From", kSenderMax);
  rec.recipients = header_text(fields, "To", kRecipientsMax);
  if (const std::string* date = find_field(fields, "Date")) {
    rec.date_text = std::string(big5_cut(*date, kDateTextMax));
    rec.date = mail_date_value(rec.date_text);
  }
  if (const std::string* id = find_field(fields, "Message-ID")) {
    std::string_view v = *id;
    while (!v.empty() && (v.front() == '<' || v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == '>' || v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
    rec.message_id = std::string(big5_cut(v, kMessageIdMax));
  }
  if (split != std::string_view::npos) decode_body(rec, fields, raw.substr(split + 4), depth);
  return rec;
}

}  // namespace

std::string normalize_line_ends(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

MessageRecord parse_message(std::string_view raw) {
  const std::string text = normalize_line_ends(raw);
  return parse_at_depth(text, 0);
}

}  // namespace qm::mail
