// Message boxes by text number. Every message goes through one MessageSink chosen at
// start: the Qt program installs a QMessageBox sink (message_box.h); tests install a
// ScriptedMessageSink that checks each message (text, caption, style) in order and gives
// the scripted answer. With no sink, messages are written to standard error and answered
// with the box's default (OK or Yes).
#pragma once
#include <deque>
#include <string>

namespace qm {

// Styles in use (the standard message-box flags).
inline constexpr int kStyleStop = 16;            // stop sign, OK
inline constexpr int kStyleQuestionOkCancel = 33;
inline constexpr int kStyleQuestionYesNo = 36;
inline constexpr int kStyleInformation = 64;     // information sign, OK
// Answers.
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerCancel = 2;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // Shows one message (UTF-8 texts) and gives the button pressed.
  virtual int show(const std::string& text, const std::string& caption, int style) = 0;
};

// For tests: each message must match the next expectation; a message past the script or
// one that differs is recorded as a failure (failures()) and answered with Cancel/No.
class ScriptedMessageSink : public MessageSink {
 public:
  struct Expected {
    std::string text;
    std::string caption;
    int style;
    int answer;
  };
  void expect(std::string text, std::string caption, int style, int answer);
  int show(const std::string& text, const std::string& caption, int style) override;
  // Mismatches and unexpected messages, one line each.
  const std::string& failures() const { return failures_; }
  // Expectations not met yet.
  size_t pending() const { return script_.size(); }

 private:
  std::deque<Expected> script_;
  std::string failures_;
};

// The installed sink (nullptr: standard error). Not owned.
void message_set_sink(MessageSink* sink);
MessageSink* message_sink();

// The message box of text id under caption id.
int ShowMessageById(int text_id, int title_id, int style);
// The same with a ready text (UTF-8).
int ShowMessageText(const std::string& text, int title_id, int style);

}  // namespace qm
