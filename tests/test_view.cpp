// The wireframe view: fitting the model's box, the grid and axes, the three directions, the
// pixel rounding and range, labels inside polylines, and the SVG picture's exact bytes.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "model/tree/AM5_super.h"
#include "tests/RecordingSurface.h"
#include "util/Errors.h"
#include "view/M_scr.h"
#include "view/SvgSurface.h"

namespace zevrin {
namespace {

using test::RecordingSurface;
using Segment = RecordingSurface::Segment;
using Strings = std::vector<std::string>;

constexpr Rgb kGrey{128, 128, 128};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kLabel{0, 128, 0};

// A document root whose box is min..max, as a loaded model's root reports it.
struct Box {
  M5amsuper root;
  Box(Vec3 min, Vec3 max) {
    root.BoundsMin = min;
    root.BoundsMax = max;
  }
};

// The view as the window sets it up, drawing on `surface` of width x height pixels.
struct View {
  Mscreen screen;
  View(DrawSurface& surface, std::int32_t width, std::int32_t height) {
    screen.SetCanvas(&surface, width, height);
    screen.SetExtent(-100, 100, 100, -100);
    screen.SetDirection(ViewKind::Front);
  }
};

std::vector<Segment> withColor(const RecordingSurface& r, Rgb color) {
  std::vector<Segment> out;
  for (const Segment& s : r.Segments)
    if (s.color == color) out.push_back(s);
  return out;
}

std::vector<Segment> vertical(std::vector<std::int32_t> xs, std::int32_t y0, std::int32_t y1) {
  std::vector<Segment> out;
  for (std::int32_t x : xs) out.push_back({x, y0, x, y1, kGrey});
  return out;
}

std::vector<Segment> horizontal(std::vector<std::int32_t> ys, std::int32_t x0, std::int32_t x1) {
  std::vector<Segment> out;
  for (std::int32_t y : ys) out.push_back({x0, y, x1, y, kGrey});
  return out;
}

std::vector<Segment> concat(std::vector<Segment> a, const std::vector<Segment>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(Fitting, TheWindowsFirstPictureSpansMinus110To110) {
  RecordingSurface r;
  View v(r, 220, 220);
  v.screen.MoveTo2D(-110, 110);
  v.screen.LineTo2D(110, -110);
  v.screen.LineTo2D(0, 0);
  EXPECT_EQ(r.Log, (Strings{"move 0,0", "line 220,220", "line 110,110"}));
}

TEST(Fitting, ModelBoxFrontViewKeepsTheMarginOnTheTighterAxis) {
  // x in [-50, 20], y in [0, 80] on 400 x 300: the window is -55..55 by -88..88, the vertical
  // axis is the tighter one (300/176 pixels a unit) and the origin is the picture's centre.
  RecordingSurface r;
  View v(r, 400, 300);
  Box box({-50, 0, -1}, {20, 80, 1});
  v.screen.Redisplay(&box.root, ViewKind::Front);

  ASSERT_FALSE(r.Log.empty());
  EXPECT_EQ(r.Log.front(), "fill 0,0 400,300 #000000");
  EXPECT_EQ(r.Log.back(), "pen #ffffff");
  // Each run of grid lines starts with the line at 0, so that line is drawn twice.
  const auto grid =
      concat(concat(vertical({200, 217, 234, 251, 268, 285}, 0, 300),
                    vertical({200, 183, 166, 149, 132, 115}, 0, 300)),
             concat(horizontal({150, 167, 184, 201, 218, 235, 252, 269, 286}, 106, 294),
                    horizontal({150, 133, 116, 99, 82, 65, 48, 31, 14}, 106, 294)));
  EXPECT_EQ(withColor(r, kGrey), grid);
  EXPECT_EQ(withColor(r, kGreen), (std::vector<Segment>{{200, 0, 200, 300, kGreen}}));
  EXPECT_EQ(withColor(r, kRed), (std::vector<Segment>{{106, 150, 294, 150, kRed}}));
}

TEST(Fitting, FlatModelSeenEdgeOnIsScaledByTheOtherAxis) {
  // A model in the plane x = 0 seen from the front: the window is -0.1..0.1 wide, far under a
  // pixel at the scale the height gives, and the grid line and axis at x = 0 still show.
  RecordingSurface r;
  View v(r, 400, 300);
  Box box({0, -10, -5}, {0, 30, 5});
  v.screen.Redisplay(&box.root, ViewKind::Front);

  EXPECT_EQ(withColor(r, kGrey),
            concat(vertical({200, 200}, 0, 300),
                   horizontal({150, 195, 241, 286, 150, 105, 59, 14}, 200, 200)));
  EXPECT_EQ(withColor(r, kGreen), (std::vector<Segment>{{200, 0, 200, 300, kGreen}}));
}

TEST(Fitting, EmptyBoxDrawsOnlyTheAxesAndTheGridLinesAtZero) {
  RecordingSurface r;
  View v(r, 400, 300);
  Box box({0, 0, 0}, {0, 0, 0});
  v.screen.Redisplay(&box.root, ViewKind::Front);
  EXPECT_EQ(r.Log,
            (Strings{"fill 0,0 400,300 #000000", "pen #808080", "move 200,0", "line 200,300",
                     "move 200,0", "line 200,300", "move 50,150", "line 350,150", "move 50,150",
                     "line 350,150", "pen #00ff00", "move 200,0", "line 200,300", "pen #ff0000",
                     "move 50,150", "line 350,150", "pen #ffffff"}));
}

TEST(Fitting, EachDirectionFitsItsOwnPairOfAxes) {
  // x in [-6, 6], y in [-20, 20], z in [-40, 40] on 200 x 200. The axes' ends are the window.
  struct Case {
    ViewKind direction;
    Segment green, red;
  };
  const Case cases[] = {
      {ViewKind::Front, {100, 0, 100, 200, kGreen}, {70, 100, 130, 100, kRed}},
      {ViewKind::Left, {100, 50, 100, 150, kGreen}, {0, 100, 200, 100, kRed}},
      {ViewKind::Top, {100, 0, 100, 200, kGreen}, {85, 100, 115, 100, kRed}},
      {ViewKindOfItem(7), {100, 0, 100, 200, kGreen}, {85, 100, 115, 100, kRed}},
  };
  for (const Case& c : cases) {
    RecordingSurface r;
    View v(r, 200, 200);
    Box box({-6, -20, -40}, {6, 20, 40});
    v.screen.Redisplay(&box.root, c.direction);
    EXPECT_EQ(withColor(r, kGreen), std::vector<Segment>{c.green}) << static_cast<int>(c.direction);
    EXPECT_EQ(withColor(r, kRed), std::vector<Segment>{c.red}) << static_cast<int>(c.direction);
  }
}

TEST(Fitting, ResizingRescalesAndKeepsTheMarginOnTheTighterAxis) {
  RecordingSurface r;
  View v(r, 200, 100);
  // Wide picture: the height limits, the box edge at 100 lies 5 pixels inside the top.
  v.screen.MoveTo2D(-100, 100);
  v.screen.LineTo2D(100, -100);
  // Tall picture: now the width limits.
  v.screen.SetCanvas(&r, 100, 300);
  v.screen.MoveTo2D(-100, 100);
  v.screen.LineTo2D(100, -100);
  EXPECT_EQ(r.Log, (Strings{"move 55,5", "line 145,95", "move 5,105", "line 95,195"}));
}

TEST(Directions, LeftShowsLargerZToTheRightAndTopShowsItHigher) {
  RecordingSurface r;
  View v(r, 220, 220);  // one pixel a unit, origin at (110, 110)
  v.screen.SetDirection(ViewKind::Front);
  v.screen.MoveTo3D(0, 0, 0);
  v.screen.LineTo3D(30, 20, 50);
  v.screen.SetDirection(ViewKind::Left);
  v.screen.MoveTo3D(0, 0, 0);
  v.screen.LineTo3D(30, 20, 50);
  v.screen.SetDirection(ViewKind::Top);
  v.screen.MoveTo3D(0, 0, 0);
  v.screen.LineTo3D(30, 20, 50);
  v.screen.SetDirection(ViewKindOfItem(5));  // any other item is the top view too
  v.screen.TextOut3D("p", 30, 20, 50);
  EXPECT_EQ(r.Log, (Strings{"move 110,110", "line 140,90", "move 110,110", "line 160,90",
                            "move 110,110", "line 140,60", "text 140,60 #008000 9pt p"}));
}

TEST(Pixels, RoundHalfToEven) {
  Mscreen s;
  s.Scale = 1;
  s.OriginX = 0;
  s.OriginY = 0;
  EXPECT_EQ(s.PixelX(2.5L), 2);
  EXPECT_EQ(s.PixelX(3.5L), 4);
  EXPECT_EQ(s.PixelX(-2.5L), -2);
  EXPECT_EQ(s.PixelY(2.5L), -2);
  EXPECT_EQ(s.PixelY(0.5L), 0);
  EXPECT_EQ(s.PixelY(1.5L), -2);
}

void expectRangeError(const std::function<void()>& f, const char* what) {
  try {
    f();
    ADD_FAILURE() << what << ": no error";
  } catch (const ZevrinError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::RangeCheck) << what;
  }
}

TEST(Pixels, OnlyThePixelItselfMustFitIn32Bits) {
  Mscreen s;
  s.Scale = 1;
  s.OriginX = 10;
  s.OriginY = -10;
  // The offset alone is beyond 32 bits, the pixel is not.
  EXPECT_EQ(s.PixelX(-2147483658.0L), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(s.PixelY(-2147483647.0L), std::numeric_limits<std::int32_t>::max() - 10);
  EXPECT_EQ(s.PixelY(2147483638.0L), std::numeric_limits<std::int32_t>::min());
  expectRangeError([&] { s.PixelX(2147483638.0L); }, "x one past the top");
  expectRangeError([&] { s.PixelY(-2147483658.0L); }, "y one past the top");
  expectRangeError([&] { s.PixelX(std::numeric_limits<long double>::quiet_NaN()); }, "NaN");
}

TEST(Pixels, HugeCoordinateRaisesTheRangeErrorInsteadOfDrawing) {
  RecordingSurface r;
  View v(r, 400, 300);
  v.screen.MoveTo3D(0, 0, 0);
  expectRangeError([&] { v.screen.LineTo3D(1e12, 0, 0); }, "line");
  expectRangeError([&] { v.screen.TextOut3D("far", 0, -1e12, 0); }, "label");
  EXPECT_EQ(r.Log, Strings{"move 200,150"});
}

TEST(Pixels, InfiniteBoxRaisesTheRangeError) {
  RecordingSurface r;
  View v(r, 400, 300);
  Box box({-std::numeric_limits<double>::infinity(), 0, 0}, {1, 1, 1});
  expectRangeError([&] { v.screen.Redisplay(&box.root, ViewKind::Front); }, "infinite box");
}

// Counts lines only: a huge model draws hundreds of thousands of grid lines.
class CountingSurface : public DrawSurface {
 public:
  std::int64_t lines = 0;
  void SetPenColor(Rgb) override {}
  void MoveTo(std::int32_t, std::int32_t) override {}
  void LineTo(std::int32_t, std::int32_t) override { ++lines; }
  void TextOut(std::int32_t, std::int32_t, std::string_view, Rgb, std::int32_t) override {}
  void FillRect(std::int32_t, std::int32_t, std::int32_t, std::int32_t, Rgb) override {}
};

TEST(Grid, HugeBoxDrawsAtMostALinePerPixel) {
  CountingSurface c;
  View v(c, 400, 300);
  Box box({-1e300, -1e300, -1e300}, {1e300, 1e300, 1e300});
  v.screen.Redisplay(&box.root, ViewKind::Front);
  EXPECT_LE(c.lines, 2 * (400 + 2) + 2 * (300 + 2) + 2);
}

TEST(Grid, LinesDenserThanPixelsCoverTheSamePixelsAsEveryLine) {
  // A box of +-2000 in 400 x 300: the grid step of 10 is less than a pixel. The columns and
  // rows drawn must be exactly those the lines one by one would hit.
  RecordingSurface r;
  View v(r, 400, 300);
  Box box({-2000, -1500, 0}, {2000, 1500, 0});
  v.screen.Redisplay(&box.root, ViewKind::Front);
  std::set<std::int32_t> columns, rows, want_columns, want_rows;
  for (const Segment& g : withColor(r, kGrey)) {
    if (g.x0 == g.x1) columns.insert(g.x0);
    if (g.y0 == g.y1) rows.insert(g.y0);
  }
  const Mscreen& m = v.screen;
  for (long double t = 0; t <= m.Right; t += 10) want_columns.insert(m.PixelX(t));
  for (long double t = 0; t >= m.Left; t -= 10) want_columns.insert(m.PixelX(t));
  for (long double t = 0; t >= m.Bottom; t -= 10) want_rows.insert(m.PixelY(t));
  for (long double t = 0; t <= m.Top; t += 10) want_rows.insert(m.PixelY(t));
  EXPECT_EQ(columns, want_columns);
  EXPECT_EQ(rows, want_rows);
}

TEST(Labels, ALabelInsideAPolylineDoesNotBreakIt) {
  RecordingSurface r;
  View v(r, 220, 220);
  v.screen.SetPenColor(kWhite);
  v.screen.MoveTo3D(0, 0, 0);
  v.screen.LineTo3D(10, 10, 0);
  v.screen.TextOut3D("12", 10, 10, 0);
  v.screen.LineTo3D(20, 0, 0);
  EXPECT_EQ(r.Log, (Strings{"pen #ffffff", "move 110,110", "line 120,100",
                            "text 120,100 #008000 9pt 12", "line 130,110"}));
  EXPECT_EQ(r.Segments,
            (std::vector<Segment>{{110, 110, 120, 100, kWhite}, {120, 100, 130, 110, kWhite}}));
}

const std::string kSvgHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"40\" height=\"30\" viewBox=\"0 0 40 30\" "
    "shape-rendering=\"crispEdges\" font-family=\"VL Gothic, monospace\" "
    "xml:space=\"preserve\">\n";

TEST(Svg, SmallSceneExactBytes) {
  SvgSurface s(40, 30);
  s.FillRect(0, 0, 40, 30, kBlack);
  s.SetPenColor(kGrey);
  s.MoveTo(-3, 15);
  s.LineTo(40, 15);
  s.SetPenColor(kWhite);
  s.MoveTo(5, 25);
  s.LineTo(10, 5);
  s.LineTo(20, 20);
  s.TextOut(10, 5, "<a&b>", kLabel, 9);
  s.LineTo(30, 25);
  s.SetPenColor(kWhite);  // the same colour: the polyline goes on
  s.LineTo(35, 20);
  EXPECT_EQ(s.Text(),
            kSvgHeader +
                "<rect x=\"0\" y=\"0\" width=\"40\" height=\"30\" fill=\"#000000\"/>\n"
                "<line x1=\"-2.5\" y1=\"15.5\" x2=\"40.5\" y2=\"15.5\" stroke=\"#808080\"/>\n"
                "<polyline points=\"5.5,25.5 10.5,5.5 20.5,20.5\" fill=\"none\" "
                "stroke=\"#ffffff\"/>\n"
                "<rect x=\"10\" y=\"5\" width=\"30\" height=\"12\" fill=\"#000000\"/>\n"
                "<text x=\"10\" y=\"15\" fill=\"#008000\" font-size=\"9pt\">"
                "&lt;a&amp;b&gt;</text>\n"
                "<polyline points=\"20.5,20.5 30.5,25.5 35.5,20.5\" fill=\"none\" "
                "stroke=\"#ffffff\"/>\n"
                "</svg>\n");
}

TEST(Svg, LabelsAreValidUtf8WithWideCharactersTwiceAsWide) {
  SvgSurface s(40, 30);
  s.TextOut(1, 2,
            "\xE7\x82\xB9"
            "1\xFF\x01'\"",
            kLabel, 9);            // 点, 1, a stray byte, ^A
  s.TextOut(1, 2, "", kLabel, 9);  // nothing at all
  EXPECT_EQ(s.Text(), kSvgHeader +
                          "<rect x=\"1\" y=\"2\" width=\"42\" height=\"12\" fill=\"#ffffff\"/>\n"
                          "<text x=\"1\" y=\"12\" fill=\"#008000\" font-size=\"9pt\">"
                          "\xE7\x82\xB9"
                          "1\xEF\xBF\xBD\xEF\xBF\xBD&apos;&quot;</text>\n"
                          "</svg>\n");
}

}  // namespace
}  // namespace zevrin
