// The waiting window (see wait_msg_form.h).
#include "desktop/forms/wait_msg_form.h"

#include <QApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "desktop/app.h"
#include "desktop/big5_qt.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"

namespace qm {

TWaitMsgForm::TWaitMsgForm(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("WaitMsgForm"));
  QApplication::processEvents();
  message_ = utf8_to_qstring(load_text(text::kWaitSearching));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* panel = new QFrame(this);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  auto* inner = new QVBoxLayout(panel);
  auto* image = new QLabel(panel);
  image->setObjectName(QStringLiteral("Image1"));
  image->setScaledContents(true);
  image->setAlignment(Qt::AlignCenter);
  const QPixmap picture = desktop_picture("IDB_WAITMSG");
  image->setPixmap(picture);
  inner->addWidget(image, 1);
  Label1 = new QLabel(panel);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setAttribute(Qt::WA_TranslucentBackground);
  inner->addWidget(Label1);
  layout->addWidget(panel);
  resize(picture.isNull() ? QSize(240, 80) : picture.size() + QSize(16, 40));
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(200);
  connect(Timer1, &QTimer::timeout, this, &TWaitMsgForm::Timer1Timer);
  QApplication::processEvents();
}

void TWaitMsgForm::show_wait() {
  if (QScreen* s = QGuiApplication::primaryScreen())
    move(s->geometry().center() - rect().center());
  show();
  close_requested_ = false;
  Timer1->start();
  raise();
  QApplication::processEvents();
}

void TWaitMsgForm::Timer1Timer() {
  if (close_requested_) {
    Timer1->stop();
    close();
    return;
  }
  if (dots_ == 6) dots_ = 1;
  Label1->setText(message_ + QString(dots_, QLatin1Char('.')));
  ++dots_;
}

}  // namespace qm
