// Random half models of the kind users weld by hand: splines that cross the plane X = 0
// through shared seam points, points at one place attached to each other in either direction
// (a random tree per place, so every attachment names a point and none forms a ring), hooks
// with points hung on them, loop bits, points just off the plane for the tolerance to snap,
// and optionally groups for Connect. Used by the tests and by the survey of Halvejoin's
// results (bench/survey_halvejoin.cpp), each model made from its seed alone.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "mesh/AM5_cplist.h"
#include "mesh/AM5_mesh.h"
#include "tests/LiteralPasses.h"
#include "util/Ustrlib.h"

namespace zevrin::seam {

enum class Size { kSmall, kMedium };

inline LineList randomSeamModel(std::uint32_t seed, Size size, bool groups) {
  std::mt19937 rng(seed * 2654435761u + (size == Size::kSmall ? 1u : 2u));
  const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const bool small = size == Size::kSmall;
  // Places: the plane is favoured, 0.004 lies within the larger tolerance.
  static const char* kX[] = {"0", "0", "0", "0.004", "1", "2"};
  const int places = small ? 4 + pick(4) : 20 + pick(20);
  std::vector<std::string> place(static_cast<std::size_t>(places));
  for (auto& p : place)
    p = std::string(kX[pick(6)]) + " " + std::to_string(pick(small ? 3 : 6)) + " " +
        std::to_string(pick(2));

  struct Point {
    std::uint32_t flags = 0;
    int place = 0;
    int target = -1;   // index of the point attached to, or -1
    std::string hook;  // parameter text, when it has one
    bool first = false, last = false;
  };
  std::vector<Point> points;
  std::vector<int> spline_sizes;
  const int splines = small ? 2 + pick(4) : 15 + pick(25);
  for (int s = 0; s < splines; ++s) {
    const int n = 2 + pick(small ? 4 : 7);
    spline_sizes.push_back(n);
    for (int k = 0; k < n; ++k) {
      Point p;
      p.place = pick(places);
      p.first = k == 0;
      p.last = k == n - 1;
      if (p.last && pick(8) == 0) p.flags |= 0x4;
      if (!p.last && pick(6) == 0) p.flags |= 0x80;  // a hook: its segment runs to the next
      points.push_back(p);
    }
  }
  // Welding: the points of one place form a random tree, or stay apart.
  std::map<int, std::vector<int>> at;
  for (int i = 0; i < static_cast<int>(points.size()); ++i)
    at[points[static_cast<std::size_t>(i)].place].push_back(i);
  for (auto& [where, members] : at) {
    if (members.size() < 2 || pick(5) == 0) continue;
    std::shuffle(members.begin(), members.end(), rng);
    for (std::size_t k = 1; k < members.size(); ++k) {
      if (pick(6) == 0) continue;  // this one keeps its own coordinates
      const int to = members[static_cast<std::size_t>(pick(static_cast<int>(k)))];
      points[static_cast<std::size_t>(members[k])].target = to;
    }
  }
  // Hung points: a point with no target of its own (others may hang on it), attached to a
  // hook with a parameter, unless the hook's own targets lead back to it.
  std::vector<int> hooks;
  for (int i = 0; i < static_cast<int>(points.size()); ++i)
    if (points[static_cast<std::size_t>(i)].flags & 0x80) hooks.push_back(i);
  for (int i = 0; i < static_cast<int>(points.size()) && !hooks.empty(); ++i) {
    Point& p = points[static_cast<std::size_t>(i)];
    if (p.target >= 0 || (p.flags & 0x80) || pick(small ? 3 : 5) != 0) continue;
    const int h = hooks[static_cast<std::size_t>(pick(static_cast<int>(hooks.size())))];
    bool back = false;
    for (int q = h; q >= 0 && !back; q = points[static_cast<std::size_t>(q)].target) back = q == i;
    if (back) continue;
    p.target = h;
    p.flags |= 0x10;
    p.hook = pick(2) ? "0.25" : "0.5";
  }

  LineList l{"[MODELFILE]", "[MODEL]", "[MESH]"};
  std::size_t i = 0;
  for (int n : spline_sizes) {
    l.push_back("CPs=" + std::to_string(n));
    for (int k = 0; k < n; ++k, ++i) {
      const Point& p = points[i];
      std::string first =
          std::to_string(p.flags) + (p.target >= 0 ? " 1 " : " 0 ") + std::to_string(i + 1);
      if (p.flags & 0x10) first += " " + (p.hook.empty() ? std::string("0") : p.hook);
      l.push_back(first);
      l.push_back(p.target >= 0 ? std::to_string(p.target + 1)
                                : place[static_cast<std::size_t>(p.place)]);
      l.insert(l.end(), {"0", "0"});
    }
  }
  l.push_back("[ENDMESH]");
  if (groups) {
    // Groups of the points of a few places each, in random order, some shared.
    for (int g = 0, n = 1 + pick(3); g < n; ++g) {
      std::vector<int> ids;
      for (int k = 0; k < static_cast<int>(points.size()); ++k)
        if (pick(3) != 0) ids.push_back(k + 1);
      std::shuffle(ids.begin(), ids.end(), rng);
      l.insert(l.end(),
               {"[GROUP]", "Name=g" + std::to_string(g), "Count=" + std::to_string(ids.size())});
      for (int v : ids) l.push_back(std::to_string(v));
      l.push_back("[ENDGROUP]");
    }
  }
  l.insert(l.end(), {"[ENDMODEL]", "[ENDMODELFILE]"});
  return l;
}

// What an attachment can be wrong with, counted over the points of a mesh: a target id that
// names no point, a point whose target is itself, a point on a ring of two or more.
struct Faults {
  int dangling = 0;
  int self = 0;
  int ring = 0;
  bool any() const { return dangling + self + ring > 0; }
};

inline Faults faultsOf(const std::vector<std::unique_ptr<M5spline>>& splines) {
  M5cplist list(splines);
  std::map<std::int32_t, const M5cp*> first;
  for (const M5cp* p : list.Items) first.try_emplace(p->Id, p);
  const auto target = [&](const M5cp* p) -> const M5cp* {
    if (p->Attached != 1) return nullptr;
    const auto it = first.find(p->TargetId);
    return it == first.end() ? nullptr : it->second;
  };
  Faults f;
  for (const M5cp* p : list.Items) {
    if (p->Attached != 1) continue;
    const M5cp* t = target(p);
    if (!t) {
      ++f.dangling;
    } else if (t == p) {
      ++f.self;
    } else {
      std::set<const M5cp*> seen{p};
      for (const M5cp* q = t; q; q = target(q)) {
        if (q == p) {
          ++f.ring;
          break;
        }
        if (!seen.insert(q).second) break;
      }
    }
  }
  return f;
}

// Every point's resolved position (as text) and the id of the root of its chain of targets,
// in list order, or "-" for a point whose chain of targets runs into an id naming no point or
// into a ring: what a user sees of a mesh, where it is defined at all.
inline std::vector<std::string> resolvedPositions(
    const std::vector<std::unique_ptr<M5spline>>& splines) {
  M5cplist list(splines);
  std::map<std::int32_t, const M5cp*> first;
  for (const M5cp* p : list.Items) first.try_emplace(p->Id, p);
  literal::literalResolve(list.Items);
  std::vector<std::string> out;
  for (const M5cp* p : list.Items) {
    const M5cp* root = p;
    std::set<const M5cp*> seen{p};
    bool sound = true;
    while (root->Attached == 1) {
      const auto it = first.find(root->TargetId);
      if (it == first.end() || !seen.insert(it->second).second) {
        sound = false;
        break;
      }
      root = it->second;
    }
    if (!sound) {
      out.push_back("-");
      continue;
    }
    const Vec3 v = p->Pos(0);
    out.push_back(std::to_string(p->Id) + " " + FloatToStr(v.x) + " " + FloatToStr(v.y) + " " +
                  FloatToStr(v.z) + " root " + std::to_string(root->Id));
  }
  return out;
}

// The points where both lists say something and say different things.
inline int differingPositions(const std::vector<std::string>& a,
                              const std::vector<std::string>& b) {
  int n = 0;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
    n += a[i] != "-" && b[i] != "-" && a[i] != b[i];
  return n + static_cast<int>(a.size() != b.size());
}

// Halvejoin with every lookup a scan from the start of the list; `apply` is the correction
// step (the text's, or the text's with the guards against rings); with `shared`, copies are
// then attached to the points on the plane that were not copied, adding their number there.
using CorrectionStep = std::function<void(literal::Items&, const std::vector<Mattach_correct>&)>;
inline void literalHalvejoin(M5mesh& mesh, double tolerance, const CorrectionStep& apply,
                             int* shared = nullptr) {
  if (mesh.Splines.empty()) return;
  std::int32_t n = 0;
  {
    M5cplist list(mesh.Splines);
    list.SnapToMirrorPlane(tolerance);
    literal::literalRenumber(list.Items);
    n = list.Count();
  }
  std::vector<Mattach_correct> corrections;
  mesh.MirrorSplines(n, corrections);
  M5cplist list(mesh.Splines);
  apply(list.Items, corrections);
  if (shared) *shared += literal::literalShareUncopiedTargets(list.Items, n);
  M5cplist last(mesh.Splines);
  literal::literalResolve(last.Items);
}

}  // namespace zevrin::seam
