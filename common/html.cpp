// Page output, escaping, entity decoding and the markup scanner; see html.h.
#include "common/html.h"

#include <cstdio>
#include <algorithm>
#include <cstring>

#include "common/strings.h"

namespace qm {
namespace {

const char* const kDefaultContentType = "text/html";
std::string g_content_type = kDefaultContentType;
bool g_header_written = false;

bool pair_at(const char* p) {
  return p[0] != 0 && big5_is_pair(static_cast<unsigned char>(p[0]), static_cast<unsigned char>(p[1]));
}

bool ends_tag_name(char c) {
  return c == 0 || c == ' ' || c == '>' || c == ',' || c == '\t' || c == '\r' || c == '\n';
}

void write_out(const void* data, size_t n) {
  std::FILE* out = prog_output();
  if (n) std::fwrite(data, 1, n, out);
  std::fflush(out);
}

}  // namespace

void html_set_content_type(const std::string& content_type) { g_content_type = content_type; }
const std::string& html_get_content_type() { return g_content_type; }

void html_reset() {
  g_header_written = false;
  g_content_type = kDefaultContentType;
}

bool html_header_written() { return g_header_written; }

void html_content_type() {
  if (g_header_written) return;
  g_header_written = true;
  prog_print("Content-Type: %s\r\n\r\n", g_content_type.c_str());
  std::fflush(prog_output());
}

void html_put_char(int c) {
  char ch = static_cast<char>(c);
  write_out(&ch, 1);
  prog_hook();
}

void html_put_text(std::string_view text) {
  write_out(text.data(), text.size());
  prog_hook();
}

void html_put_bytes(const void* buffer, size_t n) { write_out(buffer, n); }

void html_put_line(std::string_view text) {
  std::string line(text);
  line += "<BR>\n";
  write_out(line.data(), line.size());
}

void html_encode(std::string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == 0 || c == 0xFF) break;
    if (i + 1 < text.size() && big5_is_pair(c, static_cast<unsigned char>(text[i + 1]))) {
      out.append(text.substr(i, 2));
      ++i;
      continue;
    }
    // A lead byte that starts no pair goes when a line feed follows it: the line feed is
    // dropped, and the lead byte would join the byte after it into a false pair (and cut
    // a real pair there in two).
    if (c >= 0xA1 && i + 1 < text.size() && text[i + 1] == '\n') continue;
    switch (c) {
      case '\r': out += "<BR>\r"; break;
      case '\n': break;
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += char(c);
    }
  }
}

size_t html_encoded_size(std::string_view text) {
  size_t size = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == 0 || c == 0xFF) break;
    if (i + 1 < text.size() && big5_is_pair(c, static_cast<unsigned char>(text[i + 1]))) {
      size += 2;
      ++i;
      continue;
    }
    switch (c) {
      case ' ': size += 6; break;
      case '\r': size += 5; break;
      case '&': size += 5; break;
      case '<': size += 4; break;
      case '>': size += 4; break;
      case '\n': break;
      default: size += 1;
    }
  }
  return size;
}

void html_decode_entities(std::string_view text, std::string& out) {
  static const struct {
    const char* name;
    char ch;
  } kEntities[] = {{"nbsp;", ' '}, {"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}};
  out.clear();
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (big5_char_len(text, i) == 2) {
      out.append(text.substr(i, 2));
      i += 2;
      continue;
    }
    if (text[i] == '&') {
      bool replaced = false;
      for (const auto& e : kEntities) {
        size_t len = std::strlen(e.name);
        if (string_nicmp(text.substr(i + 1), e.name, len) == 0 && text.size() - (i + 1) >= len) {
          out += e.ch;
          i += 1 + len;
          replaced = true;
          break;
        }
      }
      if (replaced) continue;
    }
    out += text[i++];
  }
}

size_t html_numeric_reference(std::string_view text, size_t pos, uint32_t& value) {
  const size_t n = text.size();
  if (pos + 2 >= n || text[pos] != '&' || text[pos + 1] != '#') return 0;
  size_t k = pos + 2;
  const bool hex = text[k] == 'x' || text[k] == 'X';
  if (hex) ++k;
  const size_t digits = k;
  value = 0;
  for (; k < n; ++k) {
    const char c = text[k];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else break;
    value = std::min<uint32_t>(value * (hex ? 16 : 10) + uint32_t(d), 0x110000);
  }
  return k == digits ? 0 : k - pos;
}

bool html_is_tag_char(int c) {
  return c == '!' || c == '/' || c == '%' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

const char* html_skip_comment(const char* p) {
  if (!p) return nullptr;
  if (const char* end = std::strstr(p, "-->")) return end + 3;
  if (const char* gt = std::strchr(p, '>')) return gt + 1;
  return nullptr;
}

const char* html_skip_tag(const char* p) {
  if (!p || *p != '<') return p;
  ++p;
  if (!html_is_tag_char(static_cast<unsigned char>(*p))) return p;
  if (std::strncmp(p, "!--", 3) == 0) return html_skip_comment(p + 3);
  size_t n = 0;
  while (!ends_tag_name(p[n])) ++n;
  if (string_icmp(std::string_view(p, n), "SCRIPT") == 0) return html_skip_to_end_tag(p + n, "SCRIPT");
  const char* gt = std::strchr(p, '>');
  return gt ? gt + 1 : p + std::strlen(p);
}

const char* html_skip_to_end_tag(const char* p, std::string_view name) {
  while (p) {
    const char* lt = std::strchr(p, '<');
    if (!lt) return nullptr;
    if (std::strncmp(lt, "<!--", 4) == 0) {
      p = html_skip_comment(lt + 4);
      continue;
    }
    if (lt[1] == '/') {
      std::string tag;
      const char* after = string_next_token(lt + 2, " >,\t\r\n", tag, 30);
      if (!after) return nullptr;
      if (string_icmp(tag, name) == 0) return after;
      p = after;
      continue;
    }
    p = lt + 1;
  }
  return nullptr;
}

const char* html_find_outside_markup(const char* p, std::string_view text) {
  if (!p || text.empty()) return nullptr;
  // The text's end is found once: measuring the rest at every step would make a long
  // page cost the square of its length.
  const char* end = p + std::strlen(p);
  while (p < end) {
    if (std::strncmp(p, "<!--", 4) == 0) {
      p = html_skip_comment(p + 4);
      if (!p) return nullptr;
      continue;
    }
    if (size_t(end - p) >= text.size() &&
        string_nicmp(std::string_view(p, text.size()), text, text.size()) == 0)
      return p + text.size();
    p += pair_at(p) ? 2 : 1;
  }
  return nullptr;
}

void html_script_begin() { html_put_text("<SCRIPT LANGUAGE = \"JavaScript\">\n<!--\n"); }

void html_script_end() { html_put_text("// -->\n</SCRIPT>"); }

void html_script_checkanswer() {
  html_put_text(
      "function checkanswer(form, show_string) {\n"
      "  if (confirm(show_string)) form.submit();\n"
      "}\n");
}

void html_script_alertanswer() {
  html_put_text(
      "function alertanswer(show_string) {\n"
      "  alert(show_string);\n"
      "}\n");
}

void html_script_images() {
  html_put_text(
      "var version = \"n2\";\n"
      "if (navigator.appName == \"Netscape\" && parseInt(navigator.appVersion) >= 3) version = \"n3\";\n"
      "function img_act(imgName) {\n"
      "  if (version == \"n3\") document[imgName].src = eval(imgName + \"on.src\");\n"
      "}\n"
      "function img_inact(imgName) {\n"
      "  if (version == \"n3\") document[imgName].src = eval(imgName + \"off.src\");\n"
      "}\n"
      "if (version == \"n3\") {\n"
      "  Setupon = new Image(); Setupon.src = \"Setup-s.gif\";\n"
      "  Setupoff = new Image(); Setupoff.src = \"Setup.gif\";\n"
      "  Dbon = new Image(); Dbon.src = \"Db-s.gif\";\n"
      "  Dboff = new Image(); Dboff.src = \"Db.gif\";\n"
      "}\n");
}

std::string html_escape_value(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace qm
