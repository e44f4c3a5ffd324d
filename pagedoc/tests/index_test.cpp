// The index stream in-process: the typed fixture against the writer and the reader,
// the six page-object lists, the keyword record and its bounds, the choice of streams
// in the directory, the note block, and the temporary copies of packed streams.
#include <gtest/gtest.h>

#include "pagedoc/note_struct.h"
#include "pagedoc/pgx_document.h"
#include "pagedoc/pgx_format.h"
#include "pagedoc/pgx_index.h"
#include "pagedoc/tests/fixtures.h"
#include "pagedoc/tests/pgx_writer.h"
#include "pagedoc/tests/test_dir.h"
#include "platform/le.h"

namespace qm::pgx {
namespace {

using test::DocSpec;
using test::IndexItem;
using test::IndexSpec;
using test::PageWriter;

std::string u16(uint16_t v) {
  std::string s;
  le::append16(s, v);
  return s;
}

std::string fixture_stream() {
  std::string f(test::kIndexFixture.begin(), test::kIndexFixture.end());
  return f.substr(test::kIndexFixtureStreamAt, test::kIndexFixtureStreamSize);
}

void expect_objects(const PgxPageObjects& got, const IndexSpec& want) {
  EXPECT_EQ(got.bookmarks(), want.bookmarks);
  EXPECT_EQ(got.highlights(), want.highlights);
  EXPECT_EQ(got.hyperlinks(), want.hyperlinks);
  EXPECT_EQ(got.hypertexts(), want.hypertexts);
  EXPECT_EQ(got.index_terms(), want.index_terms);
  EXPECT_EQ(got.notes(), want.notes);
}

std::string text_of(const std::string& record, const KeywordLayout::Span& s) { return record.substr(s.at, s.length); }

std::vector<std::string> keywords_of(const std::string& record, const KeywordLayout& layout) {
  std::vector<std::string> out;
  for (const auto& k : layout.keywords) out.push_back(text_of(record, k));
  return out;
}

PgxNote note(const std::string& title, const std::string& text, int page) {
  PgxNote n;
  n.title = title;
  n.text = text;
  n.page = page;
  return n;
}

class PagedocIndex : public test::ScratchTest {
 protected:
  // A plain document of `pages` empty pages with these further streams.
  std::string write_doc(const std::string& name, int pages, const std::vector<test::Stream>& extra,
                        bool packed = false) {
    DocSpec spec;
    spec.packed = packed;
    for (int i = 0; i < pages; ++i) spec.pages.push_back(PageWriter().end().bytes());
    spec.extra = extra;
    return write(name, test::write_pgx(spec).bytes);
  }
};

TEST_F(PagedocIndex, WriterIndexStreamMatchesTheTypedFixture) {
  IndexSpec o = test::index_fixture_objects();
  std::string written = test::index_stream(std::vector<IndexItem>{
      {std::string(kItemBookmarks), test::bookmarks_item(o.bookmarks)},
      {std::string(kItemHighlights), test::highlights_item(o.highlights)},
      {std::string(kItemHyperlinks), test::hyperlinks_item(o.hyperlinks)},
      {std::string(kItemHypertexts), test::hypertexts_item(o.hypertexts)},
      {std::string(kItemIndexEntries), test::index_terms_item(o.index_terms)},
      {"ZZZZZZ", ""},
      {std::string(kItemNotes), test::notes_item(o.notes)},
      {std::string(kItemExtra), test::extra_item(test::index_fixture_extra_records())},
  });
  EXPECT_EQ(written, fixture_stream());
}

TEST_F(PagedocIndex, ReadsPageObjectsAndKeywordsOfDocuments) {
  IndexSpec objects = test::index_fixture_objects();
  std::string typed(test::kIndexFixture.begin(), test::kIndexFixture.end());
  struct Case {
    const char* name;
    std::string path;
  } cases[] = {
      {"typed fixture", write("typed.pgx", typed)},
      {"typed stream stored packed", write_doc("packed.pgx", 3, {{"indx", fixture_stream(), true}}, true)},
      {"written stream", write_doc("written.pgx", 3, {{"indx", test::index_stream(objects), false}})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PgxDocument doc;
    ASSERT_TRUE(doc.open(c.path)) << doc.error();
    size_t working_copies = dir.temp_files().size();
    PgxPageObjects store;
    store.load(doc);
    EXPECT_EQ(dir.temp_files().size(), working_copies) << "the index copy is removed after loading";
    expect_objects(store, objects);
    auto titles = [&](int page) {
      std::vector<std::string> t;
      for (const PgxNote* n : store.notes_of_page(page)) t.push_back(n->title);
      return t;
    };
    EXPECT_EQ(titles(1), std::vector<std::string>{"First"});
    EXPECT_EQ(titles(2), std::vector<std::string>{});
    EXPECT_EQ(titles(3), (std::vector<std::string>{"Second", ""}));

    std::string record;
    KeywordLayout layout;
    ASSERT_TRUE(load_keyword_record(doc, record, layout));
    EXPECT_EQ(text_of(record, layout.id), test::kIndexId);
    EXPECT_EQ(keywords_of(record, layout), test::kIndexKeywords);
    EXPECT_EQ(dir.temp_files().size(), working_copies) << "no keyword copy is left behind";
    store.release();
    EXPECT_TRUE(store.notes().empty());
  }
}

TEST_F(PagedocIndex, PageObjectListsStayWithinTheStream) {
  std::vector<PgxNote> three = {note("a", "one", 1), note("b", "two", 1), note("c", "three", 2)};
  std::string notes = test::notes_item(three);
  auto with_notes = [](const std::string& item) { return test::index_stream({{std::string(kItemNotes), item}}); };
  std::string full = with_notes(notes);
  std::string count1000 = notes;
  le::put16(reinterpret_cast<unsigned char*>(count1000.data()) + kItemRecordCountAt, 1000);
  std::string long_title = notes;
  long_title.replace(kItemHeaderSize, 2, u16(60000));  // the first title runs past the end
  std::string header_only = test::index_stream(std::vector<IndexItem>{});
  le::put16(reinterpret_cast<unsigned char*>(header_only.data()) + kIndexEntryCountAt, 5);
  std::string far_item = full;
  le::put32(reinterpret_cast<unsigned char*>(far_item.data()) + kIndexHeaderSize + kIndexOffsetAt, 1u << 30);
  std::string many_entries = full;
  le::put16(reinterpret_cast<unsigned char*>(many_entries.data()) + kIndexEntryCountAt, 60000);
  // Record a takes 56 bytes; the cut falls inside record b's text.
  size_t inside_b = kIndexHeaderSize + kIndexEntrySize + kItemHeaderSize + 56 + 6;

  struct Case {
    const char* name;
    std::string stream;
    std::vector<std::string> titles;
  } cases[] = {
      {"whole item", full, {"a", "b", "c"}},
      {"empty stream", "", {}},
      {"header cut short", full.substr(0, kIndexHeaderSize - 1), {}},
      {"entry count with no entries", header_only, {}},
      {"item past the end", far_item, {}},
      {"third record cut short", full.substr(0, full.size() - 1), {"a", "b"}},
      {"second record cut in its text", full.substr(0, inside_b), {"a"}},
      {"record count above the records", with_notes(count1000), {"a", "b", "c"}},
      {"text length past the end", with_notes(long_title), {}},
      {"entry count past the end", many_entries, {"a", "b", "c"}},
      {"a second notes item replaces the first",
       test::index_stream({{std::string(kItemNotes), notes},
                           {std::string(kItemNotes), test::notes_item({note("z", "last", 1)})}}),
       {"z"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PgxPageObjects store;
    store.load_stream(c.stream);
    std::vector<std::string> titles;
    for (const PgxNote& n : store.notes()) titles.push_back(n.title);
    EXPECT_EQ(titles, c.titles);
    for (size_t i = 0; i < store.notes().size(); ++i) EXPECT_EQ(store.notes()[i].position, int(i));
  }
}

TEST_F(PagedocIndex, KeywordRecordIsFoundInTheFirstExtraItem) {
  auto xitem = [](const std::vector<std::pair<std::string, std::string>>& records) {
    return IndexItem{std::string(kItemExtra), test::extra_item(records)};
  };
  std::string rec_a = test::keyword_record("A", {"one"});
  std::string rec_b = test::keyword_record("B", {"two"});
  std::string cut_entries = test::index_stream({xitem({{"KEYWOD", rec_a}})});
  cut_entries.resize(cut_entries.size() - rec_a.size() - 4);  // ends inside the entry table
  std::string long_entry = test::index_stream({xitem({{"KEYWOD", rec_a}})});
  long_entry.replace(long_entry.size() - rec_a.size() - 4, 4, std::string("\xFF\x00\x00\x00", 4));

  struct Case {
    const char* name;
    std::string stream;
    bool found;
    std::string id;
  } cases[] = {
      {"typed fixture: the record comes third", fixture_stream(), true, test::kIndexId},
      {"no extra item", test::index_stream({{std::string(kItemNotes), test::notes_item({note("t", "x", 1)})}}),
       false, ""},
      {"no keyword record", test::index_stream({xitem({{"OTHER ", "abc"}})}), false, ""},
      {"first of two records", test::index_stream({xitem({{"KEYWOD", rec_a}, {"KEYWOD", rec_b}})}), true, "A"},
      {"first of two extra items", test::index_stream({xitem({{"KEYWOD", rec_a}}), xitem({{"KEYWOD", rec_b}})}),
       true, "A"},
      {"only the first extra item is searched",
       test::index_stream({xitem({{"OTHER ", "x"}}), xitem({{"KEYWOD", rec_b}})}), false, ""},
      {"record length past the end", long_entry, false, ""},
      {"entry table past the end", cut_entries, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string record;
    ASSERT_EQ(find_keyword_record(c.stream, record), c.found);
    if (!c.found) continue;
    KeywordLayout layout;
    ASSERT_TRUE(parse_keyword_record(record, layout));
    EXPECT_EQ(text_of(record, layout.id), c.id);
  }
}

TEST_F(PagedocIndex, KeywordLengthsAreCheckedAgainstTheRecord) {
  std::string long_id(300, 'i');
  std::vector<std::string> many;
// GCC 12 warns falsely (-Wrestrict, GCC bug 105329) about the string copies it inlines here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
  for (int i = 0; i < 130; ++i) many.push_back("k" + std::to_string(i));
#pragma GCC diagnostic pop
  many.push_back(std::string(200, 'w'));
  std::string good = test::keyword_record("ID", {"ab", "cde"});
  struct Case {
    const char* name;
    std::string record;
    bool ok;
    std::string id;
    std::vector<std::string> keywords;
  } cases[] = {
      {"two keywords", good, true, "ID", {"ab", "cde"}},
      {"bytes after the last keyword", good + "tail", true, "ID", {"ab", "cde"}},
      {"empty ID, no keywords", test::keyword_record("", {}), true, "", {}},
      // Lengths and the count are whole u16 values: 128 and more are not cut to a byte.
      {"ID of 300 bytes, 131 keywords, one of 200 bytes", test::keyword_record(long_id, many), true, long_id, many},
      {"ID length past the record", good.substr(0, 3), false, "", {}},
      {"gap cut short", good.substr(0, 2 + 2 + 5), false, "", {}},
      {"keyword past the record", good.substr(0, good.size() - 1), false, "", {}},
      {"count above the keywords", good.substr(0, 12) + u16(3) + good.substr(14), false, "", {}},
      {"empty record", "", false, "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    KeywordLayout layout;
    ASSERT_EQ(parse_keyword_record(c.record, layout), c.ok);
    if (!c.ok) {
      EXPECT_TRUE(layout.keywords.empty());
      continue;
    }
    EXPECT_EQ(text_of(c.record, layout.id), c.id);
    EXPECT_EQ(keywords_of(c.record, layout), c.keywords);
  }
}

TEST_F(PagedocIndex, DirectoryChoosesTheStreams) {
  auto notes_stream = [](const PgxNote& n) { return test::index_stream({{std::string(kItemNotes), test::notes_item({n})}}); };
  std::string first = notes_stream(note("first", "1", 1));
  std::string second = notes_stream(note("second", "2", 1));
  std::string thumbs = u16(2) + "AAAAAAAABBBBBBBB";
  std::string broken_pack = test::pack_bytes(first);
  broken_pack[kPackHeaderSize + 1] = 9;  // dictionary size byte
  struct Case {
    const char* name;
    std::vector<test::Stream> streams;
    std::vector<std::string> titles;
    int thumbs;
    bool mark_first_packed = false;  // the first further stream is stored as given but marked packed
  } cases[] = {
      {"first of two index streams", {{"indx", first, false}, {"indx", second, false}}, {"first"}, 0},
      {"packed index stream", {{"indx", first, true}}, {"first"}, 0},
      {"index stream that cannot be unpacked", {{"indx", broken_pack, false}}, {}, 0, true},
      {"empty index stream", {{"indx", "", false}, {"indx", second, false}}, {}, 0},
      {"no index stream", {{"stru", first, false}}, {}, 0},
      {"last of two thumbnail tables", {{"thum", u16(9), false}, {"thum", thumbs, false}}, {}, 2},
      {"thumbnail table cut short", {{"thum", thumbs.substr(0, 12), false}}, {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DocSpec spec;
    spec.pages = {PageWriter().end().bytes()};
    spec.extra = c.streams;
    test::Written w = test::write_pgx(spec);
    if (c.mark_first_packed)  // after the page table and the info table
      le::put32(reinterpret_cast<unsigned char*>(w.bytes.data()) + kHeaderSize + 2 * kDirEntrySize + kDirPackedAt, 1);
    PgxDocument doc;
    ASSERT_TRUE(doc.open(write("d.pgx", w.bytes))) << doc.error();
    PgxPageObjects store;
    store.load(doc);
    std::vector<std::string> titles;
    for (const PgxNote& n : store.notes()) titles.push_back(n.title);
    EXPECT_EQ(titles, c.titles);
    EXPECT_EQ(store.thumb_count(), c.thumbs);
    std::string record;
    KeywordLayout layout;
    EXPECT_FALSE(load_keyword_record(doc, record, layout));
    EXPECT_TRUE(dir.temp_files().empty());
  }
}

TEST_F(PagedocIndex, NoteBlockHoldsOnePagesNotes) {
  IndexSpec o = test::index_fixture_objects();
  NoteStruct block;
  ASSERT_TRUE(block.build({&o.notes[1], &o.notes[2]}));
  EXPECT_EQ(block.count(), 2);
  // count, two 16-byte entries, then each title and text with a NUL
  EXPECT_EQ(block.size(), 4 + 2 * 16 + (6 + 4 + 2) + (0 + 8 + 2u));
  EXPECT_EQ(block.title(0), "Second");
  EXPECT_EQ(block.text(0), "\xA4\xA4\xA4\xE5");  // Big5 中文
  EXPECT_EQ(block.title(1), "");
  EXPECT_EQ(block.text(1), "untitled");
  EXPECT_EQ(block.text(1).data()[8], '\0');
  EXPECT_FALSE(block.build({}));
  EXPECT_FALSE(block.loaded());
}

}  // namespace
}  // namespace qm::pgx
