// Escaping of reflected request values and safe property formatting; see page_escape.h.
#include "searcher/page/page_escape.h"

#include <cstdio>
#include <optional>

#include "common/strings.h"

namespace qm {
namespace {

constexpr int kMaxFieldWidth = 64;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads a width or precision; nullopt when it is above the limit.
std::optional<int> read_number(std::string_view f, size_t& i) {
  int n = 0;
  while (i < f.size() && is_digit(f[i])) {
    n = n * 10 + (f[i++] - '0');
    if (n > kMaxFieldWidth) return std::nullopt;
  }
  return n;
}

// The printf conversion that starts at f[i] == '%', checked and rebuilt without its
// length letters; i moves past it. nullopt for anything but a plain integer conversion.
std::optional<std::string> integer_conversion(std::string_view f, size_t& i) {
  std::string conv = "%";
  ++i;
  size_t flags = 0;
  while (i < f.size() && std::string_view("-+ #0").find(f[i]) != std::string_view::npos) {
    if (++flags > 5) return std::nullopt;
    conv += f[i++];
  }
  auto width = read_number(f, i);
  if (!width) return std::nullopt;
  if (*width > 0) conv += std::to_string(*width);
  if (i < f.size() && f[i] == '.') {
    ++i;
    auto precision = read_number(f, i);
    if (!precision) return std::nullopt;
    conv += '.' + std::to_string(*precision);
  }
  if (i < f.size() && (f[i] == 'h' || f[i] == 'l')) {
    char length = f[i++];
    if (i < f.size() && f[i] == length) ++i;
  }
  if (i >= f.size() || std::string_view("diuxXo").find(f[i]) == std::string_view::npos)
    return std::nullopt;
  conv += f[i++];
  return conv;
}

}  // namespace

std::string url_escape_value(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    unsigned char b = static_cast<unsigned char>(c);
    if (is_alnum_ascii(b) || std::string_view("-_.~,/").find(c) != std::string_view::npos) {
      out += c;
    } else {
      out += '%';
      out += hex_byte_text(b);
    }
  }
  return out;
}

std::string format_property_value(std::string_view format, int32_t value) {
  char buffer[160];
  if (string_icmp(format, "Date") == 0) {
    std::snprintf(buffer, sizeof buffer, "%d/%02d/%02d", value / 10000, value % 10000 / 100,
                  value % 100);
    return buffer;
  }
  std::string out;
  int conversions = 0;
  for (size_t i = 0; i < format.size();) {
    if (format[i] != '%') {
      out += format[i++];
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      i += 2;
      continue;
    }
    auto conv = integer_conversion(format, i);
    if (!conv || ++conversions > 1) return std::to_string(value);
    char last = conv->back();
    if (last == 'd' || last == 'i')
      std::snprintf(buffer, sizeof buffer, conv->c_str(), value);
    else
      std::snprintf(buffer, sizeof buffer, conv->c_str(), static_cast<uint32_t>(value));
    out += buffer;
  }
  if (conversions != 1) return std::to_string(value);
  return out;
}

}  // namespace qm
