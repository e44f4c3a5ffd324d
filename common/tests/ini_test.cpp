// Tests of the configuration file engine: parsing, look-ups and edits, the bytes saved,
// safe replacement, the case-blind name fallback, and Python's configparser as an
// independent reader of what we write.
#include "common/ini.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "testsupport/test_files.h"

// GCC 12 warns falsely (-Wrestrict, GCC bug 105329) about string concatenations that it
// inlines in this file.
#pragma GCC diagnostic ignored "-Wrestrict"

namespace fs = std::filesystem;
using qm::IniTree;

namespace {

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override { qm::ini_free(); }
  void TearDown() override { qm::ini_free(); }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  void write(const std::string& name, const std::string& bytes) const {
    std::ofstream(path(name), std::ios::binary) << bytes;
  }
  std::string read(const std::string& name) const { return qm::test::read_file(path(name)); }
  qm::test::TempDir tmp_{"qm_ini_"};
  std::string dir_ = tmp_.dir();
};

// The tree as one line per node: "[section]" and "key=value".
std::string dump(const IniTree& tree) {
  std::string out;
  for (const qm::IniSection& s : tree.sections()) {
    out += "[" + s.name + "]";
    for (const qm::IniKey& k : s.keys) out += " " + k.name + "=" + k.value;
    out += ";";
  }
  return out;
}

}  // namespace

TEST(IniParse, LinesSectionsAndKeys) {
  struct Case {
    const char* what;
    std::string text;
    std::string tree;
  };
  const Case cases[] = {
      {"blank lines only", " \n\t\r\n\n", ""},
      {"blanks around and inside the header", "  [ Index ]  \n1=1\n", "[Index] 1=1;"},
      {"empty header keeps the section", "[A]\nx=1\n[ ]\ny=2\n", "[A] x=1 y=2;"},
      {"keys before the first section dropped", "x=1\n[A]\ny=2\n", "[A] y=2;"},
      {"blanks and tabs trimmed", "[A]\n \tkey \t= \tvalue with blank\t \n", "[A] key=value with blank;"},
      {"empty value kept", "[A]\nkey=\n", "[A] key=;"},
      {"empty name ignored", "[A]\n=x\n", "[A];"},
      {"split at the first =", "[A]\nMark=<FONT COLOR=#FF0000>\n", "[A] Mark=<FONT COLOR=#FF0000>;"},
      {"line without = ignored", "[A]\njunk\nk=v\n", "[A] k=v;"},
      {"CR LF, lone CR and LF all end lines", "[A]\r\na=1\rb=2\nc=3", "[A] a=1 b=2 c=3;"},
      {"0x1A ends the text", std::string("[A]\na=1\n\x1a[B]\nb=2\n"), "[A] a=1;"},
      {"duplicates stay separate", "[A]\nk=1\nk=2\n[a]\nk=3\n", "[A] k=1 k=2;[a] k=3;"},
      {"header needs a closing bracket", "[A]\n[B\nk=v\n", "[A] k=v;"},
      {"text after the bracket ignored", "[A] tail\nk=v\n", "[A] k=v;"},
  };
  for (const Case& c : cases) {
    IniTree tree;
    tree.parse(c.text);
    EXPECT_EQ(dump(tree), c.tree) << c.what;
  }
}

TEST_F(IniFileTest, LoadResults) {
  write("empty.ini", "");
  write("blank.ini", "\n\n  \n");
  write("eof.ini", "\x1a[A]\nk=v\n");
  EXPECT_FALSE(qm::ini_load(path("empty.ini")));
  EXPECT_TRUE(qm::ini_file_name().empty());
  EXPECT_FALSE(qm::ini_load(path("missing.ini")));
  EXPECT_FALSE(qm::ini_load(path("eof.ini")));  // nothing read before the end byte
  ASSERT_TRUE(qm::ini_load(path("blank.ini")));
  EXPECT_TRUE(qm::ini_get_root().empty());
  EXPECT_EQ(qm::ini_file_name(), path("blank.ini"));
  // A failed load frees the tree in hand.
  EXPECT_FALSE(qm::ini_load(path("missing.ini")));
  EXPECT_TRUE(qm::ini_file_name().empty());
}

TEST_F(IniFileTest, RealFileRoundTripGivesExactBytes) {
  // Big5 values (one whose trail byte is 0x5C), CR LF lines, duplicate keys and sections,
  // an empty value, a section without keys, junk lines and a 0x1A end.
  const std::string original =
      "; written by hand\r\n"
      "[VESPRIN]\r\n"
      "Searcher=http://localhost/cgi-bin/searcher\r\n"
      "HomePage = http://localhost/search/index.htm \r\n"
      "SystemAdm=admin@example.com\r\n"
      "MarkBeginText=<FONT COLOR=#FF0000>\r\n"
      "CacheDir=\r\n"
      "\r\n"
      "[INDEX]\r\n"
      "1=1\r\n"
      "2=0\r\n"
      "1=0\r\n"
      "[DB-1]\r\n"
      "Description=\xb8\xea\xae\xc6\xae\x77\r\n"             // 資料庫
      "HtmlDir=D:\\docs\\\xb3\x5c\xa5\x5c\\\r\n"              // D:\docs\許功\ .
      "[HISTORY]\r\n"
      "[index]\r\n"
      "9=1\r\n"
      "\x1a"
      "[AFTER]\r\nx=1\r\n";
  write("vesprin.ini", original);
  ASSERT_TRUE(qm::ini_load(path("vesprin.ini")));
  ASSERT_TRUE(qm::ini_save());
  const std::string expected =
      "\n[VESPRIN]\n"
      "Searcher=http://localhost/cgi-bin/searcher\n"
      "HomePage=http://localhost/search/index.htm\n"
      "SystemAdm=admin@example.com\n"
      "MarkBeginText=<FONT COLOR=#FF0000>\n"
      "\n[INDEX]\n"
      "1=1\n"
      "2=0\n"
      "1=0\n"
      "\n[DB-1]\n"
      "Description=\xb8\xea\xae\xc6\xae\x77\n"
      "HtmlDir=D:\\docs\\\xb3\x5c\xa5\x5c\\\n"
      "\n[HISTORY]\n"
      "\n[index]\n"
      "9=1\n";
  EXPECT_EQ(read("vesprin.ini"), expected);
  // Saving what was saved changes nothing.
  ASSERT_TRUE(qm::ini_load(path("vesprin.ini")));
  ASSERT_TRUE(qm::ini_save());
  EXPECT_EQ(read("vesprin.ini"), expected);
}

TEST_F(IniFileTest, EmptyTreeSavesEmptyFile) {
  write("x.ini", "old");
  qm::ini_set_file(path("x.ini"));
  ASSERT_TRUE(qm::ini_save());
  EXPECT_EQ(read("x.ini"), "");
  qm::ini_free();
  EXPECT_FALSE(qm::ini_save());  // no file name
}

TEST(IniTree, LookupsAndEditsTakeTheFirstMatch) {
  IniTree t;
  t.parse("[A]\nk=1\nk=2\n[B]\nb=1\n[a]\nk=3\nonly=later\n");
  EXPECT_EQ(t.get("a", "K"), "1");
  EXPECT_EQ(t.get("A", "only"), "later");  // a later section of the same name is searched
  EXPECT_EQ(t.get("A", "none"), std::nullopt);
  EXPECT_EQ(t.get("C", "k"), std::nullopt);

  t.set("A", "k", "x");        // first key of the first section
  t.set("A", "only", "first"); // added to the first section, the later one untouched
  t.set("C", "new", "v");      // new section at the end
  EXPECT_EQ(dump(t), "[A] k=x k=2 only=first;[B] b=1;[a] k=3 only=later;[C] new=v;");

  EXPECT_TRUE(t.delete_key("A", "K"));
  EXPECT_EQ(dump(t), "[A] k=2 only=first;[B] b=1;[a] k=3 only=later;[C] new=v;");
  EXPECT_FALSE(t.delete_key("B", "k"));
  EXPECT_FALSE(t.delete_key("Z", "k"));
  EXPECT_TRUE(t.delete_section("a"));  // the first of that name
  EXPECT_EQ(dump(t), "[B] b=1;[a] k=3 only=later;[C] new=v;");
  EXPECT_FALSE(t.delete_section("Z"));

  EXPECT_TRUE(t.has_section("c"));
  EXPECT_FALSE(t.has_section("Z"));
  EXPECT_TRUE(t.rename_section("b", "Bee"));
  EXPECT_FALSE(t.rename_section("Z", "x"));
  EXPECT_TRUE(t.rename_key("A", "ONLY", "once"));
  EXPECT_FALSE(t.rename_key("A", "none", "x"));
  EXPECT_EQ(dump(t), "[Bee] b=1;[a] k=3 once=later;[C] new=v;");
}

// Large trees look sections up through an index of folded names: the same first-match
// rules hold through edits that add, remove and rename sections.
TEST(IniTree, LargeTreesFindTheSameSections) {
  std::string filler, filler_dump;
  for (int i = 0; i < 40; ++i) {
    filler += "[F" + std::to_string(i) + "]\nx=" + std::to_string(i) + "\n";
    filler_dump += "[F" + std::to_string(i) + "] x=" + std::to_string(i) + ";";
  }
  IniTree t;
  t.parse(filler + "[A]\nk=1\n[\xA4\x41]\np=big5\n[a]\nk=3\nonly=later\n");
  EXPECT_EQ(t.get("f39", "X"), "39");
  EXPECT_EQ(t.get("A", "only"), "later");
  EXPECT_EQ(t.get("\xA4\x61", "p"), std::nullopt);  // a Big5 pair is not a letter
  EXPECT_EQ(t.get("\xA4\x41", "p"), "big5");
  t.set("C", "new", "v");
  EXPECT_EQ(t.get("c", "new"), "v");
  EXPECT_TRUE(t.delete_section("a"));
  EXPECT_EQ(t.get("A", "k"), "3");
  EXPECT_TRUE(t.rename_section("A", "Bee"));
  EXPECT_EQ(t.get("bee", "k"), "3");
  EXPECT_FALSE(t.has_section("A"));
  EXPECT_TRUE(t.delete_section("F0"));
  EXPECT_EQ(t.get("F1", "x"), "1");
  EXPECT_EQ(t.get("F0", "x"), std::nullopt);
  t.set("F0", "x", "again");
  EXPECT_EQ(dump(t), filler_dump.substr(filler_dump.find(';') + 1) +
                         "[\xA4\x41] p=big5;[Bee] k=3 only=later;[C] new=v;[F0] x=again;");
  t.parse("[Z]\nz=1\n");
  EXPECT_EQ(t.get("F1", "x"), std::nullopt);
  EXPECT_EQ(t.get("z", "z"), "1");
}

TEST(IniTree, EnumeratesTheKeysOfOneSection) {
  IniTree t;
  t.parse("[A]\nx=1\n[B]\nb1=one\nb2=\n[C]\n");
  std::string key, value;
  std::vector<std::string> seen;
  for (bool ok = t.enumerate("b", key, &value); ok; ok = t.enumerate(std::nullopt, key, &value))
    seen.push_back(key + "=" + value);
  EXPECT_EQ(seen, (std::vector<std::string>{"b1=one", "b2="}));
  EXPECT_FALSE(t.enumerate(std::nullopt, key));  // stays at the end
  EXPECT_FALSE(t.enumerate("C", key));           // no keys
  EXPECT_FALSE(t.enumerate("Z", key));           // no section
  IniTree empty;
  EXPECT_FALSE(empty.enumerate("A", key));

  // Removing other keys or sections while enumerating leaves the rest to come; removing
  // the key under the cursor ends the enumeration.
  IniTree edits;
  edits.parse("[A]\nx=1\n[B]\nk1=1\nk2=2\nk3=3\nk4=4\n");
  seen.clear();
  for (bool ok = edits.enumerate("B", key); ok; ok = edits.enumerate(std::nullopt, key)) {
    seen.push_back(key);
    if (key == "k2") {
      edits.delete_key("B", "k1");
      edits.delete_section("A");
    }
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"k1", "k2", "k3", "k4"}));
  ASSERT_TRUE(edits.enumerate("B", key));
  EXPECT_TRUE(edits.delete_key("B", "k2"));
  EXPECT_FALSE(edits.enumerate(std::nullopt, key));
}

TEST_F(IniFileTest, ReadAndWriteOneValue) {
  std::string out = "untouched";
  EXPECT_FALSE(qm::ini_read_value("A", "k", out, std::nullopt, path("missing.ini")));
  EXPECT_EQ(out, "untouched");
  EXPECT_FALSE(qm::ini_read_value("A", "k", out, "dflt", path("missing.ini")));
  EXPECT_EQ(out, "dflt");

  // Writing to a missing file creates it.
  ASSERT_TRUE(qm::ini_write_value("VESPRIN", "TmplError", "error.htm", path("new.ini")));
  EXPECT_EQ(read("new.ini"), "\n[VESPRIN]\nTmplError=error.htm\n");
  EXPECT_TRUE(qm::ini_get_root().empty());  // freed after the write
  ASSERT_TRUE(qm::ini_write_value("INDEX", "3", "1", path("new.ini")));
  ASSERT_TRUE(qm::ini_write_value("vesprin", "TmplError", "err.htm", path("new.ini")));
  EXPECT_EQ(read("new.ini"), "\n[VESPRIN]\nTmplError=err.htm\n\n[INDEX]\n3=1\n");

  EXPECT_TRUE(qm::ini_read_value("VESPRIN", "TmplError", out, std::nullopt, path("new.ini")));
  EXPECT_EQ(out, "err.htm");
  EXPECT_FALSE(qm::ini_read_value("VESPRIN", "none", out, "d", path("new.ini")));
  EXPECT_EQ(out, "d");
  EXPECT_TRUE(qm::ini_get_root().empty());

  EXPECT_FALSE(qm::ini_write_value("A", "k", "v", path("no/such/dir/x.ini")));
  EXPECT_TRUE(qm::ini_get_root().empty());
}

TEST_F(IniFileTest, SaveKeepsModeAndFailsWithoutHarm) {
  write("vesprin.ini", "[A]\nk=v\n");
  ::chmod(path("vesprin.ini").c_str(), 0640);
  ASSERT_TRUE(qm::ini_load(path("vesprin.ini")));
  qm::ini_set("A", "k", "w");
  ASSERT_TRUE(qm::ini_save());
  struct stat st{};
  ASSERT_EQ(::stat(path("vesprin.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(read("vesprin.ini"), "\n[A]\nk=w\n");
  // No stray temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);

  // A file that cannot be written: false, the tree as it was.
  qm::ini_set_file(path("gone/vesprin.ini"));
  EXPECT_FALSE(qm::ini_save());
  EXPECT_EQ(qm::ini_get("A", "k"), "w");
}

TEST_F(IniFileTest, ValuesCannotBreakTheFileIntoLines) {
  qm::ini_set_file(path("x.ini"));
  qm::ini_set("A", "Description", "one\r\n[VESPRIN]\nSearcher=evil");
  qm::ini_set("A", "Note", std::string("kept\x1a" "lost"));
  qm::ini_set("A", "After", "1");
  ASSERT_TRUE(qm::ini_save());
  EXPECT_EQ(read("x.ini"), "\n[A]\nDescription=one\nNote=kept\nAfter=1\n");
}

TEST_F(IniFileTest, OpensAnOldSpellingOfTheName) {
  write("VESPRIN.INI", "[VESPRIN]\nSearcher=s\n");
  ASSERT_TRUE(qm::ini_load(path("vesprin.ini")));
  EXPECT_EQ(qm::ini_get("vesprin", "searcher"), "s");
  qm::ini_set("VESPRIN", "HomePage", "h");
  ASSERT_TRUE(qm::ini_save());
  // Written back to the file that was read, not to a second one.
  EXPECT_FALSE(fs::exists(path("vesprin.ini")));
  EXPECT_EQ(read("VESPRIN.INI"), "\n[VESPRIN]\nSearcher=s\nHomePage=h\n");
}

// Python's configparser reads the file we write as we do.
TEST_F(IniFileTest, PythonConfigParserReadsWhatWeWrite) {
  if (std::system("python3 -c pass >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 not available";
  IniTree t;
  t.parse(
      "[VESPRIN]\r\nSearcher=http://localhost/cgi-bin/searcher\r\n"
      "MarkBeginText=<FONT COLOR=#FF0000>\r\nMarkEndText=</FONT>\r\nCacheDir=\r\n"
      "Percent=100% done\r\n"
      "[INDEX]\r\n1=1\r\n12=0\r\n"
      "[DB-1]\r\nDescription=\xb8\xea\xae\xc6\xae\x77\r\n"
      "HtmlDir=D:\\docs\\\xb3\x5c\xa5\x5c\xbb\x5c\r\nDataInputPort=a;b;c\r\n"
      "[StopPath-1]\r\n[Alias-1]\r\n1=\xad\xba\xad\xb6\r\n");
  t.set_file(path("vesprin.ini"));
  ASSERT_TRUE(t.save());

  const std::string script = path("read.py");
  std::ofstream(script) << R"PY(
import configparser, sys
p = configparser.ConfigParser(strict=False, interpolation=None, delimiters=('=',))
p.optionxform = str
with open(sys.argv[1], encoding='latin-1', newline='') as f:
    p.read_file(f)
for s in p.sections():
    items = p.items(s)
    print('[' + s.encode('latin-1').hex() + ']' + ''.join(
        ' ' + k.encode('latin-1').hex() + '=' + v.encode('latin-1').hex() for k, v in items) + ';', end='')
)PY";
  std::string python;
  ASSERT_EQ(qm::test::command_output("python3 " + script + " " + path("vesprin.ini"), python), 0);

  auto hex = [](const std::string& s) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
      out += digits[c >> 4];
      out += digits[c & 15];
    }
    return out;
  };
  // Our own reading of the same file, minus the empty value that is not written.
  IniTree back;
  ASSERT_TRUE(back.load(path("vesprin.ini")));
  std::string ours;
  for (const qm::IniSection& s : back.sections()) {
    ours += "[" + hex(s.name) + "]";
    for (const qm::IniKey& k : s.keys) ours += " " + hex(k.name) + "=" + hex(k.value);
    ours += ";";
  }
  EXPECT_EQ(python, ours);
  EXPECT_NE(ours.find(hex("Percent") + "=" + hex("100% done")), std::string::npos);
  EXPECT_EQ(ours.find(hex("CacheDir")), std::string::npos);
}
