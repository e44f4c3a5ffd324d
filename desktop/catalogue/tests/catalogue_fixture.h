// A scratch program directory for the catalogue's tests: a vesprin.ini written from
// database descriptions, index folders with or without a fulltext.db, and a catalogue
// over them (with the desktop's rules of the common library).
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ini.h"
#include "common/strings.h"
#include "desktop/catalogue/catalogue.h"
#include "testsupport/test_files.h"

namespace qm::test {

struct FixtureDatabase {
  FixtureDatabase(int id_, std::string description_, bool indexed_ = true, std::string extra_ = "",
                  std::string index_value_ = "1")
      : id(id_), description(std::move(description_)), indexed(indexed_), extra(std::move(extra_)),
        index_value(std::move(index_value_)) {}
  int id;
  std::string description;
  bool indexed;             // fulltext.db holds bytes
  std::string extra;        // more "key=value\n" lines of DB-<id>
  std::string index_value;  // the value of INDEX/<id>
};

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override { common_set_desktop_profile(true); }
  void TearDown() override { common_set_desktop_profile(false); }

  std::string work_dir(int id) const { return dir_.path() + "DB/db-" + std::to_string(id) + "/"; }

  // Writes vesprin.ini (and the index folders) for the databases.
  void write_config(const std::vector<FixtureDatabase>& dbs, const std::string& vesprin = "") {
    std::string ini = "[VESPRIN]\n" + vesprin + "[INDEX]\n";
    for (const auto& db : dbs) ini += std::to_string(db.id) + "=" + db.index_value + "\n";
    for (const auto& db : dbs) {
      ini += "[DB-" + std::to_string(db.id) + "]\nDescription=" + db.description +
             "\nHtmlDir=" + dir_.path() + "docs/\nWorkDir=" + work_dir(db.id) + "\n" + db.extra;
      dir_.sub("DB/db-" + std::to_string(db.id));
      write_file(work_dir(db.id) + "fulltext.db", db.indexed ? "text" : "");
    }
    write_file(dir_ / "vesprin.ini", ini);
  }

  std::optional<std::string> ini_value(const std::string& section, const std::string& key) {
    IniTree tree;
    if (!tree.load(dir_ / "vesprin.ini")) return std::nullopt;
    return tree.get(section, key);
  }

  TempDir dir_{"qm-catalogue-"};
};

}  // namespace qm::test
