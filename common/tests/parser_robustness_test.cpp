// Seeded random and mutated inputs for the text parsers of the common library: the HTML
// escaping, entity decoding and markup scanner, the token and word walks, and the
// configuration file parser. Each test checks that nothing reads out of bounds (the
// sanitizer build) and that the outputs keep their invariants; the inputs that once broke
// one are kept as fixed cases.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "common/html.h"
#include "common/ini.h"
#include "common/strings.h"
#include "common/tests/random_text.h"

namespace {

using qm::test::RandomText;

// A zero-ended copy in a buffer of exactly its size, so a read past the end is caught.
class ExactText {
 public:
  explicit ExactText(std::string_view text) : size_(text.size()), bytes_(new char[text.size() + 1]) {
    std::memcpy(bytes_.get(), text.data(), text.size());
    bytes_[text.size()] = 0;
  }
  const char* c_str() const { return bytes_.get(); }
  // Where the text ends as a zero-ended text sees it.
  const char* end() const { return bytes_.get() + std::strlen(bytes_.get()); }
  std::string_view view() const { return {bytes_.get(), size_}; }

 private:
  size_t size_;
  std::unique_ptr<char[]> bytes_;
};

// The Big5 pairs of a text, walked Big5-aware, one after another.
std::string pairs_of(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    size_t len = qm::big5_char_len(text, i);
    if (len == 2) out.append(text.substr(i, 2));
    i += len;
  }
  return out;
}

// Every Big5 pair of the input comes out as one character of the output.
void expect_pairs_kept(std::string_view input, std::string_view output) {
  std::string in = pairs_of(input);
  std::string out = pairs_of(output);
  if (in != out) ADD_FAILURE() << "pairs differ: " << ::testing::PrintToString(in) << " vs "
                               << ::testing::PrintToString(out);
}

// The text html_encode escapes: up to a zero byte or 0xFF, line feeds dropped.
std::string encode_source(std::string_view text) {
  std::string s;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == 0 || c == 0xFF) break;
    if (qm::big5_char_len(text, i) == 2) {
      s.append(text.substr(i, 2));
      ++i;
      continue;
    }
    // A lead byte that starts no pair is dropped before a line feed.
    if (c >= 0xA1 && c <= 0xFE && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (c != '\n') s += char(c);
  }
  return s;
}

std::string encode_reverse(std::string_view encoded) {
  std::string s;
  for (size_t i = 0; i < encoded.size();) {
    if (qm::big5_char_len(encoded, i) == 2) {
      s.append(encoded.substr(i, 2));
      i += 2;
      continue;
    }
    static const std::pair<std::string_view, char> kForms[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"<BR>\r", '\r'}};
    bool found = false;
    for (auto& [form, ch] : kForms) {
      if (encoded.substr(i, form.size()) == form) {
        s += ch;
        i += form.size();
        found = true;
        break;
      }
    }
    if (found) continue;
    // Markup characters appear only inside the forms above.
    EXPECT_TRUE(encoded[i] != '<' && encoded[i] != '>' && encoded[i] != '&')
        << ::testing::PrintToString(std::string(encoded));
    s += encoded[i++];
  }
  return s;
}

const std::vector<std::string> kHtmlSamples = {
    "<p>a &amp; b</p>\r\n\xA4\xA4\xA4\xE5",
    "<!-- note --><SCRIPT>if (a<b) x();</SCRIPT>text",
    "<a href=\"x\">\xB3\x5C\xA5\x7C</a>&lt;&GT;&nbsp;&quot;",
    "text</script>more<!--x-->",
};

TEST(HtmlRobustness, EncodeDecodeAndScannerOnRandomText) {
  // Fixed cases: a lone lead byte before a dropped line feed once joined the next byte
  // into a pair (and split the pair after it).
  std::vector<std::string> inputs = {
      std::string("\xA4\n\xA4\x40", 4),  // lone lead, LF, 中... pair
      std::string("\xA4\nA", 3),
      std::string("\xA4", 1),
      std::string("&", 1),
      std::string("&amp", 4),
      std::string("</", 2),
      std::string("<!--", 4),
      std::string("<script", 7),
      std::string("<SCRIPT></", 10),
      std::string("a\0<b>", 5),
  };
  RandomText rnd(0x51A7E);
  for (int n = 0; n < 3000; ++n) inputs.push_back(rnd.input(kHtmlSamples, 300));

  for (const std::string& input : inputs) {
    qm::test::InputTrace trace(input);
    std::string encoded;
    qm::html_encode(input, encoded);
    EXPECT_EQ(encode_reverse(encoded), encode_source(input));
    expect_pairs_kept(encode_source(input), encoded);
    EXPECT_LE(encoded.size(), qm::html_encoded_size(input));

    std::string decoded;
    qm::html_decode_entities(input, decoded);
    EXPECT_LE(decoded.size(), input.size());
    expect_pairs_kept(input, decoded);

    ExactText text(input);
    const char* begin = text.c_str();
    const char* end = text.end();
    for (const char* p = begin; p < end; ++p) {
      if (*p != '<') continue;
      const char* after = qm::html_skip_tag(p);
      if (after) {
        EXPECT_TRUE(after > p && after <= end);
      }
      const char* close = qm::html_skip_to_end_tag(p, "SCRIPT");
      if (close) {
        EXPECT_TRUE(close > p && close <= end);
      }
    }
    for (std::string_view word : {"a", "x", "script", "\xA4\xA4"}) {
      const char* at = qm::html_find_outside_markup(begin, word);
      if (!at) continue;
      ASSERT_TRUE(at >= begin + word.size() && at <= end);
      EXPECT_EQ(qm::string_icmp(std::string_view(at - word.size(), word.size()), word), 0);
    }
  }
}

TEST(StringWalkRobustness, TokensWordsAndCutsOnRandomText) {
  const std::vector<std::string> samples = {"one two,three\t\xA4\xA4\xB3\x5C end",
                                            "a1b2 \xA4\x40\xA4\x41 ,, x"};
  std::vector<std::string> inputs = {std::string("\xA4", 1), std::string("a\xA4", 2),
                                     std::string("\xA4\x5C", 2), std::string(" , ", 3)};
  RandomText rnd(0x70C3);
  for (int n = 0; n < 3000; ++n) inputs.push_back(rnd.input(samples, 200));

  for (const std::string& input : inputs) {
    qm::test::InputTrace trace(input);
    ExactText text(input);
    const char* end = text.end();
    std::string_view visible(text.c_str(), size_t(end - text.c_str()));

    // Tokens: each within the text, no delimiter outside a pair, never longer than max,
    // and the walk always moves on.
    for (size_t max : {2, 5, 30}) {
      std::string token;
      const char* p = text.c_str();
      int steps = 0;
      while (const char* next = qm::string_next_token(p, " ,\t\\", token, max)) {
        ASSERT_TRUE(next >= p && next <= end);
        EXPECT_LE(token.size(), max);
        for (size_t i = 0; i < token.size();) {
          size_t len = qm::big5_char_len(token, i);
          if (len == 1 && std::string_view(" ,\t\\").find(token[i]) != std::string::npos)
            ADD_FAILURE() << "delimiter in token " << ::testing::PrintToString(token);
          i += len;
        }
        if (next == p) break;
        p = next;
        ASSERT_LT(++steps, 10000);
      }
    }
    // Words: the walk passes the whole text, one step per word.
    {
      std::string word;
      const char* p = text.c_str();
      int steps = 0;
      while (const char* next = qm::string_next_word(p, word, 20)) {
        ASSERT_TRUE(next > p && next <= end);
        EXPECT_LE(word.size(), 20u);
        p = next;
        ASSERT_LT(++steps, 10000);
      }
      EXPECT_EQ(p, end);
    }
    // Cuts: a prefix, at most n bytes, ending on a character boundary of the text.
    for (size_t n : {0, 1, 3, 10, 64}) {
      std::string cut = input;
      qm::string_cut_words(cut, n);
      ASSERT_EQ(input.compare(0, cut.size(), cut), 0);
      if (input.size() > n) {
        EXPECT_LE(cut.size(), n);
      }
      size_t at = 0;
      while (at < cut.size()) at += qm::big5_char_len(input, at);
      EXPECT_EQ(at, cut.size()) << "cut inside a pair";
    }
  }
}

// The tree as comparable data, leaving out keys that are not written (empty name or
// value).
std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> written_tree(
    const qm::IniTree& tree) {
  std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> out;
  for (const qm::IniSection& s : tree.sections()) {
    out.push_back({s.name, {}});
    for (const qm::IniKey& k : s.keys)
      if (!k.name.empty() && !k.value.empty()) out.back().second.push_back({k.name, k.value});
  }
  return out;
}

TEST(IniRobustness, ParseSerializeRoundTripOnRandomText) {
  const std::vector<std::string> samples = {
      "[Search]\r\nMatchRate=70\r\nDir=C:\\\xB8\xEA\xAE\xC6\r\n\r\n[\xA4\xA4\xA4\xE5]\nKey = v \n",
      "\n[a]\nx=1\n[]\ny=2\n=z\n[b\nk==v\x1a[c]\nw=3\n",
  };
  // Fixed cases: a section name holding a Big5 pair whose trail byte is "]" was cut in
  // the middle of the pair.
  // A section name ending in a lone lead byte was written with the "]" right after it,
  // which then read back as the pair's trail byte.
  std::vector<std::string> inputs = {"[\xA4\x5D]\nk=v\n", "[\xA6\x5D\xA4\x40]\r\nk=v\r\n",
                                     "[a\xA4]\nk=v\n", "[\xA4]]\n", "\n[a\xC8 ]",
                                     "[\xA4\x40\xC8\t]\nk=v\n"};
  RandomText rnd(0x1717);
  for (int n = 0; n < 3000; ++n) inputs.push_back(rnd.input(samples, 300));

  for (const std::string& input : inputs) {
    qm::test::InputTrace trace(input);
    qm::IniTree tree;
    tree.parse(input);
    for (const qm::IniSection& s : tree.sections()) {
      EXPECT_FALSE(s.name.empty());
    }
    std::string saved = tree.serialize();
    qm::IniTree again;
    again.parse(saved);
    EXPECT_EQ(written_tree(again), written_tree(tree));
    EXPECT_EQ(again.serialize(), saved);
  }

  {
    qm::IniTree tree;
    tree.parse("[\xA4\x5D]\nk=v\n[\xA6\x5D\xA4\x40]\r\nk=w\r\n");
    EXPECT_EQ(tree.get("\xA4\x5D", "k"), std::optional<std::string>("v"));
    EXPECT_EQ(tree.get("\xA6\x5D\xA4\x40", "k"), std::optional<std::string>("w"));
  }
  // Names set through the tree, Big5 pairs with "]" and "\" trail bytes included, come
  // back from the written file.
  qm::IniTree tree;
  tree.set("\xA4\x5D\xB3\x5C", "\xA5\x5D", "\xA4\x5D");
  qm::IniTree again;
  again.parse(tree.serialize());
  EXPECT_EQ(again.get("\xA4\x5D\xB3\x5C", "\xA5\x5D"), std::optional<std::string>("\xA4\x5D"));
  tree.set("a\xC8", "k", "v");  // a name ending in a lone lead byte
  again.parse(tree.serialize());
  EXPECT_EQ(again.get("a\xC8", "k"), std::optional<std::string>("v"));
}

}  // namespace
