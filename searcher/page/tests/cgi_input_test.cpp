// Tests of the CGI input reader and the request parameter parser.
#include "searcher/page/cgi_input.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/fatal.h"
#include "testsupport/test_files.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

using Expect = std::map<char, std::optional<std::string>>;

struct ParseCase {
  const char* label;
  std::string text;
  Expect slots;  // letters not listed must hold their defaults / be absent
  std::optional<std::string> keywords;
};

// Defaults after parsing: o, t, l, c, m, z and k always present.
const Expect kDefaults = {{'o', "0"}, {'t', "2"}, {'l', "0"}, {'c', "0"},
                          {'m', "0"}, {'z', ""},  {'k', ""}};

TEST(PageCgiParse, ParameterTable) {
  const ParseCase cases[] = {
      {"empty request: only defaults", "", {}, std::nullopt},
      {"repeated s joined with comma", "s=1&s=3", {{'s', "1,3"}}, std::nullopt},
      {"repeated p appended", "p=abc&p=def", {{'p', "abcdef"}}, "abcdef"},
      {"later empty value replaces", "t=1&t=", {{'t', ""}}, std::nullopt},
      {"later value replaces", "h=1&h=0", {{'h', "0"}}, std::nullopt},
      {"unknown letter and runs of &", "x=9&&&s=5&&", {{'s', "5"}}, std::nullopt},
      {"letters are case-sensitive", "S=1&P=x", {}, std::nullopt},
      {"second character not examined", "s-7", {{'s', "7"}}, std::nullopt},
      {"keyword text trimmed of blank , ; .", "p=%20%2Cabc.%3B", {{'p', "%20%2Cabc.%3B"}},
       "abc"},
      {"plus is a blank", "p=a+b", {{'p', "a+b"}}, "a b"},
      // 功 is A5 5C: its trail byte is a backslash and must stay.
      {"Big5 keyword escaped, 0x5C trail", "p=%A5%5C", {{'p', "%A5%5C"}}, "\xA5\x5C"},
      {"Big5 keyword raw, 0x5C trail", "p=\xA5\x5C&s=1", {{'p', "\xA5\x5C"}, {'s', "1"}},
       "\xA5\x5C"},
      {"truncated % with one digit", "p=ab%4", {{'p', "ab%4"}}, "ab"},
      {"truncated % at end", "p=ab%", {{'p', "ab%"}}, "ab"},
      {"malformed escape dropped with two chars", "p=a%G1b", {{'p', "a%G1b"}}, "ab"},
      {"s decoded", "s=1%2C2", {{'s', "1,2"}}, std::nullopt},
      {"truncated % in s", "s=1%2", {{'s', "1"}}, std::nullopt},
      {"empty second s leaves trailing comma", "s=1&s=", {{'s', "1,"}}, std::nullopt},
      {"one-character pair: empty value, absent", "s", {}, std::nullopt},
      {"one-character pair after value joins empty", "s=1&s", {{'s', "1,"}}, std::nullopt},
      {"one-character pair replaces with empty", "t=1&t", {{'t', ""}}, std::nullopt},
      {"k and z decoded", "k=1%2C3~5&z=20010101%2C20011231",
       {{'k', "1,3~5"}, {'z', "20010101,20011231"}}, std::nullopt},
      {"repeated k and z joined", "k=1&k=2&z=3&z=4", {{'k', "1,2"}, {'z', "3,4"}},
       std::nullopt},
      {"g joined, not decoded", "g=%41&g=b", {{'g', "%41,b"}}, std::nullopt},
      {"options kept as given", "o=2&t=1&l=1&c=9&m=1&a=7&b=31&f=1&i=x&e=y",
       {{'o', "2"}, {'t', "1"}, {'l', "1"}, {'c', "9"}, {'m', "1"}, {'a', "7"},
        {'b', "31"}, {'f', "1"}, {'i', "x"}, {'e', "y"}},
       std::nullopt},
      {"p that decodes to nothing", "p=+,.", {{'p', "+,."}}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    SearchRequest r;
    cgi_parse_params(r, c.text, "/nonexistent-program-dir/");
    Expect want = kDefaults;
    for (const auto& [letter, value] : c.slots) want[letter] = value;
    for (char letter : kRequestLetters) {
      SCOPED_TRACE(std::string("letter ") + letter);
      auto it = want.find(letter);
      EXPECT_EQ(r.slot(letter), it == want.end() ? std::nullopt : it->second);
    }
    EXPECT_EQ(r.keywords, c.keywords);
    EXPECT_EQ(r.config_path, "/nonexistent-program-dir/vesprin.ini");
  }
}

TEST(PageCgiParse, UrlDecode) {
  const std::pair<std::string, std::string> cases[] = {
      {"a%41%62c", "aAbc"},   {"%e4%bd", "\xE4\xBD"}, {"a+b+", "a b "},
      {"%", ""},              {"x%4", "x"},           {"x%4g", "x"},
      {"%%41", "1"},  // "%%4" is a malformed escape dropped whole; "1" follows
      {"100%25", "100%"},     {"%00z", std::string("\0z", 2)},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(url_decode(in), out) << in;
}

// ---- Reading the input --------------------------------------------------------------

struct InputCase {
  const char* label;
  std::optional<std::string> method, query, content_length;
  std::string body;
  const char* message;  // nullptr: read succeeds
  std::optional<std::string> s;
  size_t body_left = 0;  // bytes the reader must leave unread on success/failure
};

class PageCgiInput : public ::testing::Test {
 protected:
  void TearDown() override { fatal_reset(); }

  static CgiEnvironment env_of(const InputCase& c, std::istream& in) {
    std::map<std::string, std::string> vars;
    if (c.method) vars["REQUEST_METHOD"] = *c.method;
    if (c.query) vars["QUERY_STRING"] = *c.query;
    if (c.content_length) vars["CONTENT_LENGTH"] = *c.content_length;
    CgiEnvironment env;
    env.get = [vars](const char* name) -> std::optional<std::string> {
      auto it = vars.find(name);
      if (it == vars.end()) return std::nullopt;
      return it->second;
    };
    env.input = &in;
    return env;
  }
};

TEST_F(PageCgiInput, MethodsLengthsAndMessages) {
  const std::string q1023 = "s=1&p=" + std::string(1017, 'a');
  const std::string q1024 = q1023 + "a";
  const InputCase cases[] = {
      {"no REQUEST_METHOD", std::nullopt, "s=1", std::nullopt, "", kMsgNotCgi, {}},
      {"GET without QUERY_STRING", "GET", std::nullopt, std::nullopt, "", kMsgNoQueryString, {}},
      {"GET", "GET", "s=2", std::nullopt, "", nullptr, "2"},
      {"method compared case-blind", "get", "s=3", std::nullopt, "", nullptr, "3"},
      {"GET text of 1,023 bytes", "GET", q1023, std::nullopt, "", nullptr, "1"},
      {"GET text of 1,024 bytes", "GET", q1024, std::nullopt, "", kMsgTooLong, {}},
      {"POST reads CONTENT_LENGTH bytes", "POST", std::nullopt, "3", "s=1&p=x", nullptr, "1", 4},
      {"POST body of 1,023 bytes", "POST", std::nullopt, "1023", q1023, nullptr, "1"},
      {"POST text ends at its first NUL", "POST", std::nullopt, "5", std::string("s=1\0x", 5),
       nullptr, "1"},
      {"other methods read the body too", "PUT", std::nullopt, "3", "s=4", nullptr, "4"},
      {"CONTENT_LENGTH with blanks and sign", "POST", std::nullopt, " +3", "s=5", nullptr, "5"},
      // Too long is decided before anything is read.
      {"POST CONTENT_LENGTH 2000", "POST", std::nullopt, "2000", std::string(2000, 'x'),
       kMsgTooLong, {}, 2000},
      {"POST CONTENT_LENGTH 1024", "POST", std::nullopt, "1024", q1024, kMsgTooLong, {}, 1024},
      {"POST CONTENT_LENGTH huge", "POST", std::nullopt, "99999999999999999999999", "",
       kMsgTooLong, {}},
      {"POST negative CONTENT_LENGTH", "POST", std::nullopt, "-5", "s=1", kMsgTooLong, {}, 3},
      {"POST CONTENT_LENGTH 0", "POST", std::nullopt, "0", "s=1", kMsgBadPost, {}, 3},
      {"POST without CONTENT_LENGTH", "POST", std::nullopt, std::nullopt, "s=1", kMsgBadPost, {},
       3},
      {"POST CONTENT_LENGTH not a number", "POST", std::nullopt, "abc", "s=1", kMsgBadPost, {}, 3},
      {"POST body shorter than announced", "POST", std::nullopt, "10", "s=1", kMsgBadPost, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::istringstream in(c.body);
    SearchRequest r;
    r.slot('s') = "stale";
    std::string error;
    if (c.message) {
      EXPECT_FALSE(cgi_read_input(r, env_of(c, in), "/p/", error));
      EXPECT_EQ(error, c.message);
      EXPECT_FALSE(r.present('s'));
    } else {
      EXPECT_TRUE(cgi_read_input(r, env_of(c, in), "/p/", error));
      EXPECT_EQ(error, "");
      EXPECT_EQ(r.slot('s'), c.s);
      EXPECT_EQ(r.config_path, "/p/vesprin.ini");
    }
    if (c.body_left) {
      in.clear();
      std::string rest((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      EXPECT_EQ(rest.size(), c.body_left);
    }
  }
}

// A malformed input never ends the process, whatever the program: the message comes back.
TEST_F(PageCgiInput, FailureComesBackToTheCaller) {
  std::string reported;
  InputCase c{"", std::nullopt, std::nullopt, std::nullopt, "", nullptr, {}};
  std::istringstream in;
  SearchRequest r;
  EXPECT_FALSE(cgi_read_input(r, env_of(c, in), "/p/", reported));
  EXPECT_EQ(reported, kMsgNotCgi);
}

// The Big5 message, checked against the system's CP950 converter.
TEST(PageCgiMessages, NoQueryStringMessageIsBig5) {
  iconv_t cd = iconv_open("UTF-8", "CP950");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string in = kMsgNoQueryString;
  std::string out(256, '\0');
  char* ip = in.data();
  char* op = out.data();
  size_t il = in.size(), ol = out.size();
  ASSERT_NE(iconv(cd, &ip, &il, &op, &ol), static_cast<size_t>(-1));
  iconv_close(cd);
  out.resize(out.size() - ol);
  EXPECT_EQ(out, "抓取環境變數錯誤！ ");
}

// ---- Parameter d: another configuration file inside the program directory ----------

class PageCgiConfigPath : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::path(tmp_.dir());
    root_ = fs::canonical(root_);
    prog_ = root_ / "prog";
    fs::create_directories(prog_ / "sub");
    fs::create_directories(root_ / "prog2");
    touch(prog_ / "vesprin.ini");
    touch(prog_ / "other.ini");
    touch(prog_ / "sub" / "deep.ini");
    touch(prog_ / "\xA5\x5C.ini");  // 功.ini: trail byte 0x5C
    touch(root_ / "outside.ini");
    touch(root_ / "prog2" / "a.ini");
    fs::create_symlink(root_ / "outside.ini", prog_ / "out-link.ini");
    fs::create_symlink(prog_ / "other.ini", prog_ / "in-link.ini");
  }
  static void touch(const fs::path& p) { std::ofstream(p) << "[VESPRIN]\n"; }
  std::string dir() const { return prog_.string() + "/"; }

  qm::test::TempDir tmp_{"qm_page_d"};
  fs::path root_, prog_;
};

TEST_F(PageCgiConfigPath, AcceptedOnlyInsideProgramDirectory) {
  struct Case {
    const char* label;
    std::string d;                  // as it stands in the request
    std::optional<std::string> to;  // accepted path relative to the program dir
  };
  const std::string abs_other = prog_.string() + "/other.ini";
  const Case cases[] = {
      {"relative name", "other.ini", "other.ini"},
      {"absolute, escaped", "%2F" + abs_other.substr(1), "other.ini"},
      {"backslash separator", "sub%5Cdeep.ini", "sub/deep.ini"},
      {"Big5 name with 0x5C trail byte", "%A5%5C.ini", "\xA5\x5C.ini"},
      {"link to a file inside", "in-link.ini", "other.ini"},
      {"missing file", "missing.ini", std::nullopt},
      {"parent directory", "..%2Foutside.ini", std::nullopt},
      {"sibling with the same prefix", "../prog2/a.ini", std::nullopt},
      {"absolute outside", "/etc/passwd", std::nullopt},
      {"link to a file outside", "out-link.ini", std::nullopt},
      {"a directory", "sub", std::nullopt},
      {"the program directory itself", ".", std::nullopt},
      {"NUL in the name", "other.ini%00x", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    SearchRequest r;
    cgi_parse_params(r, "s=1&d=" + c.d, dir());
    if (c.to) {
      EXPECT_EQ(r.config_path, dir() + *c.to);
      EXPECT_EQ(r.slot('d'), c.d);
    } else {
      EXPECT_EQ(r.config_path, dir() + "vesprin.ini");
      EXPECT_FALSE(r.present('d'));
    }
    EXPECT_EQ(r.value('s'), "1");
  }
}

}  // namespace
}  // namespace qm
