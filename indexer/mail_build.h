// Mail databases for the index builder: reads the database's DataInputPort, loads the
// mail gateway it names (libpostbridge.so, mail/postbridge/postbridge.h) and turns each
// page the gateway hands out into one indexed document: subject, sender, body as one
// paragraph, then per attachment section its name and its text. The gateway writes its
// side files into a staging folder inside WorkDir; they replace the old ones only after
// the index files stand, so a failed or stopped build leaves the old database whole. The
// gateway's message boxes (its refused login) become '5' lines for the desktop.
// Called by run_build (builder.cpp) for "-ncl" and "-mail" jobs.
#pragma once
#include <csignal>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

class IndexWriter;
class ProgressWriter;

// DataInputPort: "gateway;source;workdir" or "gateway;outlook:<key>;workdir;source".
struct MailPort {
  std::string gateway;  // the library's path as given, "/" separators
  std::string source;   // what IG_Init is given: a mailbox path, or "outlook:<key>"
};
bool mail_parse_port(std::string_view value, MailPort& port, std::string& error);

// The library file for the gateway path: "<dir>/postbridge.dll" gives
// "<dir>/libpostbridge.so" when that exists, else the program directory's.
std::string mail_gateway_file(const MailPort& port, const std::string& program_dir);

// One page as paragraphs, and where each attachment section's name paragraph stands.
struct MailSection {
  std::string name;
  size_t name_paragraph = 0;
};
struct MailDocument {
  std::vector<std::string> paragraphs;  // [0] subject, [1] sender, [2] body, then sections
  std::vector<MailSection> sections;
};
MailDocument mail_page_document(std::string_view page);

// The stored path of a message: its subject, or the page name when it has none, cut on
// a character boundary to 259 bytes.
std::string mail_document_path(std::string_view subject, std::string_view page_name);

// The index writer's memory budget for mail builds. A mail build also holds a long
// message while it is decoded (tens of megabytes), so the postings are spilled in small
// runs: the peak then no longer depends on how many messages have come before. The index
// files are the same whatever the budget.
inline constexpr size_t kMailIndexMemoryBudget = size_t(16) << 20;

// The staging folder inside the work folder.
inline constexpr char kMailStagingFolder[] = ".mail-staging";

struct MailBuildJob {
  std::string data_input_port;
  std::string work_dir;     // ends in "/"
  std::string program_dir;  // ends in "/"
  bool attachments = false;
  int timeout_seconds = 60;
};

enum class MailBuildResult { Done, Failed, Stopped };

// Runs the gateway and feeds the writer; on Done the caller finishes the writer and then
// calls mail_publish. Failures are reported on a '3' line through progress. Once stop is
// set, a converter the gateway is running is killed with its process group, so the build
// returns Stopped without waiting for the converter's time-out.
MailBuildResult mail_build(const MailBuildJob& job, IndexWriter& writer, ProgressWriter& progress,
                           const volatile sig_atomic_t& stop, size_t& indexed);

// Moves the staged side files and Attach/ into the work folder, replacing the old ones.
bool mail_publish(const MailBuildJob& job, std::string& error);

// Removes the staging folder (a killed build's, or this one's after a failure).
void mail_remove_staging(const std::string& work_dir);

}  // namespace qm
