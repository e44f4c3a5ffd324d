// The result list's sort kinds and comparators (see hit_sort.h).
#include "desktop/search/hit_sort.h"

#include <algorithm>
#include <cstdio>

namespace qm {
namespace {

int sign(long long v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

unsigned char lower_ascii(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

// ASCII case-blind, then by bytes, so the order is total and stable across runs.
int compare_text(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = lower_ascii(static_cast<unsigned char>(a[i]));
    const unsigned char y = lower_ascii(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return sign(a.compare(b));
}

// The leading decimal number of a text (blanks skipped, a "-" sign kept); 0 for none.
long long number_of(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (v < (1LL << 58)) v = v * 10 + (text[i] - '0');
  }
  return negative ? -v : v;
}

const std::string& key_of(const HitRow& row, int kind) {
  static const std::string empty;
  switch (kind) {
    case kSortNumber: return row.caption;
    case kSortName: return row.sub[kSubName];
    case kSortTimes: return row.sub[kSubTimes];
    case kSortTitle: return row.sub[kSubTitle];
    case kSortDate: return row.sub[kSubDate];
    case kSortSender: return row.sub[kSubSender];
    default: return empty;
  }
}

}  // namespace

std::optional<long long> HitDateKey(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  const std::string s(text);
  int y = 0, mo = 0, d = 0, consumed = 0;
  if (std::sscanf(s.c_str(), "%4d/%2d/%2d%n", &y, &mo, &d, &consumed) != 3) return std::nullopt;
  if (y < 0 || mo < 1 || mo > 12 || d < 1 || d > 31) return std::nullopt;
  long long minutes = 0;
  char half[3] = {};
  int h = 0, mi = 0;
  if (std::sscanf(s.c_str() + consumed, " %2[AMP] %2d:%2d", half, &h, &mi) == 3 && h >= 1 &&
      h <= 12 && mi >= 0 && mi < 60) {
    const int hour24 = (h % 12) + (half[0] == 'P' ? 12 : 0);
    minutes = hour24 * 60 + mi;
  }
  return ((static_cast<long long>(y) * 100 + mo) * 100 + d) * 1440 + minutes;
}

int CompareHitRows(const HitRow& a, const HitRow& b, int kind) {
  switch (kind) {
    case kSortNumber:
    case kSortTimes:
      return sign(number_of(key_of(a, kind)) - number_of(key_of(b, kind)));
    case kSortName:
    case kSortTitle:
    case kSortSender:
      return compare_text(key_of(a, kind), key_of(b, kind));
    case kSortDate: {
      const auto x = HitDateKey(a.sub[kSubDate]);
      const auto y = HitDateKey(b.sub[kSubDate]);
      if (x && y) return sign(*x - *y);
      if (x || y) return x ? -1 : 1;  // unknown dates after known ones
      return compare_text(a.sub[kSubDate], b.sub[kSubDate]);
    }
    default:
      return 0;
  }
}

std::vector<size_t> HitSortOrder(const std::vector<HitRow>& rows, int kind, bool ascending) {
  std::vector<size_t> order(rows.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
    const HitRow& a = rows[x];
    const HitRow& b = rows[y];
    if (kind == kSortDate && !ascending) {
      const bool ka = HitDateKey(a.sub[kSubDate]).has_value();
      const bool kb = HitDateKey(b.sub[kSubDate]).has_value();
      if (ka != kb) return ka;  // known dates stay ahead of unknown ones
    }
    const int c = CompareHitRows(a, b, kind);
    return ascending ? c < 0 : c > 0;
  });
  return order;
}

void SortHitRows(std::vector<HitRow>& rows, int kind, bool ascending) {
  const std::vector<size_t> order = HitSortOrder(rows, kind, ascending);
  std::vector<HitRow> sorted;
  sorted.reserve(rows.size());
  for (size_t i : order) sorted.push_back(std::move(rows[i]));
  rows = std::move(sorted);
}

bool SortDirections::take(int kind) {
  if (kind < 1 || kind > 6) return true;
  const bool up = flags_[size_t(kind - 1)];
  flags_[size_t(kind - 1)] = !up;
  return up;
}

bool SortDirections::ascending(int kind) const {
  return kind >= 1 && kind <= 6 && flags_[size_t(kind - 1)];
}

void SortDirections::set(int kind, bool ascending) {
  if (kind >= 1 && kind <= 6) flags_[size_t(kind - 1)] = ascending;
}

void SortDirections::set_all(bool ascending) { flags_.fill(ascending); }

}  // namespace qm
