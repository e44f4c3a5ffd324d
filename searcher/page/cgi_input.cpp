// CGI input and request parameters; see cgi_input.h.
#include "searcher/page/cgi_input.h"

#include <sys/stat.h>

#include <cstdlib>
#include <iostream>
#include <memory>

#include "common/strings.h"
#include "platform/paths.h"

namespace qm {
namespace {

// Repeated pairs of these letters are joined with ","; p is joined without separator;
// every other letter takes the last value.
constexpr std::string_view kJoinedLetters = "skgz";

size_t slot_index(char letter) { return kRequestLetters.find(letter); }

const std::string& empty_text() {
  static const std::string empty;
  return empty;
}

bool fail(SearchRequest& request, std::string& error, const char* message) {
  request.clear();
  error = message;
  return false;
}

// The directory itself, resolved, with a trailing "/"; empty when it cannot be resolved.
std::string resolved_directory(std::string_view dir) {
  std::string path(dir.empty() ? "." : dir);
  std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), std::free);
  if (!real) return {};
  std::string out(real.get());
  if (out.empty() || out.back() != '/') out += '/';
  return out;
}

}  // namespace

std::optional<std::string>& SearchRequest::slot(char letter) {
  size_t i = slot_index(letter);
  if (i == std::string_view::npos) {
    static std::optional<std::string> none;
    none.reset();
    return none;
  }
  return slots[i];
}

const std::optional<std::string>& SearchRequest::slot(char letter) const {
  size_t i = slot_index(letter);
  if (i == std::string_view::npos) {
    static const std::optional<std::string> none;
    return none;
  }
  return slots[i];
}

const std::string& SearchRequest::value(char letter) const {
  const auto& s = slot(letter);
  return s ? *s : empty_text();
}

bool SearchRequest::is(char letter, std::string_view text) const {
  const auto& s = slot(letter);
  return s && *s == text;
}

void SearchRequest::clear() {
  for (auto& s : slots) s.reset();
  keywords.reset();
  config_path.clear();
}

CgiEnvironment cgi_process_environment() {
  CgiEnvironment env;
  env.get = [](const char* name) -> std::optional<std::string> {
    const char* v = std::getenv(name);
    if (!v) return std::nullopt;
    return std::string(v);
  };
  env.input = &std::cin;
  return env;
}

std::string url_decode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%') {
      if (text.size() - i < 3) break;  // too short for an escape: decoding ends here
      if (is_hex_digit(static_cast<unsigned char>(text[i + 1])) &&
          is_hex_digit(static_cast<unsigned char>(text[i + 2])))
        out += static_cast<char>(hex_digit_value(static_cast<unsigned char>(text[i + 1])) * 16 +
                                 hex_digit_value(static_cast<unsigned char>(text[i + 2])));
      i += 2;  // a malformed escape is dropped with its two characters
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> cgi_config_path_accepted(std::string_view decoded_d,
                                                    std::string_view program_dir) {
  if (decoded_d.empty() || program_dir.empty()) return std::nullopt;
  if (decoded_d.find('\0') != std::string_view::npos) return std::nullopt;
  std::string path = path_backslash_to_slash(decoded_d);
  if (path.front() != '/') path = path_join(program_dir, path);

  std::string dir = resolved_directory(program_dir);
  if (dir.empty()) return std::nullopt;
  std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), std::free);
  if (!real) return std::nullopt;
  std::string resolved(real.get());
  if (resolved.size() <= dir.size() || resolved.compare(0, dir.size(), dir) != 0)
    return std::nullopt;
  struct stat st {};
  if (stat(resolved.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return resolved;
}

void cgi_parse_params(SearchRequest& request, std::string_view text,
                      std::string_view program_dir) {
  request.clear();
  request.config_path = path_join(program_dir, "vesprin.ini");

  size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == '&') {
      ++pos;
      continue;
    }
    size_t end = text.find('&', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view pair = text.substr(pos, end - pos);
    pos = end;

    char letter = pair[0];
    size_t index = slot_index(letter);
    if (index == std::string_view::npos) continue;
    // The second character is the "=" of the pair and is not examined; a pair of one
    // character has an empty value.
    std::string_view value = pair.size() > 2 ? pair.substr(2) : std::string_view();
    auto& slot = request.slots[index];
    if (!slot) {
      if (!value.empty()) slot = std::string(value);
    } else if (kJoinedLetters.find(letter) != std::string_view::npos) {
      *slot += ',';
      *slot += value;
    } else if (letter == 'p') {
      *slot += value;
    } else {
      *slot = std::string(value);
    }
  }

  auto& s = request.slot('s');
  if (s) s = url_decode(*s);
  auto& k = request.slot('k');
  k = k ? url_decode(*k) : std::string();
  if (const auto& p = request.slot('p')) {
    std::string keywords = url_decode(*p);
    string_trim(keywords, " ,;.");
    request.keywords = std::move(keywords);
  }
  auto& o = request.slot('o');
  if (!o) o = "0";
  auto& d = request.slot('d');
  if (d) {
    if (auto accepted = cgi_config_path_accepted(url_decode(*d), program_dir))
      request.config_path = *accepted;
    else
      d.reset();  // a configuration file outside the program directory is not taken
  }
// GCC 12 warns falsely (-Wrestrict, GCC bug 105329) about the string copies it inlines here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
  if (!request.slot('t')) request.slot('t') = "2";
  if (!request.slot('l')) request.slot('l') = "0";
  if (!request.slot('c')) request.slot('c') = "0";
  auto& z = request.slot('z');
  z = z ? url_decode(*z) : std::string();
  if (!request.slot('m')) request.slot('m') = "0";
#pragma GCC diagnostic pop
}

bool cgi_read_input(SearchRequest& request, const CgiEnvironment& env,
                    std::string_view program_dir, std::string& error) {
  error.clear();
  auto method = env.get ? env.get("REQUEST_METHOD") : std::nullopt;
  if (!method) return fail(request, error, kMsgNotCgi);

  std::string text;
  if (string_icmp(*method, "GET") == 0) {
    auto query = env.get("QUERY_STRING");
    if (!query) return fail(request, error, kMsgNoQueryString);
    text = std::move(*query);
  } else {
    // A missing CONTENT_LENGTH counts as 0.
    auto length_text = env.get("CONTENT_LENGTH");
    long long n = length_text ? string_leading_number(*length_text) : 0;
    if (n < 0 || n >= static_cast<long long>(kRequestTextLimit))
      return fail(request, error, kMsgTooLong);
    if (n == 0 || !env.input) return fail(request, error, kMsgBadPost);
    text.resize(static_cast<size_t>(n));
    env.input->read(text.data(), n);
    if (env.input->gcount() != n) return fail(request, error, kMsgBadPost);
  }
  size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  if (text.size() >= kRequestTextLimit) return fail(request, error, kMsgTooLong);

  cgi_parse_params(request, text, program_dir);
  return true;
}

}  // namespace qm
