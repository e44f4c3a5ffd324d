// HTML output helpers of the common library: the one Content-Type header, character and
// text output on the program's output (prog_output(), flushed after each write), escaping
// of text for a page, decoding of entities, and a scanner over tags, comments and script
// blocks that hit marking uses so it never marks inside markup. Builds on
// common/strings.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// The content type named by the header (the configuration loader sets it; "text/html"
// at start).
void html_set_content_type(const std::string& content_type);
const std::string& html_get_content_type();
// Clears the header flag and restores the default content type; for tests.
void html_reset();
bool html_header_written();

// First call writes "Content-Type: %s\r\n\r\n" through prog_print and flushes; later
// calls write nothing.
void html_content_type();
void html_put_char(int c);
void html_put_text(std::string_view text);
void html_put_bytes(const void* buffer, size_t n);
void html_put_line(std::string_view text);  // text + "<BR>\n"

// Escapes text for a page: Big5 pairs copied, 0xFF or a zero byte ends, CR -> "<BR>\r",
// "&" -> "&amp;", "<" -> "&lt;", ">" -> "&gt;", LF dropped.
void html_encode(std::string_view text, std::string& out);
size_t html_encoded_size(std::string_view text);
// "&", "<", ">" and the double quote become "&amp;", "&lt;", "&gt;" and "&quot;"; every
// other byte is copied (no Big5 trail byte is one of them). For values inside HTML text
// and quoted attribute values.
std::string html_escape_value(std::string_view text);
// Replaces &nbsp; &amp; &lt; &gt; &quot; (case-blind); other "&" are copied.
void html_decode_entities(std::string_view text, std::string& out);
// The numeric character reference "&#N" or "&#xH" at pos (its ";" not included): the bytes
// it takes, 0 when none stands there; value gets the number, held at 0x110000 once it
// passes the last code point.
size_t html_numeric_reference(std::string_view text, size_t pos, uint32_t& value);
bool html_is_tag_char(int c);

// Scanner over a zero-ended text; positions are pointers into it, nullptr for none.
const char* html_skip_comment(const char* p);
const char* html_skip_tag(const char* p);
const char* html_skip_to_end_tag(const char* p, std::string_view name);
const char* html_find_outside_markup(const char* p, std::string_view text);

// Fixed script blocks for generated pages.
void html_script_begin();
void html_script_end();
void html_script_checkanswer();
void html_script_alertanswer();
void html_script_images();

}  // namespace qm
