#include "view/M_scr.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "model/tree/AM_common.h"
#include "util/Errors.h"

namespace zevrin {
namespace {

// Nearest integer with ties to even (the default rounding mode), checked against the 32-bit
// range. NaN fails the check too.
std::int32_t nearestChecked(long double value) {
  const long double r = std::nearbyint(value);
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
// has to fit. The extended sum is exact for any offset that could land in range.
std::int32_t Mscreen::PixelX(long double h) const {
  return nearestChecked(OriginX + std::nearbyint(h * Scale));
}

std::int32_t Mscreen::PixelY(long double v) const {
  return nearestChecked(OriginY - std::nearbyint(v * Scale));
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
}

void Mscreen::DrawGrid(long double step) {
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

}  // namespace zevrin
