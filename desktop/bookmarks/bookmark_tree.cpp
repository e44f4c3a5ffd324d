// The bookmark tree as plain data (see bookmark_tree.h). Builds on bookmark_dat.h for the
// file; the records' levels arrive sound from its reader, so loading only follows them.
#include "desktop/bookmarks/bookmark_tree.h"

#include <algorithm>
#include <functional>

#include "desktop/bookmarks/bookmark_format.h"

namespace qm {
namespace bd = bookmark_dat;

BookmarkDrop bookmark_drop_zone(int top, int bottom, int y, bool root, bool plain_folder) {
  if (root) return BookmarkDrop::Into;
  const int q = (bottom - top) / 4;
  if (y >= top && y <= top + q) return BookmarkDrop::Before;
  if (y >= bottom - q && y <= bottom) return BookmarkDrop::After;
  return plain_folder ? BookmarkDrop::Into : BookmarkDrop::None;
}

std::string bookmark_hit_path(std::string_view document_path) {
  const std::string_view p = document_path;
  if (p.size() < 3 || p.back() != ')') return std::string(p);
  size_t open = p.size() - 1;
  while (open > 0 && p[open - 1] >= '0' && p[open - 1] <= '9') --open;
  // At least one digit between "(" and ")".
  if (open == 0 || open == p.size() - 1 || p[open - 1] != '(') return std::string(p);
  return std::string(p.substr(0, open - 1));
}

BookmarkTree::BookmarkTree() : root_(std::make_unique<BookmarkNode>()), labels_{"-"} {}

void BookmarkTree::set_separator_labels(std::vector<std::string> labels) {
  labels.erase(std::remove(labels.begin(), labels.end(), std::string()), labels.end());
  if (labels.empty()) labels.push_back("-");
  labels_ = std::move(labels);
}

bool BookmarkTree::is_separator(const BookmarkNode& node) const {
  return !node.is_bookmark() && node.parent &&
         std::find(labels_.begin(), labels_.end(), node.caption) != labels_.end();
}

bool BookmarkTree::is_plain_folder(const BookmarkNode& node) const {
  return !node.is_bookmark() && !is_separator(node);
}

int BookmarkTree::image_of(const BookmarkNode& node) const {
  if (node.is_bookmark()) return kImageBookmark;
  return is_separator(node) ? kImageSeparator : kImageFolder;
}

void BookmarkTree::load_records(const std::vector<BookmarkRecord>& records,
                                const std::string& root_caption) {
  root_ = std::make_unique<BookmarkNode>();
  root_->kind = bd::kKindFolder;
  root_->index = -1;
  if (records.empty()) {
    root_->caption = root_caption;
    return;
  }
  root_->caption = records.front().caption;
  // The last node made at each level; a record hangs below the one of the level above.
  std::vector<BookmarkNode*> last(bd::kMaxLevels, nullptr);
  last[0] = root_.get();
  for (size_t i = 1; i < records.size(); ++i) {
    const BookmarkRecord& r = records[i];
    int parent_level = std::clamp(r.level - 1, 0, bd::kMaxLevels - 2);
    // The reader makes levels sound; records made elsewhere still land in a folder.
    while (parent_level > 0 && (!last[size_t(parent_level)] || last[size_t(parent_level)]->is_bookmark()))
      --parent_level;
    BookmarkNode* parent = last[size_t(parent_level)];
    auto node = std::make_unique<BookmarkNode>();
    node->kind = r.kind == bd::kKindBookmark ? bd::kKindBookmark : bd::kKindFolder;
    node->index = r.index;
    node->path = r.path;
    node->caption = r.caption;
    node->parent = parent;
    BookmarkNode* made = node.get();
    parent->children.push_back(std::move(node));
    last[size_t(parent_level) + 1] = made;
    std::fill(last.begin() + parent_level + 2, last.end(), nullptr);
  }
}

std::vector<BookmarkNode*> BookmarkTree::nodes() const {
  std::vector<BookmarkNode*> out;
  std::function<void(BookmarkNode*)> walk = [&](BookmarkNode* n) {
    out.push_back(n);
    for (auto& c : n->children) walk(c.get());
  };
  walk(root_.get());
  return out;
}

int BookmarkTree::position_of(const BookmarkNode* node) const {
  const std::vector<BookmarkNode*> all = nodes();
  const auto it = std::find(all.begin(), all.end(), node);
  return it == all.end() ? -1 : int(it - all.begin());
}

BookmarkNode* BookmarkTree::node_at(int position) const {
  const std::vector<BookmarkNode*> all = nodes();
  return position >= 0 && size_t(position) < all.size() ? all[size_t(position)] : nullptr;
}

int BookmarkTree::level_of(const BookmarkNode* node) const {
  int level = 0;
  for (const BookmarkNode* p = node->parent; p; p = p->parent) ++level;
  return level;
}

std::vector<BookmarkRecord> BookmarkTree::records() const {
  std::vector<BookmarkRecord> out;
  int i = 0;
  for (const BookmarkNode* n : nodes()) {
    BookmarkRecord r;
    r.kind = n->kind;
    r.index = i++;
    r.path = n->path;
    r.level = level_of(n);
    r.caption = n->caption;
    out.push_back(std::move(r));
  }
  return out;
}

BookmarkDatStatus BookmarkTree::load(const std::string& path, const std::string& root_caption) {
  std::vector<BookmarkRecord> records;
  const BookmarkDatStatus status = bookmark_dat_read(path, records);
  load_records(records, root_caption);
  return status;
}

bool BookmarkTree::save(const std::string& path) const {
  return bookmark_dat_write(path, records());
}

int BookmarkTree::add_bookmark(const std::string& caption, const std::string& path) {
  auto node = std::make_unique<BookmarkNode>();
  node->kind = bd::kKindBookmark;
  node->caption = bookmark_cut_text(caption, bd::kMaxCaption);
  node->path = bookmark_cut_text(path, bd::kMaxPath);
  node->parent = root_.get();
  BookmarkNode* made = node.get();
  root_->children.push_back(std::move(node));
  made->index = position_of(made);
  return made->index;
}

BookmarkNode* BookmarkTree::add_folder_beside(BookmarkNode* selection, const std::string& caption) {
  if (!selection || !is_plain_folder(*selection)) return nullptr;
  // Beside the selection; the root has no siblings, so its folders go inside it.
  BookmarkNode* parent = selection->parent ? selection->parent : root_.get();
  auto node = std::make_unique<BookmarkNode>();
  node->kind = bd::kKindFolder;
  node->caption = bookmark_cut_text(caption, bd::kMaxCaption);
  node->parent = parent;
  BookmarkNode* made = node.get();
  parent->children.push_back(std::move(node));
  return made;
}

BookmarkNode* BookmarkTree::add_separator_beside(BookmarkNode* selection) {
  return add_folder_beside(selection, separator_label());
}

bool BookmarkTree::remove(BookmarkNode* node) {
  if (!node || !node->parent) return false;
  auto& siblings = node->parent->children;
  const auto it = std::find_if(siblings.begin(), siblings.end(),
                               [node](const auto& c) { return c.get() == node; });
  if (it == siblings.end()) return false;
  siblings.erase(it);
  return true;
}

void BookmarkTree::set_caption(BookmarkNode* node, const std::string& caption) {
  node->caption = bookmark_cut_text(caption, bd::kMaxCaption);
}

void BookmarkTree::set_path(BookmarkNode* node, const std::string& path) {
  node->path = bookmark_cut_text(path, bd::kMaxPath);
}

bool BookmarkTree::zone_allowed(const BookmarkNode* target, BookmarkDrop zone) const {
  if (!target || zone == BookmarkDrop::None) return false;
  if (!target->parent) return zone == BookmarkDrop::Into;
  return zone != BookmarkDrop::Into || is_plain_folder(*target);
}

BookmarkNode* BookmarkTree::place(std::unique_ptr<BookmarkNode> node, BookmarkNode* target,
                                  BookmarkDrop zone) {
  BookmarkNode* made = node.get();
  if (zone == BookmarkDrop::Into) {
    node->parent = target;
    target->children.push_back(std::move(node));
    return made;
  }
  BookmarkNode* parent = target->parent;
  auto& siblings = parent->children;
  auto at = std::find_if(siblings.begin(), siblings.end(),
                         [target](const auto& c) { return c.get() == target; });
  if (zone == BookmarkDrop::After) ++at;
  node->parent = parent;
  siblings.insert(at, std::move(node));
  return made;
}

BookmarkNode* BookmarkTree::drop_bookmark(BookmarkNode* target, BookmarkDrop zone,
                                          const std::string& caption, const std::string& path) {
  if (!zone_allowed(target, zone)) return nullptr;
  auto node = std::make_unique<BookmarkNode>();
  node->kind = bd::kKindBookmark;
  node->caption = bookmark_cut_text(caption, bd::kMaxCaption);
  node->path = bookmark_cut_text(path, bd::kMaxPath);
  return place(std::move(node), target, zone);
}

bool BookmarkTree::move(BookmarkNode* node, BookmarkNode* target, BookmarkDrop zone) {
  if (!node || !node->parent || node == target || !zone_allowed(target, zone)) return false;
  for (const BookmarkNode* p = target; p; p = p->parent)
    if (p == node) return false;  // into its own subtree
  auto& siblings = node->parent->children;
  const auto it = std::find_if(siblings.begin(), siblings.end(),
                               [node](const auto& c) { return c.get() == node; });
  std::unique_ptr<BookmarkNode> taken = std::move(*it);
  siblings.erase(it);
  place(std::move(taken), target, zone);
  return true;
}

std::string BookmarkTree::path_of_tag(int tag) const {
  if (tag < 0) return "Error";  // the root and folders not saved yet carry -1
  for (const BookmarkNode* n : nodes())
    if (n->index == tag && n->parent) return n->path;
  return "Error";
}

}  // namespace qm
