#include "view/qt/RgbaPng.h"

#include <QBuffer>

namespace zevrin {

QImage ImageOf(const RgbaImage& picture) {
  if (picture.Width <= 0 || picture.Height <= 0) return {};
  const QImage view(picture.Pixels.data(), picture.Width, picture.Height, picture.Width * 4,
                    QImage::Format_RGBA8888);
  return view.copy();  // the QImage above only borrows the pixels
}

QByteArray PngOf(const RgbaImage& picture) {
  const QImage image = ImageOf(picture).convertToFormat(QImage::Format_RGB888);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (image.isNull() || !image.save(&buffer, "PNG")) return {};
  return bytes;
}

}  // namespace zevrin
