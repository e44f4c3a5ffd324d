// Character sets of the framework over glibc's iconv: set ids, their names, and single
// characters between a set's 16-bit units (a double-byte character as lead << 8 | trail)
// and Unicode. Used by the UT map calls (kvx_charmaps.cpp) and by chunk scripts.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kvx {

// The set an id stands for: generic 8-bit ids (0, 0x00010100, 0x00020100, 0x00030100)
// give CP1252, UTF-8 gives 16-bit Unicode; other ids stand for themselves.
uint32_t resolve_charset(uint32_t id);
// True when the (resolved) set can be mapped.
bool charset_supported(uint32_t set);
// The set's name as kvxdump and chunk scripts write it ("big5", "cp1252", ...); "" when
// the set has none.
std::string charset_name(uint32_t set);
// The set id of a name (any case; HTML names and iconv names), 0 when unknown.
uint32_t charset_from_name(const std::string& name);

bool is_double_byte(uint32_t set);
bool is_lead_byte(uint32_t set, uint8_t byte);

bool unit_to_unicode(uint32_t set, uint16_t unit, uint32_t& code_point);
bool unicode_to_unit(uint32_t set, uint32_t code_point, uint16_t& unit);

// UTF-8 text to units of a set (Unicode: UTF-16); false when a character has no unit.
bool utf8_to_units(uint32_t set, const std::string& utf8, std::vector<uint16_t>& units);
// Units of a set to UTF-8; false when a unit has no character.
bool units_to_utf8(uint32_t set, const std::vector<uint16_t>& units, std::string& utf8);

}  // namespace kvx
