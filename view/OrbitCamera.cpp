#include "view/OrbitCamera.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "view/ShadedScene.h"

namespace zevrin {
namespace {

constexpr double kRadians = std::numbers::pi / 180.0;

double dot(const CameraVec& a, const CameraVec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

bool finite(const CameraVec& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Exact at the quarter turns, so that the fixed directions give the wireframe's axes with
// no rounding left in them.
void sinCos(double degrees, double& s, double& c) {
  const double quarter = degrees / 90.0;
  if (quarter == std::round(quarter)) {
    const auto q = static_cast<std::int64_t>(std::fmod(std::round(quarter), 4.0) + 4.0) % 4;
    constexpr double kSin[4] = {0, 1, 0, -1};
    constexpr double kCos[4] = {1, 0, -1, 0};
    s = kSin[q];
    c = kCos[q];
    return;
  }
  s = std::sin(degrees * kRadians);
  c = std::cos(degrees * kRadians);
}

// Pixels per unit that show a half-extent of `across` by `up` within width x height, the
// tighter side deciding; 0 when neither has a size.
double scaleFor(double across, double up, std::int32_t width, std::int32_t height) {
  const double w = std::max<std::int32_t>(width, 1), h = std::max<std::int32_t>(height, 1);
  if (across > 0 && up > 0) return std::min(w / (2 * across), h / (2 * up));
  if (across > 0) return w / (2 * across);
  if (up > 0) return h / (2 * up);
  return 0;
}

}  // namespace

OrbitCamera OrbitCamera::ForView(ViewKind kind) {
  OrbitCamera camera;
  switch (kind) {
    case ViewKind::Front:
      break;
    case ViewKind::Left:
      camera.Yaw = 90;
      break;
    case ViewKind::Top:
      camera.Pitch = 90;
      break;
  }
  return camera;
}

CameraVec OrbitCamera::Right() const {
  double sy = 0, cy = 1;
  sinCos(Yaw, sy, cy);
  return {cy, 0, sy};
}

CameraVec OrbitCamera::Up() const {
  double sy = 0, cy = 1, sp = 0, cp = 1;
  sinCos(Yaw, sy, cy);
  sinCos(Pitch, sp, cp);
  return {sy * sp, cp, -cy * sp};
}

CameraVec OrbitCamera::Toward() const {
  double sy = 0, cy = 1, sp = 0, cp = 1;
  sinCos(Yaw, sy, cy);
  sinCos(Pitch, sp, cp);
  return {-sy * cp, sp, cy * cp};
}

void OrbitCamera::Fit(const CameraVec& min, const CameraVec& max, std::int32_t width,
                      std::int32_t height) {
  CameraVec lo = min, hi = max;
  if (!finite(lo) || !finite(hi) || lo.x > hi.x || lo.y > hi.y || lo.z > hi.z) {
    lo = {-1, -1, -1};
    hi = {1, 1, 1};
  }
  Centre = {lo.x / 2 + hi.x / 2, lo.y / 2 + hi.y / 2, lo.z / 2 + hi.z / 2};
  const CameraVec half{hi.x / 2 - lo.x / 2, hi.y / 2 - lo.y / 2, hi.z / 2 - lo.z / 2};
  DepthRadius = std::sqrt(dot(half, half));
  // The box's extent across and up the picture: the corners' farthest projection.
  const CameraVec r = Right(), u = Up();
  const double across = std::fabs(r.x) * half.x + std::fabs(r.y) * half.y + std::fabs(r.z) * half.z;
  const double up = std::fabs(u.x) * half.x + std::fabs(u.y) * half.y + std::fabs(u.z) * half.z;
  double scale = scaleFor(across, up, width, height);
  // A single point (or nothing) has no size to fit: the picture spans a unit about it.
  if (!(scale > 0) || !std::isfinite(scale))
    scale = std::max<std::int32_t>(std::min(width, height), 1) / 2.0;
  Scale = FitScale = scale / 1.1;
  if (!(DepthRadius > 0) || !std::isfinite(DepthRadius)) DepthRadius = 1;
  PanX = PanY = 0;
}

void OrbitCamera::Orbit(double yaw_degrees, double pitch_degrees) {
  if (std::isfinite(yaw_degrees)) {
    Yaw = std::remainder(Yaw + yaw_degrees, 360.0);
    if (Yaw == -180) Yaw = 180;
  }
  if (std::isfinite(pitch_degrees)) Pitch = std::clamp(Pitch + pitch_degrees, -90.0, 90.0);
}

bool OrbitCamera::ZoomAbout(double factor, double x, double y, std::int32_t width,
                            std::int32_t height) {
  if (!(factor > 0) || !std::isfinite(factor) || !std::isfinite(x) || !std::isfinite(y))
    return false;
  const double wanted = std::clamp(Scale * factor, FitScale * kMinZoom, FitScale * kMaxZoom);
  if (wanted == Scale) return false;
  const double f = wanted / Scale;
  const double cx = width / 2.0, cy = height / 2.0;
  PanX = x - cx - (x - cx - PanX) * f;
  PanY = y - cy - (y - cy - PanY) * f;
  Scale = wanted;
  return true;
}

void FitScene(OrbitCamera& camera, const ShadedScene& scene, std::int32_t width,
              std::int32_t height) {
  camera.Fit(scene.Min, scene.Max, width, height);
  const CameraVec r = camera.Right(), u = camera.Up(), c = camera.Centre;
  double across = 0, up = 0;
  for (const std::vector<float>* list : {&scene.Positions, &scene.HoleLines, &scene.SplineLines})
    for (std::size_t k = 0; k + 3 <= list->size(); k += 3) {
      const CameraVec q{(*list)[k] - c.x, (*list)[k + 1] - c.y, (*list)[k + 2] - c.z};
      const double h = std::fabs(dot(r, q)), v = std::fabs(dot(u, q));
      if (std::isfinite(h)) across = std::max(across, h);
      if (std::isfinite(v)) up = std::max(up, v);
    }
  const double scale = scaleFor(across, up, width, height);
  if (scale > 0 && std::isfinite(scale)) camera.Scale = camera.FitScale = scale / 1.1;
}

OrbitCamera::Projected OrbitCamera::Project(const CameraVec& p, std::int32_t width,
                                            std::int32_t height) const {
  const CameraVec q{p.x - Centre.x, p.y - Centre.y, p.z - Centre.z};
  return {width / 2.0 + PanX + dot(Right(), q) * Scale, height / 2.0 + PanY - dot(Up(), q) * Scale,
          dot(Toward(), q)};
}

std::array<float, 16> OrbitCamera::ClipMatrix(std::int32_t width, std::int32_t height) const {
  const double w = std::max<std::int32_t>(width, 1), h = std::max<std::int32_t>(height, 1);
  const CameraVec r = Right(), u = Up(), t = Toward();
  // Rows: x_clip = 2 / w * (PanX + h * Scale), y_clip = -2 / h * (PanY - v * Scale), z_clip =
  // -d / depth, each h, v, d an affine function of the model point.
  const double sx = 2 * Scale / w, sy = 2 * Scale / h;
  const double depth = DepthRadius * 1.01;
  const double rows[3][4] = {{sx * r.x, sx * r.y, sx * r.z, 2 * PanX / w - sx * dot(r, Centre)},
                             {sy * u.x, sy * u.y, sy * u.z, -2 * PanY / h - sy * dot(u, Centre)},
                             {-t.x / depth, -t.y / depth, -t.z / depth, dot(t, Centre) / depth}};
  std::array<float, 16> m{};
  for (int col = 0; col < 4; ++col)
    for (int row = 0; row < 3; ++row) m[col * 4 + row] = static_cast<float>(rows[row][col]);
  m[15] = 1;
  return m;
}

}  // namespace zevrin
