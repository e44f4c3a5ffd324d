// Mail databases: the DataInputPort fields and pages cut into paragraphs in-process (also
// pages the gateway's writer makes), then the program `indexer` end to end over the
// generated mailboxes of mail/tests (CR LF and LF) with the built libpostbridge.so:
// documents, dates and subjects against the side files postbridge writes, attachment
// words only with -mail and inside their AttachInfo range, office attachments through
// the real docpress, and failed or stopped builds that leave the previous database
// byte-identical.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "index/index_reader.h"
#include "indexer/mail_build.h"
#include "indexer/tests/live_indexer.h"
#include "mail/postbridge/mail_page.h"
#include "mail/side_files_format.h"
#include "platform/le.h"
#include "platform/process.h"
#include "searcher/database_search.h"
#include "searcher/query_evaluate.h"
#include "searcher/query_parser.h"
#include "testsupport/test_files.h"


namespace {

namespace fs = std::filesystem;

TEST(MailPort, Fields) {
  struct Case {
    const char* value;
    bool ok;
    const char* gateway;
    const char* source;
  };
  const Case cases[] = {
      {"C:\\Q\\postbridge.dll;C:\\Mail\\Inbox.mbx;C:\\Q\\DB\\Inbox\\", true, "C:/Q/postbridge.dll",
       "C:/Mail/Inbox.mbx"},
      {"/q/postbridge.dll;outlook:00AB\\CD;/q/DB/x/;Personal\\Inbox", true, "/q/postbridge.dll",
       "outlook:00AB\\CD"},
      {"/q/postbridge.dll;/m/box", false, "", ""},
      {"/q/postbridge.dll;/m/box;/w/;/h;extra", false, "", ""},
      {"/q/postbridge.dll;/m/box;/w/;/h", false, "", ""},  // four fields need the key
      {";/m/box;/w/", false, "", ""},
      {"", false, "", ""},
  };
  for (const Case& c : cases) {
    qm::MailPort port;
    std::string error;
    EXPECT_EQ(qm::mail_parse_port(c.value, port, error), c.ok) << c.value;
    if (!c.ok) {
      EXPECT_FALSE(error.empty()) << c.value;
      continue;
    }
    EXPECT_EQ(port.gateway, c.gateway);
    EXPECT_EQ(port.source, c.source);
  }
}

// The gateway named in DataInputPort is libpostbridge.so in its folder when that holds
// one, else the program directory's.
TEST(MailPort, GatewayFile) {
  qm::test::TempDir tmp{"qm-mailgw-"};
  const std::string there = tmp.path() + "there/", prog = tmp.path() + "prog/";
  fs::create_directories(there);
  fs::create_directories(prog);
  std::ofstream(there + "libpostbridge.so") << "x";
  struct Case {
    std::string gateway, file;
  };
  const Case cases[] = {
      {there + "postbridge.dll", there + "libpostbridge.so"},
      {there + "POSTBRIDGE.DLL", there + "libpostbridge.so"},
      {tmp.path() + "elsewhere/postbridge.dll", prog + "libpostbridge.so"},
      {"postbridge.dll", prog + "libpostbridge.so"},
  };
  for (const Case& c : cases) {
    qm::MailPort port;
    port.gateway = c.gateway;
    EXPECT_EQ(qm::mail_gateway_file(port, prog), c.file) << c.gateway;
  }
}

TEST(MailPage, ParagraphsAndSections) {
  const std::string page =
      "<TITLE>Hello there</TITLE>\n<H1>Ann {ann@x.tw}</H1>\n<BODY>line one\n\nline two</BODY>\n"
      "<T_ATTACH>a.txt</T_ATTACH>\r\nfirst para\n\nsecond para\n"
      "<T_ATTACH>b.pdf</T_ATTACH>\r\n<p>alpha</p><p>beta</p>";
  const qm::MailDocument d = qm::mail_page_document(page);
  const std::vector<std::string> want = {"Hello there", "Ann {ann@x.tw}", "line one line two",
                                         "a.txt", "first para", "second para",
                                         "b.pdf", "alpha", "beta"};
  EXPECT_EQ(d.paragraphs, want);
  ASSERT_EQ(d.sections.size(), 2u);
  EXPECT_EQ(d.sections[0].name, "a.txt");
  EXPECT_EQ(d.sections[0].name_paragraph, 3u);
  EXPECT_EQ(d.sections[1].name, "b.pdf");
  EXPECT_EQ(d.sections[1].name_paragraph, 6u);

  // An HTML body is read as HTML and stays one paragraph; an empty page still gives the
  // three paragraphs the desktop's mail fields address.
  const qm::MailDocument h = qm::mail_page_document(
      "<TITLE></TITLE>\n<H1></H1>\n<BODY><html><body><p>x &amp; y</p><p>z</p></body></html></BODY>\n");
  ASSERT_EQ(h.paragraphs.size(), 3u);
  EXPECT_EQ(h.paragraphs[2], "x & y z");
  EXPECT_EQ(qm::mail_page_document("").paragraphs.size(), 3u);

  // A body past the paragraph limit is cut, never inside a Big5 pair.
  std::string big;
  for (int i = 0; i < 40000; ++i) big += "\xA4\xA4";
  const qm::MailDocument b = qm::mail_page_document("<TITLE>t</TITLE>\n<H1>s</H1>\n<BODY>" + big + "</BODY>\n");
  ASSERT_EQ(b.paragraphs.size(), 3u);
  EXPECT_EQ(b.paragraphs[2].size(), 65000u);

  // A body of megabytes in many lines and paragraphs: the kept start is the whole text
  // with its white space collapsed, cut at the limit.
  std::string lines, collapsed;
  for (int i = 0; i < 200000; ++i) {
    const std::string words = "w" + std::to_string(i) + " \xA4\xA4x";
    lines += words + (i % 7 == 6 ? "\r\n\r\n" : "\n");
    if (!collapsed.empty()) collapsed += ' ';
    collapsed += words;
  }
  const qm::MailDocument m = qm::mail_page_document("<TITLE>t</TITLE>\n<H1>s</H1>\n<BODY>" + lines + "</BODY>\n");
  ASSERT_EQ(m.paragraphs.size(), 3u);
  EXPECT_EQ(m.paragraphs[2], collapsed.substr(0, 65000));
}

// The gateway's writer and this parser share one page layout: what the writer puts in,
// sections and all, comes back in the same places, also when a body holds "</BODY>\n"
// or an opener of its own.
TEST(MailPage, ParsesWhatTheGatewayWrites) {
  for (const bool with_sections : {false, true}) {
    std::string page;
    qm::mail::append_mail_page(page, "Re: <T_ATTACH>", "Ann <ann@x.tw>", "one</BODY>\ntwo <t_attach> three");
    if (with_sections) {
      qm::mail::append_attach_section(page, "a.txt", "first\n\n<T_ATTACH>second");
      qm::mail::append_attach_section(page, "b.txt", "third");
    }
    const qm::MailDocument d = qm::mail_page_document(page);
    ASSERT_GE(d.paragraphs.size(), 3u) << with_sections;
    EXPECT_EQ(d.paragraphs[0], "Re: &lt;T_ATTACH>");
    EXPECT_EQ(d.paragraphs[1], "Ann {ann@x.tw}");
    EXPECT_EQ(d.paragraphs[2], "one</BODY> two &lt;t_attach> three");
    if (!with_sections) {
      EXPECT_EQ(d.paragraphs.size(), 3u);
      continue;
    }
    const std::vector<std::string> rest(d.paragraphs.begin() + 3, d.paragraphs.end());
    EXPECT_EQ(rest, (std::vector<std::string>{"a.txt", "first", "&lt;T_ATTACH>second", "b.txt", "third"}));
    ASSERT_EQ(d.sections.size(), 2u);
    EXPECT_EQ(d.sections[0].name, "a.txt");
    EXPECT_EQ(d.sections[1].name, "b.txt");
  }
}

TEST(MailPage, StoredPath) {
  EXPECT_EQ(qm::mail_document_path("Subject", "[box] - 1"), "Subject");
  EXPECT_EQ(qm::mail_document_path("", "[box] - 1"), "[box] - 1");
  std::string big5;
  big5 += 'a';
  for (int i = 0; i < 200; ++i) big5 += "\xA4\xA4";
  EXPECT_EQ(qm::mail_document_path(big5, "x").size(), 259u);  // 'a' and 129 pairs
  std::string even;
  for (int i = 0; i < 200; ++i) even += "\xA4\xA4";
  EXPECT_EQ(qm::mail_document_path(even, "x").size(), 258u);
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct BuildRun {
  std::string raw;
  std::vector<std::string> lines;
  bool end_mark = false;
  size_t count(char code) const {
    size_t n = 0;
    for (const std::string& l : lines) n += !l.empty() && l[0] == code;
    return n;
  }
};

class MailBuildProgramTest : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    root_ = tmp_.path();
    bin_ = root_ + "bin/";
    work_ = root_ + "db/";
    fs::create_directories(bin_);
    fs::create_symlink(std::string(QM_DIST_DIR) + "/indexer", bin_ + "indexer");
    box_ = std::string(QM_SOURCE_DIR) + "/mail/tests/fixtures/" + GetParam();
  }
  void ini(const std::string& source, const std::string& gateway = std::string(QM_DIST_DIR) + "/postbridge.dll") {
    std::ofstream(bin_ + "vesprin.ini")
        << "[VESPRIN]\n[INDEX]\n1=1\n[DB-1]\nHtmlDir=" << source << "\nWorkDir=" << work_
        << "\nDataInputPort=" << gateway << ";" << source << ";" << work_ << "\nMail=1\n";
  }
  qm::ProcessOptions options(bool attachments) {
    qm::ProcessOptions o;
    o.argv = {bin_ + "indexer", "-ncl"};
    if (attachments) o.argv.insert(o.argv.begin() + 1, "-mail");
    o.argv.push_back("-w1");
    o.argv.push_back("-f10");
    o.argv.push_back("-x1");
    o.timeout_ms = 120000;
    o.stderr_mode = qm::ProcessStderr::Merge;
    return o;
  }
  BuildRun run(bool attachments) {
    qm::ProcessResult r = qm::process_run(options(attachments));
    EXPECT_TRUE(r.exited) << r.error;
    BuildRun out;
    out.raw = r.output;
    std::string raw = r.output;
    if (raw.size() >= 2 && raw.compare(raw.size() - 2, 2, "\x1A\x1A") == 0) {
      out.end_mark = true;
      raw.resize(raw.size() - 2);
    }
    size_t pos = 0;
    while (pos < raw.size()) {
      size_t cr = raw.find('\r', pos);
      EXPECT_NE(cr, std::string::npos) << "stray bytes: " << raw.substr(pos);
      if (cr == std::string::npos) break;
      out.lines.push_back(raw.substr(pos, cr - pos));
      pos = cr + 1;
    }
    return out;
  }
  // Every file of the work folder and its contents, Attach/ included.
  std::map<std::string, std::string> snapshot() {
    std::map<std::string, std::string> out;
    if (!fs::exists(work_)) return out;
    for (const auto& e : fs::recursive_directory_iterator(work_))
      out[e.path().string()] = e.is_regular_file() ? slurp(e.path().string()) : "<dir>";
    return out;
  }
  // The documents and paragraphs where the upper-cased English word stands.
  std::set<std::pair<uint32_t, uint16_t>> where(qm::IndexFileSet& set, const std::string& word) {
    std::set<std::pair<uint32_t, uint16_t>> out;
    for (uint32_t i = 0; i < set.word_count(); ++i) {
      qm::WordHashRecord w;
      EXPECT_TRUE(set.read_word_hash(i, w));
      if (w.word != word) continue;
      uint32_t offset, count;
      EXPECT_TRUE(set.word_list_range(i, offset, count));
      std::vector<qm::PostingEntry> list;
      EXPECT_TRUE(set.append_word_postings(offset, count, list));
      for (const auto& p : list) out.insert({p.document, p.paragraph});
    }
    return out;
  }

  qm::test::TempDir tmp_{"qm-mailbuild-"};
  std::string root_, bin_, work_, box_;
};

TEST_P(MailBuildProgramTest, BuildsWithAndWithoutAttachments) {
  ini(box_);
  for (bool attachments : {false, true}) {
    SCOPED_TRACE(attachments ? "-mail -ncl" : "-ncl");
    BuildRun r = run(attachments);
    ASSERT_TRUE(r.end_mark) << r.raw;
    EXPECT_EQ(r.count('3'), 0u) << r.raw;
    const std::string property = slurp(work_ + "MailProperty.db");
    const size_t messages = property.size() / qm::mail_side::kMailPropertySize;
    ASSERT_EQ(property.size() % qm::mail_side::kMailPropertySize, 0u);
    ASSERT_GT(messages, 20u);
    EXPECT_EQ(r.count('0'), messages);
    // Percentages by the bytes handed out: rising, 100 only at the end.
    std::vector<int> percents;
    for (const std::string& l : r.lines)
      if (l.rfind("2 ", 0) == 0) percents.push_back(std::stoi(l.substr(2)));
    ASSERT_GE(percents.size(), 3u);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents.back(), 100);
    EXPECT_LT(percents[percents.size() - 2], 100);
    EXPECT_FALSE(fs::exists(work_ + qm::kMailStagingFolder));
    EXPECT_EQ(fs::exists(work_ + "AttachIdx.db"), attachments);

    qm::IndexFileSet set;
    ASSERT_TRUE(set.open(work_, 0, true));
    ASSERT_EQ(set.document_count(), messages);
    // property.db's dates are MailProperty.db's; path.db holds the subjects (or names).
    const std::string dates = slurp(work_ + "property.db");
    ASSERT_EQ(dates.size(), messages * 4);
    const auto* pb = reinterpret_cast<const unsigned char*>(property.data());
    const auto* db = reinterpret_cast<const unsigned char*>(dates.data());
    for (size_t m = 0; m < messages; ++m) {
      EXPECT_EQ(qm::le::get32s(db + 4 * m), qm::le::get32s(pb + m * qm::mail_side::kMailPropertySize))
          << "message " << m + 1;
      std::string path;
      ASSERT_TRUE(set.read_path(uint32_t(m), path));
      const char* subject = reinterpret_cast<const char*>(pb + m * qm::mail_side::kMailPropertySize +
                                                          qm::mail_side::kMailSubjectAt);
      const std::string stored_subject(subject, strnlen(subject, 80));
      EXPECT_FALSE(path.empty());
      if (!stored_subject.empty() && stored_subject.find_first_of("\t\r\n") == std::string::npos &&
          stored_subject.size() < 80) {
        EXPECT_EQ(path, stored_subject) << "message " << m + 1;
      }
    }

    // "fork" stands only in mac.txt, the BinHex attachment of one message.
    const auto hits = where(set, "FORK");
    if (!attachments) {
      EXPECT_TRUE(hits.empty());
      continue;
    }
    ASSERT_EQ(hits.size(), 1u);
    const uint32_t doc = hits.begin()->first;
    const uint16_t para = hits.begin()->second;
    const std::string index = slurp(work_ + "AttachIdx.db");
    const std::string info = slurp(work_ + "AttachInfo.db");
    ASSERT_EQ(index.size(), messages * qm::mail_side::kAttachIndexSize);
    const auto* ib = reinterpret_cast<const unsigned char*>(index.data()) + doc * 8;
    const int32_t count = qm::le::get32s(ib), offset = qm::le::get32s(ib + 4);
    bool inside = false;
    for (int32_t a = 0; a < count; ++a) {
      const size_t at = size_t(offset) + size_t(a) * qm::mail_side::kAttachInfoSize;
      ASSERT_LE(at + qm::mail_side::kAttachInfoSize, info.size());
      const auto* rb = reinterpret_cast<const unsigned char*>(info.data()) + at;
      const uint16_t first = qm::le::get16(rb), last = qm::le::get16(rb + 2);
      const std::string name(reinterpret_cast<const char*>(rb + 4));
      if (name == "mac.txt") inside = para > first && para <= last;
    }
    EXPECT_TRUE(inside) << "paragraph " << para << " of message " << doc + 1;
    // Every message's sections: the first number is the name paragraph.
    const size_t records = info.size() / qm::mail_side::kAttachInfoSize;
    size_t promised = 0;
    for (size_t m = 0; m < messages; ++m)
      promised += size_t(qm::le::get32s(reinterpret_cast<const unsigned char*>(index.data()) + m * 8));
    EXPECT_EQ(records, promised);
  }
}

TEST_P(MailBuildProgramTest, FailuresKeepThePreviousDatabase) {
  ini(box_);
  BuildRun first = run(true);
  ASSERT_TRUE(first.end_mark) << first.raw;
  const auto before = snapshot();

  ini(root_ + "no-such.mbox");
  BuildRun missing = run(true);
  EXPECT_FALSE(missing.end_mark);
  EXPECT_EQ(missing.count('3'), 1u) << missing.raw;
  EXPECT_NE(missing.raw.find("3 The mail source cannot be opened: " + root_ + "no-such.mbox\r"), std::string::npos)
      << missing.raw;
  EXPECT_EQ(snapshot(), before);

  ini(box_, root_ + "nowhere/elsewhere.dll");
  BuildRun gateway = run(true);
  EXPECT_FALSE(gateway.end_mark);
  EXPECT_EQ(gateway.count('3'), 1u) << gateway.raw;
  EXPECT_EQ(snapshot(), before);

}

// The documents a word finds in the database, with the paragraph filter k.
std::set<uint32_t> search(const std::string& work, std::string words, const std::string& k) {
  if (!qm::query_parse(words)) return {};
  qm::SearchDatabase db;
  db.id = 1;
  db.work_dir = work;
  qm::SearchOptions options;
  options.paragraphs = k;
  const qm::QueryTermTable table = qm::term_table_build(words);
  const qm::HitList hits = qm::query_evaluate(
      table, qm::search_database({table, qm::homophone_slots_plain(table), {db}, options, {}}), {});
  std::set<uint32_t> out;
  for (const qm::HitRecord& h : hits) out.insert(h.document);
  return out;
}

// A word in one field of one message is found in that message alone, and the desktop's
// mail fields (k 1 subject, 2 sender, 3 content) restrict to its field; attachment text
// only with attachments on.
TEST(MailBuildSearch, FieldsAndAttachments) {
  qm::test::TempDir tmp{"qm-mailsearch-"};
  const std::string root = tmp.path(), bin = root + "bin/", work = root + "db/";
  fs::create_directories(bin);
  fs::create_symlink(std::string(QM_DIST_DIR) + "/indexer", bin + "indexer");
  const std::string box = root + "fields.mbox";
  {
    std::ofstream out(box, std::ios::binary);
    out << "From - Mon Mar 13 10:00:00 2000\nFrom: Other Person <o@x.tw>\n"
           "Subject: nothing here\nDate: Mon, 13 Mar 2000 10:00:00 +0800\n\nplain words\n\n"
           "From - Tue Mar 14 10:00:00 2000\nFrom: Zed Sendword <z@x.tw>\n"
           "Subject: the subjword note\nDate: Tue, 14 Mar 2000 10:00:00 +0800\n"
           "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"b1\"\n\n"
           "--b1\nContent-Type: text/plain\n\nthe bodyword text\n"
           "--b1\nContent-Type: text/plain; name=\"a.txt\"\n"
           "Content-Disposition: attachment; filename=\"a.txt\"\n\nthe attachword inside\n"
           "--b1--\n\n";
  }
  std::ofstream(bin + "vesprin.ini")
      << "[VESPRIN]\n[INDEX]\n1=1\n[DB-1]\nHtmlDir=" << box << "\nWorkDir=" << work
      << "\nDataInputPort=" << QM_DIST_DIR << "/postbridge.dll;" << box << ";" << work << "\nMail=1\n";
  for (bool attachments : {false, true}) {
    SCOPED_TRACE(attachments ? "-mail -ncl" : "-ncl");
    qm::ProcessOptions o;
    o.argv = {bin + "indexer", "-ncl", "-w1", "-f10", "-x1"};
    if (attachments) o.argv.insert(o.argv.begin() + 1, "-mail");
    o.timeout_ms = 120000;
    const qm::ProcessResult r = qm::process_run(o);
    ASSERT_NE(r.output.find("\x1A\x1A"), std::string::npos) << r.output;
    const std::set<uint32_t> second = {1}, none = {};
    struct Case {
      const char* word;
      const char* k;
      bool found;
    };
    const Case cases[] = {
        {"subjword", "", true},  {"subjword", "1", true},  {"subjword", "2", false}, {"subjword", "3", false},
        {"sendword", "", true},  {"sendword", "2", true},  {"sendword", "1,3", false},
        {"bodyword", "", true},  {"bodyword", "3", true},  {"bodyword", "1,2", false},
        {"attachword", "", attachments}, {"attachword", "1,2,3", false},
    };
    for (const Case& c : cases)
      EXPECT_EQ(search(work, c.word, c.k), c.found ? second : none) << c.word << " k=" << c.k;
    EXPECT_EQ(search(work, "plain", ""), std::set<uint32_t>{0});
  }
}

std::string base64_lines(const std::string& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
    if (i + 1 < bytes.size()) v |= uint32_t(uint8_t(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) v |= uint8_t(bytes[i + 2]);
    out += kDigits[v >> 18 & 63];
    out += kDigits[v >> 12 & 63];
    out += i + 1 < bytes.size() ? kDigits[v >> 6 & 63] : '=';
    out += i + 2 < bytes.size() ? kDigits[v & 63] : '=';
    if (i % 57 == 54) out += '\n';
  }
  return out + "\n";
}

// Word 2007 and OpenDocument sheet attachments, made by LibreOffice from system texts, go
// through the real docpress of the program directory: their words are found with -mail.
TEST(MailBuildSearch, OfficeAttachmentsThroughDocpress) {
  qm::test::TempDir tmp{"qm-mailoffice-"};
  const std::string root = tmp.path(), bin = root + "bin/", work = root + "db/";
  fs::create_directories(bin);
  for (const char* f : {"indexer", "docpress", "docpress.tpt"})
    fs::create_symlink(std::string(QM_DIST_DIR) + "/" + f, bin + f);
  const std::string data = std::string(QM_SOURCE_DIR) + "/indexer/tests/data/office/";
  const std::string box = root + "office.mbox";
  {
    std::ofstream out(box, std::ios::binary);
    out << "From - Mon Mar 13 10:00:00 2000\nFrom: a@x.tw\nSubject: papers\n"
           "Date: Mon, 13 Mar 2000 10:00:00 +0800\nMIME-Version: 1.0\n"
           "Content-Type: multipart/mixed; boundary=\"b1\"\n\n--b1\nContent-Type: text/plain\n\nsee\n";
    for (const char* name : {"bsd.docx", "debian.ods"})
      out << "--b1\nContent-Type: application/octet-stream; name=\"" << name
          << "\"\nContent-Transfer-Encoding: base64\nContent-Disposition: attachment; filename=\"" << name
          << "\"\n\n" << base64_lines(qm::test::read_file(data + name));
    out << "--b1--\n\n";
  }
  std::ofstream(bin + "vesprin.ini")
      << "[VESPRIN]\n[INDEX]\n1=1\n[DB-1]\nHtmlDir=" << box << "\nWorkDir=" << work
      << "\nDataInputPort=" << QM_DIST_DIR << "/postbridge.dll;" << box << ";" << work << "\nMail=1\n";
  qm::ProcessOptions o;
  o.argv = {bin + "indexer", "-mail", "-ncl", "-w1", "-f10", "-x1"};
  o.timeout_ms = 120000;
  const qm::ProcessResult r = qm::process_run(o);
  ASSERT_NE(r.output.find("\x1A\x1A"), std::string::npos) << r.output;
  for (const char* word : {"redistribution", "negligence", "bookworm"})
    EXPECT_EQ(search(work, word, ""), std::set<uint32_t>{0}) << word;
  EXPECT_EQ(search(work, "rels", ""), std::set<uint32_t>{});
}

// A build killed or stopped in the middle of a large mailbox leaves the previous database
// as it was; the next build clears what a killed one left and completes.
TEST(MailBuildStop, KilledAndStoppedBuildsKeepThePreviousDatabase) {
  qm::test::TempDir tmp{"qm-mailstop-"};
  const std::string root = tmp.path(), bin = root + "bin/", work = root + "db/";
  fs::create_directories(bin);
  fs::create_symlink(std::string(QM_DIST_DIR) + "/indexer", bin + "indexer");
  const std::string small = std::string(QM_SOURCE_DIR) + "/mail/tests/fixtures/all-lf.mbox";
  const std::string large = root + "large.mbox";
  {
    std::ofstream out(large, std::ios::binary);
    for (int i = 0; i < 40000; ++i)
      out << "From - Mon Mar 13 10:00:00 2000\nFrom: sender@example.com\n"
             "Subject: message " << i << "\nDate: Mon, 13 Mar 2000 10:00:00 +0800\n\n"
             "Body text number " << i << " with a few words.\n\n";
  }
  auto ini = [&](const std::string& source) {
    std::ofstream(bin + "vesprin.ini")
        << "[VESPRIN]\n[INDEX]\n1=1\n[DB-1]\nHtmlDir=" << source << "\nWorkDir=" << work
        << "\nDataInputPort=" << QM_DIST_DIR << "/postbridge.dll;" << source << ";" << work << "\nMail=1\n";
  };
  const std::vector<std::string> argv = {bin + "indexer", "-mail", "-ncl", "-w1", "-f10", "-x1"};
  // The database's files, without what a killed build leaves (temporaries, staging).
  auto snapshot = [&] {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(work)) {
      const std::string p = e.path().string();
      if (p.find(qm::kMailStagingFolder) != std::string::npos || p.find(".tmp") != std::string::npos)
        continue;
      out[p] = e.is_regular_file() ? slurp(p) : "<dir>";
    }
    return out;
  };

  ini(small);
  {
    qm::ProcessOptions o;
    o.argv = argv;
    o.timeout_ms = 120000;
    ASSERT_NE(qm::process_run(o).output.find("\x1A\x1A"), std::string::npos);
  }
  const auto before = snapshot();
  ini(large);
  {
    qm::test::LiveIndexer live(argv, 60000);
    ASSERT_TRUE(live.wait_for_document());
    const std::string out = live.stop(SIGKILL);
    EXPECT_EQ(out.find("\x1A\x1A"), std::string::npos);
  }
  EXPECT_EQ(snapshot(), before);
  {
    qm::test::LiveIndexer live(argv, 60000);
    ASSERT_TRUE(live.wait_for_document());
    const std::string out = live.stop(SIGTERM);
    EXPECT_EQ(out.find("\x1A\x1A"), std::string::npos);
    EXPECT_NE(out.find("\r3 "), std::string::npos) << out.substr(out.size() > 300 ? out.size() - 300 : 0);
  }
  EXPECT_EQ(snapshot(), before);
  EXPECT_FALSE(fs::exists(work + qm::kMailStagingFolder));

  ini(small);
  {
    qm::ProcessOptions o;
    o.argv = argv;
    o.timeout_ms = 120000;
    ASSERT_NE(qm::process_run(o).output.find("\x1A\x1A"), std::string::npos);
  }
  EXPECT_EQ(snapshot(), before);  // the same mailbox gives the same files
  EXPECT_FALSE(fs::exists(work + qm::kMailStagingFolder));
}

// A stop while the gateway waits for a converter ends the converter with its group at
// once: the build reports its stop long before the converter's ten-minute time-out, and
// the converter is gone. The converter here is a stand-in that notes its process id and
// sleeps.
TEST(MailBuildStop, StopEndsARunningConverter) {
  qm::test::TempDir tmp{"qm-mailconv-"};
  const std::string root = tmp.path(), bin = root + "bin/", work = root + "db/";
  fs::create_directories(bin);
  fs::create_symlink(std::string(QM_DIST_DIR) + "/indexer", bin + "indexer");
  const std::string pid_file = root + "converter.pid";
  {
    std::ofstream script(bin + "docpress");
    script << "#!/bin/sh\necho $$ > '" << pid_file << ".part'\nmv '" << pid_file << ".part' '"
           << pid_file << "'\nexec sleep 600\n";
  }
  fs::permissions(bin + "docpress", fs::perms::owner_all);
  const std::string box = root + "conv.mbox";
  std::ofstream(box, std::ios::binary)
      << "From - Mon Mar 13 10:00:00 2000\nFrom: a@x.tw\nSubject: with a document\n"
         "Date: Mon, 13 Mar 2000 10:00:00 +0800\nMIME-Version: 1.0\n"
         "Content-Type: multipart/mixed; boundary=\"b1\"\n\n"
         "--b1\nContent-Type: text/plain\n\nbody\n"
         "--b1\nContent-Type: application/msword; name=\"a.doc\"\n"
         "Content-Disposition: attachment; filename=\"a.doc\"\n\nnot really a document\n"
         "--b1--\n\n";
  std::ofstream(bin + "vesprin.ini")
      << "[VESPRIN]\nMaxParsingTime=600\n[INDEX]\n1=1\n[DB-1]\nHtmlDir=" << box << "\nWorkDir=" << work
      << "\nDataInputPort=" << QM_DIST_DIR << "/postbridge.dll;" << box << ";" << work << "\nMail=1\n";

  qm::test::LiveIndexer live({bin + "indexer", "-mail", "-ncl", "-w1", "-f10", "-x1"}, 30000);
  // The converter has started once its note stands (bounded: the build itself is small).
  for (int i = 0; i < 3000 && !fs::exists(pid_file); ++i) usleep(20000);
  ASSERT_TRUE(fs::exists(pid_file));
  const pid_t converter = pid_t(std::stol(slurp(pid_file)));
  live.signal(SIGTERM);
  const std::string out = live.rest();
  const bool stopped = out.rfind("3 ", 0) == 0 || out.find("\r3 ") != std::string::npos;
  EXPECT_EQ(out.find("\x1A\x1A"), std::string::npos);
  // Not stopped in time: the destructor kills the build rather than waiting for it.
  ASSERT_TRUE(stopped) << out;
  // Gone, or at most a corpse that nobody has reaped yet.
  const std::string stat = slurp("/proc/" + std::to_string(converter) + "/stat");
  const size_t close = stat.rfind(')');
  EXPECT_TRUE(stat.empty() || (close != std::string::npos && stat.compare(close, 3, ") Z") == 0)) << stat;
  live.reap();
  EXPECT_FALSE(fs::exists(work + qm::kMailStagingFolder));
}

// A mail-client store folder through the gateway and the mboxpull stand-in, over the
// committed fixture store: the four-field DataInputPort with its "outlook:" key, pages
// named after the folder, Big5 subjects in MailProperty.db, and a word that stands only in
// the spreadsheet attachment found with -mail alone. A store that cannot be logged into
// sends the gateway's "Fail to login !" box on a '5' line, ends the job with a '3' line
// that names the refused login, and keeps the database.
TEST(MailBuildOutlook, StoreFolderThroughTheStandIn) {
  qm::test::TempDir tmp{"qm-mailoutlook-"};
  const std::string root = tmp.path(), bin = root + "bin/", work = root + "db/";
  fs::create_directories(bin);
  fs::create_symlink(std::string(QM_DIST_DIR) + "/indexer", bin + "indexer");
  // The converter stand-in: the words of the document as one HTML paragraph.
  std::ofstream(bin + "docpress")
      << "#!/bin/sh\n{ printf '<html><body><p>'; tr -cs 'A-Za-z' ' ' < \"$1\"; "
         "printf '</p></body></html>'; } > \"$2\"\n";
  fs::permissions(bin + "docpress", fs::perms::owner_all);
  std::ofstream(bin + "vesprin.ini")
      << "[VESPRIN]\n[INDEX]\n1=1\n[DB-1]\nHtmlDir=store\\archive\nWorkDir=" << work
      << "\nDataInputPort=" << QM_DIST_DIR << "/postbridge.dll;outlook:archive;" << work
      << ";store\\archive\nMail=1\n";
  const std::string store = std::string(QM_SOURCE_DIR) + "/mail/tests/store";
  auto run = [&](bool attachments, const std::string& store_dir) {
    setenv("MBOXPULL_STORE", store_dir.c_str(), 1);
    qm::ProcessOptions o;
    o.argv = {bin + "indexer", "-ncl", "-w1", "-f10", "-x1"};
    if (attachments) o.argv.insert(o.argv.begin() + 1, "-mail");
    o.timeout_ms = 120000;
    o.stderr_mode = qm::ProcessStderr::Merge;
    const qm::ProcessResult r = qm::process_run(o);
    unsetenv("MBOXPULL_STORE");
    return r.output;
  };

  for (bool attachments : {false, true}) {
    SCOPED_TRACE(attachments ? "-mail -ncl" : "-ncl");
    const std::string out = run(attachments, store);
    ASSERT_NE(out.find("\x1A\x1A"), std::string::npos) << out;
    // The fourteen messages of the folder's .eml files, by name; pages named after it.
    EXPECT_NE(out.find("0 [archive] - 1\r"), std::string::npos) << out;
    EXPECT_NE(out.find("0 [archive] - 15\r"), std::string::npos) << out;
    EXPECT_EQ(out.find("0 [archive] - 16\r"), std::string::npos) << out;
    const std::string property = slurp(work + "MailProperty.db");
    ASSERT_EQ(property.size(), 15 * qm::mail_side::kMailPropertySize);
    // Python's email package decodes the subjects of 02 and 03 to these, written in CP950.
    auto subject = [&](size_t m) {
      return std::string(property.c_str() + m * qm::mail_side::kMailPropertySize + qm::mail_side::kMailSubjectAt);
    };
    EXPECT_EQ(subject(1), "\xA4\xA4\xA4\xE5\xB6l\xA5\xF3");
    EXPECT_EQ(subject(2), "Re: \xA4\xA4\xA4\xE5\xB6l\xA5\xF3 done");
    // "xlsonlyword" stands only in budget.xls of the last message; "noteword" in its notes.txt.
    EXPECT_EQ(search(work, "xlsonlyword", ""), attachments ? std::set<uint32_t>{14} : std::set<uint32_t>{});
    EXPECT_EQ(search(work, "noteword", ""), attachments ? std::set<uint32_t>{14} : std::set<uint32_t>{});
  }

  std::map<std::string, std::string> before;
  for (const auto& e : fs::recursive_directory_iterator(work))
    before[e.path().string()] = e.is_regular_file() ? slurp(e.path().string()) : "<dir>";
  const std::string refused = run(true, root + "no-store");
  EXPECT_EQ(refused.find("\x1A\x1A"), std::string::npos);
  EXPECT_TRUE(refused.rfind("3 ", 0) == 0 || refused.find("\r3 ") != std::string::npos) << refused;
  // The gateway's box comes to the desktop as a '5' line before the job ends.
  const size_t box = refused.find("5 Fail to login !\r");
  EXPECT_NE(box, std::string::npos) << refused;
  EXPECT_LT(box, refused.find("3 ")) << refused;
  // The job's end names the refused login, not a source that cannot be opened.
  EXPECT_NE(refused.find("3 The mail store refused the login: outlook:archive\r"), std::string::npos) << refused;
  EXPECT_EQ(refused.find("cannot be opened"), std::string::npos) << refused;
  std::map<std::string, std::string> after;
  for (const auto& e : fs::recursive_directory_iterator(work))
    after[e.path().string()] = e.is_regular_file() ? slurp(e.path().string()) : "<dir>";
  EXPECT_EQ(after, before);
}

INSTANTIATE_TEST_SUITE_P(Mailboxes, MailBuildProgramTest, testing::Values("all-lf.mbox", "all-crlf.mbox"),
                         [](const auto& info) { return std::string(info.param).substr(4, info.param[4] == 'l' ? 2 : 4); });

}  // namespace
