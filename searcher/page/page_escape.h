// Escaping of request values that the result page reflects into its HTML and links, and
// the safe formatting of a property value by a format taken from a template. Works with
// cgi_input.h (the values) and page_template.h (the page). Big5 texts pass unchanged
// through the HTML escaping: no Big5 trail byte is below 0x40, so none is one of the
// escaped characters.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "common/html.h"

namespace qm {

// html_escape_value (common/html.h) escapes values inside HTML text and quoted attributes.

// For a value inside a link's query string: ASCII letters, digits and "-_.~,/" are
// copied, every other byte (blank, "&", "=", "+", "%", "#", Big5 bytes) becomes "%XX" in
// upper-case hexadecimal, which url_decode turns back.
std::string url_escape_value(std::string_view text);

// A property value as a template's PROPERTY_FORMAT asks: "Date" (case-blind) gives
// "%d/%02d/%02d" of value / 10000, value % 10000 / 100 and value % 100. Any other format
// is used only when it holds exactly one integer conversion (flags "-+ #0", width and
// precision up to 64, an optional length letter h, hh, l or ll, then d, i, u, x, X or o)
// besides "%%"; otherwise the value is written as plain decimal digits. The format text
// itself never reaches printf.
std::string format_property_value(std::string_view format, int32_t value);

}  // namespace qm
