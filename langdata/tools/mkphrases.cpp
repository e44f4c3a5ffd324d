// mkphrases: builds the word dictionary phrase-2.txt, phrase-3.txt and phrase-4.txt from
// the Luna Pinyin word list of the Rime input method (Traditional Chinese).
//
//   mkphrases <luna_pinyin.dict.yaml> <luna_pinyin.table.txt> <Unihan_Variants.txt[.bz2]>
//             <minimum weight> <output dir>
//
// Sources: the dictionary's own entries (dict.yaml, curated words and idioms, no weights)
// and the compiled table (table.txt: word, spelling, weight), which adds the input
// method's preset vocabulary with corpus weights. That vocabulary holds many n-grams of
// running text ("聽不", "拆了"), which would make the word-boundary check drop good hits,
// so a vocabulary word is kept only when its weight reaches the minimum and it neither
// ends in a particle (的 了 着 著 嗎 呢 吧 啊 呀 嘛) nor starts with 的, 了 or 着. Dictionary
// entries are always kept. Every word must be 2 to 4 characters, all of them Big5
// ideographs under glibc's CP950 table. The word list writes some characters in forms
// that Big5 lacks (爲, 衆, 啓, 綫); such a character is replaced by its first Unihan
// variant (kZVariant, then kSemanticVariant) that Big5 has (為, 眾, 啟, 線). Output: one
// word a line, CR LF, de-duplicated, sorted by byte value.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "langdata/tools/tool_support.h"

using namespace qm::langdata_tools;

namespace {

constexpr char32_t kEndParticles[] = U"的了着著嗎呢吧啊呀嘛";
constexpr char32_t kStartParticles[] = U"的了着";

bool has(const char32_t* set, char32_t c) {
  for (; *set; ++set)
    if (*set == c) return true;
  return false;
}

// Big5 ideographs: the common set A440-C67E and the less common set C940-F9FE.
bool big5_ideographs(std::string_view big5) {
  if (big5.size() % 2) return false;
  for (std::size_t i = 0; i < big5.size(); i += 2) {
    const unsigned code = unsigned(uint8_t(big5[i])) << 8 | uint8_t(big5[i + 1]);
    const unsigned trail = code & 0xFF;
    const bool trail_ok = (trail >= 0x40 && trail <= 0x7E) || (trail >= 0xA1 && trail <= 0xFE);
    if (!trail_ok || !((code >= 0xA440 && code <= 0xC67E) || (code >= 0xC940 && code <= 0xF9FE)))
      return false;
  }
  return true;
}

std::set<std::string> read_dictionary_words(const std::string& path) {
  const std::string text = read_source(path);
  std::set<std::string> words;
  bool body = false;
  std::size_t line_no = 0;
  for (std::string_view line : split_lines(text)) {
    ++line_no;
    if (!body) {
      body = line == "...";
      continue;
    }
    if (line.empty() || line[0] == '#') continue;
    auto fields = split(line, '\t');
    if (fields.size() < 2 || fields[0].empty())
      fail(path + ":" + std::to_string(line_no) + ": expected \"word<TAB>spelling[<TAB>weight]\"");
    words.emplace(fields[0]);
  }
  if (!body) fail(path + ": no \"...\" line ends the header; not a Rime dictionary?");
  if (words.size() < 1000)
    fail(path + ": only " + std::to_string(words.size()) + " entries; not the Luna Pinyin dictionary?");
  return words;
}

std::unordered_map<std::string, double> read_table_weights(const std::string& path) {
  const std::string text = read_source(path);
  std::unordered_map<std::string, double> weights;
  std::size_t line_no = 0;
  for (std::string_view line : split_lines(text)) {
    ++line_no;
    if (line.empty() || line[0] == '#') continue;
    auto fields = split(line, '\t');
    const std::string weight_text(fields.size() == 3 ? fields[2] : std::string_view());
    char* end = nullptr;
    const double weight = std::strtod(weight_text.c_str(), &end);
    if (fields.size() != 3 || fields[0].empty() || weight_text.empty() || *end != '\0')
      fail(path + ":" + std::to_string(line_no) + ": expected \"word<TAB>spelling<TAB>weight\"");
    auto [it, added] = weights.emplace(fields[0], weight);
    if (!added && weight > it->second) it->second = weight;
  }
  if (weights.size() < 1000)
    fail(path + ": only " + std::to_string(weights.size()) + " rows; not a compiled Rime table?");
  return weights;
}

// Character -> its Z and semantic variants from Unihan_Variants, Z variants first.
std::unordered_map<char32_t, std::vector<char32_t>> read_variants(const std::string& path) {
  const std::string text = read_source(path);
  std::unordered_map<char32_t, std::vector<char32_t>> z, semantic;
  std::size_t line_no = 0;
  for (std::string_view line : split_lines(text)) {
    ++line_no;
    if (line.empty() || line[0] == '#') continue;
    auto fields = split(line, '\t');
    auto where = [&] { return path + ":" + std::to_string(line_no) + ": "; };
    if (fields.size() != 3) fail(where() + "expected \"U+XXXX<TAB>field<TAB>value\"");
    const auto cp = parse_code_point(fields[0]);
    if (!cp) fail(where() + "bad code point \"" + std::string(fields[0]) + "\"");
    const bool is_z = fields[1] == "kZVariant";
    if (!is_z && fields[1] != "kSemanticVariant") continue;
    for (auto token : split(fields[2], ' ')) {
      const auto variant = parse_code_point(token.substr(0, token.find('<')));
      if (!variant) fail(where() + "bad variant \"" + std::string(token) + "\"");
      (is_z ? z : semantic)[*cp].push_back(*variant);
    }
  }
  if (z.size() + semantic.size() < 1000)
    fail(path + ": too few variants; not a Unihan variants file?");
  for (auto& [cp, list] : semantic) {
    auto& merged = z[cp];
    merged.insert(merged.end(), list.begin(), list.end());
  }
  return z;
}

struct Counts {
  std::size_t curated = 0, vocabulary = 0, below_weight = 0, particle = 0, not_big5 = 0,
              through_variants = 0;
};

}  // namespace

int main(int argc, char** argv) {
  set_tool_name("mkphrases");
  if (argc != 6)
    fail("usage: mkphrases <luna_pinyin.dict.yaml> <luna_pinyin.table.txt> "
         "<Unihan_Variants.txt[.bz2]> <minimum weight> <output dir>");
  const std::string dict_path = argv[1];
  const std::string table_path = argv[2];
  const std::string variants_path = argv[3];
  char* end = nullptr;
  const double min_weight = std::strtod(argv[4], &end);
  if (*argv[4] == '\0' || *end != '\0') fail(std::string("bad minimum weight: ") + argv[4]);
  const std::string out_dir = argv[5];

  const auto curated = read_dictionary_words(dict_path);
  const auto weights = read_table_weights(table_path);
  const auto variants = read_variants(variants_path);

  Cp950 cp950;
  std::map<int, std::set<std::string>> lists;  // n -> Big5 words, sorted by byte value
  std::map<int, Counts> counts;
  auto consider = [&](const std::string& word, bool is_curated, double weight) {
    auto chars = utf8_decode(word);
    if (!chars || chars->size() < 2 || chars->size() > 4) return;
    const int n = int(chars->size());
    Counts& c = counts[n];
    if (!is_curated) {
      if (weight < min_weight) {
        ++c.below_weight;
        return;
      }
      if (has(kEndParticles, chars->back()) || has(kStartParticles, chars->front())) {
        ++c.particle;
        return;
      }
    }
    auto big5 = cp950.from_utf8(word);
    bool through_variants = false;
    if (!big5) {
      // Character by character, replacing those Big5 lacks by a variant it has.
      std::string bytes;
      for (char32_t ch : *chars) {
        auto one = cp950.from_utf8(utf8_encode(ch));
        if (!one) {
          auto it = variants.find(ch);
          if (it != variants.end())
            for (char32_t v : it->second)
              if ((one = cp950.from_utf8(utf8_encode(v)))) break;
        }
        if (!one) break;
        bytes += *one;
      }
      if (bytes.size() == chars->size() * 2) {
        big5 = bytes;
        through_variants = true;
      }
    }
    if (!big5 || big5->size() != chars->size() * 2 || !big5_ideographs(*big5)) {
      ++c.not_big5;
      return;
    }
    if (lists[n].insert(*big5).second) {
      ++(is_curated ? c.curated : c.vocabulary);
      c.through_variants += through_variants;
    }
  };
  for (const auto& word : curated) consider(word, true, 0);
  for (const auto& [word, weight] : weights)
    if (!curated.count(word)) consider(word, false, weight);

  std::printf("mkphrases: %zu dictionary entries, %zu table rows, %zu characters with variants, "
              "minimum vocabulary weight %g\n",
              curated.size(), weights.size(), variants.size(), min_weight);
  for (int n = 2; n <= 4; ++n) {
    const auto& words = lists[n];
    const Counts& c = counts[n];
    if (words.empty()) fail("no word of " + std::to_string(n) + " characters; sources unusable");
    std::string bytes;
    for (const auto& w : words) bytes += w + "\r\n";
    const std::string name = "phrase-" + std::to_string(n) + ".txt";
    write_file(out_dir + "/" + name, bytes);
    std::printf(
        "mkphrases: %s: %zu words (%zu dictionary, %zu vocabulary; %zu through variants), "
        "%zu bytes; left out: %zu below the weight, %zu particle-edged, %zu not Big5\n",
        name.c_str(), words.size(), c.curated, c.vocabulary, c.through_variants, bytes.size(),
        c.below_weight, c.particle, c.not_big5);
  }
  return 0;
}
