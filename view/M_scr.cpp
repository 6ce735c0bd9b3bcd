#include "view/M_scr.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "model/tree/AM_common.h"
#include "util/Errors.h"
#include "util/Ustrlib.h"

namespace zevrin {
namespace {

// Nearest integer with ties to even in the default rounding mode. rint gives what nearbyint
// gives (it may only also raise the inexact flag, which nothing reads), without saving and
// restoring the floating-point state each time: a tenth of the cost, two calls per point drawn.
long double nearest(long double value) { return std::rint(value); }

// The nearest integer, checked against the 32-bit range. NaN fails the check too.
std::int32_t nearestChecked(long double value) {
  const long double r = nearest(value);
  if (!(r >= static_cast<long double>(INT32_MIN) && r <= static_cast<long double>(INT32_MAX)))
    throw ZevrinError(ErrorKind::RangeCheck, "");
  return static_cast<std::int32_t>(r);
}

constexpr Rgb kLabelColor{0, 128, 0};
constexpr std::int32_t kLabelPoints = 9;

}  // namespace

void Mscreen::SetCanvas(DrawSurface* canvas, std::int32_t width, std::int32_t height) {
  Canvas = canvas;
  Width = width;
  Height = height;
  labels_.Reset(Width, Height);
  labels_shown_ = labels_left_out_ = 0;
  for (TextExtent& box : label_boxes_) box = {};
  Recompute();
}

void Mscreen::SetExtent(long double left, long double top, long double right, long double bottom) {
  constexpr long double kMargin = 1.1L;
  Left = left < 0 ? left * kMargin : -0.1L;
  Top = top > 0 ? top * kMargin : 0.1L;
  Right = right > 0 ? right * kMargin : 0.1L;
  Bottom = bottom < 0 ? bottom * kMargin : -0.1L;
  Recompute();
}

void Mscreen::Recompute() {
  const long double h_ext = std::fabs(Left) + std::fabs(Right);
  const long double v_ext = std::fabs(Top) + std::fabs(Bottom);
  // A picture without area (a minimised window) has no scale: the ratio rule gives 0 there as
  // well, but would divide by zero to find it. The origins are still placed.
  if (Width == 0 || Height == 0) {
    Scale = 0;
  } else if (static_cast<long double>(Width) / Height >= h_ext / v_ext) {
    Scale = Height / v_ext;
  } else {
    Scale = Width / h_ext;
  }
  OriginX = nearestChecked(std::fabs(Left) / h_ext * Width);
  OriginY = nearestChecked(std::fabs(Top) / v_ext * Height);
}

void Mscreen::Project(long double x, long double y, long double z) {
  switch (Direction) {
    case ViewKind::Front:
      ProjH = static_cast<double>(x);
      ProjV = static_cast<double>(y);
      break;
    case ViewKind::Left:
      ProjH = static_cast<double>(z);
      ProjV = static_cast<double>(y);
      break;
    default:
      ProjH = static_cast<double>(x);
      ProjV = static_cast<double>(z);
      break;
  }
}

// The origin and the rounded offset are added before the range is checked: only the pixel itself
// has to fit. The extended sum is exact for any offset that could land in range. The zoom and
// the shift enter the offset; at zoom 1 without shift it is the fitted one exactly (a product
// with 1 and a sum with 0 change no value).
std::int32_t Mscreen::PixelX(long double h) const {
  return nearestChecked(OriginX + nearest(ShiftX + h * DrawScale()));
}

std::int32_t Mscreen::PixelY(long double v) const {
  return nearestChecked(OriginY - nearest(v * DrawScale() - ShiftY));
}

long double Mscreen::ViewH(long double x) const {
  const long double s = DrawScale();
  return s > 0 ? (x - OriginX - ShiftX) / s : 0;
}

long double Mscreen::ViewV(long double y) const {
  const long double s = DrawScale();
  return s > 0 ? (OriginY + ShiftY - y) / s : 0;
}

bool Mscreen::ZoomAbout(long double factor, long double x, long double y) {
  long double zoom = std::clamp(Zoom * factor, kMinZoom, kMaxZoom);
  // Steps in and out again come back to the fitted scale, not to a neighbour of it.
  if (std::fabs(zoom - 1) < 1e-9L) zoom = 1;
  if (zoom == Zoom || !(factor > 0)) return false;
  const long double r = zoom / Zoom;
  Zoom = zoom;
  const long double dx = x - OriginX, dy = y - OriginY;
  const long double shift_x = dx - (dx - ShiftX) * r;
  const long double shift_y = dy - (dy - ShiftY) * r;
  ShiftX = ShiftY = 0;
  ShiftBy(shift_x, shift_y);
  return true;
}

void Mscreen::ShiftBy(long double dx, long double dy) {
  // The fitted window spans about the picture at zoom 1 and Zoom times it when zoomed: the
  // shift that brings its far edge to the middle is the most that is ever of use. So bounded,
  // no model point inside the window leaves the range of a pixel coordinate.
  const long double reach = std::max(Zoom, 1.0L);
  const long double limit_x = (Width + 1.0L) * reach;
  const long double limit_y = (Height + 1.0L) * reach;
  ShiftX = std::clamp(ShiftX + dx, -limit_x, limit_x);
  ShiftY = std::clamp(ShiftY + dy, -limit_y, limit_y);
  if (std::fabs(ShiftX) < 1e-9L) ShiftX = 0;
  if (std::fabs(ShiftY) < 1e-9L) ShiftY = 0;
}

void Mscreen::MoveTo3D(long double x, long double y, long double z) {
  Project(x, y, z);
  MoveTo2D(ProjH, ProjV);
}

void Mscreen::LineTo3D(long double x, long double y, long double z) {
  Project(x, y, z);
  LineTo2D(ProjH, ProjV);
}

void Mscreen::TextOut3D(std::string_view text, long double x, long double y, long double z) {
  Project(x, y, z);
  TextOut2D(text, ProjH, ProjV);
}

void Mscreen::SetPenColor(Rgb color) {
  if (Canvas) Canvas->SetPenColor(color);
}

void Mscreen::MoveTo2D(long double h, long double v) {
  if (Canvas) Canvas->MoveTo(PixelX(h), PixelY(v));
}

void Mscreen::LineTo2D(long double h, long double v) {
  if (Canvas) Canvas->LineTo(PixelX(h), PixelY(v));
}

void Mscreen::TextOut2D(std::string_view text, long double h, long double v) {
  if (Canvas) Canvas->TextOut(PixelX(h), PixelY(v), text, kLabelColor, kLabelPoints);
}

void Mscreen::ClearScreen(Rgb color) {
  if (Canvas) Canvas->FillRect(0, 0, Width, Height, color);
  labels_.Reset(Width, Height);
  labels_shown_ = labels_left_out_ = 0;
  for (TextExtent& box : label_boxes_) box = {};
}

void Mscreen::LabelPoint3D(std::int32_t id, long double x, long double y, long double z) {
  Project(x, y, z);
  const std::int32_t px = PixelX(ProjH);
  const std::int32_t py = PixelY(ProjV);
  if (!Canvas) return;
  // Most points of a crowded picture end here, before their label's size is known.
  if (labels_.IsTaken(px, py)) {
    ++labels_left_out_;
    return;
  }
  // The decimal digits and the sign, without writing the text: most labels of a crowded
  // picture are never written.
  std::int32_t length = id < 0 ? 2 : 1;
  for (std::int64_t rest = id < 0 ? -std::int64_t{id} : id; rest >= 10; rest /= 10) ++length;
  TextExtent& box = label_boxes_[length];
  if (box.Height <= 0) {
    box = Canvas->MeasureLabel(length, kLabelPoints);
    box.Width = std::max(box.Width, 1);
    box.Height = std::max(box.Height, 1);
  }
  switch (labels_.Take(px, py, std::int64_t{px} + box.Width, std::int64_t{py} + box.Height)) {
    case LabelSpace::Outcome::Outside:
      return;
    case LabelSpace::Outcome::Overlaps:
      ++labels_left_out_;
      return;
    case LabelSpace::Outcome::Taken:
      ++labels_shown_;
      Canvas->TextOut(px, py, IntToStr(id), kLabelColor, kLabelPoints);
      return;
  }
}

void Mscreen::DrawGrid(long double step) {
  if (!IsFitted()) {
    DrawGridShifted(step);
    return;
  }
  SetPenColor({128, 128, 128});
  // Each run draws its line at 0 before it tests, so that line appears even when the window
  // does not reach it.
  const auto line = [&](bool vertical, long double t) {
    if (vertical) {
      MoveTo2D(t, Top);
      LineTo2D(t, Bottom);
    } else {
      MoveTo2D(Left, t);
      LineTo2D(Right, t);
    }
  };
  const auto run = [&](bool vertical, long double delta, long double end) {
    const bool forward = delta > 0;
    const auto more = [&](long double t) { return forward ? t <= end : t >= end; };
    if (Canvas && std::fabs(delta * Scale) < 1) {
      // Lines closer than a pixel cover every pixel between the first and the last line of
      // the run: draw one line per pixel instead, the same picture in time bounded by its
      // size, whatever the model's extent.
      const long double last = more(0) ? std::floor(end / delta) * delta : 0;
      const std::int32_t from = vertical ? PixelX(0) : PixelY(0);
      const std::int32_t to = vertical ? PixelX(last) : PixelY(last);
      const std::int32_t lo = std::max(std::min(from, to), -1);
      const std::int32_t hi = std::min(std::max(from, to), vertical ? Width : Height);
      const std::int32_t y0 = PixelY(Top), y1 = PixelY(Bottom);
      const std::int32_t x0 = PixelX(Left), x1 = PixelX(Right);
      for (std::int32_t p = lo; p <= hi; ++p) {
        if (vertical) {
          Canvas->MoveTo(p, y0);
          Canvas->LineTo(p, y1);
        } else {
          Canvas->MoveTo(x0, p);
          Canvas->LineTo(x1, p);
        }
      }
      return;
    }
    long double t = 0;
    int n = 0;
    do {
      line(vertical, t);
      t += delta;
      // A guard for extents the test above cannot see (no picture yet).
    } while (more(t) && ++n < 100000);
  };
  run(true, step, Right);
  run(true, -step, Left);
  run(false, -step, Bottom);
  run(false, step, Top);
  SetPenColor({0, 255, 0});
  MoveTo2D(0, Top);
  LineTo2D(0, Bottom);
  SetPenColor({255, 0, 0});
  MoveTo2D(Left, 0);
  LineTo2D(Right, 0);
}

void Mscreen::DrawGridShifted(long double step) {
  // The grid covers the fitted window, as in the fitted picture, but only as far as it can be
  // seen (a pixel beyond each edge, so that lines reach the border): its lines are at most
  // one per pixel, however far the picture is zoomed.
  const long double left = std::max(Left, ViewH(-1));
  const long double right = std::min(Right, ViewH(Width + 1.0L));
  const long double bottom = std::max(Bottom, ViewV(Height + 1.0L));
  const long double top = std::min(Top, ViewV(-1));
  if (!Canvas || !(DrawScale() > 0) || !(step > 0) || left > right || bottom > top) return;
  const auto lines = [&](bool vertical, long double from, long double to) {
    const long double first = std::ceil(from / step);
    const long double last = std::floor(to / step);
    if (first > last) return;
    const auto pixel = [&](long double t) { return vertical ? PixelX(t) : PixelY(t); };
    const auto draw = [&](std::int32_t p) {
      if (vertical) {
        Canvas->MoveTo(p, PixelY(top));
        Canvas->LineTo(p, PixelY(bottom));
      } else {
        Canvas->MoveTo(PixelX(left), p);
        Canvas->LineTo(PixelX(right), p);
      }
    };
    if (step * DrawScale() < 1) {
      // Closer than a pixel: every pixel between the first line and the last is a line.
      const std::int32_t a = pixel(first * step), b = pixel(last * step);
      for (std::int32_t p = std::min(a, b); p <= std::max(a, b); ++p) draw(p);
      return;
    }
    for (std::int64_t k = 0; first + k <= last; ++k) draw(pixel((first + k) * step));
  };
  SetPenColor({128, 128, 128});
  lines(true, left, right);
  lines(false, bottom, top);
  if (left <= 0 && 0 <= right) {
    SetPenColor({0, 255, 0});
    MoveTo2D(0, top);
    LineTo2D(0, bottom);
  }
  if (bottom <= 0 && 0 <= top) {
    SetPenColor({255, 0, 0});
    MoveTo2D(left, 0);
    LineTo2D(right, 0);
  }
}

void Mscreen::Redisplay(Mamcommon* document, ViewKind direction) {
  if (!document) return;
  static constexpr std::uint32_t kIndex[3][4] = {{0, 1, 3, 4}, {2, 1, 5, 4}, {0, 2, 3, 5}};
  const int d = direction == ViewKind::Front ? 0 : direction == ViewKind::Left ? 1 : 2;
  const long double h_min = document->GetBound(kIndex[d][0]);
  const long double v_min = document->GetBound(kIndex[d][1]);
  const long double h_max = document->GetBound(kIndex[d][2]);
  const long double v_max = document->GetBound(kIndex[d][3]);
  const long double H = std::fmax(std::fabs(h_min), std::fabs(h_max));
  const long double V = std::fmax(std::fabs(v_min), std::fabs(v_max));
  SetDirection(direction);
  SetExtent(-H, V, H, -V);
  ClearScreen({0, 0, 0});
  DrawGrid(10.0L);
  SetPenColor({255, 255, 255});
  document->Draw(*this);
}

void DrawAsAtStart(DrawSurface& surface, std::int32_t width, std::int32_t height,
                   Mamcommon* document, ViewKind direction, bool cpid) {
  Mscreen view;
  view.SetCanvas(&surface, width, height);
  view.SetExtent(-100, 100, 100, -100);
  view.SetDirection(ViewKind::Front);
  view.ShowCpid = cpid;
  view.Redisplay(document, direction);
}

}  // namespace zevrin
