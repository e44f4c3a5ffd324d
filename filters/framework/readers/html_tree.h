// The HTML reader's own parser: UTF-8 HTML into a light tree of elements and texts, built
// the way an HTML 4 parser builds it from real-world pages: names lower-cased, the html,
// head, body and p elements implied where text or elements need them, elements closed by
// the start of others (a p by a div, an li by the next li, a cell by the next cell or row),
// end tags that close what lies above their element unless a table part or division stands
// between, empty elements (br, img, meta ...) and XML-style "/>", script and style read as
// raw text, comments, declarations and processing instructions dropped, character
// references and HTML 4's named entities decoded. Texts and attribute values point into
// the source or into one buffer of the tree, so a page costs a handful of allocations.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kvx::readers::html {

struct Attribute {
  std::string_view name;   // lower case
  std::string_view value;  // references decoded; empty for an attribute without a value
};

struct Node {
  bool element = false;     // an element, else a text
  std::string_view name;    // an element's name, lower case
  std::string_view text;    // a text's characters (UTF-8)
  const Attribute* attrs = nullptr;  // the element's attributes
  uint32_t attributes = 0;
  uint32_t first_attribute = 0;      // while the tree is built
  const Node* children = nullptr;
  const Node* next = nullptr;
  const Node* last = nullptr;  // the last child, while the tree is built
};

class Tree {
 public:
  // Parses UTF-8 text (without NUL bytes). The source must outlive the tree.
  explicit Tree(std::string_view utf8);
  explicit Tree(const char* utf8) : Tree(std::string_view(utf8)) {}
  Tree(std::string&&) = delete;  // a temporary would not outlive the tree
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  // The top-level nodes in order (normally one html element).
  const Node* root() const { return top_; }

 private:
  friend class Builder;
  std::vector<std::unique_ptr<Node[]>> blocks_;  // nodes, in blocks that never move
  size_t used_ = 0;                              // nodes used in the last block
  std::vector<Attribute> attributes_;
  std::string buffer_;              // decoded texts and lower-cased names, within its reserve
  std::deque<std::string> spill_;   // what did not fit the reserve
  const Node* top_ = nullptr;
};

// An attribute's value; nullptr when the element has no such attribute.
const std::string_view* attribute(const Node* n, std::string_view name);
// The texts under a node, in order.
std::string text_content(const Node* n);

}  // namespace kvx::readers::html
