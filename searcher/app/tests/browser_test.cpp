// The demo's home page in a real browser: headless Chromium loads a small page that
// holds the home page in a frame, types a Chinese word into its search field and
// submits the form (the page declares Big5, so the browser sends the word as Big5 %XX
// bytes); when the result page has loaded, its body is copied out so that --dump-dom
// shows it. Skips when Chromium cannot start on this machine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "fixture.h"

namespace qm::test {
namespace {

// Types 茶 into the home page's field, presses the search button, then copies the result
// page's body into #out.
constexpr const char* kDriverPage = R"(<!DOCTYPE html>
<html><head><meta charset=utf-8></head><body>
<iframe id=f src="/index.htm"></iframe><div id=out></div>
<script>
var frame = document.getElementById('f');
var loads = 0;
frame.onload = function() {
  var d = frame.contentDocument;
  if (loads++ == 0) {
    d.getElementById('p').value = '\u8336';
    d.getElementById('go').click();
  } else {
    document.getElementById('out').innerHTML = d.body.innerHTML;
  }
};
</script></body></html>
)";

TEST(SearcherBrowser, HomePageSearchShowsHits) {
  const std::string chromium = "/usr/bin/chromium";
  if (access(chromium.c_str(), X_OK) != 0) GTEST_SKIP() << "no " << chromium;

  SearcherSite site;
  write_file(site.www() + "driver.htm", kDriverPage);
  WebServer server(site);
  ASSERT_TRUE(server.started()) << "lighttpd did not start: " << server.log();

  const std::string profile = site.root() + "chromium-profile";
  const RunResult r = run_program(
      {"/usr/bin/timeout", "60", chromium, "--headless", "--no-sandbox", "--disable-gpu",
       "--disable-quic", "--no-first-run", "--disable-background-networking",
       "--disable-component-update", "--disable-sync", "--user-data-dir=" + profile,
       "--virtual-time-budget=10000", "--dump-dom", server.url("/driver.htm")},
      {"PATH=/usr/bin:/bin", "HOME=" + site.root()});
  if (r.exit_code != 0 || r.out.find("<iframe") == std::string::npos)
    GTEST_SKIP() << "Chromium did not run (exit " << r.exit_code << "): " << r.err.substr(0, 2000);

  // The DOM comes out as UTF-8: 茶 is E8 8C B6.
  const std::string tea = "\xE8\x8C\xB6";
  EXPECT_NE(r.out.find("<b>2</b> hits for <b>" + tea + "</b>"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("href=\"/docs/river.txt\">River tea house</a>"), std::string::npos);
  EXPECT_NE(r.out.find("<font color=\"#FF0000\">" + tea + "</font>"), std::string::npos);
  EXPECT_NE(r.out.find("value=\"" + tea + "\""), std::string::npos);  // the field keeps the word
}

}  // namespace
}  // namespace qm::test
