// The C exports of libsetupaid.so (see include/setupaid.h): each reads its input from the
// caller's buffer, calls the setup_ modules (setup_config.h, setup_browser.h,
// setup_roots.h, setup_home_page.h) and copies its output back, cut to the buffer's
// 1,023 bytes and a NUL. Called by an installer and by quillmere-setup through dlopen.
#include "setupaid.h"

#include <cstring>
#include <string>
#include <string_view>

#include "setup/setup_browser.h"
#include "setup/setup_config.h"
#include "setup/setup_home_page.h"
#include "setup/setup_messages.h"
#include "setup/setup_roots.h"

namespace {

// The caller's input: the text up to its NUL, at most the buffer's size.
std::string input(const char* buffer) {
  return std::string(buffer, ::strnlen(buffer, SETUPAID_BUFFER_SIZE));
}

void output(char* buffer, std::string_view text) {
  size_t n = std::min(text.size(), size_t(SETUPAID_BUFFER_SIZE - 1));
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

int root_export(char* buffer, bool cgi) {
  if (!buffer) return 0;
  qm::WebRoots roots = qm::setup_web_roots();
  const auto& root = cgi ? roots.cgi_root : roots.doc_root;
  if (!root || root->empty()) return 0;
  output(buffer, *root);
  return 1;
}

}  // namespace

extern "C" {

int GetHomePageURL(void*, uint32_t*, char* buffer) {
  if (!buffer) return 0;
  output(buffer, qm::setup_read_key(input(buffer), "HomePage"));
  return 1;
}

int WriteDefaultIni(void*, uint32_t* value, char* buffer) {
  if (!buffer || !value) return 0;
  auto pair = qm::setup_split_pair(input(buffer));
  if (!pair) return 0;
  return qm::setup_write_default_ini(pair->first, pair->second, *value != 0) ? 1 : 0;
}

int RunBrowser(void*, uint32_t* value, char* buffer) {
  if (!buffer || !value) return 0;
  auto browser = qm::setup_find_browser();
  if (!browser) {
    qm::setup_message(qm::kCapBrowser, qm::kMsgRunBrowserFail);
    return 0;
  }
  *value = static_cast<uint32_t>(browser->program.size() + 1);
  if (!qm::setup_spawn_detached(qm::setup_browser_argv(*browser, input(buffer)))) {
    qm::setup_message(qm::kCapBrowser, qm::kMsgRunBrowserFail);
    return 0;
  }
  return 1;
}

int GetBrowser(void*, uint32_t* value, char* buffer) {
  if (!buffer || !value) return 0;
  auto browser = qm::setup_find_browser();
  if (!browser) {
    qm::setup_message(qm::kCapWarning, qm::kMsgNoBrowser);
    return 0;
  }
  *value = static_cast<uint32_t>(browser->program.size() + 1);
  output(buffer, browser->program);
  return 1;
}

int ModifyUninstallReg(void*, uint32_t*, char* buffer) {
  if (!buffer) return 0;
  return qm::setup_keep_uninstall(qm::setup_uninstall_file(), input(buffer)) ? 1 : 0;
}

int GetVirtualDocRoot(void*, uint32_t*, char* buffer) { return root_export(buffer, false); }

int GetVirtualCGIRoot(void*, uint32_t*, char* buffer) { return root_export(buffer, true); }

int GetSysadmURL(void*, uint32_t*, char* buffer) {
  if (!buffer) return 0;
  auto url = qm::setup_sysadm_url(input(buffer));
  if (!url) return 0;
  output(buffer, *url);
  return 1;
}

int ModifyHomePage(void*, uint32_t*, char* buffer) {
  if (!buffer) return 0;
  auto pair = qm::setup_split_pair(input(buffer));
  if (!pair) return 0;
  return qm::setup_modify_home_pages(pair->first, pair->second) ? 1 : 0;
}

void setupaid_set_message_handler(SetupaidMessageHandler handler) {
  qm::setup_set_message_sink(handler);
}

}  // extern "C"
