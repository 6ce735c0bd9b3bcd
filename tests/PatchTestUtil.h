// Polygon meshes for the round trips of the patch export: random closed and open surfaces of
// triangles and quads, and faces compared as the cycles of their corner positions.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "import/M_poly.h"

namespace zevrin::test {

// A face as the cycle of its corner positions, from its least corner and towards the lesser of
// that corner's two neighbours: the same for both turnings of the face.
using Corner = std::array<double, 3>;
using FaceCycle = std::vector<Corner>;

inline FaceCycle cycleOf(std::vector<Corner> c) {
  for (Corner& p : c)
    for (double& x : p)
      if (x == 0) x = 0;  // minus zero is zero
  std::rotate(c.begin(), std::min_element(c.begin(), c.end()), c.end());
  if (c.size() > 2 && c.back() < c[1]) std::reverse(c.begin() + 1, c.end());
  return c;
}

// Positions as a single-precision file holds them and the reader of such files gives them
// back: the shortest decimal that makes the same float.
// Found by precision rather than with std::to_chars, which the WebAssembly library lacks for
// floats; "%.*g" rounds correctly, so the first precision that reads back as the same float
// gives the digits the shortest form has.
inline double viaFloat(double x) {
  const float f = static_cast<float>(x);
  char text[32];
  for (int digits = 1; digits <= 9; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(f));
    if (std::strtof(text, nullptr) == f) break;
  }
  return std::strtod(text, nullptr);
}
inline Corner asFloat(const Vec3& v) { return {viaFloat(v.x), viaFloat(v.y), viaFloat(v.z)}; }
inline Corner exact(const Vec3& v) { return {v.x, v.y, v.z}; }

// The faces of a polygon model as a set of cycles, with the layer of each when asked.
template <class Position>
std::set<FaceCycle> faceSet(const std::vector<Mdxf_3dface>& faces, Position position) {
  std::set<FaceCycle> out;
  for (const Mdxf_3dface& f : faces) {
    std::vector<Corner> c;
    for (std::int32_t k = 0; k < f.CornerCount; ++k) c.push_back(position(f.Corner(k)));
    out.insert(cycleOf(c));
  }
  return out;
}
inline std::set<FaceCycle> faceSet(const std::vector<Mdxf_3dface>& faces) {
  return faceSet(faces, exact);
}
template <class Position>
std::map<FaceCycle, std::string> layerOfFaces(const std::vector<Mdxf_3dface>& faces,
                                              Position position) {
  std::map<FaceCycle, std::string> out;
  for (const Mdxf_3dface& f : faces) {
    std::vector<Corner> c;
    for (std::int32_t k = 0; k < f.CornerCount; ++k) c.push_back(position(f.Corner(k)));
    out[cycleOf(c)] = f.Layer;
  }
  return out;
}

// What the faces of a polygon file are once they have been splines: a corner repeated next to
// itself is one corner (a DXF triangle often repeats one); faces of fewer than three corners,
// of more than four, that pass a corner twice, or that enclose no area, bound no patch.
inline std::set<FaceCycle> patchableFaces(const std::vector<Mdxf_3dface>& faces) {
  std::set<FaceCycle> out;
  for (const Mdxf_3dface& f : faces) {
    std::vector<Corner> c;
    for (std::int32_t k = 0; k < f.CornerCount; ++k) {
      const Corner p = cycleOf({exact(f.Corner(k))})[0];
      if (c.empty() || c.back() != p) c.push_back(p);
    }
    while (c.size() > 1 && c.front() == c.back()) c.pop_back();
    if (c.size() < 3 || c.size() > 4) continue;
    if (std::set<Corner>(c.begin(), c.end()).size() != c.size()) continue;
    const auto d = [&](std::size_t i, std::size_t j) {
      return std::array<double, 3>{c[i][0] - c[j][0], c[i][1] - c[j][1], c[i][2] - c[j][2]};
    };
    const auto u = c.size() == 3 ? d(1, 0) : d(2, 0);
    const auto w = c.size() == 3 ? d(2, 0) : d(3, 1);
    const double x = u[1] * w[2] - u[2] * w[1], y = u[2] * w[0] - u[0] * w[2],
                 z = u[0] * w[1] - u[1] * w[0];
    if (x == 0 && y == 0 && z == 0) continue;
    out.insert(cycleOf(c));
  }
  return out;
}

// The same faces with every quad split along its shorter diagonal, as the export splits them
// (equal diagonals: the one through the least corner, which cycleOf puts first).
inline std::set<FaceCycle> triangulated(const std::set<FaceCycle>& faces) {
  std::set<FaceCycle> out;
  for (const FaceCycle& f : faces) {
    if (f.size() != 4) {
      out.insert(f);
      continue;
    }
    const auto d2 = [&](std::size_t i, std::size_t j) {
      double s = 0;
      for (int k = 0; k < 3; ++k) s += (f[i][k] - f[j][k]) * (f[i][k] - f[j][k]);
      return s;
    };
    if (d2(1, 3) < d2(0, 2)) {
      out.insert(cycleOf({f[0], f[1], f[3]}));
      out.insert(cycleOf({f[1], f[2], f[3]}));
    } else {
      out.insert(cycleOf({f[0], f[1], f[2]}));
      out.insert(cycleOf({f[0], f[2], f[3]}));
    }
  }
  return out;
}

inline std::set<FaceCycle> asFloats(const std::set<FaceCycle>& faces) {
  std::set<FaceCycle> out;
  for (const FaceCycle& f : faces) {
    std::vector<Corner> c;
    for (const Corner& p : f) c.push_back(asFloat({p[0], p[1], p[2]}));
    out.insert(cycleOf(c));
  }
  return out;
}

// A polygon mesh by vertex numbers.
struct IndexedMesh {
  std::vector<Vec3> points;
  std::vector<std::vector<std::uint32_t>> faces;

  std::vector<Mdxf_3dface> Faces(const std::string& layer = "mesh") const {
    std::vector<Mdxf_3dface> out;
    for (const auto& f : faces) {
      Mdxf_3dface face;
      face.Layer = layer;
      face.CornerCount = static_cast<std::int32_t>(f.size());
      for (std::size_t k = 0; k < 4; ++k) face.Corners[k] = points[f[std::min(k, f.size() - 1)]];
      out.push_back(face);
    }
    return out;
  }
};

// A Moebius strip of six quads about the z axis: no way to turn all six one way, one border
// of twelve segments.
inline IndexedMesh moebiusStrip() {
  constexpr double kPi = 3.14159265358979323846;
  IndexedMesh strip;
  for (int i = 0; i < 6; ++i) {
    const double t = 2 * kPi * i / 6;
    const Vec3 c{2 * std::cos(t), 2 * std::sin(t), 0};
    const Vec3 d{std::cos(t / 2) * std::cos(t), std::cos(t / 2) * std::sin(t), std::sin(t / 2)};
    strip.points.push_back({c.x + 0.5 * d.x, c.y + 0.5 * d.y, c.z + 0.5 * d.z});  // 2i
    strip.points.push_back({c.x - 0.5 * d.x, c.y - 0.5 * d.y, c.z - 0.5 * d.z});  // 2i + 1
  }
  for (std::uint32_t i = 0; i < 5; ++i)
    strip.faces.push_back({2 * i, 2 * i + 2, 2 * i + 3, 2 * i + 1});
  strip.faces.push_back({10, 1, 0, 11});  // the half twist
  return strip;
}

enum class GridKind { Torus, Sheet, Tube };

// A grid of nu x nv cells on a torus (closed), a sheet (open, one border) or a tube (open at
// both ends), each cell a quad or two triangles along a random diagonal, the points moved a
// little at random. Every border has nu or more segments: keep nu, nv >= 5 for borders of five
// or more.
inline IndexedMesh gridSurface(int nu, int nv, GridKind kind, double quads, std::mt19937& rng) {
  constexpr double kPi = 3.14159265358979323846;
  std::uniform_real_distribution<double> jitter(-0.05, 0.05), unit(0, 1);
  IndexedMesh m;
  const bool wrap_u = kind != GridKind::Sheet;
  const bool wrap_v = kind == GridKind::Torus;
  const int nuu = wrap_u ? nu : nu + 1, nvv = wrap_v ? nv : nv + 1;
  for (int j = 0; j < nvv; ++j)
    for (int i = 0; i < nuu; ++i) {
      const double u = 2 * kPi * i / nu, v = 2 * kPi * j / nv;
      Vec3 p;
      if (kind == GridKind::Torus)
        p = {(2 + std::cos(v)) * std::cos(u), (2 + std::cos(v)) * std::sin(u), std::sin(v)};
      else if (kind == GridKind::Tube)
        p = {std::cos(u), std::sin(u), j * 0.7};
      else
        p = {1.0 * i, 1.0 * j, 0.3 * std::sin(i) * std::cos(j)};
      m.points.push_back({p.x + jitter(rng), p.y + jitter(rng), p.z + jitter(rng)});
    }
  const auto at = [&](int i, int j) {
    if (wrap_u) i %= nu;
    if (wrap_v) j %= nv;
    return static_cast<std::uint32_t>(j * nuu + i);
  };
  for (int j = 0; j < nv; ++j)
    for (int i = 0; i < nu; ++i) {
      const std::uint32_t a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
      if (unit(rng) < quads)
        m.faces.push_back({a, b, c, d});
      else if (unit(rng) < 0.5)
        m.faces.insert(m.faces.end(), {{a, b, c}, {a, c, d}});
      else
        m.faces.insert(m.faces.end(), {{a, b, d}, {b, c, d}});
    }
  return m;
}

// An octahedron on the unit sphere, its triangles split `subdivisions` times.
inline IndexedMesh octaSphere(int subdivisions) {
  IndexedMesh m;
  m.points = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
  m.faces = {{0, 2, 4}, {2, 1, 4}, {1, 3, 4}, {3, 0, 4},
             {2, 0, 5}, {1, 2, 5}, {3, 1, 5}, {0, 3, 5}};
  for (int s = 0; s < subdivisions; ++s) {
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> middle;
    const auto mid = [&](std::uint32_t a, std::uint32_t b) {
      const auto key = std::make_pair(std::min(a, b), std::max(a, b));
      if (const auto it = middle.find(key); it != middle.end()) return it->second;
      const Vec3 p{(m.points[a].x + m.points[b].x) / 2, (m.points[a].y + m.points[b].y) / 2,
                   (m.points[a].z + m.points[b].z) / 2};
      const double l = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
      m.points.push_back({p.x / l, p.y / l, p.z / l});
      return middle[key] = static_cast<std::uint32_t>(m.points.size() - 1);
    };
    std::vector<std::vector<std::uint32_t>> next;
    for (const auto& f : m.faces) {
      const std::uint32_t ab = mid(f[0], f[1]), bc = mid(f[1], f[2]), ca = mid(f[2], f[0]);
      next.insert(next.end(), {{f[0], ab, ca}, {ab, f[1], bc}, {ca, bc, f[2]}, {ab, bc, ca}});
    }
    m.faces = std::move(next);
  }
  return m;
}

// Flips up to `count` random edges between two triangles (never making an edge that exists,
// never leaving a vertex with fewer than three neighbours): vertices of every degree from
// three up, as real meshes have them.
inline void flipEdges(IndexedMesh& m, int count, std::mt19937& rng) {
  using Edge = std::pair<std::uint32_t, std::uint32_t>;
  const auto key = [](std::uint32_t a, std::uint32_t b) {
    return Edge(std::min(a, b), std::max(a, b));
  };
  for (int n = 0; n < count; ++n) {
    std::map<Edge, std::vector<std::size_t>> on;
    std::map<std::uint32_t, std::set<std::uint32_t>> next;
    for (std::size_t f = 0; f < m.faces.size(); ++f)
      for (std::size_t k = 0; k < m.faces[f].size(); ++k) {
        const std::uint32_t a = m.faces[f][k], b = m.faces[f][(k + 1) % m.faces[f].size()];
        on[key(a, b)].push_back(f);
        next[a].insert(b);
        next[b].insert(a);
      }
    std::vector<Edge> flippable;
    for (const auto& [e, fs] : on)
      if (fs.size() == 2 && m.faces[fs[0]].size() == 3 && m.faces[fs[1]].size() == 3)
        flippable.push_back(e);
    if (flippable.empty()) return;
    const Edge e = flippable[rng() % flippable.size()];
    auto& f1 = m.faces[on[e][0]];
    auto& f2 = m.faces[on[e][1]];
    const auto other = [&](const std::vector<std::uint32_t>& f) {
      for (std::uint32_t x : f)
        if (x != e.first && x != e.second) return x;
      return f[0];
    };
    const std::uint32_t c = other(f1), d = other(f2);
    if (c == d || next[c].count(d) || next[e.first].size() <= 3 || next[e.second].size() <= 3)
      continue;
    // f1 runs a -> b (one way or the other); the new faces keep that turning.
    const auto pos = std::find(f1.begin(), f1.end(), e.first) - f1.begin();
    const bool forward = f1[(pos + 1) % 3] == e.second;
    const std::uint32_t a = forward ? e.first : e.second, b = forward ? e.second : e.first;
    f1 = {a, d, c};
    f2 = {b, c, d};
  }
}

}  // namespace zevrin::test
