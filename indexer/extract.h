// One document's text for the index: plain text and HTML are read here; Word, Excel,
// PowerPoint, PDF and RTF go through Debian's converters (catdoc, xls2csv, catppt,
// pdftotext, unrtf), each run as a child process under a time limit
// (platform/process.h). The result is the document's paragraph list in Big5
// (text_blocks.h), or the reason it could not be read.
#pragma once
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "indexer/text_blocks.h"

namespace qm {

enum class DocumentKind { PlainText, Html, Word, Excel, PowerPoint, Pdf, Rtf, PageDocument };

// By the file's extension, case-blind: htm/html/shtml/xhtml, doc/dot, xls, ppt/pps, pdf,
// rtf, pgx; every other extension (and none) is plain text.
DocumentKind document_kind(std::string_view file_name);

struct ExtractOptions {
  // Directory of the converter programs.
  std::string converter_dir = "/usr/bin";
  int converter_timeout_ms = 60000;
  // Bytes read of a plain-text or HTML file, and kept of a converter's output; what lies
  // beyond is left out (ExtractOutcome::cut).
  std::size_t max_text_bytes = std::size_t(32) << 20;
  // Called with a converter's process id once it runs, and with 0 once it has ended.
  std::function<void(pid_t)> on_converter;
};

enum class ExtractStatus {
  Ok,
  Unreadable,        // the file cannot be opened or read
  ConverterMissing,  // the converter program is not installed
  ConverterFailed,   // it ended with an error or was killed
  TimedOut,          // it ran past the time limit and was killed
  Unsupported,       // a kind this builder does not read
};

struct ExtractOutcome {
  ExtractStatus status = ExtractStatus::Ok;
  std::string message;  // ASCII: why, for the status line
  bool cut = false;     // the text was longer than the limits: its start was taken
  ExtractedDocument document;
};

// The converter's command line for a document kind (empty for the kinds read natively).
std::vector<std::string> converter_command(DocumentKind kind, const std::string& converter_dir,
                                           const std::string& path);

ExtractOutcome extract_document(const std::string& path, DocumentKind kind,
                                const ExtractOptions& options);

}  // namespace qm
