// Cell values of spreadsheet and database sections: the bytes of a data-value item in one
// of sixteen storage types (integers and floats of either byte order, 80-bit reals, packed
// BCD, compact decimal words) turned into a double and scaled by the item's scale code,
// and the small 8-bit and 16-bit digit-string utilities of the number formatters. Pure
// functions; called by the cell formatters and the sheet writer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace pc {

// The factor of a data-value item's scale code (320-329); 1 for any other code.
double ScaleCodeFactor(uint32_t scaleCode);

// Converts the value bytes (size bytes available) of storage type `type`, multiplied by
// the scale code's factor, into *out. Returns 1 when a value was produced, 0 for no value
// (types 9-12 and above 15, type 4 with bytes 6 and 7 both 0xFF, or too few bytes), with
// *out = 0.
int FUDataValFromUnion(const unsigned char* bytes, size_t size, uint32_t scaleCode, uint32_t type, double* out);

// Packed BCD real: sign and biased exponent in byte 0, 14 digits in bytes 1-7.
double FUConvertBCDToDouble(const unsigned char bytes[8]);
// Compact decimal word: exponent in bits 0-3 (negative with bit 4), value sign in bit 5,
// mantissa in bits 6-31.
double FUConvertCompactToDouble(uint32_t word);
// 80-bit extended real, little-endian; values beyond the double's exponent range give 0.
double FUSFloat10to8(const unsigned char bytes[10]);

// The decimal digits of the number's low 16 bits; returns the digit count.
int FUNumToString(uint32_t number, std::string* out);
// Inserts an 8-bit character at position (appended when the position is past the end).
void FUInsertCh(std::string* s, char c, size_t position);
// Copies n digits of source into destination, rounded at digit n ("5" and above rounds
// up; missing digits read as "0"). Returns 1 when the carry ran out of the first digit:
// the destination then holds n zeros and the caller writes the leading "1".
int FURoundCopy(std::string* destination, const std::string& source, size_t n);
int FURoundCopyW(std::u16string* destination, const std::u16string& source, size_t n);
// Copies count bytes in reverse order.
void FUReverseByteCopy(unsigned char* destination, const unsigned char* source, size_t count);
// Appends the 8-bit text widened byte by byte; returns the count appended.
size_t FUstrcatBtoW(std::u16string* s, const std::string& bytes);

}  // namespace pc
