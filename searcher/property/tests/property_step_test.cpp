// Property values, grouping, range filter and sort of the hits, and the search by
// property alone, over fixture databases with known dates: property.db in the index
// writer's 4-byte form, in the desktop's 232-byte record form (written here by hand),
// missing, and of a size that fits neither.
#include "searcher/property/property_step.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/fatal.h"
#include "platform/le.h"
#include "searcher/property/property_file.h"
#include "searcher/query_evaluate.h"
#include "searcher/query_parser.h"
#include "searcher/tests/search_fixture.h"

// GCC 12 warns falsely (-Wrestrict, GCC bug 105329) about string concatenations that it
// inlines in this file.
#pragma GCC diagnostic ignored "-Wrestrict"

namespace qm {
namespace {

struct Date {
  int32_t year, month, day;
};

// property.db as the desktop writes it: one 232-byte DocPropertyRecord per document.
void write_desktop_property(const std::string& directory, const std::vector<Date>& dates) {
  std::string bytes;
  for (size_t i = 0; i < dates.size(); ++i) {
    unsigned char r[232] = {};
    const std::string path = "C:\\docs\\doc" + std::to_string(i) + ".htm";
    std::copy(path.begin(), path.end(), r + 4);
    le::put16(r + 204, 3);  // size in kilobytes
    le::put32(r + 208, uint32_t(dates[i].year));
    le::put32(r + 212, uint32_t(dates[i].month));
    le::put32(r + 216, uint32_t(dates[i].day));
    le::put32(r + 220, 11);  // hour
    le::put32(r + 224, 30);  // minute
    std::copy_n("PM", 2, r + 228);
    bytes.append(reinterpret_cast<const char*>(r), sizeof r);
  }
  std::ofstream(directory + "property.db", std::ios::binary | std::ios::trunc) << bytes;
}

// A database of documents with these dates, each holding these words.
std::vector<IndexDocument> dated_documents(const std::vector<int32_t>& dates,
                                           const std::vector<std::string>& texts) {
  std::vector<IndexDocument> documents;
  for (size_t i = 0; i < dates.size(); ++i) {
    IndexDocument d = test::make_document(i, {texts[i]});
    d.date = dates[i];
    documents.push_back(d);
  }
  return documents;
}

// Databases of the fixture, by id.
enum : uint16_t { kValues = 1, kRecords = 2, kNoFile = 3, kOddSize = 4, kAlias = 5, kUnknown = 7 };
// kAlias names the directory of kValues under a second id.

class PropertyStep : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    // Index writer's form: one i32 yyyymmdd per document.
    values_ = {kValues, dir_->path() + "values/"};
    ASSERT_TRUE(test::write_database(
        values_.work_dir,
        dated_documents({20001231, 20010101, 20010615, 20010615, 20011231, 20020101},
                        {"apple", "apple pear", "apple", "pear", "apple", "apple"})));
    // Desktop's form: the index writer's file replaced by 232-byte records.
    records_ = {kRecords, dir_->path() + "records/"};
    ASSERT_TRUE(test::write_database(records_.work_dir,
                                     dated_documents({1, 1, 1, 1, 1}, {"apple", "apple", "apple", "apple", "apple"})));
    write_desktop_property(records_.work_dir,
                           {{2001, 6, 15}, {2001, 3, 1}, {2001, 3, 1}, {2002, 2, 2}, {1999, 12, 31}});
    // No property.db at all.
    no_file_ = {kNoFile, dir_->path() + "nofile/"};
    ASSERT_TRUE(test::write_database(no_file_.work_dir, dated_documents({20010101, 20010101}, {"apple", "apple"})));
    std::filesystem::remove(no_file_.work_dir + "property.db");
    // A property.db that is neither N x 4 nor N x 232 bytes.
    odd_ = {kOddSize, dir_->path() + "odd/"};
    ASSERT_TRUE(test::write_database(odd_.work_dir, dated_documents({20010101, 20010101}, {"apple", "apple"})));
    std::ofstream(odd_.work_dir + "property.db", std::ios::binary | std::ios::app) << "x";
  }
  static void TearDownTestSuite() { delete dir_; }
  void TearDown() override { fatal_reset(); }

  static std::vector<SearchDatabase> all() { return {values_, records_, no_file_, odd_}; }

  static test::TempDir* dir_;
  static SearchDatabase values_, records_, no_file_, odd_;
};
test::TempDir* PropertyStep::dir_ = nullptr;
SearchDatabase PropertyStep::values_, PropertyStep::records_, PropertyStep::no_file_, PropertyStep::odd_;

// Compact hit for tables: database, document, score, paragraph, bytes 16..19.
struct Hit {
  uint16_t db;
  uint32_t doc;
  uint16_t score = 1;
  int32_t value = 1;
  uint16_t paragraph = 0;
};
HitList to_hits(const std::vector<Hit>& in) {
  HitList out;
  for (const Hit& h : in) {
    HitRecord r;
    r.database = h.db;
    r.document = h.doc;
    r.score = h.score;
    r.hit_count = h.value;
    r.paragraph = h.paragraph;
    out.push_back(r);
  }
  return out;
}
std::string show(const HitList& hits) {
  std::string s;
  for (const HitRecord& h : hits)
    s += "(" + std::to_string(h.database) + "," + std::to_string(h.document) + " s" +
         std::to_string(h.score) + " v" + std::to_string(h.hit_count) + " p" +
         std::to_string(h.paragraph) + ")";
  return s;
}

TEST(PropertyBounds, ReadsTheRangeOfZ) {
  struct Case {
    const char* z;
    int32_t from, to;
  } cases[] = {
      {"20010101,20011231", 20010101, 20011231},
      {"20011231,20010101", 20010101, 20011231},  // swapped
      {"20010101,", 20010101, kPropertyOpenEnd},  // open upper end
      {"20010101,0", 20010101, kPropertyOpenEnd},  // zero upper end is open too
      {"20010305", 20010305, 20010305},           // one value: that value alone
      {",20010305", 0, 20010305},
      {" +15 ,\t 7x", 7, 15},                     // atoi reading: blanks, sign, trailing junk
      {"-5,-1", -5, -1},
      {"abc", 0, 0},
      {"", 0, 0},
      {"3,1,9", 1, 3},                            // the first "," splits (z joined twice)
      {"99999999999,1", 1, INT32_MAX},            // held to 32 bits
      {"-99999999999", INT32_MIN, INT32_MIN},
  };
  for (const Case& c : cases) {
    const PropertyBounds b = property_bounds(c.z);
    EXPECT_EQ(b.from, c.from) << c.z;
    EXPECT_EQ(b.to, c.to) << c.z;
  }
}

// Equal keys keep their order, also in lists long enough for an unstable sort to show.
TEST(PropertySort, EqualKeysKeepTheirOrder) {
  HitList hits;
  for (uint32_t i = 0; i < 200; ++i) {
    HitRecord h;
    h.document = i;
    h.score = uint16_t(i * 7 % 3);
    h.hit_count = int32_t(i * 5 % 4) - 1;
    h.paragraph = uint16_t(i * 3 % 5);
    hits.push_back(h);
  }
  struct Case {
    const char *m, *o;
    int key;        // 0 none, 1 score, 2 value, 3 paragraph
    bool ascending;
  } cases[] = {{"0", "1", 1, true}, {"0", "2", 1, false}, {"0", "3", 2, true}, {"0", "4", 2, false},
               {"0", "5", 3, true}, {"0", "0", 0, true},  {"0", "6", 0, true}, {"1", "3", 1, false}};
  for (const Case& c : cases) {
    HitList sorted = hits;
    hits_sort(sorted, property_request("", c.m, c.o));
    auto key = [&c](const HitRecord& h) -> int64_t {
      const int64_t k = c.key == 1 ? h.score : c.key == 2 ? h.hit_count : c.key == 3 ? h.paragraph : 0;
      return c.ascending ? k : -k;
    };
    ASSERT_EQ(sorted.size(), hits.size());
    for (size_t i = 1; i < sorted.size(); ++i) {
      const int64_t a = key(sorted[i - 1]), b = key(sorted[i]);
      EXPECT_TRUE(a < b || (a == b && sorted[i - 1].document < sorted[i].document))
          << "o=" << c.o << " m=" << c.m << " at " << i;
    }
  }
}

TEST_F(PropertyStep, ReadsBothLayoutsOfPropertyDb) {
  // Variants built from copies of the fixture's databases.
  const std::string blind = dir_->path() + "blind/";
  std::filesystem::copy(values_.work_dir, blind);
  std::filesystem::rename(blind + "property.db", blind + "Property.DB");
  const std::string damaged = dir_->path() + "damaged/";
  std::filesystem::copy(records_.work_dir, damaged);
  write_desktop_property(damaged, {{10000, 1, 1}, {2001, -1, 1}, {2001, 1, 100}, {0, 0, 0}, {2004, 2, 29}});
  const std::string no_cross = dir_->path() + "nocross/";
  std::filesystem::copy(records_.work_dir, no_cross);
  std::filesystem::remove(no_cross + "cross.db");
  const std::string short_file = dir_->path() + "short/";
  std::filesystem::copy(values_.work_dir, short_file);
  std::filesystem::resize_file(short_file + "property.db", 5 * 4);  // a document short

  struct Case {
    std::string directory;
    PropertyLayout layout;
    std::vector<PropertyValue> values;
  } cases[] = {
      {values_.work_dir, PropertyLayout::Value, {20001231, 20010101, 20010615, 20010615, 20011231, 20020101}},
      {records_.work_dir, PropertyLayout::Record, {20010615, 20010301, 20010301, 20020202, 19991231}},
      {no_file_.work_dir, PropertyLayout::None, {}},
      {odd_.work_dir, PropertyLayout::None, {}},
      {blind, PropertyLayout::Value, {20001231, 20010101, 20010615, 20010615, 20011231, 20020101}},
      {damaged, PropertyLayout::Record, {0, 0, 0, 0, 20040229}},  // out-of-range fields give 0
      {no_cross, PropertyLayout::None, {}},
      {short_file, PropertyLayout::None, {}},
      {dir_->path() + "absent/", PropertyLayout::None, {}},
  };
  for (const Case& c : cases) {
    const PropertyTable t = property_table_load(c.directory);
    EXPECT_EQ(t.layout, c.layout) << c.directory;
    EXPECT_EQ(t.values, c.values) << c.directory;
    EXPECT_EQ(t.has_values(), !c.values.empty()) << c.directory;
    EXPECT_EQ(t.value(99), 0) << c.directory;  // beyond the file
  }
}

TEST_F(PropertyStep, FiltersGroupsAndSortsHits) {
  // Every hit of the fixture, in database and document order, scores and counts set so
  // that a value that was not replaced shows.
  const std::vector<Hit> every = {
      {kValues, 0, 5, 7}, {kValues, 1, 5, 7}, {kValues, 2, 5, 7}, {kValues, 3, 5, 7},
      {kValues, 4, 5, 7}, {kValues, 5, 5, 7}, {kValues, 9, 5, 7},  // document 9: beyond the file
      {kRecords, 0, 5, 7}, {kRecords, 1, 5, 7}, {kRecords, 2, 5, 7}, {kRecords, 3, 5, 7},
      {kRecords, 4, 5, 7}, {kNoFile, 0, 5, 7}, {kNoFile, 1, 5, 7}};
  const std::vector<Hit> mixed = {{kValues, 0, 1, 3, 4}, {kValues, 1, 3, 9, 2}, {kValues, 2, 1, 8, 0},
                                  {kRecords, 0, 3, 2, 2}, {kNoFile, 1, 2, 6, 1}};
  struct Case {
    const char* name;
    std::vector<Hit> in;
    const char *z, *m, *o;
    std::vector<Hit> out;
  } cases[] = {
      {"nothing asked: list and counts untouched", mixed, "", "0", "0", mixed},
      {"o outside 1..5 keeps the order", mixed, "", "0", "x", mixed},
      {"o=1 score ascending, stable", mixed, "", "0", "1",
       {{kValues, 0, 1, 3, 4}, {kValues, 2, 1, 8, 0}, {kNoFile, 1, 2, 6, 1}, {kValues, 1, 3, 9, 2}, {kRecords, 0, 3, 2, 2}}},
      {"o=2 score descending, stable", mixed, "", "0", "2",
       {{kValues, 1, 3, 9, 2}, {kRecords, 0, 3, 2, 2}, {kNoFile, 1, 2, 6, 1}, {kValues, 0, 1, 3, 4}, {kValues, 2, 1, 8, 0}}},
      {"o=5 paragraph ascending, stable", mixed, "", "0", "5",
       {{kValues, 2, 1, 8, 0}, {kNoFile, 1, 2, 6, 1}, {kValues, 1, 3, 9, 2}, {kRecords, 0, 3, 2, 2}, {kValues, 0, 1, 3, 4}}},
      {"o=3 sets values and sorts them up; none or beyond the file is 0", mixed, "", "0", "3",
       {{kNoFile, 1, 2, 0, 1}, {kValues, 0, 1, 20001231, 4}, {kValues, 1, 3, 20010101, 2},
        {kValues, 2, 1, 20010615, 0}, {kRecords, 0, 3, 20010615, 2}}},
      {"o=4 values down", mixed, "", "0", "4",
       {{kValues, 2, 1, 20010615, 0}, {kRecords, 0, 3, 20010615, 2}, {kValues, 1, 3, 20010101, 2},
        {kValues, 0, 1, 20001231, 4}, {kNoFile, 1, 2, 0, 1}}},
      {"z one year: both layouts filtered, the database without values not", every,
       "20010101,20011231", "0", "0",
       {{kValues, 1, 5, 20010101}, {kValues, 2, 5, 20010615}, {kValues, 3, 5, 20010615},
        {kValues, 4, 5, 20011231}, {kRecords, 0, 5, 20010615}, {kRecords, 1, 5, 20010301},
        {kRecords, 2, 5, 20010301}, {kNoFile, 0, 5, 0}, {kNoFile, 1, 5, 0}}},
      {"z the other way round", every, "20011231,20010101", "0", "0",
       {{kValues, 1, 5, 20010101}, {kValues, 2, 5, 20010615}, {kValues, 3, 5, 20010615},
        {kValues, 4, 5, 20011231}, {kRecords, 0, 5, 20010615}, {kRecords, 1, 5, 20010301},
        {kRecords, 2, 5, 20010301}, {kNoFile, 0, 5, 0}, {kNoFile, 1, 5, 0}}},
      {"z open upper end", every, "20010615,", "0", "0",
       {{kValues, 2, 5, 20010615}, {kValues, 3, 5, 20010615}, {kValues, 4, 5, 20011231},
        {kValues, 5, 5, 20020101}, {kRecords, 0, 5, 20010615}, {kRecords, 3, 5, 20020202},
        {kNoFile, 0, 5, 0}, {kNoFile, 1, 5, 0}}},
      {"z one day", every, "20010301", "0", "0",
       {{kRecords, 1, 5, 20010301}, {kRecords, 2, 5, 20010301}, {kNoFile, 0, 5, 0}, {kNoFile, 1, 5, 0}}},
      {"z with o=4", every, "20010101,20011231", "0", "4",
       {{kValues, 4, 5, 20011231}, {kValues, 2, 5, 20010615}, {kValues, 3, 5, 20010615},
        {kRecords, 0, 5, 20010615}, {kRecords, 1, 5, 20010301}, {kRecords, 2, 5, 20010301},
        {kValues, 1, 5, 20010101}, {kNoFile, 0, 5, 0}, {kNoFile, 1, 5, 0}}},
      {"m=1 three days: one record each, scored by its hits, count descending",
       {{kValues, 1, 5, 7}, {kValues, 2, 9, 7}, {kValues, 3, 5, 7}, {kValues, 4, 5, 7}}, "", "1", "3",
       {{kValues, 2, 2, 20010615}, {kValues, 1, 1, 20010101}, {kValues, 4, 1, 20011231}}},
      {"m=1 across databases: smallest document carries the group; no values: ungrouped", every,
       "", "1", "0",
       {{kNoFile, 0, 5, 0}, {kNoFile, 1, 5, 0},  // ungrouped, their scores kept
        {kRecords, 0, 3, 20010615},              // values 2, 3 and records 0: document 0 wins
        {kRecords, 1, 2, 20010301},
        {kValues, 9, 1, 0},                      // beyond the file: value 0, still grouped
        {kRecords, 4, 1, 19991231}, {kValues, 0, 1, 20001231}, {kValues, 1, 1, 20010101},
        {kValues, 4, 1, 20011231}, {kValues, 5, 1, 20020101}, {kRecords, 3, 1, 20020202}}},
      {"m=1 then z", every, "20010101,20011231", "1", "1",
       {{kNoFile, 0, 5, 0}, {kNoFile, 1, 5, 0}, {kRecords, 0, 3, 20010615},
        {kRecords, 1, 2, 20010301}, {kValues, 1, 1, 20010101}, {kValues, 4, 1, 20011231}}},
      {"m=1 tie on the document: the first in order carries the group",
       {{kValues, 2, 1, 7, 3}, {kAlias, 2, 1, 7, 4}, {kAlias, 3, 1, 7, 5}}, "", "1", "0",
       {{kValues, 2, 3, 20010615, 3}}},
      {"empty list", {}, "20010101,20011231", "1", "3", {}},
  };
  std::vector<SearchDatabase> databases = all();
  databases.push_back({kAlias, values_.work_dir});
  for (const Case& c : cases) {
    HitList hits = to_hits(c.in);
    hits_property_step(hits, databases, property_request(c.z, c.m, c.o));
    EXPECT_EQ(show(hits), show(to_hits(c.out))) << c.name;
  }
}

TEST_F(PropertyStep, UnknownDatabaseFailsOnlyWhenValuesAreRead) {
  HitList hits = to_hits({{kValues, 0}, {kUnknown, 0}});
  EXPECT_FALSE(hits_property_step(hits, all(), property_request("", "0", "3")));
  HitList sorted = to_hits({{kUnknown, 0, 1}, {kValues, 0, 2}});
  EXPECT_TRUE(hits_property_step(sorted, all(), property_request("", "0", "2")));
  EXPECT_EQ(show(sorted), show(to_hits({{kValues, 0, 2}, {kUnknown, 0, 1}})));
}

TEST_F(PropertyStep, SearchesByPropertyAlone) {
  struct Case {
    const char* name;
    std::vector<SearchDatabase> databases;
    const char *z, *m, *o;
    std::vector<Hit> out;
  } cases[] = {
      {"one year in every database, score 0", all(), "20010101,20011231", "0", "0",
       {{kValues, 1, 0, 20010101}, {kValues, 2, 0, 20010615}, {kValues, 3, 0, 20010615},
        {kValues, 4, 0, 20011231}, {kRecords, 0, 0, 20010615}, {kRecords, 1, 0, 20010301},
        {kRecords, 2, 0, 20010301}}},
      {"the other way round, databases in request order", {records_, values_}, "20011231,20010101", "0", "0",
       {{kRecords, 0, 0, 20010615}, {kRecords, 1, 0, 20010301}, {kRecords, 2, 0, 20010301},
        {kValues, 1, 0, 20010101}, {kValues, 2, 0, 20010615}, {kValues, 3, 0, 20010615},
        {kValues, 4, 0, 20011231}}},
      {"one day", all(), "20010615", "0", "0",
       {{kValues, 2, 0, 20010615}, {kValues, 3, 0, 20010615}, {kRecords, 0, 0, 20010615}}},
      {"from a day on", all(), "20020101,", "0", "0", {{kValues, 5, 0, 20020101}, {kRecords, 3, 0, 20020202}}},
      {"sorted by value down", all(), "20010101,20011231", "0", "4",
       {{kValues, 4, 0, 20011231}, {kValues, 2, 0, 20010615}, {kValues, 3, 0, 20010615},
        {kRecords, 0, 0, 20010615}, {kRecords, 1, 0, 20010301}, {kRecords, 2, 0, 20010301},
        {kValues, 1, 0, 20010101}}},
      {"m=1 does not group here", {values_}, "20010615", "1", "4",
       {{kValues, 2, 0, 20010615}, {kValues, 3, 0, 20010615}}},
      {"no usable property.db", {no_file_, odd_}, "0,", "0", "0", {}},
      {"no databases", {}, "20010101,20011231", "0", "0", {}},
  };
  for (const Case& c : cases) {
    const HitList hits = search_by_property(c.databases, property_request(c.z, c.m, c.o));
    EXPECT_EQ(show(hits), show(to_hits(c.out))) << c.name;
  }
}

TEST_F(PropertyStep, RunsAsTheEvaluationsHook) {
  std::string expression = "apple";
  ASSERT_TRUE(query_parse(expression));
  const std::vector<SearchDatabase> databases = {values_, records_, no_file_};
  SearchHooks hooks;
  hooks.property_step = property_step_hook(databases, property_request("20010101,20011231", "0", "3"));
  const HitList hits = search_expression(expression, databases, {}, hooks);
  // apple is in values 0, 1, 2, 4, 5, every record document and both of no_file.
  EXPECT_EQ(show(hits), show(to_hits({{kNoFile, 0, 1, 0}, {kNoFile, 1, 1, 0}, {kValues, 1, 1, 20010101},
                                      {kRecords, 1, 1, 20010301}, {kRecords, 2, 1, 20010301},
                                      {kValues, 2, 1, 20010615}, {kRecords, 0, 1, 20010615},
                                      {kValues, 4, 1, 20011231}})));
}

}  // namespace
}  // namespace qm
