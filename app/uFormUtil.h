// Small pieces the windows share: the design font, placing a window in the middle of its
// screen, and the conversions between the core's byte strings and Qt's texts.
#pragma once

#include <QFont>
#include <QString>
#include <string>

#include "app/session/uAppConst.h"

class QWidget;

namespace zevrin {

// "ＭＳ Ｐゴシック" 12 pixels high where it exists; elsewhere the nearest Japanese gothic face
// (VL PGothic from fonts-vlgothic), so that Japanese captions never draw as empty boxes.
QFont DesignFont();

// Moves a top-level window so that it stands in the middle of the screen it is on.
void CentreOnScreen(QWidget& window);

// The core's texts are UTF-8 (its messages) or bytes of the file system (paths); on this
// platform both are the local 8-bit encoding, UTF-8.
inline QString FromCore(const std::string& text) { return QString::fromStdString(text); }
inline std::string ToCore(const QString& text) { return text.toStdString(); }

}  // namespace zevrin
