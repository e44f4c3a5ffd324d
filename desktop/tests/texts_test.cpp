// Tests of the text tables: every number of text_ids.h and every picture is in both
// language tables exactly once, the tables parse as the program reads them, the locale
// picks the table, and messages go through the scripted sink in order.
#include "desktop/texts.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "desktop/messages.h"
#include "desktop/text_ids.h"
#include "testsupport/test_files.h"

namespace {

std::string table_file(const std::string& language) {
  return std::string(QM_SOURCE_DIR) + "/desktop/resources/strings-" + language + ".tsv";
}

TEST(TextTables, EveryIdAndPictureInBothTablesOnce) {
  for (const char* language : {"en", "zh_TW"}) {
    SCOPED_TRACE(language);
    const std::string bytes = qm::test::read_file(table_file(language));
    ASSERT_FALSE(bytes.empty());
    qm::TextTable table;
    table.parse(bytes);
    EXPECT_EQ(table.duplicates(), 0);
    EXPECT_EQ(table.bad_lines(), 0);
    std::set<int> ids(qm::text::kAllTextIds.begin(), qm::text::kAllTextIds.end());
    EXPECT_EQ(ids.size(), qm::text::kAllTextIds.size()) << "a number is named twice";
    for (int id : ids) EXPECT_FALSE(table.text(id).empty()) << id;
    for (const auto& [id, text] : table.texts()) EXPECT_TRUE(ids.count(id)) << "unnamed " << id;
    for (const char* picture : qm::text::kAllBitmaps) {
      const std::string& file = table.picture(picture);
      EXPECT_FALSE(file.empty()) << picture;
      EXPECT_FALSE(qm::test::read_file(std::string(QM_SOURCE_DIR) + "/desktop/resources/" + file)
                       .empty())
          << file;
    }
  }
}

TEST(TextTables, ParseKeepsBlanksAndCountsBadLines) {
  qm::TextTable t;
  t.parse("# comment\n9021\tFound \r\n12133\t hits\nnot a line\n100\tA\n100\tB\nIDB_X\tx.png\n");
  EXPECT_EQ(t.text(9021), "Found ");
  EXPECT_EQ(t.text(12133), " hits");
  EXPECT_EQ(t.text(100), "B");
  EXPECT_EQ(t.text(4242), "");
  EXPECT_EQ(t.picture("IDB_X"), "x.png");
  EXPECT_EQ(t.duplicates(), 1);
  EXPECT_EQ(t.bad_lines(), 1);
}

TEST(TextTables, LocalePicksTheTable) {
  const std::pair<const char*, const char*> cases[] = {
      {"zh_TW.UTF-8", "zh_TW"}, {"zh_HK", "zh_TW"}, {"zh_TW.Big5", "zh_TW"},
      {"zh_CN.UTF-8", "en"},    {"en_US.UTF-8", "en"}, {"C", "en"}, {"", "en"}};
  for (auto [locale, language] : cases) EXPECT_EQ(qm::texts_language_for(locale), language) << locale;
}

TEST(Messages, ScriptedSinkChecksOrderAndAnswers) {
  qm::desktop_texts().parse("9001\tError\n9009\tQuestion\n9005\tNo configuration\n9029\tStart?\n");
  qm::ScriptedMessageSink sink;
  qm::message_set_sink(&sink);
  sink.expect("No configuration", "Error", qm::kStyleStop, qm::kAnswerOk);
  sink.expect("Start?", "Question", qm::kStyleQuestionYesNo, qm::kAnswerNo);
  EXPECT_EQ(qm::ShowMessageById(9005, 9001, 16), qm::kAnswerOk);
  EXPECT_EQ(qm::ShowMessageById(9029, 9009, 36), qm::kAnswerNo);
  EXPECT_EQ(sink.failures(), "");
  // A message out of script is a failure and is refused.
  EXPECT_EQ(qm::ShowMessageText("extra", 9009, 36), qm::kAnswerNo);
  EXPECT_NE(sink.failures(), "");
  qm::message_set_sink(nullptr);
  qm::desktop_texts().clear();
}

}  // namespace
