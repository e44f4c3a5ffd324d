// Turning the installed home-page templates (index.htm, the search form, and sysadm.htm,
// the administration page) into final pages: their SearcherURL and SysadmURL tags get
// the addresses that vesprin.ini holds (keys Searcher and SystemAdm). The reader here is
// a reduced form of the searcher's page-template reader: tags run from "<!%" to "%!>";
// literal runs lose their leading and trailing blanks and tabs; T_Loop blocks are
// expanded while reading; value names are trimmed. The written page holds the texts only,
// no tags. Builds on common/page_tags.h (item kinds, keywords), common/files.h, platform/atomic_file.h, setup_config.h and
// setup_messages.h; called by setupaid.cpp.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/page_tags.h"

namespace qm {

using HomeItemKind = PageItemKind;

// Names are bounded at 512 bytes, blocks nest at most 100 deep, and T_Loop blocks give at
// most 10,000 copies in one page, as in the searcher.
inline constexpr size_t kHomeNameMax = 512;
inline constexpr size_t kHomeMaxNesting = 100;
inline constexpr int kHomeMaxLoopCopies = 10000;

struct HomeItem {
  std::string name;
  HomeItemKind kind = HomeItemKind::None;
  bool end = false;
  int32_t count = 0;
  std::optional<std::string> text;  // the text block
  int next = -1;
  int child = -1;  // first item of a T_Loop body
};

class HomePageTemplate {
 public:
  // Parses a page's bytes; an empty text gives an empty template.
  static HomePageTemplate parse(std::string_view text);
  // nullopt when the file cannot be read or is empty.
  static std::optional<HomePageTemplate> load(const std::string& path);

  // Every named-value item called name (any case) without a text gets a copy of text;
  // gives how many did. Items in T_Declare blocks are left.
  int set_value(std::string_view name, std::string_view text);
  // The page: the text of every item outside T_Declare blocks, in order (texts under
  // 3,999 bytes trimmed of blanks and tabs at both ends).
  std::string render() const;
  // Replaces path with the page safely; false (the old page whole) when it cannot.
  bool write(const std::string& path) const;

  const std::vector<HomeItem>& items() const { return items_; }
  bool empty() const { return items_.empty(); }

 private:
  template <typename Visit>
  void walk(Visit visit) const;
  std::vector<HomeItem> items_;
};

// Rewrites directory/index.htm and directory/sysadm.htm with the Searcher and SystemAdm
// values of the ini file. false (with its message) when directory is not a directory; a
// page that cannot be read gives its message and the other page is still done.
bool setup_modify_home_pages(std::string_view ini_path, std::string_view directory);

}  // namespace qm
