// The maker's web pages that the Help menu, the update command and the web search form
// open: one address table, so a change of host touches one place.
#pragma once

namespace qm::maker {

inline constexpr const char* kService = "https://quillmere.example.org/service/";
inline constexpr const char* kProduct = "https://quillmere.example.org/products/";
inline constexpr const char* kOnline = "https://quillmere.example.org/support/";
inline constexpr const char* kHome = "https://quillmere.example.org/";
inline constexpr const char* kDownload = "https://quillmere.example.org/download/";
// Host of the web search service (the web search form builds its address on it).
inline constexpr const char* kWebSearchHost = "search.quillmere.example.org";

}  // namespace qm::maker
