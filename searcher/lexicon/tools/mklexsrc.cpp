// mklexsrc: writes the term list of the lexicon that the build installs, for mklexdb.
//
//   mklexsrc <WordNet dict folder> <Unihan_Variants.txt[.bz2]> <output term list>
//
// English lines: one per WordNet synonym set (data.noun, data.verb, data.adj,
// data.adv) of at least two usable words; every entry carries the set's part of speech
// (noun 1, verb 2, adjective 4, adverb 8). "_" and "-" in a word become blanks; a word
// holding anything but letters, digits and blanks (o'clock, a.m.) or longer than one
// keyword holds is left out.
// Chinese lines: one per Big5 character that Unihan relates to other Big5 characters:
// the character first, marked with every relation bit it has, then each variant marked
// with its relations: 16 glyph variant (kZVariant), 32 semantic variant
// (kSemanticVariant), 64 traditional and simplified forms (kTraditionalVariant,
// kSimplifiedVariant). Relations are taken both ways. Only characters of glibc's CP950
// table count. With the category filter a keyword that matches a variant keeps the
// terms that share its relation.
// Output: UTF-8, LF line ends, lines in a fixed order so builds are reproducible.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "langdata/tools/tool_support.h"
#include "searcher/lexicon/lexicon_format.h"
#include "searcher/lexicon/lexicon_writer.h"

using namespace qm::langdata_tools;
namespace lf = qm::lexicon_format;

namespace {

struct WordnetFile {
  const char* name;
  uint32_t mask;
};
constexpr WordnetFile kWordnetFiles[] = {
    {"data.noun", lf::kMaskNoun},
    {"data.verb", lf::kMaskVerb},
    {"data.adj", lf::kMaskAdjective},
    {"data.adv", lf::kMaskAdverb},
};

std::string lower_ascii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

// The whole of a plain file (WordNet's are tens of megabytes: read in large blocks).
std::string read_plain(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) fail("cannot open " + path);
  std::string text;
  char block[1 << 16];
  size_t n;
  while ((n = std::fread(block, 1, sizeof block, f)) > 0) text.append(block, n);
  const bool bad = std::ferror(f) != 0;
  std::fclose(f);
  if (bad) fail("cannot read " + path);
  return text;
}

// A WordNet lemma as a term, or empty when it cannot be one.
std::string wordnet_term(std::string_view lemma) {
  size_t marker = lemma.find('(');  // adjective position markers: (a), (p), (ip)
  if (marker != std::string_view::npos) lemma = lemma.substr(0, marker);
  std::string term;
  for (char c : lemma) {
    if (c == '_' || c == '-') c = ' ';
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum && c != ' ') return {};
    if (c == ' ' && (term.empty() || term.back() == ' ')) continue;
    term += c;
  }
  while (!term.empty() && term.back() == ' ') term.pop_back();
  if (!qm::lexicon_term_problem(term).empty()) return {};
  return term;
}

void add_wordnet(const std::string& folder, std::vector<qm::LexiconLine>& lines) {
  for (const WordnetFile& file : kWordnetFiles) {
    const std::string text = read_plain(folder + "/" + file.name);
    size_t sets = 0;
    for (std::string_view line : split_lines(text)) {
      if (line.empty() || line[0] == ' ') continue;  // the licence header
      // Fields: offset, lexicographer file, type, word count (hex), then word, lex id...
      auto next_field = [&line]() {
        size_t end = line.find(' ');
        std::string_view field = line.substr(0, end);
        line.remove_prefix(end == std::string_view::npos ? line.size() : end + 1);
        return field;
      };
      for (int i = 0; i < 3; ++i) next_field();
      std::string_view count_text = next_field();
      unsigned long count = std::strtoul(std::string(count_text).c_str(), nullptr, 16);
      if (count_text.empty() || count == 0) fail(std::string(file.name) + ": malformed line");
      ++sets;
      qm::LexiconLine out;
      std::vector<std::string> seen;
      for (unsigned long i = 0; i < count; ++i) {
        std::string_view lemma = next_field();
        next_field();  // lex id
        if (lemma.empty()) fail(std::string(file.name) + ": malformed line");
        std::string term = wordnet_term(lemma);
        if (term.empty()) continue;
        std::string key = lower_ascii(term);
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
        seen.push_back(std::move(key));
        out.push_back({file.mask, term});
      }
      if (out.size() >= 2 && qm::lexicon_line_text(out).size() <= lf::kMaxLineBytes)
        lines.push_back(std::move(out));
    }
    if (sets == 0) fail(folder + "/" + file.name + ": no synonym sets");
  }
}

void add_unihan(const std::string& path, std::vector<qm::LexiconLine>& lines) {
  const std::map<std::string_view, uint32_t> fields = {
      {"kZVariant", lf::kMaskGlyphVariant},
      {"kSemanticVariant", lf::kMaskSemanticVariant},
      {"kTraditionalVariant", lf::kMaskSimplifiedPair},
      {"kSimplifiedVariant", lf::kMaskSimplifiedPair},
  };
  std::map<char32_t, std::map<char32_t, uint32_t>> relations;
  const std::string text = read_source(path);
  for (std::string_view line : split_lines(text)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string_view> f = split(line, '\t');
    if (f.size() < 3) continue;
    auto field = fields.find(f[1]);
    if (field == fields.end()) continue;
    std::optional<char32_t> from = parse_code_point(f[0]);
    if (!from) fail(path + ": bad code point " + std::string(f[0]));
    for (std::string_view value : split(f[2], ' ')) {
      value = value.substr(0, value.find('<'));  // source annotations
      std::optional<char32_t> to = parse_code_point(value);
      if (!to || *to == *from) continue;
      relations[*from][*to] |= field->second;
      relations[*to][*from] |= field->second;
    }
  }
  if (relations.empty()) fail(path + ": no variants");

  Cp950 cp950;
  std::map<char32_t, std::string> big5_of;
  auto big5 = [&](char32_t c) -> const std::string& {
    auto it = big5_of.find(c);
    if (it != big5_of.end()) return it->second;
    std::optional<std::string> b = cp950.from_utf8(utf8_encode(c));
    std::string term = b && b->size() == 2 && qm::lexicon_term_problem(*b).empty() ? *b : "";
    return big5_of.emplace(c, term).first->second;
  };
  for (const auto& [head, variants] : relations) {
    if (big5(head).empty()) continue;
    qm::LexiconLine out{{0, utf8_encode(head)}};
    for (const auto& [variant, bits] : variants) {
      if (big5(variant).empty()) continue;
      out.push_back({bits, utf8_encode(variant)});
      out[0].mask |= bits;
    }
    if (out.size() >= 2) lines.push_back(std::move(out));
  }
}

}  // namespace

int main(int argc, char** argv) {
  set_tool_name("mklexsrc");
  if (argc != 4) {
    std::fprintf(stderr, "usage: mklexsrc <WordNet dict folder> <Unihan_Variants.txt[.bz2]> <output>\n");
    return 2;
  }
  std::vector<qm::LexiconLine> lines;
  add_wordnet(argv[1], lines);
  const size_t english = lines.size();
  add_unihan(argv[2], lines);

  std::string out =
      "# Lexicon term list: mask,term+mask,term (UTF-8), built by mklexsrc from WordNet\n"
      "# synonym sets and Unihan character variants.\n"
      "# Masks: 1 noun, 2 verb, 4 adjective, 8 adverb (WordNet part of speech);\n"
      "# 16 glyph variant, 32 semantic variant, 64 traditional/simplified form (Unihan).\n";
  for (const qm::LexiconLine& line : lines) {
    out += qm::lexicon_line_text(line);
    out += '\n';
  }
  write_file(argv[3], out);
  std::printf("mklexsrc: %zu English lines, %zu Chinese lines\n", english, lines.size() - english);
  return 0;
}
