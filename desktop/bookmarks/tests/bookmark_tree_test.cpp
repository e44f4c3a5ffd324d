// The bookmark tree's edits: the drop zones, hits dropped beside bookmarks and never
// inside them, moves (never into the moved node itself, never the root), new folders and
// separators only beside plain folders, deletes that take the subtree and spare the root,
// the tag of an added bookmark, and the hit path cut before its page part.
#include <gtest/gtest.h>

#include "desktop/bookmarks/bookmark_tree.h"

namespace qm {
namespace {

TEST(BookmarkTree, DropZones) {
  // A node drawn from y 100 to 120: q = 5.
  const struct {
    int y;
    bool root, folder;
    BookmarkDrop zone;
  } cases[] = {
      {100, false, true, BookmarkDrop::Before}, {105, false, true, BookmarkDrop::Before},
      {106, false, true, BookmarkDrop::Into},   {110, false, true, BookmarkDrop::Into},
      {114, false, true, BookmarkDrop::Into},   {115, false, true, BookmarkDrop::After},
      {120, false, true, BookmarkDrop::After},  {110, false, false, BookmarkDrop::None},
      {101, false, false, BookmarkDrop::Before}, {119, false, false, BookmarkDrop::After},
      {100, true, true, BookmarkDrop::Into},    {110, true, true, BookmarkDrop::Into},
      {120, true, true, BookmarkDrop::Into},
  };
  for (const auto& c : cases)
    EXPECT_EQ(bookmark_drop_zone(100, 120, c.y, c.root, c.folder), c.zone) << c.y << c.root << c.folder;
}

struct Fixture {
  BookmarkTree tree;
  BookmarkNode *a, *b, *s;
  Fixture() {
    tree.set_separator_labels({"---", "-- --"});
    tree.load_records({}, "root");
    a = tree.add_folder_beside(tree.root(), "A");
    b = tree.drop_bookmark(a, BookmarkDrop::Into, "b", "/d/b.htm");
    s = tree.add_separator_beside(a);
  }
  std::string shape() const {
    std::string out;
    for (const BookmarkRecord& r : tree.records())
      out += std::to_string(r.level) + r.caption + " ";
    return out;
  }
};

TEST(BookmarkTree, HitsLandBesideBookmarksAndInsideFolders) {
  Fixture f;
  EXPECT_EQ(f.shape(), "0root 1A 2b 1--- ");
  EXPECT_EQ(f.tree.drop_bookmark(f.b, BookmarkDrop::Into, "x", "/x"), nullptr);
  ASSERT_NE(f.tree.drop_bookmark(f.b, BookmarkDrop::After, "c", "/c"), nullptr);
  ASSERT_NE(f.tree.drop_bookmark(f.b, BookmarkDrop::Before, "p", "/p"), nullptr);
  ASSERT_NE(f.tree.drop_bookmark(f.tree.root(), BookmarkDrop::Into, "r", "/r"), nullptr);
  EXPECT_EQ(f.tree.drop_bookmark(f.tree.root(), BookmarkDrop::After, "x", "/x"), nullptr);
  EXPECT_EQ(f.tree.drop_bookmark(f.s, BookmarkDrop::Into, "x", "/x"), nullptr);
  EXPECT_EQ(f.shape(), "0root 1A 2p 2b 2c 1--- 1r ");
  for (BookmarkNode* n : f.tree.nodes())
    EXPECT_TRUE(n->children.empty() || !n->is_bookmark()) << n->caption;
}

TEST(BookmarkTree, MovesFollowTheZones) {
  Fixture f;
  BookmarkNode* c = f.tree.drop_bookmark(f.tree.root(), BookmarkDrop::Into, "c", "/c");
  EXPECT_TRUE(f.tree.move(c, f.a, BookmarkDrop::Into));
  EXPECT_EQ(f.shape(), "0root 1A 2b 2c 1--- ");
  EXPECT_TRUE(f.tree.move(c, f.a, BookmarkDrop::Before));
  EXPECT_EQ(f.shape(), "0root 1c 1A 2b 1--- ");
  EXPECT_TRUE(f.tree.move(c, f.s, BookmarkDrop::After));
  EXPECT_EQ(f.shape(), "0root 1A 2b 1--- 1c ");
  EXPECT_TRUE(f.tree.move(f.s, f.b, BookmarkDrop::After));
  EXPECT_EQ(f.shape(), "0root 1A 2b 2--- 1c ");
  // Refused: the root, into the moved folder's own subtree, into a bookmark.
  EXPECT_FALSE(f.tree.move(f.tree.root(), f.a, BookmarkDrop::Into));
  EXPECT_FALSE(f.tree.move(f.a, f.b, BookmarkDrop::After));
  EXPECT_FALSE(f.tree.move(f.a, f.a, BookmarkDrop::Before));
  EXPECT_FALSE(f.tree.move(c, f.b, BookmarkDrop::Into));
  EXPECT_EQ(f.shape(), "0root 1A 2b 2--- 1c ");
}

TEST(BookmarkTree, FoldersSeparatorsAndDeletes) {
  Fixture f;
  EXPECT_EQ(f.tree.add_folder_beside(f.s, "New Folder"), nullptr);
  EXPECT_EQ(f.tree.add_separator_beside(f.b), nullptr);
  EXPECT_TRUE(f.tree.is_separator(*f.s));
  EXPECT_FALSE(f.tree.is_plain_folder(*f.s));
  EXPECT_EQ(f.tree.image_of(*f.s), kImageSeparator);
  EXPECT_EQ(f.tree.image_of(*f.a), kImageFolder);
  // The other language's label is a separator too; the root never is.
  BookmarkNode* other = f.tree.add_folder_beside(f.a, "-- --");
  EXPECT_TRUE(f.tree.is_separator(*other));
  f.tree.set_caption(f.tree.root(), "---");
  EXPECT_FALSE(f.tree.is_separator(*f.tree.root()));

  EXPECT_FALSE(f.tree.remove(f.tree.root()));
  EXPECT_TRUE(f.tree.remove(f.a));
  EXPECT_EQ(f.tree.path_of_tag(2), "Error");
  EXPECT_EQ(f.shape(), "0--- 1--- 1-- -- ");
}

TEST(BookmarkTree, AddedBookmarkTagAndHitPath) {
  Fixture f;
  f.tree.set_caption(f.b, std::string(120, 'c'));
  EXPECT_EQ(f.b->caption.size(), 99u);
  const int tag = f.tree.add_bookmark("new", bookmark_hit_path("/d/book.pgx(12)"));
  EXPECT_EQ(tag, 4);
  EXPECT_EQ(f.tree.path_of_tag(tag), "/d/book.pgx");
  EXPECT_EQ(f.tree.path_of_tag(-1), "Error");
}

// Only a page document's trailing page mark is cut; every other "(" belongs to the name.
TEST(BookmarkTree, HitPathCutsOnlyTheTrailingPageMark) {
  const struct {
    const char* hit;
    const char* bookmarked;
  } cases[] = {
      {"/d/book.pgx(12)", "/d/book.pgx"},
      {"/d/book.pgx(0)", "/d/book.pgx"},
      {"/d/report (final).txt", "/d/report (final).txt"},
      {"/d/a(1)/b.htm", "/d/a(1)/b.htm"},
      {"/d/plain.htm", "/d/plain.htm"},
      {"/d/notes()", "/d/notes()"},
      {"/d/draft(v2)", "/d/draft(v2)"},
      {"/d/(12)", "/d/"},
      {"/d/\xB3\x5C\xA5\x69(3)", "/d/\xB3\x5C\xA5\x69"},  // a Big5 name, then its page
      {"/d/x(1)(2)", "/d/x(1)"},
      {")", ")"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(bookmark_hit_path(c.hit), c.bookmarked) << c.hit;
}

}  // namespace
}  // namespace qm
