// The index builder (see builder.h): configuration, the document walk, the build loop
// and the end of a build (files renamed into place, stale keyword cache removed).
#include "indexer/builder.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <memory>
#include <new>
#include <set>
#include <utility>

#include "common/config.h"
#include "common/dbid.h"
#include "common/files.h"
#include "index/index_writer.h"
#include "common/charset.h"
#include "indexer/mail_build.h"
#include "indexer/page_documents.h"
#include "indexer/progress.h"
#include "indexer/terminal_progress.h"
#include "platform/paths.h"

namespace qm {
namespace {

// Folders deeper than this below the document folder are not entered.
constexpr int kMaxFolderDepth = 200;

// Paragraph kinds as stored: the title and the body.
constexpr uint16_t kTitleKind = 1;
constexpr uint16_t kBodyKind = 0;

// A stop request (SIGTERM, SIGINT, SIGHUP) ends the build between documents; a converter
// running at that moment is killed with its group so the stop is prompt.
volatile sig_atomic_t g_stop = 0;
volatile sig_atomic_t g_converter_group = 0;

extern "C" void on_stop_signal(int) {
  g_stop = 1;
  const pid_t group = pid_t(g_converter_group);
  if (group > 0) kill(-group, SIGKILL);
}

void install_signal_handlers() {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_stop_signal;
  sigemptyset(&sa.sa_mask);
  for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaction(s, &sa, nullptr);
  // A reader that goes away must not kill us in the middle of a write: the write fails
  // and the build stops cleanly instead.
  signal(SIGPIPE, SIG_IGN);
}

bool parse_long(std::string_view text, long& value) {
  if (text.empty() || text.size() > 9) return false;
  long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  value = v;
  return true;
}

std::string without_trailing_slash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The path as path.db keeps it: relative to the document folder (HtmlDir), which readers
// put in front again (the desktop's document path, the result page's HomeUrl + path).
std::string stored_path(const IndexerJob& job, const std::string& path) {
  std::string_view rel = path;
  if (rel.substr(0, job.html_dir.size()) == job.html_dir) rel.remove_prefix(job.html_dir.size());
  return std::string(rel);
}

// The path's text for a progress line: relative to the document folder, made Big5.
std::string shown_path(const IndexerJob& job, const std::string& path) {
  return text_to_big5(stored_path(job, path), {});
}

int32_t file_date(const struct stat& st) {
  struct tm t;
  time_t when = st.st_mtime;
  if (localtime_r(&when, &t) == nullptr) return 0;
  return int32_t((t.tm_year + 1900) * 10000 + (t.tm_mon + 1) * 100 + t.tm_mday);
}

struct Walker {
  const IndexerJob& job;
  ProgressWriter& progress;
  std::vector<std::string>& out;
  std::set<std::pair<dev_t, ino_t>> entered;
  std::set<std::pair<dev_t, ino_t>> excluded;  // the index folder: never indexed
  std::string root;  // the document folder with its links resolved, ending in "/"

  bool stopped(const std::string& path) const {
    for (const std::string& stop : job.stop_paths) {
      if (path.size() < stop.size() || string_nicmp(path, stop, stop.size()) != 0) continue;
      if (path.size() == stop.size() || path[stop.size()] == '/' || stop.back() == '/') return true;
    }
    return false;
  }

  // Whether the symbolic link at path ends inside the document folder. A link that leads
  // out of it is not followed: it would show the web user files the folder does not hold.
  bool leads_inside(const std::string& path) const {
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return false;
    std::string target = std::string(resolved) + "/";
    std::free(resolved);
    return !root.empty() && target.compare(0, root.size(), root) == 0;
  }

  void skip(const std::string& path, const std::string& why) {
    progress.status("Skipped " + shown_path(job, path) + ": " + why);
  }

  void walk(const std::string& dir, int depth) {
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) {
      progress.status("Cannot read the folder " + shown_path(job, dir) + ": " +
                      std::strerror(errno));
      return;
    }
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;  // ".", ".." and hidden entries
      names.emplace_back(e->d_name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      std::string full = dir + name;
      if (stopped(full)) continue;
      struct stat es;
      if (lstat(full.c_str(), &es) != 0) continue;  // gone meanwhile
      const bool link = S_ISLNK(es.st_mode);
      if (link) {
        if (stat(full.c_str(), &es) != 0) {
          skip(full, errno == ELOOP ? "a symbolic link that leads round in a loop"
                                    : "a symbolic link that leads nowhere");
          continue;
        }
        if (!leads_inside(full)) {
          skip(full, "a symbolic link that leads outside the document folder");
          continue;
        }
      }
      if (S_ISDIR(es.st_mode)) {
        if (excluded.count({es.st_dev, es.st_ino})) continue;
        if (!entered.insert({es.st_dev, es.st_ino}).second) {
          skip(full, "a symbolic link to a folder that is indexed already");
          continue;
        }
        if (depth >= kMaxFolderDepth) {
          skip(full, "folders nested too deeply");
          continue;
        }
        walk(full + "/", depth + 1);
      } else if (S_ISREG(es.st_mode)) {
        if (db_has_extension(job.file_types, name)) out.push_back(std::move(full));
      } else {
        skip(full, "not a regular file (a device, FIFO or socket)");
      }
    }
  }
};

// The page-document road of a -corvdoc build: libpaglet.so is loaded once, at the first
// page document, from the program directory; when it cannot be, every page document is
// skipped with a status line and the build goes on.
struct PageDocumentRoad {
  std::string program_dir;
  PagletLibrary library;
  bool tried = false;
};

enum class PageIndexResult { Indexed, Skipped, WriterFailed, Stopped };

// One PGX document: one indexed document per page, stored under "<stored>??p=<page>"
// (page_documents.h). Pages whose text cannot be extracted are left out; a document
// none of whose pages can be read is skipped.
PageIndexResult index_page_document(const std::string& path, const std::string& stored,
                                    const std::string& shown, int32_t date, std::size_t max_text_bytes,
                                    PageDocumentRoad& road, IndexWriter& writer,
                                    ProgressWriter& progress) {
  if (!road.tried) {
    road.tried = true;
    const std::string library = path_find_case_blind(road.program_dir, kPagletLibraryName);
    std::string error;
    if (!road.library.load(library, error))
      progress.status(std::string("Page documents are skipped: ") + kPagletLibraryName +
                      " cannot be loaded: " + text_to_big5(error, {}));
  }
  if (!road.library.ready()) {
    progress.status("Skipped " + shown + ": " + kPagletLibraryName + " is not loaded");
    return PageIndexResult::Skipped;
  }
  PageDocumentReader reader(road.library);
  std::string error;
  if (!reader.open(path, error)) {
    progress.status("Skipped " + shown + ": " + error);
    return PageIndexResult::Skipped;
  }
  const PageDocumentInfo& info = reader.info();
  if (info.page_count == 0) {
    progress.status("Skipped " + shown + ": the document has no pages");
    return PageIndexResult::Skipped;
  }
  const std::string file_name = path.substr(path.rfind('/') + 1);
  int written = 0, unreadable = 0, cut = 0;
  for (int page = 1; page <= info.page_count; ++page) {
    if (g_stop) return PageIndexResult::Stopped;
    PageContent content;
    if (!reader.read_page(page, content, max_text_bytes)) {
      ++unreadable;
      continue;
    }
    // The document's own title, keywords and ID go with the first page indexed.
    ExtractedDocument extracted = page_document_paragraphs(info, content, file_name, written == 0);
    if (extracted.paragraphs.empty()) continue;  // no text and no notes
    if (content.cut || extracted.cut) ++cut;
    IndexDocument doc;
    doc.path = page_document_path(stored, page);
    doc.date = date;
    doc.paragraphs.reserve(extracted.paragraphs.size());
    for (size_t p = 0; p < extracted.paragraphs.size(); ++p)
      doc.paragraphs.push_back({p == 0 ? kTitleKind : kBodyKind, std::move(extracted.paragraphs[p])});
    if (!writer.add_document(doc)) {
      if (writer.failed()) return PageIndexResult::WriterFailed;
      if (written == 0) {
        progress.status("Skipped " + shown + ": " + writer.error());
        return PageIndexResult::Skipped;
      }
      progress.status("Page " + std::to_string(page) + " of " + shown + " is left out: " +
                      writer.error());
      continue;
    }
    ++written;
  }
  if (written == 0) {
    progress.status("Skipped " + shown + ": the text of its pages cannot be read");
    return PageIndexResult::Skipped;
  }
  if (unreadable > 0)
    progress.status(std::to_string(unreadable) + " of " + std::to_string(info.page_count) +
                    " pages of " + shown + " cannot be read and are left out");
  if (cut > 0)
    progress.status("Only the start of " + std::to_string(cut) + " pages of " + shown +
                    " is indexed: they are too long");
  return PageIndexResult::Indexed;
}

}  // namespace

bool indexer_parse_command(int argc, const char* const* argv, IndexerCommand& command,
                           std::string& error) {
  command = IndexerCommand{};
  bool have_id = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    if (a == "-mail") {
      command.mail = true;
    } else if (a == "-ncl") {
      command.ncl = true;
    } else if (a == "-corvdoc") {
      command.corvdoc = true;
    } else if (a.substr(0, 2) == "-w" || a.substr(0, 2) == "-f") {
      // The window handle of the queuing form and the "-f10" flag mean nothing here.
    } else if (a.substr(0, 2) == "-x") {
      if (!parse_long(a.substr(2), command.id) || command.id < 1 || command.id > 65535) {
        error = "Bad database id: " + std::string(a);
        return false;
      }
      have_id = true;
    } else {
      error = "Unknown option: " + std::string(a);
      return false;
    }
  }
  if (!have_id) {
    error = "No database id (-x<id>) given";
    return false;
  }
  return true;
}

bool indexer_load_job(const std::string& ini_path, long id, IndexerJob& job, std::string& error) {
  // The common loader reads every key, so the searcher reads the same values (IndexType
  // above all: it decides whether clist.db is looked for). Inactive databases are built
  // too: the desktop rebuilds them.
  DatabaseIdSet ids;
  ids.reset(true);
  ids.add(uint16_t(id), true);
  Config config(ids);
  if (!config.load_for_build(ini_path, error)) return false;
  const DatabaseEntry& db = config.table.entries[0];
  const SearchSettings& settings = config.settings;

  job = IndexerJob{};
  job.id = uint16_t(id);
  const std::string section = "DB-" + std::to_string(id);
  if (db.HtmlDir.empty() || db.WorkDir.empty()) {
    error = "[" + section + "] lacks " + std::string(db.HtmlDir.empty() ? "HtmlDir" : "WorkDir");
    return false;
  }
  std::string html = db.HtmlDir;
  if (url_is_http(html)) {
    error = "Web addresses are not indexed: " + html;
    return false;
  }
  job.html_dir = db.HtmlDir;
  job.work_dir = db.WorkDir;
  job.file_types = db.LocalFileType;
  job.phrase = db.SaveFile != 0;
  if (job.phrase && db.IndexType == 0) {
    error = "SaveFile is 1 but IndexType is 0: a phrase database needs IndexType 1";
    return false;
  }
  if (!job.phrase && db.IndexType != 0) {
    error = "IndexType is not 0 but SaveFile is not 1: the database could not be searched";
    return false;
  }

  // An empty entry excludes nothing; a relative one lies under the document folder.
  for (const std::string& entry : config.table.StopPathLists[0]) {
    if (entry.empty()) continue;
    std::string stop = path_backslash_to_slash(entry);
    if (stop[0] != '/') stop = job.html_dir + stop;
    job.stop_paths.push_back(without_trailing_slash(stop));
  }

  if (!settings.CacheDir.empty()) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X/", unsigned(id));
    job.cache_dir = settings.CacheDir + hex;
  }
  job.converter_timeout_ms = settings.MaxParsingTime * 1000;
  job.data_input_port = db.DataInputPort;
  return true;
}

std::vector<std::string> indexer_collect_documents(const IndexerJob& job, ProgressWriter& progress) {
  std::vector<std::string> out;
  Walker walker{job, progress, out, {}, {}, {}};
  // The index folder itself is never indexed when it lies inside the document folder.
  struct stat st;
  if (without_trailing_slash(job.work_dir) != without_trailing_slash(job.html_dir) &&
      stat(job.work_dir.c_str(), &st) == 0)
    walker.excluded.insert({st.st_dev, st.st_ino});
  if (stat(job.html_dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return out;
  walker.entered.insert({st.st_dev, st.st_ino});
  if (char* resolved = realpath(job.html_dir.c_str(), nullptr)) {
    walker.root = resolved;
    std::free(resolved);
    if (walker.root.back() != '/') walker.root.push_back('/');
  }
  walker.walk(job.html_dir, 0);
  return out;
}

void indexer_remove_stale_temporaries(const std::string& work_dir) {
  DIR* d = opendir(work_dir.c_str());
  if (d == nullptr) return;
  std::vector<std::string> stale;
  while (dirent* e = readdir(d)) {
    // Names the writer gives its work files: "<file>.<pid>-<n>.tmp", "run-c-<n>.<pid>-<n>.tmp".
    std::string_view name = e->d_name;
    if (name.size() < 8 || name.substr(name.size() - 4) != ".tmp") continue;
    std::string_view stem = name.substr(0, name.size() - 4);
    size_t dash = stem.rfind('-');
    size_t dot = stem.rfind('.', dash);
    if (dash == std::string_view::npos || dot == std::string_view::npos) continue;
    long pid = 0, seq = 0;
    if (!parse_long(stem.substr(dot + 1, dash - dot - 1), pid) ||
        !parse_long(stem.substr(dash + 1), seq))
      continue;
    std::string_view base = stem.substr(0, dot);
    const bool ours = base.substr(0, 4) == "run-" ||
                      (base.size() > 3 && base.substr(base.size() - 3) == ".db");
    if (!ours) continue;
    if (pid == long(getpid()) || kill(pid_t(pid), 0) == 0 || errno == EPERM) continue;
    stale.emplace_back(e->d_name);
  }
  closedir(d);
  for (const std::string& name : stale) unlink((work_dir + name).c_str());
}

IndexerEnvironment indexer_environment() {
  IndexerEnvironment env;
  if (const char* dir = std::getenv("QM_INDEXER_CONVERTER_DIR"); dir && *dir)
    env.converter_dir = dir;
  if (const char* ms = std::getenv("QM_INDEXER_CONVERTER_TIMEOUT_MS"); ms && *ms)
    env.converter_timeout_ms = std::max(1, std::atoi(ms));
  return env;
}

namespace {

// The exit code of a command line that cannot be used.
constexpr int kUsageExit = 2;

// Whether standard error leads somewhere else than out_fd (a terminal, a log file): the
// desktop reads both through one pipe, and the usage text has no place in its protocol.
bool stderr_is_separate(int out_fd) {
  struct stat out, err;
  if (fstat(STDERR_FILENO, &err) != 0) return false;
  if (fstat(out_fd, &out) != 0) return true;
  return out.st_dev != err.st_dev || out.st_ino != err.st_ino;
}

// A mail database: the gateway named by DataInputPort hands out the messages
// (mail_build.h); the side files it staged go in place once the index files stand.
int run_mail_build(const IndexerCommand& command, const IndexerJob& job,
                   const std::string& program_dir, ProgressWriter& progress) {
  if (!dir_is_directory(job.work_dir) && (!dir_make_all(job.work_dir) ||
                                          !dir_is_directory(job.work_dir))) {
    progress.fatal("Cannot create the index folder " + text_to_big5(job.work_dir, {}));
    return 1;
  }
  indexer_remove_stale_temporaries(job.work_dir);
  MailBuildJob mail;
  mail.data_input_port = job.data_input_port;
  mail.work_dir = job.work_dir;
  mail.program_dir = program_dir;
  mail.attachments = command.mail;
  mail.timeout_seconds = std::max(1, job.converter_timeout_ms / 1000);
  IndexWriterOptions writer_options;
  writer_options.phrase = job.phrase;
  writer_options.memory_budget = kMailIndexMemoryBudget;
  if (!job.cache_dir.empty()) {
    writer_options.committed = [dir = job.cache_dir] {
      if (dir_is_directory(dir)) dir_remove_tree(dir, false);
    };
  }
  auto writer = std::make_unique<IndexWriter>(job.work_dir, writer_options);
  if (writer->failed()) {
    progress.fatal("Cannot write the index: " + writer->error());
    return 1;
  }
  size_t indexed = 0;
  switch (mail_build(mail, *writer, progress, g_stop, indexed)) {
    case MailBuildResult::Done:
      break;
    case MailBuildResult::Failed:
      return 1;
    case MailBuildResult::Stopped:
      writer.reset();
      progress.fatal("Stopped; the previous index is kept");
      return 1;
  }
  progress.status("Writing the index files");
  if (!writer->finish()) {
    mail_remove_staging(job.work_dir);
    progress.fatal("Cannot write the index: " + writer->error());
    return 1;
  }
  std::string error;
  if (!mail_publish(mail, error)) {
    progress.fatal(error);
    return 1;
  }
  progress.percent(100);
  progress.summary(indexed, 0);
  progress.end_mark();
  return 0;
}

// run_build's out_fd is read by a person (a terminal, a log file), not by the desktop.
int run_build(int argc, const char* const* argv, ProgressWriter& progress, int out_fd,
              bool for_person) {
  IndexerCommand command;
  std::string error;
  if (argc <= 1 || !indexer_parse_command(argc, argv, command, error)) {
    if (argc <= 1) error = "No database id (-x<id>) given";
    progress.fatal(error);
    if (for_person) {
      const std::string usage = indexer_usage();
      if (::write(out_fd, usage.data(), usage.size()) < 0) return kUsageExit;
    } else if (stderr_is_separate(out_fd)) {
      std::fputs(indexer_usage().c_str(), stderr);
    }
    return kUsageExit;
  }
  const std::string program_dir = program_dir_from_argv0(argc > 0 ? argv[0] : "");
  const std::string ini_path = path_find_case_blind(program_dir, "vesprin.ini");
  IndexerJob job;
  if (!indexer_load_job(ini_path, command.id, job, error)) {
    progress.fatal(error);
    return 1;
  }
  if (command.mail || command.ncl) return run_mail_build(command, job, program_dir, progress);
  if (!dir_is_directory(job.html_dir)) {
    progress.fatal("The document folder does not exist: " + text_to_big5(job.html_dir, {}));
    return 1;
  }
  if (!dir_is_directory(job.work_dir) && (!dir_make_all(job.work_dir) ||
                                          !dir_is_directory(job.work_dir))) {
    progress.fatal("Cannot create the index folder " + text_to_big5(job.work_dir, {}));
    return 1;
  }
  indexer_remove_stale_temporaries(job.work_dir);

  progress.status("Looking for documents in " + text_to_big5(job.html_dir, {}));
  std::vector<std::string> documents = indexer_collect_documents(job, progress);
  progress.status(std::to_string(documents.size()) + " documents to index");
  progress.begin(documents.size());

  IndexWriterOptions writer_options;
  writer_options.phrase = job.phrase;
  // Keyword-cache hits of the old index are stale once the new set stands. They go while
  // the writer still holds the set's lock, so no request pairs them with the new set;
  // requests write cache files only for the set in place (searcher/keyword_cache.h).
  if (!job.cache_dir.empty()) {
    writer_options.committed = [dir = job.cache_dir] {
      if (dir_is_directory(dir)) dir_remove_tree(dir, false);
    };
  }
  // Held by pointer so that a stopped build drops its temporary files before it says so.
  auto writer = std::make_unique<IndexWriter>(job.work_dir, writer_options);
  if (writer->failed()) {
    progress.fatal("Cannot write the index: " + writer->error());
    return 1;
  }

  const IndexerEnvironment env = indexer_environment();
  ExtractOptions extract;
  extract.converter_dir = env.converter_dir;
  extract.framework_dir = program_dir;
  extract.converter_timeout_ms =
      env.converter_timeout_ms > 0 ? env.converter_timeout_ms : job.converter_timeout_ms;
  extract.on_converter = [&progress](pid_t pid) {
    g_converter_group = pid;
    progress.helper(long(pid));
  };

  PageDocumentRoad page_road;
  page_road.program_dir = program_dir;

  size_t indexed = 0, skipped = 0;
  progress.percent(0);
  for (size_t i = 0; i < documents.size(); ++i) {
    // The share of documents handled so far, indexed or skipped.
    if (i > 0) progress.percent(int(i * 100 / documents.size()));
    if (g_stop || !progress.ok()) break;
    const std::string& path = documents[i];
    const std::string shown = shown_path(job, path);
    progress.reading(i, shown);
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
      progress.status("Skipped " + shown + ": " + std::strerror(errno));
      ++skipped;
      continue;
    }
    const DocumentKind kind = document_kind(path);
    if (kind == DocumentKind::PageDocument && command.corvdoc) {
      switch (index_page_document(path, stored_path(job, path), shown, file_date(st),
                                  extract.max_text_bytes, page_road, *writer, progress)) {
        case PageIndexResult::Indexed:
          ++indexed;
          progress.document(shown);
          break;
        case PageIndexResult::Skipped:
          ++skipped;
          break;
        case PageIndexResult::WriterFailed:
          progress.fatal("Cannot write the index: " + writer->error());
          return 1;
        case PageIndexResult::Stopped:
          break;
      }
      continue;
    }
    ExtractOutcome outcome = extract_document(path, kind, extract);
    g_converter_group = 0;
    if (g_stop) break;
    if (outcome.status != ExtractStatus::Ok) {
      progress.status("Skipped " + shown + ": " + outcome.message);
      ++skipped;
      continue;
    }
    if (outcome.cut) progress.status("Only the start of " + shown + " is indexed: it is too long");

    IndexDocument doc;
    doc.path = stored_path(job, path);
    doc.date = file_date(st);
    doc.paragraphs.reserve(outcome.document.paragraphs.size());
    for (size_t p = 0; p < outcome.document.paragraphs.size(); ++p)
      doc.paragraphs.push_back(
          {p == 0 ? kTitleKind : kBodyKind, std::move(outcome.document.paragraphs[p])});
    if (!writer->add_document(doc)) {
      if (writer->failed()) {
        progress.fatal("Cannot write the index: " + writer->error());
        return 1;
      }
      progress.status("Skipped " + shown + ": " + writer->error());
      ++skipped;
      continue;
    }
    ++indexed;
    progress.document(shown);
  }

  if (g_stop || !progress.ok()) {
    writer.reset();  // removes the temporary files; the old database stays
    progress.fatal("Stopped; the previous index is kept");
    return 1;
  }
  progress.reading(documents.size(), {});
  progress.status("Writing the index files");
  if (!writer->finish()) {
    progress.fatal("Cannot write the index: " + writer->error());
    return 1;
  }
  progress.percent(100);
  progress.summary(indexed, skipped);
  progress.end_mark();
  return 0;
}

}  // namespace

std::string indexer_usage() {
  return "Usage: indexer [-corvdoc] [-w<handle>] [-f10] -x<id>\n"
         "Builds the index files of database <id>, section [DB-<id>] of vesprin.ini in the\n"
         "program directory: the documents of its HtmlDir into its WorkDir.\n"
         "  -x<id>       the database (1..65535); it must be listed in [INDEX]\n"
         "  -corvdoc     page documents (.pgx) are indexed too, when LocalFileType lists pgx\n"
         "  -w<handle>, -f10   given by the desktop; they change nothing\n"
         "  -ncl         a mail database: the gateway named by DataInputPort reads the mail\n"
         "  -mail        with -ncl: the attachments are indexed too\n"
         "At a terminal the progress is shown as a bar, in a file as plain lines; through\n"
         "a pipe the progress lines of the desktop's job queue are written.\n";
}

int run_indexer(int argc, const char* const* argv, int out_fd) {
  std::unique_ptr<ProgressWriter> progress;
  struct stat out;
  const bool terminal = isatty(out_fd);
  const bool file = !terminal && fstat(out_fd, &out) == 0 && S_ISREG(out.st_mode);
  // The locale's character set, for the texts a person reads.
  if (terminal || file) std::setlocale(LC_CTYPE, "");
  if (terminal)
    progress = std::make_unique<TerminalProgress>(out_fd);
  else if (file)
    progress = std::make_unique<LogProgress>(out_fd);
  else
    progress = std::make_unique<ProgressWriter>(out_fd);
  install_signal_handlers();
  // The desktop ends a job only on the end mark or a '3' line, so a build that fails in
  // an unforeseen way still says so (the writer has removed its temporary files by then).
  try {
    return run_build(argc, argv, *progress, out_fd, terminal || file);
  } catch (const std::bad_alloc&) {
    progress->fatal("Out of memory !");
  } catch (const std::exception& e) {
    progress->fatal(std::string("The build failed: ") + e.what());
  }
  return 1;
}

}  // namespace qm
