// The property step of the searcher: after the boolean evaluation has left one HitRecord
// per document (query_evaluate.h), the hits get their documents' property values (a
// date as yyyymmdd, from property.db through property_file.h), may be grouped by value
// (request value m "1") and restricted to a range of values (z), and are sorted (o).
// A request without keywords lists the documents whose value lies in the range z.
//
// The request driver uses this header alone:
//   keyword road:  hooks.property_step = property_step_hook(databases, request);
//                  then search_expression / query_evaluate with those hooks;
//   no keywords:   hits = search_by_property(databases, request);
// with request = property_request(z, m, o) and databases the ones searched.
//
// Whether z filters and m groups is decided per database: only hits of a database with
// property values are grouped and filtered; the others pass as they are. Once the step
// runs, bytes 16..19 of every hit hold its property value, 0 when its document has none
// (no usable property.db, or a document beyond the file).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "searcher/hits.h"
#include "searcher/search_options.h"

namespace qm {

inline constexpr int32_t kPropertyOpenEnd = 100000000;  // an open or zero upper end
inline constexpr char kDatabaseIdError[] = "Database ID error !!";

// The request values the step works from.
struct PropertyRequest {
  std::string range;   // z: "from,to" or one value; empty: no range
  bool group = false;  // m is "1"
  char order = '0';    // first character of o: '1'..'5', anything else keeps the order
};
PropertyRequest property_request(std::string_view z, std::string_view m, std::string_view o);

// The range of z, both ends inclusive. Without ",": from = to = z's number. With ",":
// the numbers before and after the first ","; a missing or zero upper end is
// kPropertyOpenEnd; swapped when to < from. Numbers are read like atoi (leading blanks,
// a sign, digits; 0 when none), held to the 32-bit range.
struct PropertyBounds {
  int32_t from = 0;
  int32_t to = 0;
  bool contains(int32_t value) const { return from <= value && value <= to; }
};
PropertyBounds property_bounds(std::string_view z);

// Sorts by request.order ('1' score up, '2' score down, '3' value up, '4' value down,
// '5' paragraph up; with group always score down). Records with equal keys keep their
// order; other orders leave the list as it is.
void hits_sort(HitList& hits, const PropertyRequest& request);

// Property values, grouping, range filter and sort, when m is "1", z is given or o is
// '3' or '4'; otherwise only the sort. databases are looked up by the hits' ids; an id
// not among them reads as a database without values and gives false (kDatabaseIdError
// for the caller to report).
bool hits_property_step(HitList& hits, const std::vector<SearchDatabase>& databases,
                        const PropertyRequest& request);

// hits_property_step over these databases and this request, as SearchHooks::property_step.
std::function<void(HitList&)> property_step_hook(std::vector<SearchDatabase> databases,
                                                 PropertyRequest request);

// The documents of the databases, in order, whose value lies in the range z: one zeroed
// record each (database id, document, value; score 0), then sorted by hits_sort.
HitList search_by_property(const std::vector<SearchDatabase>& databases, const PropertyRequest& request);

}  // namespace qm
