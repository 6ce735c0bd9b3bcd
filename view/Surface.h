// What the wireframe view draws on: an off-screen picture with a pen, labels and filled
// rectangles, in pixel coordinates (x to the right, y downwards, (0, 0) the top-left pixel).
// The window draws on a QImage, the command line on an SVG file or the same QImage, the tests
// on a recorder.
#pragma once

#include <cstdint>
#include <string_view>

namespace zevrin {

// The box a label takes, in pixels.
struct TextExtent {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  friend bool operator==(const TextExtent&, const TextExtent&) = default;
};

struct Rgb {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

class DrawSurface {
 public:
  virtual ~DrawSurface() = default;
  virtual void SetPenColor(Rgb color) = 0;
  virtual void MoveTo(std::int32_t x, std::int32_t y) = 0;
  // A line with the current pen from the pen position to (x, y); the pen stays at (x, y).
  virtual void LineTo(std::int32_t x, std::int32_t y) = 0;
  // Text with its top-left corner at (x, y) in `color` at `point_size` points, on an opaque
  // background of the current fill colour. The pen does not move.
  virtual void TextOut(std::int32_t x, std::int32_t y, std::string_view text, Rgb color,
                       std::int32_t point_size) = 0;
  // Sets the fill colour and fills the rectangle from (x0, y0) up to but excluding (x1, y1).
  virtual void FillRect(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                        Rgb color) = 0;
  // The box TextOut fills for a label of `length` ASCII characters at `point_size` points.
  // This version is the layout of the SVG picture: the size in pixels at 96 dots per inch as
  // the height, half of it (rounded up) per character.
  virtual TextExtent MeasureLabel(std::int32_t length, std::int32_t point_size) {
    const std::int64_t px = (std::int64_t{point_size} * 96 * 2 + 72) / (72 * 2);
    return {static_cast<std::int32_t>(length * ((px + 1) / 2)), static_cast<std::int32_t>(px)};
  }
};

}  // namespace zevrin
