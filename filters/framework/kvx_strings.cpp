// UTGetString: the framework's texts by number, in English: section and picture names,
// document property names, weekday and month names, number-format texts and the
// template parse-error page. In test mode every id answers "#<hex id>#", so tests can
// see which id a filter asked for.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "filters/common/kvx_abi.h"

namespace {

bool g_test_mode = false;

const std::map<uint32_t, const char*>& fixed_texts() {
  static const std::map<uint32_t, const char*> t = {
      // Section kinds and picture kinds.
      {0x12EE1, "Document"}, {0x12EE2, "Spreadsheet"}, {0x12EE3, "Image"}, {0x12EE4, "Database"},
      {0x12EE5, "Archive"}, {0x12EE7, "Presentation"}, {0x12EE8, "Chart"},
      // Number formats.
      {0x10104, "Invalid date"}, {0x10106, "Not a number"}, {0x10107, "TRUE"}, {0x10108, "FALSE"},
      // The template parse-error page.
      {0x14330, "Template error: "}, {0x14331, "Errors in template "},
      {0x14332, "Error "}, {0x14333, "The export template could not be read."},
      {0x14334, "The template, with the error marked:"}, {0x14335, "The export stopped at this point."},
      {0x142CC, ": the template cannot be opened"}, {0x142CD, ": the template cannot be read"},
      {0x142CE, ": the template is empty"}, {0x142CF, ": out of memory"},
      {0x142D0, ": unknown element"}, {0x142D1, ": unknown attribute"}, {0x142D2, ": bad element index"},
      {0x142D3, ": a closer without \"}\""}, {0x142D4, ": a file name is missing"},
      {0x142D5, ": ELEMENT is missing"}, {0x142D6, ": \"=\" is missing after an attribute"},
      {0x142D7, ": the template ends inside a command"}, {0x142D8, ": too many repetitions"},
      {0x142D9, ": an output file cannot be written"}, {0x142DA, ": an output file cannot be created"},
      {0x142DB, ": a link cannot be made"}, {0x142DC, ": the statement stack is full"},
  };
  return t;
}

const char* const kProperties[] = {
    "Comment", "Keywords", "Category", "Author", "Subject", "Title", "Manager", "Company", "Created",
    "Revised", "Printed", "Revision", "Pages", "Words", "Characters", "Paragraphs", "Lines", "Template",
    "Application"};
const char* const kWeekdays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};

// The text of an id, "" when the framework has none.
std::string text_of(uint32_t id) {
  auto it = fixed_texts().find(id);
  if (it != fixed_texts().end()) return it->second;
  if (id >= 0x14268 && id <= 0x142A2) {
    uint32_t k = id - 0x14268;
    if (k < sizeof kProperties / sizeof *kProperties) return kProperties[k];
    return "Property " + std::to_string(k + 1);
  }
  if (id >= 0x100C8 && id <= 0x100CE) return kWeekdays[id - 0x100C8];
  if (id >= 0x100CF && id <= 0x100D5) return std::string(kWeekdays[id - 0x100CF], 3);
  if (id >= 0x100DC && id <= 0x100E7) return kMonths[id - 0x100DC];
  if (id >= 0x100F0 && id <= 0x100FB) return std::string(kMonths[id - 0x100F0], 3);
  if (id >= 0x142DD && id <= 0x142FC) return ": template error " + std::to_string(1558 + (id - 0x142DD));
  return "";
}

}  // namespace

extern "C" {

KVXSTATUS UTGetString(uint32_t id, char* buffer, uint32_t size, uint32_t /*flags*/) {
  if (buffer == nullptr || size == 0) return KVXERR_BADPARAM;
  std::string text;
  if (g_test_mode) {
    char b[16];
    std::snprintf(b, sizeof b, "#%X#", unsigned(id));
    text = b;
  } else {
    text = text_of(id);
  }
  size_t n = std::min<size_t>(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return text.empty() ? KVXERR_NOTFOUND : KVX_OK;
}

void KVXTestStringMode(int32_t on) { g_test_mode = on != 0; }

}  // extern "C"
