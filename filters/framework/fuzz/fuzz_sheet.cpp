// libFuzzer target: the readers' sheet writer and the Excel format-code compiler. The
// input is a program of cells: a name, the date system, then records (a format code
// compiled and added, a number cell in one of the formats, a text cell, a date in a
// display type) at rows and columns of the input's choice; the sheet is written and the
// model walked in full. Built with clang by scripts/fuzz; testsupport/fuzz_replay.cpp
// runs the committed corpus in CTest.
#include <cstring>
#include <vector>

#include "filters/framework/fuzz/read_and_walk.h"
#include "filters/framework/readers/sheet_writer.h"

namespace {

// Reads the input front to back; past its end every read gives zeros.
struct Input {
  const uint8_t* p;
  size_t left;
  uint32_t byte() { return left ? (--left, *p++) : 0; }
  uint32_t u16() { return byte() | byte() << 8; }
  uint32_t u32() { return u16() | u16() << 16; }
  std::string_view text() {
    size_t n = std::min<size_t>(byte(), left);
    std::string_view s(reinterpret_cast<const char*>(p), n);
    p += n;
    left -= n;
    return s;
  }
};

std::vector<uint16_t> units(std::string_view s) { return std::vector<uint16_t>(s.begin(), s.end()); }

KVXSTATUS write_sheet(std::string_view bytes, kvx::ChunkBuilder& b) {
  using namespace kvx::readers;
  Input in{reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
  SheetWriter w(b);
  std::vector<uint16_t> name = units(in.text());
  uint32_t mode = in.byte();
  w.begin(name, mode & 1 ? kDateBase1904 : mode & 2 ? kDateBaseOdf : kDateBase1900, mode & 4 ? kDateFlagLeapDay : 0);
  std::vector<uint32_t> formats{0};
  while (in.left) {
    uint32_t op = in.byte() % 4;
    if (op == 0) {
      NumberFormat f = compile_excel_format(in.text());
      is_date_format(f);
      formats.push_back(w.format(f));
      continue;
    }
    // Rows and columns anywhere (past the writer's last ones too), or within a small grid
    // where cells meet and overwrite each other.
    uint32_t flags = in.byte();
    uint32_t row = flags & 1 ? in.u32() % (SheetWriter::kMaxRows + 256) : in.byte() % 64;
    uint32_t column = flags & 2 ? in.u16() % (SheetWriter::kMaxColumns + 256) : in.byte() % 32;
    SheetCell c;
    if (op == 1) {
      c.number = true;
      uint64_t bits = uint64_t(in.u32()) | uint64_t(in.u32()) << 32;
      std::memcpy(&c.value, &bits, 8);
      c.format = formats[in.byte() % formats.size()];
    } else if (op == 2) {
      c.text = units(in.text());
    } else {
      c.number = true;
      c.value = double(int32_t(in.u32())) / 64;
      c.display = date_display(kDisplayDateTime + in.byte() % 3);
    }
    w.set(row, column, std::move(c));
  }
  return w.end() ? KVX_OK : KVXERR_BADFORMAT;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvx::fuzz::read_and_walk(write_sheet, kvx::fuzz::bytes_of(data, size));
  return 0;
}
