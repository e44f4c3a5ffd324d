// The lowest layer of the common library: Big5-aware text walks, case-blind comparison
// (ASCII letters only), hexadecimal digits, the character hash slot of a Big5 pair, text
// lists, progress output and the mapping of a network path of this computer to its local
// path. Works with common/posting.h (ordering of postings) and platform/shares.h (Samba
// share list for path_to_share).
//
// Texts are 8-bit: ASCII mixed with Big5. A Big5 pair is a lead byte 0xA1..0xFE followed
// by a trail byte 0x40..0xFE; every Big5-aware walk steps over a pair as one character, so
// a trail byte equal to an ASCII character ("\", "<", a letter) is never taken for one.
//
// Walks that hand back a position take a zero-ended text (const char*, as std::string's
// c_str() gives) and return a pointer into it, nullptr standing for "none".
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <forward_list>
#include <string>
#include <string_view>

#include "common/posting.h"

namespace qm {

// ---- Build profile ----------------------------------------------------------------
// The desktop application links the same library; its build differs in a few
// operations (url_is_http knows only "http:/", string_next_token copies byte by byte,
// prog_percent writes nothing, file_exists tests by opening, and the configuration
// loader's desktop rules). Off (the search engine's behaviour) at start.
void common_set_desktop_profile(bool desktop);
bool common_desktop_profile();

// ---- Comparison and search ----------------------------------------------------------
int string_icmp(std::string_view a, std::string_view b);
int string_nicmp(std::string_view a, std::string_view b, size_t n);
// First position where the pattern occurs, case-blind; npos when it does not occur or
// the pattern is longer than the text. Matches start only at character starts and the
// bytes of a Big5 pair compare exactly.
size_t string_find(std::string_view text, std::string_view pattern);
// 6 for a text beginning "http:/", 7 for "https:/" (case-blind), the prefix rewritten in
// lower case in place; 0 otherwise. Desktop profile: only "http:/", giving 1.
int url_is_http(std::string& text);
// Position of the first Big5 pair equal to the first two bytes of ch; npos when absent.
size_t big5_find_char(std::string_view text, std::string_view ch);

// ---- Editing ------------------------------------------------------------------------
void string_trim(std::string& text, std::string_view set);
// First position whose byte is not in the set (text.size() when there is none).
size_t string_skip_set(std::string_view text, std::string_view set);
void string_remove_set(std::string& text, std::string_view set);
void string_remove_chars(std::string& text, std::string_view set);
void string_upper_big5(std::string& text);
void string_lower_big5(std::string& text);
// Replaces every occurrence, going on after each replacement. An empty find text
// replaces nothing.
void string_replace_all(std::string& text, std::string_view find, std::string_view replace,
                        bool case_blind);
// A text longer than n bytes is cut at the last word end within n bytes; never inside a
// double-byte character.
void string_cut_words(std::string& text, size_t n);
void bytes_move(void* destination, const void* source, size_t n);

// ---- Splitting ----------------------------------------------------------------------
// Skips leading delimiters, copies at most max bytes of the following token into out
// (Big5 pairs as pairs, except in the desktop profile) and gives the position after the
// copied part; nullptr when text is null or empty or the delimiter set is empty.
const char* string_next_token(const char* text, std::string_view delimiters, std::string& out,
                              size_t max);
// Next word: a run of ASCII letters/digits, else a run of double-byte characters, else one
// other byte. At most max bytes are copied but the whole run is passed. nullptr at the end.
const char* string_next_word(const char* text, std::string& out, size_t max);
// Copies up to n ASCII letters and digits from the start; gives the position after them.
const char* string_copy_word(const char* text, std::string& out, size_t n);
bool is_alnum_ascii(unsigned char c);
// A Big5 lead byte (0xA1..0xFE), a trail byte (0x40..0xFE), and the two as one pair.
inline bool big5_is_lead(unsigned char c) { return c >= 0xA1 && c <= 0xFE; }
inline bool big5_is_trail(unsigned char c) { return c >= 0x40 && c <= 0xFE; }
bool big5_is_pair(unsigned char lead, unsigned char trail);
// Length in bytes of the character at p: 2 for a Big5 pair, 1 otherwise, 0 at the end.
size_t big5_char_len(std::string_view text, size_t pos);
// The part of text after its last single-byte c (a byte of a Big5 pair is not one); the
// whole text without one.
std::string_view big5_after_last(std::string_view text, char c);
// The length of the longest start of text within max bytes that splits no double-byte
// character (a lead 0xA1-0xFE with a trail 0x40-0xFE).
size_t big5_prefix_length(std::string_view text, size_t max);

// ---- Numbers and hexadecimal digits -------------------------------------------------
bool is_hex_digit(int c);
int hex_digit_value(int c);          // 0..15; callers test with is_hex_digit first
std::string hex_byte_text(unsigned char byte);  // two upper-case digits
// Digits of value in base 2..16 ("0123456789ABCDEF"), "-" first when negative; a base
// outside 2..16 gives "0".
std::string int_to_text(long long value, int base);
// The decimal number at the start of text after optional blanks (space, tab) and a sign;
// 0 when there is none. Digits stop counting once the value is past INT_MAX, so a larger
// number comes back above INT_MAX (below -INT_MAX when negative) and never overflows.
long long string_leading_number(std::string_view text);
// (trail - 0x40) * 94 + (lead - 0xA1): 0..17953 for a Big5 pair.
int big5_index(unsigned char lead, unsigned char trail);

// ---- Text lists ---------------------------------------------------------------------
using StringList = std::forward_list<std::string>;
void stringlist_prepend(StringList& list, std::string_view text);
void stringlist_push_after_head(StringList& list, std::string_view text);
// Both take the first text into out and drop it from the list; false when it is empty.
bool stringlist_pop_head(StringList& list, std::string& out);
bool stringlist_pop_first(StringList& list, std::string& out);
void stringlist_free(StringList& list);
int stringlist_contains(const StringList& list, std::string_view text);        // case-blind
int stringlist_contains_exact(const StringList& list, std::string_view text);  // exact

// ---- Progress output and message sink -----------------------------------------------
// The program's output (standard output unless set; nullptr restores it).
void prog_set_output(std::FILE* out);
std::FILE* prog_output();
// Unless quiet: formatted output on the program's output, flushed.
void prog_print(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Output is suppressed when enabled is 0 and allowed otherwise.
void prog_quiet(int enabled);
bool prog_is_quiet();
// Progress marks for done of total; total 0 resets. Gives the percentage.
int prog_percent(long long done, long long total);
void prog_hook();
// 1: waits in 10 ms sleeps while the busy flag is set, then sets it. 0: clears it.
void prog_wait_lock(int flag);
// The system's message text for the last error (errno).
std::string last_error_text();

// ---- Network shares -----------------------------------------------------------------
// 1 when path is a network path (\\computer\share\rest, or with "/") of a share on this
// computer; out = the share's local path, "/" and the rest (backslashes of the rest made
// "/"). 0 otherwise, out untouched.
int path_to_share(std::string_view path, std::string& out);

}  // namespace qm
