// Tests of the catalogue's tree logic over a fixture configuration: databases placed
// once under their Group folder, states from the index files, pruning, names, Folder.dat
// through the catalogue, and deleting a folder node with its databases.
#include <filesystem>

#include "desktop/catalogue/catalogue.h"
#include "desktop/catalogue/folder_dat.h"
#include "desktop/catalogue/tests/catalogue_fixture.h"

namespace {

namespace fs = std::filesystem;
using qm::DatabaseCatalog;
using qm::FolderTree;
using qm::TreeNode;
using qm::test::write_file;

class CatalogueTree : public qm::test::CatalogueTest {
 protected:
  // "text(level,state)" per node in tree order.
  static std::string shape(const FolderTree& tree) {
    std::string out;
    for (const auto& r : tree.to_records())
      out += r.text + "(" + std::to_string(r.level) + "," + std::to_string(r.state) + ") ";
    return out;
  }
};

TEST_F(CatalogueTree, GroupPlacesDatabasesOnceUnderOneFolder) {
  write_config({{1, "Docs"},
                {2, "Inbox", true, "Mail=1\nGroup=Mail\n"},
                {3, "Sent", false, "Mail=1\nGroup=Mail\n"},
                {4, "Other", true, "Group=Archive\n"}});
  DatabaseCatalog catalog(dir_.path());
  FolderTree tree;
  ASSERT_TRUE(catalog.LoadFolderTree(tree, "Index folders"));
  catalog.FillDatabaseTree(tree);
  EXPECT_EQ(shape(tree),
            "Index folders(0,4) Docs(1,3) Mail(1,4) Inbox(2,3) Sent(2,5) Archive(1,4) Other(2,3) ");
  EXPECT_EQ(ini_value("DB-2", "Group"), std::nullopt);  // cleared (an empty value is not kept)
  EXPECT_EQ(ini_value("DB-2", "Mail"), "1");
  EXPECT_EQ(ini_value("DB-4", "Group"), std::nullopt);

  // A later database of the same group joins the existing folder, even if it moved.
  tree.drop(tree.nodes()[2], tree.nodes()[5], qm::DropPlace::Label);  // Mail into Archive
  qm::IniTree ini;
  ASSERT_TRUE(ini.load(dir_ / "vesprin.ini"));
  ini.set("INDEX", "5", "1");
  ini.set("DB-5", "Description", "Drafts");
  ini.set("DB-5", "Group", "Mail");
  ini.set("DB-5", "WorkDir", work_dir(1));
  ASSERT_TRUE(ini.save());
  catalog.FillDatabaseTree(tree);
  EXPECT_EQ(shape(tree),
            "Index folders(0,4) Docs(1,3) Archive(1,4) Other(2,3) Mail(2,4) Inbox(3,3) Sent(3,5) "
            "Drafts(3,3) ");
  catalog.FillDatabaseTree(tree);  // nothing more to add
  EXPECT_EQ(tree.nodes().size(), 8u);
}

TEST_F(CatalogueTree, PruneFollowsTheConfigurationAndTheIndexFiles) {
  write_config({{1, "One"}, {2, "Two"}, {3, "Three"}});
  DatabaseCatalog catalog(dir_.path());
  FolderTree tree;
  catalog.LoadFolderTree(tree, "Root");
  catalog.FillDatabaseTree(tree);
  tree.click_state(tree.find_database(2));  // unchecked by the user
  ASSERT_TRUE(catalog.SaveFolderTree(tree));

  // Database 3 leaves the file, 1 loses its index, 2 is renamed.
  write_config({{1, "One", false}, {2, "Deux"}});
  FolderTree loaded;
  catalog.LoadFolderTree(loaded, "Root");
  EXPECT_EQ(shape(loaded), "Root(0,4) One(1,5) Deux(1,4) Three(1,5) ");
  catalog.FillDatabaseTree(loaded);
  EXPECT_EQ(shape(loaded), "Root(0,4) One(1,5) Deux(1,4) ");
  // The index comes back: state 5 becomes unchecked, never checked behind the user.
  write_file(work_dir(1) + "fulltext.db", "x");
  catalog.PruneDatabaseTree(loaded);
  EXPECT_EQ(shape(loaded), "Root(0,4) One(1,4) Deux(1,4) ");
  // A database twice in a damaged Folder.dat is kept once.
  loaded.add_database(loaded.root(), "dup", 2, qm::kStateChecked);
  catalog.PruneDatabaseTree(loaded);
  EXPECT_EQ(shape(loaded), "Root(0,4) One(1,4) Deux(1,4) ");
  EXPECT_TRUE(catalog.IsDatabaseMissingFromTree(loaded, 3));
  EXPECT_FALSE(catalog.IsDatabaseMissingFromTree(loaded, 2));
}

TEST_F(CatalogueTree, FolderDatThroughTheCatalogue) {
  write_config({{7, "Seven"}});
  DatabaseCatalog catalog(dir_.path());
  FolderTree empty;
  EXPECT_FALSE(catalog.SaveFolderTree(empty));
  EXPECT_FALSE(fs::exists(dir_ / "Folder.dat"));

  // A root, a folder at level 1 and a database at level 2 load back in that shape.
  FolderTree tree;
  TreeNode* root = tree.make_root("Root");
  TreeNode* f = tree.add_folder(root, "Folder", qm::kStateChecked);
  tree.add_database(f, "old name", 7, qm::kStateChecked);
  ASSERT_TRUE(catalog.SaveFolderTree(tree));
  // A copy from the old system spelt in another case is still found.
  fs::rename(dir_ / "Folder.dat", dir_ / "FOLDER.DAT");
  FolderTree back;
  ASSERT_TRUE(catalog.LoadFolderTree(back, "unused"));
  EXPECT_EQ(shape(back), "Root(0,4) Folder(1,3) Seven(2,3) ");

  write_file(dir_ / "FOLDER.DAT", "garbage");
  ASSERT_TRUE(catalog.LoadFolderTree(back, "Fresh root"));
  EXPECT_EQ(shape(back), "Fresh root(0,4) ");
}

TEST_F(CatalogueTree, RenamingANodeStoresADatabaseName) {
  write_config({{1, "One"}, {2, "Two"}});
  DatabaseCatalog catalog(dir_.path());
  FolderTree tree;
  catalog.LoadFolderTree(tree, "Root");
  catalog.FillDatabaseTree(tree);
  TreeNode* one = tree.find_database(1);
  EXPECT_EQ(catalog.RenameTreeNode(tree, one, "Two"), qm::kTextBadName);
  EXPECT_EQ(catalog.RenameTreeNode(tree, one, ""), qm::kTextBadName);
  EXPECT_EQ(one->text, "One");
  EXPECT_EQ(ini_value("DB-1", "Description"), "One");
  EXPECT_EQ(catalog.RenameTreeNode(tree, one, "Uno  "), 0);
  EXPECT_EQ(ini_value("DB-1", "Description"), "Uno");
  TreeNode* folder = tree.add_new_folder(tree.root(), "F");
  EXPECT_EQ(catalog.RenameTreeNode(tree, folder, "Letters"), 0);
  EXPECT_EQ(folder->text, "Letters");
  EXPECT_EQ(catalog.RenameTreeNode(tree, tree.root(), "X"), -1);
}

TEST_F(CatalogueTree, DeletingAFolderNodeDeletesItsDatabases) {
  write_config({{1, "One"}, {2, "Two"}, {3, "Three"}});
  DatabaseCatalog catalog(dir_.path());
  FolderTree tree;
  TreeNode* root = tree.make_root("Root");
  TreeNode* f = tree.add_folder(root, "F");
  TreeNode* g = tree.add_folder(f, "G");
  tree.add_database(g, "One", 1, qm::kStateChecked);
  tree.add_database(f, "Two", 2, qm::kStateChecked);
  tree.add_database(root, "Three", 3, qm::kStateChecked);
  EXPECT_FALSE(catalog.DeleteTreeNode(tree, root));
  ASSERT_TRUE(catalog.DeleteTreeNode(tree, f));
  EXPECT_EQ(shape(tree), "Root(0,4) Three(1,3) ");
  EXPECT_FALSE(catalog.HasDatabase(1));
  EXPECT_FALSE(catalog.HasDatabase(2));
  EXPECT_TRUE(catalog.HasDatabase(3));
  EXPECT_FALSE(fs::exists(work_dir(1)));
  EXPECT_TRUE(fs::exists(work_dir(3)));
}

}  // namespace
