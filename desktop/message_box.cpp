// QMessageBox sink (see message_box.h).
#include "desktop/message_box.h"

#include <QMessageBox>

namespace qm {

int QtMessageSink::show(const std::string& text, const std::string& caption, int style) {
  QMessageBox box(parent_);
  box.setText(QString::fromStdString(text));
  box.setWindowTitle(QString::fromStdString(caption));
  switch (style & 0xF0) {
    case 16:
      box.setIcon(QMessageBox::Critical);
      break;
    case 32:
      box.setIcon(QMessageBox::Question);
      break;
    case 48:
      box.setIcon(QMessageBox::Warning);
      break;
    case 64:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      break;
  }
  switch (style & 0xF) {
    case 1:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
    case 4:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    default:
      box.setStandardButtons(QMessageBox::Ok);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Cancel:
      return kAnswerCancel;
    case QMessageBox::Yes:
      return kAnswerYes;
    case QMessageBox::No:
      return kAnswerNo;
    default:
      return kAnswerOk;
  }
}

}  // namespace qm
