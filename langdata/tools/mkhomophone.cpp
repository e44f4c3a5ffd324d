// mkhomophone: builds the homophone tables big5.ref and big5.dat from Unihan's readings.
//
//   mkhomophone <Unihan_Readings.txt or .txt.bz2> <output directory>
//
// Every Big5 code that glibc's CP950 table maps to a Unicode character with a kMandarin
// reading is included. A character's readings are its kMandarin reading (the second one,
// the Taiwan reading, where two are given) followed by the further readings that
// kHanyuPinlu attests, at most six. Characters sharing a reading (with tone) form one
// group; a character's entry lists the groups of its readings, its main reading first.
// Layout and limits: langdata/homophone_format.h.
#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/strings.h"
#include "langdata/homophone_format.h"
#include "langdata/tools/tool_support.h"
#include "platform/le.h"

namespace hf = qm::homophone_format;
using namespace qm::langdata_tools;

namespace {

struct Readings {
  std::string mandarin;               // the preferred kMandarin reading
  std::vector<std::string> pinlu;     // kHanyuPinlu readings, most frequent first
};

bool valid_reading(std::string_view r) {
  if (r.empty()) return false;
  for (char c : r) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x80 && !(c >= 'a' && c <= 'z')) return false;
  }
  return utf8_decode(r).has_value();
}

std::unordered_map<char32_t, Readings> parse_unihan(const std::string& path) {
  const std::string text = read_source(path);
  std::unordered_map<char32_t, Readings> readings;
  std::size_t line_no = 0;
  std::size_t pinlu_count = 0;
  for (std::string_view line : split_lines(text)) {
    ++line_no;
    if (line.empty() || line[0] == '#') continue;
    auto where = [&] { return path + ":" + std::to_string(line_no) + ": "; };
    auto fields = split(line, '\t');
    if (fields.size() != 3) fail(where() + "expected \"U+XXXX<TAB>field<TAB>value\"");
    const auto code_point = parse_code_point(fields[0]);
    if (!code_point) fail(where() + "bad code point \"" + std::string(fields[0]) + "\"");
    const char32_t cp = *code_point;

    if (fields[1] == "kMandarin") {
      auto values = split(fields[2], ' ');
      for (auto v : values)
        if (!valid_reading(v)) fail(where() + "bad kMandarin reading \"" + std::string(v) + "\"");
      // Two values: the first is preferred in the mainland, the second in Taiwan.
      readings[cp].mandarin = std::string(values.back());
    } else if (fields[1] == "kHanyuPinlu") {
      for (auto token : split(fields[2], ' ')) {
        const auto open = token.find('(');
        const bool shaped = open != std::string_view::npos && open > 0 && token.size() > open + 2 &&
                            token.back() == ')' &&
                            token.substr(open + 1, token.size() - open - 2)
                                    .find_first_not_of("0123456789") == std::string_view::npos;
        if (!shaped || !valid_reading(token.substr(0, open)))
          fail(where() + "bad kHanyuPinlu value \"" + std::string(token) + "\"");
        readings[cp].pinlu.emplace_back(token.substr(0, open));
      }
      ++pinlu_count;
    }
  }
  std::size_t mandarin_count = 0;
  for (auto& [cp, r] : readings) mandarin_count += !r.mandarin.empty();
  if (mandarin_count < 10000)
    fail(path + ": only " + std::to_string(mandarin_count) +
         " kMandarin readings; not a Unihan readings file?");
  std::printf("mkhomophone: %s: %zu characters with kMandarin, %zu with kHanyuPinlu\n",
              path.c_str(), mandarin_count, pinlu_count);
  return readings;
}

}  // namespace

int main(int argc, char** argv) {
  set_tool_name("mkhomophone");
  if (argc != 3) fail("usage: mkhomophone <Unihan_Readings.txt[.bz2]> <output directory>");
  const std::string source = argv[1];
  const std::string out_dir = argv[2];
  const auto unihan = parse_unihan(source);

  // Big5 code -> its readings, codes in ascending order.
  Cp950 cp950;
  std::map<uint16_t, std::vector<std::string>> code_readings;
  std::size_t mapped = 0;
  for (int lead = 0xA1; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (!qm::big5_is_pair(uint8_t(lead), uint8_t(trail))) continue;
      auto cp = cp950.decode_pair(uint8_t(lead), uint8_t(trail));
      if (!cp) continue;
      ++mapped;
      auto it = unihan.find(*cp);
      if (it == unihan.end() || it->second.mandarin.empty()) continue;
      std::vector<std::string> list{it->second.mandarin};
      for (const auto& r : it->second.pinlu) {
        if (list.size() >= std::size_t(hf::kMaxGroups)) break;
        if (std::find(list.begin(), list.end(), r) == list.end()) list.push_back(r);
      }
      code_readings[uint16_t(lead << 8 | trail)] = std::move(list);
    }
  }
  if (code_readings.empty()) fail("no Big5 character has a reading");

  // Reading -> group of codes (ascending, since codes are visited in order).
  std::map<std::string, std::vector<uint16_t>> groups;
  for (const auto& [code, list] : code_readings)
    for (const auto& r : list) groups[r].push_back(code);

  // big5.dat: groups in the order of their first code.
  std::vector<std::pair<uint16_t, std::string>> order;
  for (const auto& [reading, codes] : groups) order.emplace_back(codes.front(), reading);
  std::sort(order.begin(), order.end());
  std::string dat;
  std::map<std::string, uint16_t> group_offset;
  std::size_t largest = 0;
  std::string largest_reading;
  for (const auto& [first, reading] : order) {
    const auto& codes = groups[reading];
    if (codes.size() > hf::kMaxGroupCodes)
      fail("reading " + reading + " has " + std::to_string(codes.size()) +
           " characters; a group holds at most " + std::to_string(hf::kMaxGroupCodes));
    if (dat.size() > hf::kMaxGroupOffset) fail("big5.dat outgrows 16-bit group offsets");
    group_offset[reading] = uint16_t(dat.size());
    for (uint16_t code : codes) {
      dat.push_back(char(code >> 8));
      dat.push_back(char(code & 0xFF));
    }
    dat.push_back('\0');
    if (codes.size() > largest) {
      largest = codes.size();
      largest_reading = reading;
    }
  }

  // big5.ref: index, then the entries; entries with the same groups are shared. Offset 0
  // holds an unused byte, since an index value below 1 means "no homophones".
  std::vector<int16_t> index(hf::kRefIndexCount, 0);
  std::string entries(1, '\0');
  std::map<std::vector<uint16_t>, int> entry_offset;
  std::size_t several = 0;
  std::size_t over_slot = 0;
  for (const auto& [code, list] : code_readings) {
    std::vector<uint16_t> offsets;
    std::set<uint16_t> merged;
    for (const auto& r : list) {
      offsets.push_back(group_offset.at(r));
      merged.insert(groups[r].begin(), groups[r].end());
    }
    several += list.size() > 1;
    over_slot += merged.size() > hf::kMaxSlotCodes;
    auto [it, added] = entry_offset.emplace(offsets, int(entries.size()));
    if (added) {
      if (entries.size() > std::size_t(hf::kMaxEntryOffset))
        fail("big5.ref entries outgrow 16-bit index values");
      entries.push_back(char(offsets.size()));
      for (uint16_t o : offsets) qm::le::append16(entries, o);
    }
    index[hf::big5_ref_index(uint8_t(code >> 8), uint8_t(code & 0xFF))] = int16_t(it->second);
  }
  std::string ref;
  ref.reserve(hf::kRefEntryBase + entries.size());
  for (int16_t v : index) qm::le::append16(ref, uint16_t(v));
  ref += entries;

  write_file(out_dir + "/big5.ref", ref);
  write_file(out_dir + "/big5.dat", dat);
  std::printf(
      "mkhomophone: %zu Big5 codes mapped by CP950, %zu with readings (%zu with several)\n"
      "mkhomophone: %zu groups, largest %zu codes (%s); %zu entries; %zu characters whose "
      "merged groups exceed %zu codes (cut at search time)\n"
      "mkhomophone: wrote big5.ref (%zu bytes) and big5.dat (%zu bytes) to %s\n",
      mapped, code_readings.size(), several, groups.size(), largest, largest_reading.c_str(),
      entry_offset.size(), over_slot, hf::kMaxSlotCodes, ref.size(), dat.size(), out_dir.c_str());
  return 0;
}
