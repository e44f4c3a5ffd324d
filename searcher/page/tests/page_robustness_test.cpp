// Seeded random and mutated inputs for the searcher's request and page parsers: the CGI
// parameter split with its URL decoding, and the page-template engine (parse, set,
// render). Nothing may read out of bounds (the sanitizer build) and the outputs keep
// their invariants; inputs that once broke one are kept as fixed cases.
#include <gtest/gtest.h>


#include "common/tests/random_text.h"
#include "searcher/page/cgi_input.h"
#include "searcher/page/page_escape.h"
#include "searcher/page/page_template.h"

namespace qm {
namespace {

using test::ExactBytes;

using test::InputTrace;
using test::RandomText;

TEST(CgiRobustness, ParamsAndUrlDecodeOnRandomText) {
  const std::vector<std::string> samples = {
      "s=1&p=%A4%A4%A4%E5+and+tea&t=2&o=0&b=1,2&b=3&h=1&f=0&z=%B3%5C&k=a%2Bb",
      "p=a&p=b&&&d=..%2F..%2Fetc%2Fpasswd&m=1&q=x&p",
      "p=%&p=%4&p=%zz%41",
  };
  std::vector<std::string> inputs = {"%", "%4", "a%", "p", "p=", "&", "=", "d=", "d=%00x"};
  RandomText rnd(0xC61);
  for (int n = 0; n < 3000; ++n) inputs.push_back(rnd.input(samples, 300));

  for (const std::string& input : inputs) {
    InputTrace trace(input);
    ExactBytes bytes(input);
    std::string decoded = url_decode(bytes.view());
    EXPECT_LE(decoded.size(), input.size());
    // Escaping a value and decoding it gives the value back.
    EXPECT_EQ(url_decode(url_escape_value(input)), input);

    SearchRequest request;
    cgi_parse_params(request, bytes.view(), "/nonexistent-program-dir/");
    for (char letter : std::string_view("otlczkm")) EXPECT_TRUE(request.present(letter));
    for (size_t i = 0; i < kRequestLetters.size(); ++i) {
      const auto& slot = request.slots[i];
      if (slot && kRequestLetters[i] != 'p') {
        EXPECT_LE(slot->size(), input.size() + 1);
      }
    }
    EXPECT_FALSE(request.present('d'));  // nothing lies in a missing program directory
    EXPECT_EQ(request.config_path, "/nonexistent-program-dir/vesprin.ini");
    if (request.keywords) {
      EXPECT_LE(request.keywords->size(), input.size());
    }
  }
}

TEST(TemplateRobustness, ParseSetRenderOnRandomText) {
  const std::vector<std::string> samples = {
      "<html><!% TITLE %!>\r\n<!% T_Loop 3 NOT_SKIP_ALL %!><tr><!% ROW %!><!% T_Loop 2 %!>"
      "<!% CELL %!><!% /T_Loop %!></tr><!% /T_Loop %!>",
      "<!% T_Declare %!><!% T_CONST MarkBeginText=<b> %!><!% /T_Declare %!><!% SQL_CMD Select "
      "* %!><!% SQL_RECNO %!><!%  ROW%!>\xA4\xA4",
      "<!% T_Loop 30 %!>x<!% V %!><!% T_Loop 20 %!>y<!% /T_Loop %!><!% /T_Loop %!>",
      "<!% /T_Loop %!><!%T_Loop%!><!% T_Declare %!>a",
  };
  std::vector<std::string> inputs = {"<!%", "<!%%!>", "<!% %!>", "<!%T_%!>", "<!%/%!>",
                                     "<!%/T_Loop%!>", "<!%T_CONST%!>", "<!%T_CONST =%!>",
                                     "<!%SQL_CMD%!>", "<!% T_Loop 2147483648 %!>a",
      // Nested repeats stop at the copy limit.
      "<!% T_Loop 99999 %!>x<!% V %!><!% T_Loop 99999 %!>y<!% /T_Loop %!><!% /T_Loop %!>"};
  RandomText rnd(0x7E3);
  for (int n = 0; n < 2000; ++n) inputs.push_back(rnd.input(samples, 300));

  for (const std::string& input : inputs) {
    InputTrace trace(input);
    ExactBytes bytes(input);
    PageTemplate t = tmpl_parse(bytes.view());
    size_t items = t.items().size();
    for (size_t i = 0; i < items; ++i) {
      const TemplateItem& item = t.items()[i];
      // Links only go forward, so every walk ends.
      if (item.next >= 0) {
        EXPECT_GT(size_t(item.next), i);
      }
      if (item.child >= 0) {
        EXPECT_GT(size_t(item.child), i);
      }
      EXPECT_LT(item.next, static_cast<int>(items));
      EXPECT_LT(item.child, static_cast<int>(items));
    }
    for (std::string_view name : {"TITLE", "ROW", "CELL", "V", " ROW", ""}) {
      tmpl_set_value(t, name, "<v>");
      tmpl_set_text(t, name, "\xA4\x5C");
    }
    std::string constant;
    tmpl_get_const(t, "MarkBeginText", constant);
    PageTemplate copy = tmpl_clone(t);
    tmpl_render(t);
    ASSERT_TRUE(t.page().has_value());
    // Each item gives at most its own text or a set value.
    EXPECT_LE(t.page()->size(), items * std::max<size_t>(input.size(), 3));
    tmpl_render(copy);
    EXPECT_EQ(copy.page(), t.page());
  }
}

}  // namespace
}  // namespace qm
