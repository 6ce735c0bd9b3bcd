// The view's raster picture: a QImage drawn with QPainter, shared by the window and the
// command line's PNG output so that both show the same pixels. Lines are one pixel wide and
// not antialiased, and leave out their end pixel as the platform's own line drawing does, so
// that a polyline sets each joint once. Labels use VL Gothic when it is installed (it also
// draws Japanese), else the default font, also without antialiasing.
//
// Needs a QGuiApplication for the fonts. Lives outside the core, which knows no toolkit.
#pragma once

#include <QByteArray>
#include <QFont>
#include <QImage>
#include <cstdint>
#include <memory>
#include <string_view>

#include "view/Surface.h"

class QPainter;

namespace zevrin {

class QtSurface : public DrawSurface {
 public:
  // A white picture; pen black at (0, 0), fill colour white. Raises std::bad_alloc when the
  // picture cannot be allocated.
  QtSurface(std::int32_t width, std::int32_t height);
  ~QtSurface() override;
  QtSurface(const QtSurface&) = delete;
  QtSurface& operator=(const QtSurface&) = delete;

  void SetPenColor(Rgb color) override;
  void MoveTo(std::int32_t x, std::int32_t y) override;
  void LineTo(std::int32_t x, std::int32_t y) override;
  void TextOut(std::int32_t x, std::int32_t y, std::string_view text, Rgb color,
               std::int32_t point_size) override;
  void FillRect(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                Rgb color) override;
  // The box TextOut fills for `length` digits (or a sign) in the label font, at its widest.
  TextExtent MeasureLabel(std::int32_t length, std::int32_t point_size) override;

  // The picture so far, ready to copy or save; drawing may go on afterwards.
  const QImage& Image();
  // The picture as the bytes of a PNG file.
  QByteArray Png();

  // The label font at `point_size` points, sized in pixels at 96 dots per inch so that a
  // picture does not depend on the screen it is made for.
  static QFont LabelFont(std::int32_t point_size);

 private:
  // The painter, begun on the picture on first use after Image().
  QPainter& Painter();

  QImage image_;
  std::unique_ptr<QPainter> painter_;
  Rgb pen_{0, 0, 0};
  Rgb fill_{255, 255, 255};
  std::int32_t pen_x_ = 0;
  std::int32_t pen_y_ = 0;
};

}  // namespace zevrin
