// The Qt message sink: messages of messages.h as QMessageBox dialogs with the icon and
// buttons of their style. Installed by quillmere_main() (app.cpp).
#pragma once
#include "desktop/messages.h"

class QWidget;

namespace qm {

class QtMessageSink : public MessageSink {
 public:
  explicit QtMessageSink(QWidget* parent = nullptr) : parent_(parent) {}
  void set_parent(QWidget* parent) { parent_ = parent; }
  int show(const std::string& text, const std::string& caption, int style) override;

 private:
  QWidget* parent_;
};

}  // namespace qm
