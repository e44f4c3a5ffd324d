// English word matching (see english_match.h).
#include "searcher/english_match.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

#include "common/strings.h"
#include "index/index_format.h"

namespace qm {

int bits_similarity(uint32_t a, uint32_t b) {
  uint32_t any = a | b;
  if (any == 0) return 0;
  return int(100 * std::popcount(a & b) / std::popcount(any));
}

int signature_score(const WordSignature& query, const WordSignature& word) {
  int s1 = bits_similarity(query.letters, word.letters);
  int s2 = bits_similarity(query.transitions & kSignatureTransitionMask,
                           word.transitions & kSignatureTransitionMask);
  if (s1 == 100) {
    uint32_t a = signature_length(query), b = signature_length(word);
    uint32_t longer = std::max(a, b);
    if (longer > 0) s1 = int(100 * std::min(a, b) / longer);
  }
  return s1 * s2 / 100 + s1 / 2;
}

int word_similarity(std::string_view a, std::string_view b) {
  return signature_score(word_signature(a), word_signature(b));
}

int phrase_window(int precision) {
  if (precision >= 1) return 51 - precision / 2;
  if (precision < 0) return -51 - precision / 2;
  return 0;
}

const EnglishLookups::Found* EnglishLookups::find(std::string_view word, bool fuzzy, int match_rate) const {
  auto it = found_.find(std::tuple(std::string(word), fuzzy, match_rate));
  return it == found_.end() ? nullptr : &it->second;
}

void EnglishLookups::keep(std::string_view word, bool fuzzy, int match_rate, Found found) {
  found_[std::tuple(std::string(word), fuzzy, match_rate)] = std::move(found);
}

namespace {

struct WordList {
  uint32_t offset = 0, count = 0;
};

bool find_word_lists(IndexFileSet& set, std::string_view word, bool fuzzy, int match_rate,
                     std::vector<WordList>& out);

// The eindex.db lists of the index words matching a query word; false when a file fails.
// Taken from lookups when the word was looked up before, else kept there.
bool english_word_lists(IndexFileSet& set, std::string_view word, bool fuzzy, int match_rate,
                        std::vector<WordList>& out, EnglishLookups* lookups = nullptr) {
  if (word.size() > index_format::kMaxWordLength) word = word.substr(0, index_format::kMaxWordLength);
  if (lookups) {
    if (const EnglishLookups::Found* found = lookups->find(word, fuzzy, match_rate)) {
      out.clear();
      for (const auto& [offset, count] : found->lists) out.push_back(WordList{offset, count});
      return found->complete;
    }
  }
  const bool complete = find_word_lists(set, word, fuzzy, match_rate, out);
  if (lookups) {
    EnglishLookups::Found found;
    found.complete = complete;
    for (const WordList& list : out) found.lists.emplace_back(list.offset, list.count);
    lookups->keep(word, fuzzy, match_rate, std::move(found));
  }
  return complete;
}

bool find_word_lists(IndexFileSet& set, std::string_view word, bool fuzzy, int match_rate,
                     std::vector<WordList>& out) {
  out.clear();
  if (word.empty()) return true;
  const WordSignature query = word_signature(word);
  const int threshold = fuzzy ? match_rate : 100;

  // The words sharing the query's prefix, else every word of the set.
  uint32_t first = 0;
  std::vector<WordSignature> signatures;
  auto prefix = index_load_prefix_signatures(set, word);
  if (prefix && uint64_t(prefix->first) + prefix->count <= set.word_count()) {
    first = prefix->first;
    signatures = std::move(prefix->signatures);
  } else if (!set.read_word_signatures(0, set.word_count(), signatures)) {
    return false;
  }

  WordHashRecord record;
  for (size_t k = 0; k < signatures.size(); ++k) {
    if (signature_score(query, signatures[k]) < threshold) continue;
    const uint32_t index = first + uint32_t(k);
    if (!fuzzy) {
      if (!set.read_word_hash(index, record)) return false;
      if (string_icmp(record.word, word) != 0) continue;
    }
    WordList list;
    if (!set.word_list_range(index, list.offset, list.count)) return false;
    out.push_back(list);
  }
  return true;
}

// Appends one word's list (read in place), only the entries of documents when given and
// of the range. postings_read counts the entries within the range.
bool append_word_list(IndexFileSet& set, const WordList& list, const DocumentSet* documents, DocumentRange range,
                      PostingList& out, uint64_t* postings_read) {
  if (!documents && range.whole()) {
    if (!set.append_word_postings(list.offset, list.count, out)) return false;
    if (postings_read) *postings_read += list.count;
    return true;
  }
  std::string_view bytes;
  if (!set.view_word_postings(list.offset, list.count, bytes)) return false;  // reported by the reader
  const PostingSpan span =
      postings_within(PostingSpan{reinterpret_cast<const unsigned char*>(bytes.data()), list.count}, range);
  if (postings_read) *postings_read += span.size();
  if (documents) {
    postings_append_documents(span, *documents, out);
  } else {
    out.reserve(out.size() + span.size());
    for (size_t e = 0; e < span.size(); ++e) out.push_back(span.entry(e));
  }
  return true;
}

}  // namespace

PostingList english_word_postings(IndexFileSet& set, std::string_view word, bool fuzzy, int match_rate,
                                  uint64_t* postings_read, const DocumentSet* documents, DocumentRange range,
                                  EnglishLookups* lookups) {
  PostingList out;
  std::vector<WordList> lists;
  const bool complete = english_word_lists(set, word, fuzzy, match_rate, lists, lookups);
  for (const WordList& list : lists)
    if (!append_word_list(set, list, documents, range, out, postings_read)) return out;
  if (!complete) return out;
  // Several words' lists make one ordered list for the phrase walk and the hits.
  if (lists.size() > 1)
    std::stable_sort(out.begin(), out.end(),
                     [](const PostingEntry& a, const PostingEntry& b) { return posting_compare(a, b) < 0; });
  return out;
}

bool english_lone_word_span(IndexFileSet& set, std::string_view text, bool fuzzy, int match_rate,
                            PostingSpan& out, uint64_t* postings_read) {
  const std::string owned(text);
  std::string word, lone;
  for (const char* p = owned.c_str(); (p = string_next_word(p, word, 30)) != nullptr;) {
    if (!is_alnum_ascii(static_cast<unsigned char>(word[0]))) continue;
    if (!lone.empty()) return false;
    lone = word;
  }
  std::vector<WordList> lists;
  if (lone.empty()) return false;
  // A failing file is reported by the reader; the lists found before it still count.
  english_word_lists(set, lone, fuzzy, match_rate, lists);
  if (lists.size() > 1) return false;
  out = PostingSpan{};
  if (lists.empty()) return true;
  std::string_view bytes;
  // A list outside eindex.db is reported by the reader and found nothing, as when copied.
  if (!set.view_word_postings(lists[0].offset, lists[0].count, bytes)) return true;
  out = PostingSpan{reinterpret_cast<const unsigned char*>(bytes.data()), lists[0].count};
  if (postings_read) *postings_read += lists[0].count;
  return true;
}

uint64_t english_phrase_size(IndexFileSet& set, std::string_view text, bool fuzzy, int match_rate,
                             EnglishLookups* lookups) {
  const std::string owned(text);
  std::string word;
  uint64_t smallest = UINT64_MAX;
  std::vector<WordList> lists;
  for (const char* p = owned.c_str(); (p = string_next_word(p, word, 30)) != nullptr;) {
    if (!is_alnum_ascii(static_cast<unsigned char>(word[0]))) continue;
    uint64_t size = 0;
    if (english_word_lists(set, word, fuzzy, match_rate, lists, lookups))
      for (const WordList& list : lists) size += list.count;
    smallest = std::min(smallest, size);
  }
  return smallest == UINT64_MAX ? 0 : smallest;
}

PostingList english_phrase_postings(IndexFileSet& set, std::string_view text, bool fuzzy, int match_rate,
                                    int precision, uint64_t* postings_read, const DocumentSet* documents,
                                    DocumentRange range, EnglishLookups* lookups) {
  const int w = phrase_window(precision);
  const std::string owned(text);
  std::string word;
  PostingList result;
  bool first = true;
  for (const char* p = owned.c_str(); (p = string_next_word(p, word, 30)) != nullptr;) {
    if (!is_alnum_ascii(static_cast<unsigned char>(word[0]))) continue;
    PostingList next = english_word_postings(set, word, fuzzy, match_rate, postings_read, documents, range, lookups);
    if (first) {
      result = std::move(next);
      first = false;
    } else {
      PostingList joined;
      size_t i = 0, j = 0;
      while (i < result.size() && j < next.size()) {
        const PostingEntry& r = result[i];
        const PostingEntry& e = next[j];
        if (r.document != e.document || r.paragraph != e.paragraph) {
          bool r_smaller = r.document != e.document ? r.document < e.document : r.paragraph < e.paragraph;
          r_smaller ? ++i : ++j;
          continue;
        }
        const int d = int(e.position) - int(r.position);
        const bool accepted = (w > 0 && d > 0 && d <= w) || (w < 0 && std::abs(d) <= -w) || w == 0;
        if (accepted) {
          joined.push_back(e);
          ++i;
          ++j;
        } else if (d > 0) {
          ++i;
        } else {
          ++j;
        }
      }
      result = std::move(joined);
    }
    if (result.empty()) return result;
  }
  return result;
}

}  // namespace qm
