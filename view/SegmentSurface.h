// The view's picture as a list of line segments and labels, for a front end that draws them
// itself (the web page, on a canvas). The lines come out in the order drawn, grouped in runs of
// one pen colour, and each label says how many segments were drawn before it, so that the
// picture can be repeated exactly: a label's opaque background hides the lines drawn before
// it and not those drawn after.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "view/Surface.h"

namespace zevrin {

class SegmentSurface : public DrawSurface {
 public:
  // Segments drawn from Run.First on (up to the next run's First) have this colour.
  struct Run {
    std::uint32_t First = 0;
    Rgb Color;
  };
  struct Label {
    std::int32_t X = 0;  // top-left corner, pixels
    std::int32_t Y = 0;
    std::uint32_t After = 0;  // segments drawn before it
    Rgb Color;
    Rgb Background;
    std::int32_t PointSize = 0;
    std::string Text;
  };

  // x0, y0, x1, y1 of each segment, in pixels.
  std::vector<std::int32_t> Lines;
  std::vector<Run> Runs;
  std::vector<Label> Labels;
  // The last fill, which clears the whole picture in a redisplay; white before any.
  Rgb Background{255, 255, 255};

  std::uint32_t SegmentCount() const { return static_cast<std::uint32_t>(Lines.size() / 4); }

  void SetPenColor(Rgb color) override { pen_ = color; }
  void MoveTo(std::int32_t x, std::int32_t y) override;
  void LineTo(std::int32_t x, std::int32_t y) override;
  void TextOut(std::int32_t x, std::int32_t y, std::string_view text, Rgb color,
               std::int32_t point_size) override;
  // Filling the picture starts it anew: what was drawn before lies under the fill.
  void FillRect(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                Rgb color) override;

 private:
  Rgb pen_{0, 0, 0};
  Rgb fill_{255, 255, 255};
  std::int32_t x_ = 0;
  std::int32_t y_ = 0;
};

}  // namespace zevrin
