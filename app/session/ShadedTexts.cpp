#include "app/session/ShadedTexts.h"

#include <cmath>

namespace zevrin {
namespace {

std::string pick(bool ja, const char* japanese, const char* english) {
  return ja ? japanese : english;
}

// Whole degrees, never "-0".
std::string degrees(double d) {
  const long long whole = std::isfinite(d) ? std::llround(d) : 0;
  return std::to_string(whole) + "\xC2\xB0";
}

}  // namespace

std::string ShadedViewItem(bool ja) { return pick(ja, "陰影(&S)", "&Shaded"); }
std::string ShadedComboItem(bool ja) { return pick(ja, "陰影", "Shaded"); }
std::string ShadedSplinesItem(bool ja) {
  return pick(ja, "陰影にスプラインを表示(&P)", "S&plines on the Surface");
}
std::string ShadedFrontButton(bool ja) { return pick(ja, "前", "Front"); }
std::string ShadedLeftButton(bool ja) { return pick(ja, "左", "Left"); }
std::string ShadedTopButton(bool ja) { return pick(ja, "上", "Top"); }
std::string ShadedFitButton(bool ja) { return pick(ja, "全体", "Fit"); }
std::string ShadedStep(bool ja) { return pick(ja, "面を作成中", "Making the surface"); }

std::string ShadedCounts(bool ja, std::size_t patches, std::size_t holes,
                         std::size_t unorientable) {
  const std::string p = std::to_string(patches), h = std::to_string(holes),
                    u = std::to_string(unorientable);
  return ja ? "パッチ=" + p + " 穴=" + h + " 向き付け不能=" + u
            : "patches=" + p + " holes=" + h + " unorientable=" + u;
}

std::string ShadedAngles(bool ja, double yaw, double pitch) {
  return ja ? "ヨー " + degrees(yaw) + " ピッチ " + degrees(pitch)
            : "yaw " + degrees(yaw) + " pitch " + degrees(pitch);
}

std::string ShadedInSoftware(bool ja) {
  return pick(ja, "OpenGLなし: ソフトウェアで描画", "No OpenGL: drawn in software");
}

std::string ShadedNotMade(bool ja) {
  return pick(ja, "面の作成を中止しました", "The surface was not made");
}

}  // namespace zevrin
