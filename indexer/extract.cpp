// Document text extraction (see extract.h): native readers for plain text and HTML,
// converter processes for the rest.
#include "indexer/extract.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "indexer/charset.h"
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

const char* converter_name(DocumentKind kind) {
  switch (kind) {
    case DocumentKind::Word: return "catdoc";
    case DocumentKind::Excel: return "xls2csv";
    case DocumentKind::PowerPoint: return "catppt";
    case DocumentKind::Pdf: return "pdftotext";
    case DocumentKind::Rtf: return "unrtf";
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
  return DocumentKind::PlainText;
}

std::vector<std::string> converter_command(DocumentKind kind, const std::string& converter_dir,
                                           const std::string& path) {
  const char* name = converter_name(kind);
  if (name == nullptr) return {};
  std::string program = converter_dir;
  if (!program.empty() && program.back() != '/') program.push_back('/');
  program += name;
  // A path that begins with "-" must not be read as an option.
  std::string file = path.empty() || path[0] != '-' ? path : "./" + path;
  switch (kind) {
    case DocumentKind::Word:
    case DocumentKind::Excel:
    case DocumentKind::PowerPoint:
      return {program, "-d", "utf-8", file};
    case DocumentKind::Pdf:
      return {program, "-q", "-enc", "UTF-8", file, "-"};
    case DocumentKind::Rtf:
      // --nopict: unrtf would otherwise save each picture as a file in the working folder.
      return {program, "--nopict", "--html", file};
    default:
      return {};
  }
}

ExtractOutcome extract_document(const std::string& path, DocumentKind kind,
                                const ExtractOptions& options) {
  ExtractOutcome outcome;
  const std::string file_name = base_name(path);

  if (kind == DocumentKind::PageDocument) {
    outcome.status = ExtractStatus::Unsupported;
    outcome.message = "page documents are indexed only by a -corvdoc build";
    return outcome;
  }

  if (kind == DocumentKind::PlainText || kind == DocumentKind::Html) {
    std::string bytes;
    std::string why;
    if (!read_limited(path, options.max_text_bytes, bytes, outcome.cut, why)) {
      outcome.status = ExtractStatus::Unreadable;
      outcome.message = why;
      return outcome;
    }
    ExtractedText text = kind == DocumentKind::Html ? html_extract_raw(bytes)
                                                    : text_extract(text_to_big5(bytes, {}));
    bytes.clear();
    bytes.shrink_to_fit();
    outcome.document = document_from_text(std::move(text), file_name);
    outcome.cut = outcome.cut || outcome.document.cut;
    return outcome;
  }

  // Converted kinds. The file must be readable by us first: a converter's complaint
  // about it would only say "failed".
  if (access(path.c_str(), R_OK) != 0) {
    outcome.status = ExtractStatus::Unreadable;
    outcome.message = std::strerror(errno);
    return outcome;
  }
  std::vector<std::string> argv = converter_command(kind, options.converter_dir, path);
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
  if (!result.exited || result.exit_code != 0) {
    outcome.status = ExtractStatus::ConverterFailed;
    outcome.message = result.exited ? tool + " failed (exit code " +
                                          std::to_string(result.exit_code) + ")"
                                    : tool + " was ended by signal " +
                                          std::to_string(result.signal);
    return outcome;
  }
  outcome.cut = result.truncated;
  ExtractedText text;
  if (kind == DocumentKind::Rtf) {
    HtmlOptions html;
    html.br_ends_paragraph = true;
    text = html_extract_raw(result.output, html);
  } else {
    text = text_extract(text_to_big5(result.output, {Charset::Utf8, {}}));  // asked for UTF-8
  }
  result.output.clear();
  result.output.shrink_to_fit();
  outcome.document = document_from_text(std::move(text), file_name);
  outcome.cut = outcome.cut || outcome.document.cut;
  return outcome;
}

}  // namespace qm
