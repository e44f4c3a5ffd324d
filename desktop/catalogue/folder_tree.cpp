// The database tree model (folder_tree.h): nodes, check states, names, deleting and
// dragging, and the flat records of Folder.dat.
#include "desktop/catalogue/folder_tree.h"

#include <algorithm>
#include <set>

#include "desktop/catalogue/folder_dat_format.h"

namespace qm {
namespace {

void trim_trailing_blanks(std::string& text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
}

std::string trimmed(std::string_view text) {
  std::string out(text);
  trim_trailing_blanks(out);
  return out;
}

void collect(TreeNode* node, std::vector<TreeNode*>& out) {
  out.push_back(node);
  for (auto& child : node->children) collect(child.get(), out);
}

int depth_of(const TreeNode* node) {
  int depth = 0;
  for (const TreeNode* p = node->parent; p; p = p->parent) ++depth;
  return depth;
}

// Levels the subtree of node occupies below node itself (0 for a leaf).
int height_of(const TreeNode* node) {
  int height = 0;
  for (const auto& child : node->children) height = std::max(height, 1 + height_of(child.get()));
  return height;
}

std::unique_ptr<TreeNode> detach(TreeNode* node) {
  auto& siblings = node->parent->children;
  auto it = siblings.begin() + node->index_in_parent();
  std::unique_ptr<TreeNode> owned = std::move(*it);
  siblings.erase(it);
  owned->parent = nullptr;
  return owned;
}

}  // namespace

int TreeNode::index_in_parent() const {
  if (!parent) return 0;
  const auto& siblings = parent->children;
  for (size_t i = 0; i < siblings.size(); ++i)
    if (siblings[i].get() == this) return static_cast<int>(i);
  return -1;
}

FolderTree::FolderTree() = default;

TreeNode* FolderTree::make_root(std::string_view text) {
  root_ = std::make_unique<TreeNode>();
  root_->text = std::string(text);
  return root_.get();
}

TreeNode* FolderTree::add_folder(TreeNode* parent, std::string_view text, int state) {
  auto node = std::make_unique<TreeNode>();
  node->folder = true;
  node->state = state;
  node->text = std::string(text);
  node->parent = parent;
  parent->children.push_back(std::move(node));
  return parent->children.back().get();
}

TreeNode* FolderTree::add_database(TreeNode* parent, std::string_view text, int database_id,
                                   int state) {
  TreeNode* node = add_folder(parent, text, state);
  node->folder = false;
  node->database_id = database_id;
  return node;
}

bool FolderTree::remove(TreeNode* node) {
  if (!node || node == root_.get() || !contains(node)) return false;
  detach(node);
  return true;
}

std::vector<TreeNode*> FolderTree::nodes() const {
  std::vector<TreeNode*> out;
  if (root_) collect(root_.get(), out);
  return out;
}

TreeNode* FolderTree::find_database(int id) const {
  for (TreeNode* n : nodes())
    if (n->is_database() && n->database_id == id) return n;
  return nullptr;
}

int FolderTree::NodeDatabaseId(const TreeNode* node) const {
  if (!node || node == root_.get() || !node->is_database() || !contains(node)) return -1;
  return node->database_id;
}

bool FolderTree::is_within(const TreeNode* node, const TreeNode* ancestor) {
  for (const TreeNode* p = node; p; p = p->parent)
    if (p == ancestor) return true;
  return false;
}

bool FolderTree::contains(const TreeNode* node) const {
  return node && root_ && is_within(node, root_.get());
}

// ---- Check states ---------------------------------------------------------------------

bool FolderTree::click_state(TreeNode* node) {
  if (!node) return false;
  if (node->state == kStateChecked)
    node->state = kStateUnchecked;
  else if (node->state == kStateUnchecked)
    node->state = kStateChecked;
  else
    return false;
  if (node->folder) PropagateCheck(node);
  return true;
}

void FolderTree::PropagateCheck(TreeNode* node) {
  for (auto& child : node->children) {
    if (child->folder) {
      child->state = node->state;
      PropagateCheck(child.get());
    } else if (child->state == kStateChecked || child->state == kStateUnchecked) {
      child->state = node->state;
    }
  }
}

bool FolderTree::AnyDatabaseChecked() const {
  for (TreeNode* n : nodes())
    if (n != root_.get() && n->is_database() && n->state == kStateChecked) return true;
  return false;
}

// ---- Names ----------------------------------------------------------------------------

bool FolderTree::CountNamesLike(std::string_view name, int& count) {
  std::string wanted = trimmed(name);
  bool exact = false;
  count = 0;
  for (TreeNode* n : nodes()) {
    trim_trailing_blanks(n->text);
    if (n->text == wanted) {
      exact = true;
      ++count;
    } else if (n->text.find(wanted) != std::string::npos) {
      ++count;
    }
  }
  return exact;
}

std::string FolderTree::unique_folder_name(std::string_view base) {
  std::string name = trimmed(base);
  int count = 0;
  if (!CountNamesLike(name, count)) return name;
  std::set<std::string> taken;
  for (TreeNode* n : nodes()) taken.insert(n->text);
  // Each candidate is made from the base name, so the names run name(2), name(3), ...
  for (int n = 2;; ++n) {
    std::string candidate = name + "(" + std::to_string(n) + ")";
    if (!taken.count(candidate)) return candidate;
  }
}

TreeNode* FolderTree::add_new_folder(TreeNode* parent, std::string_view base) {
  if (!contains(parent) || !parent->folder) return nullptr;
  if (depth_of(parent) + 1 >= folder_dat::kMaxLevels) return nullptr;  // Folder.dat keeps 30
  return add_folder(parent, unique_folder_name(base), kStateUnchecked);
}

RenameResult FolderTree::rename(TreeNode* node, std::string_view typed) {
  if (!contains(node)) return RenameResult::NotAllowed;
  if (node == root_.get()) return RenameResult::NotAllowed;
  std::string text = trimmed(typed);
  if (text.empty()) return RenameResult::Refused;
  if (text == trimmed(node->text)) {
    node->text = text;
    return RenameResult::Unchanged;
  }
  for (TreeNode* n : nodes())
    if (n != node && trimmed(n->text) == text) return RenameResult::Refused;
  node->text = folder_dat_cut_text(text, folder_dat::kMaxText);
  return RenameResult::Accepted;
}

TreeCommands FolderTree::commands_for(const TreeNode* node) const {
  TreeCommands c;
  if (!contains(node)) return c;
  c.add_folder = node->folder;
  c.properties = node->is_database();
  c.delete_rename = node != root_.get();
  return c;
}

// ---- Deleting -------------------------------------------------------------------------

int FolderTree::delete_question(const TreeNode* node) const {
  if (!contains(node) || node == root_.get()) return 0;
  return node->folder ? kTextDeleteFolder : kTextDeleteDatabase;
}

std::vector<int> FolderTree::database_ids_below(const TreeNode* node) const {
  std::vector<int> ids;
  if (!contains(node)) return ids;
  std::vector<TreeNode*> below;
  collect(const_cast<TreeNode*>(node), below);
  for (TreeNode* n : below)
    if (n->is_database()) ids.push_back(n->database_id);
  return ids;
}

// ---- Dragging -------------------------------------------------------------------------

bool FolderTree::can_drag_over(const TreeNode* target) { return !target || target->folder; }

bool FolderTree::drop(TreeNode* node, TreeNode* target, DropPlace place) {
  if (!contains(node) || node == root_.get()) return false;
  if (target && (!contains(target) || !can_drag_over(target))) return false;
  // Never onto or in front of the node itself or anything below it.
  if (target && is_within(target, node)) return false;

  TreeNode* parent = nullptr;
  int position = -1;  // -1: last
  switch (place) {
    case DropPlace::Label:
    case DropPlace::Icon:
      if (!target) return false;
      parent = target;
      break;
    case DropPlace::NoNode:
      if (target) return false;
      parent = root_.get();
      break;
    case DropPlace::Indent:
      if (!target || target == root_.get()) return false;
      parent = target->parent;
      break;
    case DropPlace::Elsewhere:
      return false;
  }
  if (depth_of(parent) + 1 + height_of(node) >= folder_dat::kMaxLevels) return false;

  std::unique_ptr<TreeNode> owned = detach(node);
  if (place == DropPlace::Indent) position = target->index_in_parent();
  owned->parent = parent;
  if (position < 0)
    parent->children.push_back(std::move(owned));
  else
    parent->children.insert(parent->children.begin() + position, std::move(owned));
  return true;
}

// ---- Records --------------------------------------------------------------------------

std::vector<FolderNodeRecord> FolderTree::to_records() const {
  std::vector<FolderNodeRecord> records;
  for (TreeNode* n : nodes()) {
    FolderNodeRecord r;
    r.group = n->folder;
    r.state = n->state;
    r.level = depth_of(n);
    r.database_id = n->folder ? -1 : n->database_id;
    r.text = n->text;
    records.push_back(std::move(r));
  }
  return records;
}

void FolderTree::from_records(const std::vector<FolderNodeRecord>& records,
                              std::string_view root_text,
                              const std::function<int(int, int)>& state_of) {
  root_.reset();
  auto folder_state = [](int s) { return s == kStateChecked ? kStateChecked : kStateUnchecked; };
  if (records.empty()) {
    make_root(root_text);
    return;
  }
  TreeNode* root = make_root(records[0].text);
  root->state = folder_state(records[0].state);
  std::vector<TreeNode*> last(folder_dat::kMaxLevels, nullptr);
  last[0] = root;
  for (size_t i = 1; i < records.size(); ++i) {
    const FolderNodeRecord& r = records[i];
    int level = std::clamp(r.level, 1, folder_dat::kMaxLevels - 1);
    TreeNode* parent = nullptr;
    for (int l = level - 1; l >= 0 && !parent; --l) parent = last[l];
    while (parent->is_database()) parent = parent->parent;  // nothing hangs below a database
    TreeNode* node;
    if (r.group) {
      node = add_folder(parent, r.text, folder_state(r.state));
    } else {
      int saved = r.state;
      if (saved != kStateChecked && saved != kStateUnchecked && saved != kStateNoIndex)
        saved = kStateUnchecked;
      node = add_database(parent, r.text, r.database_id, state_of(r.database_id, saved));
    }
    last[level] = node;
    std::fill(last.begin() + level + 1, last.end(), nullptr);
  }
}

}  // namespace qm
