// The catalogue's part of the database tree (catalogue.h): filling the tree model
// (folder_tree.h) with the databases of the configuration, pruning it, naming its
// nodes, Folder.dat (folder_dat.h) and deleting a node's databases.
#include <set>

#include "common/ini.h"
#include "desktop/catalogue/catalogue.h"
#include "desktop/catalogue/folder_dat_format.h"
#include "platform/paths.h"

namespace qm {

bool DatabaseCatalog::IsDatabaseMissingFromTree(const FolderTree& tree, int id) const {
  return tree.find_database(id) == nullptr;
}

void DatabaseCatalog::FillDatabaseTree(FolderTree& tree) {
  if (tree.empty()) return;
  Hold hold(*this);
  std::set<int> present;
  for (TreeNode* n : tree.nodes())
    if (n != tree.root() && n->is_database()) present.insert(n->database_id);

  IniTree ini;
  bool ini_loaded = false;
  bool groups_cleared = false;
  for (size_t i = 0; i < ids_.count(); ++i) {
    int id = ids_.id(i);
    if (present.count(id)) continue;
    TreeNode* parent = tree.root();
    if (!ini_loaded) ini_loaded = ini.load(config_path_);
    std::string section = "DB-" + std::to_string(id);
    std::string group = ini_loaded ? ini.get(section, "Group").value_or("") : "";
    if (!group.empty()) {
      // The group is a one-time placement hint: the first folder of that name, else a
      // new one under the root; then the key is cleared.
      TreeNode* folder = nullptr;
      for (TreeNode* n : tree.nodes())
        if (n != tree.root() && n->folder && n->text == group) {
          folder = n;
          break;
        }
      if (!folder) folder = tree.add_folder(tree.root(), group, kStateUnchecked);
      parent = folder;
      ini.set(section, "Group", "");
      groups_cleared = true;
    }
    const DatabaseEntry& e = config_.table.entries[i];
    tree.add_database(parent, e.Description, id,
                      FulltextSize(static_cast<int>(i)) > 0 ? kStateChecked : kStateNoIndex);
    present.insert(id);
  }
  // One save for all placements of this fill (each is a safe replacement of the file).
  if (groups_cleared) ini.save();
  PruneDatabaseTree(tree);
  RefreshTreeNames(tree);
}

void DatabaseCatalog::PruneDatabaseTree(FolderTree& tree) {
  Hold hold(*this);
  std::set<int> seen;
  std::vector<TreeNode*> gone;
  for (TreeNode* n : tree.nodes()) {
    if (n == tree.root() || !n->is_database()) continue;
    int i = DatabaseIndexOf(n->database_id);
    if (i < 0 || !seen.insert(n->database_id).second) {
      gone.push_back(n);
      continue;
    }
    if (FulltextSize(i) <= 0)
      n->state = kStateNoIndex;
    else if (n->state == kStateNoIndex)
      n->state = kStateUnchecked;
  }
  for (TreeNode* n : gone) tree.remove(n);  // database nodes are leaves
}

void DatabaseCatalog::RefreshTreeNames(FolderTree& tree) {
  Hold hold(*this);
  for (TreeNode* n : tree.nodes()) {
    if (n == tree.root() || !n->is_database()) continue;
    if (const DatabaseEntry* e = entry_of(n->database_id)) n->text = e->Description;
  }
}

std::string DatabaseCatalog::FolderDatPath() const {
  return path_find_case_blind(program_dir_, folder_dat::kFileName);
}

bool DatabaseCatalog::SaveFolderTree(const FolderTree& tree) {
  if (tree.empty()) return false;
  return folder_dat_write(FolderDatPath(), tree.to_records());
}

bool DatabaseCatalog::LoadFolderTree(FolderTree& tree, std::string_view root_text) {
  Hold hold(*this);
  std::vector<FolderNodeRecord> records;
  folder_dat_read(FolderDatPath(), records);
  tree.from_records(records, root_text, [this](int id, int saved) {
    return FulltextSize(DatabaseIndexOf(id)) > 0 ? saved : kStateNoIndex;
  });
  RefreshTreeNames(tree);
  return true;
}

int DatabaseCatalog::RenameTreeNode(FolderTree& tree, TreeNode* node, std::string_view typed) {
  switch (tree.rename(node, typed)) {
    case RenameResult::Accepted:
      if (node->is_database()) RenameDatabase(node->database_id, node->text);
      return 0;
    case RenameResult::Unchanged:
      return 0;
    case RenameResult::Refused:
      return kTextBadName;
    case RenameResult::NotAllowed:
      break;
  }
  return -1;
}

bool DatabaseCatalog::DeleteTreeNode(FolderTree& tree, TreeNode* node) {
  if (tree.delete_question(node) == 0) return false;
  for (int id : tree.database_ids_below(node)) DeleteDatabase(id);
  return tree.remove(node);
}

}  // namespace qm
