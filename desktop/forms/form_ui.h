// Small helpers the desktop's forms and main window share while building their widgets:
// a text of the text tables as a QString, an object given its name (the tests find the
// widgets by it), a named menu action, and the Enter key pressed in a given edit. Builds
// on texts.h and big5_qt.h; the forms under forms/ and main_form*.cpp call it.
#pragma once
#include <QEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QString>

#include "desktop/big5_qt.h"
#include "desktop/texts.h"

namespace qm {

// The text `id` of the text tables in the current language.
inline QString ui_text(int id) { return utf8_to_qstring(load_text(id)); }

// The object, named `name`.
template <class W>
W* named(W* object, const char* name) {
  object->setObjectName(QString::fromLatin1(name));
  return object;
}

// A new action at the end of the menu, named `name`; its text is set later.
inline QAction* named_action(QMenu* menu, const char* name) {
  QAction* a = menu->addAction(QString());
  a->setObjectName(QString::fromLatin1(name));
  return a;
}

// True when the event is Return or Enter pressed in `edit`.
inline bool enter_pressed_in(const QObject* watched, const QObject* edit, const QEvent* event) {
  if (watched != edit || event->type() != QEvent::KeyPress) return false;
  const int key = static_cast<const QKeyEvent*>(event)->key();
  return key == Qt::Key_Return || key == Qt::Key_Enter;
}

}  // namespace qm
