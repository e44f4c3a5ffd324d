// Text-only templates through whole exports: 8-bit, UTF-16LE and UTF-16BE templates into
// 8-bit (CP1252, Big5), 16-bit little- and big-endian and UTF-8 output files, with the
// byte-order marks; Python's codecs give the expected bytes.
#include <sstream>

#include "filters/html/tests/pagecast_fixture.h"

namespace pc::test {
namespace {

const char* const kOracle = R"PY(
s8 = "Gr\u00fc\u00dfe \u201cquoted\u201d \u2014 caf\u00e9 <b>&amp;</b>\r\nline 2\r\n"
s16 = "Gr\u00fc\u00dfe \u201cquoted\u201d \u2014 caf\u00e9 \u4e2d\u6587 \U0001F600 <b>\r\nline 2\r\n"
def tpl(enc):
    if enc == '8': return s8.encode('cp1252')
    if enc == 'le': return b'\xff\xfe' + s16.encode('utf-16-le')
    return b'\xfe\xff' + s16.encode('utf-16-be')
def narrow(s, codec):
    out = b''
    for ch in s:
        try: out += ch.encode(codec)
        except UnicodeEncodeError: out += b'@' * (len(ch.encode('utf-16-le')) // 2)
    return out
def expected(enc, out):
    if enc == '8':
        b = tpl('8')
        if out in ('cp1252', 'utf8'): return b
        if out == 'le': return b'\xff\xfe' + b.decode('latin-1').encode('utf-16-le')
        return b'\xfe\xff' + b.decode('latin-1').encode('utf-16-be')
    if out == 'cp1252': return narrow(s16, 'cp1252')
    if out == 'big5': return narrow(s16, 'cp950')
    if out == 'le': return b'\xff\xfe' + s16.encode('utf-16-le')
    if out == 'be': return b'\xfe\xff' + s16.encode('utf-16-be')
    return s16.encode('utf-8')
for enc in ('8', 'le', 'be'):
    for out in ('cp1252', 'big5', 'le', 'be', 'utf8'):
        if enc == '8' and out == 'big5': continue
        print(enc, out, tpl(enc).hex(), expected(enc, out).hex())
)PY";

std::string unhex(const std::string& h) {
  std::string b;
  for (size_t i = 0; i + 1 < h.size(); i += 2) b.push_back(char(std::stoi(h.substr(i, 2), nullptr, 16)));
  return b;
}

using PagecastTextTest = PagecastTest;

TEST_F(PagecastTextTest, TemplatesOfEveryFormIntoEveryOutputForm) {
  std::istringstream lines(python(dir_.path(), kOracle));
  std::string enc, out, tpl_hex, exp_hex;
  int cases = 0;
  while (lines >> enc >> out >> tpl_hex >> exp_hex) {
    std::string tpl = unhex(tpl_hex), expected = unhex(exp_hex);
    // Each output form with the byte order named, and the 16-bit forms once more with the
    // byte order left to the template (an 8-bit template then gives big-endian).
    std::vector<std::vector<Option>> variants;
    if (out == "cp1252") variants.push_back({word(KVXOPT_CHARSET, KVXCS_CP1252)});
    if (out == "big5") variants.push_back({word(KVXOPT_CHARSET, KVXCS_BIG5)});
    if (out == "utf8") variants.push_back({word(KVXOPT_CHARSET, KVXCS_UTF8)});
    if (out == "le") variants.push_back({word(KVXOPT_CHARSET, KVXCS_UNICODE), word(KVXOPT_CHARBYTEORDER, 2)});
    if (out == "be") variants.push_back({word(KVXOPT_CHARSET, KVXCS_UNICODE), word(KVXOPT_CHARBYTEORDER, 1)});
    if ((out == "le" && enc == "le") || (out == "be" && enc != "le"))
      variants.push_back({word(KVXOPT_CHARSET, KVXCS_UNICODE)});
    for (const auto& options : variants) {
      Result r = run("section wp\ntext cp1252 \"x\"\n", tpl, options);
      EXPECT_EQ(r.open, KVX_OK);
      EXPECT_EQ(r.run, KVX_OK) << enc << " into " << out;
      EXPECT_EQ(r.out, expected) << enc << " into " << out << " (" << options.size() << " options)";
      ++cases;
    }
  }
  EXPECT_EQ(cases, 17);
}

TEST_F(PagecastTextTest, BracesThatAreNoCommandsAndLongWordsPassThrough) {
  std::string long_word(3000, 'x');
  std::string tpl = "<style>p { color: red; } {{VELMINS NUMBER=Sections.Count}}</style>{" + long_word +
                    "}{\r\n}{ velmins ELEMENT=Pragma.Charset}";
  Result r = run("section wp\n", tpl, {word(KVXOPT_CHARSET, KVXCS_CP1252)});
  EXPECT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out, "<style>p { color: red; } {1}</style>{" + long_word + "}{\r\n}us-ascii");
}

TEST_F(PagecastTextTest, OneCharacterBetweenCommandsOfASixteenBitTemplate) {
  std::u16string t = u"{VELMINS ELEMENT=Pragma.Charset}x{VELMINS ELEMENT=Pragma.Charset}y";
  std::string tpl = "\xFF\xFE";
  for (char16_t c : t) tpl += std::string{char(c & 0xFF), char(c >> 8)};
  Result r = run("section wp\n", tpl, {word(KVXOPT_CHARSET, KVXCS_CP1252)});
  EXPECT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out, "us-asciixus-asciiy");
}

TEST_F(PagecastTextTest, EmptyTemplateValueFallsBackToTheDefaultTemplate) {
  Result r = run("section wp\ntext cp1252 \"Body text\"\npara\n", nullptr,
                 {{KVXOPT_TEMPLATE, std::string(1, '\0')}, word(KVXOPT_CHARSET, KVXCS_CP1252)});
  EXPECT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out.rfind("<html><head>\r\n", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("Body text</P>\r\n"), std::string::npos) << r.out;
}

TEST_F(PagecastTextTest, UnreadableOutputCharsetEndsTheExportWithTheFrameworksStatus) {
  std::string in = file("doc.kvx", "kvx-chunks 1\nsection wp\n");
  std::string tpl = file("t.tpt", "x");
  std::string out = dir_ / "out.htm";
  KVXHANDLE doc = 0, ex = 0;
  ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, in.c_str(), 0), KVX_OK);
  ASSERT_EQ(DASetOption(doc, KVXOPT_TEMPLATE, tpl.c_str(), uint32_t(tpl.size() + 1)), KVX_OK);
  ASSERT_EQ(EXOpenExport(doc, KVXEXPORT_HTML, KVXSPEC_PATH, out.c_str(), 0, nullptr, nullptr, nullptr, &ex), KVX_OK);
  KVXTestFailCall("DAGetOption", 99);  // the first option the run reads is the character set
  EXPECT_EQ(EXRunExport(ex), 99);
  KVXTestFailCall(nullptr, 0);
  EXPECT_EQ(EXCloseExport(ex), KVX_OK);
  EXPECT_EQ(DACloseDocument(doc), KVX_OK);
}

TEST_F(PagecastTextTest, MissingNamedTemplateIs1564) {
  Result r = run("section wp\n", nullptr, {text(KVXOPT_TEMPLATE, dir_ / "absent.tpt")});
  EXPECT_EQ(r.open, KVX_OK);
  EXPECT_EQ(r.run, 1564);
}

}  // namespace
}  // namespace pc::test
