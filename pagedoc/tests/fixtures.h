// PGX documents typed byte by byte from the format's tables, independent of the test
// writer (pgx_writer.h), so that the reader and the writer cannot share one misreading.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "pagedoc/tests/pgx_writer.h"

namespace qm::pgx::test {

// Plain document: two pages, info items title, author, description.
extern const std::vector<unsigned char> kPlainFixture;
inline const std::string kPlainPage1 = " HelloWorld\r\n";
inline const std::string kPlainPage2 = " \xA4\xA4 abc de\r\n";  // "\xA4\xA4" is Big5 中
inline const std::string kPlainTitle = "Quill Title";
inline const std::string kPlainAuthor = "Alice";
inline const std::string kPlainDescription = "Test";

// Packed document: one page; the page table and the page data are packed streams,
// the compressed data written as literals only; info item title.
extern const std::vector<unsigned char> kPackedFixture;
inline const std::string kPackedPage1 = " Hi!\r\n";
inline const std::string kPackedTitle = "Packed";

// Plain document with an index stream: three pages (page 1 reads "Tea"), title "Leaf";
// one record in each page-object item, an entry with an unknown tag, four notes (page
// 1, page 3 twice, page 9, which the document lacks) and an "XITEM " item whose
// keyword record is its third record.
extern const std::vector<unsigned char> kIndexFixture;
inline constexpr size_t kIndexFixtureStreamAt = 172;
inline constexpr size_t kIndexFixtureStreamSize = 873;
inline const std::string kIndexPage1 = "Tea\r\n";
inline const std::string kIndexTitle = "Leaf";
inline const std::string kIndexId = "QM-0042";
inline const std::vector<std::string> kIndexKeywords = {"tea", "\xAF\xF9", "green leaf"};  // Big5 茶
// The page objects as the fixture's comments give them (notes numbered 0-3).
IndexSpec index_fixture_objects();
// The fixture's "XITEM " records, in order.
std::vector<std::pair<std::string, std::string>> index_fixture_extra_records();

}  // namespace qm::pgx::test
