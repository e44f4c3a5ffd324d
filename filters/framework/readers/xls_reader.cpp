// The Excel (.xls) reader over libfreexl, which reads only from a path: the source goes
// to a temporary copy. One ss section per worksheet, named by the sheet, with the
// workbook's date system (1900 with the leap-day flag, or 1904); numbers as data values in
// General; dates, date-times and times (which libfreexl gives as text) turned back into
// serials of the workbook's date system and shown in a date format of their kind; text
// cells as text. A workbook with a password is refused with KVXERR_ENCRYPTED.
#include <freexl.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "filters/framework/readers/child_tools.h"
#include "filters/framework/readers/reader.h"
#include "filters/framework/readers/sheet_writer.h"
#include "filters/framework/readers/zip_package.h"

namespace kvx::readers {

namespace {

int64_t julian_day(int64_t y, int64_t m, int64_t d) {
  int64_t a = (14 - m) / 12, yy = y + 4800 - a, mm = m + 12 * a - 3;
  return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

// "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" or "HH:MM:SS" as a serial of the date system. In
// the 1900 system serial 60 is the 29 February 1900 that never was, so days from March
// 1900 on count one more.
bool serial_of(const char* text, uint32_t type, uint32_t base, bool leap_day, double& out) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (type == FREEXL_CELL_TIME) {
    if (std::sscanf(text, "%2d:%2d:%2d", &h, &mi, &s) != 3) return false;
    out = (h * 3600 + mi * 60 + s) / 86400.0;
    return true;
  }
  int n = std::sscanf(text, "%4d-%2d-%2d %2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s);
  if (n < 3 || mo < 1 || mo > 12 || d < 1 || d > 31) return false;
  int64_t jd = julian_day(y, mo, d);
  out = double(jd - int64_t(base) + (leap_day && jd >= 2415080 ? 1 : 0)) + (h * 3600 + mi * 60 + s) / 86400.0;
  return std::isfinite(out);
}

struct Handle {
  const void* h = nullptr;
  ~Handle() {
    if (h) freexl_close(h);
  }
};

}  // namespace

KVXSTATUS read_xls(std::string_view bytes, ChunkBuilder& out) {
  TempSource src(bytes);
  if (!src.ok()) return KVXERR_OPENFAILED;
  Handle x;
  if (freexl_open(src.path().c_str(), &x.h) != FREEXL_OK) {
    // A workbook that libfreexl declines may still say it has a password.
    Handle info;
    unsigned int password = 0;
    if (freexl_open_info(src.path().c_str(), &info.h) == FREEXL_OK &&
        freexl_get_info(info.h, FREEXL_BIFF_PASSWORD, &password) == FREEXL_OK && password == FREEXL_BIFF_OBFUSCATED)
      return KVXERR_ENCRYPTED;
    return KVXERR_BADFORMAT;
  }
  unsigned int value = 0;
  if (freexl_get_info(x.h, FREEXL_BIFF_PASSWORD, &value) == FREEXL_OK && value == FREEXL_BIFF_OBFUSCATED)
    return KVXERR_ENCRYPTED;
  uint32_t base = kDateBase1900, flags = kDateFlagLeapDay;
  if (freexl_get_info(x.h, FREEXL_BIFF_DATEMODE, &value) == FREEXL_OK && value == FREEXL_BIFF_DATEMODE_1904)
    base = kDateBase1904, flags = 0;
  unsigned int sheets = 0;
  if (freexl_get_info(x.h, FREEXL_BIFF_SHEET_COUNT, &sheets) != FREEXL_OK) return KVXERR_BADFORMAT;
  SheetWriter w(out);
  const NumberFormat kDate = compile_excel_format("yyyy-mm-dd");
  const NumberFormat kDateTime = compile_excel_format("yyyy-mm-dd hh:mm:ss");
  const NumberFormat kTime = compile_excel_format("hh:mm:ss");
  for (unsigned int s = 0; s < sheets && s < 0xFFFF; ++s) {
    const char* name = nullptr;
    if (freexl_get_worksheet_name(x.h, uint16_t(s), &name) != FREEXL_OK ||
        freexl_select_active_worksheet(x.h, uint16_t(s)) != FREEXL_OK)
      continue;
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_worksheet_dimensions(x.h, &rows, &columns) != FREEXL_OK) continue;
    w.begin(utf16(name ? name : ""), base, flags);
    uint64_t cells = 0;
    for (unsigned int r = 0; r < rows && cells < SheetWriter::kMaxCells; ++r)
      for (unsigned short c = 0; c < columns && c < SheetWriter::kMaxColumns; ++c, ++cells) {
        FreeXL_CellValue v;
        if (freexl_get_cell_value(x.h, r, c, &v) != FREEXL_OK) continue;
        SheetCell cell;
        switch (v.type) {
          case FREEXL_CELL_INT:
            cell.number = true;
            cell.value = v.value.int_value;
            break;
          case FREEXL_CELL_DOUBLE:
            cell.number = std::isfinite(v.value.double_value);
            cell.value = v.value.double_value;
            break;
          case FREEXL_CELL_TEXT:
          case FREEXL_CELL_SST_TEXT:
            if (v.value.text_value) cell.text = utf16(v.value.text_value);
            break;
          case FREEXL_CELL_DATE:
          case FREEXL_CELL_DATETIME:
          case FREEXL_CELL_TIME:
            if (v.value.text_value && serial_of(v.value.text_value, v.type, base, flags != 0, cell.value)) {
              cell.number = true;
              cell.format = w.format(v.type == FREEXL_CELL_DATE ? kDate : v.type == FREEXL_CELL_TIME ? kTime : kDateTime);
            }
            break;
          default:
            break;
        }
        w.set(r, c, std::move(cell));
      }
    if (!w.end()) break;
  }
  if (w.sheets() == 0) return KVXERR_BADFORMAT;
  return KVX_OK;
}

}  // namespace kvx::readers
