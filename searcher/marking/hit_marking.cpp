// Hit finder and marker (hit_marking.h). The finder walks the text character by
// character, Big5-aware, the same way the marker copies it, so every span starts and
// ends on a character boundary that the marker visits.
#include "searcher/marking/hit_marking.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "common/html.h"
#include "common/strings.h"
#include "searcher/english_match.h"

namespace qm {

namespace {

using uchar = unsigned char;

uchar byte(const char* p) { return static_cast<uchar>(*p); }

bool pair_at(const char* p) { return p[0] != 0 && big5_is_pair(byte(p), byte(p + 1)); }

// The Big5 full-width space.
bool full_width_space_at(const char* p) { return byte(p) == 0xA1 && byte(p + 1) == 0x40; }

// Past the tag, comment or script block that opens at '<'; the text's end when it does
// not end.
const char* skip_markup(const char* p) {
  const char* next = html_skip_tag(p);
  return next ? next : p + std::strlen(p);
}

// Past a character entity ("&amp;", "&#60;", "&#x3C;") at '&', or p itself when none
// opens there. The escaped abstract holds such entities; their names are no words.
const char* skip_entity(const char* p) {
  if (*p != '&') return p;
  const char* q = p + 1;
  if (*q == '#') {
    ++q;
    bool hex = (*q == 'x' || *q == 'X');
    if (hex) ++q;
    const char* digits = q;
    while (hex ? is_hex_digit(byte(q)) : (*q >= '0' && *q <= '9')) ++q;
    if (q == digits || q - digits > 8) return p;
  } else {
    const char* name = q;
    while (is_alnum_ascii(byte(q))) ++q;
    if (q == name || q - name > 10 || !((*name >= 'A' && *name <= 'Z') || (*name >= 'a' && *name <= 'z')))
      return p;
  }
  return *q == ';' ? q + 1 : p;
}

// Past a run of ASCII bytes that are neither letters nor digits, stopping at a letter or
// digit, a byte of 0x80 or above, '<' or the end; entities inside the run are passed
// whole.
const char* skip_punctuation(const char* p) {
  while (*p && byte(p) < 0x80 && *p != '<' && !is_alnum_ascii(byte(p))) {
    const char* after = skip_entity(p);
    p = after != p ? after : p + 1;
  }
  return p;
}

int effective_rate(const HitQuery& query) { return query.fault_tolerant ? query.match_rate : 100; }

int similarity(const HitQuery& query, std::string_view a, std::string_view b) {
  return query.similarity ? query.similarity(a, b) : word_similarity(a, b);
}

const HomophoneTables& tables_of(const HitQuery& query) {
  return query.homophones ? *query.homophones : homophone_tables();
}

bool is_chinese(std::string_view word) { return !word.empty() && uchar(word[0]) >= 0x80; }

// The text bytes from p that a Chinese word is compared with: at most `window` bytes,
// whitespace (1..32), full-width spaces and markup left out, Big5 pairs whole. ends[i] is
// the text offset from p just past collected byte i. Collecting stops once the window is
// full, so a match ends right after its last collected byte.
struct Collected {
  std::string bytes;
  std::vector<size_t> ends;
  bool text_ended = false;
};

Collected collect(const char* p, size_t window) {
  Collected c;
  const char* q = p;
  while (c.bytes.size() < window) {
    uchar b = byte(q);
    if (b == 0) {
      c.text_ended = true;
      break;
    }
    if (b <= 32) {
      ++q;
    } else if (b == '<') {
      q = skip_markup(q);
    } else if (full_width_space_at(q)) {
      q += 2;
    } else if (b >= 0x80 && !pair_at(q)) {
      // A byte that begins no Big5 character can be no part of a Chinese word; a
      // placeholder keeps it from pairing with the next byte in the comparisons.
      c.bytes += '?';
      c.ends.push_back(size_t(q - p) + 1);
      ++q;
    } else {
      size_t len = pair_at(q) ? 2 : 1;
      c.bytes.append(q, len);
      for (size_t i = 0; i < len; ++i) c.ends.push_back(size_t(q - p) + len);
      q += len;
    }
  }
  return c;
}

// Matched length of Chinese word w (number `number`) at p, 0 for none.
size_t try_chinese(const HitQuery& query, const char* p, const std::string& w, int number) {
  const size_t n = w.size();
  const bool fuzzy = query.fault_tolerant && n >= 4;
  const size_t minimum = fuzzy ? n - 2 * size_t(hit_tolerance(n / 2)) : n;
  const size_t window = fuzzy ? 2 * n : n;
  Collected c = collect(p, window);
  if (c.text_ended && (c.bytes.size() < minimum || !fuzzy)) return 0;
  if (c.bytes.empty()) return 0;
  const HomophoneTables& tables = tables_of(query);
  if (fuzzy) {
    size_t m = chinese_fuzzy_match(c.bytes, w, number, tables);
    return m == 0 ? 0 : c.ends[m - 1];
  }
  bool matched;
  if (query.homophone && number >= 0 && size_t(number) < tables.word_count())
    matched = tables.word_matches(c.bytes, number);
  else  // exact, or a word the homophone slots were not built for
    matched = c.bytes.compare(0, n, w) == 0;
  return matched ? c.ends.back() : 0;
}

}  // namespace

int hit_tolerance(size_t chars) {
  static constexpr int kTolerance[] = {0, 0, 0, 0, 1, 2, 2, 2, 3, 3, 3};
  return kTolerance[std::min<size_t>(chars, 10)];
}

size_t chinese_fuzzy_match(std::string_view collected, std::string_view word, int number,
                           const HomophoneTables& tables) {
  if (number < 0 || size_t(number) >= tables.word_count())
    return collected.substr(0, word.size()) == word && !word.empty() ? word.size() : 0;
  const size_t w = size_t(number);
  const size_t k = std::min(word.size() / 2, tables.word_chars(w));
  if (k == 0 || collected.size() < 2 || !big5_is_pair(uchar(collected[0]), uchar(collected[1])))
    return 0;
  const size_t need = k - size_t(hit_tolerance(k));

  size_t last = k;
  for (size_t j = 0; j < k; ++j) {
    if (tables.slot_contains(w, j, collected.substr(0, 2))) {
      last = j;
      break;
    }
  }
  if (last == k || last > k - need) return 0;
  if (last == k - 1) return need <= 1 ? 2 : 0;

  size_t matched = 1;
  size_t end = 2;
  size_t pos = 2;
  while (pos < collected.size() && last != k - 1) {
    if (pos + 1 < collected.size() && big5_is_pair(uchar(collected[pos]), uchar(collected[pos + 1]))) {
      std::string_view ch = collected.substr(pos, 2);
      for (size_t q = last + 1; q < k; ++q) {
        if (tables.slot_contains(w, q, ch)) {
          ++matched;
          last = q;
          end = pos + 2;
          break;
        }
      }
      pos += 2;
    } else {
      pos += 1;  // a byte that begins no Big5 character is passed over
    }
  }
  return matched < need ? 0 : end;
}

size_t english_phrase_match(const HitQuery& query, std::string_view phrase, size_t first_blank,
                            std::string_view first_text_word, const char* text) {
  const int rate = effective_rate(query);
  const char* t = text;
  size_t word_end = std::min(first_blank, phrase.size());
  std::string_view phrase_word = phrase.substr(0, word_end);
  std::string text_word(first_text_word);
  for (;;) {
    if (similarity(query, phrase_word, text_word) < rate) return 0;
    t += text_word.size();
    size_t next = phrase.find_first_not_of(' ', word_end);
    if (next == std::string_view::npos) return size_t(t - text);
    word_end = std::min(phrase.find(' ', next), phrase.size());
    phrase_word = phrase.substr(next, word_end - next);
    // To the next text word, over punctuation, full-width spaces and markup only.
    for (;;) {
      uchar b = byte(t);
      if (b == 0) return 0;
      if (b == '<') {
        t = skip_markup(t);
      } else if (b < 0x80 && !is_alnum_ascii(b)) {
        t = skip_punctuation(t);
      } else if (full_width_space_at(t)) {
        t += 2;
      } else if (b >= 0x80) {
        return 0;
      } else {
        break;
      }
    }
    string_copy_word(t, text_word, kTextWordMax);
  }
}

std::vector<HitSpan> hits_find(const HitQuery& query, const char* text, bool first_only) {
  std::vector<HitSpan> spans;
  if (!text) return spans;
  const int rate = effective_rate(query);
  const char* p = text;
  std::string text_word;
  while (*p && spans.size() < kMaxHitSpans) {
    const uchar b = byte(p);
    if (b == '<') {
      p = skip_markup(p);
      continue;
    }
    if (b < 0x80 && !is_alnum_ascii(b)) {
      p = skip_punctuation(p);
      continue;
    }
    if (full_width_space_at(p)) {
      p += 2;
      continue;
    }
    const bool ascii = b < 0x80;
    if (ascii) string_copy_word(p, text_word, kTextWordMax);

    int chinese_number = 0;
    for (const std::string& w : query.words) {
      const bool chinese = is_chinese(w);
      const int number = chinese ? chinese_number++ : -1;
      // English words are tried at text words only, Chinese words at high bytes only: a
      // Big5 word's trail bytes may be letters, and scoring it against an English text
      // word could mark that word for a Chinese query.
      if (w.empty() || chinese == ascii) continue;
      size_t length;
      if (ascii) {
        size_t blank = w.find(' ');
        if (blank == std::string::npos)
          length = similarity(query, w, text_word) >= rate ? text_word.size() : 0;
        else
          length = english_phrase_match(query, w, blank, text_word, p);
      } else {
        length = try_chinese(query, p, w, number);
      }
      if (length == 0 || length > size_t(std::numeric_limits<int16_t>::max())) continue;
      spans.push_back({uint32_t(p - text), int16_t(length)});
      if (first_only || spans.size() >= kMaxHitSpans) return spans;
    }
    p += pair_at(p) ? 2 : ascii ? text_word.size() : 1;
  }
  return spans;
}

std::string hits_mark(const HitQuery& query, const char* text, bool wrap, const MarkTexts& marks) {
  std::string out;
  if (!text) return out;
  const std::vector<HitSpan> spans = hits_find(query, text, false);
  const size_t length = std::strlen(text);
  out.reserve(length + spans.size() * (marks.begin.size() + marks.end.size()) +
              (wrap ? length / 70 * 5 + 5 : 0));
  auto span_end = [&](size_t k) { return size_t(spans[k].start) + size_t(spans[k].length); };

  size_t k = 0;
  int column = 0;
  // The text is HTML: a break never goes inside a character reference ("&gt;") or a tag
  // ("<BR>"), where it would leave a stray ";" or a broken tag on the page.
  char closing = 0;
  for (size_t i = 0;;) {
    const uchar b = uchar(text[i]);
    if (closing == ';' && !is_alnum_ascii(b) && b != '#' && b != ';') closing = 0;
    if (wrap && column > 70 && !is_alnum_ascii(b) && closing == 0) {
      out += "<BR>\n";
      column = 0;
    }
    if (closing != 0 && b == uchar(closing)) {
      closing = 0;
    } else if (closing == 0 && b == '<') {
      closing = '>';
    } else if (closing == 0 && b == '&') {
      const uchar next = uchar(text[i + 1]);
      if (is_alnum_ascii(next) || next == '#') closing = ';';
    }
    if (k < spans.size()) {
      if (spans[k].start == i) {
        out += marks.begin;
      } else if (span_end(k) == i) {
        // Past every span that ends here; a span that is already open continues the run.
        ++k;
        while (k < spans.size() && span_end(k) <= i) ++k;
        if (!(k < spans.size() && spans[k].start <= i)) out += marks.end;
      }
    }
    if (b == 0) break;
    const size_t len = pair_at(text + i) ? 2 : 1;
    out.append(text + i, len);
    i += len;
    column += int(len);
  }
  return out;
}

}  // namespace qm
