// Word dictionary reader, dictionary-word finder and word-boundary check; see dictionary.h.
#include "langdata/dictionary.h"

#include <algorithm>

#include "common/files.h"
#include "common/strings.h"
#include "platform/paths.h"

namespace qm {

namespace {

bool pair_at(std::string_view s, std::size_t i) { return big5_char_len(s, i) == 2; }

bool line_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool unsigned_less(std::string_view a, std::string_view b) {
  // std::char_traits<char>::compare orders bytes as unsigned char.
  return a.compare(b) < 0;
}

// The first character boundary at or after `at` (the text's length when none).
std::size_t boundary_at_or_after(std::string_view s, std::size_t at) {
  std::size_t i = 0;
  while (i < s.size() && i < at) i += big5_char_len(s, i);
  return std::min(i, s.size());
}

}  // namespace

int PhraseDictionary::lists_load(const std::string& program_dir) {
  int largest = 1;
  for (int n = kPhraseMinChars; n <= kPhraseMaxChars; ++n) {
    if (!list_load(program_dir, n)) break;
    largest = n;
  }
  return largest;
}

bool PhraseDictionary::list_load(const std::string& program_dir, int n) {
  if (n < kPhraseMinChars || n > kPhraseMaxChars) return false;
  List& list = lists_[std::size_t(n)];
  if (list.loaded) return !list.words.empty();

  const std::string path =
      path_find_case_blind(program_dir, "phrase-" + std::to_string(n) + ".txt");
  std::string data;
  if (!file_read_regular(path, data)) return false;  // a device or FIFO is never read

  // One word per line; lines end with CR, LF or both. Empty lines are skipped and blanks
  // at a line's end dropped, so neither can match every text.
  std::string_view all(data);
  std::size_t i = 0;
  while (i < all.size()) {
    std::size_t end = all.find_first_of("\r\n", i);
    if (end == std::string_view::npos) end = all.size();
    std::string_view line = all.substr(i, end - i);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    if (!line.empty()) list.words.emplace_back(line);
    i = end + 1;
  }
  // The files are written sorted; sorting again keeps the binary search right for a file
  // edited by hand.
  if (!std::is_sorted(list.words.begin(), list.words.end(), unsigned_less))
    std::sort(list.words.begin(), list.words.end(), unsigned_less);
  list.loaded = true;
  return !list.words.empty();
}

void PhraseDictionary::lists_free() { lists_ = {}; }

bool PhraseDictionary::list_contains(std::string_view word, int n) const {
  if (n < kPhraseMinChars || n > kPhraseMaxChars) return false;
  const auto& words = lists_[std::size_t(n)].words;
  return std::binary_search(words.begin(), words.end(), word, unsigned_less);
}

std::size_t PhraseDictionary::list_size(int n) const {
  if (n < kPhraseMinChars || n > kPhraseMaxChars) return 0;
  return lists_[std::size_t(n)].words.size();
}

std::vector<DictionaryWord> PhraseDictionary::find_words(std::string_view text,
                                                         std::size_t maximum) const {
  std::vector<DictionaryWord> found;
  // Offsets and lengths are 16-bit; text beyond that is not looked at.
  if (text.size() > 0xFFFF) text = text.substr(0, 0xFFFF);
  std::size_t i = 0;
  while (i < text.size() && found.size() < maximum) {
    if (!pair_at(text, i)) {
      ++i;
      continue;
    }
    // Collect up to 4 characters from here; runs of blanks, tabs and line ends between
    // two characters are stepped over.
    std::array<std::size_t, kPhraseMaxChars> starts{};
    std::size_t count = 0;
    std::size_t p = i;
    while (count < kPhraseMaxChars && pair_at(text, p)) {
      starts[count++] = p;
      p += 2;
      if (count == kPhraseMaxChars) break;
      std::size_t q = p;
      while (q < text.size() && line_space(text[q])) ++q;
      if (!pair_at(text, q)) break;
      p = q;
    }

    bool matched = false;
    for (std::size_t m = count; m >= std::size_t(kPhraseMinChars); --m) {
      std::string word;
      for (std::size_t c = 0; c < m; ++c) word.append(text.substr(starts[c], 2));
      if (!list_contains(word, int(m))) continue;
      const std::size_t end = starts[m - 1] + 2;
      found.push_back({uint16_t(i), uint16_t(end - i)});
      i = end;
      matched = true;
      break;
    }
    if (!matched) i += 2;
  }
  return found;
}

bool phrase_keyword_cuts_word(const std::vector<DictionaryWord>& words, std::size_t start,
                              std::size_t keyword_bytes) {
  const std::size_t s = start;
  const std::size_t e = start + keyword_bytes;
  for (const DictionaryWord& word : words) {
    const std::size_t w = word.offset;
    const std::size_t we = std::size_t(word.offset) + word.length;
    if (w < s && s < we && e > we) return true;  // starts inside the word, ends after it
    if (s < w && w < e && e < we) return true;   // starts before the word, ends inside it
  }
  return false;
}

bool phrase_boundary_keeps(const PhraseDictionary& dictionary, std::string_view window,
                           std::size_t offset, std::size_t keyword_chars) {
  const auto words = dictionary.find_words(window, kBoundaryMaxWords);
  return !phrase_keyword_cuts_word(words, offset, keyword_chars * 2);
}

HitTextWindow paragraph_hit_window(std::string_view paragraph, std::size_t position,
                                   std::size_t keyword_chars, const FirstHitFinder& find_first) {
  const std::size_t length = paragraph.size();
  const std::size_t window = keyword_chars * 2 + 16;

  // The character holding the position: the first whose end lies beyond it.
  std::size_t start_of_char = 0;
  while (start_of_char < length && start_of_char + big5_char_len(paragraph, start_of_char) <= position)
    start_of_char += big5_char_len(paragraph, start_of_char);
  std::size_t pos = start_of_char;
  if (find_first) {
    if (auto span = find_first(paragraph.substr(start_of_char))) pos = start_of_char + *span;
  }
  pos = std::min(pos, length);

  HitTextWindow out;
  out.position = pos;
  std::size_t from = 0;
  std::size_t to = length;
  if (length > window) {
    const std::size_t half = window / 2;
    from = pos <= half ? 0 : boundary_at_or_after(paragraph, pos - half);
    to = length - pos <= half ? length : boundary_at_or_after(paragraph, pos + half);
  }
  out.text.assign(paragraph.substr(from, to - from));
  out.offset = pos - from;
  return out;
}

PhraseDictionary& phrase_dictionary() {
  static PhraseDictionary dictionary;
  return dictionary;
}

void phrase_reset() { phrase_dictionary() = PhraseDictionary(); }
int phrase_lists_load(const std::string& program_dir) {
  return phrase_dictionary().lists_load(program_dir);
}
bool phrase_list_load(const std::string& program_dir, int n) {
  return phrase_dictionary().list_load(program_dir, n);
}
void phrase_lists_free() { phrase_dictionary().lists_free(); }
bool phrase_list_contains(std::string_view word, int n) {
  return phrase_dictionary().list_contains(word, n);
}
std::vector<DictionaryWord> phrase_find_words(std::string_view text, std::size_t maximum) {
  return phrase_dictionary().find_words(text, maximum);
}

}  // namespace qm
