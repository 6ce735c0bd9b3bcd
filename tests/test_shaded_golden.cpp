// `zevrin render --shaded` as a user runs it, against the pictures kept in tests/data/shaded:
// each within a small difference (the lighting is floating-point arithmetic), and the
// wireframe's picture pixel for pixel, since the shaded view must leave it as it was.
//
// Every picture made lands in the build tree (shaded_actual/), so that a mismatch can be looked
// at beside its golden. ZEVRIN_UPDATE_GOLDEN=1 copies them over the goldens instead.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kCli = ZEVRIN_CLI;
const std::string kExamples = ZEVRIN_EXAMPLES;
const std::string kData = ZEVRIN_TEST_DATA;
const fs::path kOut = ZEVRIN_SHADED_OUT;

struct Picture {
  const char* name;
  // The model: a path, or "whole_box" for the shipped half box after Halvejoin.
  std::string file;
  std::string options;
  // Per channel: the mean difference allowed, and how many pixels may differ by more than 48.
  double mean;
  double far_share;
};

std::string shellQuoted(const std::string& s) { return "'" + s + "'"; }

int run(const std::string& command) {
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The mean absolute difference per channel, and the share of pixels with a channel more than
// 48 apart.
struct Difference {
  double mean = 0;
  double far_share = 0;
};

Difference differenceOf(const QImage& a, const QImage& b) {
  Difference d;
  std::size_t far = 0;
  double sum = 0;
  for (int y = 0; y < a.height(); ++y) {
    const uchar* p = a.constScanLine(y);
    const uchar* q = b.constScanLine(y);
    for (int x = 0; x < a.width(); ++x) {
      bool apart = false;
      for (int c = 0; c < 3; ++c) {
        const int diff = std::abs(p[3 * x + c] - q[3 * x + c]);
        sum += diff;
        apart = apart || diff > 48;
      }
      far += apart;
    }
  }
  const double pixels = static_cast<double>(a.width()) * a.height();
  d.mean = sum / (3 * pixels);
  d.far_share = static_cast<double>(far) / pixels;
  return d;
}

class ShadedPictures : public ::testing::TestWithParam<Picture> {};

TEST_P(ShadedPictures, MatchTheirGoldens) {
  const Picture& p = GetParam();
  fs::create_directories(kOut);
  std::string file = p.file;
  if (file == "whole_box") {
    file = (kOut / "whole_box.mdl").string();
    ASSERT_EQ(run(shellQuoted(kCli) + " -q halvejoin " + shellQuoted(kExamples + "/half_box.mdl") +
                  " -t 0.001 -o " + shellQuoted(file)),
              0);
  }
  const fs::path actual = kOut / (std::string(p.name) + ".png");
  fs::remove(actual);
  ASSERT_EQ(run(shellQuoted(kCli) + " -q render " + shellQuoted(file) + " " + p.options +
                " --size 240x180 -o " + shellQuoted(actual.string())),
            0);
  const fs::path golden = fs::path(kData) / "shaded" / (std::string(p.name) + ".png");
  if (const char* update = std::getenv("ZEVRIN_UPDATE_GOLDEN"); update && *update == '1') {
    fs::copy_file(actual, golden, fs::copy_options::overwrite_existing);
    GTEST_SKIP() << "golden written: " << golden;
  }
  const QImage want =
      QImage(QString::fromStdString(golden.string())).convertToFormat(QImage::Format_RGB888);
  const QImage got =
      QImage(QString::fromStdString(actual.string())).convertToFormat(QImage::Format_RGB888);
  ASSERT_FALSE(want.isNull()) << "no golden " << golden;
  ASSERT_FALSE(got.isNull()) << "no picture " << actual;
  ASSERT_EQ(got.size(), want.size());
  const Difference d = differenceOf(got, want);
  EXPECT_LE(d.mean, p.mean) << actual << " against " << golden;
  EXPECT_LE(d.far_share, p.far_share) << actual << " against " << golden;
}

const std::string kHalfBox = kExamples + "/half_box.mdl";

INSTANTIATE_TEST_SUITE_P(
    Shipped, ShadedPictures,
    ::testing::Values(
        // The wireframe, exactly as before there was a shaded view.
        Picture{"wireframe_front", kHalfBox, "", 0, 0},
        Picture{"wireframe_top", kData + "/tag/Cube.mdl", "--view top", 0, 0},
        // The shipped half box: one patch, its back seen from the front.
        Picture{"half_box_front", kHalfBox, "--shaded", 0.5, 0.003},
        Picture{"half_box_turned", kHalfBox, "--shaded --yaw 30 --pitch 25", 0.5, 0.003},
        // After Halvejoin: two closed ends, four openings outlined, the inside's back.
        Picture{"whole_box_turned", "whole_box", "--shaded --yaw -35 --pitch 20", 0.5, 0.003},
        Picture{"whole_box_left", "whole_box", "--shaded --view left", 0.5, 0.003},
        // The modeller's own patch lists: a cube of peaked points, a smooth character.
        Picture{"cube_top", kData + "/tag/Cube.mdl", "--shaded --view top", 0.5, 0.003},
        Picture{"thom_turned", kData + "/tag/Thom2.mdl", "--shaded --yaw -30 --pitch 10", 0.5,
                0.003},
        Picture{"goose_bare", kData + "/tag/Goose.mdl", "--shaded --yaw 20 --pitch 35 --no-splines",
                0.5, 0.003}),
    [](const ::testing::TestParamInfo<Picture>& picture) {
      return std::string(picture.param.name);
    });

}  // namespace
