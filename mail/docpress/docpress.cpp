// docpress's sequence (see docpress.h): argument check and usage, the framework calls in
// their fixed order with the export options, the failure log, and the clean-up of
// non-breaking-space entities. Builds on the framework table given by the caller and on
// platform/ for the program directory and the safe rewrite of the output.
#include "mail/docpress/docpress.h"

#include <unistd.h>

#include <fstream>
#include <iterator>

#include "platform/atomic_file.h"
#include "platform/paths.h"

namespace qm::docpress {

const char kUsage[] =
    "\n"
    "\n"
    "OBJECT   : Converts the input file to HTML.\n"
    "USAGE    : docpress [InputFile] [OutputFile] [-n]\n"
    "PARAMETER: \"InputFile\" the file to be converted to HTML.\n"
    "           \"OutputFile\" where to place the converted file.\n"
    "           \"[-n]\" don't parse error code(not necessary).\n"
    "Example  : docpress test.doc test.htm\n"
    "     or  : docpress test.doc test.htm -n\n"
    "NOTE     : The template file 'docpress.tpt' must in the same path!!\n";

KVXSTATUS export_callback(KVXHANDLE, void*, uint32_t, void*) { return KVXCB_USEDEFAULT; }

std::string replace_nbsp(std::string_view html) {
  static constexpr std::string_view kEntity = "&#160;";
  std::string out;
  out.reserve(html.size());
  size_t from = 0;
  for (size_t at = html.find(kEntity); at != std::string_view::npos; at = html.find(kEntity, from)) {
    out.append(html.substr(from, at - from));
    out += ' ';
    from = at + kEntity.size();
  }
  out.append(html.substr(from));
  return out;
}

namespace {

void log_failure(const std::string& input, const char* message, KVXSTATUS status) {
  if (std::FILE* log = std::fopen(kErrorLog, "a")) {
    std::fprintf(log, "%s:%s, error code:%d\n", input.c_str(), message, int(status));
    std::fclose(log);
  }
}

// Logs the failure, releases the framework and gives the failure code.
int fail(const Framework& fw, const std::string& input, const char* message, KVXSTATUS status) {
  log_failure(input, message, status);
  fw.DADeInit();
  return -1;
}

KVXSTATUS set_word(const Framework& fw, KVXHANDLE document, uint32_t id, uint32_t value) {
  return fw.DASetOption(document, id, &value, sizeof value);
}

// Rewrites the output with its entities made blanks; the whole text is kept (an output
// that cannot be read is left as it is).
void clean_output(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return;
  const std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  const std::string cleaned = replace_nbsp(html);
  if (cleaned.size() != html.size()) atomic_replace(path, cleaned);
}

}  // namespace

int run(const Framework& fw, int argc, const char* const* argv, std::FILE* out) {
  if (argc != 3 && argc != 4) {
    std::fputs(kUsage, out);
    std::fflush(out);
    return -1;
  }
  const std::string template_path = program_dir_from_argv0(argv[0] ? argv[0] : "") + kTemplateName;
  const std::string input = argv[1];
  const std::string output = argv[2];

  KVXSTATUS st = fw.DAInit();
  if (st != KVX_OK) return fail(fw, input, "Fail to initialize...", st);
  KVXHANDLE document = KVXHANDLE_NONE;
  st = fw.DAOpenDocument(&document, KVXSPEC_PATH, input.c_str(), 0);
  if (st != KVX_OK) return fail(fw, input, "Fail to open document...", st);
  ::unlink(output.c_str());

  st = set_word(fw, document, KVXOPT_FALLBACKFORMAT, KVXFI_TEXT);
  if (st == KVX_OK) st = set_word(fw, document, KVXOPT_ROOTFILECALLBACK, 1);
  if (st != KVX_OK) {
    fw.DACloseDocument(document);
    return fail(fw, input, "Fail to set option...", st);
  }

  KVXHANDLE exported = KVXHANDLE_NONE;
  st = fw.EXOpenExport(document, KVXEXPORT_HTML, KVXSPEC_PATH, output.c_str(), 0, nullptr, export_callback,
                       nullptr, &exported);
  if (st != KVX_OK) {
    fw.DACloseDocument(document);
    return fail(fw, input, "Fail to open export...", st);
  }

  st = set_word(fw, document, KVXOPT_FLAVOR, 0);
  if (st == KVX_OK) st = set_word(fw, document, KVXOPT_GRAPHICTYPE, KVXEXPORT_NONE);
  if (st == KVX_OK) st = set_word(fw, document, KVXOPT_WRITERFLAGS, 1);
  if (st == KVX_OK)
    st = fw.DASetOption(document, KVXOPT_TEMPLATE, template_path.c_str(), uint32_t(template_path.size() + 1));
  if (st == KVX_OK) st = set_word(fw, document, KVXOPT_CHARSET, kBig5);
  if (st == KVX_OK) st = set_word(fw, document, KVXOPT_CHARBYTEORDER, 2);
  if (st == KVX_OK) st = set_word(fw, document, KVXOPT_337890, 1);
  if (st != KVX_OK) {
    fw.EXCloseExport(exported);
    fw.DACloseDocument(document);
    return fail(fw, input, "Fail to set option 2...", st);
  }

  st = fw.EXRunExport(exported);
  // A document cut at a limit is written as far as it was read; the run still fails.
  const KVXSTATUS cut = st == KVXERR_TRUNCATED ? st : KVX_OK;
  if (st != KVX_OK && cut == KVX_OK) {
    fw.EXCloseExport(exported);
    fw.DACloseDocument(document);
    return fail(fw, input, "Fail to run export...", st);
  }
  st = fw.EXCloseExport(exported);
  if (st != KVX_OK) {
    fw.DACloseDocument(document);
    return fail(fw, input, "Fail to close export...", st);
  }
  st = fw.DACloseDocument(document);
  if (st != KVX_OK) return fail(fw, input, "Fail to close document...", st);
  fw.DADeInit();

  if (argc == 3) clean_output(output);
  if (cut != KVX_OK) {
    log_failure(input, "Document cut short...", cut);
    return -1;
  }
  return 1;
}

}  // namespace qm::docpress
