#include "view/SegmentSurface.h"

namespace zevrin {

void SegmentSurface::MoveTo(std::int32_t x, std::int32_t y) {
  x_ = x;
  y_ = y;
}

void SegmentSurface::LineTo(std::int32_t x, std::int32_t y) {
  if (Runs.empty() || !(Runs.back().Color == pen_)) Runs.push_back({SegmentCount(), pen_});
  Lines.insert(Lines.end(), {x_, y_, x, y});
  x_ = x;
  y_ = y;
}

void SegmentSurface::TextOut(std::int32_t x, std::int32_t y, std::string_view text, Rgb color,
                             std::int32_t point_size) {
  Labels.push_back({x, y, SegmentCount(), color, fill_, point_size, std::string(text)});
}

void SegmentSurface::FillRect(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                              Rgb color) {
  fill_ = color;
  // Only a fill of the whole picture occurs (the view's clearing); it hides everything.
  (void)x0, (void)y0, (void)x1, (void)y1;
  Lines.clear();
  Runs.clear();
  Labels.clear();
  Background = color;
}

}  // namespace zevrin
