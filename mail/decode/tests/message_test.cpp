// Tests of whole-message decoding: header texts, single-part bodies by transfer encoding
// and charset, uuencoded blocks, the multipart split with its broken and hostile forms
// (bad parts dropped, 300 parts, nesting 50 deep), enclosed messages and safe names.
#include "mail/decode/message.h"

#include <gtest/gtest.h>

#include <string>

#include "mail/decode/names.h"

namespace {

using namespace qm::mail;

const std::string kZhongWen = "\xA4\xA4\xA4\xE5";  // 中文 in Big5

std::string multipart(const std::string& boundary_param, const std::string& body) {
  return "From: a@b\r\nSubject: s\r\nContent-Type: multipart/mixed; boundary=" + boundary_param +
         "\r\n\r\n" + body;
}

TEST(Message, HeaderTexts) {
  const MessageRecord r = parse_message(
      "From - Thu Dec 10 00:00:00 2026\n"
      "From: =?big5?B?pKSk5Q==?= <zh@example.com>\n"
      "To: x@y\n"
      "Subject: first\n second\n\tthird =?us-ascii?Q?a=00b?=\n"
      "Date: Sun, 12 Mar 2000 10:00:00 +0800\n"
      "Message-ID: < id@host >\n"
      "\n"
      "Body line\n");
  EXPECT_EQ(r.sender, kZhongWen + " <zh@example.com>");
  EXPECT_EQ(r.recipients, "x@y");
  EXPECT_EQ(r.subject, "first second third a b");
  EXPECT_EQ(r.date_text, "Sun, 12 Mar 2000 10:00:00 +0800");
  EXPECT_EQ(r.message_id, "id@host");
  EXPECT_EQ(r.body, "Body line\r\n");
  EXPECT_TRUE(r.parts.empty());
}

TEST(Message, SubjectCutToEightyBytesOnABig5Boundary) {
  std::string subject = "a";
  for (int i = 0; i < 50; ++i) subject += "\xA4\xA4";
  const MessageRecord r = parse_message("Subject: " + subject + "\r\n\r\nx");
  EXPECT_EQ(r.subject, subject.substr(0, 79));
}

// A message of header fields only (no blank line, no body) keeps its fields.
TEST(Message, WithoutBlankLineIsAllHeader) {
  const MessageRecord r = parse_message("From: a@b\r\nSubject: s\r\nno blank line");
  EXPECT_EQ(r.sender, "a@b");
  EXPECT_EQ(r.subject, "s");
  EXPECT_TRUE(r.body.empty());
  EXPECT_TRUE(r.parts.empty());
  const MessageRecord headers_only =
      parse_message("Subject: headers only\r\nDate: Sun, 12 Mar 2000 10:00:00 +0800\r\n");
  EXPECT_EQ(headers_only.subject, "headers only");
  EXPECT_NE(headers_only.date, 0);
}

struct BodyCase {
  const char* name;
  std::string raw;
  std::string body;
};

TEST(Message, SinglePartBodies) {
  const BodyCase cases[] = {
      {"base64", "Content-Transfer-Encoding: Base64 \r\n\r\nSGVsbG8=\r\n", "Hello"},
      {"bad base64 gives nothing", "Content-Transfer-Encoding: base64\r\n\r\nSG=s\r\n", ""},
      {"qp", "Content-Transfer-Encoding: quoted-printable\r\n\r\na=3Db=\r\nc\r\n", "a=bc\r\n"},
      {"utf-8 made Big5",
       "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n5Lit5paH\r\n",
       kZhongWen},
      {"big5 kept", "Content-Type: text/plain; charset=big5\r\n\r\n" + kZhongWen, kZhongWen},
      {"undeclared utf-8", "Subject: x\r\n\r\n\xE4\xB8\xAD\xE6\x96\x87", kZhongWen},
      {"binary kept", "Content-Type: application/octet-stream\r\n\r\n\xE4\xB8\xAD", "\xE4\xB8\xAD"},
  };
  for (const BodyCase& c : cases) EXPECT_EQ(parse_message(c.raw).body, c.body) << c.name;
}

TEST(Message, UuencodedBlocksInAPlainBody) {
  const std::string block = "begin 644 hello.txt\r\n%2&5L;&\\ \r\n`\r\nend\r\n";
  MessageRecord r = parse_message("Subject: uu\r\n\r\nSee this:\r\n\r\n" + block + "\r\nbegin 600 pic.GIF\r\n#86)C\r\n`\r\nend\r\n");
  EXPECT_EQ(r.body, "See this:\r\n");
  ASSERT_EQ(r.parts.size(), 2u);
  EXPECT_EQ(r.parts[0].name, "hello.txt");
  EXPECT_EQ(r.parts[0].content_type, "text/plain");
  EXPECT_EQ(r.parts[0].data, "Hello");
  EXPECT_EQ(r.parts[0].encoding, PartEncoding::Uuencode);
  EXPECT_EQ(r.parts[1].name, "pic.GIF");
  EXPECT_EQ(r.parts[1].content_type, "image/gif");
  EXPECT_EQ(r.parts[1].data, "abc");
  // At the very start of the body.
  r = parse_message("Subject: uu\r\n\r\n" + block);
  EXPECT_EQ(r.body, "");
  ASSERT_EQ(r.parts.size(), 1u);
  // A mode of 0 or a block without its end line is no block.
  r = parse_message("Subject: uu\r\n\r\nx\r\n\r\nbegin 0 a.txt\r\n%2&5L;&\\ \r\nend\r\n");
  EXPECT_TRUE(r.parts.empty());
  r = parse_message("Subject: uu\r\n\r\nx\r\n\r\nbegin 644 a.txt\r\n%2&5L;&\\ \r\n");
  EXPECT_TRUE(r.parts.empty());
  EXPECT_EQ(r.body, "x\r\n");
}

TEST(Multipart, AlternativeKeepsThePlainTextOnly) {
  const MessageRecord r = parse_message(multipart(
      "\"b1\"", "preamble\r\n--b1\r\nContent-Type: text/plain\r\n\r\nplain text\r\n--b1\r\n"
                "Content-Type: text/html\r\n\r\n<p>html</p>\r\n--b1--\r\nepilogue\r\n"));
  EXPECT_EQ(r.body, "plain text\r\n");
  ASSERT_EQ(r.parts.size(), 2u);
  EXPECT_EQ(r.parts[0].name, "");
  EXPECT_EQ(r.parts[1].name, "");  // the HTML alternative is dropped
  EXPECT_EQ(r.parts[1].data, "<p>html</p>");
}

TEST(Multipart, HtmlOnlyBecomesNoNameAttachment) {
  const MessageRecord r = parse_message(
      multipart("b1", "--b1\r\nContent-Type: text/html; charset=big5\r\n\r\n<p>x</p>\r\n--b1--\r\n"));
  EXPECT_EQ(r.body, "");
  ASSERT_EQ(r.parts.size(), 1u);
  EXPECT_EQ(r.parts[0].name, "NoName0.html");
}

TEST(Multipart, PartsByEncodingAndBrokenParts) {
  const MessageRecord r = parse_message(multipart(
      "b1;x=y",
      "--b1\r\n\r\nno header: plain text\r\n"
      "--b1\r\nContent-Type: application/pdf; name=\"a.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\nSG=s\r\n"
      "--b1\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=\"b.bin\"\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\nSGVs\r\nbG8=\r\n"
      "--b1\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
      "=E4=B8=AD=E6=96=87\r\n"
      "--b1\r\nContent-Type: application/octet-stream; name=c.txt\r\nContent-Transfer-Encoding: x-uuencode\r\n\r\n"
      "begin 644 c.txt\r\n%2&5L;&\\ \r\n`\r\nend\r\n"
      "--b1\r\nContent-Type: application/mac-binhex40; name=\"d.hqx\"\r\n\r\n(This file\r\nis not binhex\r\n"
      "--b1--\r\n"));
  EXPECT_EQ(r.body, "no header: plain text\r\n" + kZhongWen + "\r\n");
  ASSERT_EQ(r.parts.size(), 5u);  // the broken base64 part is dropped, the split goes on
  EXPECT_EQ(r.parts[1].name, "b.bin");
  EXPECT_EQ(r.parts[1].data, "Hello");
  EXPECT_EQ(r.parts[3].name, "c.txt");
  EXPECT_EQ(r.parts[3].data, "Hello");
  EXPECT_EQ(r.parts[4].encoding, PartEncoding::BinHex);
  EXPECT_EQ(r.parts[4].data, "(This file\r\nis not binhex");  // the plain copy, with its length
  EXPECT_EQ(r.parts[4].data.size(), 25u);
}

TEST(Multipart, NestedAndEnclosedMessages) {
  const MessageRecord r = parse_message(multipart(
      "outer",
      "--outer\r\nContent-Type: multipart/alternative;\r\n boundary=\"inner\"\r\n\r\n"
      "--inner\r\nContent-Type: text/plain\r\n\r\nfirst\r\n--inner\r\nContent-Type: text/html\r\n\r\n<b>first</b>\r\n"
      "--inner--\r\n"
      "--outer\r\nContent-Type: message/rfc822\r\n\r\n"
      "From: c@d\r\nSubject: inner\r\nContent-Type: multipart/mixed; boundary=enc\r\n\r\n"
      "--enc\r\n\r\nforwarded\r\n--enc\r\nContent-Type: image/png; name=p.png\r\n\r\nPNG\r\n--enc--\r\n"
      "--outer--\r\n"));
  EXPECT_EQ(r.body, "first\r\nforwarded\r\n\r\n");
  ASSERT_EQ(r.parts.size(), 4u);
  EXPECT_EQ(r.parts[2].name, "p.png");
  EXPECT_EQ(r.parts[2].data, "PNG");
}

TEST(Multipart, HostileShapesStayBounded) {
  std::string many;
  for (int i = 0; i < 300; ++i) many += "--b\r\nContent-Type: text/plain\r\n\r\np" + std::to_string(i) + "\r\n";
  MessageRecord r = parse_message(multipart("b", many + "--b--\r\n"));
  EXPECT_EQ(r.parts.size(), kMaxParts);

  std::string deep = "x";
  for (int i = 49; i >= 0; --i) {
    // Built by appending (GCC 12 warns falsely about chains of "literal" + string).
    std::string b = "d";
    b += std::to_string(i);
    std::string inner = "d";
    inner += i == 49 ? std::string("leaf") : std::to_string(i + 1);
    std::string level = "--";
    level += b;
    level += "\r\nContent-Type: multipart/mixed; boundary=";
    level += inner;
    level += "\r\n\r\n";
    level += deep;
    level += "\r\n--";
    level += b;
    level += "--\r\n";
    deep = std::move(level);
  }
  r = parse_message(multipart("d0", deep));
  EXPECT_TRUE(r.parts.empty());  // deeper than 16 levels: nothing is read

  const std::string cases[] = {
      multipart("\"\"", "--\r\n\r\nx\r\n"),
      multipart("b", "--b"),
      multipart("b1", "--b10\r\n\r\nnot a part of b1\r\n--b1--\r\n"),
      multipart("b", "--b\r\nContent-Type: text/plain"),
      multipart("b", "--b\r\nContent-Type: text/plain\r\n\r\nunterminated"),
      multipart("b", std::string(100000, 'L') + "\r\n--b\r\n\r\n" + std::string(100000, 'M')),
  };
  for (const std::string& c : cases) parse_message(c);  // no crash, no hang
  r = parse_message(cases[4]);
  EXPECT_EQ(r.body, "unterminated\r\n");  // an unclosed last part runs to the end
  r = parse_message(cases[3]);
  EXPECT_TRUE(r.parts.empty());  // "--b10" does not open a part of "b1"
}

struct NameCase {
  std::string raw;
  std::string safe;
};

TEST(SafeNames, LastComponentNoDotsNoControlsFits) {
  const std::string long_stem(300, 'n');
  const NameCase cases[] = {
      {"../../x", "x"},
      {"/etc/x", "x"},
      {"C:\\dir\\x.doc", "x.doc"},
      {"\xA5\x5C.txt", "\xA5\x5C.txt"},  // 0x5C as a Big5 trail byte is no separator
      {"dir\\\xA5\x5C.txt", "\xA5\x5C.txt"},
      {"a\x01" "b\x7F.txt", "a_b_.txt"},
      {"..", "NoName3"},
      {"x/.", "NoName3"},
      {"", "NoName3"},
      {long_stem + ".txt", std::string(kSafeNameMax - 4, 'n') + ".txt"},
  };
  for (const NameCase& c : cases) EXPECT_EQ(safe_attachment_name(c.raw, "NoName3"), c.safe) << c.raw;
  // A name cut on a Big5 boundary.
  std::string big5_stem;
  for (int i = 0; i < 200; ++i) big5_stem += "\xA4\xA4";
  const std::string cut = safe_attachment_name("z" + big5_stem + ".doc", "n");
  EXPECT_LE(cut.size(), kSafeNameMax);
  EXPECT_EQ(cut.substr(cut.size() - 4), ".doc");
  EXPECT_EQ(cut.size() % 2, 1u);  // "z", whole pairs, ".doc"
}

TEST(SafeNames, EncodedNamesInParts) {
  const MessageRecord r = parse_message(multipart(
      "b", "--b\r\nContent-Type: application/pdf; name=\"=?big5?B?pKSk5Q==?=.pdf\"\r\n\r\n%PDF\r\n"
           "--b\r\nContent-Disposition: attachment; filename=\"../../etc/passwd\"\r\n\r\nroot\r\n--b--\r\n"));
  ASSERT_EQ(r.parts.size(), 2u);
  EXPECT_EQ(r.parts[0].name, kZhongWen + ".pdf");
  EXPECT_EQ(r.parts[1].name, "passwd");
}

}  // namespace
