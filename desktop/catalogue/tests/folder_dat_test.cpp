// Tests of Folder.dat: the byte layout the writer produces, a round trip through the
// tree model, and the reader's bounds on damaged files (long texts, level jumps, deep
// trees, huge counts, cut records).
#include <gtest/gtest.h>

#include "desktop/catalogue/folder_dat.h"
#include "desktop/catalogue/folder_dat_format.h"
#include "desktop/catalogue/folder_tree.h"
#include "platform/le.h"
#include "testsupport/test_files.h"

namespace {

using qm::FolderDatStatus;
using qm::FolderNodeRecord;
namespace fd = qm::folder_dat;

const std::string kBig5Chinese = "\xA4\xA4\xA4\xE5";  // 中文

// One record built by hand, independently of the writer.
std::string raw_record(uint8_t group, int32_t state, int32_t level, int32_t id, const std::string& text) {
  std::string r(fd::kRecordSize, '\0');
  auto* b = reinterpret_cast<unsigned char*>(r.data());
  b[0] = group;
  b[1] = 0xEE;  // unused bytes may hold anything
  qm::le::put32(b + 4, static_cast<uint32_t>(state));
  qm::le::put32(b + 8, static_cast<uint32_t>(level));
  qm::le::put32(b + 12, static_cast<uint32_t>(id));
  r.replace(16, std::min<size_t>(text.size(), 100), text.substr(0, 100));
  return r;
}

std::string raw_header(int32_t count, int32_t deepest) {
  std::string h;
  qm::le::append32(h, static_cast<uint32_t>(count));
  qm::le::append32(h, static_cast<uint32_t>(deepest));
  return h;
}

TEST(FolderDat, WriterLaysOutEveryFieldLittleEndian) {
  std::vector<FolderNodeRecord> records = {{true, 4, 0, -1, "Root"},
                                           {true, 3, 1, -1, kBig5Chinese},
                                           {false, 5, 2, 258, "DB one"}};
  std::string bytes = qm::folder_dat_serialize(records);
  ASSERT_EQ(bytes.size(), 8 + 3 * 116u);
  auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  EXPECT_EQ(qm::le::get32s(b), 3);
  EXPECT_EQ(qm::le::get32s(b + 4), 2);  // deepest level
  const unsigned char* db = b + 8 + 2 * 116;
  EXPECT_EQ(db[0], 0);
  EXPECT_EQ(qm::le::get32s(db + 4), 5);
  EXPECT_EQ(qm::le::get32s(db + 8), 2);
  EXPECT_EQ(db[12], 0x02);  // 258 = 0x0102, low byte first
  EXPECT_EQ(db[13], 0x01);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(db + 16)), "DB one");
  EXPECT_EQ(b[8 + 116], 1);  // the folder's group flag
}

TEST(FolderDat, TreeShapeSurvivesSaveAndLoad) {
  qm::test::TempDir dir;
  qm::FolderTree tree;
  qm::TreeNode* root = tree.make_root("Root");
  qm::TreeNode* mail = tree.add_folder(root, kBig5Chinese, qm::kStateChecked);
  tree.add_database(mail, "Inbox", 7, qm::kStateChecked);
  qm::TreeNode* sub = tree.add_folder(mail, "Sub", qm::kStateChecked);
  tree.add_database(sub, "Deep", 9, qm::kStateNoIndex);
  tree.add_database(root, "Docs", 1, qm::kStateUnchecked);
  ASSERT_TRUE(qm::folder_dat_write(dir / "Folder.dat", tree.to_records()));

  std::vector<FolderNodeRecord> records;
  ASSERT_EQ(qm::folder_dat_read(dir / "Folder.dat", records), FolderDatStatus::Ok);
  qm::FolderTree loaded;
  loaded.from_records(records, "unused", [](int, int saved) { return saved; });
  auto a = tree.to_records();
  auto b = loaded.to_records();
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].group, b[i].group) << i;
    EXPECT_EQ(a[i].state, b[i].state) << i;
    EXPECT_EQ(a[i].level, b[i].level) << i;
    EXPECT_EQ(a[i].database_id, b[i].database_id) << i;
    EXPECT_EQ(a[i].text, b[i].text) << i;
  }
}

TEST(FolderDat, MissingOrEmptyFileGivesNoRecords) {
  qm::test::TempDir dir;
  std::vector<FolderNodeRecord> records{{}};
  EXPECT_EQ(qm::folder_dat_read(dir / "none.dat", records), FolderDatStatus::Missing);
  EXPECT_TRUE(records.empty());
  for (int32_t count : {0, -5}) {
    EXPECT_EQ(qm::folder_dat_parse(raw_header(count, 0) + raw_record(1, 4, 0, 0, "R"), records),
              FolderDatStatus::Missing);
    EXPECT_TRUE(records.empty());
  }
  EXPECT_EQ(qm::folder_dat_parse("\x01\x00", records), FolderDatStatus::Missing);
}

TEST(FolderDat, DamagedFilesAreReadWithinBounds) {
  std::vector<FolderNodeRecord> records;

  // A text filling all 100 bytes with no NUL, a Big5 pair across byte 99: 98 bytes kept.
  std::string long_text = std::string(98, 'a') + "\xA4\xA4";
  ASSERT_EQ(qm::folder_dat_parse(raw_header(1, 0) + raw_record(1, 4, 0, 0, long_text), records),
            FolderDatStatus::Ok);
  EXPECT_EQ(records[0].text, std::string(98, 'a'));

  // Level jumps: a record may go at most one level below the one before it; later
  // records never climb to the root's level; the root is level 0 whatever it says.
  std::string file = raw_header(4, 9) + raw_record(1, 4, 7, 0, "root") + raw_record(1, 4, 5, 0, "a") +
                     raw_record(1, 4, 0, 0, "b") + raw_record(1, 4, -3, 0, "c");
  ASSERT_EQ(qm::folder_dat_parse(file, records), FolderDatStatus::Ok);
  std::vector<int> levels;
  for (auto& r : records) levels.push_back(r.level);
  EXPECT_EQ(levels, (std::vector<int>{0, 1, 1, 1}));

  // 40 levels deep: clamped at 29.
  file = raw_header(41, 40) + raw_record(1, 4, 0, 0, "root");
  for (int l = 1; l <= 40; ++l) {
    std::string name = "f";
    name += std::to_string(l);
    file += raw_record(1, 4, l, 0, name);
  }
  ASSERT_EQ(qm::folder_dat_parse(file, records), FolderDatStatus::Ok);
  ASSERT_EQ(records.size(), 41u);
  EXPECT_EQ(records[29].level, 29);
  EXPECT_EQ(records[40].level, 29);
  qm::FolderTree deep;
  deep.from_records(records, "", [](int, int s) { return s; });
  EXPECT_EQ(deep.nodes().size(), 41u);
  for (auto& r : deep.to_records()) EXPECT_LE(r.level, 29);

  // A huge count over two records, and a record cut short: what is whole is kept.
  file = raw_header(0x7FFFFFFF, 1) + raw_record(1, 4, 0, 0, "root") + raw_record(0, 3, 1, 5, "db");
  EXPECT_EQ(qm::folder_dat_parse(file, records), FolderDatStatus::Damaged);
  EXPECT_EQ(records.size(), 2u);
  file = raw_header(3, 1) + raw_record(1, 4, 0, 0, "root") + raw_record(0, 3, 1, 5, "db") +
         raw_record(0, 3, 1, 6, "cut").substr(0, 60);
  EXPECT_EQ(qm::folder_dat_parse(file, records), FolderDatStatus::Damaged);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].database_id, 5);
}

TEST(FolderDat, WriterCutsLongTextsOnCharacterBoundaries) {
  std::string text = std::string(98, 'x') + kBig5Chinese;  // 102 bytes, a pair at 98-99
  std::vector<FolderNodeRecord> records = {{true, 4, 0, -1, text}};
  std::vector<FolderNodeRecord> back;
  ASSERT_EQ(qm::folder_dat_parse(qm::folder_dat_serialize(records), back), FolderDatStatus::Ok);
  EXPECT_EQ(back[0].text, std::string(98, 'x'));
}

}  // namespace
