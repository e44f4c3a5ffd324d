// Document text extraction (see extract.h): native readers for plain text and HTML,
// converter processes for the rest: Debian's converters and the framework's kvxdump.
#include "indexer/extract.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/charset.h"
#include "indexer/html_text.h"
#include "platform/process.h"

namespace qm {
namespace {

std::string lower_extension(std::string_view file_name) {
  size_t slash = file_name.rfind('/');
  std::string_view base = slash == std::string_view::npos ? file_name : file_name.substr(slash + 1);
  size_t dot = base.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::string ext(base.substr(dot + 1));
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return ext;
}

std::string base_name(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Reads at most limit bytes; false with the reason when the file cannot be read.
bool read_limited(const std::string& path, std::size_t limit, std::string& out, bool& cut,
                  std::string& why) {
  // Not blocking: a FIFO put in the file's place must not stop the build at the open.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    why = std::strerror(errno);
    return false;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    why = std::strerror(errno);
    close(fd);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    why = S_ISDIR(st.st_mode) ? "is a directory" : "not a regular file";
    close(fd);
    return false;
  }
  std::size_t want = std::size_t(st.st_size) < limit ? std::size_t(st.st_size) : limit;
  out.resize(want);
  std::size_t got = 0;
  while (got < want) {
    ssize_t n = read(fd, out.data() + got, want - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      why = std::strerror(errno);
      close(fd);
      out.clear();
      return false;
    }
    if (n == 0) break;
    got += std::size_t(n);
  }
  out.resize(got);
  cut = std::size_t(st.st_size) > limit;
  close(fd);
  return true;
}

// Bytes looked at to tell a document's format by its content, as the framework's own
// detection does (filters/framework/readers/detect.cpp: a PDF marker within the first
// KiB), and to tell binary content from text.
constexpr std::size_t kHeadBytes = 64 * 1024;
constexpr std::size_t kSignatureBytes = 1024;

// kvxdump's exit code for a source that no reader takes (its format is unknown or has no
// reader).
constexpr int kFrameworkNoReader = 3;
// kvxdump's exit code for a document its reader cut at one of its limits: what was kept is
// printed and indexed, as a converter's output cut at max_text_bytes is.
constexpr int kFrameworkCut = 4;

// The kinds read by the framework's readers. RTF is among them: the framework's reader
// finds the same words as unrtf, faster (bench/extract_roads_bench.py), and gives the
// Unicode form of a title. Word, Excel and PDF stay with Debian's converters, which are
// faster; PowerPoint's reader runs catppt itself.
bool framework_road(DocumentKind kind) {
  return kind == DocumentKind::Package || kind == DocumentKind::Rtf;
}

const char* converter_name(DocumentKind kind) {
  if (framework_road(kind)) return "kvxdump";
  switch (kind) {
    case DocumentKind::Word: return "catdoc";
    case DocumentKind::Excel: return "xls2csv";
    case DocumentKind::PowerPoint: return "catppt";
    case DocumentKind::Pdf: return "pdftotext";
    default: return nullptr;
  }
}

}  // namespace

DocumentKind document_kind(std::string_view file_name) {
  const std::string ext = lower_extension(file_name);
  if (ext == "htm" || ext == "html" || ext == "shtml" || ext == "xhtml") return DocumentKind::Html;
  if (ext == "doc" || ext == "dot") return DocumentKind::Word;
  if (ext == "xls") return DocumentKind::Excel;
  if (ext == "ppt" || ext == "pps") return DocumentKind::PowerPoint;
  if (ext == "pdf") return DocumentKind::Pdf;
  if (ext == "rtf") return DocumentKind::Rtf;
  if (ext == "pgx") return DocumentKind::PageDocument;
  if (ext == "docx" || ext == "xlsx" || ext == "pptx" || ext == "odt" || ext == "ods" ||
      ext == "odp")
    return DocumentKind::Package;
  return DocumentKind::PlainText;
}

DocumentKind document_kind_by_content(std::string_view head, DocumentKind by_name) {
  // The signature's own kind, when the name's road reads that format too.
  DocumentKind agrees = DocumentKind::Package;
  if (head.starts_with("PK\x03\x04")) {
    agrees = DocumentKind::Package;
  } else if (head.starts_with("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) {
    if (by_name == DocumentKind::Word || by_name == DocumentKind::Excel ||
        by_name == DocumentKind::PowerPoint)
      return by_name;
  } else if (head.substr(0, kSignatureBytes).find("%PDF-") != std::string_view::npos) {
    agrees = DocumentKind::Pdf;
  } else {
    std::string_view body = head;
    if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
    if (!body.starts_with("{\\rtf")) return by_name;
    agrees = DocumentKind::Rtf;
  }
  return by_name == agrees ? by_name : DocumentKind::Package;
}

bool looks_binary(std::string_view head) {
  if (head.starts_with("\xFF\xFE") || head.starts_with("\xFE\xFF")) return false;  // UTF-16
  // Control bytes that text has no use for. Line ends, tabs, vertical tabs, form feeds,
  // backspaces (of overstruck manual pages) and ESC (of ISO-2022 and coloured text) belong
  // in text; a few stray ones (a NUL between words) do not make a text binary, while
  // compressed or machine data holds about one in ten.
  std::size_t control = 0;
  for (char ch : head) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if ((c < 0x20 && (c < 0x08 || c > 0x0D) && c != 0x1B) || c == 0x7F) ++control;
  }
  return control >= 16 && control * 20 > head.size();
}

std::vector<std::string> converter_command(DocumentKind kind, const ExtractOptions& options,
                                           const std::string& path) {
  const char* name = converter_name(kind);
  if (name == nullptr) return {};
  std::string program = framework_road(kind) ? options.framework_dir : options.converter_dir;
  if (!program.empty() && program.back() != '/') program.push_back('/');
  program += name;
  // A path that begins with "-" must not be read as an option.
  std::string file = path.empty() || path[0] != '-' ? path : "./" + path;
  // The framework's text has the document's title property on its first line. The
  // content alone decides the format: a ZIP or OLE2 file that is no document the readers
  // know is refused rather than read as text for its name.
  if (framework_road(kind)) return {program, "--text", "--title", "--by-content", file};
  switch (kind) {
    case DocumentKind::Word:
    case DocumentKind::Excel:
    case DocumentKind::PowerPoint:
      return {program, "-d", "utf-8", file};
    case DocumentKind::Pdf:
      return {program, "-q", "-enc", "UTF-8", file, "-"};
    default:
      return {};
  }
}

namespace {

bool native_kind(DocumentKind kind) {
  return kind == DocumentKind::PlainText || kind == DocumentKind::Html;
}

// Plain text or HTML read here; binary content is refused.
ExtractOutcome read_native(std::string bytes, bool cut, DocumentKind kind,
                           const std::string& file_name) {
  ExtractOutcome outcome;
  if (looks_binary(std::string_view(bytes).substr(0, kHeadBytes))) {
    outcome.status = ExtractStatus::Unsupported;
    outcome.message = "binary content, not text, and no reader takes it";
    return outcome;
  }
  ExtractedText text = kind == DocumentKind::Html ? html_extract_raw(bytes)
                                                  : text_extract(text_to_big5(bytes, {}));
  bytes.clear();
  bytes.shrink_to_fit();
  outcome.document = document_from_text(std::move(text), file_name);
  outcome.cut = cut || outcome.document.cut;
  return outcome;
}

// A converted kind: the converter's text, or why there is none.
ExtractOutcome run_converter(const std::string& path, DocumentKind kind,
                             const ExtractOptions& options, const std::string& file_name) {
  ExtractOutcome outcome;
  std::vector<std::string> argv = converter_command(kind, options, path);
  if (argv.empty() || access(argv[0].c_str(), X_OK) != 0) {
    outcome.status = ExtractStatus::ConverterMissing;
    outcome.message = (argv.empty() ? std::string("converter") : argv[0]) + " is not installed";
    return outcome;
  }
  ProcessOptions run;
  run.argv = argv;
  run.timeout_ms = options.converter_timeout_ms;
  run.max_output = options.max_text_bytes;
  run.stderr_mode = ProcessStderr::Discard;
  run.on_start = options.on_converter;
  ProcessResult result = process_run(run);
  if (options.on_converter) options.on_converter(0);

  const std::string tool = base_name(argv[0]);
  if (!result.started) {
    outcome.status = ExtractStatus::ConverterFailed;
    outcome.message = result.error;
    return outcome;
  }
  if (result.timed_out) {
    outcome.status = ExtractStatus::TimedOut;
    outcome.message = tool + " ran past " + std::to_string(options.converter_timeout_ms / 1000) +
                      " s and was stopped";
    return outcome;
  }
  if (framework_road(kind) && result.exited && result.exit_code == kFrameworkNoReader) {
    outcome.status = ExtractStatus::Unsupported;
    outcome.message = "no reader takes its format";
    return outcome;
  }
  const bool reader_cut = framework_road(kind) && result.exited && result.exit_code == kFrameworkCut;
  if (!result.exited || (result.exit_code != 0 && !reader_cut)) {
    outcome.status = ExtractStatus::ConverterFailed;
    outcome.message = result.exited ? tool + " failed (exit code " +
                                          std::to_string(result.exit_code) + ")"
                                    : tool + " was ended by signal " +
                                          std::to_string(result.signal);
    return outcome;
  }
  outcome.cut = result.truncated || reader_cut;
  ExtractedText text;
  if (framework_road(kind)) {
    // The title property's line, then the text, one paragraph per line; without a title
    // property the first line of the text is the title, as for the other converters.
    const std::string_view output = result.output;
    const size_t end = std::min(output.find('\n'), output.size());
    const std::string title = text_to_big5(output.substr(0, end), {Charset::Utf8, {}});
    const std::string body =
        text_to_big5(output.substr(std::min(end + 1, output.size())), {Charset::Utf8, {}});
    text = lines_extract(title, body);
  } else {
    text = text_extract(text_to_big5(result.output, {Charset::Utf8, {}}));  // asked for UTF-8
  }
  result.output.clear();
  result.output.shrink_to_fit();
  outcome.document = document_from_text(std::move(text), file_name);
  outcome.cut = outcome.cut || outcome.document.cut;
  return outcome;
}

}  // namespace

ExtractOutcome extract_document(const std::string& path, DocumentKind kind,
                                const ExtractOptions& options) {
  ExtractOutcome outcome;
  const std::string file_name = base_name(path);

  if (kind == DocumentKind::PageDocument) {
    outcome.status = ExtractStatus::Unsupported;
    outcome.message = "page documents are indexed only by a -corvdoc build";
    return outcome;
  }

  // Text is read whole (up to the limit); of the others, only the start that shows their
  // format. The file must be readable by us first: a converter's complaint about it
  // would only say "failed".
  std::string bytes;
  std::string why;
  bool cut = false;
  if (!read_limited(path, native_kind(kind) ? options.max_text_bytes : kSignatureBytes, bytes, cut,
                    why)) {
    outcome.status = ExtractStatus::Unreadable;
    outcome.message = why;
    return outcome;
  }
  const DocumentKind by_content = document_kind_by_content(bytes, kind);
  if (native_kind(by_content)) return read_native(std::move(bytes), cut, by_content, file_name);
  outcome = run_converter(path, by_content, options, file_name);
  // A text whose start only looks like a document (a note that begins with "{\rtf" or
  // quotes "%PDF-") stays text when no reader makes sense of it.
  if (outcome.status != ExtractStatus::Ok && outcome.status != ExtractStatus::TimedOut &&
      native_kind(kind))
    return read_native(std::move(bytes), cut, kind, file_name);
  return outcome;
}

}  // namespace qm
