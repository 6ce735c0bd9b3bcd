// The view's picture as an SVG document: the command line's vector output. The text depends
// only on the calls made, so equal drawings give equal bytes.
//
// It follows the raster picture closely: lines run through pixel centres with crisp edges,
// consecutive segments in one pen colour become one polyline, and everything appears in the
// order it was drawn, so a label's background hides the lines drawn before it and not those
// drawn after. Labels are laid out for the monospaced VL Gothic that the raster picture uses
// (at 9 points: 12 pixels high, 6 wide per narrow character, 12 per wide one).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "view/Surface.h"

namespace zevrin {

class SvgSurface : public DrawSurface {
 public:
  // An empty picture; pen black at (0, 0), fill colour white, as on a fresh raster picture.
  SvgSurface(std::int32_t width, std::int32_t height);

  void SetPenColor(Rgb color) override;
  void MoveTo(std::int32_t x, std::int32_t y) override;
  void LineTo(std::int32_t x, std::int32_t y) override;
  void TextOut(std::int32_t x, std::int32_t y, std::string_view text, Rgb color,
               std::int32_t point_size) override;
  void FillRect(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                Rgb color) override;

  // The complete document for what has been drawn so far; drawing may go on afterwards.
  std::string Text() const;

 private:
  // Moves the open polyline, if any, into the body.
  void CloseLine();
  void AppendOpenLine(std::string& out) const;

  std::int32_t width_;
  std::int32_t height_;
  Rgb pen_{0, 0, 0};
  Rgb fill_{255, 255, 255};
  std::int32_t pen_x_ = 0;
  std::int32_t pen_y_ = 0;
  // The polyline being drawn: its points, in pixels; empty when none is open.
  std::vector<std::pair<std::int32_t, std::int32_t>> points_;
  std::string body_;
};

}  // namespace zevrin
