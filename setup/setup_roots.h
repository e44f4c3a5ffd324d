// The web server's roots for the installer: the directory served at "/" (the document
// root) and the directory served at "/cgi-bin/" (the script root, the old system's
// "/Scripts"). lighttpd's configuration ($QUILLMERE_LIGHTTPD_CONF, default
// /etc/lighttpd/lighttpd.conf) comes first: when lighttpd is installed its own
// `lighttpd -p -f` prints the configuration with includes, variables and include_shell
// resolved, otherwise the file and its includes are read here; one reader of lighttpd's
// syntax takes both. "/" is server.document-root; "/cgi-bin/" is what alias.url maps it
// to, at the top or inside an $HTTP["url"] block. Without a lighttpd configuration,
// Apache's ($QUILLMERE_APACHE_CONF, default /etc/apache2/apache2.conf, includes
// followed): DocumentRoot and ScriptAlias /cgi-bin/. Builds on platform/process.h (the
// timed lighttpd child) and common/files.h; called by setupaid.cpp.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace qm {

struct WebRoots {
  std::optional<std::string> doc_root;  // without trailing "/"
  std::optional<std::string> cgi_root;
};

// Reads lighttpd configuration text. dir: the directory that relative include paths are
// taken from (the main file's); includes are followed when follow_includes is set
// (include_shell is never run here).
WebRoots setup_lighttpd_roots_from_text(std::string_view text, const std::string& dir,
                                        bool follow_includes);
// The file and its includes, read here.
WebRoots setup_lighttpd_roots_from_file(const std::string& conf);
// What `lighttpd -p -f conf` prints, read with the same reader; nullopt when the program
// fails or does not answer within its time.
std::optional<WebRoots> setup_lighttpd_roots_from_program(const std::string& lighttpd,
                                                          const std::string& conf);
// Apache's configuration file and its includes.
WebRoots setup_apache_roots_from_file(const std::string& conf);

// The roots of this machine's web server, by the order above.
WebRoots setup_web_roots();

// A root value as the installer gets it: trailing "/" removed ("/" stays "/").
std::string setup_root_dir(std::string_view value);

}  // namespace qm
