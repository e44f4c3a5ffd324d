// The plain text of numeric sheet cells, for model_text (chunk_script.cpp): a number cell
// keeps its value as a data value (range 17) and its number format as a format group, so
// it has no text run; this gives the value a plain rendering that a search finds. Built on
// the chunk model and the format element codes of the readers' sheet writer.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "filters/framework/chunk_model.h"

namespace kvx {

// The shortest text ("%g" form) that reads back as the same double.
std::string shortest_number(double v);

// Follows the items of a model in order (every item, from index 0 up) and gives the text
// of each numeric cell's value: dates and times (by a date or time format, or a date
// display type) as "yyyy-mm-dd", "hh:mm" or both in the section's date system (with the
// seconds, a one-digit hour and " AM" or " PM" where the format has them; display types
// give seconds); percent formats as the value times 100 with "%"; numbers with the
// decimal places of their format (fixed zeros kept, optional places as needed), General
// in at most 15 significant digits (an exponent only past 1e15 or below 1e-5). Thousands
// separators, currency texts, colours and conditions are not shown.
class SheetValueText {
 public:
  explicit SheetValueText(const ChunkModel& m) : m_(m) {}
  // Item i {kind, a, b, c}; the text of a numeric cell's value goes to the end of out.
  void item(uint32_t i, uint32_t kind, uint32_t a, uint32_t b, uint32_t c, std::string& out);

 private:
  struct Shown {
    bool date = false, time = false, twelve_hour = false, short_hour = false, seconds = false;
    bool percent = false, digits = false, general = false;
    int min_places = 0, max_places = 0;
  };
  std::string render(double v, const Shown& f) const;

  const ChunkModel& m_;
  size_t section_ = 0;                 // the section of the last item seen
  uint32_t date_base_ = 0, date_flags_ = 0;
  std::map<uint32_t, Shown> formats_;  // by format number, of the sheet being read
  uint32_t format_depth_ = 0;          // groups open since a format group opened
  uint32_t format_ = 0, format_section_ = 0;  // the format and section being read
  bool after_point_ = false;
  bool pending_ = false;               // a number cell waits for its value
  Shown pending_shown_;
};

}  // namespace kvx
