// Safe attachment file names: the name a message gives a part becomes a name that is one
// plain file name in the attachment folder, so the page, AttachInfo.db and the saved
// file agree. Used by the message parser (message.cpp).
#pragma once
#include <string>
#include <string_view>

namespace qm::mail {

// Room left for a name in "<message number>~<name>" within 255 bytes, for any message
// number a 32-bit counter reaches.
inline constexpr size_t kSafeNameMax = 255 - 11;

// The last path component ("/" and "\" outside Big5 pairs separate), control bytes made
// "_", cut to max bytes on a Big5 boundary with its extension kept. "", "." and ".."
// give fallback.
std::string safe_attachment_name(std::string_view name, std::string_view fallback,
                                 size_t max = kSafeNameMax);

}  // namespace qm::mail
