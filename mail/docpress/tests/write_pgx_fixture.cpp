// Writes the page-document reader's plain fixture (two pages, Big5 text) to FILE and the
// text of its pages, as the fixture's own declarations give it (Big5), to TEXT, for the
// docpress test over the real framework. Usage: write_pgx_fixture FILE TEXT
#include <cstdio>
#include <fstream>
#include <string>

#include "pagedoc/tests/fixtures.h"

namespace {

bool write(const char* path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: write_pgx_fixture FILE TEXT\n");
    return 1;
  }
  const auto& fx = qm::pgx::test::kPlainFixture;
  if (!write(argv[1], std::string(fx.begin(), fx.end())) ||
      !write(argv[2], qm::pgx::test::kPlainPage1 + qm::pgx::test::kPlainPage2)) {
    std::perror("write_pgx_fixture");
    return 1;
  }
  return 0;
}
