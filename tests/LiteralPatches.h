// Patch finding written the plain way: positions by M5cp::Pos, vertices and segments found by
// scanning, loops by trying every set of three and four vertices, the crowded loops left out
// one at a time with every count and neighbour found again by a scan over all of them, and
// orientation by sweeping until nothing changes. Fine for a few dozen vertices; the tests
// compare FindPatches with it.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "mesh/AM5_mesh.h"

namespace zevrin::literal {

struct LiteralPatch {
  std::vector<std::uint32_t> corners;  // from the lowest vertex, in the patch's turning
  bool operator<(const LiteralPatch& o) const { return corners < o.corners; }
  bool operator==(const LiteralPatch& o) const { return corners == o.corners; }
};

struct LiteralPatches {
  std::vector<Vec3> vertices;
  std::vector<std::uint32_t> vertex_of_point;
  std::set<std::pair<std::uint32_t, std::uint32_t>> segments;
  std::vector<LiteralPatch> patches;  // sorted
  std::size_t flat = 0;
  std::size_t crowded = 0;
  std::size_t rings = 0;
  std::size_t unorientable = 0;
};

inline LiteralPatches literalFindPatches(const M5mesh& mesh) {
  constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  LiteralPatches out;
  std::vector<const M5cp*> points;
  for (const auto& s : mesh.Splines)
    for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get()) points.push_back(p);
  const auto indexOf = [&](const M5cp* p) {
    return static_cast<std::uint32_t>(std::find(points.begin(), points.end(), p) - points.begin());
  };
  // The point a hooked point's walk ends at: along the targets to the first with hook bits.
  const auto hookEnd = [&](const M5cp& p) -> const M5cp* {
    const M5cp* q = &p;
    for (std::size_t steps = 0; steps <= points.size(); ++steps) {
      if (q->HasHookBits()) return q;
      if (!q->Target) return nullptr;
      q = q->Target;
    }
    return nullptr;  // a ring
  };
  for (const M5cp* p : points) {
    const Vec3 at = p->Pos(p->HookParam);
    std::uint32_t v = kNone;
    if (!(std::isnan(at.x) || std::isnan(at.y) || std::isnan(at.z))) {
      for (std::uint32_t k = 0; k < out.vertices.size(); ++k)
        if (out.vertices[k].x == at.x && out.vertices[k].y == at.y && out.vertices[k].z == at.z)
          v = k;
      if (v == kNone) {
        v = static_cast<std::uint32_t>(out.vertices.size());
        out.vertices.push_back(at);
      }
    }
    out.vertex_of_point.push_back(v);
  }
  // Hooks on each point's segment, by parameter; the point's own place on its segment.
  const auto ownT = [&](std::uint32_t i) {
    const M5cp& p = *points[i];
    return p.HookParam != 0 && p.HasHookBits() ? p.HookParam : 0.0;
  };
  const auto hooksOn = [&](std::uint32_t i, bool before) {
    std::vector<std::pair<double, std::uint32_t>> found;
    for (std::uint32_t j = 0; j < points.size(); ++j) {
      const M5cp& q = *points[j];
      if (j == i || q.HookParam == 0 || out.vertex_of_point[j] == kNone) continue;
      if (hookEnd(q) != points[i]) continue;
      if ((q.HookParam < ownT(i)) == before) found.push_back({q.HookParam, out.vertex_of_point[j]});
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return found;
  };
  std::uint32_t last = kNone;
  // The splines each segment lies on, and whether each spline is closed.
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::set<std::size_t>> on_splines;
  std::vector<bool> closed;
  std::map<std::size_t, std::size_t> segments_of;  // segments walked per spline
  const auto to = [&](std::uint32_t v) {
    if (v != kNone && last != kNone && v != last) {
      out.segments.insert({std::min(v, last), std::max(v, last)});
      on_splines[{std::min(v, last), std::max(v, last)}].insert(closed.size());
      ++segments_of[closed.size()];
    }
    last = v;
  };
  for (const auto& s : mesh.Splines) {
    last = kNone;
    std::vector<std::uint32_t> chain;
    for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get()) chain.push_back(indexOf(p));
    for (std::size_t k = 0; k < chain.size(); ++k) {
      if (k > 0)
        for (const auto& [t, v] : hooksOn(chain[k], true)) to(v);
      to(out.vertex_of_point[chain[k]]);
      if (k + 1 < chain.size() || points[chain[k]]->HasLoopBit())
        for (const auto& [t, v] : hooksOn(chain[k], false)) to(v);
    }
    const bool is_closed = chain.size() >= 2 && s->LastCp->HasLoopBit();
    if (is_closed) {
      for (const auto& [t, v] : hooksOn(chain[0], true)) to(v);
      to(out.vertex_of_point[chain[0]]);
    }
    closed.push_back(is_closed);
  }
  const auto joined = [&](std::uint32_t a, std::uint32_t b) {
    return out.segments.count({std::min(a, b), std::max(a, b)}) > 0;
  };

  // Every loop of three, and every loop of four without a diagonal, from its lowest vertex
  // towards the lower of its neighbours there.
  struct Loop {
    std::vector<std::uint32_t> c;
    double area2;
    bool one_spline;  // every segment lies on one open spline and on no other
    bool edges_only;  // every segment is a spline of one segment, and on no other
  };
  std::vector<Loop> loops;
  const auto n = static_cast<std::uint32_t>(out.vertices.size());
  const auto area2 = [&](const std::vector<std::uint32_t>& c) {
    const Vec3& a = out.vertices[c[0]];
    const Vec3& b = out.vertices[c[1]];
    const Vec3& cc = out.vertices[c[2]];
    Vec3 u, w;
    if (c.size() == 3) {
      u = {b.x - a.x, b.y - a.y, b.z - a.z};
      w = {cc.x - a.x, cc.y - a.y, cc.z - a.z};
    } else {
      const Vec3& d = out.vertices[c[3]];
      u = {cc.x - a.x, cc.y - a.y, cc.z - a.z};
      w = {d.x - b.x, d.y - b.y, d.z - b.z};
    }
    const Vec3 x{u.y * w.z - u.z * w.y, u.z * w.x - u.x * w.z, u.x * w.y - u.y * w.x};
    return x.x * x.x + x.y * x.y + x.z * x.z;
  };
  const auto offer = [&](std::vector<std::uint32_t> c) {
    const double a = area2(c);
    if (!(a > 0)) {
      ++out.flat;
      return;
    }
    // One spline alone: every segment lies on that spline and on no other.
    bool one = true, edges_only = true;
    std::size_t spline = closed.size();
    for (std::size_t k = 0; k < c.size(); ++k) {
      const auto& these = on_splines[{std::min(c[k], c[(k + 1) % c.size()]),
                                      std::max(c[k], c[(k + 1) % c.size()])}];
      if (these.size() != 1 || (k > 0 && *these.begin() != spline)) one = false;
      if (these.size() == 1 && k == 0) spline = *these.begin();
      edges_only = edges_only && these.size() == 1 && segments_of[*these.begin()] == 1;
    }
    if (one && closed[spline]) {
      ++out.rings;
      return;
    }
    loops.push_back({std::move(c), a, one, edges_only});
  };
  for (std::uint32_t a = 0; a < n; ++a)
    for (std::uint32_t b = a + 1; b < n; ++b)
      for (std::uint32_t c = b + 1; c < n; ++c)
        if (joined(a, b) && joined(b, c) && joined(c, a)) offer({a, b, c});
  for (std::uint32_t a = 0; a < n; ++a)
    for (std::uint32_t b = a + 1; b < n; ++b)
      for (std::uint32_t c = a + 1; c < n; ++c)
        for (std::uint32_t d = b + 1; d < n; ++d) {
          // a lowest, b the lower of its neighbours: a-b-c-d with a < b < d, c any other.
          if (c == b || c == d) continue;
          if (joined(a, b) && joined(b, c) && joined(c, d) && joined(d, a) && !joined(a, c) &&
              !joined(b, d))
            offer({a, b, c, d});
        }

  // Leaving out. Loops of splines longer than one segment, largest first (then more corners,
  // then the lowest corners): first the rims of the patches around a vertex, then loops one
  // open spline makes alone and loops that are the largest beside them. Then the loops of
  // one-segment splines, while any is crowded on two sides with another loop on every side:
  // the largest share of crowded sides, then the larger, more corners, lowest corners. Every
  // count and neighbour is found again for every loop.
  const auto edgeKey = [](std::uint32_t a, std::uint32_t b) {
    return std::make_pair(std::min(a, b), std::max(a, b));
  };
  const auto sidesOf = [&](const Loop& l) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> sides;
    for (std::size_t k = 0; k < l.c.size(); ++k)
      sides.push_back(edgeKey(l.c[k], l.c[(k + 1) % l.c.size()]));
    return sides;
  };
  const auto hasSide = [&](const Loop& l, std::pair<std::uint32_t, std::uint32_t> side) {
    const auto sides = sidesOf(l);
    return std::find(sides.begin(), sides.end(), side) != sides.end();
  };
  std::vector<bool> alive(loops.size(), true);
  // The other live loops on a side.
  const auto others = [&](std::size_t l, std::pair<std::uint32_t, std::uint32_t> side) {
    std::vector<std::size_t> list;
    for (std::size_t m = 0; m < loops.size(); ++m)
      if (m != l && alive[m] && hasSide(loops[m], side)) list.push_back(m);
    return list;
  };
  // Sides crowded (three loops or more), or 0 when a side has no other loop.
  const auto crowdedSides = [&](std::size_t l) {
    std::size_t crowded = 0;
    for (const auto& side : sidesOf(loops[l])) {
      const std::size_t beside = others(l, side).size();
      if (beside == 0) return std::size_t{0};
      crowded += beside >= 2;
    }
    return crowded;
  };
  const auto fanRim = [&](std::size_t l) {
    const auto& c = loops[l].c;
    for (std::uint32_t v = 0; v < n; ++v) {
      if (std::find(c.begin(), c.end(), v) != c.end()) continue;
      bool inside = true, every_side = true, triangle = false;
      for (std::uint32_t w = 0; w < n; ++w)
        if (joined(v, w) && std::find(c.begin(), c.end(), w) == c.end()) inside = false;
      for (const auto& side : sidesOf(loops[l])) {
        bool found = false;
        for (const std::size_t m : others(l, side)) {
          if (std::find(loops[m].c.begin(), loops[m].c.end(), v) == loops[m].c.end()) continue;
          found = true;
          triangle = triangle || loops[m].c.size() == 3;
        }
        every_side = every_side && found;
      }
      if (inside && every_side && triangle) return true;
    }
    return false;
  };
  std::vector<std::size_t> order(loops.size());
  for (std::size_t l = 0; l < loops.size(); ++l) order[l] = l;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    if (loops[a].area2 != loops[b].area2) return loops[a].area2 > loops[b].area2;
    if (loops[a].c.size() != loops[b].c.size()) return loops[a].c.size() > loops[b].c.size();
    return loops[a].c < loops[b].c;
  });
  for (const std::size_t l : order) {
    if (!loops[l].edges_only && crowdedSides(l) >= 2 && fanRim(l)) {
      alive[l] = false;
      ++out.crowded;
    }
  }
  for (const std::size_t l : order) {
    if (!alive[l] || loops[l].edges_only) continue;
    const std::size_t corners = loops[l].c.size();
    const std::size_t crowded = crowdedSides(l);
    std::size_t largest = 0;
    for (const auto& side : sidesOf(loops[l])) {
      bool is_largest = true;
      for (const std::size_t m : others(l, side))
        is_largest = is_largest && loops[m].area2 <= loops[l].area2;
      largest += is_largest;
    }
    const bool leave = crowded == corners ? loops[l].one_spline || largest + 1 >= corners
                                          : crowded + 1 == corners && largest == corners;
    if (leave) {
      alive[l] = false;
      ++out.crowded;
    }
  }
  for (;;) {
    std::size_t best = loops.size();
    std::size_t best_share = 0;
    for (std::size_t l = 0; l < loops.size(); ++l) {
      if (!alive[l] || !loops[l].edges_only) continue;
      const std::size_t crowded = crowdedSides(l);
      if (crowded < 2) continue;
      const std::size_t share = crowded * (12 / loops[l].c.size());
      const bool better =
          best == loops.size() || share > best_share ||
          (share == best_share &&
           (loops[l].area2 > loops[best].area2 ||
            (loops[l].area2 == loops[best].area2 &&
             (loops[l].c.size() > loops[best].c.size() ||
              (loops[l].c.size() == loops[best].c.size() && loops[l].c < loops[best].c)))));
      if (better) {
        best = l;
        best_share = share;
      }
    }
    if (best == loops.size()) break;
    alive[best] = false;
    ++out.crowded;
  }
  std::vector<std::vector<std::uint32_t>> patches;
  for (std::size_t l = 0; l < loops.size(); ++l)
    if (alive[l]) patches.push_back(loops[l].c);

  // Orientation: patches joined through edges that exactly two of them share must run those
  // edges opposite ways; sweep until every patch of a set has a turning.
  const auto runs = [](const std::vector<std::uint32_t>& c, std::uint32_t a, std::uint32_t b) {
    for (std::size_t k = 0; k < c.size(); ++k)
      if (c[k] == a && c[(k + 1) % c.size()] == b) return true;
    return false;
  };
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::vector<std::size_t>> on;
  for (std::size_t p = 0; p < patches.size(); ++p)
    for (std::size_t k = 0; k < patches[p].size(); ++k)
      on[edgeKey(patches[p][k], patches[p][(k + 1) % patches[p].size()])].push_back(p);
  std::vector<int> set_of(patches.size(), -1);
  std::vector<int> flip(patches.size(), 0);
  int sets = 0;
  for (std::size_t s = 0; s < patches.size(); ++s) {
    if (set_of[s] >= 0) continue;
    set_of[s] = sets;
    bool conflict = false;
    bool changed = true;
    while (changed) {
      changed = false;
      for (const auto& [edge, list] : on) {
        if (list.size() != 2) continue;
        const std::size_t p = list[0], q = list[1];
        if ((set_of[p] == sets) == (set_of[q] == sets)) {
          if (set_of[p] == sets && set_of[q] == sets) {
            const bool pf = runs(patches[p], edge.first, edge.second) != (flip[p] == 1);
            const bool qf = runs(patches[q], edge.first, edge.second) != (flip[q] == 1);
            conflict = conflict || pf == qf;
          }
          continue;
        }
        const std::size_t known = set_of[p] == sets ? p : q;
        const std::size_t other = known == p ? q : p;
        const bool kf = runs(patches[known], edge.first, edge.second) != (flip[known] == 1);
        set_of[other] = sets;
        flip[other] = runs(patches[other], edge.first, edge.second) == kf ? 1 : 0;
        changed = true;
      }
    }
    if (conflict) ++out.unorientable;
    ++sets;
  }
  const std::vector<std::vector<std::uint32_t>> found = patches;
  for (std::size_t p = 0; p < patches.size(); ++p)
    if (flip[p]) std::reverse(patches[p].begin(), patches[p].end());
  // Each set faces out: positive volume, else the largest coordinate of its normal positive.
  for (int s = 0; s < sets; ++s) {
    double volume = 0;
    Vec3 normal;
    for (std::size_t p = 0; p < patches.size(); ++p) {
      if (set_of[p] != s) continue;
      const auto& c = patches[p];
      for (std::size_t from = 0; from < 2; ++from)
        for (std::size_t k = 1; k + 1 < c.size(); ++k) {
          const Vec3& a = out.vertices[c[from]];
          const Vec3& b = out.vertices[c[(from + k) % c.size()]];
          const Vec3& d = out.vertices[c[(from + k + 1) % c.size()]];
          volume += a.x * (b.y * d.z - b.z * d.y) + a.y * (b.z * d.x - b.x * d.z) +
                    a.z * (b.x * d.y - b.y * d.x);
          const Vec3 u{b.x - a.x, b.y - a.y, b.z - a.z}, w{d.x - a.x, d.y - a.y, d.z - a.z};
          normal = {normal.x + (u.y * w.z - u.z * w.y), normal.y + (u.z * w.x - u.x * w.z),
                    normal.z + (u.x * w.y - u.y * w.x)};
        }
    }
    const double ax = std::fabs(normal.x), ay = std::fabs(normal.y), az = std::fabs(normal.z);
    const double largest = ax >= ay && ax >= az ? normal.x : ay >= az ? normal.y : normal.z;
    // Where neither tells (a corner at infinity): the lowest patch as found, unturned.
    std::size_t lowest = patches.size();
    for (std::size_t p = 0; p < patches.size(); ++p)
      if (set_of[p] == s && (lowest == patches.size() || found[p] < found[lowest])) lowest = p;
    bool turn = flip[lowest] == 1;
    if (volume > 0 || volume < 0)
      turn = volume < 0;
    else if (volume == 0 && (largest > 0 || largest < 0))
      turn = largest < 0;
    if (turn)
      for (std::size_t p = 0; p < patches.size(); ++p)
        if (set_of[p] == s) std::reverse(patches[p].begin(), patches[p].end());
  }
  for (auto& c : patches) {
    std::rotate(c.begin(), std::min_element(c.begin(), c.end()), c.end());
    out.patches.push_back({c});
  }
  std::sort(out.patches.begin(), out.patches.end());
  return out;
}

}  // namespace zevrin::literal
