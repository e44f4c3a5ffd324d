// Big5 at the widget boundary: the system's texts are Big5 bytes, Qt's are UTF-16. Both
// ways go through the common codec (common/big5_codec.h). A typed text with a character
// Big5 lacks is refused where it would be stored or sent (message 13001). Paths are not
// texts: they stay file-system bytes (QFile::encodeName/decodeName).
#pragma once
#include <QString>
#include <string>
#include <string_view>

namespace qm {

// Big5 bytes for showing; bad bytes show as U+FFFD.
QString big5_to_qstring(std::string_view big5);
// The Big5 form of a typed text; false (out untouched) when some character has none.
bool qstring_to_big5(const QString& text, std::string& out);
// As qstring_to_big5, showing message 13001 when the text is refused.
bool qstring_to_big5_or_warn(const QString& text, std::string& out);

// UTF-8 texts of the text tables.
inline QString utf8_to_qstring(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace qm
