// Documents, options and module data through libkvx.so: spec types 2, 4 and 16, the
// handle lookups, options of documents and exports with the four framework defaults,
// module data owned by documents and exports, and locks that must balance by close.
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "filters/framework/tests/framework_fixture.h"

namespace kvx::test {
namespace {

using DocumentsTest = FrameworkTest;

uint32_t get_word(KVXHANDLE h, uint32_t id, KVXSTATUS* st = nullptr) {
  uint32_t v = 0xDEADBEEF, size = 4;
  KVXSTATUS s = DAGetOption(h, id, &v, &size);
  if (st) *st = s;
  return v;
}

TEST_F(DocumentsTest, OptionsOfDocumentsAndExports) {
  KVXHANDLE doc = 0, ex = 0;
  std::string in = script("section wp\n");
  ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, in.c_str(), 0), KVX_OK);
  KVXSTATUS st;
  // Absent: the caller's buffer is left alone.
  EXPECT_EQ(get_word(doc, KVXOPT_TEMPLATE, &st), 0xDEADBEEFu);
  EXPECT_EQ(st, KVXERR_NOTFOUND);
  // The four answered while unset.
  EXPECT_EQ(get_word(doc, KVXOPT_CHARSET), 0x000B000Bu);
  EXPECT_EQ(get_word(doc, KVXOPT_GRAPHICTYPE), 1503u);
  EXPECT_EQ(get_word(doc, KVXOPT_FLAVOR), 11u);
  KVXNUMBERFORMATS locale{};
  uint32_t size = sizeof locale;
  ASSERT_EQ(DAGetOption(doc, KVXOPT_NUMBERFORMATS, &locale, &size), KVX_OK);
  EXPECT_EQ(size, 32u);
  EXPECT_EQ(locale.DecimalSeparator, '.');
  EXPECT_STREQ(locale.Morning, "AM");
  // Made absent on purpose.
  ASSERT_EQ(DASetOption(doc, KVXOPT_FLAVOR, nullptr, 0), KVX_OK);
  get_word(doc, KVXOPT_FLAVOR, &st);
  EXPECT_EQ(st, KVXERR_NOTFOUND);
  // A value larger than the buffer: 46, buffer untouched, size unchanged.
  const char tpl[] = "/some/template.tpt";
  ASSERT_EQ(DASetOption(doc, KVXOPT_TEMPLATE, tpl, sizeof tpl), KVX_OK);
  char small[4] = {'x', 'x', 'x', 'x'};
  size = 4;
  EXPECT_EQ(DAGetOption(doc, KVXOPT_TEMPLATE, small, &size), KVXERR_BUFFERTOOSMALL);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(small[0], 'x');
  EXPECT_EQ(DASetOption(doc, 1, nullptr, 4), KVXERR_BADPARAM);
  // An export looks in its own table, then live in its document's.
  ASSERT_EQ(EXOpenExport(doc, KVXEXPORT_HTML, KVXSPEC_PATH, (dir_ / "o").c_str(), 0, nullptr, nullptr, nullptr, &ex),
            KVX_OK);
  uint32_t v = 7;
  ASSERT_EQ(DASetOption(doc, KVXOPT_WRITERFLAGS, &v, 4), KVX_OK);
  EXPECT_EQ(get_word(ex, KVXOPT_WRITERFLAGS), 7u);
  v = 8;
  ASSERT_EQ(DASetOption(ex, KVXOPT_WRITERFLAGS, &v, 4), KVX_OK);
  EXPECT_EQ(get_word(ex, KVXOPT_WRITERFLAGS), 8u);
  EXPECT_EQ(get_word(doc, KVXOPT_WRITERFLAGS), 7u);
  get_word(ex, KVXOPT_FLAVOR, &st);  // absent in the document: absent for the export
  EXPECT_EQ(st, KVXERR_NOTFOUND);
  EXPECT_EQ(DAGetOption(999, 1, &v, &size), KVXERR_BADHANDLE);
  EXPECT_EQ(EXCloseExport(ex), KVX_OK);
  EXPECT_EQ(DACloseDocument(doc), KVX_OK);
}

TEST_F(DocumentsTest, OpenByPathWidePathAndFailures) {
  std::string in = script("section wp\n", "\xE4\xB8\xAD.kvx");  // 中.kvx
  const uint16_t wide_name[] = {0x4E2D, '.', 'k', 'v', 'x', 0};
  std::u16string wide;
  for (char c : dir_.path()) wide += char16_t(static_cast<unsigned char>(c));
  std::vector<uint16_t> w(wide.begin(), wide.end());
  w.insert(w.end(), wide_name, wide_name + 6);
  KVXHANDLE doc = 0;
  ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_WIDEPATH, w.data(), 0), KVX_OK);
  uint32_t id = 0;
  EXPECT_EQ(DAGetFileId(doc, &id), KVX_OK);
  EXPECT_EQ(id, uint32_t(KVXFI_CHUNKSCRIPT));
  KVXIO* file = nullptr;
  ASSERT_EQ(DAGetHFile(doc, &file), KVX_OK);
  uint32_t spec = 0;
  EXPECT_EQ(file->GetInfo(file, KVXIOINFO_SPECTYPE, &spec), KVX_OK);
  EXPECT_EQ(spec, 4u);
  KVXHANDLE same = 0;
  EXPECT_EQ(DARetrieveDocHandle(doc, &same), KVX_OK);
  EXPECT_EQ(same, doc);
  void* ole = &same;
  EXPECT_EQ(DAGetOLEObject(doc, &ole), KVXERR_UNSUPPORTED);
  EXPECT_EQ(DACloseDocument(doc), KVX_OK);

  EXPECT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, (dir_ / "missing.doc").c_str(), 0), KVXERR_OPENFAILED);
  EXPECT_EQ(doc, 0u);
  EXPECT_EQ(DAOpenDocument(&doc, 99, "x", 0), KVXERR_BADPARAM);
  // No format by content or name: opens, but has no chunks until option 2 names the
  // fall-back format, set after the open as docpress does.
  qm::test::write_file(dir_ / "plain", "just text\nsecond line");
  ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, (dir_ / "plain").c_str(), 0), KVX_OK);
  KVXHANDLE chunker = 0;
  EXPECT_EQ(DAGetHChunker(doc, &chunker), KVXERR_UNKNOWNFORMAT);
  EXPECT_EQ(DAGetFileId(doc, &id), KVX_OK);
  EXPECT_EQ(id, uint32_t(KVXFI_UNKNOWN));
  uint32_t text_format = KVXFI_TEXT;
  ASSERT_EQ(DASetOption(doc, KVXOPT_FALLBACKFORMAT, &text_format, 4), KVX_OK);
  ASSERT_EQ(DAGetHChunker(doc, &chunker), KVX_OK);
  uint32_t count = 0;
  EXPECT_EQ(CHGetItemCount(chunker, KVXRANGE_ITEMS, &count), KVX_OK);
  EXPECT_EQ(count, 4u);  // two lines, each a run and a paragraph end
  EXPECT_EQ(CHGetFilter(chunker, &id), KVX_OK);
  EXPECT_EQ(id, uint32_t(KVXFI_TEXT));
  EXPECT_EQ(DACloseDocument(doc), KVX_OK);

  // Known by content: an HTML page read through the chunker; a PowerPoint package has no reader yet.
  qm::test::write_file(dir_ / "page", "<html><body><p>Hello <b>there</b></p></body></html>");
  ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, (dir_ / "page").c_str(), 0), KVX_OK);
  EXPECT_EQ(DAGetFileId(doc, &id), KVX_OK);
  EXPECT_EQ(id, uint32_t(KVXFI_HTML));
  EXPECT_EQ(DAGetHChunker(doc, &chunker), KVX_OK);
  EXPECT_EQ(DACloseDocument(doc), KVX_OK);
  qm::test::write_file(dir_ / "slides.pptx", "not yet");
  ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, (dir_ / "slides.pptx").c_str(), 0), KVX_OK);
  EXPECT_EQ(DAGetHChunker(doc, &chunker), KVXERR_UNSUPPORTED);
  EXPECT_EQ(DACloseDocument(doc), KVX_OK);
}

// The readers' children run under the document's time limit: a Word reader that never
// ends is stopped after the option's 200 ms, and the document is a bad source.
TEST_F(DocumentsTest, ChildTimeLimitOption) {
  std::filesystem::path bin = dir_.sub("bin");
  std::filesystem::create_directories(bin);
  qm::test::write_file(bin / "antiword", "#!/bin/sh\nsleep 60\n");
  std::filesystem::permissions(bin / "antiword", std::filesystem::perms::owner_all);
  std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  ::setenv("PATH", (bin.string() + ":" + path).c_str(), 1);
  qm::test::write_file(dir_ / "letter.doc", "not a real one");
  KVXHANDLE doc = 0, chunker = 0;
  ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, (dir_ / "letter.doc").c_str(), 0), KVX_OK);
  uint32_t ms = 200;
  ASSERT_EQ(DASetOption(doc, KVXOPT_CHILDTIMEOUT, &ms, 4), KVX_OK);
  EXPECT_EQ(DAGetHChunker(doc, &chunker), KVXERR_BADFORMAT);
  EXPECT_EQ(DACloseDocument(doc), KVX_OK);
  ::setenv("PATH", path.c_str(), 1);
}

TEST_F(DocumentsTest, EmbeddedObjectOpensAsItsOwnDocument) {
  std::string in = script("section wp\nobject 4 6B76782D6368756E6B7320310A73656374696F6E20626D0A\n");
  KVXHANDLE doc = 0, ex = 0, obj = 0;
  ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, in.c_str(), 0), KVX_OK);
  ASSERT_EQ(EXOpenExport(doc, 9901, KVXSPEC_PATH, (dir_ / "o").c_str(), 0, nullptr, nullptr, nullptr, &ex), KVX_OK);
  KVXEMBEDDEDSPEC spec = {24, ex, 0, 0xFFFFFFFF, 0, 0};
  ASSERT_EQ(DAOpenDocument(&obj, KVXSPEC_EMBEDDED, &spec, 0), KVX_OK);
  KVXOBJECTLOCATOR loc{};
  ASSERT_EQ(DAGetObjectLocator(obj, &loc), KVX_OK);
  EXPECT_EQ(loc.Kind, uint32_t(KVXLOCATOR_EMBEDDED));
  EXPECT_EQ(loc.GraphicType, 4);
  KVXHANDLE chunker = 0;
  KVXSECTIONINFO info{};
  ASSERT_EQ(DAGetHChunker(obj, &chunker), KVX_OK);  // the object is a chunk script itself
  ASSERT_EQ(CHGetSectionInfo(chunker, 0, &info), KVX_OK);
  EXPECT_EQ(info.Type, uint32_t(KVXSECTION_BM));
  EXPECT_EQ(DACloseDocument(obj), KVX_OK);
  spec.ObjectId = 1;
  EXPECT_EQ(DAOpenDocument(&obj, KVXSPEC_EMBEDDED, &spec, 0), KVXERR_OPENFAILED);
  spec.Export = doc;  // must be an export
  spec.ObjectId = 0;
  EXPECT_EQ(DAOpenDocument(&obj, KVXSPEC_EMBEDDED, &spec, 0), KVXERR_BADHANDLE);
  EXPECT_EQ(EXCloseExport(ex), KVX_OK);
  EXPECT_EQ(DACloseDocument(doc), KVX_OK);
}

TEST_F(DocumentsTest, ModuleDataIsOwnedAndAnswersForItsOwner) {
  KVXHANDLE doc = 0, ex = 0, md = 0;
  std::string in = script("section wp\n");
  ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, in.c_str(), 0), KVX_OK);
  ASSERT_EQ(EXOpenExport(doc, 9901, KVXSPEC_PATH, (dir_ / "o").c_str(), 0, nullptr, nullptr, nullptr, &ex), KVX_OK);
  ASSERT_EQ(DACreateModuleData(&md, ex, 0, 656, 5), KVX_OK);
  void* p = nullptr;
  ASSERT_EQ(DALockModuleData(md, &p), KVX_OK);
  uint32_t kind = 0;
  std::memcpy(&kind, p, 4);
  EXPECT_EQ(kind, 5u);
  void* q = nullptr;
  ASSERT_EQ(DALockModuleData(ex, &q), KVX_OK);  // through the owner
  EXPECT_EQ(p, q);
  EXPECT_EQ(DAUnlockModuleData(ex), KVX_OK);
  EXPECT_EQ(DAUnlockModuleData(md), KVX_OK);
  KVXHANDLE d = 0;
  EXPECT_EQ(DARetrieveDocHandle(md, &d), KVX_OK);
  EXPECT_EQ(d, doc);
  EXPECT_EQ(DAPreOpenDocument(md), KVX_OK);
  uint32_t id = 0;
  EXPECT_EQ(DAGetFileId(md, &id), KVX_OK);
  EXPECT_EQ(id, uint32_t(KVXFI_CHUNKSCRIPT));
  EXPECT_EQ(DALockModuleData(doc, &q), KVXERR_NOTFOUND);  // the document owns none
  EXPECT_EQ(DADestroyModuleData(md), KVX_OK);
  EXPECT_EQ(DADestroyModuleData(md), KVXERR_BADHANDLE);
  // Left to the export's close.
  ASSERT_EQ(DACreateModuleData(&md, ex, 0, 16, 2), KVX_OK);
  KVXBlockFailAfter(1);
  KVXHANDLE md2 = 0;
  EXPECT_EQ(DACreateModuleData(&md2, doc, 0, 16, 2), KVXERR_NOMEMORY);
  EXPECT_EQ(EXCloseExport(ex), KVX_OK);
  EXPECT_EQ(DALockModuleData(md, &q), KVXERR_BADHANDLE);
  EXPECT_EQ(DACloseDocument(doc), KVX_OK);
}

TEST_F(DocumentsTest, LocksMustBalanceByClose) {
  KVXHANDLE doc = 0, chunker = 0;
  std::string in = script("section wp\ntext cp1252 \"abc\"\n");
  ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, in.c_str(), 0), KVX_OK);
  ASSERT_EQ(DAGetHChunker(doc, &chunker), KVX_OK);
  void* p = nullptr;
  ASSERT_EQ(CHLockItemRange(chunker, KVXRANGE_TEXT, 0, 3, &p), KVX_OK);
  EXPECT_EQ(static_cast<uint16_t*>(p)[1], 'b');
  EXPECT_EQ(CHUnlockItemRange(chunker, KVXRANGE_TEXT, 1), KVXERR_BADPARAM);  // never locked
  EXPECT_EQ(DACloseDocument(doc), KVXERR_BADPARAM);  // closed all the same
  EXPECT_EQ(CHGetItemCount(chunker, 0, nullptr), KVXERR_BADHANDLE);
}

}  // namespace
}  // namespace kvx::test
