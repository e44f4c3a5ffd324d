// TWaitMsgForm, the waiting window: borderless, on top of the other windows and centred
// on the screen, the picture IDB_WAITMSG with the message (text 12018) and a row of one
// to five dots that moves every 200 ms. The main window shows it during a search and
// while a document is opened, and asks it to close; it closes at the next tick.
#pragma once
#include <QString>
#include <QWidget>

class QLabel;
class QTimer;

namespace qm {

class TWaitMsgForm : public QWidget {
  Q_OBJECT

 public:
  explicit TWaitMsgForm(QWidget* parent = nullptr);

  // Shows the window, clears a pending close request and starts the dots.
  void show_wait();
  // The window closes at the next tick.
  void request_close() { close_requested_ = true; }
  bool close_requested() const { return close_requested_; }
  // One tick of the timer (public so tests step it).
  void Timer1Timer();

  QLabel* Label1;
  QTimer* Timer1;

 private:
  QString message_;
  int dots_ = 1;
  bool close_requested_ = false;
};

}  // namespace qm
