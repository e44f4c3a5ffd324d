// QtWindowThread: the window thread of the Qt program as the job queue's worker reaches it
// (desktop/indexing/schedule.h): calls and posts become queued invocations on this object,
// delivered by the event loop in the order they were made; a call waits for its delivery.
// Used by the forms that queue index builds (env_fulltext_form.h).
#pragma once
#include <QObject>
#include <functional>

#include "desktop/indexing/schedule.h"

namespace qm {

class QtWindowThread : public QObject, public WindowThread {
  Q_OBJECT

 public:
  explicit QtWindowThread(QObject* parent = nullptr) : QObject(parent) {}
  // From the worker only (a call from the window thread itself would wait for itself).
  void call(std::function<void()> fn) override;
  void post(std::function<void()> fn) override;
  // Runs the window's pending events (the form keeps working while it waits).
  void pump() override;
};

}  // namespace qm
