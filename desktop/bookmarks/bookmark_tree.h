// The bookmark manager's tree as plain data: folders, separators (folders captioned with
// the separator label) and bookmarks under one root, loaded from and saved to
// Bookmark.dat (bookmark_dat.h), with the manager's edits: new folder and separator
// beside a folder, delete, caption and path changes, moves by drag zone, bookmarks added
// from hits, and the path of a menu tag. Captions are Big5, paths file-system bytes. The
// Qt manager (desktop/forms/bookmark_form.h) shows the tree and mirrors it into the main
// window's bookmark menu; tests in tests/bookmark_tree_test.cpp.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/bookmarks/bookmark_dat.h"

namespace qm {

struct BookmarkNode {
  uint8_t kind = 1;    // bookmark_dat::kKindFolder or kKindBookmark
  int32_t index = -1;  // the record's index; -1 for the root and folders not yet saved
  std::string path;
  std::string caption;
  BookmarkNode* parent = nullptr;
  std::vector<std::unique_ptr<BookmarkNode>> children;
  bool is_bookmark() const { return kind == 0; }
};

// Tree pictures: a folder (1 when selected), a bookmark, a separator.
enum BookmarkImage : int { kImageFolder = 0, kImageFolderOpen = 1, kImageBookmark = 2, kImageSeparator = 3 };

// Where a drop lands relative to the node under the pointer.
enum class BookmarkDrop { None, Before, Into, After };

// The drop zone for a pointer at y over a node drawn from top to bottom (bottom
// exclusive), q = (bottom - top) / 4: [top, top + q] before, [bottom - q, bottom] after,
// else into. On the root only "into" exists; "into" is refused (None) on anything but a
// folder, "before" and "after" are allowed on every node but the root.
BookmarkDrop bookmark_drop_zone(int top, int bottom, int y, bool root, bool plain_folder);

// The path of a hit as bookmarked: a page document's page mark, a trailing "(" digits ")",
// is cut off; any other "(" is the file name's own and stays.
std::string bookmark_hit_path(std::string_view document_path);

class BookmarkTree {
 public:
  BookmarkTree();

  // Separator labels (Big5): the first is written for new separators; a folder captioned
  // with any of them is a separator (the label of each language).
  void set_separator_labels(std::vector<std::string> labels);
  const std::string& separator_label() const { return labels_.front(); }
  bool is_separator(const BookmarkNode& node) const;
  // A folder that is not a separator (the root included).
  bool is_plain_folder(const BookmarkNode& node) const;
  int image_of(const BookmarkNode& node) const;

  // Replaces the tree by the records (the first is the root); none: a root alone with
  // root_caption.
  void load_records(const std::vector<BookmarkRecord>& records, const std::string& root_caption);
  // The tree as records in tree order, index = position.
  std::vector<BookmarkRecord> records() const;
  // Bookmark.dat at path: load (a missing or empty file gives the root alone) and save
  // (false, old file whole, when it cannot be written).
  BookmarkDatStatus load(const std::string& path, const std::string& root_caption);
  bool save(const std::string& path) const;

  BookmarkNode* root() const { return root_.get(); }
  // Every node in tree order (a node, then its children).
  std::vector<BookmarkNode*> nodes() const;
  int position_of(const BookmarkNode* node) const;  // -1 when not in the tree
  BookmarkNode* node_at(int position) const;
  int level_of(const BookmarkNode* node) const;

  // A bookmark as last child of the root; its index is its tree position, returned.
  int add_bookmark(const std::string& caption, const std::string& path);
  // A folder or separator as last sibling of a plain folder (the root's children for the
  // root); nullptr when the selection is not a plain folder.
  BookmarkNode* add_folder_beside(BookmarkNode* selection, const std::string& caption);
  BookmarkNode* add_separator_beside(BookmarkNode* selection);
  // Removes the node with its subtree; never the root.
  bool remove(BookmarkNode* node);
  void set_caption(BookmarkNode* node, const std::string& caption);
  void set_path(BookmarkNode* node, const std::string& path);
  // A hit dropped at a zone of target: into a folder as its last child, else beside the
  // target; nullptr when the zone is refused there. The new bookmark's index is -1 until
  // the next save and reload.
  BookmarkNode* drop_bookmark(BookmarkNode* target, BookmarkDrop zone, const std::string& caption,
                              const std::string& path);
  // Moves node to a zone of target; refused (false) for the root, a zone refused on the
  // target, or a target inside the node itself.
  bool move(BookmarkNode* node, BookmarkNode* target, BookmarkDrop zone);

  // The path of the node whose index is tag; "Error" when there is none.
  std::string path_of_tag(int tag) const;

 private:
  bool zone_allowed(const BookmarkNode* target, BookmarkDrop zone) const;
  BookmarkNode* place(std::unique_ptr<BookmarkNode> node, BookmarkNode* target, BookmarkDrop zone);
  std::unique_ptr<BookmarkNode> root_;
  std::vector<std::string> labels_;
};

}  // namespace qm
