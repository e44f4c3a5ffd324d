// PGX documents typed byte by byte from the format's tables, independent of the test
// writer (pgx_writer.h), so that the reader and the writer cannot share one misreading.
#pragma once
#include <string>
#include <vector>

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

}  // namespace qm::pgx::test
