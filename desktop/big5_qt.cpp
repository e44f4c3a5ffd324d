// Big5 and Qt strings (see big5_qt.h).
#include "desktop/big5_qt.h"

#include "common/big5_codec.h"
#include "desktop/messages.h"
#include "desktop/text_ids.h"

namespace qm {

QString big5_to_qstring(std::string_view big5) {
  return QString::fromStdString(big5_to_utf8(big5));
}

bool qstring_to_big5(const QString& text, std::string& out) {
  return big5_from_utf8(text.toStdString(), out);
}

bool qstring_to_big5_or_warn(const QString& text, std::string& out) {
  if (qstring_to_big5(text, out)) return true;
  ShowMessageById(text::kMsgNotBig5, text::kCaptionError, kStyleStop);
  return false;
}

}  // namespace qm
