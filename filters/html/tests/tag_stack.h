// Shared check of the pagecast tests that read exported HTML (the writer's character tests
// and the converted fixtures): every end tag must close the innermost open tag.
#pragma once
#include <string>
#include <vector>

namespace pc::test {

// "" when every end tag closes the innermost open tag and none stays open; else the fault.
inline std::string stack_fault(const std::string& html) {
  std::vector<std::string> stack;
  for (size_t i = 0; (i = html.find('<', i)) != std::string::npos; ++i) {
    size_t end = html.find('>', i);
    if (end == std::string::npos) return "unterminated tag";
    std::string tag = html.substr(i + 1, end - i - 1);
    if (!tag.empty() && tag[0] == '/') {
      if (stack.empty() || stack.back() != tag.substr(1)) return "stray </" + tag.substr(1) + "> at " + std::to_string(i);
      stack.pop_back();
    } else {
      stack.push_back(tag.substr(0, tag.find_first_of(" \r\n")));
    }
  }
  return stack.empty() ? "" : "unclosed <" + stack.back() + ">";
}

}  // namespace pc::test
