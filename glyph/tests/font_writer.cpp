// Test font writer and stroke assembler (font_writer.h).
#include "glyph/tests/font_writer.h"

#include <sstream>
#include <stdexcept>

#include "glyph/font_format.h"
#include "platform/le.h"

namespace qm::glyph::test {

namespace {

void Name32(std::string& out, const std::string& name) {
  std::string n = name.substr(0, 31);
  n.resize(32, '\0');
  out += n;
}

std::string Framed(const std::string& content) {
  std::string out;
  le::append16(out, uint16_t(content.size()));
  return out + content;
}

// Index of 6-byte entries followed by framed records; offsets relative to `base_len`
// bytes before the index's first entry (the table's own header).
std::string IndexAndRecords(const std::map<uint16_t, std::string>& recs, size_t header_len) {
  std::string index, data;
  size_t start = header_len + recs.size() * kIndexEntrySize;
  for (const auto& [key, content] : recs) {
    le::append16(index, key);
    le::append32(index, uint32_t(start + data.size()));
    data += Framed(content);
  }
  return index + data;
}

}  // namespace

std::string OutlineBody(const std::vector<OutlineContour>& contours) {
  std::string out;
  le::append16(out, uint16_t(contours.size()));
  for (const OutlineContour& c : contours) {
    std::string body;
    le::append16(body, uint16_t(c.x));
    le::append16(body, uint16_t(c.y));
    for (const OutlineGroup& g : c.groups) {
      body += char(g.kind);
      body += char(uint8_t(g.points.size()));
      for (auto [x, y] : g.points) {
        le::append16(body, uint16_t(x));
        le::append16(body, uint16_t(y));
      }
    }
    le::append16(out, uint16_t(body.size() + 2));
    out += body;
  }
  return out;
}

OutlineContour Polygon(const std::vector<std::pair<int16_t, int16_t>>& points) {
  OutlineContour c;
  if (points.empty()) return c;
  c.x = points[0].first;
  c.y = points[0].second;
  OutlineGroup g;
  g.points.assign(points.begin() + 1, points.end());
  c.groups.push_back(g);
  return c;
}

std::string HeadTable(const HeadSpec& h) {
  std::string c;
  le::append16(c, h.char_set);
  le::append16(c, h.units_per_em);
  le::append16(c, h.third_word);
  Name32(c, h.face);
  Name32(c, h.second);
  for (int16_t m : h.line_metric) le::append16(c, uint16_t(m));
  for (int16_t v : {h.ascent, h.descent, h.pitch_kind}) le::append16(c, uint16_t(v));
  le::append16(c, h.flags);
  for (int16_t v : {h.max_ascent, h.max_descent, h.line_gap, h.further_metric, h.half_advance,
                    h.full_advance})
    le::append16(c, uint16_t(v));
  c.resize(kHeadUsedSize, '\0');
  c.resize(h.stored_length, '\0');
  return Framed(c);
}

std::string GlyphRecord(int16_t kind, const std::optional<MetricsSpec>& metrics,
                        const std::string& body) {
  std::string out;
  le::append16(out, uint16_t(kind));
  if (metrics) {
    le::append16(out, 10);
    le::append16(out, metrics->ink_width);
    le::append16(out, metrics->ink_height);
    le::append16(out, uint16_t(metrics->left));
    le::append16(out, uint16_t(metrics->top));
    le::append16(out, uint16_t(metrics->advance));
  } else {
    le::append16(out, 0);
  }
  le::append16(out, uint16_t(body.size()));
  return out + body;
}

std::string CdatTable(const std::map<uint16_t, std::string>& records) {
  std::string out;
  le::append16(out, uint16_t(records.size()));
  return out + IndexAndRecords(records, kCdatIndexAt);
}

std::string StrkTable(const std::map<uint16_t, std::string>& programs,
                      const std::array<uint8_t, 16>& block, uint16_t word) {
  std::string out;
  le::append16(out, uint16_t(programs.size()));
  out.append(reinterpret_cast<const char*>(block.data()), block.size());
  le::append16(out, word);
  return out + IndexAndRecords(programs, kStrkIndexAt);
}

std::string BitmapGlyphBytes(const BitmapSpec& g) {
  std::string out;
  le::append16(out, g.width);
  le::append16(out, g.height);
  for (int16_t v : {g.origin_x, g.origin_y, g.advance, g.sixth}) le::append16(out, uint16_t(v));
  size_t row_bytes = (size_t(g.width) + 7) / 8;
  for (size_t r = 0; r < g.height; ++r) {
    std::string row(row_bytes, '\0');
    const std::string& art = r < g.rows.size() ? g.rows[r] : std::string();
    for (size_t x = 0; x < art.size() && x < g.width; ++x)
      if (art[x] == '#') row[x / 8] = char(uint8_t(row[x / 8]) | (0x80 >> (x % 8)));
    out += row;
  }
  return out;
}

std::string BmpdTable(const std::vector<Strike>& strikes) {
  std::string head, data;
  le::append16(head, uint16_t(strikes.size()));
  size_t start = kBmpdEntriesAt + strikes.size() * kIndexEntrySize;
  for (const Strike& s : strikes) {
    le::append16(head, s.pixel_size);
    le::append32(head, uint32_t(start + data.size()));
    std::string strike;
    le::append16(strike, uint16_t(s.glyphs.size()));
    data += strike + IndexAndRecords(s.glyphs, kStrikeIndexAt);
  }
  return head + data;
}

std::string Font(const std::vector<Table>& tables) {
  std::string dir, data;
  le::append16(dir, uint16_t(tables.size()));
  size_t start = kFontEntriesAt + tables.size() * kTableEntrySize;
  for (const Table& t : tables) {
    std::string tag = t.tag.substr(0, 4);
    tag.resize(4, ' ');
    dir += tag;
    if (t.absent) {
      le::append32(dir, 0);
      continue;
    }
    le::append32(dir, uint32_t(start + data.size()));
    data += t.bytes;
  }
  return dir + data;
}

std::string Directory(const std::vector<std::string>& fonts, uint16_t first_word) {
  std::string dir, data;
  le::append16(dir, first_word);
  le::append16(dir, uint16_t(fonts.size()));
  size_t start = kDirOffsetsAt + fonts.size() * 4;
  for (const std::string& f : fonts) {
    le::append32(dir, uint32_t(start + data.size()));
    data += f;
  }
  return dir + data;
}

// ---- Assembler ------------------------------------------------------------------------

namespace {

struct Mnemonic {
  const char* name;
  int opcode;
  bool sided;    // ".r" allowed
  bool indexed;  // followed by K = 0..7
};
const Mnemonic kMnemonics[] = {
    {"line", 0, true, false},       {"lineto", 2, true, false},     {"draw", 3, true, false},
    {"curve", 8, true, false},      {"curvefrom", 10, true, false}, {"curveto", 11, true, false},
    {"sline", 16, true, false},     {"slineto", 18, true, false},
    {"scurve", 24, true, false},    {"scurvefrom", 26, true, false},
    {"scurveto", 27, true, false},  {"yadd", 32, false, true},      {"ysub", 40, false, true},
    {"frame", 48, false, false},    {"framex", 49, false, false},   {"copyy", 50, false, false},
    {"copyx", 51, false, false},    {"movea", 52, false, false},    {"smovea", 53, false, false},
    {"nop", 54, false, false},      {"nop2", 55, false, false},     {"xadd", 64, false, true},
    {"xsub", 72, false, true},      {"yaddc", 80, false, true},     {"ysubc", 88, false, true},
    {"xaddc", 96, false, true},     {"xsubc", 104, false, true},    {"end", 112, false, false},
    {"end2", 113, false, false},
};

int OpcodeOf(std::string word, std::istringstream& in) {
  bool right = false;
  if (word.size() > 2 && word.compare(word.size() - 2, 2, ".r") == 0) {
    right = true;
    word.resize(word.size() - 2);
  }
  if (word == "op") {
    int n = -1;
    if (!(in >> n) || n < 0 || n > 255) throw std::invalid_argument("op needs 0..255");
    return n;
  }
  for (const Mnemonic& m : kMnemonics) {
    std::string name = m.name;
    if (m.indexed) {
      if (word.size() == name.size() + 1 && word.compare(0, name.size(), name) == 0 &&
          word.back() >= '0' && word.back() <= '7')
        return m.opcode + (word.back() - '0');
      continue;
    }
    if (word == name) {
      if (right && !m.sided) throw std::invalid_argument(".r on " + word);
      return m.opcode + (right ? 4 : 0);
    }
  }
  throw std::invalid_argument("unknown mnemonic " + word);
}

}  // namespace

std::string Assemble(std::string_view source) {
  std::string text(source);
  for (char& c : text)
    if (c == ';') c = '\n';
  std::istringstream lines(text);
  std::string line, out;
  while (std::getline(lines, line)) {
    std::istringstream in(line);
    std::string word;
    if (!(in >> word)) continue;
    int opcode = OpcodeOf(word, in);
    int a = 0, b = 0;
    if (!(in >> a >> b) || a < 0 || a > 15 || b < 0 || b > 15)
      throw std::invalid_argument("points a b (0..15) expected: " + line);
    le::append16(out, uint16_t(opcode | (b << 8) | (a << 12)));
    long v;
    while (in >> v) le::append16(out, uint16_t(int16_t(v)));
    if (!in.eof()) throw std::invalid_argument("bad operand: " + line);
  }
  return out;
}

std::string Program(uint8_t params, uint8_t points, std::string_view source) {
  std::string out;
  out += char(params);
  out += char(points);
  return out + Assemble(source);
}

std::string Call(uint16_t id, const std::vector<uint8_t>& params,
                 const std::vector<std::pair<uint8_t, uint8_t>>& points) {
  std::string out;
  if (id < 250) {
    out += char(id);
  } else {
    out += char(255);
    le::append16(out, id);
  }
  for (uint8_t p : params) out += char(p);
  for (auto [x, y] : points) {
    out += char(x);
    out += char(y);
  }
  return out;
}

std::string InlineCall(const std::vector<uint8_t>& params, std::string_view source) {
  std::string out;
  out += char(250);
  out += char(params.size());
  for (uint8_t p : params) out += char(p);
  if (params.size() % 2) out += '\0';
  std::string words = Assemble(source);
  le::append16(out, uint16_t(words.size()));
  return out + words;
}

}  // namespace qm::glyph::test
