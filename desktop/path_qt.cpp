// Paths at the widget boundary (see path_qt.h). The bytes ride along as dynamic
// properties of a line edit and as item data of a list cell.
#include "desktop/path_qt.h"

#include <QByteArray>
#include <QFile>
#include <QLineEdit>
#include <QTreeWidgetItem>
#include <QVariant>

#include "common/big5_codec.h"
#include "desktop/big5_qt.h"

namespace qm {

namespace {
constexpr char kBytesProperty[] = "qm_path_bytes";
constexpr char kShownProperty[] = "qm_path_shown";
constexpr int kBytesRole = Qt::UserRole + 7;

QByteArray byte_array(std::string_view s) { return QByteArray(s.data(), qsizetype(s.size())); }
std::string std_string(const QByteArray& a) { return std::string(a.constData(), size_t(a.size())); }
}  // namespace

QString path_to_qstring(std::string_view path) {
  // Bytes that are not UTF-8 are a name from the old system's Big5 world: shown as Big5
  // rather than as replacement characters.
  for (size_t i = 0; i < path.size();) {
    char32_t code = 0;
    const size_t n = static_cast<unsigned char>(path[i]) < 0x80 ? 1 : utf8_decode(path, i, code);
    if (n == 0) return big5_to_qstring(path);
    i += n;
  }
  return QFile::decodeName(byte_array(path));
}

std::string qstring_to_path(const QString& path) { return std_string(QFile::encodeName(path)); }

void set_path_edit(QLineEdit* edit, std::string_view path) {
  const QString shown = path_to_qstring(path);
  edit->setProperty(kBytesProperty, byte_array(path));
  edit->setProperty(kShownProperty, shown);
  edit->setText(shown);
}

std::string path_edit_bytes(const QLineEdit* edit) {
  const QVariant shown = edit->property(kShownProperty);
  if (shown.isValid() && shown.toString() == edit->text())
    return std_string(edit->property(kBytesProperty).toByteArray());
  return qstring_to_path(edit->text());
}

void set_path_cell(QTreeWidgetItem* item, int column, std::string_view path) {
  item->setText(column, path_to_qstring(path));
  item->setData(column, kBytesRole, byte_array(path));
}

std::string path_cell_bytes(const QTreeWidgetItem* item, int column) {
  const QVariant bytes = item->data(column, kBytesRole);
  if (bytes.isValid()) return std_string(bytes.toByteArray());
  return qstring_to_path(item->text(column));
}

}  // namespace qm
