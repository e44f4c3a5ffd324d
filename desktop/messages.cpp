// Message boxes by number (see messages.h).
#include "desktop/messages.h"

#include <cstdio>

#include "desktop/texts.h"

namespace qm {
namespace {

MessageSink* g_sink = nullptr;

int default_answer(int style) {
  return (style & 0xF) == 4 ? kAnswerYes : kAnswerOk;
}

}  // namespace

void ScriptedMessageSink::expect(std::string text, std::string caption, int style, int answer) {
  script_.push_back({std::move(text), std::move(caption), style, answer});
}

int ScriptedMessageSink::show(const std::string& text, const std::string& caption, int style) {
  const int refuse = (style & 0xF) == 4 ? kAnswerNo : kAnswerCancel;
  if (script_.empty()) {
    failures_ += "unexpected message: [" + caption + "] " + text + " (" + std::to_string(style) +
                 ")\n";
    return refuse;
  }
  Expected e = script_.front();
  script_.pop_front();
  if (e.text != text || e.caption != caption || e.style != style) {
    failures_ += "expected [" + e.caption + "] " + e.text + " (" + std::to_string(e.style) +
                 "), got [" + caption + "] " + text + " (" + std::to_string(style) + ")\n";
    return refuse;
  }
  return e.answer;
}

void message_set_sink(MessageSink* sink) { g_sink = sink; }
MessageSink* message_sink() { return g_sink; }

int ShowMessageText(const std::string& text, int title_id, int style) {
  const std::string& caption = load_text(title_id);
  if (g_sink) return g_sink->show(text, caption, style);
  std::fprintf(stderr, "quillmere: %s: %s\n", caption.c_str(), text.c_str());
  return default_answer(style);
}

int ShowMessageById(int text_id, int title_id, int style) {
  return ShowMessageText(load_text(text_id), title_id, style);
}

}  // namespace qm
