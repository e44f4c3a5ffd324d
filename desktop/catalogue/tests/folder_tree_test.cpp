// Tests of the database tree model: check propagation and its edge cases, the names of
// new folders, renaming, the delete questions and the drag-and-drop rules.
#include <gtest/gtest.h>

#include "desktop/catalogue/folder_tree.h"

namespace {

using qm::DropPlace;
using qm::FolderTree;
using qm::RenameResult;
using qm::TreeNode;

// Root
//   Folder A
//     Sub
//       db 3 (unchecked)
//     db 1 (unchecked)
//     db 2 (no index)
//   db 4 (unchecked)
struct Fixture {
  FolderTree tree;
  TreeNode *root, *a, *sub, *db1, *db2, *db3, *db4;
  Fixture() {
    root = tree.make_root("Root");
    a = tree.add_folder(root, "Folder A");
    sub = tree.add_folder(a, "Sub");
    db3 = tree.add_database(sub, "Three", 3, qm::kStateUnchecked);
    db1 = tree.add_database(a, "One", 1, qm::kStateUnchecked);
    db2 = tree.add_database(a, "Two", 2, qm::kStateNoIndex);
    db4 = tree.add_database(root, "Four", 4, qm::kStateUnchecked);
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (TreeNode* n : tree.nodes()) out.push_back(n->text);
    return out;
  }
};

TEST(FolderTreeChecks, FolderClickReachesEverythingBelowButNotUnindexedDatabases) {
  Fixture f;
  EXPECT_FALSE(f.tree.AnyDatabaseChecked());
  ASSERT_TRUE(f.tree.click_state(f.a));
  EXPECT_EQ(f.a->state, qm::kStateChecked);
  EXPECT_EQ(f.sub->state, qm::kStateChecked);
  EXPECT_EQ(f.db3->state, qm::kStateChecked);  // past the subfolder
  EXPECT_EQ(f.db1->state, qm::kStateChecked);
  EXPECT_EQ(f.db2->state, qm::kStateNoIndex);  // state 5 is left alone
  EXPECT_EQ(f.db4->state, qm::kStateUnchecked);
  EXPECT_TRUE(f.tree.AnyDatabaseChecked());

  ASSERT_TRUE(f.tree.click_state(f.a));
  EXPECT_EQ(f.db3->state, qm::kStateUnchecked);
  EXPECT_FALSE(f.tree.AnyDatabaseChecked());

  // A database in state 5 does not react to clicks; a database alone flips alone.
  EXPECT_FALSE(f.tree.click_state(f.db2));
  EXPECT_EQ(f.db2->state, qm::kStateNoIndex);
  ASSERT_TRUE(f.tree.click_state(f.db4));
  EXPECT_EQ(f.root->state, qm::kStateUnchecked);
  EXPECT_TRUE(f.tree.AnyDatabaseChecked());

  // Checking the root reaches every checkable database.
  ASSERT_TRUE(f.tree.click_state(f.root));
  for (TreeNode* n : {f.db1, f.db3, f.db4}) EXPECT_EQ(n->state, qm::kStateChecked);
  FolderTree empty;
  EXPECT_FALSE(empty.AnyDatabaseChecked());
}

TEST(FolderTreeNames, NewFoldersTakeTheBaseNameThenNumberedForms) {
  Fixture f;
  const std::string base = "\xB7\x73\xB8\xEA\xAE\xC6\xA7\xA8";  // 新資料夾 (text 1420)
  std::vector<std::string> made;
  for (int i = 0; i < 4; ++i) made.push_back(f.tree.add_new_folder(f.a, base)->text);
  EXPECT_EQ(made, (std::vector<std::string>{base, base + "(2)", base + "(3)", base + "(4)"}));

  // A freed name is taken again; names only containing the base do not block it.
  struct Case {
    std::vector<std::string> existing;
    std::string expected;
  } cases[] = {
      {{}, "New"},
      {{"New"}, "New(2)"},
      {{"New(2)"}, "New"},
      {{"New", "New(3)"}, "New(2)"},
      {{"Newer", "New folder"}, "New"},
      {{"New", "New(2)", "New(2)(3)"}, "New(3)"},
      {{"New  "}, "New(2)"},  // trailing blanks do not count
  };
  for (const Case& c : cases) {
    FolderTree tree;
    TreeNode* root = tree.make_root("Root");
    for (const std::string& name : c.existing) tree.add_folder(root, name);
    EXPECT_EQ(tree.add_new_folder(root, "New")->text, c.expected) << c.existing.size();
  }
  EXPECT_EQ(f.tree.add_new_folder(f.db1, "New"), nullptr);  // not inside a database
}

TEST(FolderTreeNames, CountNamesLikeTrimsAndCounts) {
  FolderTree tree;
  TreeNode* root = tree.make_root("Root");
  TreeNode* n = tree.add_folder(root, "Mail  ");
  tree.add_folder(root, "Old Mail");
  int count = 0;
  EXPECT_TRUE(tree.CountNamesLike("Mail ", count));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(n->text, "Mail");  // nodes keep the trimmed text
  EXPECT_FALSE(tree.CountNamesLike("Post", count));
  EXPECT_EQ(count, 0);
}

TEST(FolderTreeNames, RenameRefusesEmptyAndDuplicateNames) {
  Fixture f;
  EXPECT_EQ(f.tree.rename(f.sub, "   "), RenameResult::Refused);
  EXPECT_EQ(f.sub->text, "Sub");
  EXPECT_EQ(f.tree.rename(f.sub, "One"), RenameResult::Refused);  // a database's name
  EXPECT_EQ(f.sub->text, "Sub");
  EXPECT_EQ(f.tree.rename(f.sub, "Sub  "), RenameResult::Unchanged);
  EXPECT_EQ(f.tree.rename(f.sub, "Letters "), RenameResult::Accepted);
  EXPECT_EQ(f.sub->text, "Letters");
  EXPECT_EQ(f.tree.rename(f.root, "Top"), RenameResult::NotAllowed);
  EXPECT_EQ(f.root->text, "Root");
}

TEST(FolderTreeDelete, QuestionsAndDatabasesBelow) {
  Fixture f;
  struct {
    TreeNode* node;
    bool add, props, del;
  } commands[] = {{f.root, true, false, false}, {f.sub, true, false, true},
                  {f.db1, false, true, true}, {nullptr, false, false, false}};
  for (auto& c : commands) {
    qm::TreeCommands got = f.tree.commands_for(c.node);
    EXPECT_EQ(got.add_folder, c.add);
    EXPECT_EQ(got.properties, c.props);
    EXPECT_EQ(got.delete_rename, c.del);
  }
  EXPECT_TRUE(f.tree.delete_key_deletes(f.db1, false));
  EXPECT_FALSE(f.tree.delete_key_deletes(f.db1, true));  // while a name is edited
  EXPECT_FALSE(f.tree.delete_key_deletes(f.root, false));
  EXPECT_EQ(f.tree.delete_question(f.root), 0);
  EXPECT_EQ(f.tree.delete_question(f.a), qm::kTextDeleteFolder);
  EXPECT_EQ(f.tree.delete_question(f.db4), qm::kTextDeleteDatabase);
  EXPECT_EQ(f.tree.database_ids_below(f.a), (std::vector<int>{3, 1, 2}));
  EXPECT_EQ(f.tree.NodeDatabaseId(f.db2), 2);
  EXPECT_EQ(f.tree.NodeDatabaseId(f.sub), -1);
  EXPECT_FALSE(f.tree.remove(f.root));
  EXPECT_TRUE(f.tree.remove(f.a));
  EXPECT_EQ(f.tree.nodes().size(), 2u);
  EXPECT_EQ(f.tree.find_database(3), nullptr);
}

TEST(FolderTreeDrag, DropRules) {
  struct Case {
    const char* what;
    TreeNode* Fixture::*node;
    TreeNode* Fixture::*target;  // nullptr member: no node
    DropPlace place;
    bool moved;
    std::vector<std::string> order;  // node texts in tree order afterwards
  };
  const std::vector<std::string> before = {"Root", "Folder A", "Sub", "Three", "One", "Two", "Four"};
  const Case cases[] = {
      {"onto a folder's label", &Fixture::db4, &Fixture::sub, DropPlace::Label, true,
       {"Root", "Folder A", "Sub", "Three", "Four", "One", "Two"}},
      {"onto a folder's icon", &Fixture::db1, &Fixture::root, DropPlace::Icon, true,
       {"Root", "Folder A", "Sub", "Three", "Two", "Four", "One"}},
      {"onto a database", &Fixture::db4, &Fixture::db1, DropPlace::Label, false, before},
      {"onto a database's indent", &Fixture::db4, &Fixture::db1, DropPlace::Indent, false, before},
      {"onto itself", &Fixture::a, &Fixture::a, DropPlace::Label, false, before},
      {"onto its own descendant", &Fixture::a, &Fixture::sub, DropPlace::Label, false, before},
      {"in front of its own descendant", &Fixture::a, &Fixture::sub, DropPlace::Indent, false, before},
      {"on a folder's indent", &Fixture::db4, &Fixture::a, DropPlace::Indent, true,
       {"Root", "Four", "Folder A", "Sub", "Three", "One", "Two"}},
      {"in front of the root", &Fixture::db4, &Fixture::root, DropPlace::Indent, false, before},
      {"on the empty area", &Fixture::sub, nullptr, DropPlace::NoNode, true,
       {"Root", "Folder A", "One", "Two", "Four", "Sub", "Three"}},
      {"elsewhere", &Fixture::db4, &Fixture::a, DropPlace::Elsewhere, false, before},
      {"the root itself", &Fixture::root, &Fixture::a, DropPlace::Label, false, before},
  };
  for (const Case& c : cases) {
    Fixture f;
    TreeNode* target = c.target ? f.*(c.target) : nullptr;
    EXPECT_EQ(f.tree.drop(f.*(c.node), target, c.place), c.moved) << c.what;
    EXPECT_EQ(f.texts(), c.order) << c.what;
  }
  EXPECT_TRUE(FolderTree::can_drag_over(nullptr));
  Fixture f;
  EXPECT_FALSE(FolderTree::can_drag_over(f.db1));
  EXPECT_TRUE(FolderTree::can_drag_over(f.sub));
}

TEST(FolderTreeRecords, NothingHangsBelowADatabaseAndStatesAreBounded) {
  std::vector<qm::FolderNodeRecord> records = {
      {true, 3, 0, -1, "Root"},  {false, 77, 1, 8, "db"},  {false, 3, 2, 9, "under db"},
      {true, 5, 1, -1, "folder"}, {false, 4, 2, 10, "kept"}};
  FolderTree tree;
  tree.from_records(records, "", [](int id, int saved) { return id == 10 ? qm::kStateNoIndex : saved; });
  auto out = tree.to_records();
  ASSERT_EQ(out.size(), 5u);
  EXPECT_EQ(out[1].state, qm::kStateUnchecked);  // 77 is no state
  EXPECT_EQ(out[2].level, 1);                    // moved up beside the database
  EXPECT_EQ(out[3].state, qm::kStateUnchecked);  // a folder never shows 5
  EXPECT_EQ(out[4].state, qm::kStateNoIndex);
  EXPECT_EQ(out[0].state, qm::kStateChecked);

  FolderTree fresh;
  fresh.from_records({}, "Index folders", [](int, int s) { return s; });
  ASSERT_EQ(fresh.nodes().size(), 1u);
  EXPECT_EQ(fresh.root()->text, "Index folders");
}

}  // namespace
