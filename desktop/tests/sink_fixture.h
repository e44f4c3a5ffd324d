// Shared set-up of the desktop's Qt tests that answer the program's message boxes from a
// ScriptedMessageSink: the texts of the built tree loaded under the desktop's
// configuration rules with the sink in place, the end check that every expected message
// came and none other, and the main window opened and closed around such a sink. The form
// tests (rebuild, wizard, wizard mail) and the main window's views tests call it.
#pragma once
#include <QtTest>

#include <memory>
#include <string>

#include "common/strings.h"
#include "desktop/app.h"
#include "desktop/main_form.h"
#include "desktop/messages.h"
#include "desktop/texts.h"

namespace qm::test {

// The desktop's configuration rules, the tree's English texts and messages sent to sink;
// false when the texts do not load.
inline bool load_texts_with_sink(ScriptedMessageSink& sink) {
  common_set_desktop_profile(true);
  const bool loaded = desktop_load_resources(std::string(QM_DIST_DIR) + "/", "en");
  message_set_sink(&sink);
  return loaded;
}

// Fails the test on a message the script did not expect or one it expected that never came.
inline void check_sink_done(const ScriptedMessageSink& sink) {
  QVERIFY2(sink.failures().empty(), sink.failures().c_str());
  QCOMPARE(sink.pending(), size_t(0));
}

// The main window of the program folder dir with the folder's English texts and a fresh
// sink in place; null when the texts do not load or the window cannot be made.
inline std::unique_ptr<TMainForm> open_main_window(const std::string& dir, ScriptedMessageSink& sink) {
  if (!desktop_load_resources(dir, "en")) return nullptr;
  sink = ScriptedMessageSink();
  message_set_sink(&sink);
  return desktop_create_main_window(dir);
}

// Closes the window and takes the sink and the loaded texts away again.
inline void close_main_window(std::unique_ptr<TMainForm>& form) {
  form.reset();
  message_set_sink(nullptr);
  desktop_texts().clear();
}

}  // namespace qm::test
