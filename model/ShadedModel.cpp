#include "model/ShadedModel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "mesh/AM5_mesh.h"
#include "mesh/TagMesh.h"
#include "model/tree/AM5_super.h"

namespace zevrin {
namespace {

constexpr std::uint32_t kNone = MeshPatches::kNoVertex;

// Sets of patch corners (or vertices) joined pairwise; iterative, with path halving.
class Joins {
 public:
  explicit Joins(std::size_t n) : parent_(n) {
    for (std::size_t i = 0; i < n; ++i) parent_[i] = static_cast<std::uint32_t>(i);
  }
  std::uint32_t Root(std::uint32_t i) {
    while (parent_[i] != i) {
      parent_[i] = parent_[parent_[i]];
      i = parent_[i];
    }
    return i;
  }
  void Join(std::uint32_t a, std::uint32_t b) {
    a = Root(a);
    b = Root(b);
    if (a != b) parent_[std::max(a, b)] = std::min(a, b);
  }

 private:
  std::vector<std::uint32_t> parent_;
};

// The spline passes through each vertex at a peaked point: the vertices before and after it
// on its spline (kNone at an open spline's end). Only peaked points are kept.
class PeakedPasses {
 public:
  // Beyond this many peaked passes at one vertex, every segment there is a crease: the test
  // of one segment stays a few steps even at a pole where thousands of splines meet.
  static constexpr std::uint32_t kMaxPasses = 8;

  PeakedPasses(const M5mesh& mesh, const MeshPatches& patches) {
    std::vector<Pass> passes;
    std::size_t index = 0;
    for (const auto& s : mesh.Splines) {
      const std::size_t first = index;
      std::size_t count = 0;
      for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get()) ++count;
      const bool closed = count >= 3 && s->LastCp && s->LastCp->HasLoopBit();
      std::size_t k = 0;
      for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get(), ++k) {
        if ((p->Flags & M5cp::kBit0) != 0) continue;  // smooth
        const std::uint32_t v = patches.VertexOfPoint[first + k];
        if (v == kNone) continue;
        const std::size_t before = k > 0 ? first + k - 1 : closed ? first + count - 1 : SIZE_MAX;
        const std::size_t after = k + 1 < count ? first + k + 1 : closed ? first : SIZE_MAX;
        passes.push_back({v, before == SIZE_MAX ? kNone : patches.VertexOfPoint[before],
                          after == SIZE_MAX ? kNone : patches.VertexOfPoint[after]});
      }
      index = first + count;
    }
    start_.assign(patches.Vertices.size() + 1, 0);
    for (const Pass& p : passes) ++start_[p.at + 1];
    for (std::size_t v = 0; v < patches.Vertices.size(); ++v) start_[v + 1] += start_[v];
    ends_.resize(2 * passes.size());
    std::vector<std::uint32_t> fill(start_.begin(), start_.end() - 1);
    for (const Pass& p : passes) {
      const std::uint32_t at = fill[p.at]++;
      ends_[2 * at] = p.before;
      ends_[2 * at + 1] = p.after;
    }
  }

  // Whether the surface creases along the segment from v to w at v: a spline peaked at v
  // that does not run along the segment bends across it.
  bool Crease(std::uint32_t v, std::uint32_t w) const {
    const std::uint32_t n = start_[v + 1] - start_[v];
    if (n > kMaxPasses) return true;
    for (std::uint32_t i = start_[v]; i < start_[v + 1]; ++i)
      if (ends_[2 * i] != w && ends_[2 * i + 1] != w) return true;
    return false;
  }

 private:
  struct Pass {
    std::uint32_t at, before, after;
  };
  std::vector<std::uint32_t> start_;  // by vertex, into ends_ (pairs)
  std::vector<std::uint32_t> ends_;
};

// One side of a patch: from its corner `corner` (an index into Corners) to the next corner.
struct Side {
  std::uint32_t low;  // the side's vertices, lower first
  std::uint32_t high;
  std::uint32_t corner;
  std::uint32_t patch;
};

class MeshScene {
 public:
  MeshScene(const M5mesh& mesh, const MeshPatches& patches, bool own_list)
      : mesh_(mesh), p_(patches), own_list_(own_list) {}

  void AddTo(ShadedScene& scene) {
    const std::size_t corners = p_.Corners.size();
    patch_of_.resize(corners);
    for (std::uint32_t i = 0; i < p_.Count(); ++i)
      for (std::uint32_t g = p_.Starts[i]; g < p_.Starts[i + 1]; ++g) patch_of_[g] = i;
    faceNormals();
    sortSides();
    std::vector<bool> unorientable(p_.Count(), false);
    for (const std::uint32_t i : p_.UnorientablePatches) unorientable[i] = true;
    if (own_list_) {
      scene.Unorientable += turnings(unorientable);
      scene.Holes += borders(scene);
    } else {
      scene.Unorientable += p_.Counts.Unorientable;
      scene.Holes += p_.Counts.Holes;
      for (std::size_t k = 0; k + 1 < p_.HoleSegments.size(); k += 2)
        addLine(scene.HoleLines, p_.HoleSegments[k], p_.HoleSegments[k + 1]);
    }
    cornerNormals();
    triangles(scene, unorientable);
    splines(scene);
    scene.Patches += p_.Count();
  }

 private:
  std::uint32_t nextCorner(std::uint32_t g) const {
    const std::uint32_t i = patch_of_[g];
    return g + 1 < p_.Starts[i + 1] ? g + 1 : p_.Starts[i];
  }

  // Twice the vector area of each patch (Newell's sum), which weighs it among its neighbours.
  void faceNormals() {
    face_.resize(p_.Count());
    for (std::size_t i = 0; i < p_.Count(); ++i) {
      const std::span<const std::uint32_t> c = p_.Patch(i);
      Vec3 n;
      for (std::size_t k = 0; k < c.size(); ++k) {
        const Vec3& a = p_.Vertices[c[k]];
        const Vec3& b = p_.Vertices[c[(k + 1) % c.size()]];
        n.x += (a.y - b.y) * (a.z + b.z);
        n.y += (a.z - b.z) * (a.x + b.x);
        n.z += (a.x - b.x) * (a.y + b.y);
      }
      face_[i] = n;
    }
  }

  // Every side of every patch, grouped by the segment it lies on (by its lower vertex, then
  // its higher): a bucket per vertex and a sort within it, so a long pole costs n log n.
  void sortSides() {
    std::vector<std::uint32_t> start(p_.Vertices.size() + 1, 0);
    for (std::uint32_t g = 0; g < p_.Corners.size(); ++g)
      ++start[std::min(p_.Corners[g], p_.Corners[nextCorner(g)]) + 1];
    for (std::size_t v = 0; v < p_.Vertices.size(); ++v) start[v + 1] += start[v];
    sides_.resize(p_.Corners.size());
    std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
    for (std::uint32_t g = 0; g < p_.Corners.size(); ++g) {
      const std::uint32_t a = p_.Corners[g], b = p_.Corners[nextCorner(g)];
      sides_[fill[std::min(a, b)]++] = {std::min(a, b), std::max(a, b), g, patch_of_[g]};
    }
    for (std::size_t v = 0; v < p_.Vertices.size(); ++v)
      if (start[v + 1] - start[v] > 1)
        std::sort(sides_.begin() + start[v], sides_.begin() + start[v + 1],
                  [](const Side& x, const Side& y) { return x.high < y.high; });
  }

  // Calls visit(first, count) for each run of sides on one segment.
  template <class Visit>
  void eachSegment(Visit&& visit) const {
    for (std::size_t s = 0; s < sides_.size();) {
      std::size_t e = s + 1;
      while (e < sides_.size() && sides_[e].low == sides_[s].low &&
             sides_[e].high == sides_[s].high)
        ++e;
      visit(s, e - s);
      s = e;
    }
  }

  // The sets of a file's own list that no turning makes agree: a breadth-first walk across
  // the segments shared by exactly two patches, as the patch finder turns its own. Marks their
  // patches; returns how many sets.
  std::size_t turnings(std::vector<bool>& unorientable) const {
    // The neighbours of each patch and whether they run the same way along the shared segment
    // (then one of them would have to turn).
    std::vector<std::uint32_t> start(p_.Count() + 1, 0);
    eachSegment([&](std::size_t s, std::size_t n) {
      if (n != 2) return;
      ++start[sides_[s].patch + 1];
      ++start[sides_[s + 1].patch + 1];
    });
    for (std::size_t i = 0; i < p_.Count(); ++i) start[i + 1] += start[i];
    std::vector<std::uint32_t> other(start.back());
    std::vector<std::uint8_t> same_way(start.back());
    std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
    eachSegment([&](std::size_t s, std::size_t n) {
      if (n != 2) return;
      const Side& a = sides_[s];
      const Side& b = sides_[s + 1];
      const bool same = p_.Corners[a.corner] == p_.Corners[b.corner];
      other[fill[a.patch]] = b.patch;
      same_way[fill[a.patch]++] = same;
      other[fill[b.patch]] = a.patch;
      same_way[fill[b.patch]++] = same;
    });
    std::vector<std::int8_t> flip(p_.Count(), -1);
    std::vector<std::uint32_t> members;
    std::size_t sets = 0;
    for (std::uint32_t s = 0; s < p_.Count(); ++s) {
      if (flip[s] >= 0) continue;
      members.assign(1, s);
      flip[s] = 0;
      bool consistent = true;
      for (std::size_t m = 0; m < members.size(); ++m) {
        const std::uint32_t p = members[m];
        for (std::uint32_t k = start[p]; k < start[p + 1]; ++k) {
          const std::uint32_t q = other[k];
          const std::int8_t wanted = static_cast<std::int8_t>(flip[p] ^ same_way[k]);
          if (flip[q] < 0) {
            flip[q] = wanted;
            members.push_back(q);
          } else if (flip[q] != wanted) {
            consistent = false;
          }
        }
      }
      if (!consistent) {
        ++sets;
        for (const std::uint32_t p : members) unorientable[p] = true;
      }
    }
    return sets;
  }

  // The openings of a file's own list: the sides no other patch shares, drawn, and counted as
  // the connected runs they form.
  std::size_t borders(ShadedScene& scene) {
    Joins runs(p_.Vertices.size());
    std::vector<std::uint32_t> ends;
    eachSegment([&](std::size_t s, std::size_t n) {
      if (n != 1) return;
      addLine(scene.HoleLines, sides_[s].low, sides_[s].high);
      runs.Join(sides_[s].low, sides_[s].high);
      ends.push_back(sides_[s].low);
    });
    std::vector<std::uint32_t> roots;
    roots.reserve(ends.size());
    for (const std::uint32_t v : ends) roots.push_back(runs.Root(v));
    std::sort(roots.begin(), roots.end());
    return static_cast<std::size_t>(std::unique(roots.begin(), roots.end()) - roots.begin());
  }

  // The normal at each corner: the patches that meet smoothly at its point share one.
  void cornerNormals() {
    const PeakedPasses peaked(mesh_, p_);
    Joins smooth(p_.Corners.size());
    eachSegment([&](std::size_t s, std::size_t n) {
      if (n != 2) return;
      const Side& a = sides_[s];
      const Side& b = sides_[s + 1];
      // a runs from v to w; b must run back from w to v for the patches to agree.
      const std::uint32_t v = p_.Corners[a.corner], w = p_.Corners[nextCorner(a.corner)];
      if (p_.Corners[b.corner] != w) return;
      if (!peaked.Crease(v, w)) smooth.Join(a.corner, nextCorner(b.corner));
      if (!peaked.Crease(w, v)) smooth.Join(nextCorner(a.corner), b.corner);
    });
    // Each set's summed patch normals at its root, made unit length there; a corner's normal
    // is its root's.
    normal_.assign(p_.Corners.size(), Vec3{});
    for (std::uint32_t g = 0; g < p_.Corners.size(); ++g) {
      const Vec3& f = face_[patch_of_[g]];
      Vec3& t = normal_[smooth.Root(g)];
      t.x += f.x;
      t.y += f.y;
      t.z += f.z;
    }
    root_.resize(p_.Corners.size());
    for (std::uint32_t g = 0; g < p_.Corners.size(); ++g) {
      const std::uint32_t r = root_[g] = smooth.Root(g);
      if (r != g) continue;
      Vec3& n = normal_[g];
      const double l = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
      n = l > 0 && std::isfinite(l) ? Vec3{n.x / l, n.y / l, n.z / l} : Vec3{};
    }
  }

  // The normal at corner g: its set's, or where the patches of the set cancel out (opposite
  // neighbours, or no area), the patch's own.
  Vec3 normalAt(std::uint32_t g) const {
    const Vec3& n = normal_[root_[g]];
    if (n.x != 0 || n.y != 0 || n.z != 0) return n;
    const Vec3& f = face_[patch_of_[g]];
    const double l = std::sqrt(f.x * f.x + f.y * f.y + f.z * f.z);
    return l > 0 && std::isfinite(l) ? Vec3{f.x / l, f.y / l, f.z / l} : Vec3{};
  }

  void triangles(ShadedScene& scene, const std::vector<bool>& unorientable) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < p_.Count(); ++i) count += p_.Starts[i + 1] - p_.Starts[i] - 2;
    scene.Positions.reserve(scene.Positions.size() + 9 * count);
    scene.Normals.reserve(scene.Normals.size() + 9 * count);
    scene.Marks.reserve(scene.Marks.size() + count);
    const auto corner = [&](std::uint32_t g) {
      const Vec3& at = p_.Vertices[p_.Corners[g]];
      scene.Positions.insert(
          scene.Positions.end(),
          {static_cast<float>(at.x), static_cast<float>(at.y), static_cast<float>(at.z)});
      const Vec3 n = normalAt(g);
      scene.Normals.insert(scene.Normals.end(), {static_cast<float>(n.x), static_cast<float>(n.y),
                                                 static_cast<float>(n.z)});
    };
    for (std::size_t i = 0; i < p_.Count(); ++i) {
      const std::uint32_t s = p_.Starts[i], n = p_.Starts[i + 1] - s;
      const auto mark =
          static_cast<std::uint8_t>(unorientable[i] ? ShadeMark::Unorientable : ShadeMark::Plain);
      if (n == 4) {
        // Along the shorter diagonal, as the export splits a quad.
        const auto dist = [&](std::uint32_t a, std::uint32_t b) {
          const Vec3& x = p_.Vertices[p_.Corners[s + a]];
          const Vec3& y = p_.Vertices[p_.Corners[s + b]];
          return (x.x - y.x) * (x.x - y.x) + (x.y - y.y) * (x.y - y.y) + (x.z - y.z) * (x.z - y.z);
        };
        const bool across_13 = dist(1, 3) < dist(0, 2);
        const std::uint32_t t[2][3] = {{0, 1, across_13 ? 3u : 2u}, {across_13 ? 1u : 0u, 2, 3}};
        for (const auto& tri : t) {
          for (const std::uint32_t k : tri) corner(s + k);
          scene.Marks.push_back(mark);
        }
      } else {
        for (std::uint32_t k = 1; k + 1 < n; ++k) {
          corner(s);
          corner(s + k);
          corner(s + k + 1);
          scene.Marks.push_back(mark);
        }
      }
    }
  }

  void splines(ShadedScene& scene) {
    std::size_t index = 0;
    for (const auto& s : mesh_.Splines) {
      const std::size_t first = index;
      std::uint32_t last = kNone;
      for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get(), ++index) {
        const std::uint32_t v = p_.VertexOfPoint[index];
        if (last != kNone && v != kNone && v != last) addLine(scene.SplineLines, last, v);
        last = v;
      }
      if (index - first >= 2 && s->LastCp && s->LastCp->HasLoopBit()) {
        const std::uint32_t v = p_.VertexOfPoint[first];
        if (last != kNone && v != kNone && v != last) addLine(scene.SplineLines, last, v);
      }
    }
  }

  void addLine(std::vector<float>& lines, std::uint32_t a, std::uint32_t b) const {
    const Vec3& x = p_.Vertices[a];
    const Vec3& y = p_.Vertices[b];
    lines.insert(lines.end(),
                 {static_cast<float>(x.x), static_cast<float>(x.y), static_cast<float>(x.z),
                  static_cast<float>(y.x), static_cast<float>(y.y), static_cast<float>(y.z)});
  }

 private:
  const M5mesh& mesh_;
  const MeshPatches& p_;
  bool own_list_;
  std::vector<std::uint32_t> patch_of_;  // by corner
  std::vector<Vec3> face_;               // by patch
  std::vector<Side> sides_;
  std::vector<Vec3> normal_;         // by corner: at a set's root, the set's normal
  std::vector<std::uint32_t> root_;  // by corner: the root of its set
};

}  // namespace

ShadedScene BuildShadedScene(const M5amsuper& root, Progress& bars) {
  ShadedScene scene;
  // The box of every finite vertex, the points no patch or spline uses as well.
  bool any = false;
  Vec3 lo, hi;
  const auto grow = [&](const Vec3& v) {
    if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) return;
    if (!any) lo = hi = v;
    any = true;
    lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
    hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
  };
  WalkTree(root, [&](const M5amsuper& node) {
    if (node.IsSuppressed()) return WalkOn::Over;
    const auto* mesh = dynamic_cast<const M5mesh*>(&node);
    if (!mesh) return WalkOn::Into;
    const MeshPatches patches = PatchesOf(*mesh, bars);
    const auto* tag = dynamic_cast<const TagMesh*>(mesh);
    MeshScene(*mesh, patches, tag && tag->HasPatchList).AddTo(scene);
    for (const Vec3& v : patches.Vertices) grow(v);
    return WalkOn::Over;
  });
  scene.Min = {lo.x, lo.y, lo.z};
  scene.Max = {hi.x, hi.y, hi.z};
  return scene;
}

}  // namespace zevrin
