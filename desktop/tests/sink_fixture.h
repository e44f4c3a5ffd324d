// Shared set-up of the desktop's Qt tests that answer the program's message boxes from a
// ScriptedMessageSink: the texts of the built tree loaded under the desktop's
// configuration rules with the sink in place, the end check that every expected message
// came and none other, the main window opened and closed around such a sink, and a
// program folder made from the built tree. The form tests (rebuild, wizard, wizard mail)
// and the main window's views tests call it.
#pragma once
#include <QtTest>

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>

#include "common/strings.h"
#include "desktop/app.h"
#include "desktop/main_form.h"
#include "desktop/messages.h"
#include "desktop/texts.h"
#include "testsupport/test_files.h"

namespace qm::test {

// Makes dir (ending in '/') a program folder of the built tree: its own copies of the
// resources and the start page, and links to the named programs and tables of dist.
inline void program_dir_from_dist(const std::string& dir, std::initializer_list<const char*> links) {
  const std::string dist = std::string(QM_DIST_DIR) + "/";
  for (const char* name : {"quillmere.rcc", "vesprin.htm"}) write_file(dir + name, read_file(dist + name));
  for (const char* name : links) std::filesystem::create_symlink(dist + name, dir + name);
}

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

// Takes the sink and the loaded texts away again.
inline void drop_sink_and_texts() {
  message_set_sink(nullptr);
  desktop_texts().clear();
}

// Closes the window, then drops the sink and the texts.
inline void close_main_window(std::unique_ptr<TMainForm>& form) {
  form.reset();
  drop_sink_and_texts();
}

}  // namespace qm::test
