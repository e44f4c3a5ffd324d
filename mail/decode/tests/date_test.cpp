// Tests of mail date normalisation on a machine at UTC+8 (TZ=Asia/Taipei): the English,
// slash and Big5 forms, two-digit years, zones with minutes and impossible dates.
#include "mail/decode/date.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

class MailDate : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    had_tz_ = tz != nullptr;
    if (tz) old_tz_ = tz;
    setenv("TZ", "Asia/Taipei", 1);
    tzset();
  }
  void TearDown() override {
    if (had_tz_) setenv("TZ", old_tz_.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }

 private:
  bool had_tz_ = false;
  std::string old_tz_;
};

struct DateCase {
  std::string text;
  int32_t expected;
};

TEST_F(MailDate, ReadsEveryForm) {
  // 星期日 (Sunday) and the Big5 month words 三月 (March), 十二月 (December).
  const std::string sunday = "\xAC\x50\xB4\xC1\xA4\xE9";
  const DateCase cases[] = {
      {"Sun, 12 Mar 2000 23:30:00 -0500", 20000313},  // 04:30 UTC is noon in Taipei
      {"Sun, 12 Mar 2000 10:00:00 +0800", 20000312},
      {"Sun, 12 March 2000 10:00:00 +0800", 20000312},  // a longer month word
      {"12 Mar 2000 10:00:00 +0800", 20000312},         // no weekday
      {"12 mar 2000 23:00:00 -0200", 20000313},         // numeric zone without a comma
      {"Sun, 12 Mar 2000 23:30:00 EST", 20000313},      // a named zone counts as UTC
      {"Sun, 12 Mar 2000 10:00 +0800", 20000312},       // no seconds
      {"Sun, 12 Mar 99 23:00:00 +0000", 19990313},      // 50-99: 19xx
      {"Sat, 12 Mar 05 10:00:00 +0800", 20050312},      // 00-49: 20xx
      {"Sun, 12 Mar 2000 15:50:00 -0010", 20000313},    // zone minutes count
      {"Sun, 12 Mar 2000 15:40:00 -0030", 20000313},    // ... with their sign
      {"Sun, 12 Mar 2000 16:20:00 +0030", 20000312},
      {"2000/3/12", 20000312},
      {"2000/12/31 10:00", 20001231},
      {"2000/2/29", 20000229},
      {"1999/2/29", 0},                                  // impossible slash dates
      {"2000/13/1", 0},
      {"2000/0/10", 0},
      {sunday + ", 12 \xA4\x54\xA4\xEB 2000 10:00:00", 20000312},
      {sunday + ", 31 \xA4\x51\xA4\x47\xA4\xEB 2000 20:00:00", 20010101},
      {sunday + " 12 \xA4\x54\xA4\xEB 2000", 0},        // Big5 date without a comma
      {"Sun, 12 Foo 2000 10:00:00 +0800", 0},
      {"Sun, 12 Mar", 0},
      {"", 0},
      {"garbage", 0},
  };
  for (const DateCase& c : cases) EXPECT_EQ(qm::mail::mail_date_value(c.text), c.expected) << c.text;
}

}  // namespace
