// Folder readers and message parsing of the mboxpull stand-in (see folder_reader.h):
// GMime builds the message tree; the texts are taken from it and made Big5.
#include "mail/mboxpull/folder_reader.h"

#include <fcntl.h>
#include <gmime/gmime.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "common/charset.h"
#include "common/strings.h"

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

// One piece of header text decoded by GMime: an encoded word, or text between words.
std::string decode_piece(const std::string& piece) {
  if (piece.empty()) return {};
  char* decoded = g_mime_utils_header_decode_text(parser_options(), piece.c_str());
  std::string out = decoded ? decoded : "";
  g_free(decoded);
  return out;
}

bool blank_only(std::string_view text) {
  return text.find_first_not_of(" \t") == std::string_view::npos;
}

// A raw header value unfolded and decoded (RFC 2047) to UTF-8. Each encoded word goes to
// GMime alone: given adjacent words, GMime joins their base64 texts before decoding, and
// a padded first word then swallows the next. Blanks between adjacent words go.
std::string decode_header_value(const char* raw) {
  std::string text;
  for (const char* p = raw ? raw : ""; *p; ++p)
    if (*p != '\r' && *p != '\n') text += *p;
  std::string out;
  bool after_word = false;
  size_t i = 0;
  while (i < text.size()) {
    size_t start = text.find("=?", i);
    size_t end = std::string::npos;
    while (start != std::string::npos) {
      const size_t q1 = text.find('?', start + 2);
      if (q1 != std::string::npos && q1 + 2 < text.size() && text[q1 + 2] == '?') {
        const size_t close = text.find("?=", q1 + 3);
        if (close != std::string::npos && text.find_first_of(" \t", start) > close) {
          end = close + 2;
          break;
        }
      }
      start = text.find("=?", start + 2);
    }
    if (end == std::string::npos) {
      out += decode_piece(text.substr(i));
      break;
    }
    const std::string between = text.substr(i, start - i);
    if (!(after_word && blank_only(between))) out += decode_piece(between);
    out += decode_piece(text.substr(start, end - start));
    after_word = true;
    i = end;
  }
  return out;
}

// The raw value of the message's first header called name; nullptr when there is none.
const char* raw_header(GMimeMessage* message, const char* name) {
  GMimeHeaderList* list = g_mime_object_get_header_list(GMIME_OBJECT(message));
  GMimeHeader* header = list ? g_mime_header_list_get_header(list, name) : nullptr;
  return header ? g_mime_header_get_raw_value(header) : nullptr;
}

std::string header_text(const char* value, size_t max) {
  std::string text = utf8_to_big5(value ? value : "");
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

PulledMessage pull_from(GMimeMessage* message) {
  PulledMessage out;
  out.subject = header_text(decode_header_value(raw_header(message, "Subject")).c_str(), kSubjectMax);
  out.sender = header_text(decode_header_value(raw_header(message, "From")).c_str(), kSenderMax);
  std::string date;
  for (const char* p = raw_header(message, "Date"); p && *p; ++p)
    if (*p != '\r' && *p != '\n') date += *p;
  out.date = header_text(date.c_str(), kDateMax);
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

class MboxReader : public FolderReader {
 public:
  ~MboxReader() override {
    if (parser_) g_object_unref(parser_);
  }
  bool open(const std::string& root_real, const std::string& path) {
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0) return false;
    if (S_ISLNK(st.st_mode) && !inside_store(root_real, path)) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return false;
    }
    Ref<GMimeStream> stream(g_mime_stream_fs_new(fd));  // owns fd
    parser_ = g_mime_parser_new_with_stream(stream.p);
    g_mime_parser_set_format(parser_, GMIME_FORMAT_MBOX);
    return true;
  }

  bool next(PulledMessage& message) override {
    while (parser_ && !g_mime_parser_eos(parser_)) {
      GMimeMessage* parsed = g_mime_parser_construct_message(parser_, parser_options());
      if (!parsed) return false;
      Ref<GMimeMessage> held(parsed);
      const gint64 start = g_mime_parser_get_mbox_marker_offset(parser_);
      const gint64 end = g_mime_parser_tell(parser_);
      if (start >= 0 && end > start && uint64_t(end - start) > kMaxMessageBytes) continue;
      message = pull_from(parsed);
      return true;
    }
    return false;
  }

 private:
  GMimeParser* parser_ = nullptr;
};

}  // namespace

std::string big5_prefix(std::string_view text, size_t max) {
  return std::string(text.substr(0, big5_prefix_length(text, max)));
}

PulledMessage pull_message(std::string_view raw) {
  ensure_gmime();
  Ref<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(raw.data(), raw.size()));
  Ref<GMimeParser> parser(g_mime_parser_new_with_stream(stream.p));
  GMimeMessage* message = g_mime_parser_construct_message(parser.p, parser_options());
  if (!message) return {};
  Ref<GMimeMessage> held(message);
  return pull_from(message);
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
