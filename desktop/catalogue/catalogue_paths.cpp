// Path helpers of the catalogue (catalogue_paths.h).
#include "desktop/catalogue/catalogue_paths.h"

#include <iconv.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "common/strings.h"
#include "platform/paths.h"

namespace qm {
namespace fs = std::filesystem;

std::string catalogue_normal_path(std::string_view dir, const std::string& base) {
  if (dir.empty()) return {};
  fs::path path(path_backslash_to_slash(dir));
  if (path.is_relative()) path = fs::path(base) / path;
  std::error_code ec;
  fs::path canonical = fs::weakly_canonical(path, ec);
  std::string s = (ec ? path.lexically_normal() : canonical).string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

bool catalogue_is_guarded_dir(const std::string& normal) {
  if (normal.empty() || normal == "/") return true;
  std::string home;
  if (const char* h = std::getenv("HOME")) home = h;
  if (home.empty())
    if (const passwd* pw = getpwuid(getuid())) home = pw->pw_dir ? pw->pw_dir : "";
  return !home.empty() && catalogue_normal_path(home, "/") == normal;
}

std::string catalogue_file_name(std::string_view big5_name) {
  std::string out;
  iconv_t cd = iconv_open("UTF-8", "CP950");
  for (size_t i = 0; i < big5_name.size();) {
    size_t len = big5_char_len(big5_name, i);
    unsigned char c = static_cast<unsigned char>(big5_name[i]);
    if (len == 2) {
      char in[2] = {big5_name[i], big5_name[i + 1]};
      char utf8[8];
      char* src = in;
      char* dst = utf8;
      size_t in_left = 2, out_left = sizeof utf8;
      if (cd != reinterpret_cast<iconv_t>(-1)) iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (cd != reinterpret_cast<iconv_t>(-1) &&
          iconv(cd, &src, &in_left, &dst, &out_left) != static_cast<size_t>(-1) && in_left == 0)
        out.append(utf8, static_cast<size_t>(dst - utf8));
      else
        out += '_';
    } else if (c < 0x20 || c == 0x7F || c == '/' || c >= 0x80) {
      out += '_';
    } else {
      out += static_cast<char>(c);
    }
    i += len;
  }
  if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  out = out.substr(first, out.find_last_not_of(' ') - first + 1);
  if (out.size() > 255) {
    size_t cut = 255;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out.resize(cut);
  }
  if (out == "." || out == "..") return {};
  return out;
}

}  // namespace qm
