// The Qt window thread for the job queue's worker; see qt_window_thread.h.
#include "desktop/forms/qt_window_thread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <chrono>
#include <thread>

namespace qm {

void QtWindowThread::call(std::function<void()> fn) {
  QMetaObject::invokeMethod(this, std::move(fn), Qt::BlockingQueuedConnection);
}

void QtWindowThread::post(std::function<void()> fn) {
  QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void QtWindowThread::pump() {
  QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

}  // namespace qm
