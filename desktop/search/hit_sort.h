// Sorting the result list: six kinds (hit number, name, occurrences, title, date, sender),
// each with a direction flag that flips at every use, and three-way comparators for a
// stable sort. Text kinds compare ASCII case-blind first, then by bytes; numbers as
// decimal integers; the date by the time it stands for, dates that are not known after
// the known ones whichever the direction. Plain C++ over hit_lines.h; used by the main
// window's sort commands; tests in tests/hit_sort_test.cpp.
#pragma once
#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "desktop/search/hit_lines.h"

namespace qm {

enum HitSortKind : int {
  kSortNumber = 1,  // caption, column 0
  kSortName = 2,    // sub-item 0, column 1
  kSortTimes = 3,   // sub-item 1, column 2
  kSortTitle = 4,   // sub-item 2, column 3
  kSortDate = 5,    // sub-item 3, column 4
  kSortSender = 6,  // sub-item 4, column 5
};

// The time a date text of the list stands for, as a number that orders like the time:
// "yyyy/mm/dd" or "yyyy/mm/dd AM|PM hh:mm"; nullopt for anything else ("????/??/??", "").
std::optional<long long> HitDateKey(std::string_view text);

// Negative when a goes before b in ascending order, positive when after, 0 when equal.
// An unknown kind gives 0.
int CompareHitRows(const HitRow& a, const HitRow& b, int kind);

// Stable sort of rows by kind; descending reverses the order of unequal rows, except
// that unknown dates stay last.
void SortHitRows(std::vector<HitRow>& rows, int kind, bool ascending);
// The same order as positions: element i is the old position of the row that goes to i.
std::vector<size_t> HitSortOrder(const std::vector<HitRow>& rows, int kind, bool ascending);

// The six direction flags: true means the next sort of the kind is ascending. All false
// at creation.
class SortDirections {
 public:
  // The direction of this use of kind, flipping its flag for the next use.
  bool take(int kind);
  bool ascending(int kind) const;
  void set(int kind, bool ascending);
  void set_all(bool ascending);

 private:
  std::array<bool, 6> flags_{};
};

}  // namespace qm
