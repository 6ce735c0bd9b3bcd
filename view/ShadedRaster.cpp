#include "view/ShadedRaster.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zevrin {
namespace {

struct Vec {
  double x = 0, y = 0, z = 0;
};

Vec operator+(const Vec& a, const Vec& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec operator*(double s, const Vec& a) { return {s * a.x, s * a.y, s * a.z}; }
double dot(const Vec& a, const Vec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec unit(const Vec& a) {
  const double l = std::sqrt(dot(a, a));
  return l > 0 ? (1 / l) * a : a;
}
Vec vecOf(const CameraVec& v) { return {v.x, v.y, v.z}; }

std::uint8_t channel(double v) {
  if (!(v > 0)) return 0;  // NaN too
  return static_cast<std::uint8_t>(std::lround(std::min(v, 255.0)));
}

class Picture {
 public:
  Picture(std::int32_t width, std::int32_t height, const ShadedStyle& style)
      : w_(width), h_(height) {
    image.Width = width;
    image.Height = height;
    image.Pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    depth_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                  -std::numeric_limits<float>::infinity());
    for (std::int32_t y = 0; y < height; ++y) {
      const double t = height > 1 ? static_cast<double>(y) / (height - 1) : 0;
      const Rgb c{
          channel(style.BackgroundTop.r + t * (style.BackgroundBottom.r - style.BackgroundTop.r)),
          channel(style.BackgroundTop.g + t * (style.BackgroundBottom.g - style.BackgroundTop.g)),
          channel(style.BackgroundTop.b + t * (style.BackgroundBottom.b - style.BackgroundTop.b))};
      for (std::int32_t x = 0; x < width; ++x) set(x, y, c);
    }
  }

  void set(std::int32_t x, std::int32_t y, Rgb c) {
    std::uint8_t* p = &image.Pixels[index(x, y) * 4];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
    p[3] = 255;
  }
  std::size_t index(std::int32_t x, std::int32_t y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(w_) + static_cast<std::size_t>(x);
  }
  float& depth(std::int32_t x, std::int32_t y) { return depth_[index(x, y)]; }

  // A line from a to b (pixel x, y and depth), `thickness` pixels wide, drawn where it is not
  // behind the surface by more than `bias`: in `color` over the surface, in `bare` where no
  // surface lies behind it.
  void line(Vec a, Vec b, Rgb color, Rgb bare, double bias, std::int32_t thickness) {
    // Clipped to the picture first (with the line's width as margin), so that the steps taken
    // are bounded by the picture's size however far off it the ends lie.
    double t0 = 0, t1 = 1;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double margin = thickness;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x + margin, w_ + margin - a.x, a.y + margin, h_ + margin - a.y};
    for (int k = 0; k < 4; ++k) {
      if (p[k] == 0) {
        if (q[k] < 0) return;
        continue;
      }
      const double r = q[k] / p[k];
      if (p[k] < 0)
        t0 = std::max(t0, r);
      else
        t1 = std::min(t1, r);
      if (t0 > t1) return;
    }
    const Vec from = a + t0 * Vec{dx, dy, b.z - a.z};
    const Vec to = a + t1 * Vec{dx, dy, b.z - a.z};
    const double steps = std::ceil(std::max(std::fabs(to.x - from.x), std::fabs(to.y - from.y)));
    const auto n = static_cast<std::int64_t>(steps);
    for (std::int64_t i = 0; i <= n; ++i) {
      const double t = n > 0 ? static_cast<double>(i) / static_cast<double>(n) : 0;
      const double x = from.x + t * (to.x - from.x), y = from.y + t * (to.y - from.y);
      const double z = from.z + t * (to.z - from.z);
      const auto px = static_cast<std::int32_t>(std::floor(x)),
                 py = static_cast<std::int32_t>(std::floor(y));
      for (std::int32_t oy = 0; oy < thickness; ++oy)
        for (std::int32_t ox = 0; ox < thickness; ++ox) {
          const std::int32_t qx = px + ox - thickness / 2, qy = py + oy - thickness / 2;
          if (qx < 0 || qy < 0 || qx >= w_ || qy >= h_) continue;
          const float behind = depth(qx, qy);
          if (z + bias < behind) continue;
          set(qx, qy, behind == -std::numeric_limits<float>::infinity() ? bare : color);
        }
    }
  }

  RgbaImage image;

 private:
  std::int32_t w_, h_;
  std::vector<float> depth_;
};

Rgb mix(Rgb a, Rgb b) {
  return {static_cast<std::uint8_t>((a.r + b.r) / 2), static_cast<std::uint8_t>((a.g + b.g) / 2),
          static_cast<std::uint8_t>((a.b + b.b) / 2)};
}

}  // namespace

CameraVec LightDirection(const OrbitCamera& camera) {
  const Vec l =
      unit(vecOf(camera.Toward()) + 0.35 * vecOf(camera.Up()) + -0.25 * vecOf(camera.Right()));
  return {l.x, l.y, l.z};
}

RgbaImage RenderShaded(const ShadedScene& scene, const OrbitCamera& camera, std::int32_t width,
                       std::int32_t height, const ShadedStyle& style) {
  width = std::clamp(width, 1, kMaxShadedSide);
  height = std::clamp(height, 1, kMaxShadedSide);
  // Drawn `fine` times larger each way, then each block of fine x fine pixels averaged: smooth
  // edges without a toolkit's help.
  std::int32_t fine = std::clamp(style.Samples, 1, 4);
  while (fine > 1 && std::max(width, height) * fine > kMaxShadedSide) --fine;
  Picture picture(width * fine, height * fine, style);
  const Vec right = vecOf(camera.Right()), up = vecOf(camera.Up()), toward = vecOf(camera.Toward());
  const Vec centre = vecOf(camera.Centre);
  const double cx = fine * (width / 2.0 + camera.PanX), cy = fine * (height / 2.0 + camera.PanY);
  const double scale = fine * camera.Scale;
  const auto project = [&](const float* p) {
    const Vec q{p[0] - centre.x, p[1] - centre.y, p[2] - centre.z};
    return Vec{cx + dot(right, q) * scale, cy - dot(up, q) * scale, dot(toward, q)};
  };
  const Vec light = vecOf(LightDirection(camera));

  const std::size_t triangles =
      std::min({scene.Marks.size(), scene.Positions.size() / 9, scene.Normals.size() / 9});
  for (std::size_t t = 0; t < triangles; ++t) {
    const float* pos = &scene.Positions[9 * t];
    const float* nor = &scene.Normals[9 * t];
    const Vec p[3] = {project(pos), project(pos + 3), project(pos + 6)};
    bool finite = true;
    for (const Vec& c : p)
      finite = finite && std::isfinite(c.x) && std::isfinite(c.y) && std::isfinite(c.z);
    if (!finite) continue;
    const double area =
        (p[1].x - p[0].x) * (p[2].y - p[0].y) - (p[2].x - p[0].x) * (p[1].y - p[0].y);
    if (!(area != 0) || !std::isfinite(area)) continue;  // no area, or beyond doubles
    const bool front = area < 0;  // y runs down the picture: see OrbitCamera.h
    const double min_x = std::min({p[0].x, p[1].x, p[2].x}),
                 max_x = std::max({p[0].x, p[1].x, p[2].x});
    const double min_y = std::min({p[0].y, p[1].y, p[2].y}),
                 max_y = std::max({p[0].y, p[1].y, p[2].y});
    const std::int32_t w = picture.image.Width, h = picture.image.Height;
    if (max_x < 0 || max_y < 0 || min_x > w || min_y > h) continue;
    const auto x0 = static_cast<std::int32_t>(std::max(0.0, std::floor(min_x)));
    const auto x1 = static_cast<std::int32_t>(std::min<double>(w - 1, std::ceil(max_x)));
    const auto y0 = static_cast<std::int32_t>(std::max(0.0, std::floor(min_y)));
    const auto y1 = static_cast<std::int32_t>(std::min<double>(h - 1, std::ceil(max_y)));
    Rgb base = front ? style.Front : style.Back;
    if (scene.Marks[t] == static_cast<std::uint8_t>(ShadeMark::Unorientable))
      base = mix(base, style.Unorientable);
    const Vec n[3] = {{nor[0], nor[1], nor[2]}, {nor[3], nor[4], nor[5]}, {nor[6], nor[7], nor[8]}};
    // Coverage by the three edge functions, each from its own two corners with the corners
    // taken the same way round whatever the facing, and a pixel centre on an edge owned by one
    // side of it only (by the edge's direction): neighbours leave no gap and no pixel twice,
    // and two triangles over the same outline (the front and the back of a box seen square
    // on) cover the same pixels, so that no back shows at its rim.
    const int order[3] = {0, front ? 2 : 1, front ? 1 : 2};
    const Vec q[3] = {p[order[0]], p[order[1]], p[order[2]]};
    const double inv = 1 / std::fabs(area);
    // Measured from the edge's lesser corner whichever way it is run, so that the triangles on
    // both sides of an edge get exactly opposite values.
    const auto edge = [](const Vec& a, const Vec& b, double px, double py) {
      const bool swap = a.x != b.x ? b.x < a.x : b.y < a.y;
      const Vec& from = swap ? b : a;
      const Vec& to = swap ? a : b;
      const double e = (to.x - from.x) * (py - from.y) - (to.y - from.y) * (px - from.x);
      return swap ? -e : e;
    };
    // Whether a pixel centre on the edge from a to b belongs to this triangle; the triangle
    // on its other side runs it from b to a and gets the opposite answer.
    const auto owns = [](const Vec& a, const Vec& b) {
      return (a.y == b.y && b.x < a.x) || b.y > a.y;
    };
    const bool own[3] = {owns(q[1], q[2]), owns(q[2], q[0]), owns(q[0], q[1])};
    for (std::int32_t y = y0; y <= y1; ++y) {
      const double py = y + 0.5;
      for (std::int32_t x = x0; x <= x1; ++x) {
        const double px = x + 0.5;
        const double e0 = edge(q[1], q[2], px, py), e1 = edge(q[2], q[0], px, py),
                     e2 = edge(q[0], q[1], px, py);
        if (e0 < 0 || e1 < 0 || e2 < 0) continue;
        if ((e0 == 0 && !own[0]) || (e1 == 0 && !own[1]) || (e2 == 0 && !own[2])) continue;
        // Barycentric weights of the pixel's centre, by the corners' original order.
        double weight[3];
        weight[order[0]] = e0 * inv;
        weight[order[1]] = e1 * inv;
        weight[order[2]] = e2 * inv;
        const double w0 = weight[0], w1 = weight[1], w2 = weight[2];
        const double z = w0 * p[0].z + w1 * p[1].z + w2 * p[2].z;
        float& depth = picture.depth(x, y);
        if (z <= depth) continue;
        depth = static_cast<float>(z);
        Vec normal = unit(w0 * n[0] + w1 * n[1] + w2 * n[2]);
        if (!front) normal = -1 * normal;
        const double lit = std::max(0.0, dot(normal, light));
        const double shade = 0.22 + 0.78 * lit;
        const double shine = 60 * std::pow(lit, 40);
        picture.set(x, y,
                    {channel(base.r * shade + shine), channel(base.g * shade + shine),
                     channel(base.b * shade + shine)});
      }
    }
  }

  // Lines lie on the surface: they show where they are not behind it by more than a little.
  const double bias = 0.004 * camera.DepthRadius;
  const auto lines = [&](const std::vector<float>& segments, Rgb color, Rgb bare,
                         std::int32_t thickness) {
    for (std::size_t s = 0; s + 6 <= segments.size(); s += 6) {
      const Vec a = project(&segments[s]), b = project(&segments[s + 3]);
      if (!std::isfinite(a.x + a.y + a.z + b.x + b.y + b.z)) continue;
      picture.line(a, b, color, bare, bias, thickness);
    }
  };
  if (style.DrawSplines) lines(scene.SplineLines, style.Spline, style.SplineInTheAir, fine);
  lines(scene.HoleLines, style.Hole, style.Hole, 2 * fine);
  if (fine == 1) return std::move(picture.image);
  RgbaImage out;
  out.Width = width;
  out.Height = height;
  out.Pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
  const std::vector<std::uint8_t>& big = picture.image.Pixels;
  const auto row = static_cast<std::size_t>(width) * fine * 4;
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x)
      for (std::size_t c = 0; c < 4; ++c) {
        std::uint32_t sum = 0;
        for (std::int32_t j = 0; j < fine; ++j)
          for (std::int32_t i = 0; i < fine; ++i)
            sum += big[static_cast<std::size_t>(y * fine + j) * row +
                       static_cast<std::size_t>(x * fine + i) * 4 + c];
        const std::uint32_t n = static_cast<std::uint32_t>(fine * fine);
        out.Pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                    static_cast<std::size_t>(x)) *
                       4 +
                   c] = static_cast<std::uint8_t>((sum + n / 2) / n);
      }
  return out;
}

}  // namespace zevrin
