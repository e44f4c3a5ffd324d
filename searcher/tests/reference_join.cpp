// The character joins and the word search decided by a plain scan of each paragraph, with
// nothing of the joins of postings.cpp: the places of the word's characters are gathered
// per (document, paragraph) into a table "position -> characters of the word standing
// there", and every hit is decided from that table. Exact: a hit wherever character i
// stands 2i bytes after the place of the first, for every i. Fault-tolerant: the
// paragraph is read from its start as the join's rules take it (see scan_tolerant).
// Kept in the tests as the oracle the joins must agree with, hit for hit, for lists that
// real texts give (no two characters overlapping), with alternatives as a homophone table
// gives them (two characters share all or none). Built on postings.h (types, the
// tolerance table, the paragraph filter) and the index reader; used by
// reference_join_test.cpp and postings_test.cpp.
#include "searcher/tests/reference_join.h"

#include <algorithm>
#include <map>
#include <new>
#include <utility>

#include "common/strings.h"
#include "index/index_format.h"
#include "searcher/english_match.h"

namespace qm::reference {
namespace {

// Where the word's characters stand in one paragraph: position -> the characters (indexes
// into the word) whose lists hold that place, ascending, a character as often as its list
// holds the place (twice when two of its alternatives are the same).
using Paragraph = std::map<int, std::vector<size_t>>;
using Paragraphs = std::map<std::pair<uint32_t, uint16_t>, Paragraph>;

void add_place(Paragraphs& text, const PostingEntry& e, size_t character) {
  std::vector<size_t>& here = text[{e.document, e.paragraph}][e.position];
  here.insert(std::upper_bound(here.begin(), here.end(), character), character);
}

// How often character stands at position.
size_t times(const Paragraph& paragraph, int position, size_t character) {
  const auto it = paragraph.find(position);
  if (it == paragraph.end()) return 0;
  return size_t(std::count(it->second.begin(), it->second.end(), character));
}

// Exact: a hit wherever character i stands 2i bytes after the start, for every i; as
// often as the character standing there the fewest times does.
void scan_exact(const Paragraph& paragraph, size_t n, std::vector<int>& hits) {
  for (const auto& [start, here] : paragraph) {
    size_t fewest = SIZE_MAX;
    for (size_t i = 0; i < n && fewest > 0; ++i) fewest = std::min(fewest, times(paragraph, start + 2 * int(i), i));
    hits.insert(hits.end(), fewest, start);
  }
}

// A place of a character: its position, and which of the times it stands there.
struct Place {
  int position;
  size_t time;
  bool operator<(const Place& o) const { return position != o.position ? position < o.position : time < o.time; }
};
constexpr Place kNowhere{0x10000, 0};

// The fault-tolerant hits of one paragraph, read from its start. Each character has a
// place it has reached (it never goes back) and stands at its first place from there on;
// with duplicates (two characters whose first places in all the texts are the same: one
// character twice in the word), not where an earlier character of the word stands. The
// character standing first (the first of those at one position) starts a hit when it and
// later characters at increasing positions, needed of them, lie within span bytes (the
// first such choice, earlier characters first); those characters then move past their
// places. Otherwise the last of the characters standing first moves on. Every other
// character keeps its place.
void scan_tolerant(const Paragraph& paragraph, size_t n, bool duplicates, std::vector<int>& hits) {
  const size_t needed = n - size_t(character_tolerance(n));
  const int span = int(4 * n) - 2;
  std::vector<Place> reached(n, Place{0, 0}), at(n);
  for (;;) {
    for (size_t c = 0; c < n; ++c) {
      at[c] = kNowhere;
      for (auto it = paragraph.lower_bound(reached[c].position); it != paragraph.end(); ++it) {
        const int p = it->first;
        bool taken = false;
        for (size_t k = 0; k < c && duplicates; ++k) taken = taken || at[k].position == p;
        const size_t from = p == reached[c].position ? reached[c].time : 0;
        if (!taken && from < times(paragraph, p, c)) {
          at[c] = Place{p, from};
          break;
        }
      }
    }
    size_t first = n, last = n;
    for (size_t c = 0; c < n; ++c) {
      if (at[c].position == kNowhere.position) continue;
      if (first == n || at[c].position < at[first].position) first = last = c;
      else if (at[c].position == at[first].position) last = c;
    }
    if (first == n) return;
    std::vector<size_t> chain{first};
    auto extend = [&](auto& self, size_t from) -> bool {
      if (chain.size() >= needed) return true;
      for (size_t c = from; c < n; ++c) {
        if (at[c].position == kNowhere.position || at[c].position <= at[chain.back()].position ||
            at[c].position - at[first].position > span)
          continue;
        chain.push_back(c);
        if (self(self, c + 1)) return true;
        chain.pop_back();
      }
      return false;
    };
    if (extend(extend, first + 1)) {
      hits.push_back(at[first].position);
    } else {
      chain.assign(1, last);
    }
    reached = at;
    for (size_t c : chain) reached[c].time = at[c].time + 1;
  }
}

PostingList hits_of(const Paragraphs& text, size_t n, bool fault_tolerant) {
  PostingList out;
  if (n == 0) return out;
  // Duplicate checking is on when two characters' first places are the same.
  std::vector<std::pair<Paragraphs::key_type, int>> firsts(n);
  std::vector<bool> seen(n, false);
  for (const auto& [place, paragraph] : text)
    for (const auto& [position, here] : paragraph)
      for (size_t c : here)
        if (!seen[c]) seen[c] = true, firsts[c] = {place, position};
  bool duplicates = false;
  for (size_t i = 0; i < n; ++i)
    for (size_t j = i + 1; j < n; ++j) duplicates = duplicates || (seen[i] && seen[j] && firsts[i] == firsts[j]);
  for (const auto& [place, paragraph] : text) {
    std::vector<int> hits;
    if (fault_tolerant && n >= 2) {
      scan_tolerant(paragraph, n, duplicates, hits);
    } else {
      scan_exact(paragraph, n, hits);
    }
    for (int p : hits) out.push_back({place.first, place.second, uint16_t(p)});
  }
  return out;
}

}  // namespace

PostingList postings_join_characters(const std::vector<PostingList>& lists, bool fault_tolerant) {
  Paragraphs text;
  for (size_t i = 0; i < lists.size(); ++i)
    for (const PostingEntry& e : lists[i]) add_place(text, e, i);
  return hits_of(text, lists.size(), fault_tolerant);
}

std::vector<PostingList> random_text_lists(std::mt19937& rng, size_t n, bool even) {
  const uint32_t documents = 1 + rng() % 4;
  const uint32_t letters = 2 + rng() % 5;
  // The texts: per place, the letter standing there.
  std::vector<std::pair<PostingEntry, uint32_t>> text;
  for (uint32_t d = 0; d < documents; ++d) {
    for (uint16_t p = 0, paragraphs = uint16_t(1 + rng() % 3); p < paragraphs; ++p) {
      int position = rng() % 6 == 0 ? 65480 + int(rng() % 4) : int(rng() % 3);
      for (size_t k = 4 + rng() % 40; k > 0 && position <= 65534; --k) {
        if (rng() % 4 == 0) {  // a byte or two of something else
          position += even ? 2 : 1 + int(rng() % 2);
          continue;
        }
        // Letters weighted towards the first ones.
        const uint32_t letter = std::min<uint32_t>(uint32_t(rng() % letters), uint32_t(rng() % letters));
        text.push_back({PostingEntry{d, p, uint16_t(position)}, letter});
        position += 2;
      }
    }
  }
  // The word: mostly a run of the text, now and then a letter that the texts do not hold.
  // With alternatives, each letter stands for itself and its pair (2k and 2k + 1), as a
  // homophone table would give them: one letter has the same alternatives wherever it
  // stands, and two letters share none or all.
  std::vector<std::vector<uint32_t>> word(n);
  const bool copied = !text.empty() && rng() % 3 != 0;
  const bool alternatives = rng() % 3 == 0;
  const size_t from = text.empty() ? 0 : rng() % text.size();
  for (size_t i = 0; i < n; ++i) {
    uint32_t letter = rng() % 12 == 0 ? letters : uint32_t(rng() % letters);
    if (copied && from + i < text.size()) letter = text[from + i].second;
    word[i].push_back(letter);
    if (alternatives) word[i].push_back(letter ^ 1);
  }
  std::vector<PostingList> lists(n);
  for (size_t i = 0; i < n; ++i)
    for (const auto& [place, letter] : text)
      if (std::find(word[i].begin(), word[i].end(), letter) != word[i].end()) lists[i].push_back(place);
  return lists;
}

}  // namespace qm::reference

namespace qm::reference {

HitList search_chinese_word(IndexFileSet& set, uint16_t database, const CharacterSlots& word,
                            const SearchOptions& options, const SearchHooks& hooks) {
  size_t n = 0;
  while (n < word.size() && n < kChineseWordCharacters && !word[n].empty()) ++n;
  if (n == 0) return {};
  // The places of every alternative of every character, gathered per paragraph.
  Paragraphs text;
  for (size_t i = 0; i < n; ++i) {
    for (uint16_t code : word[i]) {
      auto lead = static_cast<unsigned char>(code >> 8);
      auto trail = static_cast<unsigned char>(code & 0xFF);
      if (!big5_is_pair(lead, trail)) continue;
      CharHashRecord record;
      if (!set.read_char_hash(index_format::char_slot(lead, trail), record)) return {};
      if (record.count == 0) continue;
      PostingList list;
      if (!set.append_char_postings(record.offset, record.count, list)) return {};
      for (const PostingEntry& e : list) add_place(text, e, i);
    }
  }
  const bool tolerant = options.flags.fault_tolerant;
  PostingList found = hits_of(text, n, tolerant);
  if (!options.paragraphs.empty()) postings_filter_paragraphs(found, ParagraphFilter(options.paragraphs));
  if (n >= 2 && !tolerant && options.flags.word_boundary && hooks.word_boundary)
    hooks.word_boundary(set, n, found);
  HitList hits;
  for (const PostingEntry& e : found) {
    HitRecord h;
    h.database = database;
    h.document = e.document;
    h.paragraph = e.paragraph;
    h.position = e.position;
    h.score = 1;
    h.hit_count = 1;
    hits.push_back(h);
  }
  return hits;
}

TermHits search_database(const QueryTermTable& table, const HomophoneSlots& slots,
                         const std::vector<SearchDatabase>& databases, const SearchOptions& options,
                         const SearchHooks& hooks) {
  TermHits hits(table.terms.size());
  const HomophoneSlots plain = slots.empty() ? homophone_slots_plain(table) : HomophoneSlots{};
  const HomophoneSlots& word_slots = slots.empty() ? plain : slots;
  IndexFileSet set;
  for (const SearchDatabase& db : databases) {
    if (!set.open(db.work_dir, db.index_type, false)) continue;
    size_t chinese = 0;
    for (size_t k = 0; k < table.terms.size(); ++k) {
      const QueryTerm& term = table.terms[k];
      if (!term.is_word() || term.text.empty()) continue;
      HitList found;
      if (term.is_chinese()) {
        if (chinese < word_slots.size()) found = reference::search_chinese_word(set, db.id, word_slots[chinese], options, hooks);
        ++chinese;
      } else if (is_alnum_ascii(static_cast<unsigned char>(term.text[0]))) {
        found = qm::search_english_word(set, db.id, term.text, options);
      }
      hits[k].insert(hits[k].end(), found.begin(), found.end());
    }
    set.close();
  }
  return hits;
}

HitList search_expression(const std::string& expression, const std::vector<SearchDatabase>& databases,
                          const SearchOptions& options, const HomophoneSlots& slots) {
  QueryTermTable table = term_table_build(expression);
  TermHits lists = reference::search_database(table, slots.empty() ? homophone_slots_plain(table) : slots, databases, options, {});
  return query_evaluate(table, std::move(lists), {});
}

}  // namespace qm::reference
