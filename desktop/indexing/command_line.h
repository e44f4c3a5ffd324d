// IndexerCommandLine: the command that runs the index builder for one database, kept as
// an argument list (no shell, no quoting) with its display text beside it. The program is
// the program directory + "indexer"; then the kind's options, "-w" + the queuing form's
// window id in decimal, "-f10" and "-x" + the database id. The display text is the same
// words joined by blanks, e.g. "/opt/qm/indexer -corvdoc -w1234 -f10 -x12". Qt-free; used
// by the wizard and the environment form; tests in tests/schedule_test.cpp.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

enum class IndexerKind {
  Document,             // no options: a new document database (wizard)
  MailWithAttachments,  // "-mail -ncl": a new mail database indexing attachments (wizard)
  Mail,                 // "-ncl": a mail database without attachments
  AttachRebuild,        // "-ncl -mail": a database whose key Attach is "1" (environment form)
  DocumentRebuild,      // "-corvdoc": any other database rebuilt (environment form)
};

struct IndexerCommandLine {
  std::vector<std::string> argv;
  std::string text;  // the display text
};

// program_dir ends with "/".
IndexerCommandLine indexer_command_line(const std::string& program_dir, IndexerKind kind,
                                        uint64_t window_id, int database_id);

// The environment form's choice: Attach "1" first, then Mail "1", else a document rebuild.
IndexerKind indexer_rebuild_kind(bool attach, bool mail);

}  // namespace qm
