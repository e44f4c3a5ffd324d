// The database tree as plain data: folder nodes and database nodes under one root, with
// the check states, naming, renaming and drag-and-drop rules of the desktop's tree. The
// Qt tree view mirrors this model and forwards the user's actions to it; the catalogue
// (catalogue.h) fills it from the configuration and saves and loads it as Folder.dat
// (folder_dat.h). Node texts are 8-bit (Big5 or ASCII), as stored.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/catalogue/folder_dat.h"

namespace qm {

// State indexes of a node (its state icon).
enum NodeState : int {
  kStateChecked = 3,
  kStateUnchecked = 4,
  kStateNoIndex = 5,  // database whose fulltext.db is missing or empty; not checkable
};

// Text ids of the messages the tree's actions lead to.
enum TreeTextId : int {
  kTextNewFolder = 1420,      // name of a new folder
  kTextDeleteFolder = 1421,   // question before deleting a folder
  kTextDeleteDatabase = 1422, // question before deleting a database
  kTextBadName = 1423,        // empty or duplicate name
  kTextRootName = 1611,       // the root of a tree made afresh
};

struct TreeNode {
  bool folder = true;
  int state = kStateUnchecked;
  std::string text;
  int database_id = -1;  // database nodes
  TreeNode* parent = nullptr;
  std::vector<std::unique_ptr<TreeNode>> children;

  bool is_database() const { return !folder; }
  int index_in_parent() const;
};

// Which tree commands a selected node allows (menus and the Delete key).
struct TreeCommands {
  bool add_folder = false;  // inside folders only
  bool properties = false;  // databases only
  bool delete_rename = false;  // every node but the root
};

// Where a dragged node is let go, as the view's hit test tells it.
enum class DropPlace { Label, Icon, Indent, NoNode, Elsewhere };

enum class RenameResult {
  Accepted,       // text taken (trailing blanks trimmed)
  Unchanged,      // the same text again: nothing to store
  Refused,        // empty or another node's text: show kTextBadName, restore the old text
  NotAllowed,     // the root keeps its name
};

class FolderTree {
 public:
  FolderTree();  // empty: no root

  bool empty() const { return !root_; }
  TreeNode* root() const { return root_.get(); }
  void clear() { root_.reset(); }
  // Starts the tree afresh with one root folder of that text (state unchecked).
  TreeNode* make_root(std::string_view text);

  // Adds a node as the last child of parent (which must be a folder of this tree).
  TreeNode* add_folder(TreeNode* parent, std::string_view text, int state = kStateUnchecked);
  TreeNode* add_database(TreeNode* parent, std::string_view text, int database_id, int state);
  // Removes node and everything below it (not the root).
  bool remove(TreeNode* node);

  // Every node in tree order (depth first, parents before children), root first.
  std::vector<TreeNode*> nodes() const;
  // The database node carrying id, or nullptr.
  TreeNode* find_database(int id) const;
  // The database id of a node other than the root; -1 for folders and foreign nodes.
  int NodeDatabaseId(const TreeNode* node) const;
  bool contains(const TreeNode* node) const;
  static bool is_within(const TreeNode* node, const TreeNode* ancestor);

  // ---- Check states ----
  // A click on a node's state icon: 3 and 4 flip (other states stay); a folder then
  // hands its state down. false when nothing changed.
  bool click_state(TreeNode* node);
  // Hands node's state to every folder below it and to every database below it whose
  // state is 3 or 4.
  static void PropagateCheck(TreeNode* node);
  // Some database node is checked (the search button follows this).
  bool AnyDatabaseChecked() const;

  // ---- Names ----
  // Trims trailing blanks of every node's text (nodes keep the trimmed text) and of name;
  // count = nodes whose text equals or contains name; true when one equals it.
  bool CountNamesLike(std::string_view name, int& count);
  // A name no node has: base when free, else base + "(n)" for the first free n from 2.
  std::string unique_folder_name(std::string_view base);
  // Adds a folder of a free name derived from base as the last child of parent
  // (a folder); nullptr for a database parent.
  TreeNode* add_new_folder(TreeNode* parent, std::string_view base);
  // Checks and applies a typed name; on Refused and NotAllowed the node keeps its text.
  RenameResult rename(TreeNode* node, std::string_view typed);

  // The commands node allows (nullptr: none).
  TreeCommands commands_for(const TreeNode* node) const;
  // The Delete key deletes the selected node when it is not the root and no name is
  // being edited.
  bool delete_key_deletes(const TreeNode* node, bool editing) const {
    return !editing && commands_for(node).delete_rename;
  }

  // ---- Deleting ----
  // The question to ask before deleting node: 1421 folder, 1422 database, 0 for the
  // root (which cannot be deleted).
  int delete_question(const TreeNode* node) const;
  // The database ids at and below node, in tree order (what deleting it deletes).
  std::vector<int> database_ids_below(const TreeNode* node) const;

  // ---- Dragging ----
  // Whether dragging over target (nullptr: no node) is accepted: not over a database.
  static bool can_drag_over(const TreeNode* target);
  // Moves node as dropped: on a folder's label or icon, as its last child; on no node, as
  // the last child of the root (the tree keeps one root); on a node's indent, in front of
  // it. Refused (false, nothing moves) for the root, a database target, the node itself
  // or any node below it, and a drop in front of the root or elsewhere.
  bool drop(TreeNode* node, TreeNode* target, DropPlace place);

  // ---- Records (Folder.dat) ----
  std::vector<FolderNodeRecord> to_records() const;
  // Rebuilds the tree from records (as folder_dat_read gives them): record 0 is the
  // root; a later record hangs below the last node one level up (below its folder when
  // that is a database). Database states come from state_of(id, saved state). States
  // other than 3, 4, 5 become 4; a folder never keeps 5. Empty records: one root of
  // root_text.
  void from_records(const std::vector<FolderNodeRecord>& records, std::string_view root_text,
                    const std::function<int(int id, int saved_state)>& state_of);

 private:
  std::unique_ptr<TreeNode> root_;
};

}  // namespace qm
