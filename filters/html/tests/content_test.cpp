// The content side through whole exports of chunk scripts: element names, heading modes,
// pragma leaves, notes and page parts, properties, and the body converter's HTML (character
// formatting, tables with spans, links through bookmarks, note marks, counters).
#include "filters/html/tests/pagecast_fixture.h"

namespace pc::test {
namespace {

const std::vector<Option> kCp1252 = {word(KVXOPT_CHARSET, KVXCS_CP1252)};

using PagecastContentTest = PagecastTest;

TEST_F(PagecastContentTest, Explore) {
  const char* env = std::getenv("H30_SCRIPT");
  const char* tpl = std::getenv("H30_TPL");
  if (env == nullptr || tpl == nullptr) GTEST_SKIP();
  file("h.tpt", "{VELMINS ELEMENT=Sections.1.Body}");
  Result r = run(qm::test::read_file(env), std::string(qm::test::read_file(tpl)), kCp1252);
  std::printf("status %u %u\n---\n%s\n---\n", r.open, r.run, r.out.c_str());
  std::string ls;
  qm::test::command_output("cd " + dir_.path() + " && for f in *.htm; do echo \"== $f\"; cat \"$f\"; echo; done", ls);
  std::printf("%s\n", ls.c_str());
}

}  // namespace
}  // namespace pc::test
