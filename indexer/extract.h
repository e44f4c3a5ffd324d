// One document's text for the index: plain text and HTML are read here; Word, Excel,
// PowerPoint and PDF go through Debian's converters (catdoc, xls2csv, catppt, pdftotext),
// RTF and the office packages (Word and Excel 2007+, OpenDocument text and sheets)
// through the framework's readers (kvxdump in the program directory, with the readers of
// libkvx.so); each converter runs as a child process under a time limit
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

// Package: a document that the framework's readers take by its content (docx, xlsx, odt,
// ods, and the pptx and odp packages, for which they have no reader yet).
enum class DocumentKind { PlainText, Html, Word, Excel, PowerPoint, Pdf, Rtf, PageDocument, Package };

// By the file's extension, case-blind: htm/html/shtml/xhtml, doc/dot, xls, ppt/pps, pdf,
// rtf, pgx, docx/xlsx/pptx/odt/ods/odp; every other extension (and none) is plain text.
DocumentKind document_kind(std::string_view file_name);

// The kind the first bytes of a file show where they disagree with the kind of its name:
// a ZIP, OLE2 or PDF signature or an RTF start makes a document the framework's readers
// judge by its content (Package), whatever its name says. Otherwise by_name stays.
DocumentKind document_kind_by_content(std::string_view head, DocumentKind by_name);

// Whether bytes read as text are binary content (more than one in twenty of them, and at
// least 16, control bytes that text has no use for, NUL among them; UTF-16 with its byte
// order mark is text): such a file is not indexed as text.
bool looks_binary(std::string_view head);

struct ExtractOptions {
  // Directory of the converter programs.
  std::string converter_dir = "/usr/bin";
  // Directory of the framework's kvxdump (the program directory).
  std::string framework_dir;
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
  Unsupported,       // a kind this builder does not read, or binary content
};

struct ExtractOutcome {
  ExtractStatus status = ExtractStatus::Ok;
  std::string message;  // ASCII: why, for the status line
  bool cut = false;     // the text was longer than the limits: its start was taken
  ExtractedDocument document;
};

// The converter's command line for a document kind (empty for the kinds read natively);
// the framework's tool for Package lies in options.framework_dir.
std::vector<std::string> converter_command(DocumentKind kind, const ExtractOptions& options,
                                           const std::string& path);

// kind: what the file's name says (document_kind); where its first bytes say otherwise,
// they decide (document_kind_by_content), but a file named as text in which no reader
// finds a document stays text. A file read as text that holds binary content is refused
// (Unsupported) with a message saying so.
ExtractOutcome extract_document(const std::string& path, DocumentKind kind,
                                const ExtractOptions& options);

}  // namespace qm
