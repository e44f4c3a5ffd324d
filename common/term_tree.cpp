// Memory blocks and the term tree; see term_tree.h.
#include "common/term_tree.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "common/strings.h"
#include "platform/le.h"

namespace qm {
namespace {

// Reports an exhausted heap on standard error and gives std::bad_alloc to the caller,
// for the program's entry to end the run with.
void out_of_memory(const char* message) {
  std::fputs(message, stderr);
  std::fflush(stderr);
  throw std::bad_alloc();
}

// Hands out size zeroed bytes at the block's end; the caller made sure they fit.
void* take(HeapBlock& block, uint32_t size) {
  unsigned char* p = block.memory + block.used;
  if (size) std::memset(p, 0, size);
  block.used += size;
  block.free -= size;
  return p;
}

HeapBlock& last_block(HeapBlock& chain) {
  HeapBlock* b = &chain;
  while (b->next) b = b->next;
  return *b;
}

// Appends a block for a piece of size bytes to the chain after last: the chain's
// increment, or the piece's size when that is larger. nullptr when out of memory.
HeapBlock* append_block(HeapBlock& chain, HeapBlock& last, uint32_t size) {
  HeapBlock* block = heap_new(size > chain.increment ? size : chain.increment);
  if (!block) {
    out_of_memory("\nheap_link_space(): Out of memory !\n");
    return nullptr;
  }
  if (block->free < size) {  // heap_init has reported it
    delete block;
    return nullptr;
  }
  last.next = block;
  return block;
}

// heap_link_space with the piece aligned for a structure (the node chain).
void* link_space_aligned(HeapBlock& chain, uint32_t size, uint32_t align) {
  HeapBlock* last = &last_block(chain);
  uintptr_t at = reinterpret_cast<uintptr_t>(last->memory) + last->used;
  uint32_t pad = uint32_t((align - at % align) % align);
  if (last->memory && uint64_t(pad) + size <= last->free) {
    take(*last, pad);
    return take(*last, size);
  }
  // A fresh block starts at malloc's alignment.
  last = append_block(chain, *last, size);
  return last ? take(*last, size) : nullptr;
}

bool is_red(const TermNode* n) { return n && n->colour == kTermRed; }

// The link of parent that points to child.
TermNode*& link_to(TermNode* parent, TermNode* child) {
  return parent->left == child ? parent->left : parent->right;
}

// Turns child (of parent) into the top of their pair; above is parent's parent.
void rotate_up(TermNode* child, TermNode* parent, TermNode* above) {
  TermNode*& up = link_to(above, parent);
  if (parent->left == child) {
    parent->left = child->right;
    child->right = parent;
  } else {
    parent->right = child->left;
    child->left = parent;
  }
  up = child;
}

TermNode* new_node(TermTree& tree) {
  void* space = link_space_aligned(*tree.nodes, sizeof(TermNode), alignof(TermNode));
  return space ? new (space) TermNode() : nullptr;
}

char* copy_into(HeapBlock& chain, std::string_view text) {
  if (text.size() >= UINT32_MAX) {
    out_of_memory("\nheap_link_space(): Out of memory !\n");
    return nullptr;
  }
  char* p = static_cast<char*>(heap_link_space(chain, uint32_t(text.size() + 1)));
  if (p && !text.empty()) std::memcpy(p, text.data(), text.size());
  return p;
}

void release_values(TermNode* n) {
  if (!n) return;
  release_values(n->left);
  heap_release(n->values);
  n->count = 0;
  release_values(n->right);
}

void dump_node(const TermTree& tree, TermNode* n, std::FILE* out) {
  if (!n) return;
  dump_node(tree, n->left, out);
  if (n->key) {
    std::fprintf(out, "\n%s", n->key);
    const uint32_t width = tree.item_size < 4 ? tree.item_size : 4;
    for (uint32_t i = 0; i < n->count; ++i) {
      unsigned char bytes[4] = {0, 0, 0, 0};
      std::memcpy(bytes, n->values.memory + size_t(i) * tree.item_size, width);
      std::fprintf(out, " %i", int(le::get32s(bytes)));
    }
  }
  heap_release(n->values);
  n->count = 0;
  dump_node(tree, n->right, out);
}

std::string_view until_nul(std::string_view text) { return text.substr(0, text.find('\0')); }

}  // namespace

void heap_init(HeapBlock& block, uint32_t size) {
  block.memory = nullptr;
  if (size) {
    block.memory = static_cast<unsigned char*>(std::calloc(size, 1));
    if (!block.memory) {
      block.increment = block.capacity = block.used = block.free = 0;
      out_of_memory("heap_init(): Out of memory !\n");
      return;
    }
  }
  block.increment = block.capacity = block.free = size;
  block.used = 0;
  block.next = nullptr;
}

void* heap_get_space(HeapBlock& block, uint32_t size) {
  if (size > block.free) {
    // Grow by whole increments, as many as the request needs.
    uint64_t shortfall = uint64_t(size) - block.free;
    uint64_t grow = block.increment
                        ? (shortfall + block.increment - 1) / block.increment * block.increment
                        : shortfall;
    uint64_t capacity = uint64_t(block.capacity) + grow;
    void* moved = capacity <= UINT32_MAX ? std::realloc(block.memory, size_t(capacity)) : nullptr;
    if (!moved) {
      out_of_memory("\nheap_get_space(): Out of memory!\n");
      return nullptr;
    }
    block.memory = static_cast<unsigned char*>(moved);
    block.capacity = uint32_t(capacity);
    block.free += uint32_t(grow);
  }
  return take(block, size);
}

void* heap_append(HeapBlock& block, const void* bytes, uint32_t size) {
  void* p = heap_get_space(block, size);
  if (p && size) std::memcpy(p, bytes, size);
  return p;
}

void heap_release(HeapBlock& block) {
  std::free(block.memory);
  block.memory = nullptr;
  block.increment = block.capacity = block.used = block.free = 0;
}

HeapBlock* heap_new(uint32_t size) {
  HeapBlock* block = new (std::nothrow) HeapBlock();
  if (!block) return nullptr;
  try {
    heap_init(*block, size);
  } catch (...) {  // a fatal sink that throws
    delete block;
    throw;
  }
  return block;
}

void* heap_link_space(HeapBlock& chain, uint32_t size) {
  HeapBlock* last = &last_block(chain);
  if (size > last->free) {
    // A new block of the chain's increment; a larger piece gets a block of its own.
    last = append_block(chain, *last, size);
    if (!last) return nullptr;
  }
  return take(*last, size);
}

void heap_chain_release(HeapBlock& chain) {
  HeapBlock* b = chain.next;
  while (b) {
    HeapBlock* next = b->next;
    heap_release(*b);
    delete b;
    b = next;
  }
  heap_release(chain);
  chain.next = nullptr;
}

void term_tree_init(TermTree& tree, HeapBlock& nodes, HeapBlock& keys, HeapBlock& texts) {
  tree.nodes = &nodes;
  tree.keys = &keys;
  tree.texts = &texts;
  tree.item_size = 1;
  tree.root = new_node(tree);  // no key, black, no children, no values
}

char* term_tree_copy_key(TermTree& tree, std::string_view text) {
  return copy_into(*tree.keys, text);
}

char* term_tree_copy_text(TermTree& tree, std::string_view text) {
  return copy_into(*tree.texts, text);
}

uint32_t term_node_add_value(TermTree& tree, TermNode& node, const void* value) {
  if (!value) return 1;
  if (!node.values.memory && node.values.capacity == 0) {
    heap_init(node.values, kTermValueStep * tree.item_size);
    if (tree.item_size && !node.values.memory) return 0;
  }
  if (!heap_append(node.values, value, tree.item_size) && tree.item_size) return 0;
  return ++node.count;
}

uint32_t term_tree_insert(TermTree& tree, std::string_view key, const void* value) {
  key = until_nul(key);
  if (!tree.root) {
    tree.root = new_node(tree);
    if (!tree.root) return 0;
  }
  if (!tree.root->key) {
    tree.root->key = term_tree_copy_key(tree, key);
    if (!tree.root->key) return 0;
    tree.root->colour = kTermBlack;
    return term_node_add_value(tree, *tree.root, value);
  }

  // Top-down walk: a node with two red children is split on the way down, and a red
  // node under a red parent is rotated away at once, so the place found for a new node
  // never has a red parent with a red sibling. head stands above the root; g and gg are
  // null where the walk has just rotated and they are not needed again before they are
  // known.
  TermNode head;
  head.colour = kTermBlack;
  head.right = tree.root;
  TermNode *x = tree.root, *p = &head, *g = nullptr, *gg = nullptr;

  auto fix_red_parent = [&]() {
    // x and p are red, g is black; the red pair is rotated up under gg.
    g->colour = kTermRed;
    bool x_left = p->left == x;
    bool p_left = g->left == p;
    if (x_left == p_left) {
      rotate_up(p, g, gg);
      p->colour = kTermBlack;
      g = gg;  // p now hangs under gg
      gg = nullptr;
    } else {
      rotate_up(x, p, g);
      rotate_up(x, g, gg);
      x->colour = kTermBlack;
      p = gg;  // x now hangs under gg
      g = gg = nullptr;
    }
  };

  uint32_t result = 0;
  for (;;) {
    if (is_red(x->left) && is_red(x->right)) {
      x->colour = kTermRed;
      x->left->colour = kTermBlack;
      x->right->colour = kTermBlack;
      if (x == head.right)
        x->colour = kTermBlack;
      else if (is_red(p))
        fix_red_parent();
    }
    int c = string_icmp(key, x->key);
    if (c == 0) {
      result = tree.item_size == 1 ? 0 : term_node_add_value(tree, *x, value);
      break;
    }
    TermNode* child = c < 0 ? x->left : x->right;
    gg = g;
    g = p;
    p = x;
    x = child;
    if (!x) {
      TermNode* node = new_node(tree);
      if (!node) break;
      node->key = term_tree_copy_key(tree, key);
      if (!node->key) break;
      node->colour = kTermRed;
      (c < 0 ? p->left : p->right) = node;
      x = node;
      if (is_red(p)) fix_red_parent();
      result = 1;
      if (term_node_add_value(tree, *node, value) == 0) result = 0;
      break;
    }
  }
  tree.root = head.right;
  tree.root->colour = kTermBlack;
  return result;
}

TermNode* term_tree_find(const TermTree& tree, std::string_view key) {
  key = until_nul(key);
  TermNode* n = tree.root;
  if (n && !n->key) return nullptr;
  while (n) {
    int c = string_icmp(n->key, key);
    if (c == 0) return n;
    n = c < 0 ? n->right : n->left;
  }
  return nullptr;
}

void term_tree_dump(TermTree& tree, std::FILE* out) { dump_node(tree, tree.root, out); }

void term_tree_reset(TermTree& tree) {
  release_values(tree.root);
  tree.root = nullptr;
}

int hit_cmp_paragraph_score(const void* a, const void* b) {
  const auto* x = static_cast<const unsigned char*>(a);
  const auto* y = static_cast<const unsigned char*>(b);
  bool xp = le::get16(x + 8) != 0;
  bool yp = le::get16(y + 8) != 0;
  if (xp != yp) return xp ? -1 : 1;
  uint16_t xs = le::get16(x + 12);
  uint16_t ys = le::get16(y + 12);
  return xs > ys ? -1 : xs < ys ? 1 : 0;
}

uint16_t u16_store(uint16_t* p, uint16_t value) {
  *p = value;
  return value;
}

}  // namespace qm
