// The setup helpers' messages to the person installing: a caption and a text in Big5.
// By default they go to standard error as "caption: text", converted to the charset of
// the caller's locale with iconv (unchanged when the locale has no conversion from Big5);
// a handler set through setupaid_set_message_handler takes them instead (the installer's
// own dialogs, tests). Used by every setup_ module that reports to the user.
#pragma once
#include <string>
#include <string_view>

namespace qm {

// Message texts and captions, Big5.
// "在您的系統上並沒有發現任何正式安裝的瀏覽器"
inline constexpr const char* kMsgNoBrowser =
    "\xa6\x62\xb1\x7a\xaa\xba\xa8\x74\xb2\xce\xa4\x57\xa8\xc3\xa8\x53\xa6\xb3\xb5\x6f\xb2\x7b"
    "\xa5\xf4\xa6\xf3\xa5\xbf\xa6\xa1\xa6\x77\xb8\xcb\xaa\xba\xc2\x73\xc4\xfd\xbe\xb9";
// "警告"
inline constexpr const char* kCapWarning = "\xc4\xb5\xa7\x69";
inline constexpr const char* kMsgRunBrowserFail = "Fail";
inline constexpr const char* kCapBrowser = "Browser";
// "無法找到 Home Page 所在的目錄 !"
inline constexpr const char* kMsgNoHomeDir =
    "\xb5\x4c\xaa\x6b\xa7\xe4\xa8\xec Home Page \xa9\xd2\xa6\x62\xaa\xba\xa5\xd8\xbf\xfd !";
// "設定錯誤"
inline constexpr const char* kCapSetupError = "\xb3\x5d\xa9\x77\xbf\xf9\xbb\x7e";
// "找不到 %s !\n無法產生正確的查詢首頁 !" (%s: the page's path)
inline constexpr const char* kMsgNoSearchPage =
    "\xa7\xe4\xa4\xa3\xa8\xec %s !\n"
    "\xb5\x4c\xaa\x6b\xb2\xa3\xa5\xcd\xa5\xbf\xbd\x54\xaa\xba\xac\x64\xb8\xdf\xad\xba\xad\xb6 !";
// "找不到 %s !\n無法產生正確的遠程管理首頁 !"
inline constexpr const char* kMsgNoAdminPage =
    "\xa7\xe4\xa4\xa3\xa8\xec %s !\n"
    "\xb5\x4c\xaa\x6b\xb2\xa3\xa5\xcd\xa5\xbf\xbd\x54\xaa\xba\xbb\xb7\xb5\x7b\xba\xde\xb2\x7a"
    "\xad\xba\xad\xb6 !";
// "錯誤"
inline constexpr const char* kCapError = "\xbf\xf9\xbb\x7e";

using SetupMessageSink = void (*)(const char* caption, const char* text);

// Sets the sink (nullptr: standard error).
void setup_set_message_sink(SetupMessageSink sink);
// Shows one message.
void setup_message(std::string_view caption, std::string_view text);
// text with its one "%s" replaced by argument.
std::string setup_format(std::string_view text, std::string_view argument);
// Big5 text in the charset of the current locale; the text itself when there is no
// conversion.
std::string setup_big5_to_locale(std::string_view text);

}  // namespace qm
