// Statements through whole exports over a three-section document: VELMIF by section type
// with ELSEIF, ELSE and CONDITION, VELMREP with the NUMBER endings, VELMINC and VELMDEC,
// VELMINCLUDE (also of a 16-bit template), VELMIGNORE, optional closers, quoted values,
// and host elements with the HOSTELEMENT, ELEMENTTEXT and BEFORETEXT callbacks.
#include "filters/html/tests/pagecast_fixture.h"

namespace pc::test {
namespace {

const char* const kDoc =
    "section wp \"One\"\ntext cp1252 \"first\"\npara\nsection ss \"Two\"\ntext cp1252 \"b\"\n"
    "section db \"Three\"\ntext cp1252 \"c\"\n";
const std::vector<Option> kCp1252 = {word(KVXOPT_CHARSET, KVXCS_CP1252)};

using PagecastStatementsTest = PagecastTest;

TEST_F(PagecastStatementsTest, Cases) {
  struct Case {
    const char* tpl;
    const char* out;
  } cases[] = {
      {"{VELMREP ELEMENT=Sections}{VELMIF ELEMENT=Sections.Current.Type VALUE=SS}S"
       "{VELMELSEIF ELEMENT=Sections.Current.Type VALUE=db}D{VELMELSE}W{/VELMIF}{/VELMREP}",
       "WSD"},
      {"{velmif element=sections.4 condition=notexists}none{/velmif}{VELMIF ELEMENT=Sections.3}three{/VELMIF}",
       "nonethree"},
      {"{VELMIF ELEMENT=Sections.Current.Footnotes.1.Body}notes{VELMELSE}no notes{/VELMIF}", "no notes"},
      {"{VELMINS NUMBER=Sections.Count} {VELMINS NUMBER=Sections.CountB0} "
       "{VELMREP ELEMENT=Sections}[{VELMINS NUMBER=Sections.Value}/{VELMINS NUMBER=Sections.ValueB0}]{/VELMREP}",
       "3 2 [1/0][2/1][3/2]"},
      {"{VELMINS NUMBER=Sections.Current.Footnotes.Count} {VELMINS NUMBER=Sections.Current.Footnotes.CountB0}",
       "0 -1"},
      {"{VELMREP ELEMENT=Sections.Current.Footnotes}x{VELMINS ELEMENT=Sections.Current.Body}{/VELMREP}", ""},
      {"a{VELMINS ELEMENT=Sections.Current.Type}{VELMINC ELEMENT=Sections}{VELMINS ELEMENT=Sections.Current.Type}"
       "{VELMINC ELEMENT=Sections.Current}{/VELMINC}{VELMINS ELEMENT=Sections.Current.Type}"
       "{VELMINC ELEMENT=Sections}{VELMINS ELEMENT=Sections.Current.Type}"
       "{VELMDEC ELEMENT=Sections}{VELMDEC ELEMENT=Sections}{VELMDEC ELEMENT=Sections}{VELMDEC ELEMENT=Sections}"
       "{VELMINS ELEMENT=Sections.Current.Type}{VELMINS ELEMENT=Sections.Next.Type}b",
       "a0120b"},
      {"{VELMREP ELEMENT=Sections}{VELMINCLUDE TEMPLATE=inc.tpt}{/VELMINCLUDE}{/VELMREP}", "<0><1><2>"},
      {"x{VELMINCLUDE TEMPLATE=\"inc 16.tpt\"}y", "x\xE9-\xE9y"},
      {"{VELMIGNORE}{VELMINS ELEMENT=Nothing} {{/VELMIGNORE}", "{VELMINS ELEMENT=Nothing} {"},
      {"{VELMINS ELEMENT=Pragma.Charset}{/VELMINS} {VELMINS ELEMENT=Pragma.SourceFileName}", "us-ascii doc.kvx"},
      {"<h1>{VELMINS ELEMENT=Sections.2.Body.Title}</h1>{VELMINS ELEMENT=Sections.1.Body}", "<h1>Two</h1><P><A NAME=\"s1content\"></A><A NAME=\"s1body\"></A>first</P>\r\n"},
  };
  file("inc.tpt", "<{VELMINS ELEMENT=Sections.Current.Type}>");
  file("inc 16.tpt", std::string("\xFF\xFE\xE9\0-\0\xE9\0", 8));
  for (const Case& c : cases) {
    Result r = run(kDoc, c.tpl, kCp1252);
    EXPECT_EQ(r.run, KVX_OK) << c.tpl;
    EXPECT_EQ(r.out, c.out) << c.tpl;
  }
}

TEST_F(PagecastStatementsTest, HostElementsAndTheirCallbacks) {
  host_.answers[KVXCB_EXPORTSTART] = KVX_OK;
  host_.host_elements = {"MyHost", nullptr};
  file("b.tpt", "linked");
  std::string tpl = "a{VELMINS ELEMENT=myhost.some thing}b{VELMINS OEM=\"hello, world\"}c{VELMLINK TEMPLATE=b.tpt}";
  Result r = run(kDoc, tpl, {word(KVXOPT_CHARSET, KVXCS_CP1252), word(KVXOPT_16, 201)});
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out, "ab[host]cout_1.htm");
  EXPECT_NE(host_.log.find("261 \"myhost.some thing\" 18\n"), std::string::npos) << host_.log;
  EXPECT_NE(host_.log.find("259 \"hello, world\"\n"), std::string::npos) << host_.log;
  EXPECT_NE(host_.log.find("260 size 24 position 9 length 9\n"), std::string::npos) << host_.log;
  // Without option 16 = 201 no BEFORETEXT; a host answering 1 at the start has no elements.
  host_.log.clear();
  Result quiet = run(kDoc, "{VELMLINK TEMPLATE=b.tpt}", {word(KVXOPT_CHARSET, KVXCS_CP1252), word(KVXOPT_16, 200)});
  EXPECT_EQ(quiet.run, KVX_OK);
  EXPECT_EQ(host_.log.find("260"), std::string::npos) << host_.log;
  host_.answers[KVXCB_EXPORTSTART] = 1;
  Result refused = run(kDoc, "{VELMINS ELEMENT=MyHost}", kCp1252);
  EXPECT_EQ(refused.run, 1537);
}

TEST_F(PagecastStatementsTest, HostElementAnswerStopsTheReplay) {
  host_.answers[KVXCB_HOSTELEMENT] = 66;
  Result r = run(kDoc, "a{VELMINS OEM=x}b", kCp1252);
  EXPECT_EQ(r.run, 9);
}

}  // namespace
}  // namespace pc::test
