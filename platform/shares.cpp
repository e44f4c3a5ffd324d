// Samba share list and computer name for mapping network paths of this computer to local
// paths; see shares.h.
#include "platform/shares.h"

#include <unistd.h>

#include <fstream>

namespace qm {
namespace {

std::string g_config_path;
const char* const kDefaultConfig = "/etc/samba/smb.conf";

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return out;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Samba ignores blanks and case in parameter names.
std::string key_name(std::string_view s) {
  std::string out;
  for (char c : s)
    if (c != ' ' && c != '\t') out += c;
  return lower(out);
}

}  // namespace

void shares_set_config_path(const std::string& path) { g_config_path = path; }

std::vector<ShareEntry> shares_list() {
  std::vector<ShareEntry> shares;
  std::ifstream in(g_config_path.empty() ? kDefaultConfig : g_config_path, std::ios::binary);
  if (!in) return shares;
  std::string section;
  std::string line, piece;
  bool in_share = false;
  bool continued = false;
  while (std::getline(in, piece)) {
    if (!piece.empty() && piece.back() == '\r') piece.pop_back();
    if (continued) piece = std::string(trim(piece));
    continued = false;
    // A trailing backslash continues the line.
    if (!piece.empty() && piece.back() == '\\') {
      piece.pop_back();
      line += piece;
      continued = true;
      continue;
    }
    line += piece;
    std::string_view t = trim(line);
    if (t.empty() || t.front() == '#' || t.front() == ';') {
      line.clear();
      continue;
    }
    if (t.front() == '[') {
      size_t close = t.find(']');
      section = std::string(trim(t.substr(1, close == std::string_view::npos ? t.size() - 1 : close - 1)));
      in_share = !section.empty() && lower(section) != "global";
    } else if (in_share) {
      size_t eq = t.find('=');
      if (eq != std::string_view::npos) {
        std::string key = key_name(t.substr(0, eq));
        std::string value(trim(t.substr(eq + 1)));
        if ((key == "path" || key == "directory") && !value.empty()) {
          bool replaced = false;
          for (auto& s : shares)
            if (lower(s.name) == lower(section)) {
              s.path = value;
              replaced = true;
            }
          if (!replaced) shares.push_back({section, value});
        }
      }
    }
    line.clear();
  }
  return shares;
}

std::optional<std::string> share_local_path(std::string_view share_name) {
  std::string want = lower(share_name);
  for (const auto& s : shares_list())
    if (lower(s.name) == want) return s.path;
  return std::nullopt;
}

std::string computer_name() {
  char buf[256] = {};
  if (gethostname(buf, sizeof buf - 1) != 0) return {};
  return std::string(buf);
}

bool is_this_computer(std::string_view name) {
  if (name.empty()) return false;
  std::string host = lower(computer_name());
  if (host.empty()) return false;
  std::string want = lower(name);
  return want == host || want == host.substr(0, host.find('.'));
}

}  // namespace qm
