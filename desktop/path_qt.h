// Paths at the widget boundary. A path is not a text: it stays the file system's bytes,
// shown through the file-name codec (QFile::decodeName; bytes that are not UTF-8, a name
// from the old system, as Big5) and taken back through it (QFile::encodeName) only where
// a person typed it. A path the program found keeps its own
// bytes beside what a widget shows, so a name in another encoding than the file system's
// (a Big5 name on a UTF-8 system) goes back byte for byte. Builds on Qt; the forms and the
// hit list use it (Big5 texts go through big5_qt.h instead).
#pragma once
#include <QString>
#include <string>
#include <string_view>

class QLineEdit;
class QTreeWidgetItem;

namespace qm {

// A path's bytes for showing: UTF-8 through the file-name codec, other bytes as Big5.
QString path_to_qstring(std::string_view path);
// The bytes of a path a person typed or chose in a Qt dialog.
std::string qstring_to_path(const QString& path);

// A line edit showing the path; path_edit_bytes gives the bytes back exactly while the
// text is the one shown, else the typed text through the codec.
void set_path_edit(QLineEdit* edit, std::string_view path);
std::string path_edit_bytes(const QLineEdit* edit);

// A list cell holding a path or file name: shown decoded, its bytes kept.
void set_path_cell(QTreeWidgetItem* item, int column, std::string_view path);
std::string path_cell_bytes(const QTreeWidgetItem* item, int column);

}  // namespace qm
