// Writes seed documents for the PGX fuzz target into the folder named on the command
// line: the hand-typed fixtures (plain, packed, with an index stream), and documents made
// by the test writer from the texts given after the folder (one page per text, Big5 or
// ASCII as the files are), plain and packed, with info items, an index stream with
// notes and keywords, and a page with every record kind. Built with QM_FUZZ; run by
// scripts/fuzz-seeds.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pagedoc/pgx_format.h"
#include "pagedoc/tests/fixtures.h"
#include "pagedoc/tests/pgx_writer.h"

using namespace qm::pgx;

namespace {

void put(const std::string& dir, const std::string& name, const std::string& bytes) {
  std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
}

std::string slurp(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str().substr(0, 600);
}

// One page: a text run per line of the text.
std::string page_of(const std::string& text) {
  std::vector<test::TextRun> runs;
  uint16_t y = 40;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line); y += 20) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    test::TextRun r;
    r.x = 30;
    r.y = y;
    r.text = line.substr(0, 120);
    runs.push_back(r);
  }
  return test::PageWriter().text(runs).end().bytes();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string dir = argv[1];
  put(dir, "typed-plain.pgx", std::string(test::kPlainFixture.begin(), test::kPlainFixture.end()));
  put(dir, "typed-packed.pgx", std::string(test::kPackedFixture.begin(), test::kPackedFixture.end()));
  put(dir, "typed-index.pgx", std::string(test::kIndexFixture.begin(), test::kIndexFixture.end()));
  std::vector<std::string> pages;
  for (int i = 2; i < argc; ++i) pages.push_back(page_of(slurp(argv[i])));
  // A page with further record kinds: an "EU" run with extents and character data, an
  // image, fixed and sized records, and one of a kind the reader only steps over.
  test::TextRun wide;
  wide.x = 10;
  wide.y = 10;
  wide.text = "\xA4\xA4\xA4\xE5 text";
  wide.has_extent = true;
  wide.extent[2] = 200;
  wide.char_data = true;
  pages.push_back(test::PageWriter()
                      .text({wide}, true)
                      .image(1, std::string(8, '\x5A'))
                      .record("FT", std::string(4, '\x01'))
                      .record("CR", std::string(8, '\x02'))
                      .sized("PL", "Ming")
                      .record("ZZ", std::string("\x03\x00" "abc", 5))
                      .end()
                      .bytes());
  test::IndexSpec objects = test::index_fixture_objects();
  objects.with_keywords = true;
  objects.id = "QM-SEED";
  objects.keywords = {"tea", "\xAF\xF9"};
  for (bool packed : {false, true}) {
    test::DocSpec spec;
    spec.packed = packed;
    spec.pages = pages;
    spec.info = {{kInfoTitle, "Seed title"}, {kInfoAuthor, "Writer"}, {kInfoDescription, "From system texts"}};
    spec.extra = {{"indx", test::index_stream(objects), packed}};
    put(dir, packed ? "written-packed.pgx" : "written-plain.pgx", test::write_pgx(spec).bytes);
  }
  return 0;
}
