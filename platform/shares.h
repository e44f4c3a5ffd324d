// The network shares of this computer, read from Samba's configuration file
// (/etc/samba/smb.conf unless another file is set): each section [name] other than
// [global] with a "path" (or "directory") value is a share. No file means no shares.
// The computer name is the host name.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

struct ShareEntry {
  std::string name;
  std::string path;
};

// Sets the configuration file to read; an empty text restores the default.
void shares_set_config_path(const std::string& path);
std::vector<ShareEntry> shares_list();
// The local path of the share (name compared case-blind), or none.
std::optional<std::string> share_local_path(std::string_view share_name);
// This computer's name (gethostname); empty when unknown.
std::string computer_name();
// True when name is this computer's name, case-blind (full host name or its first label).
bool is_this_computer(std::string_view name);

}  // namespace qm
