#include "view/qt/QtSurface.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QString>
#include <algorithm>
#include <new>

namespace zevrin {
namespace {

QColor qcolor(Rgb c) { return QColor(c.r, c.g, c.b); }

}  // namespace

QtSurface::QtSurface(std::int32_t width, std::int32_t height)
    : image_(width, height, QImage::Format_RGB32) {
  if (image_.isNull()) throw std::bad_alloc();
  image_.fill(Qt::white);
}

QtSurface::~QtSurface() = default;

QFont QtSurface::LabelFont(std::int32_t point_size) {
  static const bool have_vl_gothic = QFontDatabase::families().contains("VL Gothic");
  QFont font = have_vl_gothic ? QFont("VL Gothic") : QFont();
  const std::int64_t pixels = (std::int64_t{point_size} * 96 * 2 + 72) / (72 * 2);  // nearest
  font.setPixelSize(static_cast<int>(pixels < 1 ? 1 : pixels));
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

QPainter& QtSurface::Painter() {
  if (!painter_) {
    painter_ = std::make_unique<QPainter>(&image_);
    painter_->setRenderHint(QPainter::Antialiasing, false);
    painter_->setRenderHint(QPainter::TextAntialiasing, false);
    QPen pen(qcolor(pen_));
    pen.setWidth(1);
    pen.setCosmetic(true);
    pen.setCapStyle(Qt::FlatCap);
    painter_->setPen(pen);
  }
  return *painter_;
}

const QImage& QtSurface::Image() {
  painter_.reset();
  return image_;
}

QByteArray QtSurface::Png() {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  Image().save(&buffer, "PNG");
  return bytes;
}

void QtSurface::SetPenColor(Rgb color) {
  pen_ = color;
  if (painter_) {
    QPen pen = painter_->pen();
    pen.setColor(qcolor(color));
    painter_->setPen(pen);
  }
}

void QtSurface::MoveTo(std::int32_t x, std::int32_t y) {
  pen_x_ = x;
  pen_y_ = y;
}

void QtSurface::LineTo(std::int32_t x, std::int32_t y) {
  // The painter clips in floating point, so endpoints anywhere in the 32-bit range are fine.
  Painter().drawLine(QPoint(pen_x_, pen_y_), QPoint(x, y));
  pen_x_ = x;
  pen_y_ = y;
}

void QtSurface::TextOut(std::int32_t x, std::int32_t y, std::string_view text, Rgb color,
                        std::int32_t point_size) {
  if (text.empty()) return;
  const QString label = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  const QFont font = LabelFont(point_size);
  const QFontMetrics metrics(font);
  const std::int64_t width = metrics.horizontalAdvance(label);
  const std::int64_t height = metrics.height();
  // A label wholly outside the picture is left out: its box could not even be described in
  // the painter's int coordinates near the ends of the 32-bit range.
  if (x + width <= 0 || y + height <= 0 || x >= image_.width() || y >= image_.height()) return;
  QPainter& painter = Painter();
  painter.fillRect(QRect(x, y, static_cast<int>(width), static_cast<int>(height)), qcolor(fill_));
  const QPen line_pen = painter.pen();
  painter.setFont(font);
  painter.setPen(qcolor(color));
  painter.drawText(QPoint(x, y + metrics.ascent()), label);
  painter.setPen(line_pen);
}

TextExtent QtSurface::MeasureLabel(std::int32_t length, std::int32_t point_size) {
  const QFontMetrics metrics(LabelFont(point_size));
  int widest = 0;
  for (const char c : std::string_view("0123456789-"))
    widest = std::max(widest, metrics.horizontalAdvance(QLatin1Char(c)));
  return {length * widest, metrics.height()};
}

void QtSurface::FillRect(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                         Rgb color) {
  fill_ = color;
  // Clamped to the picture first, so that the width and height fit in an int.
  const std::int32_t left = x0 < 0 ? 0 : x0;
  const std::int32_t top = y0 < 0 ? 0 : y0;
  const std::int32_t right = x1 > image_.width() ? image_.width() : x1;
  const std::int32_t bottom = y1 > image_.height() ? image_.height() : y1;
  if (right <= left || bottom <= top) return;
  Painter().fillRect(QRect(left, top, right - left, bottom - top), qcolor(color));
}

}  // namespace zevrin
