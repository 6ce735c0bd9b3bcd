// The raster picture shared by the window and the PNG output: exact pixels of the grid, axes
// and lines, labels on their opaque background, and the PNG bytes.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <cstdlib>
#include <string>

#include "model/tree/AM5_super.h"
#include "view/M_scr.h"
#include "view/qt/QtSurface.h"

namespace zevrin {
namespace {

constexpr Rgb kLabel{0, 128, 0};

QRgb rgb(int r, int g, int b) { return qRgb(r, g, b); }

// Pixels that differ from `expected`, as "x,y" texts, so that a failure shows where.
std::string differences(const QImage& actual, const QImage& expected) {
  std::string out;
  for (int y = 0; y < expected.height(); ++y)
    for (int x = 0; x < expected.width(); ++x)
      if (actual.pixel(x, y) != expected.pixel(x, y))
        out += std::to_string(x) + "," + std::to_string(y) + " ";
  return out;
}

TEST(Raster, RedisplayOfAnEmptyModelIsExactlyBlackWithTheTwoAxes) {
  // 40 x 30 and a box of nothing: 150 pixels a unit, origin (20, 15), window edges at x 5 and
  // 35. The grid lines at 0 lie under the axes; the red axis is drawn last.
  QtSurface surface(40, 30);
  Mscreen view;
  view.SetCanvas(&surface, 40, 30);
  M5amsuper root;
  view.Redisplay(&root, ViewKind::Front);

  QImage expected(40, 30, QImage::Format_RGB32);
  expected.fill(rgb(0, 0, 0));
  for (int y = 0; y < 30; ++y) expected.setPixel(20, y, rgb(0, 255, 0));
  for (int x = 5; x < 35; ++x) expected.setPixel(x, 15, rgb(255, 0, 0));  // no end pixel
  const QImage& image = surface.Image();
  ASSERT_EQ(image.size(), expected.size());
  EXPECT_EQ(differences(image, expected), "");
}

TEST(Raster, LinesAreOnePixelWideWithoutAntialiasingAndJointsContinue) {
  QtSurface surface(10, 10);
  surface.SetPenColor({255, 0, 0});
  surface.MoveTo(1, 1);
  surface.LineTo(5, 5);
  surface.TextOut(30, 30, "off the picture", kLabel, 9);
  surface.LineTo(5, 8);

  QImage expected(10, 10, QImage::Format_RGB32);
  expected.fill(rgb(255, 255, 255));
  for (int i = 1; i < 5; ++i) expected.setPixel(i, i, rgb(255, 0, 0));
  for (int y = 5; y < 8; ++y) expected.setPixel(5, y, rgb(255, 0, 0));
  EXPECT_EQ(differences(surface.Image(), expected), "");
}

TEST(Raster, LabelSitsOnTheFillColourAndTouchesNothingElse) {
  QtSurface surface(40, 30);
  surface.FillRect(0, 0, 20, 30, {0, 0, 255});  // left half blue, and blue is the fill colour
  const QImage before = surface.Image().copy();
  surface.TextOut(22, 4, "8", kLabel, 9);
  const QImage& after = surface.Image();

  const QFontMetrics metrics(QtSurface::LabelFont(9));
  const QRect box(22, 4, metrics.horizontalAdvance("8"), metrics.height());
  int green = 0;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      const QRgb p = after.pixel(x, y);
      if (!box.contains(x, y)) {
        EXPECT_EQ(p, before.pixel(x, y)) << x << "," << y;
      } else if (p == rgb(0, 128, 0)) {
        ++green;
      } else {
        EXPECT_EQ(p, rgb(0, 0, 255)) << "neither glyph nor background at " << x << "," << y;
      }
    }
  }
  EXPECT_GT(green, 5);
}

TEST(Raster, VlGothicLabelsHaveTheSvgPicturesLayout) {
  const QFont font = QtSurface::LabelFont(9);
  if (QFontInfo(font).family() != "VL Gothic") GTEST_SKIP() << "fonts-vlgothic not installed";
  const QFontMetrics metrics(font);
  EXPECT_EQ(metrics.height(), 12);
  EXPECT_EQ(metrics.ascent(), 10);
  EXPECT_EQ(metrics.horizontalAdvance("0123456789"), 60);
  EXPECT_EQ(metrics.horizontalAdvance(QString::fromUtf8("点")), 12);
}

TEST(Raster, PngBytesDecodeToThePicture) {
  QtSurface surface(7, 5);
  surface.SetPenColor({1, 2, 3});
  surface.MoveTo(0, 2);
  surface.LineTo(7, 2);
  const QByteArray png = surface.Png();
  ASSERT_GT(png.size(), 24);
  EXPECT_EQ(png.left(8), QByteArray("\x89PNG\r\n\x1a\n", 8));
  // Width and height, big-endian, in the IHDR chunk.
  EXPECT_EQ(png.mid(16, 8), QByteArray("\0\0\0\x07\0\0\0\x05", 8));
  QImage decoded;
  ASSERT_TRUE(decoded.loadFromData(png, "PNG"));
  EXPECT_EQ(differences(decoded.convertToFormat(QImage::Format_RGB32), surface.Image()), "");
}

}  // namespace
}  // namespace zevrin

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // The test runner starts this binary without the tests' environment, and there may be no
  // display at all.
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (!platform || !*platform) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
