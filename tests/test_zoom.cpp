// Looking closer at the wireframe: zoom and shift on top of the fitted projection (the fitted
// picture itself unchanged), the grid of a zoomed picture bounded by the picture, and labels
// left out where they would cover others, against a literal overlap test.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "model/tree/AM5_super.h"
#include "tests/RecordingSurface.h"
#include "view/LabelSpace.h"
#include "view/M_scr.h"

namespace zevrin {
namespace {

using test::RecordingSurface;

// A document root whose box is min..max, with one white line across it.
class Boxed : public M5amsuper {
 public:
  Boxed(Vec3 min, Vec3 max) {
    BoundsMin = min;
    BoundsMax = max;
  }
  void Draw(Mscreen& view) override {
    view.MoveTo3D(BoundsMin.x, BoundsMin.y, 0);
    view.LineTo3D(BoundsMax.x, BoundsMax.y, 0);
  }
};

std::vector<std::string> picture(Mscreen& view, Boxed& doc) {
  RecordingSurface surface;
  view.SetCanvas(&surface, 400, 300);
  view.Redisplay(&doc, ViewKind::Front);
  view.Canvas = nullptr;
  return surface.Log;
}

TEST(Zoom, BackToTheFitGivesTheFittedPictureExactly) {
  Boxed doc({-50, 0, 0}, {20, 80, 0});
  Mscreen view;
  view.SetExtent(-100, 100, 100, -100);
  const std::vector<std::string> fitted = picture(view, doc);

  view.ZoomAbout(1.25L, 37, 81);
  view.ZoomAbout(1.25L, 300, 20);
  view.ShiftBy(13, -7);
  EXPECT_FALSE(view.IsFitted());
  const std::vector<std::string> zoomed = picture(view, doc);
  EXPECT_NE(zoomed, fitted);
  // The fit of a redisplay leaves the zoom alone: the same zoomed picture again.
  EXPECT_EQ(picture(view, doc), zoomed);
  view.Fit();
  EXPECT_EQ(picture(view, doc), fitted);

  // Steps in and out about one pixel come back to the fitted picture by themselves.
  for (int i = 0; i < 5; ++i) view.ZoomAbout(1.25L, 123, 45);
  for (int i = 0; i < 5; ++i) view.ZoomAbout(0.8L, 123, 45);
  EXPECT_TRUE(view.IsFitted());
  EXPECT_EQ(picture(view, doc), fitted);
}

TEST(Zoom, ThePointUnderTheCursorStaysThere) {
  RecordingSurface surface;
  Mscreen view;
  view.SetCanvas(&surface, 640, 480);
  view.SetExtent(-300, 200, 300, -200);
  std::mt19937 random(7);
  std::uniform_real_distribution<double> unit(-1, 1);
  std::uniform_real_distribution<double> factor(0.5, 2.0);
  int zooms = 0;
  for (int i = 0; i < 4000; ++i) {
    // A point of the model's window, and its pixel where it is on the picture.
    const long double h = view.Right * unit(random), v = view.Top * unit(random);
    const long double scale = view.Scale * view.Zoom;
    const long double x = view.OriginX + view.ShiftX + h * scale;
    const long double y = view.OriginY + view.ShiftY - v * scale;
    if (x < 0 || x >= 640 || y < 0 || y >= 480) continue;
    if (!view.ZoomAbout(factor(random), x, y)) continue;
    ++zooms;
    EXPECT_NEAR(view.PixelX(h), x, 1) << i;
    EXPECT_NEAR(view.PixelY(v), y, 1) << i;
    if (view.Zoom > 8 || view.Zoom < 0.1L) view.Fit();
  }
  EXPECT_GT(zooms, 300);
}

TEST(Zoom, StaysWithinItsLimitsAndEveryPointOfTheWindowKeepsAPixel) {
  RecordingSurface surface;
  Mscreen view;
  view.SetCanvas(&surface, 1920, 1080);
  view.SetExtent(-1e6L, 1e6L, 1e6L, -1e6L);
  EXPECT_TRUE(view.ZoomAbout(1e9L, 0, 0));
  EXPECT_EQ(view.Zoom, Mscreen::kMaxZoom);
  EXPECT_FALSE(view.ZoomAbout(2, 0, 0));
  // As far as the shift goes, the window's corners still map to pixels (no range error).
  for (const long double d : {1e12L, -1e12L}) {
    view.ShiftBy(d, d);
    EXPECT_NO_THROW(view.PixelX(view.Left));
    EXPECT_NO_THROW(view.PixelX(view.Right));
    EXPECT_NO_THROW(view.PixelY(view.Top));
    EXPECT_NO_THROW(view.PixelY(view.Bottom));
  }
  view.Fit();
  EXPECT_TRUE(view.ZoomAbout(1e-9L, 5, 5));
  EXPECT_EQ(view.Zoom, Mscreen::kMinZoom);
  EXPECT_FALSE(view.ZoomAbout(0.5L, 5, 5));
  EXPECT_FALSE(view.ZoomAbout(0, 5, 5));
}

TEST(Zoom, TheGridOfAZoomedPictureHasAtMostALinePerPixel) {
  const std::int32_t w = 500, h = 400;
  for (const long double box : {1.0L, 1000.0L, 1e7L}) {
    for (const long double zoom : {0.01L, 0.3L, 3.0L, 10000.0L}) {
      SCOPED_TRACE(std::to_string(static_cast<double>(box)) + " zoomed " +
                   std::to_string(static_cast<double>(zoom)));
      RecordingSurface surface;
      Mscreen view;
      view.SetCanvas(&surface, w, h);
      view.SetExtent(-box, box, box, -box);
      view.ZoomAbout(zoom, 170, 230);
      view.DrawGrid(10);
      EXPECT_LE(surface.Segments.size(), static_cast<std::size_t>(w + h + 8));
      for (const auto& s : surface.Segments) {
        EXPECT_GE(std::min(s.x0, s.x1), -2);
        EXPECT_LE(std::max(s.x0, s.x1), w + 2);
        EXPECT_GE(std::min(s.y0, s.y1), -2);
        EXPECT_LE(std::max(s.y0, s.y1), h + 2);
      }
    }
  }
}

TEST(Zoom, ZoomingInSpreadsTheGridLines) {
  RecordingSurface fitted_surface, zoomed_surface;
  Mscreen fitted, zoomed;
  for (auto [view, surface] : {std::pair{&fitted, &fitted_surface}, {&zoomed, &zoomed_surface}}) {
    view->SetCanvas(surface, 400, 400);
    view->SetExtent(-100, 100, 100, -100);
  }
  zoomed.ZoomAbout(2, 200, 200);
  fitted.DrawGrid(10);
  zoomed.DrawGrid(10);
  const auto columns = [](const RecordingSurface& s) {
    std::vector<std::int32_t> xs;
    for (const auto& seg : s.Segments)
      if (seg.x0 == seg.x1 && seg.color == Rgb{128, 128, 128}) xs.push_back(seg.x0);
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    return xs;
  };
  const std::vector<std::int32_t> a = columns(fitted_surface), b = columns(zoomed_surface);
  ASSERT_GE(a.size(), 3u);
  ASSERT_GE(b.size(), 3u);
  EXPECT_NEAR(b[1] - b[0], 2 * (a[1] - a[0]), 1);
  // The middle of the picture keeps its grid line (x = 0 there).
  EXPECT_NE(std::find(b.begin(), b.end(), 200), b.end());
}

// The literal rule: a box is taken when, clipped to the picture, it is not empty and meets
// none of the boxes taken before.
struct LiteralLabels {
  std::int64_t width, height;
  std::vector<std::array<std::int64_t, 4>> taken;
  LabelSpace::Outcome Take(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
    x0 = std::max<std::int64_t>(x0, 0);
    y0 = std::max<std::int64_t>(y0, 0);
    x1 = std::min(x1, width);
    y1 = std::min(y1, height);
    if (x0 >= x1 || y0 >= y1) return LabelSpace::Outcome::Outside;
    for (const auto& t : taken)
      if (x0 < t[2] && t[0] < x1 && y0 < t[3] && t[1] < y1) return LabelSpace::Outcome::Overlaps;
    taken.push_back({x0, y0, x1, y1});
    return LabelSpace::Outcome::Taken;
  }
  bool IsTaken(std::int64_t x, std::int64_t y) const {
    for (const auto& t : taken)
      if (t[0] <= x && x < t[2] && t[1] <= y && y < t[3]) return true;
    return false;
  }
};

TEST(Labels, TheBitsAgreeWithTheLiteralOverlapTest) {
  for (const std::int32_t width : {1, 63, 64, 65, 130, 200}) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
      SCOPED_TRACE("width " + std::to_string(width) + " seed " + std::to_string(seed));
      const std::int32_t height = 90;
      LabelSpace fast;
      fast.Reset(width, height);
      LiteralLabels literal{width, height, {}};
      std::mt19937 random(seed);
      std::uniform_int_distribution<std::int64_t> at(-60, width + 60), size(1, 70);
      for (int i = 0; i < 3000; ++i) {
        const std::int64_t x = at(random), y = at(random) % (height + 60);
        const std::int64_t w = size(random), h = size(random) % 20 + 1;
        ASSERT_EQ(fast.IsTaken(x, y), literal.IsTaken(x, y)) << i;
        ASSERT_EQ(fast.Take(x, y, x + w, y + h), literal.Take(x, y, x + w, y + h)) << i;
      }
    }
  }
}

// Counts the labels written, nothing else.
class CountingSurface : public DrawSurface {
 public:
  std::int64_t labels = 0;
  void SetPenColor(Rgb) override {}
  void MoveTo(std::int32_t, std::int32_t) override {}
  void LineTo(std::int32_t, std::int32_t) override {}
  void TextOut(std::int32_t, std::int32_t, std::string_view, Rgb, std::int32_t) override {
    ++labels;
  }
  void FillRect(std::int32_t, std::int32_t, std::int32_t, std::int32_t, Rgb) override {}
};

TEST(Labels, AMillionPointsGetOnlyTheLabelsThatFit) {
  CountingSurface surface;
  Mscreen view;
  view.SetCanvas(&surface, 800, 600);
  view.SetExtent(-1000, 1000, 1000, -1000);
  view.ClearScreen({0, 0, 0});
  std::mt19937 random(11);
  std::uniform_real_distribution<double> coordinate(-1000, 1000);
  constexpr std::int32_t kPoints = 1000000;
  for (std::int32_t id = 1; id <= kPoints; ++id)
    view.LabelPoint3D(id, coordinate(random), coordinate(random), 0);
  EXPECT_EQ(view.LabelsShown(), surface.labels);
  // No label covers another: at most as many as there are boxes of the smallest label.
  EXPECT_LE(surface.labels, 800 * 600 / (6 * 12));
  EXPECT_GT(surface.labels, 100);
  EXPECT_EQ(view.LabelsShown() + view.LabelsLeftOut(), kPoints);
  // A new picture starts empty.
  view.ClearScreen({0, 0, 0});
  view.LabelPoint3D(-7, 0, 0, 0);
  view.LabelPoint3D(8, 5000, 0, 0);  // off the picture: counted nowhere
  EXPECT_EQ(view.LabelsShown(), 1);
  EXPECT_EQ(view.LabelsLeftOut(), 0);
}

}  // namespace
}  // namespace zevrin
