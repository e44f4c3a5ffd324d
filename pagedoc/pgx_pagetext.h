// The page-text walk: reads one page's records (layout in pgx_format.h) from the
// working file of a PgxDocument and writes the page's plain text: the characters of
// every text record, a space where a run starts on a new line or after a gap, and
// "\r\n" after each text record. Everything else on the page is stepped over.
#pragma once
#include <string>

#include "pagedoc/pgx_document.h"

namespace qm::pgx {

// Appends the text of page `page` (1-based) to `out`. False when the page number is
// out of range or its data cannot be made available. A page whose data ends before
// its end record, or breaks off inside a record, keeps the text read so far.
bool page_text(PgxDocument& doc, int page, PageUnpackState& state, std::string& out);

}  // namespace qm::pgx
