// The searcher request of a desktop search: the escaped search text and the CGI query
// string (database ids, search modes, mail fields, rows per page, first row, keywords)
// that the desktop hands the searcher in QUERY_STRING. A request the searcher would refuse
// as too long is refused here instead, never cut. Plain C++; used by the main window's
// search (main_form_search.cpp) and tested in tests/search_request_test.cpp.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// The searcher takes a request text shorter than this many bytes.
inline constexpr std::size_t kSearcherRequestLimit = 1024;

// The rows of a page the searcher writes for a page size asked for: it keeps the size
// between 5 and 100 (and the desktop's hit template has room for 100), so the desktop
// pages by this many rows.
inline int SearcherRowsPerPage(int page_size) {
  return page_size < 5 ? 5 : page_size > 100 ? 100 : page_size;
}

struct SearchRequestInput {
  std::vector<int> database_ids;  // the checked databases, in tree order
  bool homophone = false;         // h=1
  bool fault = false;             // f=1
  bool lexical = false;           // l=1
  // An advanced search that asks for mail fields: k= with the chosen fields 1, 2, 3.
  bool mail_fields_wanted = false;
  bool mail_fields[3] = {false, false, false};
  int rows_per_page = 100;  // a=
  int page_start = 1;       // b=
  std::string text;         // the search text, Big5
};

// The search text for the request: the query operators ! @ # $ % ^ * ( ) | \ / + -, the
// characters that would start or split a parameter (& = ?), control bytes, 0x7F and every
// byte with the high bit set become "%XX" (upper-case hexadecimal); the blank and every
// other byte stay as they are.
std::string EscapeSearchText(std::string_view text);

// The QUERY_STRING value "s=<ids>[&h=1][&f=1][&l=1][&k=..]&a=<rows>&b=<start>&p=<text>";
// nullopt when it would be kSearcherRequestLimit bytes or longer.
std::optional<std::string> BuildSearchQuery(const SearchRequestInput& input);

}  // namespace qm
