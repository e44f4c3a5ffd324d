// CGI input of the searcher: reads the request text from the environment (GET) or from
// standard input (any other method), splits it into the one-letter parameters of a
// search request and URL-decodes the values that need it. The programs' entries (the
// searcher's request driver, the marker) call cgi_read_input once per run into a request
// of their own and hand it on to the steps that read the parameters. A malformed input
// is returned as its message; the entry writes the error page. Builds on
// common/strings.h and platform/paths.h.
#pragma once
#include <array>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

// The parameter letters, in slot order.
inline constexpr std::string_view kRequestLetters = "sptobdhfialgeczkm";
// The request text must be shorter than this many bytes.
inline constexpr size_t kRequestTextLimit = 1024;

// Messages of a malformed CGI input.
inline constexpr const char* kMsgNotCgi = "This program must be loaded by web server !!";
// "抓取環境變數錯誤！ " (ends in one blank)
inline constexpr const char* kMsgNoQueryString =
    "\xA7\xEC\xA8\xFA\xC0\xF4\xB9\xD2\xC5\xDC\xBC\xC6\xBF\xF9\xBB\x7E\xA1\x49 ";
inline constexpr const char* kMsgBadPost = "Invalid 'POST' parameters!!";
inline constexpr const char* kMsgTooLong = "Input parameter value is too long !!";

// The parameters of one search request. A parameter is present when its slot holds a
// value; after cgi_parse_params o, t, l, c, m, z and k are always present.
struct SearchRequest {
  std::array<std::optional<std::string>, kRequestLetters.size()> slots;
  // The decoded copy of p trimmed of " ,;." at both ends; absent when p is absent.
  std::optional<std::string> keywords;
  // The configuration file in use: program directory + "vesprin.ini", or the file that
  // an accepted d names (its resolved absolute path).
  std::string config_path;

  // Slot of a letter from kRequestLetters (any other letter is a programming error and
  // gives a shared empty slot).
  std::optional<std::string>& slot(char letter);
  const std::optional<std::string>& slot(char letter) const;
  bool present(char letter) const { return slot(letter).has_value(); }
  // The value, or "" when absent.
  const std::string& value(char letter) const;
  // The value equals text (an absent parameter equals nothing).
  bool is(char letter, std::string_view text) const;
  void clear();
};

// Where the CGI input comes from: an environment lookup (nullopt for an absent variable)
// and the stream that carries a POST body.
struct CgiEnvironment {
  std::function<std::optional<std::string>(const char* name)> get;
  std::istream* input = nullptr;
};

// The process environment and standard input.
CgiEnvironment cgi_process_environment();

// Reads the request text and parses it into request (cgi_parse_params). A malformed
// input gives false with request cleared and its message (kMsgNotCgi, ...) in error; the
// program's entry turns that into its error page.
bool cgi_read_input(SearchRequest& request, const CgiEnvironment& env,
                    std::string_view program_dir, std::string& error);

// Splits text into the parameter slots, fills the keyword text, the defaults and the
// configuration path (program_dir + "vesprin.ini", or d when cgi_config_path_accepted
// takes it; a rejected d is made absent).
void cgi_parse_params(SearchRequest& request, std::string_view text,
                      std::string_view program_dir);

// "%" and two hexadecimal digits give that byte, "+" a blank, other bytes are copied. A
// "%" without two hexadecimal digits after it is dropped with the two characters after
// it; with fewer than two characters after it, decoding ends there.
std::string url_decode(std::string_view text);

// The path that a decoded d names, when it may serve as configuration file: "\" made "/"
// (Big5-aware), a relative path taken from program_dir, and the result resolving
// (symbolic links followed) to a regular file inside program_dir. nullopt otherwise.
std::optional<std::string> cgi_config_path_accepted(std::string_view decoded_d,
                                                    std::string_view program_dir);

}  // namespace qm
