// The index builder: builds the index files of one database of vesprin.ini. Reads the
// section DB-<id> (HtmlDir, WorkDir, LocalFileType, SaveFile, IndexType), the excluded
// paths StopPath-<id> and CacheDir and MaxParsingTime of VESPRIN through the common
// loader (common/config.h), so it reads every key as the searcher does; walks HtmlDir in
// name order, extracts each document's text
// (extract.h) and writes the whole file set into WorkDir through the index writer
// (index/index_writer.h), reporting on the progress lines of progress.h. The program
// `indexer` is a thin main over run_indexer.
//
// Page documents (.pgx, any case) are indexed in a "-corvdoc" build, the kind option the
// desktop gives a document database it rebuilds, when LocalFileType lists "pgx" like any
// other type; they are read through libpaglet.so from the program directory
// (page_documents.h), one indexed document per page under the path "<file>??p=<page>".
// A build without "-corvdoc" skips them with a status line.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/strings.h"
#include "indexer/extract.h"

namespace qm {

class ProgressWriter;

// The command line: [-mail] [-ncl] [-corvdoc] -w<handle> -f<n> -x<id>.
struct IndexerCommand {
  bool mail = false;
  bool ncl = false;
  bool corvdoc = false;
  long id = 0;
};

// False with a reason for an unknown option or a missing or malformed database id.
bool indexer_parse_command(int argc, const char* const* argv, IndexerCommand& command,
                           std::string& error);

// What one build needs from the configuration file.
struct IndexerJob {
  uint16_t id = 0;
  std::string html_dir;  // ends in "/"
  std::string work_dir;  // ends in "/"
  StringList file_types;
  std::vector<std::string> stop_paths;  // without a trailing "/"
  bool phrase = false;                  // SaveFile "1": character pairs and clist.db
  std::string cache_dir;                // the database's keyword cache folder, or empty
  int converter_timeout_ms = 60000;     // MaxParsingTime
  std::string data_input_port;          // mail databases: gateway;source;workdir[;...]
};

// Reads the job of database id from the configuration file; false with a reason (the
// file cannot be read, the database has no section or is not listed in INDEX, a folder
// is missing, or SaveFile and IndexType disagree).
bool indexer_load_job(const std::string& ini_path, long id, IndexerJob& job, std::string& error);

// The documents to index under the job's HtmlDir, in name order (a folder's entries by
// their bytes, depth first): files with a listed extension, not hidden, not under an
// excluded path; each folder is entered once, so symbolic-link loops end. A symbolic
// link is followed only when its target lies inside HtmlDir. Every entry passed over for
// another reason than its name (a link that leads outside, nowhere or round in a loop, a
// second way into a folder, a device, FIFO or socket) and every folder that cannot be
// read gets a status line.
std::vector<std::string> indexer_collect_documents(const IndexerJob& job, ProgressWriter& progress);

// Removes temporary files that a build killed earlier left in the directory.
void indexer_remove_stale_temporaries(const std::string& work_dir);

// Settings a test may change through the environment: QM_INDEXER_CONVERTER_DIR (where
// the converter programs are) and QM_INDEXER_CONVERTER_TIMEOUT_MS (their time limit).
struct IndexerEnvironment {
  std::string converter_dir = "/usr/bin";
  int converter_timeout_ms = 0;  // 0: from the configuration
};
IndexerEnvironment indexer_environment();

// The text shown for no or unknown arguments.
std::string indexer_usage();

// The whole program: progress lines on out_fd, or at a terminal or into a regular file
// the progress for a person (terminal_progress.h); 0 after the end mark, 1 after a '3'
// line. No or unknown arguments give the usage text (at the terminal or in the file, else
// on standard error when that is not out_fd too, as it is for the desktop) after the '3'
// line, and 2.
int run_indexer(int argc, const char* const* argv, int out_fd);

}  // namespace qm
