// Folder readers and message parsing of the mboxpull stand-in (see folder_reader.h):
// the header texts by the gateway's header parser and decoder, the body and parts from
// GMime's message tree, all made Big5; mbox files split by the gateway's mailbox reader.
#include "mail/mboxpull/folder_reader.h"

#include <fcntl.h>
#include <gmime/gmime.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/charset.h"
#include "common/strings.h"
#include "mail/decode/header.h"
#include "mail/postbridge/mailbox_reader.h"

namespace qm::mboxpull {

namespace {

// Parser options: raw 8-bit header text that is not UTF-8 is read as Big5 (CP950).
GMimeParserOptions* parser_options() {
  static GMimeParserOptions* options = [] {
    g_mime_init();
    GMimeParserOptions* o = g_mime_parser_options_new();
    const char* fallback[] = {"UTF-8", "CP950", nullptr};
    g_mime_parser_options_set_fallback_charsets(o, fallback);
    return o;
  }();
  return options;
}

void ensure_gmime() { parser_options(); }

// A GObject reference released at scope end.
template <typename T>
struct Ref {
  T* p = nullptr;
  explicit Ref(T* object) : p(object) {}
  ~Ref() {
    if (p) g_object_unref(p);
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
};

std::string utf8_to_big5(std::string_view text) {
  return text_to_big5(text, utf8_is_valid(text) ? CharsetChoice{Charset::Utf8, {}} : CharsetChoice{Charset::Big5, {}});
}

// Control bytes outside Big5 pairs replaced by with.
void replace_controls(std::string& text, char with, bool slash_too) {
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0xA1 && c <= 0xFE && i + 1 < text.size()) {
      const unsigned char t = static_cast<unsigned char>(text[i + 1]);
      if (t >= 0x40 && t <= 0xFE) {
        ++i;
        continue;
      }
    }
    if (c < 0x20 || c == 0x7F || (slash_too && c == '/')) text[i] = with;
  }
}

// The top-level header block of a raw message: the fields the texts are taken from, and
// the message as GMime is given it. GMime decodes the encoded words of the address,
// subject and date fields as it builds a message, in time that grows with the square of
// a field's length; it is given only the fields that shape the body (Content-* and
// MIME-Version), and the texts are read from the rest by the gateway's own header
// parser and decoder (mail/decode/header.h), whose time is linear in the field's size.
struct SplitMessage {
  std::vector<qm::mail::HeaderField> fields;
  std::string for_gmime;
};

SplitMessage split_message(std::string_view raw) {
  SplitMessage out;
  size_t pos = 0;
  size_t block_end = raw.size();
  bool keep = false;  // the field the current line belongs to is given to GMime
  std::string kept;
  while (pos < raw.size()) {
    size_t eol = raw.find_first_of("\r\n", pos);
    if (eol == std::string_view::npos) eol = raw.size();
    const std::string_view line = raw.substr(pos, eol - pos);
    if (line.empty()) {
      block_end = pos;  // the empty line and the body after it
      break;
    }
    size_t next = eol;
    if (next < raw.size() && raw[next] == '\r') ++next;
    if (next < raw.size() && raw[next] == '\n') ++next;
    if (line[0] != ' ' && line[0] != '\t')
      keep = qm::mail::istarts_with(line, "Content-") || qm::mail::istarts_with(line, "MIME-Version:");
    if (keep) kept.append(raw.substr(pos, next - pos));
    pos = next;
  }
  out.fields = qm::mail::parse_header_block(raw.substr(0, block_end));
  out.for_gmime.reserve(kept.size() + raw.size() - block_end);
  out.for_gmime = std::move(kept);
  out.for_gmime.append(raw.substr(block_end));
  return out;
}

// The value of the first field called name, unfolded; empty when there is none.
std::string field_value(const std::vector<qm::mail::HeaderField>& fields, std::string_view name) {
  const std::string* value = qm::mail::find_field(fields, name);
  return value ? *value : std::string();
}

// A header text in Big5 for handing out: controls blanked, trimmed, cut on a character.
std::string header_text(std::string text, size_t max) {
  replace_controls(text, ' ', false);
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  text.erase(0, first);
  text.erase(text.find_last_not_of(' ') + 1);
  return big5_prefix(text, max);
}

// The decoded bytes of a leaf part.
std::string part_bytes(GMimePart* part) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (!content) return {};
  Ref<GMimeStream> mem(g_mime_stream_mem_new());
  g_mime_data_wrapper_write_to_stream(content, mem.p);
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem.p));
  if (!bytes || !bytes->data) return {};
  return std::string(reinterpret_cast<const char*>(bytes->data), std::min<size_t>(bytes->len, kMaxMessageBytes));
}

struct Walk {
  GMimePart* plain = nullptr;
  GMimePart* html = nullptr;
  std::vector<PulledAttachment> attachments;
};

void walk_parts(GMimeObject* object, Walk& walk, int depth) {
  if (!object || depth > 32) return;
  if (GMIME_IS_MULTIPART(object)) {
    GMimeMultipart* multi = GMIME_MULTIPART(object);
    const int count = g_mime_multipart_get_count(multi);
    for (int i = 0; i < count; ++i) walk_parts(g_mime_multipart_get_part(multi, i), walk, depth + 1);
    return;
  }
  if (!GMIME_IS_PART(object)) return;  // an attached message is passed over whole
  GMimePart* part = GMIME_PART(object);
  if (const char* filename = g_mime_part_get_filename(part); filename && *filename) {
    PulledAttachment a;
    a.name = utf8_to_big5(filename);
    replace_controls(a.name, '_', true);
    a.name = big5_prefix(a.name, kAttachNameMax);
    a.data = part_bytes(part);
    walk.attachments.push_back(std::move(a));
    return;
  }
  GMimeContentType* type = g_mime_object_get_content_type(object);
  if (!type) return;
  if (!walk.plain && g_mime_content_type_is_type(type, "text", "plain")) walk.plain = part;
  if (!walk.html && g_mime_content_type_is_type(type, "text", "html")) walk.html = part;
}

std::string body_text(GMimePart* part) {
  const std::string bytes = part_bytes(part);
  const char* label = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset");
  CharsetChoice choice = label && *label ? charset_from_label(label) : CharsetChoice{};
  if (choice.charset == Charset::Unknown) choice.charset = charset_detect(bytes);
  return text_to_big5(bytes, choice);
}

// The texts of the header fields; the body and attachments from GMime's message.
PulledMessage pull_from(const std::vector<qm::mail::HeaderField>& fields, GMimeMessage* message) {
  PulledMessage out;
  out.subject = header_text(qm::mail::decode_encoded_words(field_value(fields, "Subject")), kSubjectMax);
  out.sender = header_text(qm::mail::decode_encoded_words(field_value(fields, "From")), kSenderMax);
  out.date = header_text(utf8_to_big5(field_value(fields, "Date")), kDateMax);
  if (!message) return out;
  Walk walk;
  walk_parts(g_mime_message_get_mime_part(message), walk, 0);
  if (walk.plain)
    out.body = body_text(walk.plain);
  else if (walk.html)
    out.body = body_text(walk.html);
  out.attachments = std::move(walk.attachments);
  return out;
}

// Opens a message file for reading: a regular file (links only inside the store), not
// over the size limit. -1 otherwise.
int open_message_file(const std::string& root_real, const std::string& path, size_t& size) {
  struct stat st{};
  if (::lstat(path.c_str(), &st) != 0) return -1;
  if (S_ISLNK(st.st_mode) && !inside_store(root_real, path)) return -1;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || size_t(st.st_size) > kMaxMessageBytes) {
    ::close(fd);
    return -1;
  }
  size = size_t(st.st_size);
  return fd;
}

std::vector<std::string> sorted_names(const std::string& dir, bool eml_only) {
  std::vector<std::string> names;
  if (GDir* d = g_dir_open(dir.c_str(), 0, nullptr)) {
    while (const char* name = g_dir_read_name(d)) {
      const std::string n = name;
      if (n.empty() || n[0] == '.') continue;
      if (eml_only) {
        if (n.size() < 5) continue;
        std::string ext = n.substr(n.size() - 4);
        for (char& c : ext) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (ext != ".eml") continue;
      }
      names.push_back(n);
    }
    g_dir_close(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool is_dir(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class FileListReader : public FolderReader {
 public:
  FileListReader(std::string root_real, std::vector<std::string> files)
      : root_(std::move(root_real)), files_(std::move(files)) {}

  bool next(PulledMessage& message) override {
    while (index_ < files_.size()) {
      const std::string& path = files_[index_++];
      size_t size = 0;
      const int fd = open_message_file(root_, path, size);
      if (fd < 0) continue;
      std::string raw(size, '\0');
      size_t got = 0;
      while (got < size) {
        const ssize_t n = ::read(fd, raw.data() + got, size - got);
        if (n <= 0) break;
        got += size_t(n);
      }
      ::close(fd);
      raw.resize(got);
      message = pull_message(raw);
      return true;
    }
    return false;
  }

 private:
  std::string root_;
  std::vector<std::string> files_;
  size_t index_ = 0;
};

// An mbox file read by the gateway's mailbox reader (mail/postbridge/mailbox_reader.h):
// messages open with a "From -" line or an RFC 4155 From_ line after a blank line, ">From "
// lines are unquoted, and a message over 32 MB is passed over in bounded memory.
class MboxReader : public FolderReader {
 public:
  bool open(const std::string& root_real, const std::string& path) {
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0) return false;
    if (S_ISLNK(st.st_mode) && !inside_store(root_real, path)) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    std::FILE* file = nullptr;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !(file = ::fdopen(fd, "rb"))) {
      ::close(fd);
      return false;
    }
    return reader_.open(file);
  }

  bool next(PulledMessage& message) override {
    std::string_view raw;
    if (!reader_.next(raw)) return false;
    std::string unquoted;
    message = pull_message(qm::mail::mailbox_unquote_from_lines(raw, unquoted) ? std::string_view(unquoted) : raw);
    reader_.release_window();
    return true;
  }

 private:
  qm::mail::MailboxReader reader_{qm::mail::WindowLimits{size_t(1) << 20, kMaxMessageBytes}};
};

}  // namespace

std::string big5_prefix(std::string_view text, size_t max) {
  return std::string(text.substr(0, big5_prefix_length(text, max)));
}

PulledMessage pull_message(std::string_view raw) {
  ensure_gmime();
  const SplitMessage split = split_message(raw);
  Ref<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(split.for_gmime.data(), split.for_gmime.size()));
  Ref<GMimeParser> parser(g_mime_parser_new_with_stream(stream.p));
  Ref<GMimeMessage> message(g_mime_parser_construct_message(parser.p, parser_options()));
  return pull_from(split.fields, message.p);
}

std::unique_ptr<FolderReader> open_folder(const std::string& root_real, const StoreFolder& folder) {
  ensure_gmime();
  const std::string dir = folder.path.empty() ? root_real : root_real + "/" + folder.path;
  if (!inside_store(root_real, dir)) return nullptr;
  switch (folder.kind) {
    case FolderKind::Maildir: {
      std::vector<std::string> files;
      bool any = false;
      for (const char* sub : {"cur", "new"}) {
        const std::string d = dir + "/" + sub;
        struct stat st{};
        if (::lstat(d.c_str(), &st) != 0) continue;  // a Maildir may lack one of them
        if (!is_dir(d) || !inside_store(root_real, d)) return nullptr;
        any = true;
        for (const std::string& name : sorted_names(d, false)) files.push_back(d + "/" + name);
      }
      if (!any) return nullptr;
      return std::make_unique<FileListReader>(root_real, std::move(files));
    }
    case FolderKind::EmlFolder: {
      if (!is_dir(dir)) return nullptr;
      std::vector<std::string> files;
      for (const std::string& name : sorted_names(dir, true)) files.push_back(dir + "/" + name);
      return std::make_unique<FileListReader>(root_real, std::move(files));
    }
    case FolderKind::Mbox: {
      auto reader = std::make_unique<MboxReader>();
      if (!reader->open(root_real, dir)) return nullptr;
      return reader;
    }
  }
  return nullptr;
}

}  // namespace qm::mboxpull
