// Shared driver of the pagecast fuzz targets (fuzz_template.cpp, fuzz_sheet.cpp,
// fuzz_chunks.cpp): the per-process scratch folder, the export run through libkvx.so with
// its end checks (a documented status, no handle left open), and the replay main that
// feeds the files or folders named on the command line to LLVMFuzzerTestOneInput when the
// target is not built with libFuzzer. Each target defines LLVMFuzzerTestOneInput and
// pagecast_fuzz::work_dir.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "filters/common/kvx_abi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace pagecast_fuzz {

// The target's scratch folder, made on first use (each target defines it with
// scratch_dir below).
std::filesystem::path work_dir();

// A fresh scratch folder named by the target and this process, holding the given files
// (name, bytes).
inline std::filesystem::path scratch_dir(const std::string& prefix,
                                         std::initializer_list<std::pair<const char*, const char*>> files) {
  auto d = std::filesystem::temp_directory_path() / (prefix + std::to_string(::getpid()));
  std::filesystem::create_directories(d);
  for (const auto& [name, bytes] : files) std::ofstream(d / name) << bytes;
  return d;
}

// The library loaded once (a failed load aborts) and the scratch folder; each input
// starts here.
inline std::filesystem::path start() {
  static bool ready = DAInit() == KVX_OK;
  if (!ready) std::abort();
  return work_dir();
}

// Removes what an earlier input wrote (the root file and its side files).
inline void clear_outputs(const std::filesystem::path& dir) {
  for (const auto& f : std::filesystem::directory_iterator(dir))
    if (f.path().filename().string().rfind("out", 0) == 0) std::filesystem::remove(f.path());
}

// Runs the HTML export of an open document into out and closes the document; returns the
// export's status. A failed close aborts.
inline KVXSTATUS export_and_close(KVXHANDLE doc, const std::string& out) {
  KVXHANDLE ex = 0;
  KVXSTATUS st = EXOpenExport(doc, KVXEXPORT_HTML, KVXSPEC_PATH, out.c_str(), 0, nullptr, nullptr, nullptr, &ex);
  if (st == KVX_OK) {
    st = EXRunExport(ex);
    if (EXCloseExport(ex) != KVX_OK) std::abort();
  }
  if (DACloseDocument(doc) != KVX_OK) std::abort();
  return st;
}

// Aborts on a status the target does not document or on a handle left open.
inline void check_end(KVXSTATUS st, bool (*documented)(KVXSTATUS)) {
  if (!documented(st)) {
    std::fprintf(stderr, "undocumented status %d\n", st);
    std::abort();
  }
  if (KVXLiveHandleCount() != 0) std::abort();
}

// Replays every file named, or every file of every folder named, then removes the
// scratch folder and unloads the library. Fails when there was nothing to replay.
inline int replay_main(int argc, char** argv) {
  int files = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<std::filesystem::path> inputs;
    if (std::filesystem::is_directory(argv[i])) {
      for (const auto& f : std::filesystem::directory_iterator(argv[i])) inputs.push_back(f.path());
    } else {
      inputs.push_back(argv[i]);
    }
    for (const auto& p : inputs) {
      std::ifstream f(p, std::ios::binary);
      std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      ++files;
    }
  }
  std::filesystem::remove_all(work_dir());
  DADeInit();
  std::printf("%d inputs replayed\n", files);
  return files > 0 ? 0 : 1;
}

}  // namespace pagecast_fuzz

#ifndef QM_LIBFUZZER
int main(int argc, char** argv) { return pagecast_fuzz::replay_main(argc, argv); }
#endif
