// The Excel (.xls) reader over libfreexl. libfreexl reads only from a path, so the source
// goes to a temporary copy; and as libfreexl does not survive every damaged workbook (it
// can read past its buffers), it runs in a forked worker of our own: the worker walks the
// workbook and sends what it found down a pipe as plain records; this process reads them
// with the readers' time limit, kills the worker's process group when it runs late, and
// builds the sheets from what arrived, so a worker that dies leaves the sheets read so
// far. The worker's address space may grow by child_tools().worker_memory at most, so a
// header that declares a huge grid makes its allocation fail (the worker ends, the source
// is a bad format) instead of taking the host's memory. Cost in this process: the
// worker's records (at most 256 MB, read with the time limit) and the sheet writer's
// bound on them. One ss section per worksheet, named by the sheet, with the workbook's date system
// (1900 with the leap-day flag, or 1904); numbers as data values in General; dates,
// date-times and times (which libfreexl gives as text) turned back into serials of the
// workbook's date system in the date, time or date-and-time display type (libfreexl
// keeps no format codes); text cells as text. A workbook
// with a password is refused with KVXERR_ENCRYPTED.
#include <fcntl.h>
#include <freexl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "filters/framework/readers/child_tools.h"
#include "filters/framework/readers/reader.h"
#include "filters/framework/readers/sheet_writer.h"
#include "filters/framework/readers/zip_package.h"

namespace kvx::readers {

namespace {

// Worker records: 'H' base flags | 'S' name | 'N' row column value | 'T' row column text |
// 'D' row column kind value; numbers as u32 little-endian, values as the 8 bytes of a
// double, texts as u32 length and UTF-8 bytes. Status byte 'X' and a u32 ends a failed walk.
constexpr size_t kMaxText = 1u << 20;

void put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += char(v >> (8 * i));
}
void put_double(std::string& out, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  put32(out, uint32_t(bits));
  put32(out, uint32_t(bits >> 32));
}
void put_text(std::string& out, const char* s) {
  size_t n = std::min(std::strlen(s), kMaxText);
  put32(out, uint32_t(n));
  out.append(s, n);
}

int64_t julian_day(int64_t y, int64_t m, int64_t d) {
  int64_t a = (14 - m) / 12, yy = y + 4800 - a, mm = m + 12 * a - 3;
  return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

// "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" or "HH:MM:SS" as a serial of the date system. In
// the 1900 system serial 60 is the 29 February 1900 that never was, so days from March
// 1900 on count one more.
bool serial_of(const std::string& text, uint32_t kind, uint32_t base, bool leap_day, double& out) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (kind == FREEXL_CELL_TIME) {
    if (std::sscanf(text.c_str(), "%2d:%2d:%2d", &h, &mi, &s) != 3) return false;
    out = (h * 3600 + mi * 60 + s) / 86400.0;
    return true;
  }
  int n = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s);
  if (n < 3 || mo < 1 || mo > 12 || d < 1 || d > 31) return false;
  int64_t jd = julian_day(y, mo, d);
  out = double(jd - int64_t(base) + (leap_day && jd >= 2415080 ? 1 : 0)) + (h * 3600 + mi * 60 + s) / 86400.0;
  return std::isfinite(out);
}

void send(int fd, std::string& out) {
  size_t done = 0;
  while (done < out.size()) {
    ssize_t n = ::write(fd, out.data() + done, out.size() - done);
    if (n <= 0) break;
    done += size_t(n);
  }
  out.clear();
}

// The worker's walk of the workbook; records go to fd as they are made.
[[noreturn]] void worker(const std::string& path, int fd) {
  std::string out;
  const void* h = nullptr;
  if (freexl_open(path.c_str(), &h) != FREEXL_OK) {
    const void* info = nullptr;
    unsigned int password = 0;
    bool locked = freexl_open_info(path.c_str(), &info) == FREEXL_OK &&
                  freexl_get_info(info, FREEXL_BIFF_PASSWORD, &password) == FREEXL_OK &&
                  password == FREEXL_BIFF_OBFUSCATED;
    out += 'X';
    put32(out, locked ? KVXERR_ENCRYPTED : KVXERR_BADFORMAT);
    send(fd, out);
    ::_exit(0);
  }
  unsigned int value = 0, sheets = 0;
  if (freexl_get_info(h, FREEXL_BIFF_PASSWORD, &value) == FREEXL_OK && value == FREEXL_BIFF_OBFUSCATED) {
    out += 'X';
    put32(out, KVXERR_ENCRYPTED);
    send(fd, out);
    ::_exit(0);
  }
  bool y1904 = freexl_get_info(h, FREEXL_BIFF_DATEMODE, &value) == FREEXL_OK && value == FREEXL_BIFF_DATEMODE_1904;
  out += 'H';
  put32(out, y1904 ? kDateBase1904 : kDateBase1900);
  put32(out, y1904 ? 0 : kDateFlagLeapDay);
  if (freexl_get_info(h, FREEXL_BIFF_SHEET_COUNT, &sheets) != FREEXL_OK) sheets = 0;
  for (unsigned int s = 0; s < sheets && s < 0xFFFF; ++s) {
    const char* name = nullptr;
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_get_worksheet_name(h, uint16_t(s), &name) != FREEXL_OK ||
        freexl_select_active_worksheet(h, uint16_t(s)) != FREEXL_OK ||
        freexl_worksheet_dimensions(h, &rows, &columns) != FREEXL_OK)
      continue;
    out += 'S';
    put_text(out, name ? name : "");
    // The grid libfreexl holds (at most 65,536 x 256 cells); the sheet writer keeps what fits.
    for (unsigned int r = 0; r < rows; ++r) {
      for (unsigned short c = 0; c < columns; ++c) {
        FreeXL_CellValue v;
        if (freexl_get_cell_value(h, r, c, &v) != FREEXL_OK) continue;
        if (v.type == FREEXL_CELL_INT || v.type == FREEXL_CELL_DOUBLE) {
          out += 'N';
          put32(out, r);
          put32(out, c);
          put_double(out, v.type == FREEXL_CELL_INT ? double(v.value.int_value) : v.value.double_value);
        } else if ((v.type == FREEXL_CELL_TEXT || v.type == FREEXL_CELL_SST_TEXT) && v.value.text_value) {
          out += 'T';
          put32(out, r);
          put32(out, c);
          put_text(out, v.value.text_value);
        } else if ((v.type == FREEXL_CELL_DATE || v.type == FREEXL_CELL_DATETIME || v.type == FREEXL_CELL_TIME) &&
                   v.value.text_value) {
          out += 'D';
          put32(out, r);
          put32(out, c);
          put32(out, v.type);
          put_text(out, v.value.text_value);
        }
      }
      if (out.size() > (1u << 16)) send(fd, out);
    }
  }
  send(fd, out);
  freexl_close(h);
  ::_exit(0);
}

// Caps the address space at its present size plus extra bytes (measured, so that a
// sanitizer's reserved shadow does not count against the worker).
void limit_memory(size_t extra) {
  unsigned long pages = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
    std::fclose(f);
  }
  rlim_t limit = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE)) + extra;
  rlimit rl{limit, limit};
  ::setrlimit(RLIMIT_AS, &rl);
}

// Runs the worker on the path; its records in out. False when it could not be started.
bool run_worker(const std::string& path, std::string& out) {
  int fds[2];
  if (::pipe(fds) != 0) return false;
  pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return false;
  }
  if (pid == 0) {
    // Its own process group, nothing to read, and its messages (libfreexl's, or a
    // sanitizer's report of libfreexl's faults) kept off the host's standard error.
    ::setpgid(0, 0);
    ::close(fds[0]);
    int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, 0);
      ::dup2(null, 2);
    }
    limit_memory(child_tools().worker_memory);
    worker(path, fds[1]);
  }
  ::setpgid(pid, pid);
  ::close(fds[1]);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(child_tools().timeout_ms);
  char buf[65536];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fds[0], POLLIN, 0};
    int r = ::poll(&p, 1, int(std::min<int64_t>(left.count(), 1000)));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) break;
    if (r == 0) continue;
    ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (out.size() + size_t(n) > (size_t(256) << 20)) break;
    out.append(buf, size_t(n));
  }
  ::close(fds[0]);
  ::kill(-pid, SIGKILL);  // gone already when it finished; else it ran late
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return true;
}

// Reads the worker's records into sheets; a record cut short ends the reading.
class Records {
 public:
  explicit Records(std::string_view s) : s_(s) {}
  bool more() const { return at_ < s_.size(); }
  char tag() { return s_[at_++]; }
  bool u32(uint32_t& v) {
    if (s_.size() - at_ < 4) return false;
    v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(uint8_t(s_[at_ + size_t(i)])) << (8 * i);
    at_ += 4;
    return true;
  }
  bool number(double& v) {
    uint32_t lo = 0, hi = 0;
    if (!u32(lo) || !u32(hi)) return false;
    uint64_t bits = uint64_t(hi) << 32 | lo;
    std::memcpy(&v, &bits, 8);
    return true;
  }
  bool text(std::string& t) {
    uint32_t n = 0;
    if (!u32(n) || n > kMaxText || s_.size() - at_ < n) return false;
    t.assign(s_.substr(at_, n));
    at_ += n;
    return true;
  }

 private:
  std::string_view s_;
  size_t at_ = 0;
};

}  // namespace

KVXSTATUS read_xls(std::string_view bytes, ChunkBuilder& out) {
  TempSource src(bytes);
  if (!src.ok()) return KVXERR_OPENFAILED;
  std::string records;
  if (!run_worker(src.path(), records)) return KVXERR_OPENFAILED;
  SheetWriter w(out);
  Records in(records);
  uint32_t base = 0, flags = 0;
  bool open = false, ok = true;
  KVXSTATUS status = KVXERR_BADFORMAT;
  while (in.more() && ok) {
    char tag = in.tag();
    uint32_t row = 0, col = 0, kind = 0;
    std::string text;
    SheetCell cell;
    switch (tag) {
      case 'X':  // the walk failed: its status ends the records
        if (in.u32(kind) && kind == KVXERR_ENCRYPTED) status = KVXERR_ENCRYPTED;
        ok = false;
        break;
      case 'H':
        ok = in.u32(base) && in.u32(flags);
        break;
      case 'S':
        if (open && !w.end()) return KVX_OK;
        ok = in.text(text);
        w.begin(utf16(text), base, flags);
        open = true;
        break;
      case 'N':
        ok = open && in.u32(row) && in.u32(col) && in.number(cell.value);
        cell.number = std::isfinite(cell.value);
        if (ok) w.set(row, col, std::move(cell));
        break;
      case 'T':
        ok = open && in.u32(row) && in.u32(col) && in.text(text);
        cell.text = utf16(text);
        if (ok) w.set(row, col, std::move(cell));
        break;
      case 'D':
        ok = open && in.u32(row) && in.u32(col) && in.u32(kind) && in.text(text);
        if (ok && serial_of(text, kind, base, flags != 0, cell.value)) {
          cell.number = true;
          cell.display = date_display(kind == FREEXL_CELL_DATE   ? kDisplayDate
                                      : kind == FREEXL_CELL_TIME ? kDisplayTime
                                                                 : kDisplayDateTime);
          w.set(row, col, std::move(cell));
        }
        break;
      default:
        ok = false;
    }
  }
  if (open) w.end();
  return w.sheets() > 0 ? KVX_OK : status;
}

}  // namespace kvx::readers
