// Shared set-up of the desktop's Qt tests that answer the program's message boxes from a
// ScriptedMessageSink: the texts of the built tree loaded under the desktop's
// configuration rules with the sink in place, and the end check that every expected
// message came and none other. The form tests (rebuild, wizard, wizard mail) and the
// main window's search and advanced views call it.
#pragma once
#include <QtTest>

#include <string>

#include "common/strings.h"
#include "desktop/app.h"
#include "desktop/messages.h"

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

}  // namespace qm::test
