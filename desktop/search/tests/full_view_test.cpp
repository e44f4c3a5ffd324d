// The full view's texts: the marker request's "&k=" part by a mail's attachments, the
// reader of marker's page (header line dropped, lines joined, the "</html>" line and an
// unfinished last line kept), the mail header with escaped fields and file links, and the
// base reference in place of the body tag.
#include <gtest/gtest.h>

#include "desktop/search/full_view.h"

namespace qm {
namespace {

mail_side::AttachInfoRecord attach(uint16_t first, const char* name) {
  mail_side::AttachInfoRecord r;
  r.first = first;
  r.name = name;
  return r;
}

TEST(FullView, MarkerQueryByAttachments) {
  const struct {
    bool mail;
    std::vector<mail_side::AttachInfoRecord> attachments;
    const char* expected;
  } cases[] = {
      {false, {attach(5, "a")}, "s=4&i=1"},
      {true, {}, "s=4&i=1&k=2"},
      {true, {attach(1, "a")}, "s=4&i=1&k=0,0"},
      {true, {attach(2, "a")}, "s=4&i=1&k=0,1"},
      {true, {attach(3, "a"), attach(9, "b")}, "s=4&i=1&k=0,2"},
      {true, {attach(5, "a")}, "s=4&i=1&k=2,4"},
  };
  for (const auto& c : cases) EXPECT_EQ(MarkerQuery("s=4&i=1", c.mail, c.attachments), c.expected);
}

TEST(FullView, MarkerPageReader) {
  const std::string out =
      "Content-Type: text/html\r\n\r\n<HTML>\r\n<BODY>\r\n<P>one\r\n</BODY>\r\n</html>\r\nafter\r\n";
  for (size_t piece : {size_t(1), size_t(3), size_t(1000)}) {
    MarkerPageReader r;
    bool ended = false;
    for (size_t at = 0; at < out.size() && !ended; at += piece)
      ended = r.feed(std::string_view(out).substr(at, piece));
    r.finish();
    EXPECT_EQ(r.page(), "\n<HTML>\n<BODY>\n<P>one\n</BODY>\n</html>") << piece;
  }
  MarkerPageReader open;
  open.feed("<HTML><BODY>\nlast line");
  open.finish();
  EXPECT_EQ(open.page(), "<HTML><BODY>\nlast line");
}

TEST(FullView, MailHeaderAndBase) {
  MailHeader h;
  h.sender_label = "From:";
  h.date_label = "Date:";
  h.subject_label = "Subject:";
  h.attach_label = "Files:";
  h.sender = "Ann <a@x>";
  h.subject = "tea & \"cakes\"";
  h.date = 20010305;
  h.attach_dir = "/db/mail/Attach/";
  h.document = 6;
  h.attachments = {"a b.txt", "<x>.doc"};
  const std::string page = InsertMailHeader("<HTML><BODY BGCOLOR=red>\ntext</BODY>", h);
  EXPECT_EQ(page,
            "<HTML><BODY BGCOLOR=red><TABLE BGCOLOR=#DFE7FF WIDTH=90%><TR><TD>"
            "From:Ann &lt;a@x&gt;<BR>Date:2001/03/05<BR>Subject:tea &amp; &quot;cakes&quot;<BR>"
            "Files:<A HREF=\"file:///db/mail/Attach/7~a%20b.txt\">a b.txt</A>&nbsp;&nbsp;"
            "<A HREF=\"file:///db/mail/Attach/7~%3Cx%3E.doc\">&lt;x&gt;.doc</A>"
            "</TD></TR></TABLE><P>\ntext</BODY>");
  const std::string based = InsertBaseReference(page, "/db/mail/");
  EXPECT_EQ(based.substr(0, 50), "<HTML><BASE HREF=\"file:///db/mail/\"><TABLE BGCOLOR");
  EXPECT_EQ(PageBaseReference(based), "file:///db/mail/");
  EXPECT_EQ(PageWithoutBase(based).substr(0, 20), "<HTML><BODY><TABLE B");
  EXPECT_EQ(PageWithoutBase("<BASEFONT SIZE=3>x"), "<BASEFONT SIZE=3>x");

  // A lower-case body tag gets neither.
  const std::string lower = "<html><body>\ntext</body>";
  EXPECT_EQ(InsertMailHeader(lower, h), lower);
  EXPECT_EQ(InsertBaseReference(lower, "/x"), lower);
  EXPECT_EQ(PageBaseReference(lower), "");

  h.attachments.clear();
  h.date = 2001;
  const std::string plain = InsertMailHeader("<BODY>", h);
  EXPECT_NE(plain.find("Date:?\?\?\?/?\?/?\?<BR>Subject:"), std::string::npos);
  EXPECT_EQ(plain.find("Files:"), std::string::npos);
}

TEST(FullView, DocumentFiles) {
  const struct {
    const char* path;
    const char* extension;
    const char* file;
  } cases[] = {
      {"/d/report.pgx(12)", "pgx(12)", "/d/report.pgx"},
      {"/d/report.PGX", "PGX", "/d/report.PGX"},
      {"/d/notes (1).txt", "txt", "/d/notes (1).txt"},  // parentheses of the name stay
      {"/d/v1.2/readme", "", "/d/v1.2/readme"},         // a dot in a folder is no extension
      {"/d/a.tar.gz", "tar.gz", "/d/a.tar.gz"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DocumentExtension(c.path), c.extension) << c.path;
    EXPECT_EQ(DocumentFile(c.path), c.file) << c.path;
  }
}

TEST(FullView, FileUrlsAndBaseOfBig5Paths) {
  EXPECT_EQ(FileUrl("/docs/tea\xB3\x5C.txt"), "file:///docs/tea%B3%5C.txt");
  EXPECT_EQ(PageBaseReference("<head><base href='file:///a/b/'></head>"), "file:///a/b/");
}

}  // namespace
}  // namespace qm
