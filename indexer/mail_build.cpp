// Mail databases (see mail_build.h): the DataInputPort fields, the gateway loaded with
// platform/dynlib.h, pages cut into paragraphs with the HTML and plain-text readers of
// html_text.h and text_blocks.h, documents written through index/index_writer.h, and
// the staged side files put in place at the end. While the gateway runs, a watcher thread
// ends its converter on a stop, and the gateway's message boxes (platform/message_box.h)
// go to the desktop as '5' lines through the exported qm_message_box.
#include "indexer/mail_build.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "common/files.h"
#include "common/strings.h"
#include "index/index_writer.h"
#include "indexer/html_text.h"
#include "indexer/progress.h"
#include "indexer/text_blocks.h"
#include "mail/mail_page_format.h"
#include "mail/postbridge/postbridge.h"
#include "mail/side_files_format.h"
#include "platform/dynlib.h"
#include "platform/le.h"
#include "platform/message_box.h"
#include "platform/paths.h"

namespace qm {

namespace fmt = mail_page_format;
namespace {

// Where a message box of the gateway goes while a mail build runs (see qm_message_box).
ProgressWriter* g_box_progress = nullptr;
// The boxes relayed so far: a box while the gateway opens the source is its refused login.
size_t g_boxes_shown = 0;

constexpr uint16_t kTitleKind = 1;
constexpr uint16_t kBodyKind = 0;
constexpr size_t kPathLimit = 259;
constexpr int32_t kAttachNumberLimit = 65535;

// The length of the longest prefix of text within n bytes that cuts no Big5 pair.
size_t big5_prefix(std::string_view text, size_t n) {
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t step = (c >= 0x81 && c != 0xFF && i + 1 < text.size()) ? 2 : 1;
    if (i + step > n) break;
    i += step;
  }
  return i;
}

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && string_nicmp(text, prefix, prefix.size()) == 0;
}

// The text between open and close at pos (pos moves past close); empty when not there.
std::string_view take_tagged(std::string_view page, size_t& pos, std::string_view open,
                             std::string_view close) {
  if (page.compare(pos, open.size(), open) != 0) return {};
  const size_t start = pos + open.size();
  const size_t end = page.find(close, start);
  if (end == std::string_view::npos) return {};
  pos = end + close.size();
  return page.substr(start, end - start);
}

// Blocks joined by blanks, kept within the paragraph limit.
std::string join_blocks(const ExtractedText& text) {
  std::string out = text.title;
  for (const std::string& b : text.blocks) {
    if (out.size() >= kParagraphLimit) break;
    if (!out.empty()) out += ' ';
    out += b;
  }
  out.resize(big5_prefix(out, kParagraphLimit));
  return out;
}

// Plain text as blocks only: no line is taken apart as a title. The body paragraph keeps
// only its first kParagraphLimit bytes, so the text is fed in pieces and the feeding
// stops once more than that has come out: text already emitted does not change, so the
// kept start is the same as from the whole body, and a message of tens of megabytes is
// not copied into blocks whole.
ExtractedText plain_blocks(std::string_view text) {
  constexpr size_t kPiece = 64 * 1024;
  BlockBuilder builder;
  PlainTextFeeder feeder(builder);
  for (size_t at = 0; at < text.size() && builder.emitted() <= kParagraphLimit + 2; at += kPiece)
    feeder.feed(text.substr(at, kPiece));
  feeder.finish();
  ExtractedText out;
  out.blocks = builder.take();
  return out;
}

bool looks_like_html(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
  const std::string_view rest = text.substr(i);
  return starts_with_nocase(rest, "<html") || starts_with_nocase(rest, "<!doctype html") ||
         starts_with_nocase(rest, "<head") || starts_with_nocase(rest, "<body");
}

// One line of plain text for the subject and sender paragraphs.
std::string one_line(std::string_view text) {
  BlockBuilder b;
  b.text(text);
  std::string out;
  for (const std::string& s : b.take()) {
    if (!out.empty()) out += ' ';
    out += s;
  }
  return out;
}

bool has_extension(std::string_view name, std::string_view ext) {
  return name.size() > ext.size() &&
         name[name.size() - ext.size() - 1] == '.' &&
         string_nicmp(name.substr(name.size() - ext.size()), ext, ext.size()) == 0;
}

}  // namespace

bool mail_parse_port(std::string_view value, MailPort& port, std::string& error) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    const size_t semi = value.find(';', start);
    fields.emplace_back(value.substr(start, semi == std::string_view::npos ? value.size() - start
                                                                           : semi - start));
    if (semi == std::string_view::npos) break;
    start = semi + 1;
  }
  if (fields.size() != 3 && fields.size() != 4) {
    error = "DataInputPort does not have three or four fields";
    return false;
  }
  if (fields[0].empty() || fields[1].empty()) {
    error = "DataInputPort names no gateway or no mail source";
    return false;
  }
  if (fields.size() == 4 && !starts_with_nocase(fields[1], "outlook:")) {
    error = "DataInputPort has four fields but no outlook: key";
    return false;
  }
  port.gateway = path_backslash_to_slash(fields[0]);
  port.source = starts_with_nocase(fields[1], "outlook:") ? fields[1]
                                                         : path_backslash_to_slash(fields[1]);
  return true;
}

std::string mail_gateway_file(const MailPort& port, const std::string& program_dir) {
  const size_t slash = port.gateway.rfind('/');
  // The name is looked for case-blind, as configurations copied from the old system
  // spell it in any case ("POSTBRIDGE.DLL").
  std::string name = slash == std::string::npos ? port.gateway : port.gateway.substr(slash + 1);
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return char(c < 0x80 ? std::tolower(c) : c); });
  name = dynlib_file_name(name);
  if (slash != std::string::npos) {
    const std::string there = path_find_case_blind(port.gateway.substr(0, slash + 1), name);
    struct stat st;
    if (stat(there.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return there;
  }
  return path_find_case_blind(program_dir, name);
}

MailDocument mail_page_document(std::string_view page) {
  MailDocument doc;
  size_t pos = 0;
  const std::string_view subject = take_tagged(page, pos, fmt::kTitleOpen, fmt::kTitleClose);
  const std::string_view sender = take_tagged(page, pos, fmt::kSenderOpen, fmt::kSenderClose);
  // The body runs to the "</BODY>\n" that opens the first section or else the last one.
  std::string_view body;
  if (page.compare(pos, fmt::kBodyOpen.size(), fmt::kBodyOpen) == 0) {
    const size_t start = pos + fmt::kBodyOpen.size();
    size_t end = page.find(fmt::kBodyClose, start);
    while (end != std::string_view::npos && !page.substr(end + fmt::kBodyClose.size()).starts_with(fmt::kAttachOpen))
      end = page.find(fmt::kBodyClose, end + 1);
    if (end == std::string_view::npos) end = page.rfind(fmt::kBodyClose);
    if (end == std::string_view::npos || end < start) end = page.size();
    body = page.substr(start, end - start);
    pos = std::min(page.size(), end + fmt::kBodyClose.size());
  }
  doc.paragraphs.push_back(one_line(subject));
  doc.paragraphs.push_back(one_line(sender));
  doc.paragraphs.push_back(looks_like_html(body) ? join_blocks(html_extract(body))
                                                 : join_blocks(plain_blocks(body)));
  const std::string section_close = std::string(fmt::kAttachClose) + std::string(fmt::kAttachLineEnd);
  while (pos < page.size()) {
    const size_t open = page.find(fmt::kAttachOpen, pos);
    if (open == std::string_view::npos) break;
    size_t at = open;
    const std::string_view name = take_tagged(page, at, fmt::kAttachOpen, section_close);
    if (at == open) break;
    size_t next = page.find(fmt::kAttachOpen, at);
    if (next == std::string_view::npos) next = page.size();
    const std::string_view text = page.substr(at, next - at);
    doc.sections.push_back({std::string(name), doc.paragraphs.size()});
    doc.paragraphs.push_back(one_line(name));
    const ExtractedText extracted = has_extension(name, "txt") ? text_extract(text) : html_extract(text);
    if (!extracted.title.empty()) doc.paragraphs.push_back(extracted.title);
    for (const std::string& b : extracted.blocks)
      for (std::string& piece : split_long_block(b)) doc.paragraphs.push_back(std::move(piece));
    pos = next;
  }
  return doc;
}

std::string mail_document_path(std::string_view subject, std::string_view page_name) {
  std::string_view path = subject.empty() ? page_name : subject;
  return std::string(path.substr(0, big5_prefix(path, kPathLimit)));
}

void mail_remove_staging(const std::string& work_dir) {
  const std::string staging = work_dir + kMailStagingFolder;
  if (dir_is_directory(staging)) dir_remove_tree(staging, false);
}

namespace {

template <typename Fn>
bool look_up(const DynLib& lib, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(lib.symbol(name));
  return fn != nullptr;
}

// The record postbridge has just appended to MailProperty.db in the staging folder: the
// gateway writes each record through as it hands the message out, so record n is the
// date of the message handed out n-th (from 0). The file is opened at the first look.
class PropertyTap {
 public:
  explicit PropertyTap(std::string dir) : path_(std::move(dir) + mail_side::kMailPropertyFile) {}
  ~PropertyTap() { if (fd_ >= 0) ::close(fd_); }
  PropertyTap(const PropertyTap&) = delete;
  PropertyTap& operator=(const PropertyTap&) = delete;

  int32_t date(size_t message_index) {
    if (fd_ < 0) fd_ = ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0) return 0;
    unsigned char b[4];
    const off_t at = off_t(message_index * mail_side::kMailPropertySize + mail_side::kMailDateAt);
    if (::pread(fd_, b, sizeof b, at) != ssize_t(sizeof b)) return 0;
    return le::get32s(b);
  }

 private:
  std::string path_;
  int fd_ = -1;
};

// While a mail build runs, a stop request also ends the converter the gateway may be
// waiting for at that moment, which would otherwise run on to its time-out. The gateway
// starts each converter as a child of ours that leads a process group of its own; once
// the stop flag is set, a watcher thread kills every such group of our children, and
// keeps doing so until the build returns, so a converter started meanwhile goes too.
class ConverterStopper {
 public:
  explicit ConverterStopper(const volatile sig_atomic_t& stop) : stop_(stop) {
    // The stop signals stay with the thread that builds: the watcher only looks at the flag.
    sigset_t block, old;
    sigemptyset(&block);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&block, s);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    thread_ = std::thread([this] { watch(); });
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
  }
  ~ConverterStopper() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  ConverterStopper(const ConverterStopper&) = delete;
  ConverterStopper& operator=(const ConverterStopper&) = delete;

 private:
  void watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(20), [this] { return done_; }))
      if (stop_) kill_child_groups();
  }
  // Kills the process group of each child of ours that leads its own group.
  static void kill_child_groups() {
    const pid_t self = getpid();
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return;
    while (const dirent* e = readdir(proc)) {
      if (e->d_name[0] < '1' || e->d_name[0] > '9') continue;
      const std::string stat = slurp_small(std::string("/proc/") + e->d_name + "/stat");
      // "pid (comm) state ppid pgrp ...": the name may hold blanks and parentheses.
      const size_t close = stat.rfind(')');
      if (close == std::string::npos) continue;
      char state = 0;
      long ppid = 0, pgrp = 0;
      if (std::sscanf(stat.c_str() + close + 1, " %c %ld %ld", &state, &ppid, &pgrp) != 3) continue;
      const long pid = std::atol(e->d_name);
      if (ppid == long(self) && pgrp == pid && pid > 1) kill(-pid_t(pid), SIGKILL);
    }
    closedir(proc);
  }
  static std::string slurp_small(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    char buffer[512];
    const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    return n > 0 ? std::string(buffer, size_t(n)) : std::string();
  }

  const volatile sig_atomic_t& stop_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace

MailBuildResult mail_build(const MailBuildJob& job, IndexWriter& writer, ProgressWriter& progress,
                           const volatile sig_atomic_t& stop, size_t& indexed) {
  MailPort port;
  std::string error;
  if (job.data_input_port.empty()) {
    progress.fatal("The mail database lacks DataInputPort");
    return MailBuildResult::Failed;
  }
  if (!mail_parse_port(job.data_input_port, port, error)) {
    progress.fatal(error);
    return MailBuildResult::Failed;
  }
  DynLib lib;
  const std::string file = mail_gateway_file(port, job.program_dir);
  if (!lib.open(file, {}, job.program_dir)) {
    progress.fatal("The mail gateway cannot be loaded: " + lib.error());
    return MailBuildResult::Failed;
  }
  mail::IG_InitFn init;
  mail::IG_GetDataFn get_data;
  mail::IG_ClearDataFn clear_data;
  mail::IG_SetExtraDataFn set_extra;
  mail::IG_InitAttachInfoFn init_attach;
  mail::IG_AppendAttachInfoFn append_attach;
  mail::IG_EndAttachInfoFn end_attach;
  if (!look_up(lib, "IG_Init", init) || !look_up(lib, "IG_GetData", get_data) ||
      !look_up(lib, "IG_ClearData", clear_data) || !look_up(lib, "IG_SetExtraData", set_extra) ||
      !look_up(lib, "IG_InitAttachInfo", init_attach) ||
      !look_up(lib, "IG_AppendAttachInfo", append_attach) ||
      !look_up(lib, "IG_EndAttachInfo", end_attach)) {
    progress.fatal("The mail gateway lacks its functions: " + file);
    return MailBuildResult::Failed;
  }

  mail_remove_staging(job.work_dir);
  // The gateway's boxes (a refused login) go to the desktop while it runs.
  struct BoxRoute {
    explicit BoxRoute(ProgressWriter& p) { g_box_progress = &p; }
    ~BoxRoute() { g_box_progress = nullptr; }
  } box_route(progress);
  const std::string staging = job.work_dir + kMailStagingFolder + "/";
  if (!dir_make(staging.substr(0, staging.size() - 1))) {
    progress.fatal("Cannot create the staging folder in " + job.work_dir);
    return MailBuildResult::Failed;
  }
  const size_t boxes_before = g_boxes_shown;
  if (init(port.source.c_str(), staging.c_str()) == 0) {
    // The only box the gateway shows while it opens a source is the store's refused login.
    progress.fatal(g_boxes_shown != boxes_before ? "The mail store refused the login: " + port.source
                                                 : "The mail source cannot be opened: " + port.source);
    mail_remove_staging(job.work_dir);
    return MailBuildResult::Failed;
  }
  set_extra(job.program_dir.c_str(), job.attachments ? 1 : 0, job.timeout_seconds, 0);
  init_attach();

  // The share of the store handed out so far, by bytes, for the percentage lines.
  struct stat st;
  const uint64_t store_size =
      (stat(port.source.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ? uint64_t(st.st_size) : 0;
  uint64_t handed_out = 0;

  PropertyTap tap(staging);
  const ConverterStopper converter_stopper(stop);
  size_t message = 0;
  bool failed = false;
  char* name = nullptr;
  char* text = nullptr;
  progress.percent(0);
  while (!stop && progress.ok() && get_data(&name, &text) != 0) {
    const std::string page_name = name ? name : "";
    const std::string_view page = text ? std::string_view(text) : std::string_view();
    handed_out += page.size();
    MailDocument mail = mail_page_document(page);
    clear_data(nullptr, &text);

    IndexDocument doc;
    doc.path = mail_document_path(mail.paragraphs[0], page_name);
    doc.date = tap.date(message);
    doc.paragraphs.reserve(mail.paragraphs.size());
    for (size_t p = 0; p < mail.paragraphs.size(); ++p)
      doc.paragraphs.push_back({p == 0 ? kTitleKind : kBodyKind, std::move(mail.paragraphs[p])});
    // Every section gets its record, so AttachInfo.db stays aligned with AttachIdx.db.
    for (const MailSection& s : mail.sections)
      append_attach(s.name.c_str(), int32_t(std::min<size_t>(s.name_paragraph, kAttachNumberLimit)));
    if (!mail.sections.empty())
      append_attach(nullptr, int32_t(std::min<size_t>(doc.paragraphs.size(), kAttachNumberLimit)));
    ++message;
    if (!writer.add_document(doc)) {
      if (writer.failed()) {
        progress.fatal("Cannot write the index: " + writer.error());
        failed = true;
        break;
      }
      progress.status("Skipped " + page_name + ": " + writer.error());
      continue;
    }
    ++indexed;
    progress.document(page_name);
    if (store_size > 0) progress.percent(int(std::min<uint64_t>(99, handed_out * 100 / store_size)));
  }
  end_attach();
  if (failed || stop || !progress.ok()) {
    // Drain nothing further: the staged files are dropped with their folder.
    mail_remove_staging(job.work_dir);
    return failed ? MailBuildResult::Failed : MailBuildResult::Stopped;
  }
  return MailBuildResult::Done;
}

bool mail_publish(const MailBuildJob& job, std::string& error) {
  const std::string staging = job.work_dir + kMailStagingFolder + "/";
  for (const char* file : {mail_side::kMailPropertyFile, mail_side::kAttachIndexFile,
                           mail_side::kAttachInfoFile}) {
    const std::string from = staging + file, to = job.work_dir + file;
    struct stat st;
    if (stat(from.c_str(), &st) == 0) {
      if (std::rename(from.c_str(), to.c_str()) != 0) {
        error = std::string("Cannot put ") + file + " in place: " + std::strerror(errno);
        return false;
      }
    } else {
      std::remove(to.c_str());  // this run has none: an old one would not match
    }
  }
  const std::string attach = job.work_dir + mail_side::kAttachFolder;
  const std::string old_attach = job.work_dir + kMailStagingFolder + "-old";
  if (dir_is_directory(old_attach)) dir_remove_tree(old_attach, false);
  if (dir_is_directory(attach) && std::rename(attach.c_str(), old_attach.c_str()) != 0) {
    error = std::string("Cannot replace the attachment folder: ") + std::strerror(errno);
    return false;
  }
  const std::string new_attach = staging + mail_side::kAttachFolder;
  if (dir_is_directory(new_attach)) std::rename(new_attach.c_str(), attach.c_str());
  if (dir_is_directory(old_attach)) dir_remove_tree(old_attach, false);
  mail_remove_staging(job.work_dir);
  return true;
}

}  // namespace qm

// The index builder's message boxes (platform/message_box.h): the builder runs hidden, so
// a box of the gateway it loaded goes to the desktop as a '5' line, which the desktop
// shows through its message sink. The program exports this function by name.
extern "C" __attribute__((visibility("default"))) int32_t qm_message_box(const char* text, const char*,
                                                                         int32_t) {
  if (qm::g_box_progress != nullptr && text != nullptr) {
    qm::g_box_progress->message(text);
    ++qm::g_boxes_shown;
  }
  return qm::kBoxAnswerOk;
}
