// docpress: converts one document to one HTML file through the conversion framework
// (libkvx.so, filters/common/kvx_abi.h), whose HTML export filter lays the page out by the
// template docpress.tpt in docpress's own directory. docpress only sequences the framework,
// sets the export's options, logs a failure to Export.err in its working directory and
// turns each "&#160;" of the output into a blank. The sequence runs over a table of the
// framework's entry points, so tests drive it with a recording stand-in; the program
// (docpress_main.cpp) binds the table to the real library. postbridge starts the program
// for each attachment that is not plain text or HTML.
#pragma once
#include <cstdio>
#include <string>
#include <string_view>

#include "filters/common/kvx_abi.h"

namespace qm::docpress {

// The framework entry points docpress calls.
struct Framework {
  KVXSTATUS (*DAInit)();
  KVXSTATUS (*DADeInit)();
  KVXSTATUS (*DAOpenDocument)(KVXHANDLE* out, uint32_t specType, const void* spec, uint32_t flags);
  KVXSTATUS (*DACloseDocument)(KVXHANDLE document);
  KVXSTATUS (*DASetOption)(KVXHANDLE handle, uint32_t id, const void* value, uint32_t size);
  KVXSTATUS (*EXOpenExport)(KVXHANDLE document, uint32_t exportType, uint32_t outputSpecType,
                            const void* outputSpec, uint32_t flags, const KVXSELECTION* selection,
                            KVXCALLBACK callback, void* hostData, KVXHANDLE* out);
  KVXSTATUS (*EXRunExport)(KVXHANDLE exportHandle);
  KVXSTATUS (*EXCloseExport)(KVXHANDLE exportHandle);
};

// The template beside the program.
inline constexpr char kTemplateName[] = "docpress.tpt";
// The failure log, appended to in the working directory.
inline constexpr char kErrorLog[] = "./Export.err";
// The character set the export writes: Big5.
inline constexpr uint32_t kBig5 = 0x13B60000u;

// The usage text printed for a wrong count of arguments.
extern const char kUsage[];

// The host callback: the default (KVXCB_USEDEFAULT) for every callback id.
KVXSTATUS export_callback(KVXHANDLE exportHandle, void* hostData, uint32_t id, void* data);

// Every "&#160;" made one blank.
std::string replace_nbsp(std::string_view html);

// Runs docpress with its arguments (argv[0] the program's path): 1 on success, -1 on a
// wrong argument count (usage written to out) or any failure (logged to Export.err). An
// export that ends with KVXERR_TRUNCATED (a limit cut the document) leaves its page,
// cleaned as any other, and is logged as "Document cut short..." with that status and -1.
int run(const Framework& framework, int argc, const char* const* argv, std::FILE* out);

}  // namespace qm::docpress
