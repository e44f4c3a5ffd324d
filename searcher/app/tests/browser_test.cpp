// The demo's pages in a real browser, headless Chromium:
//  - the home page: a small driver page holds it in a frame, types a Chinese word into its
//    search field and submits the form (the page declares Big5, so the browser sends the
//    word as Big5 %XX bytes); when the result page has loaded, its body is copied out so
//    that --dump-dom shows it;
//  - a Chinese result page must show readable characters, not the empty boxes of a
//    missing font: a font for 茶 must be installed, and in a screenshot the marked 茶 must
//    look different from a character no font has (which is drawn as the same box).
// Skips only when Chromium cannot run on this machine at all; once it runs, a page that
// never answers is a failure.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "fixture.h"

namespace qm::test {
namespace {

const std::string kChromium = "/usr/bin/chromium";

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

// Shows the result page for 茶 in a frame that fills the window; once it has loaded, puts
// a character that no font has (U+0378, unassigned) beside the first marked 茶, in the
// same element style, and writes the boxes of both glyphs into #boxes as
// "x y w h x y w h" (window pixels).
constexpr const char* kScreenshotPage = R"(<!DOCTYPE html>
<html><head><meta charset=utf-8>
<style>body { margin: 0 } iframe { border: 0; width: 800px; height: 600px; display: block }</style>
</head><body>
<iframe id=f src="/cgi-bin/searcher?s=1&p=%AF%F9"></iframe><div id=boxes></div>
<script>
var frame = document.getElementById('f');
frame.onload = function() {
  var d = frame.contentDocument;
  var mark = d.querySelector('.hit font');
  if (!mark) return;
  var none = mark.cloneNode(false);
  none.textContent = '\u0378';
  mark.after(d.createTextNode(' '), none);
  var out = [];
  [mark, none].forEach(function(e) {
    var range = d.createRange();
    range.selectNodeContents(e);
    var r = range.getBoundingClientRect();
    out.push(Math.round(r.left), Math.round(r.top), Math.round(r.width), Math.round(r.height));
  });
  document.getElementById('boxes').textContent = out.join(' ');
};
</script></body></html>
)";

std::vector<std::string> chromium_argv(const std::string& profile) {
  return {"/usr/bin/timeout", "60", kChromium, "--headless", "--no-sandbox", "--disable-gpu",
          "--disable-quic", "--no-first-run", "--disable-background-networking",
          "--disable-component-update", "--disable-sync", "--user-data-dir=" + profile,
          "--window-size=800,600", "--force-device-scale-factor=1", "--hide-scrollbars",
          "--virtual-time-budget=10000"};
}

RunResult run_chromium(const std::string& profile, const std::vector<std::string>& extra) {
  std::vector<std::string> argv = chromium_argv(profile);
  argv.insert(argv.end(), extra.begin(), extra.end());
  return run_program(argv, {"PATH=/usr/bin:/bin", "HOME=" + profile});
}

// Whether Chromium runs here at all: a page of its own, no server involved.
bool chromium_runs(const std::string& profile, std::string& why) {
  if (access(kChromium.c_str(), X_OK) != 0) {
    why = "no " + kChromium;
    return false;
  }
  const RunResult r = run_chromium(profile, {"--dump-dom", "data:text/html,<p>chromium-runs</p>"});
  if (r.exit_code == 0 && r.out.find("chromium-runs") != std::string::npos) return true;
  why = "Chromium does not run here (exit " + std::to_string(r.exit_code) + "): " + r.err.substr(0, 2000);
  return false;
}

// An 8-bit RGB or RGBA PNG without interlacing (what Chromium writes), as gray levels.
struct Gray {
  int width = 0, height = 0;
  std::vector<unsigned char> pixels;
  int at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

uint32_t be32(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 |
         uint32_t(uint8_t(s[at + 2])) << 8 | uint32_t(uint8_t(s[at + 3]));
}

bool read_png(const std::string& bytes, Gray& image, std::string& why) {
  if (bytes.size() < 8 || bytes.compare(0, 8, "\x89PNG\r\n\x1A\n") != 0) return why = "not a PNG", false;
  std::string data;
  int channels = 0;
  for (size_t at = 8; at + 12 <= bytes.size();) {
    const uint32_t length = be32(bytes, at);
    const std::string type = bytes.substr(at + 4, 4);
    if (at + 12 + length > bytes.size()) return why = "a chunk past the end", false;
    if (type == "IHDR") {
      image.width = int(be32(bytes, at + 8));
      image.height = int(be32(bytes, at + 12));
      const int depth = uint8_t(bytes[at + 16]), color = uint8_t(bytes[at + 17]);
      const int interlace = uint8_t(bytes[at + 20]);
      if (depth != 8 || (color != 2 && color != 6) || interlace != 0) return why = "an unexpected PNG kind", false;
      channels = color == 2 ? 3 : 4;
    } else if (type == "IDAT") {
      data += bytes.substr(at + 8, length);
    }
    at += 12 + length;
  }
  if (channels == 0 || image.width <= 0 || image.height <= 0) return why = "no image header", false;
  const size_t stride = size_t(image.width) * channels;
  std::vector<unsigned char> raw((stride + 1) * image.height);
  uLongf raw_size = raw.size();
  if (uncompress(raw.data(), &raw_size, reinterpret_cast<const Bytef*>(data.data()), data.size()) != Z_OK ||
      raw_size != raw.size())
    return why = "image data do not inflate", false;
  std::vector<unsigned char> previous(stride, 0), line(stride);
  image.pixels.resize(size_t(image.width) * image.height);
  for (int y = 0; y < image.height; ++y) {
    const unsigned char* in = &raw[y * (stride + 1)];
    const int filter = in[0];
    for (size_t i = 0; i < stride; ++i) {
      const int a = i >= size_t(channels) ? line[i - channels] : 0, b = previous[i],
                c = i >= size_t(channels) ? previous[i - channels] : 0;
      int predicted = 0;
      switch (filter) {
        case 1: predicted = a; break;
        case 2: predicted = b; break;
        case 3: predicted = (a + b) / 2; break;
        case 4: {
          const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
          predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
          break;
        }
        default: break;
      }
      line[i] = static_cast<unsigned char>(in[1 + i] + predicted);
    }
    for (int x = 0; x < image.width; ++x) {
      const unsigned char* p = &line[size_t(x) * channels];
      image.pixels[size_t(y) * image.width + x] = static_cast<unsigned char>((p[0] * 3 + p[1] * 6 + p[2]) / 10);
    }
    previous = line;
  }
  return true;
}

TEST(SearcherBrowser, HomePageSearchShowsHits) {
  SearcherSite site;
  std::string why;
  if (!chromium_runs(site.root() + "probe-profile", why)) GTEST_SKIP() << why;
  write_file(site.www() + "driver.htm", kDriverPage);
  WebServer server(site);
  ASSERT_TRUE(server.started()) << "lighttpd did not start: " << server.log();

  const RunResult r = run_chromium(site.root() + "chromium-profile", {"--dump-dom", server.url("/driver.htm")});
  ASSERT_EQ(r.exit_code, 0) << r.err.substr(0, 2000);
  ASSERT_NE(r.out.find("<iframe"), std::string::npos) << "the driver page did not load: " << r.out;
  // The DOM comes out as UTF-8: 茶 is E8 8C B6.
  const std::string tea = "\xE8\x8C\xB6";
  EXPECT_NE(r.out.find("<b>2</b> hits for <b>" + tea + "</b>"), std::string::npos)
      << "the result page did not answer: " << r.out;
  EXPECT_NE(r.out.find("href=\"/docs/river.txt\">River tea house</a>"), std::string::npos);
  EXPECT_NE(r.out.find("<font color=\"#FF0000\">" + tea + "</font>"), std::string::npos);
  EXPECT_NE(r.out.find("value=\"" + tea + "\""), std::string::npos);  // the field keeps the word
  // The form's default order, relevance, is carried on.
  EXPECT_NE(r.out.find("name=\"o\" value=\"2\">"), std::string::npos) << r.out;
}

TEST(SearcherBrowser, ChineseResultPageShowsReadableCharacters) {
  SearcherSite site;
  std::string why;
  if (!chromium_runs(site.root() + "probe-profile", why)) GTEST_SKIP() << why;

  // A font that has 茶 (U+8336), as fontconfig finds it for the browser.
  std::string fonts;
  command_output("/usr/bin/fc-list ':charset=8336' family 2>&1", fonts);
  EXPECT_FALSE(fonts.empty()) << "no installed font has the character 茶 (fonts-arphic-uming)";

  write_file(site.www() + "shot.htm", kScreenshotPage);
  WebServer server(site);
  ASSERT_TRUE(server.started()) << "lighttpd did not start: " << server.log();
  const RunResult dom = run_chromium(site.root() + "dom-profile", {"--dump-dom", server.url("/shot.htm")});
  ASSERT_EQ(dom.exit_code, 0) << dom.err.substr(0, 2000);
  const size_t at = dom.out.find("<div id=\"boxes\">");
  ASSERT_NE(at, std::string::npos) << dom.out;
  std::istringstream numbers(dom.out.substr(at + 16, dom.out.find('<', at + 16) - at - 16));
  int box[8] = {};
  for (int& v : box) numbers >> v;
  ASSERT_TRUE(numbers) << "the result page did not answer with a marked hit: " << dom.out;
  ASSERT_GT(box[2] * box[3], 0);

  const std::string png = site.root() + "result.png";
  const RunResult shot =
      run_chromium(site.root() + "shot-profile", {"--screenshot=" + png, server.url("/shot.htm")});
  ASSERT_EQ(shot.exit_code, 0) << shot.err.substr(0, 2000);
  Gray image;
  ASSERT_TRUE(read_png(read_file(png), image, why)) << why;
  if (const char* keep = std::getenv("QM_KEEP_SCREENSHOT")) write_file(keep, read_file(png));

  // Inside the box of 茶: ink (not a blank), and unlike the box of the missing character.
  const int w = std::max(box[2], box[6]), h = std::max(box[3], box[7]);
  int ink = 0, differ = 0, area = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int ax = box[0] + x, ay = box[1] + y, bx = box[4] + x, by = box[5] + y;
      if (ax >= image.width || ay >= image.height || bx >= image.width || by >= image.height) continue;
      ++area;
      const int a = image.at(ax, ay), b = image.at(bx, by);
      if (a < 200) ++ink;
      if (std::abs(a - b) > 64) ++differ;
    }
  }
  ASSERT_GT(area, 0);
  EXPECT_GT(ink * 20, area) << "the box of 茶 is blank";
  EXPECT_GT(differ * 10, area) << "茶 is drawn like a character no font has (" << differ << " of " << area
                               << " pixels differ)";
}

}  // namespace
}  // namespace qm::test
