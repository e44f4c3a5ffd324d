// The splash window (see welcome_form.h).
#include "desktop/forms/welcome_form.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

#include "desktop/app.h"

namespace qm {

TWelcomeForm::TWelcomeForm(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("WelcomeForm"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* panel = new QFrame(this);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setLineWidth(2);
  auto* inner = new QVBoxLayout(panel);
  inner->setContentsMargins(2, 2, 2, 2);
  auto* image = new QLabel(panel);
  image->setObjectName(QStringLiteral("Image1"));
  image->setScaledContents(true);
  const QPixmap picture = desktop_picture("IDB_WELCOME");
  image->setPixmap(picture);
  inner->addWidget(image);
  layout->addWidget(panel);
  resize(picture.isNull() ? QSize(400, 250) : picture.size() + QSize(8, 8));
  if (QScreen* s = QGuiApplication::primaryScreen())
    move(s->geometry().center() - rect().center());
}

}  // namespace qm
