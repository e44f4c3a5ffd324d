// Output character sets of the HTML export filter: the table that joins framework set ids
// to HTML charset names, the choice of an export's output set (the host's option corrected
// by the document's own set) and MapText16, which maps 16-bit text in place between two
// framework sets, and CreateCharMap, the framework map they build on. Used by the export engine and the element side.
#pragma once
#include <cstdint>
#include <string>

#include "filters/common/kvx_abi.h"

namespace pc {

struct CharsetRow {
  uint32_t id;
  const char* name;
};
// The 36 rows, in search order.
const CharsetRow* charset_table(size_t* count);

// The row for an id: its id and name; row 0 ("us-ascii") when the id stands in none.
CharsetRow charset_row(uint32_t id);

// The output set asked for by the host's KVXOPT_CHARSET, corrected by the document's set:
// a single-byte request on a double-byte document gives the document's set. A failed
// option read returns the framework's status.
KVXSTATUS ReadOutputCharset(KVXHANDLE exportHandle, uint32_t documentSet, uint32_t* charsetId);

// Chooses the output set: *row_id the table row's id, *state_id what the writer keeps
// (UTF-8 kept as 0x14B00000), *name its HTML name.
KVXSTATUS SetOutputCharset(KVXHANDLE exportHandle, uint32_t documentSet, uint32_t* row_id, uint32_t* state_id,
                           std::string* name);

// Maps count 16-bit characters in place from sourceSet to targetSet; unmappable
// characters become "@", curly quotes and dashes of 0x90-0x97 their ASCII forms where
// the target is single-byte. Returns UTCreateMap's status on failure (text unchanged).
KVXSTATUS MapText16(uint16_t* text, uint32_t count, uint32_t sourceSet, uint32_t targetSet);

// A framework map from sourceSet to targetSet that writes `replacement` for what it cannot
// map; UTCreateMap's status. The caller releases the map with UTReleaseMap.
KVXSTATUS CreateCharMap(KVXCHARMAP** map, uint32_t sourceSet, uint32_t targetSet, uint16_t replacement);

}  // namespace pc
