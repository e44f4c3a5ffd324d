// Cell values and digit-string utilities (see pc_cellvalue.h). Byte orders are read field
// by field; 80-bit reals are rebuilt bit by bit into a double.
#include "pc_cellvalue.h"

#include <cstring>

#include "platform/le.h"

namespace pc {
namespace {

uint32_t Get32Be(const unsigned char* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
uint64_t Get64Le(const unsigned char* p) {
  return uint64_t(qm::le::get32(p)) | (uint64_t(qm::le::get32(p + 4)) << 32);
}
float FloatOf(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}
double DoubleOf(uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, 8);
  return d;
}
double PowerOfTen(int exponent) {
  double p = 1;
  for (int i = 0; i < exponent; ++i) p *= 10;
  for (int i = 0; i > exponent; --i) p *= 0.1;
  return p;
}

}  // namespace

double ScaleCodeFactor(uint32_t scaleCode) {
  switch (scaleCode) {
    case 320: return 5000;
    case 321: return 1000;
    case 322: return 500;
    case 323: return 0.05;
    case 324: return 0.005;
    case 325: return 0.0005;
    case 326: return 0.00005;
    case 327: return 0.0625;
    case 328: return 0.015625;
    case 329: return 0.01;
    default: return 1;
  }
}

double FUConvertBCDToDouble(const unsigned char bytes[8]) {
  if (bytes[0] == 0) return 0;
  int64_t digits = 0;
  for (int i = 1; i < 8; ++i) digits = digits * 100 + (bytes[i] >> 4) * 10 + (bytes[i] & 0x0F);
  double v = double(digits) * PowerOfTen(int(bytes[0] & 0x7F) - 70);
  return (bytes[0] & 0x80) ? -v : v;
}

double FUConvertCompactToDouble(uint32_t word) {
  int exponent = int(word & 0x0F);
  if (word & 0x10) exponent = -exponent;
  double v = double(word >> 6) * PowerOfTen(exponent);
  return (word & 0x20) ? -v : v;
}

double FUSFloat10to8(const unsigned char bytes[10]) {
  uint64_t mantissa = Get64Le(bytes);
  uint16_t signExp = qm::le::get16(bytes + 8);
  if (mantissa == 0) return 0;
  int shift = 0;
  while (!(mantissa >> 63)) {
    mantissa <<= 1;
    ++shift;
  }
  uint64_t fraction = (mantissa >> 11) & ((uint64_t(1) << 52) - 1);
  int64_t exponent = int64_t(signExp & 0x7FFF) - 16383 + 1023 - shift;
  if ((mantissa >> 10) & 1) {
    ++fraction;
    if (fraction >> 52) {  // the rounding carried into the leading one
      fraction = 0;
      ++exponent;
    }
  }
  // Beyond the double's normal range (including infinities and NaNs) there is no value.
  if (exponent > 2046 || exponent < 1) return 0;
  uint64_t bits = (uint64_t(signExp >> 15) << 63) | (uint64_t(exponent) << 52) | fraction;
  return DoubleOf(bits);
}

int FUDataValFromUnion(const unsigned char* bytes, size_t size, uint32_t scaleCode, uint32_t type, double* out) {
  *out = 0;
  static const size_t kSizes[16] = {4, 4, 4, 4, 8, 8, 10, 10, 8, 0, 0, 0, 0, 4, 4, 4};
  if (type > 15 || kSizes[type] == 0 || bytes == nullptr || size < kSizes[type]) return 0;
  double v = 0;
  switch (type) {
    case 0: v = qm::le::get32s(bytes); break;
    case 1: v = qm::le::get32(bytes); break;
    case 2: v = FloatOf(qm::le::get32(bytes)); break;
    case 3: v = FloatOf(Get32Be(bytes)); break;
    case 4:
      if (bytes[6] == 0xFF && bytes[7] == 0xFF) return 0;
      v = DoubleOf(Get64Le(bytes));
      break;
    case 5: v = DoubleOf((uint64_t(Get32Be(bytes)) << 32) | Get32Be(bytes + 4)); break;
    case 6: v = FUSFloat10to8(bytes); break;
    case 7: {
      unsigned char reversed[10];
      FUReverseByteCopy(reversed, bytes, 10);
      v = FUSFloat10to8(reversed);
      break;
    }
    case 8: v = FUConvertBCDToDouble(bytes); break;
    case 13: v = int32_t(Get32Be(bytes)); break;
    case 14: v = Get32Be(bytes); break;
    case 15: v = FUConvertCompactToDouble(qm::le::get32(bytes)); break;
    default: return 0;
  }
  *out = v * ScaleCodeFactor(scaleCode);
  return 1;
}

int FUNumToString(uint32_t number, std::string* out) {
  *out = std::to_string(number & 0xFFFF);
  return int(out->size());
}

void FUInsertCh(std::string* s, char c, size_t position) {
  if (position > s->size()) position = s->size();
  s->insert(s->begin() + std::ptrdiff_t(position), c);
}

namespace {
template <typename Str>
int RoundCopy(Str* destination, const Str& source, size_t n) {
  using Ch = typename Str::value_type;
  Str digits(n, Ch('0'));
  for (size_t i = 0; i < n && i < source.size(); ++i) digits[i] = source[i];
  bool up = n < source.size() && source[n] >= Ch('5');
  size_t i = n;
  while (up && i > 0) {
    --i;
    if (digits[i] == Ch('9')) {
      digits[i] = Ch('0');
    } else {
      digits[i] = Ch(digits[i] + 1);
      up = false;
    }
  }
  *destination = digits;
  return up ? 1 : 0;
}
}  // namespace

int FURoundCopy(std::string* destination, const std::string& source, size_t n) {
  return RoundCopy(destination, source, n);
}
int FURoundCopyW(std::u16string* destination, const std::u16string& source, size_t n) {
  return RoundCopy(destination, source, n);
}

void FUReverseByteCopy(unsigned char* destination, const unsigned char* source, size_t count) {
  for (size_t i = 0; i < count; ++i) destination[i] = source[count - 1 - i];
}

size_t FUstrcatBtoW(std::u16string* s, const std::string& bytes) {
  for (unsigned char c : bytes) s->push_back(char16_t(c));
  return bytes.size();
}

}  // namespace pc
