// The web search form's addresses (see web_search.h).
#include "desktop/web_search.h"

#include <cstring>

namespace qm {
namespace {

std::string_view bare_host(std::string_view host) {
  for (std::string_view scheme : {"http://", "https://"})
    if (host.substr(0, scheme.size()) == scheme) host.remove_prefix(scheme.size());
  while (!host.empty() && host.back() == '/') host.remove_suffix(1);
  return host;
}

}  // namespace

std::string web_search_escape(std::string_view words) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  static constexpr char kEscaped[] = "!@#$%^*()|\\/+-&=?";
  std::string out;
  out.reserve(words.size() * 3);
  for (char ch : words) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c >= 0x7F || std::strchr(kEscaped, ch) != nullptr) {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    } else {
      out.push_back(ch);
    }
  }
  return out;
}

std::string web_search_address(std::string_view host, std::string_view words, char scope) {
  std::string out = "http://";
  out += bare_host(host);
  out += "/cgi-bin/vesprin/tsearch?p=";
  out += web_search_escape(words);
  out += "&func=";
  out.push_back(scope);
  out += "&a=15&w=2000";
  return out;
}

std::string web_search_home(std::string_view host) {
  std::string out = "http://";
  out += bare_host(host);
  out += "/vesprin/";
  return out;
}

}  // namespace qm
