// Reader of the homophone tables big5.ref / big5.dat and the per-query homophone slots.
// The layout is in homophone_format.h; the generator is tools/mkhomophone.cpp.
#include "langdata/homophone.h"

#include <algorithm>

#include "common/files.h"
#include "common/strings.h"
#include "platform/le.h"
#include "platform/paths.h"

namespace qm {

namespace hf = homophone_format;

namespace {

// "同音索引檔讀入失敗!!" (big5.ref cannot be read)
constexpr char kRefOpenFailed[] =
    "\xA6\x50\xAD\xB5\xAF\xC1\xA4\xDE\xC0\xC9\xC5\xAA\xA4\x4A\xA5\xA2\xB1\xD1!!";
// "同音字元集檔讀入失敗!!" (big5.dat cannot be read)
constexpr char kDatOpenFailed[] =
    "\xA6\x50\xAD\xB5\xA6\x72\xA4\xB8\xB6\xB0\xC0\xC9\xC5\xAA\xA4\x4A\xA5\xA2\xB1\xD1!!";

// Reads the whole file (a regular file of sane size only: common/files.h) into a new
// string of exactly its size, so that a read past the table's end cannot land in room
// left over from an earlier table or from the reading.
bool read_whole(const std::string& path, std::string& out) {
  std::string data;
  if (!file_read_regular(path, data)) return false;
  out = std::string(data.data(), data.size());
  return true;
}

bool valid_pair_at(std::string_view s, std::size_t i) { return big5_char_len(s, i) == 2; }

// Appends the codes of one big5.dat group that are not yet in the slot, stopping at 256
// codes. The first group thus comes whole; a code listed twice (a hand-made table) is
// taken once, so that its postings are not counted twice. Invalid pairs are skipped so
// that the slot holds nothing but Big5 characters.
void add_group(std::string_view dat, std::size_t offset, HomophoneSlot& slot) {
  if (offset >= dat.size()) return;
  const std::size_t end = std::min(dat.size(), offset + hf::kGroupReadBytes);
  for (std::size_t i = offset; i + 1 < end; i += 2) {
    if (dat[i] == '\0') break;
    if (slot.size() >= hf::kMaxSlotCodes * 2) break;
    if (!valid_pair_at(dat, i)) continue;
    std::string_view code = dat.substr(i, 2);
    if (homophone_slot_has(slot, code)) continue;
    slot.append(code);
  }
}

}  // namespace

bool homophone_slot_has(std::string_view slot, std::string_view character) {
  return big5_find_char(slot, character) != std::string_view::npos;
}

void HomophoneTables::set_paths(const std::string& program_dir) {
  ref_path_ = path_find_case_blind(program_dir, "big5.ref");
  dat_path_ = path_find_case_blind(program_dir, "big5.dat");
  loaded_ = false;
  ref_.clear();
  dat_.clear();
  error_.clear();
}

// Reads both tables whole on the first lookup of the run; they are small (about 40 KB and
// 30 KB) and every lookup needs both. A table that cannot be read leaves its message
// (shown as plain text, not the error template, by the entry) in error_.
bool HomophoneTables::load_tables() {
  if (loaded_) return true;
  if (!read_whole(ref_path_, ref_)) {
    if (error_.empty()) error_ = kRefOpenFailed;
    return false;
  }
  if (!read_whole(dat_path_, dat_)) {
    if (error_.empty()) error_ = kDatOpenFailed;
    return false;
  }
  loaded_ = true;
  return true;
}

bool HomophoneTables::lookup(std::string_view character, HomophoneSlot& slot) {
  slot.assign(character.substr(0, 2));
  if (!load_tables()) return false;
  if (!valid_pair_at(character, 0)) return false;

  const auto* ref = reinterpret_cast<const unsigned char*>(ref_.data());
  const std::size_t at = hf::big5_ref_index(static_cast<unsigned char>(character[0]),
                                            static_cast<unsigned char>(character[1])) * 2;
  if (at + 2 > ref_.size()) return false;  // short index: read as "none"
  const int value = static_cast<int16_t>(le::get16(ref + at));
  if (value < 1) return false;

  const std::size_t entry = hf::kRefEntryBase + std::size_t(value);
  if (entry >= ref_.size()) return true;  // entry beyond the file: the character alone
  const int groups = ref[entry];
  if (groups > hf::kMaxGroups || entry + 1 + std::size_t(groups) * 2 > ref_.size()) return true;

  HomophoneSlot alternatives;
  for (int g = 0; g < groups; ++g) {
    const std::size_t offset = le::get16(ref + entry + 1 + std::size_t(g) * 2);
    add_group(dat_, offset, alternatives);
  }
  // An entry that yields no codes would leave an empty slot, which ends the word; the
  // character then stands for itself.
  if (!alternatives.empty()) slot = std::move(alternatives);
  return true;
}

void HomophoneTables::table_build(const std::vector<std::string>& chinese_words,
                                  bool homophone_on) {
  words_.clear();
  if (chinese_words.empty()) return;
  words_.resize(chinese_words.size());
  bool lookups_on = homophone_on;
  for (std::size_t w = 0; w < chinese_words.size(); ++w) {
    const std::string& word = chinese_words[w];
    std::size_t pos = 0;
    for (std::size_t c = 0; c < hf::kMaxWordChars && valid_pair_at(word, pos); ++c, pos += 2) {
      std::string_view character = std::string_view(word).substr(pos, 2);
      HomophoneSlot& slot = words_[w][c];
      if (lookups_on) {
        if (!lookup(character, slot)) lookups_on = false;
      } else {
        slot.assign(character);
      }
    }
  }
}

std::string_view HomophoneTables::slot(std::size_t word, std::size_t position) const {
  if (word >= words_.size() || position >= hf::kSlotsPerWord) return {};
  return words_[word][position];
}

std::size_t HomophoneTables::word_chars(std::size_t word) const {
  std::size_t n = 0;
  while (n < hf::kMaxWordChars && !slot(word, n).empty()) ++n;
  return n;
}

bool HomophoneTables::slot_contains(std::size_t word, std::size_t position,
                                    std::string_view character) const {
  return homophone_slot_has(slot(word, position), character);
}

bool HomophoneTables::word_matches(std::string_view text, int word_number) const {
  if (word_number < 0 || std::size_t(word_number) >= words_.size()) return false;
  const std::size_t word = std::size_t(word_number);
  const std::size_t chars = word_chars(word);
  if (chars == 0 || text.size() != chars * 2) return false;
  for (std::size_t c = 0; c < chars; ++c) {
    std::string_view character = text.substr(c * 2, 2);
    if (static_cast<unsigned char>(character[0]) < 0x80) return false;  // not a Big5 lead
    if (!slot_contains(word, c, character)) return false;
  }
  return true;
}

HomophoneTables& homophone_tables() {
  static HomophoneTables tables;
  return tables;
}

void homophone_reset() { homophone_tables() = HomophoneTables(); }
void homophone_set_paths(const std::string& program_dir) {
  homophone_tables().set_paths(program_dir);
}
bool homophone_lookup(std::string_view character, HomophoneSlot& slot) {
  return homophone_tables().lookup(character, slot);
}
void homophone_table_build(const std::vector<std::string>& chinese_words, bool homophone_on) {
  homophone_tables().table_build(chinese_words, homophone_on);
}
bool homophone_word_matches(std::string_view text, int word_number) {
  return homophone_tables().word_matches(text, word_number);
}
void homophone_table_free() { homophone_tables().table_free(); }

}  // namespace qm
