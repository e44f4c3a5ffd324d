// TWelcomeForm, the splash window: a borderless window centred on the screen showing the
// picture IDB_WELCOME in a raised panel, from the program's start until the main window
// is first shown (desktop/app.cpp closes it).
#pragma once
#include <QWidget>

namespace qm {

class TWelcomeForm : public QWidget {
  Q_OBJECT

 public:
  explicit TWelcomeForm(QWidget* parent = nullptr);
};

}  // namespace qm
