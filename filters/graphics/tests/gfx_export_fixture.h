// Shared set-up of the tests that run gfxcast through libkvx.so: DAInit and DADeInit
// around each test with the check that no handle or block outlives it, chunk-script
// documents in a scratch folder, one export run with a recording host, and readers of
// the written pictures (giflib, Pillow, djpeg, tiffinfo).
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "filters/common/kvx_abi.h"
#include "testsupport/test_files.h"

namespace gfx::test {

struct Host {
  KVXSTATUS answer_failed = KVXCB_USEDEFAULT;
  uint32_t rewrite_width = 0, rewrite_height = 0;  // set through the failure record when nonzero
  int failed_calls = 0, done_calls = 0;
  KVXSTATUS failed_status = 0;
  uint32_t done_width = 0, done_height = 0;
  uint32_t failed_type = 0;
};

inline KVXSTATUS host_callback(KVXHANDLE, void* data, uint32_t id, void* record) {
  auto* h = static_cast<Host*>(data);
  if (id == KVXCB_GRAPHICFAILED) {
    auto* f = static_cast<KVXGRAPHICFAILURE*>(record);
    ++h->failed_calls;
    h->failed_status = f->Status;
    h->failed_type = f->ExportType;
    if (h->rewrite_width) *f->Width = h->rewrite_width;
    if (h->rewrite_height) *f->Height = h->rewrite_height;
    return h->answer_failed;
  }
  if (id == KVXCB_GRAPHICDONE) {
    auto* d = static_cast<KVXGRAPHICDONE*>(record);
    ++h->done_calls;
    h->done_width = d->Width, h->done_height = d->Height;
  }
  return KVXCB_USEDEFAULT;
}

struct RunResult {
  KVXSTATUS open = 0, run = 0;
  std::string bytes;
};

class GfxExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv("KVX_PLUGINS");
    ::unsetenv("QM_PIXPORT_DIR");
    ::unsetenv("PIXPORT_STANDIN_FAIL");
    ::unsetenv("PIXPORT_STANDIN_LOG");
    blocks_ = KVXBlockLiveCount();
    ASSERT_EQ(KVXLiveHandleCount(), 0u);
    ASSERT_EQ(DAInit(), KVX_OK);
  }
  void TearDown() override {
    EXPECT_EQ(DADeInit(), KVX_OK);
    EXPECT_EQ(KVXLiveHandleCount(), 0u);
    EXPECT_EQ(KVXBlockLiveCount(), blocks_);
  }
  std::string script(const std::string& body, const std::string& name = "doc.kvx") {
    std::string path = dir_ / name;
    qm::test::write_file(path, "kvx-chunks 1\n" + body);
    return path;
  }
  // One export of the document's section to out.<ext>; options set on the document.
  RunResult run(const std::string& body, uint32_t type, const std::map<uint32_t, std::vector<uint32_t>>& options,
                Host& host, uint32_t section = 0) {
    RunResult r;
    std::string in = script(body);
    std::string out = dir_ / "out.pic";
    std::remove(out.c_str());
    KVXHANDLE doc = 0, ex = 0;
    EXPECT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, in.c_str(), 0), KVX_OK);
    for (auto& [id, words] : options) DASetOption(doc, id, words.data(), uint32_t(4 * words.size()));
    KVXSELECTION sel{{0, 0, section}};
    r.open = EXOpenExport(doc, type, KVXSPEC_PATH, out.c_str(), 0, &sel, host_callback, &host, &ex);
    if (r.open == KVX_OK) {
      r.run = EXRunExport(ex);
      EXPECT_EQ(EXCloseExport(ex), KVX_OK);
      // Nothing of the export is left once it has run.
    }
    EXPECT_EQ(DACloseDocument(doc), KVX_OK);
    r.bytes = qm::test::read_file(out);
    return r;
  }
  std::string path(const std::string& name) const { return dir_ / name; }
  qm::test::TempDir dir_{"gfx-export-"};
  uint32_t blocks_ = 0;
};

// Hex of bytes, for band lines.
inline std::string hexs(const std::vector<uint8_t>& bytes) {
  static const char* d = "0123456789abcdef";
  std::string s;
  for (uint8_t b : bytes) s += d[b >> 4], s += d[b & 15];
  return s;
}

// Output of a shell command (its status checked).
inline std::string shell(const std::string& command) {
  std::string out;
  int rc = qm::test::command_output(command + " 2>&1", out);
  EXPECT_EQ(rc, 0) << command << "\n" << out;
  return out;
}

// Pillow's RGB pixels of a picture file: "W H" then r,g,b per pixel, blank-separated.
inline std::string pillow_rgb(const std::string& file) {
  return shell("/usr/bin/python3 -c \"import sys; from PIL import Image; im=Image.open(sys.argv[1]).convert('RGB'); "
               "print(im.width, im.height); print(' '.join('%d,%d,%d' % p for p in im.getdata()))\" " + file);
}

}  // namespace gfx::test
