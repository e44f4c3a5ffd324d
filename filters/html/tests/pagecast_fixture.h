// Shared set-up of the pagecast tests that run whole exports through libkvx.so, which loads
// libpagecast.so from the program directory: a scratch folder, a host whose callbacks log
// their ids and data and answer from a table, and calls that run an export of a document
// file or a chunk script with a template and options and return the status, the root
// file's bytes and the log. Each test checks that no handle, IO object or block is left.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "filters/common/kvx_abi.h"
#include "testsupport/test_files.h"

namespace pc::test {

struct Host {
  std::map<uint32_t, KVXSTATUS> answers;  // by callback id; absent: 50
  std::map<uint32_t, KVXSTATUS> later;    // answers that replace those once the export starts
  std::string log;                        // one line per callback
  std::string dir;                        // where a host that answers 0 names files
  std::vector<const char*> host_elements; // handed out at KVXCB_EXPORTSTART when answering 0
  int named = 0;
  uint16_t tag = 0;         // name record tag of the last file request
  std::u16string name;      // its name (16-bit names) or its bytes widened (8-bit names)
  bool wide = false;        // the export runs with 16-bit names (option 32)
  std::u16string template_name;  // the template name of the last file request, widened
  std::u16string host_text;      // the text of the last HOSTELEMENT or ELEMENTTEXT callback, widened
};

// A zero-terminated text of 8-bit or 16-bit units, widened.
inline std::u16string host_units(const void* text, bool wide) {
  std::u16string s;
  if (text == nullptr) return s;
  for (size_t i = 0; i < 4096; ++i) {
    char16_t c = wide ? char16_t(static_cast<const uint16_t*>(text)[i]) : char16_t(static_cast<const uint8_t*>(text)[i]);
    if (c == 0) break;
    s.push_back(c);
  }
  return s;
}

inline KVXSTATUS host_callback(KVXHANDLE, void* data, uint32_t id, void* cb) {
  auto* h = static_cast<Host*>(data);
  auto it = h->answers.find(id);
  KVXSTATUS a = it == h->answers.end() ? KVXCB_USEDEFAULT : it->second;
  if (id == KVXCB_EXPORTSTART)
    for (const auto& [k, v] : h->later) h->answers[k] = v;
  h->log += std::to_string(id);
  if (id == KVXCB_CREATEFILE || id == KVXCB_FILECREATED) {
    auto* q = static_cast<KVXFILEREQUEST*>(cb);
    uint32_t n = 0;
    const auto* rec = static_cast<const uint8_t*>(q->NameRecord);
    uint16_t tag = 0;
    std::memcpy(&tag, rec, 2);
    std::memcpy(&n, rec + (tag == 0x1008 ? 4 + 4096 : 4 + 2048), 4);
    h->tag = tag;
    h->template_name = host_units(q->TemplateName, tag == 0x1008);
    h->name.clear();
    for (size_t i = 0; i < 2048; ++i) {
      char16_t c = tag == 0x1008 ? char16_t(rec[4 + 2 * i] | rec[5 + 2 * i] << 8) : char16_t(rec[4 + i]);
      if (c == 0) break;
      h->name.push_back(c);
    }
    h->log += " kind " + std::to_string(q->FileKind) + " number " + std::to_string(n) + " state " +
              std::to_string(q->NamingState);
    if (id == KVXCB_CREATEFILE && a == KVX_OK) {
      std::string path = h->dir + "host_" + std::to_string(++h->named) + ".htm";
      std::memcpy(q->Spec, path.c_str(), path.size() + 1);
    }
  } else if (id == KVXCB_EXPORTSTART && a == KVX_OK && !h->host_elements.empty()) {
    *static_cast<void**>(cb) = h->host_elements.data();
  } else if (id == KVXCB_HOSTELEMENT) {
    auto* he = static_cast<KVXHOSTELEMENT*>(cb);
    h->host_text = host_units(he->Text, h->wide);
    if (!h->wide) h->log += std::string(" \"") + static_cast<const char*>(he->Text) + "\"";
    uint32_t w = 0;
    he->File->Write(he->File, "[host]", 6, &w);
  } else if (id == KVXCB_ELEMENTTEXT) {
    auto* et = static_cast<KVXELEMENTTEXT*>(cb);
    h->host_text = host_units(et->Text, h->wide);
    if (!h->wide)
      h->log += std::string(" \"") + static_cast<const char*>(et->Text) + "\" " +
              std::to_string(static_cast<const char*>(et->End) - static_cast<const char*>(et->Text));
  } else if (id == KVXCB_BEFORETEXT) {
    auto* bt = static_cast<KVXBEFORETEXT*>(cb);
    h->log += " size " + std::to_string(bt->Size) + " position " + std::to_string(bt->Position) + " length " +
              std::to_string(bt->Length);
  }
  h->log += "\n";
  return a;
}

struct Result {
  KVXSTATUS open = 0;
  KVXSTATUS run = 0;
  std::string out;
};

struct Option {
  uint32_t id;
  std::string value;
};
inline Option word(uint32_t id, uint32_t v) { return {id, std::string(reinterpret_cast<const char*>(&v), 4)}; }
inline Option text(uint32_t id, const std::string& v) { return {id, v + std::string(1, '\0')}; }

class PagecastTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv("KVX_PLUGINS");
    blocks_ = KVXBlockLiveCount();
    ASSERT_EQ(KVXLiveHandleCount(), 0u);
    ASSERT_EQ(DAInit(), KVX_OK);
    host_.dir = dir_.path();
  }
  void TearDown() override {
    KVXTestStringMode(0);
    EXPECT_EQ(DADeInit(), KVX_OK);
    EXPECT_EQ(KVXLiveHandleCount(), 0u);
    EXPECT_EQ(KVXBlockLiveCount(), blocks_);
  }
  std::string file(const std::string& name, const std::string& bytes) {
    std::string path = dir_ / name;
    qm::test::write_file(path, bytes);
    return path;
  }
  // Runs one export of the chunk script body into out.htm (or output) with the template
  // file's bytes (none: no template option) and options set on the document first.
  Result run(const std::string& script, const std::string* tpl, std::vector<Option> options = {},
             const std::string& output = "out.htm") {
    std::string in = file("doc.kvx", "kvx-chunks 1\n" + script);
    if (tpl != nullptr) options.push_back(text(KVXOPT_TEMPLATE, file("t.tpt", *tpl)));
    return export_file(in, options, output);
  }
  Result run(const std::string& script, const std::string& tpl, std::vector<Option> options = {}) {
    return run(script, &tpl, std::move(options));
  }
  // Runs one export of the document file at path into out.htm (or output) with options
  // set on the document first.
  Result export_file(const std::string& path, const std::vector<Option>& options,
                     const std::string& output = "out.htm") {
    Result r;
    KVXHANDLE doc = 0, ex = 0;
    EXPECT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, path.c_str(), 0), KVX_OK) << path;
    for (const Option& o : options) EXPECT_EQ(DASetOption(doc, o.id, o.value.data(), uint32_t(o.value.size())), KVX_OK);
    std::string out = dir_ / output;
    r.open = EXOpenExport(doc, KVXEXPORT_HTML, KVXSPEC_PATH, out.c_str(), 0, nullptr, host_callback, &host_, &ex);
    if (r.open == KVX_OK) {
      r.run = EXRunExport(ex);
      EXPECT_EQ(EXCloseExport(ex), KVX_OK);
    }
    EXPECT_EQ(DACloseDocument(doc), KVX_OK);
    r.out = qm::test::read_file(out);
    return r;
  }
  qm::test::TempDir dir_{"pagecast-test-"};
  Host host_;
  uint32_t blocks_ = 0;
};

// Runs python3 on a script in the scratch folder; its standard output.
inline std::string python(const std::string& dir, const std::string& code) {
  qm::test::write_file(dir + "oracle.py", code);
  std::string out;
  EXPECT_EQ(qm::test::command_output("python3 " + dir + "oracle.py", out), 0);
  return out;
}

}  // namespace pc::test
