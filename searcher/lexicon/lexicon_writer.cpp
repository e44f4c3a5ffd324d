// The LexDB builder (see lexicon_writer.h). Shares the index file layouts, the word
// signature and the prefix-table builder with the index writer (index/).
#include "searcher/lexicon/lexicon_writer.h"

#include <iconv.h>

#include <filesystem>
#include <map>
#include <optional>

#include "common/posting.h"
#include "common/strings.h"
#include "index/index_format.h"
#include "index/index_reader.h"
#include "index/prefix_table.h"
#include "index/word_signature.h"
#include "platform/atomic_file.h"
#include "platform/le.h"
#include "searcher/query_parser.h"

namespace qm {
namespace lf = lexicon_format;
namespace fmt = index_format;

namespace {

class Utf8ToBig5 {
 public:
  Utf8ToBig5() : cd_(::iconv_open("CP950", "UTF-8")) {}
  ~Utf8ToBig5() {
    if (ok()) ::iconv_close(cd_);
  }
  Utf8ToBig5(const Utf8ToBig5&) = delete;
  Utf8ToBig5& operator=(const Utf8ToBig5&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Nothing when the text is not UTF-8 or holds a character without a CP950 code.
  std::optional<std::string> convert(std::string_view utf8) {
    ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string in(utf8);
    std::string out(in.size() * 2 + 8, '\0');
    char* src = in.data();
    size_t src_left = in.size();
    char* dst = out.data();
    size_t dst_left = out.size();
    if (::iconv(cd_, &src, &src_left, &dst, &dst_left) == size_t(-1)) return std::nullopt;
    if (::iconv(cd_, nullptr, nullptr, &dst, &dst_left) == size_t(-1)) return std::nullopt;
    out.resize(out.size() - dst_left);
    return out;
  }

 private:
  iconv_t cd_;
};

std::string trimmed(std::string_view text) {
  std::string s(text);
  string_trim(s, " \t");
  return s;
}

// A decimal number below 2^32, digits only.
std::optional<uint32_t> parse_mask(std::string_view text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + uint64_t(c - '0');
  }
  if (value > UINT32_MAX) return std::nullopt;
  return uint32_t(value);
}

std::string line_problem(const LexiconLine& line) {
  if (line.empty()) return "no entries";
  for (const auto& entry : line) {
    std::string problem = lexicon_term_problem(entry.term);
    if (!problem.empty()) return problem;
  }
  if (lexicon_line_text(line).size() > lf::kMaxLineBytes)
    return "longer than " + std::to_string(lf::kMaxLineBytes) + " bytes in Big5";
  return {};
}

// A file of the set: its name and bytes, committed together with the others.
struct OutputFile {
  const char* name;
  std::string bytes;
};

}  // namespace

std::string lexicon_term_problem(std::string_view term) {
  if (term.empty()) return "an empty term";
  if (term.front() == ' ' || term.back() == ' ') return "a term with blanks around it";
  size_t english = 0, chinese = 0;
  for (size_t i = 0; i < term.size();) {
    const auto c = static_cast<unsigned char>(term[i]);
    if (c >= 0x80) {
      if (i + 1 >= term.size() || !big5_is_pair(c, static_cast<unsigned char>(term[i + 1])))
        return "a byte that is not a Big5 character";
      english = 0;
      chinese += 2;
      if (chinese > kChineseWordBytes) return "more than 10 Chinese characters in a row";
      i += 2;
      continue;
    }
    if (c < 0x20 || c == 0x7F) return "a control character";
    if (lf::kReservedBytes.find(char(c)) != std::string_view::npos)
      return std::string("the reserved character '") + char(c) + "'";
    chinese = 0;
    if (is_alnum_ascii(c) || c == ' ') {
      if (++english > kQueryTokenLimit) return "an English part longer than 29 bytes";
    } else {
      english = 0;
    }
    ++i;
  }
  return {};
}

std::string lexicon_line_text(const LexiconLine& line) {
  std::string text;
  for (const auto& entry : line) {
    if (!text.empty()) text += lf::kEntrySeparator;
    text += std::to_string(entry.mask);
    text += lf::kMaskSeparator;
    text += entry.term;
  }
  return text;
}

bool lexicon_read_term_list(std::string_view utf8, std::vector<LexiconLine>& lines,
                            std::string& error) {
  lines.clear();
  Utf8ToBig5 big5;
  if (!big5.ok()) {
    error = "iconv has no CP950 conversion";
    return false;
  }
  if (utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);  // byte-order mark
  size_t number = 0;
  for (size_t at = 0; at < utf8.size();) {
    size_t end = utf8.find('\n', at);
    if (end == std::string_view::npos) end = utf8.size();
    std::string_view text = utf8.substr(at, end - at);
    at = end + 1;
    ++number;
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    std::string whole = trimmed(text);
    if (whole.empty() || whole[0] == '#') continue;

    auto fail = [&](const std::string& why) {
      error = "line " + std::to_string(number) + ": " + why;
      return false;
    };
    LexiconLine line;
    for (size_t i = 0; i <= whole.size();) {
      size_t j = whole.find(lf::kEntrySeparator, i);
      if (j == std::string::npos) j = whole.size();
      std::string_view entry = std::string_view(whole).substr(i, j - i);
      i = j + 1;
      size_t comma = entry.find(lf::kMaskSeparator);
      if (comma == std::string_view::npos)
        return fail("entry \"" + std::string(entry) + "\" is not mask,term");
      std::optional<uint32_t> mask = parse_mask(trimmed(entry.substr(0, comma)));
      if (!mask) return fail("entry \"" + std::string(entry) + "\" has no decimal mask below 2^32");
      std::string term_utf8 = trimmed(entry.substr(comma + 1));
      std::optional<std::string> term = big5.convert(term_utf8);
      if (!term) return fail("term \"" + term_utf8 + "\" is not UTF-8 text that Big5 can hold");
      std::string problem = lexicon_term_problem(*term);
      if (!problem.empty()) return fail("term \"" + term_utf8 + "\" has " + problem);
      line.push_back({*mask, std::move(*term)});
    }
    std::string problem = line_problem(line);
    if (!problem.empty()) return fail(problem);
    lines.push_back(std::move(line));
  }
  if (lines.empty()) {
    error = "the term list holds no lines";
    return false;
  }
  return true;
}

bool lexicon_write(const std::string& folder, const std::vector<LexiconLine>& lines,
                   std::string& error, LexiconWriteStats* stats, unsigned char key) {
  LexiconWriteStats s;
  if (lines.empty()) {
    error = "the term list holds no lines";
    return false;
  }

  // The term text and the postings of its characters and words.
  std::string fulltext;
  std::vector<std::vector<PostingEntry>> characters(fmt::kCharSlots);
  std::map<std::string, std::vector<PostingEntry>> words;
  for (size_t n = 0; n < lines.size(); ++n) {
    const LexiconLine& line = lines[n];
    std::string problem = line_problem(line);
    if (!problem.empty()) {
      error = "line " + std::to_string(n + 1) + ": " + problem;
      return false;
    }
    if (fulltext.size() + lf::kLineBlock >= UINT32_MAX) {
      error = "the term list is too large for a lexicon";
      return false;
    }
    const auto line_offset = uint32_t(fulltext.size());
    std::string text = lexicon_line_text(line);
    size_t entry_offset = 0;
    for (const auto& entry : line) {
      const auto entry_at = uint16_t(entry_offset);
      const std::string& term = entry.term;
      uint16_t ordinal = 0;
      for (size_t i = 0; i < term.size();) {
        const auto c = static_cast<unsigned char>(term[i]);
        if (c >= 0x80) {  // a Big5 pair (checked above)
          const auto trail = static_cast<unsigned char>(term[i + 1]);
          characters[fmt::char_slot(c, trail)].push_back({line_offset, entry_at, uint16_t(i)});
          ++s.char_postings;
          i += 2;
        } else if (is_alnum_ascii(c)) {
          size_t j = i;
          while (j < term.size() && is_alnum_ascii(static_cast<unsigned char>(term[j]))) ++j;
          std::string word = term.substr(i, std::min(j - i, fmt::kMaxWordLength));
          string_upper_big5(word);
          words[word].push_back({line_offset, entry_at, ordinal++});
          ++s.word_postings;
          i = j;
        } else {
          ++i;
        }
      }
      entry_offset += std::to_string(entry.mask).size() + 1 + term.size() + 1;
      ++s.entries;
    }
    text += '\n';
    lf::scramble(text, key);
    fulltext += text;
    ++s.lines;
  }
  fulltext += char(key);

  auto put_posting = [](std::string& out, const PostingEntry& e) {
    le::append32(out, e.document);
    le::append16(out, e.paragraph);
    le::append16(out, e.position);
  };

  std::string chash, cindex;
  chash.reserve(fmt::kCharHashFileSize);
  for (const auto& list : characters) {
    le::append32(chash, uint32_t(list.size()));
    le::append32(chash, list.empty() ? 0 : uint32_t(cindex.size()));
    for (const PostingEntry& e : list) put_posting(cindex, e);
  }

  std::string ehash, esign, eindex;
  PrefixTableBuilder prefixes;
  for (const auto& [word, list] : words) {
    std::string record(fmt::kWordTextSize, '\0');
    record.replace(0, word.size(), word);
    ehash += record;
    le::append32(ehash, uint32_t(eindex.size()));
    WordSignature sig = word_signature(word);
    le::append32(esign, sig.letters);
    le::append32(esign, sig.transitions);
    prefixes.add(word);
    for (const PostingEntry& e : list) put_posting(eindex, e);
    ++s.words;
  }
  if (cindex.size() > UINT32_MAX || eindex.size() > UINT32_MAX) {
    error = "the term list is too large for a lexicon";
    return false;
  }

  OutputFile files[] = {
      {fmt::kFulltextFile, std::move(fulltext)}, {fmt::kCharHashFile, std::move(chash)},
      {fmt::kCharIndexFile, std::move(cindex)},  {fmt::kWordHashFile, std::move(ehash)},
      {fmt::kWordSignFile, std::move(esign)},    {fmt::kWordIndexFile, std::move(eindex)},
      {fmt::kPrefixFile, prefixes.finish()},
  };

  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    error = "cannot create " + folder + ": " + ec.message();
    return false;
  }
  // All temporary files first; the renames only once every one is complete.
  AtomicFileWriter writers[std::size(files)];
  for (size_t i = 0; i < std::size(files); ++i) {
    if (!writers[i].open(folder + files[i].name) || !writers[i].write(files[i].bytes)) {
      error = writers[i].error();
      return false;  // the writers abandon their temporary files
    }
  }
  for (auto& w : writers) {
    if (!w.commit()) {
      error = w.error();
      return false;
    }
  }
  if (stats) *stats = s;
  return true;
}

}  // namespace qm
