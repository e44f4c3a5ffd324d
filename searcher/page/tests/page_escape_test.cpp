// Tests of the escaping of reflected values and the safe property formatting.
#include "searcher/page/page_escape.h"

#include <gtest/gtest.h>

#include "searcher/page/cgi_input.h"

namespace qm {
namespace {

TEST(PageEscape, HtmlValue) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "plain"},
      {"\"><script>alert(1)</script>", "&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"a&b", "a&amp;b"},
      {"it's", "it's"},
      // Big5 with trail bytes 0x5C ("\") and 0x7C ("|") passes unchanged.
      {"\xA5\x5C\xA6\x7C<", "\xA5\x5C\xA6\x7C&lt;"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(html_escape_value(in), out) << in;
}

TEST(PageEscape, UrlValueRoundTrips) {
  const std::pair<std::string, std::string> cases[] = {
      {"1,3~5", "1,3~5"},
      {"/srv/quillmere/other.ini", "/srv/quillmere/other.ini"},
      {"a b&c=d+e%f#g\"h<", "a%20b%26c%3Dd%2Be%25f%23g%22h%3C"},
      {"\xA5\x5C", "%A5%5C"},
  };
  for (const auto& [in, out] : cases) {
    EXPECT_EQ(url_escape_value(in), out) << in;
    EXPECT_EQ(url_decode(url_escape_value(in)), in) << in;
  }
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(url_decode(url_escape_value(all)), all);
  EXPECT_EQ(url_escape_value(all).find_first_of("&=+# \"<>'"), std::string::npos);
}

TEST(PageEscape, PropertyFormat) {
  struct Case {
    const char* format;
    int32_t value;
    const char* expected;
  };
  const Case cases[] = {
      {"Date", 20010305, "2001/03/05"},
      {"date", 19991231, "1999/12/31"},
      {"%d", 42, "42"},
      {"%08d", 42, "00000042"},
      {"No. %5d!", 7, "No.     7!"},
      {"%-4d|", 3, "3   |"},
      {"%ld", 5, "5"},
      {"%hhx", 255, "ff"},
      {"%X", 255, "FF"},
      {"%.3u", -1, "4294967295"},
      {"%%%d%%", 5, "%5%"},
      {"%+i", 5, "+5"},
      // Anything but exactly one integer conversion gives plain digits.
      {"%s", 5, "5"},
      {"%n", 5, "5"},
      {"%d %d", 5, "5"},
      {"no conversion", 5, "5"},
      {"100%%", 5, "5"},
      {"%*d", 5, "5"},
      {"%1000d", 5, "5"},
      {"%.999d", 5, "5"},
      {"%", -5, "-5"},
      {"%lld%", 5, "5"},
      {"%f", 5, "5"},
      {"", 123, "123"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(format_property_value(c.format, c.value), c.expected) << c.format;
}

}  // namespace
}  // namespace qm
