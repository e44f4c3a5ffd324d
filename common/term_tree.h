// Memory blocks and the term tree of the common library, for callers that collect terms:
//  - HeapBlock: a growable block (heap_init, heap_get_space, heap_append), and a chain of
//    fixed blocks handing out pieces that never move (heap_link_space);
//  - TermTree: a red-black tree, built by top-down insertion, mapping a text key compared
//    without regard to ASCII letter case (string_icmp of common/strings.h) to a list of
//    fixed-size values. Keys, nodes and extra texts live in three block chains that the
//    caller owns; each node's value list is a growable block of its own.
// Also the ordering of hit records by paragraph and score for sorting hit lists.
//
// Out of memory: the message goes to standard error and std::bad_alloc to the caller.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace qm {

struct HeapBlock {
  uint32_t increment = 0;
  uint32_t capacity = 0;
  uint32_t used = 0;
  uint32_t free = 0;  // capacity - used
  unsigned char* memory = nullptr;
  HeapBlock* next = nullptr;  // next block of a chain
};

// Allocates size zero-filled bytes: increment = capacity = free = size, used 0, no next.
void heap_init(HeapBlock& block, uint32_t size);
// size zero-filled bytes at the block's end. When they do not fit, the block grows by
// as many increments as the request needs (by exactly the shortfall when the increment
// is 0); its memory then moves, so callers keep offsets rather than pointers.
void* heap_get_space(HeapBlock& block, uint32_t size);
// heap_get_space, then copies size bytes there.
void* heap_append(HeapBlock& block, const void* bytes, uint32_t size);
// Frees the memory and clears every field but next.
void heap_release(HeapBlock& block);
// A new block set up by heap_init (released with heap_chain_release as part of a chain,
// or heap_release and delete alone).
HeapBlock* heap_new(uint32_t size);
// size zero-filled bytes from the chain's last block; when they do not fit, a block of
// the chain's increment is appended (a piece larger than that gets a block of its own
// size). Pieces never move and stay valid until the chain is released.
void* heap_link_space(HeapBlock& chain, uint32_t size);
// Frees the memory of every block of the chain and the blocks appended to it; the first
// block (the caller's) is left cleared with no next.
void heap_chain_release(HeapBlock& chain);

struct TermNode {
  char* key = nullptr;  // NUL-terminated copy in the key chain; none for an empty root
  HeapBlock values;     // the values back to back, item_size bytes each
  uint32_t count = 0;   // number of values
  uint8_t colour = 0;   // 1 red, 0 black
  TermNode* left = nullptr;   // keys that compare lower
  TermNode* right = nullptr;  // keys that compare higher
};

inline constexpr uint8_t kTermRed = 1;
inline constexpr uint8_t kTermBlack = 0;
// Value lists start with room for this many values and grow by as many.
inline constexpr uint32_t kTermValueStep = 20;

struct TermTree {
  // Bytes per value. 1 after init: the tree is then a set of keys, a second insert of a
  // key fails. A caller that collects values sets it (for example 4) before inserting.
  uint32_t item_size = 1;
  HeapBlock* keys = nullptr;   // key texts
  HeapBlock* texts = nullptr;  // other texts (term_tree_copy_text)
  HeapBlock* nodes = nullptr;  // nodes
  TermNode* root = nullptr;
};

// Keeps the three chains and allocates the root node (no key, black, no values).
void term_tree_init(TermTree& tree, HeapBlock& nodes, HeapBlock& keys, HeapBlock& texts);
// Inserts a value (item_size bytes; nullptr adds none) under key. A new key gives 1; an
// existing key gives 0 with item_size 1, else its new value count. 0 also on failure.
uint32_t term_tree_insert(TermTree& tree, std::string_view key, const void* value);
// The node whose key equals key (case ignored), or nullptr.
TermNode* term_tree_find(const TermTree& tree, std::string_view key);
// In key order: "\n" and the key, then each value as " %i" (its first four bytes as a
// signed 32-bit number, fewer bytes zero-extended), and releases the value lists.
void term_tree_dump(TermTree& tree, std::FILE* out = stdout);
// Releases the value lists of all nodes and empties the tree (no root); the chains keep
// their pieces until the caller releases them. The next insert starts a new root.
void term_tree_reset(TermTree& tree);
// NUL-terminated copies in the key chain and in the second text chain.
char* term_tree_copy_key(TermTree& tree, std::string_view text);
char* term_tree_copy_text(TermTree& tree, std::string_view text);
// Appends item_size bytes of value to the node's list; the new count. nullptr adds
// nothing and gives 1.
uint32_t term_node_add_value(TermTree& tree, TermNode& node, const void* value);

// Ordering of two hit records in their stored 20-byte form (paragraph number at bytes
// 8-9, score at bytes 12-13, little-endian), for qsort: records with a paragraph number
// before those without (0); then by score, higher first.
int hit_cmp_paragraph_score(const void* a, const void* b);

// Stores value through p and returns it.
uint16_t u16_store(uint16_t* p, uint16_t value);

}  // namespace qm
