// The index builder and the searcher read vesprin.ini through one loader: a table of
// awkward numbers for IndexType and MaxParsingTime shows that the builder writes a
// phrase database (with clist.db) exactly when the searcher will look for one, and that
// the converter time limit is the searcher's MaxParsingTime.
#include <gtest/gtest.h>

#include <string>

#include "common/config.h"
#include "common/dbid.h"
#include "indexer/builder.h"
#include "testsupport/test_files.h"

namespace {

TEST(IndexerConfigAgreement, NumbersReadAlikeByBuilderAndSearcher) {
  const char* const values[] = {"1",  "0",     "4294967296", "4294967297", "-4294967296",
                                "99999999999999999999",      "2147483648", "-2147483649",
                                " 7", "+1",    "-1",         "0x10",       "1e3",
                                "abc", "",     "00",         "0 1",        "65536"};
  qm::test::TempDir dir("qm-agree-");
  for (const char* value : values) {
    for (const char* save : {"0", "1"}) {
      SCOPED_TRACE(std::string("IndexType=") + value + " SaveFile=" + save);
      const std::string ini =
          "[VESPRIN]\nSearcher=/cgi-bin/searcher\nHomePage=/\nSystemAdm=a@b\n"
          "MaxParsingTime=" + std::string(value) + "\n[INDEX]\n1=1\n[DB-1]\nHtmlDir=/d\nWorkDir=/w\n"
          "SaveFile=" + save + "\nIndexType=" + value + "\n";
      qm::test::write_file(dir / "vesprin.ini", ini);

      // The searcher's reading.
      qm::DatabaseIdSet ids;
      ids.reset(false);
      ids.add(1, true);
      qm::Config searcher(ids);
      ASSERT_TRUE(searcher.load(dir / "vesprin.ini"));
      const bool searcher_wants_pairs = searcher.table.entries[0].IndexType != 0;

      // The builder's.
      qm::IndexerJob job;
      std::string error;
      const bool built = qm::indexer_load_job(dir / "vesprin.ini", 1, job, error);
      const bool phrase = std::string(save) == "1";
      // A build goes ahead only when the searcher will look for what it writes.
      EXPECT_EQ(built, phrase == searcher_wants_pairs) << error;
      if (!built) continue;
      EXPECT_EQ(job.phrase, searcher_wants_pairs);
      EXPECT_EQ(job.converter_timeout_ms, searcher.settings.MaxParsingTime * 1000);
    }
  }
}

}  // namespace
