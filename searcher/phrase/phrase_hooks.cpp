// Homophone slots, word-boundary check and phrase search as hooks of the search core
// (see phrase_hooks.h).
#include "searcher/phrase/phrase_hooks.h"

#include <memory>
#include <optional>

#include "index/index_reader.h"
#include "langdata/dictionary.h"
#include "langdata/homophone.h"
#include "searcher/english_match.h"
#include "searcher/marking/hit_marking.h"
#include "searcher/phrase/phrase_search.h"

namespace qm {
namespace {

// What the hooks of one query keep between calls.
struct HookState {
  std::string program_dir;
  HitQuery finder;              // the query's words, for the hit's first span
  bool dictionary_loaded = false;
  // clist.db of a phrase database that the search core opened without it.
  IndexFileSet pairs;
};

// The word-boundary check: each hit's text window is searched for dictionary words, and
// a hit whose keyword cuts one apart is dropped. A kept hit takes the position of the
// first span that the hit finder reports from the character holding it.
void word_boundary(HookState& state, IndexFileSet& set, size_t characters, std::vector<PostingEntry>& hits) {
  if (!state.dictionary_loaded) {
    phrase_lists_load(state.program_dir);
    state.dictionary_loaded = true;
  }
  const FirstHitFinder find_first = [&state](std::string_view text) -> std::optional<size_t> {
    const std::string copy(text);  // the finder walks a NUL-ended text
    std::vector<HitSpan> spans = hits_find(state.finder, copy.c_str(), true);
    if (spans.empty()) return std::nullopt;
    return spans.front().start;
  };

  size_t kept = 0;
  for (size_t i = 0; i < hits.size(); ++i) {
    PostingEntry hit = hits[i];
    CrossRecord cross;
    uint16_t kind = 0;
    std::string_view text;
    // A hit whose text cannot be read (the reader has reported it) is kept as it is.
    if (set.read_cross(hit.document, cross) && set.view_paragraph(cross.fulltext_offset, hit.paragraph, kind, text)) {
      const HitTextWindow window = paragraph_hit_window(text, hit.position, characters, find_first);
      if (!phrase_boundary_keeps(phrase_dictionary(), window.text, window.offset, characters)) continue;
      hit.position = uint16_t(window.position);
    }
    hits[kept++] = hit;
  }
  hits.resize(kept);
}

HitList phrase_search(HookState& state, IndexFileSet& set, const SearchDatabase& database, const CharacterSlots& word,
                      const SearchOptions& options) {
  if (set.has_char_pairs()) return search_phrase_word(set, database.id, word, options);
  // Opened as a character database (IndexType 0): the pair lists live in clist.db all
  // the same. A missing clist.db, or a read error there, marks the searched set failed.
  if (!state.pairs.is_open() || state.pairs.directory() != set.directory()) {
    if (!state.pairs.open(set.directory(), 1, false)) {
      set.mark_failed();
      return {};
    }
  }
  HitList hits = search_phrase_word(state.pairs, database.id, word, options);
  if (state.pairs.failed()) set.mark_failed();
  return hits;
}

}  // namespace

HomophoneSlots phrase_prepare_query(const QueryTermTable& table, const QueryFlags& flags,
                                    const std::string& program_dir) {
  std::vector<std::string> words;
  for (const QueryTerm& term : table.terms)
    if (term.is_chinese()) words.push_back(term.text);
  HomophoneTables& tables = homophone_tables();
  if (tables.ref_path().empty()) tables.set_paths(program_dir);
  tables.table_build(words, flags.homophone);

  HomophoneSlots slots(words.size());
  for (size_t w = 0; w < tables.word_count() && w < slots.size(); ++w) {
    for (size_t c = 0; c < tables.word_chars(w); ++c) {
      const std::string_view slot = tables.slot(w, c);
      std::vector<uint16_t> codes;
      for (size_t i = 0; i + 1 < slot.size(); i += 2)
        codes.push_back(uint16_t(static_cast<unsigned char>(slot[i]) << 8 | static_cast<unsigned char>(slot[i + 1])));
      slots[w].push_back(std::move(codes));
    }
  }
  return slots;
}

void install_phrase_hooks(SearchHooks& hooks, const std::string& program_dir, const QueryTermTable& table,
                          const SearchOptions& options) {
  auto state = std::make_shared<HookState>();
  state->program_dir = program_dir;
  for (const QueryTerm& term : table.terms)
    if (term.is_word() && !term.text.empty()) state->finder.words.push_back(term.text);
  state->finder.fault_tolerant = options.flags.fault_tolerant;
  state->finder.homophone = options.flags.homophone;
  state->finder.match_rate = options.match_rate;
  state->finder.similarity = [](std::string_view a, std::string_view b) { return word_similarity(a, b); };

  hooks.phrase_search = [state](IndexFileSet& set, const SearchDatabase& database, const CharacterSlots& word,
                                const SearchOptions& search_options) {
    return phrase_search(*state, set, database, word, search_options);
  };
  hooks.word_boundary = [state](IndexFileSet& set, size_t characters, std::vector<PostingEntry>& hits) {
    word_boundary(*state, set, characters, hits);
  };
  hooks.word_boundary_done = [state]() {
    if (state->dictionary_loaded) phrase_lists_free();
    state->dictionary_loaded = false;
    state->pairs.close();
  };
}

}  // namespace qm
