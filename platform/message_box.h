// Message boxes shown by library code. The mail gateway shows one when the mail store
// refuses its login; a library has no window of its own, so the program that loaded it
// decides where the box goes: the index builder, which runs hidden, hands it to the
// desktop on its progress pipe, and the desktop shows it through its message sink. A
// library carries its own copy of this code, so the program's choice is found by name:
// the program exports the C function qm_message_box (MessageBoxHandler), which
// message_box() looks up in the running process. Without one the box is written to
// standard error as "<caption>: <text>". Used by the mail gateway (mail/postbridge/).
#pragma once
#include <cstdint>
#include <string>

namespace qm {

// The styles of the boxes in use (the standard message-box flags) and the answer.
inline constexpr int kBoxStyleError = 16;  // stop sign, OK
inline constexpr int kBoxAnswerOk = 1;

// What a program exports under kMessageBoxSymbol: shows or passes on one box (8-bit
// texts) and gives the button pressed.
using MessageBoxHandler = int32_t (*)(const char* text, const char* caption, int32_t style);
inline constexpr char kMessageBoxSymbol[] = "qm_message_box";

// Shows a box through the program's handler; the answer (kBoxAnswerOk without one).
int message_box(const std::string& text, const std::string& caption, int style);

}  // namespace qm
