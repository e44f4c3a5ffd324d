// HitRecord: the 20-byte record of one hit, the unit of every result list and of the
// keyword cache files (keyword_cache.h), with the combinations of the boolean operators
// and the collapse to one record per document that the evaluation (query_evaluate.h)
// applies. Lists are ordered by database id, then document (then paragraph, position).
//
// Stored layout, little-endian: u16 database id, 2 bytes not used, u32 document, u16
// paragraph, u16 position, u16 score, 2 bytes not used, i32 hit count (the property
// value once the property step has run).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

inline constexpr size_t kHitRecordSize = 20;
inline constexpr uint16_t kNoPosition = 0xFFFF;  // English hits carry no byte position

struct HitRecord {
  uint16_t database = 0;
  uint32_t document = 0;
  uint16_t paragraph = 0;
  uint16_t position = 0;
  uint16_t score = 0;
  int32_t hit_count = 0;  // later the document's property value

  bool operator==(const HitRecord&) const = default;
};

using HitList = std::vector<HitRecord>;

// Scores and hit counts add up without wrapping: they stop at their largest value.
inline uint16_t score_add(uint16_t a, uint32_t b) {
  const uint32_t sum = uint32_t(a) + b;
  return sum > 0xFFFF ? uint16_t(0xFFFF) : uint16_t(sum);
}
inline int32_t hit_count_add(int32_t a, int32_t b) {
  const int64_t sum = int64_t(a) + int64_t(b);
  if (sum > INT32_MAX) return INT32_MAX;
  if (sum < INT32_MIN) return INT32_MIN;
  return int32_t(sum);
}

// Byte form of a list (n x 20 bytes) and back. Decoding needs a whole number of records.
void hits_encode(const HitList& hits, std::string& out);
bool hits_decode(std::string_view bytes, HitList& out);

// Combines two lists by an operator: '&' same paragraph, '*' same document, '-' and not
// (every left record of a document that occurs on the right is dropped), anything else
// or. Both inputs are consumed; the result is ordered like them.
HitList hits_combine(HitList left, HitList right, char op);

// Runs of records of one database and document become one record carrying the fields of
// the run's last record and the sum of the run's scores.
void hits_collapse_documents(HitList& hits);

}  // namespace qm
