// The desktop's searcher request (see search_request.h).
#include "desktop/search/search_request.h"

#include <cstring>

#include "common/strings.h"

namespace qm {

std::string EscapeSearchText(std::string_view text) {
  static constexpr char kEscaped[] = "!@#$%^*()|\\/+-&=?";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 0x80 || c < 0x20 || c == 0x7F || (c != 0 && std::strchr(kEscaped, c))) {
      out += '%';
      out += hex_byte_text(c);
    } else {
      out += ch;
    }
  }
  return out;
}

std::optional<std::string> BuildSearchQuery(const SearchRequestInput& input) {
  std::string q = "s=";
  for (size_t i = 0; i < input.database_ids.size(); ++i) {
    if (i) q += ',';
    q += std::to_string(input.database_ids[i]);
  }
  if (input.homophone) q += "&h=1";
  if (input.fault) q += "&f=1";
  if (input.lexical) q += "&l=1";
  if (input.mail_fields_wanted) {
    q += "&k=";
    bool first = true;
    for (int f = 0; f < 3; ++f) {
      if (!input.mail_fields[f]) continue;
      if (!first) q += ',';
      q += std::to_string(f + 1);
      first = false;
    }
  }
  q += "&a=" + std::to_string(input.rows_per_page);
  q += "&b=" + std::to_string(input.page_start);
  q += "&p=" + EscapeSearchText(input.text);
  if (q.size() >= kSearcherRequestLimit) return std::nullopt;
  return q;
}

}  // namespace qm
