// The shaded view's software picture as a PNG file's bytes, through Qt's image writer. Needs no
// QGuiApplication and no display.
#pragma once

#include <QByteArray>
#include <QImage>

#include "view/ShadedRaster.h"

namespace zevrin {

// A copy of the picture as a QImage (RGBA, 8 bits a channel).
QImage ImageOf(const RgbaImage& picture);
// The picture as PNG bytes; empty when Qt could not encode it.
QByteArray PngOf(const RgbaImage& picture);

}  // namespace zevrin
