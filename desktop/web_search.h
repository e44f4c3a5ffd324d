// The web search form's addresses without Qt: the search address built from the typed
// words (Big5 bytes) and a scope character, and the service's home page, both on the
// host the options name. Used by desktop/forms/web_srch_form.cpp; tests in
// tests/web_search_test.cpp.
#pragma once
#include <string>
#include <string_view>

namespace qm {

// The words escaped for the address: each byte of ! @ # $ % ^ * ( ) | \ / + -, of
// & = ? (which would cut the query), a control byte, 0x7F or a byte of 0x80 and above
// becomes "%" and two upper-case hexadecimal digits; every other byte, blanks included,
// is copied.
std::string web_search_escape(std::string_view words);

// "http://" + host + "/cgi-bin/vesprin/tsearch?p=" + escaped words + "&func=" + scope +
// "&a=15&w=2000". A host given with "http://" or "https://" in front, or a "/" behind,
// is taken without them.
std::string web_search_address(std::string_view host, std::string_view words, char scope);

// "http://" + host + "/vesprin/".
std::string web_search_home(std::string_view host);

}  // namespace qm
