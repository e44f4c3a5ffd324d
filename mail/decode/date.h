// Mail dates to the decimal number yyyymmdd of the local calendar day, as the mail
// property file stores it. Reads "Sun, 12 Mar 2000 23:30:00 -0500", the same without the
// weekday, "2000/3/12", and dates whose words are Big5 (the month numerals one to
// twelve). Used by the message parser (message.cpp).
#pragma once
#include <cstdint>
#include <string_view>

namespace qm::mail {

// The local date of the moment the text names, as yyyymmdd; 0 when it cannot be read.
// A numeric zone ("+0800", "-0530") counts with its hours and minutes; a missing or
// named zone counts as UTC. Two-digit years 00-49 are 20xx, 50-99 19xx. A "y/m/d" date
// is taken as it stands, but an impossible one gives 0.
int32_t mail_date_value(std::string_view text);

}  // namespace qm::mail
