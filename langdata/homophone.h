// Homophone tables: for a Big5 character, the characters pronounced alike, read from
// big5.ref and big5.dat in the program directory (layout in homophone_format.h), and the
// per-query homophone slots that the Chinese word search and hit marking walk.
//
// Process-wide state is one HomophoneTables instance behind the flat homophone_ functions;
// tests reset it with homophone_reset().
#pragma once
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "langdata/homophone_format.h"

namespace qm {

// The alternatives of one character position of a query word: consecutive two-byte Big5
// codes, at most 256 of them (the NUL of the 513-byte slot is implied). Empty marks the
// position after the word's last character.
using HomophoneSlot = std::string;
using HomophoneWordSlots = std::array<HomophoneSlot, homophone_format::kSlotsPerWord>;

class HomophoneTables {
 public:
  // Sets the paths of big5.ref and big5.dat in the program directory and forgets any
  // tables read before.
  void set_paths(const std::string& program_dir);
  const std::string& ref_path() const { return ref_path_; }
  const std::string& dat_path() const { return dat_path_; }

  // Fills the slot with the character's homophones and returns true; puts the character
  // alone in the slot and returns false when it has none. A table that cannot be opened
  // gives false too and leaves its message in error() for the program's entry.
  bool lookup(std::string_view character, HomophoneSlot& slot);
  // The message of a table that could not be read ("" while none failed).
  const std::string& error() const { return error_; }

  // Builds the slots of the query's Chinese words, in term-table order (each at most 10
  // characters). With the homophone flag on, characters get their homophones until the
  // first lookup of the query that finds none; from then on every character (in this and
  // the following words) gets itself alone.
  void table_build(const std::vector<std::string>& chinese_words, bool homophone_on);

  // True when the text, character by character, is one of the alternatives of word
  // `word_number`'s characters and has exactly as many characters as the word.
  bool word_matches(std::string_view text, int word_number) const;

  void table_free() { words_.clear(); }

  // The built slots: one entry per Chinese word of the query.
  std::size_t word_count() const { return words_.size(); }
  // Slot `position` of a word; empty past the word's last character or out of range.
  std::string_view slot(std::size_t word, std::size_t position) const;
  // The number of characters of a word (slots up to the first empty one).
  std::size_t word_chars(std::size_t word) const;
  // Whether the code at character (2 bytes) is one of the slot's alternatives.
  bool slot_contains(std::size_t word, std::size_t position, std::string_view character) const;

 private:
  bool load_tables();

  std::string ref_path_;
  std::string dat_path_;
  std::string error_;
  bool loaded_ = false;
  std::string ref_;
  std::string dat_;
  std::vector<HomophoneWordSlots> words_;
};

// Whether a slot holds the two-byte code at character.
bool homophone_slot_has(std::string_view slot, std::string_view character);

// The process-wide instance and its flat interface.
HomophoneTables& homophone_tables();
void homophone_reset();
void homophone_set_paths(const std::string& program_dir);
bool homophone_lookup(std::string_view character, HomophoneSlot& slot);
void homophone_table_build(const std::vector<std::string>& chinese_words, bool homophone_on);
bool homophone_word_matches(std::string_view text, int word_number);
void homophone_table_free();

}  // namespace qm
