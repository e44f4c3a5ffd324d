// Sorting the result list: each kind by its own comparison, stability, the direction
// flags that flip at every use, and dates by time with unknown dates last.
#include <gtest/gtest.h>

#include "desktop/search/hit_sort.h"

namespace qm {
namespace {

HitRow row(const char* caption, const char* name, const char* times, const char* title,
           const char* date, const char* sender = " ") {
  HitRow r;
  r.caption = caption;
  r.sub[kSubName] = name;
  r.sub[kSubTimes] = times;
  r.sub[kSubTitle] = title;
  r.sub[kSubDate] = date;
  r.sub[kSubSender] = sender;
  return r;
}

std::string captions(const std::vector<HitRow>& rows) {
  std::string s;
  for (const HitRow& r : rows) s += r.caption + " ";
  return s;
}

std::vector<HitRow> sample() {
  return {row("1", "beta.txt", "5", "Tea", "2001/03/05 AM 10:00", "Ann"),
          row("2", "Alpha.txt", "12", "tea", "?\?\?\?/?\?/?\?", "bob"),
          row("10", "alpha.txt", "5", "Coffee", "2001/03/05 PM 01:00", "ann"),
          row("3", "gamma.txt", "40", "", "2000/12/31", "Carl")};
}

TEST(HitSort, EachKindInBothDirections) {
  const struct {
    int kind;
    const char* ascending;
    const char* descending;
  } cases[] = {
      {kSortNumber, "1 2 3 10 ", "10 3 2 1 "},             // as numbers, not text
      {kSortName, "2 10 1 3 ", "3 1 10 2 "},               // case-blind, then bytes
      {kSortTimes, "1 10 2 3 ", "3 2 1 10 "},              // equal counts keep their order
      {kSortTitle, "3 10 1 2 ", "2 1 10 3 "},              // "Tea" < "tea" by bytes
      {kSortDate, "3 1 10 2 ", "10 1 3 2 "},               // by time; unknown last both ways
      {kSortSender, "1 10 2 3 ", "3 2 10 1 "},
  };
  for (const auto& c : cases) {
    std::vector<HitRow> rows = sample();
    SortHitRows(rows, c.kind, true);
    EXPECT_EQ(captions(rows), c.ascending) << "kind " << c.kind;
    rows = sample();
    SortHitRows(rows, c.kind, false);
    EXPECT_EQ(captions(rows), c.descending) << "kind " << c.kind;
  }
}

TEST(HitSort, DateKeys) {
  EXPECT_FALSE(HitDateKey("?\?\?\?/?\?/?\?").has_value());
  EXPECT_FALSE(HitDateKey(" ").has_value());
  EXPECT_FALSE(HitDateKey("").has_value());
  ASSERT_TRUE(HitDateKey("2001/03/05").has_value());
  EXPECT_LT(*HitDateKey("2001/03/05 AM 12:30"), *HitDateKey("2001/03/05 AM 01:00"));
  EXPECT_LT(*HitDateKey("2001/03/05 AM 11:59"), *HitDateKey("2001/03/05 PM 12:00"));
  EXPECT_LT(*HitDateKey("2001/03/05 PM 11:59"), *HitDateKey("2001/03/06"));
  EXPECT_LT(*HitDateKey("1999/12/31"), *HitDateKey("2000/01/01"));
}

TEST(HitSort, DirectionsFlipAtEveryUse) {
  SortDirections d;
  EXPECT_FALSE(d.take(kSortTitle));  // starts descending
  EXPECT_TRUE(d.take(kSortTitle));
  EXPECT_FALSE(d.take(kSortTitle));
  EXPECT_FALSE(d.take(kSortName));   // each kind has its own flag
  d.set_all(true);
  for (int k = 1; k <= 6; ++k) EXPECT_TRUE(d.ascending(k));
  d.set(kSortTimes, false);
  EXPECT_FALSE(d.take(kSortTimes));
  EXPECT_TRUE(d.ascending(kSortTimes));
  EXPECT_EQ(CompareHitRows(sample()[0], sample()[1], 9), 0);  // unknown kind
}

TEST(HitSort, NoRowsAndMissingValues) {
  std::vector<HitRow> none;
  SortHitRows(none, kSortName, true);
  EXPECT_TRUE(none.empty());
  // Missing texts count as empty and go first ascending.
  std::vector<HitRow> rows = {row("1", "b", "", "", ""), row("2", "", "", "", "")};
  SortHitRows(rows, kSortName, true);
  EXPECT_EQ(captions(rows), "2 1 ");
}

}  // namespace
}  // namespace qm
