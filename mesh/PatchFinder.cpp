#include "mesh/PatchFinder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <queue>
#include <unordered_map>
#include <utility>

#include "mesh/AM5_cplist.h"
#include "mesh/AM5_mesh.h"
#include "mesh/PositionResolver.h"
#include "util/Errors.h"
#include "util/FlatHash.h"

namespace zevrin {

PatchCounts& PatchCounts::operator+=(const PatchCounts& other) {
  Triangles += other.Triangles;
  Quads += other.Quads;
  Pentagons += other.Pentagons;
  Holes += other.Holes;
  Unorientable += other.Unorientable;
  Flat += other.Flat;
  Crowded += other.Crowded;
  Rings += other.Rings;
  Tangles += other.Tangles;
  return *this;
}

namespace {

constexpr std::uint32_t kNone = MeshPatches::kNoVertex;

bool samePosition(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
bool hasNaN(const Vec3& v) { return v.x != v.x || v.y != v.y || v.z != v.z; }

Vec3 minus(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

std::uint32_t narrow(std::size_t n) {
  if (n >= kNone) throw ZevrinError(ErrorKind::RangeCheck, "");
  return static_cast<std::uint32_t>(n);
}

// Exactly equal positions (minus zero equal to zero) are one vertex; a position with a NaN
// equals nothing and gets none.
class VertexWelder {
 public:
  explicit VertexWelder(std::size_t expected) : by_hash_(expected) {}

  std::uint32_t Vertex(const Vec3& v) {
    if (hasNaN(v)) return kNone;
    std::uint64_t hash = PositionHash(v);
    if (hash == FlatHash<std::uint32_t>::kNoKey) --hash;  // the table's reserved key
    const auto fresh = narrow(positions.size());
    const auto [head, added] = by_hash_.TryEmplace(hash, fresh);
    if (added) {
      same_hash_.push_back(kNone);
    } else {
      for (std::uint32_t k = *head; k != kNone; k = same_hash_[k])
        if (samePosition(positions[k], v)) return k;
      same_hash_.push_back(*head);
      *head = fresh;
    }
    positions.push_back(v);
    return fresh;
  }

  std::vector<Vec3> positions;

 private:
  std::vector<std::uint32_t> same_hash_;  // the next vertex of the same hash
  FlatHash<std::uint32_t> by_hash_;       // the last vertex made of each hash
};

// Where the position rule takes a point asked for a nonzero parameter: along its targets to
// the first point that carries hook bits, or to the last target. The walk is the same for
// every parameter, so each point's end is remembered and a long chain is walked once.
class HookWalker {
 public:
  // The end, or none when the walk runs into a ring of attachments.
  const M5cp* End(const M5cp& p) {
    path_.clear();
    const M5cp* q = &p;
    const M5cp* end = nullptr;
    CycleGuard guard(q);
    for (;;) {
      if (const M5cp* const* known = memo_.Find(PointerKey(q))) {
        end = *known;
        break;
      }
      if (q->HasHookBits() || !q->Target) {
        end = q;
        break;
      }
      path_.push_back(q);
      q = q->Target;
      if (guard.Returned(q)) {
        end = &ring_;
        break;
      }
    }
    for (const M5cp* r : path_) memo_[PointerKey(r)] = end;
    return end == &ring_ ? nullptr : end;
  }

 private:
  const M5cp ring_{};  // marks the walks that run into a ring
  FlatHash<const M5cp*> memo_;
  std::vector<const M5cp*> path_;
};

// A point hooked onto the segment that starts at a point with hook bits: its parameter there
// and its vertex.
struct Hook {
  std::uint32_t on;  // the point with hook bits, by list index
  double t;
  std::uint32_t vertex;
};

struct Loop {
  std::array<std::uint32_t, 4> corner{};  // in the order of the loop
  std::array<std::uint32_t, 4> edge{};    // edge k joins corner k and corner k + 1
  std::uint32_t n = 0;
  double area2 = 0;         // the squared length of twice the vector area: the larger loop first
  bool one_spline = false;  // every segment lies on one open spline and on no other
  bool edges_only = false;  // every segment is a spline of one segment, and on no other
};

// The segments of a mesh as a graph: vertex pairs welded into edges, with the neighbours of
// every vertex and the spline each edge lies on.
class SegmentGraph {
 public:
  static constexpr std::uint32_t kSeveral = kNone;  // an edge on two splines or more

  // Room for about `expected` segments before the first growth.
  void Reserve(std::size_t expected) {
    by_pair_ = FlatHash<std::uint32_t>(expected);
    ends.reserve(expected);
    spline.reserve(expected);
  }

  void Add(std::uint32_t a, std::uint32_t b, std::uint32_t of_spline) {
    if (a == b || a == kNone || b == kNone) return;
    const auto [slot, added] = by_pair_.TryEmplace(pairKey(a, b), narrow(ends.size()));
    if (added) {
      ends.push_back({std::min(a, b), std::max(a, b)});
      spline.push_back(of_spline);
    } else if (spline[*slot] != of_spline) {
      spline[*slot] = kSeveral;
    }
  }
  bool Joined(std::uint32_t a, std::uint32_t b) const { return by_pair_.Find(pairKey(a, b)); }

  // The neighbours of every vertex, once the segments are all added.
  void Link(std::size_t vertices) {
    start.assign(vertices + 1, 0);
    for (const auto& [a, b] : ends) ++start[a + 1], ++start[b + 1];
    for (std::size_t v = 0; v < vertices; ++v) start[v + 1] += start[v];
    next.resize(start.back());
    via.resize(start.back());
    std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
    for (std::uint32_t e = 0; e < ends.size(); ++e) {
      const auto [a, b] = ends[e];
      via[fill[a]] = e;
      next[fill[a]++] = b;
      via[fill[b]] = e;
      next[fill[b]++] = a;
    }
  }
  std::uint32_t Degree(std::uint32_t v) const { return start[v + 1] - start[v]; }
  std::span<const std::uint32_t> Neighbours(std::uint32_t v) const {
    return {next.data() + start[v], next.data() + start[v + 1]};
  }
  // The edges to those neighbours, in the same order.
  std::span<const std::uint32_t> Edges(std::uint32_t v) const {
    return {via.data() + start[v], via.data() + start[v + 1]};
  }

  std::vector<std::pair<std::uint32_t, std::uint32_t>> ends;  // lower vertex first
  std::vector<std::uint32_t> spline;    // the spline of each edge (mesh order), or kSeveral
  std::vector<bool> closed;             // whether each spline is closed
  std::vector<std::uint32_t> segments;  // how many segments each spline has

 private:
  static std::uint64_t pairKey(std::uint32_t a, std::uint32_t b) {
    if (a > b) std::swap(a, b);
    return (static_cast<std::uint64_t>(a) << 32) | b;  // never the reserved key
  }
  FlatHash<std::uint32_t> by_pair_;
  std::vector<std::uint32_t> start;
  std::vector<std::uint32_t> next;
  std::vector<std::uint32_t> via;  // the edge to each neighbour
};

// Vertices, hooks and segments of the mesh.
void readSplines(const M5mesh& mesh, MeshPatches& out, SegmentGraph& graph, Progress& bars) {
  std::vector<const M5cp*> points;
  for (const auto& s : mesh.Splines)
    for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get()) points.push_back(p);
  const auto total = static_cast<std::int32_t>(std::min<std::size_t>(
      points.size(), static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())));
  narrow(points.size());

  // The points with hook bits, by address: only they have segments to split. Their next
  // points too, since the last point of a long spline would walk back to find its first.
  FlatHash<std::uint32_t> hook_owner;
  FlatHash<const M5cp*> next_of;
  {
    std::size_t i = 0;
    for (const auto& s : mesh.Splines)
      for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get(), ++i)
        if (p->HasHookBits()) {
          hook_owner[PointerKey(p)] = static_cast<std::uint32_t>(i);
          next_of[PointerKey(p)] = p->Next ? p->Next.get() : s->FirstCp.get();
        }
  }

  // Every point at the position the view draws it: a plain or attached point at its source's
  // coordinates, a hooked point on its segment. The same arithmetic as M5cp::Pos.
  bars.StepMain();
  bars.ResetSub();
  VertexWelder welder(points.size() / 2);
  PositionResolver resolver;
  HookWalker walker;
  std::vector<Hook> hooks;
  std::vector<double> own_t(points.size(), 0.0);  // a hook point's place on its own segment
  out.VertexOfPoint.resize(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    const M5cp& p = *points[i];
    const double t = p.PositionParam();
    Vec3 at;
    const M5cp* on = nullptr;
    if (t == 0) {
      at = resolver.Pos(p, 0);
    } else if (const M5cp* end = walker.End(p); !end) {
      at = {p.X, p.Y, p.Z};
    } else if (end->HasHookBits()) {
      const M5cp* const* known = next_of.Find(PointerKey(end));
      const Vec3 next = resolver.Pos(known ? **known : *end->NextOrFirst(), 0);
      const Vec3 base = end->Target ? resolver.Pos(*end->Target, 0) : Vec3{end->X, end->Y, end->Z};
      at = {base.x + t * (next.x - base.x), base.y + t * (next.y - base.y),
            base.z + t * (next.z - base.z)};
      on = end;
    } else {
      at = {end->X, end->Y, end->Z};
    }
    const std::uint32_t v = welder.Vertex(at);
    out.VertexOfPoint[i] = v;
    if (on == &p) {
      own_t[i] = t;
    } else if (on && v != kNone) {
      if (const std::uint32_t* owner = hook_owner.Find(PointerKey(on)))
        hooks.push_back({*owner, t, v});
    }
    bars.StepSub(total);
  }
  out.Vertices = std::move(welder.positions);
  // About one segment per point: a spline of n points has n - 1, an imported edge two points.
  graph.Reserve(points.size() / 2 + 16);

  // The hooks on each segment in the order of their parameter.
  std::sort(hooks.begin(), hooks.end(),
            [](const Hook& a, const Hook& b) { return a.on != b.on ? a.on < b.on : a.t < b.t; });
  FlatHash<std::uint32_t> first_hook;  // list index of a point -> its first hook
  for (std::size_t h = 0; h < hooks.size(); ++h)
    if (h == 0 || hooks[h - 1].on != hooks[h].on)
      first_hook[hooks[h].on] = static_cast<std::uint32_t>(h);

  // The segments, a segment with hooks on it as the pieces between them. The hooks of a point
  // that lies on its own segment itself go before it when their parameter is smaller (on
  // the segment that ends at it), the others after it.
  bars.StepMain();
  bars.ResetSub();
  std::uint32_t index = 0;
  std::uint32_t last_vertex = kNone;
  std::uint32_t spline = 0;  // the spline being walked
  const auto to = [&](std::uint32_t v) {
    if (v == kNone) {
      last_vertex = kNone;
      return;
    }
    if (last_vertex != kNone && last_vertex != v) {
      graph.Add(last_vertex, v, spline);
      ++graph.segments[spline];
    }
    last_vertex = v;
  };
  const auto hooksOf = [&](std::uint32_t point, bool before) {
    const std::uint32_t* first = hook_owner.size() ? first_hook.Find(point) : nullptr;
    if (!first) return;
    for (std::size_t h = *first; h < hooks.size() && hooks[h].on == point; ++h)
      if ((hooks[h].t < own_t[point]) == before) to(hooks[h].vertex);
  };
  graph.closed.assign(mesh.Splines.size(), false);
  graph.segments.assign(mesh.Splines.size(), 0);
  narrow(mesh.Splines.size());
  for (const auto& s : mesh.Splines) {
    const std::uint32_t first = index;
    last_vertex = kNone;
    for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get(), ++index) {
      if (index != first) hooksOf(index, true);
      to(out.VertexOfPoint[index]);
      if (p->Next || p->HasLoopBit()) hooksOf(index, false);
      bars.StepSub(total);
    }
    if (index - first >= 2 && s->LastCp && s->LastCp->HasLoopBit()) {
      hooksOf(first, true);
      to(out.VertexOfPoint[first]);
      graph.closed[spline] = true;
    }
    ++spline;
  }
  graph.Link(out.Vertices.size());
}

// The loops of three and of four segments, each once, with the vertices taken in the order
// of falling degree: a loop is found from its first vertex in that order, which never is a
// vertex of low degree with a crowded neighbour, so the listing costs a few steps per segment
// on any surface.
class LoopLister {
 public:
  LoopLister(const SegmentGraph& graph, std::size_t vertices, const PatchLimits& limits,
             PatchCounts& counts, const std::vector<Vec3>& positions)
      : graph_(graph),
        limits_(limits),
        counts_(counts),
        positions_(positions),
        rank_(vertices),
        mark_(vertices, kNone),
        mark_edge_(vertices, kNone) {
    const std::size_t work = graph.ends.size() + vertices;
    steps_left_ = limits.MinSteps + limits.StepsPerSegment * work;
    loops_limit_ = limits.MinLoops + limits.LoopsPerSegment * graph.ends.size();
    // Counting sort by degree, highest first, equal degrees in vertex order.
    std::uint32_t top = 0;
    for (std::uint32_t v = 0; v < vertices; ++v) top = std::max(top, graph.Degree(v));
    std::vector<std::uint32_t> at(top + 2, 0);
    for (std::uint32_t v = 0; v < vertices; ++v) ++at[top - graph.Degree(v) + 1];
    for (std::size_t d = 1; d < at.size(); ++d) at[d] += at[d - 1];
    order_.resize(vertices);
    for (std::uint32_t v = 0; v < vertices; ++v) {
      const std::uint32_t r = at[top - graph.Degree(v)]++;
      rank_[v] = r;
      order_[r] = v;
    }
  }

  void List(std::vector<Loop>& loops, Progress& bars) {
    const auto total = static_cast<std::int32_t>(std::min<std::size_t>(
        order_.size(), static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())));
    bars.StepMain();
    bars.ResetSub();
    struct Path {
      std::uint32_t far, middle, first_edge, second_edge;  // v-middle-far
      bool operator<(const Path& o) const { return far != o.far ? far < o.far : middle < o.middle; }
    };
    std::vector<Path> paths;
    for (const std::uint32_t v : order_) {
      const std::uint32_t rv = rank_[v];
      const auto vn = graph_.Neighbours(v);
      const auto ve = graph_.Edges(v);
      // Triangles v, u, w with v first and u before w in the order.
      for (std::size_t i = 0; i < vn.size(); ++i)
        if (rank_[vn[i]] > rv) {
          mark_[vn[i]] = v;
          mark_edge_[vn[i]] = ve[i];
        }
      for (std::size_t i = 0; i < vn.size(); ++i) {
        const std::uint32_t u = vn[i];
        if (rank_[u] <= rv) continue;
        const auto un = graph_.Neighbours(u);
        const auto ue = graph_.Edges(u);
        for (std::size_t j = 0; j < un.size(); ++j) {
          spend();
          const std::uint32_t w = un[j];
          if (rank_[w] > rank_[u] && mark_[w] == v)
            add(loops, {v, u, w}, {ve[i], ue[j], mark_edge_[w]}, 3);
        }
      }
      // Loops of four v, u1, w, u2 with v first: the paths v-u-w, grouped by their far end w.
      paths.clear();
      for (std::size_t i = 0; i < vn.size(); ++i) {
        const std::uint32_t u = vn[i];
        if (rank_[u] <= rv) continue;
        const auto un = graph_.Neighbours(u);
        const auto ue = graph_.Edges(u);
        for (std::size_t j = 0; j < un.size(); ++j) {
          spend();
          if (un[j] != v && rank_[un[j]] > rv) paths.push_back({un[j], u, ve[i], ue[j]});
        }
      }
      std::sort(paths.begin(), paths.end());
      for (std::size_t begin = 0, end = 0; begin < paths.size(); begin = end) {
        const std::uint32_t w = paths[begin].far;
        while (end < paths.size() && paths[end].far == w) ++end;
        if (end - begin > limits_.QuadsOnDiagonal) {
          ++counts_.Tangles;
        } else if (end - begin >= 2 && !graph_.Joined(v, w)) {
          for (std::size_t i = begin; i < end; ++i)
            for (std::size_t j = i + 1; j < end; ++j) {
              spend();
              const Path& a = paths[i];
              const Path& b = paths[j];
              if (!graph_.Joined(a.middle, b.middle))
                add(loops, {v, a.middle, w, b.middle},
                    {a.first_edge, a.second_edge, b.second_edge, b.first_edge}, 4);
            }
        }
      }
      bars.StepSub(total);
    }
  }

 private:
  void spend() {
    if (steps_left_-- == 0) tooTangled();
  }
  [[noreturn]] static void tooTangled() { throw ZevrinError(ErrorKind::PatchesTooTangled, ""); }

  // A loop with its corners in order and the edges between them (edge k joins corner k and
  // corner k + 1).
  void add(std::vector<Loop>& loops, const std::array<std::uint32_t, 4>& found,
           const std::array<std::uint32_t, 4>& found_edges, std::uint32_t n) {
    Loop loop;
    loop.corner = canonical(found, n);
    loop.n = n;
    const std::array<std::uint32_t, 4>& corner = loop.corner;
    const Vec3& a = positions_[corner[0]];
    const Vec3& b = positions_[corner[1]];
    const Vec3& c = positions_[corner[2]];
    // Twice the vector area: of the triangle, or the cross product of the diagonals.
    const Vec3 twice = n == 3 ? cross(minus(b, a), minus(c, a))
                              : cross(minus(c, a), minus(positions_[corner[3]], b));
    loop.area2 = dot(twice, twice);
    if (!(loop.area2 > 0)) {  // no area, or none that can be told (a corner at infinity)
      ++counts_.Flat;
      return;
    }
    for (std::uint32_t k = 0; k < n; ++k) {
      const std::uint32_t a0 = corner[k], b0 = corner[(k + 1) % n];
      for (std::uint32_t j = 0; j < n; ++j) {
        const std::uint32_t a1 = found[j], b1 = found[(j + 1) % n];
        if ((a0 == a1 && b0 == b1) || (a0 == b1 && b0 == a1)) loop.edge[k] = found_edges[j];
      }
    }
    // A loop that one spline makes on its own: a closed spline is a ring, not a patch (the
    // open end of a tube); an open one that comes back to a point it passed is a patch
    // unless it is crowded (see leaveOutCrowded).
    const std::uint32_t spline = graph_.spline[found_edges[0]];
    bool own = spline != SegmentGraph::kSeveral;
    for (std::uint32_t k = 1; k < n && own; ++k) own = graph_.spline[found_edges[k]] == spline;
    if (own && graph_.closed[spline]) {
      ++counts_.Rings;
      return;
    }
    loop.one_spline = own;
    loop.edges_only = true;
    for (std::uint32_t k = 0; k < n; ++k) {
      const std::uint32_t of = graph_.spline[found_edges[k]];
      loop.edges_only = loop.edges_only && of != SegmentGraph::kSeveral && graph_.segments[of] == 1;
    }
    if (loops.size() >= loops_limit_) tooTangled();
    loops.push_back(loop);
  }

  // A loop from its lowest vertex, towards the lower of that vertex's two neighbours on it: the
  // area below and the order of leaving out then depend on the loop alone, not on how it was
  // found.
  static std::array<std::uint32_t, 4> canonical(std::array<std::uint32_t, 4> c, std::uint32_t n) {
    const auto lowest =
        static_cast<std::uint32_t>(std::min_element(c.begin(), c.begin() + n) - c.begin());
    std::rotate(c.begin(), c.begin() + lowest, c.begin() + n);
    if (c[n - 1] < c[1]) std::reverse(c.begin() + 1, c.begin() + n);
    return c;
  }

  const SegmentGraph& graph_;
  const PatchLimits& limits_;
  PatchCounts& counts_;
  const std::vector<Vec3>& positions_;
  std::vector<std::uint32_t> rank_;
  std::vector<std::uint32_t> order_;
  std::vector<std::uint32_t> mark_;
  std::vector<std::uint32_t> mark_edge_;  // the edge from the marking vertex
  std::size_t steps_left_ = 0;
  std::size_t loops_limit_ = 0;
};

// For each edge, the loops on it (indexes into a list).
struct EdgeLoops {
  std::vector<std::uint32_t> start;
  std::vector<std::uint32_t> loops;

  EdgeLoops(std::size_t edges, const std::vector<Loop>& list, const std::vector<bool>& alive) {
    start.assign(edges + 1, 0);
    for (std::size_t l = 0; l < list.size(); ++l)
      if (alive[l])
        for (std::uint32_t k = 0; k < list[l].n; ++k) ++start[list[l].edge[k] + 1];
    for (std::size_t e = 0; e < edges; ++e) start[e + 1] += start[e];
    loops.resize(start.back());
    std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
    for (std::size_t l = 0; l < list.size(); ++l)
      if (alive[l])
        for (std::uint32_t k = 0; k < list[l].n; ++k)
          loops[fill[list[l].edge[k]]++] = static_cast<std::uint32_t>(l);
  }
  std::uint32_t Count(std::uint32_t e) const { return start[e + 1] - start[e]; }
  std::span<const std::uint32_t> On(std::uint32_t e) const {
    return {loops.data() + start[e], loops.data() + start[e + 1]};
  }
};

// Leaves out the loops that lie around other patches rather than between them, where segments
// are crowded (border three loops or more). A loop is left out only while each of its
// segments borders another loop, so that no segment is left without one.
//
// The loops of a polygon file's edges (every segment a spline of one segment of its own, as
// the import makes them) go as a surface needs: while some loop is crowded on two sides at
// least, the one with the largest share of crowded sides, then the larger, then the one with
// more corners, then the one whose lowest corners come first.
//
// The other loops go as the modeller leaves them out, which keeps a good deal more of them:
// taken largest first (the same order among equals), in two passes,
// - a loop crowded on two sides at least is left out when it is the rim of the patches around
//   one vertex: a vertex off the loop whose every segment leads to a corner of the loop, and
//   that is a corner of a loop kept on each side of it, a triangle on one side at least (a
//   vertex of three or four triangles, or of a quad and two);
// - a loop crowded on every side is left out when it is the largest loop on all its sides but
//   one at most (the rings of a tube wider than its patches are long), or when one open spline
//   makes it alone; a loop crowded on every side but one, when it is the largest on every side
//   (a loop around several patches at the border of a sheet). A loop smaller than the loops
//   beside it stays: the ring of a thin tube between its long patches, the walls of a slat.
void leaveOutCrowded(const std::vector<Loop>& loops, const SegmentGraph& graph,
                     std::size_t vertices, const PatchLimits& limits, std::vector<bool>& alive,
                     PatchCounts& counts) {
  const std::size_t edges = graph.ends.size();
  const EdgeLoops on(edges, loops, alive);
  std::vector<std::uint32_t> count(edges);
  for (std::uint32_t e = 0; e < edges; ++e) count[e] = on.Count(e);
  // On how many sides a loop is crowded, or 0 when one of its segments borders no other loop.
  // The count only falls as loops are left out.
  const auto crowdedSides = [&](const Loop& loop) {
    std::uint32_t crowded = 0;
    for (std::uint32_t k = 0; k < loop.n; ++k) {
      if (count[loop.edge[k]] < 2) return 0u;
      crowded += count[loop.edge[k]] > 2;
    }
    return crowded;
  };
  const auto leaveOut = [&](std::uint32_t l) {
    alive[l] = false;
    ++counts.Crowded;
    for (std::uint32_t k = 0; k < loops[l].n; ++k) --count[loops[l].edge[k]];
  };
  const auto before = [&](std::uint32_t a, std::uint32_t b) {  // larger first
    const Loop& x = loops[a];
    const Loop& y = loops[b];
    if (x.area2 != y.area2) return x.area2 > y.area2;
    if (x.n != y.n) return x.n > y.n;
    return x.corner < y.corner;
  };
  std::vector<std::uint32_t> drawn;
  for (std::uint32_t l = 0; l < loops.size(); ++l)
    if (!loops[l].edges_only && crowdedSides(loops[l]) >= 2) drawn.push_back(l);
  std::sort(drawn.begin(), drawn.end(), before);

  // The centre of the patches around a vertex, found by counting, side by side, on how many
  // sides each vertex off the loop is a corner of a loop kept there. Every loop looked at and
  // every segment of a centre costs a step.
  std::size_t steps_left = limits.MinSteps + limits.StepsPerSegment * (edges + vertices);
  const auto spend = [&] {
    if (steps_left-- == 0) throw ZevrinError(ErrorKind::PatchesTooTangled, "");
  };
  std::vector<std::uint32_t> stamp(vertices, kNone);
  std::vector<std::uint32_t> sides(vertices, 0);
  std::vector<bool> by_triangle(vertices, false);
  std::vector<std::uint32_t> candidates;
  const auto fanRim = [&](std::uint32_t l) {
    const Loop& loop = loops[l];
    const auto onLoop = [&](std::uint32_t v) {
      for (std::uint32_t c = 0; c < loop.n; ++c)
        if (loop.corner[c] == v) return true;
      return false;
    };
    candidates.clear();
    for (std::uint32_t k = 0; k < loop.n; ++k) {
      bool any = false;
      for (const std::uint32_t m : on.On(loop.edge[k])) {
        spend();
        if (m == l || !alive[m]) continue;
        for (std::uint32_t c = 0; c < loops[m].n; ++c) {
          const std::uint32_t v = loops[m].corner[c];
          if (onLoop(v)) continue;
          if (k == 0 && stamp[v] != l) {
            stamp[v] = l;
            sides[v] = 1;
            by_triangle[v] = false;
            candidates.push_back(v);
          } else if (k > 0 && (stamp[v] != l || sides[v] < k)) {
            continue;
          } else if (sides[v] == k) {
            sides[v] = k + 1;
          }
          by_triangle[v] = by_triangle[v] || loops[m].n == 3;
          any = true;
        }
      }
      if (!any) return false;
    }
    for (const std::uint32_t v : candidates) {
      if (sides[v] != loop.n || !by_triangle[v]) continue;
      bool inside = true;
      for (const std::uint32_t w : graph.Neighbours(v)) {
        spend();
        inside = inside && onLoop(w);
      }
      if (inside) return true;
    }
    return false;
  };
  for (const std::uint32_t l : drawn)
    if (alive[l] && crowdedSides(loops[l]) >= 2 && fanRim(l)) leaveOut(l);

  // The largest area of the loops kept on each edge: first those the second pass does not
  // take, then each that it keeps. A loop larger than the one at hand came before it.
  std::vector<double> kept(edges, 0);
  {
    std::vector<bool> taken(loops.size(), false);
    for (const std::uint32_t l : drawn) taken[l] = true;
    for (std::uint32_t l = 0; l < loops.size(); ++l)
      if (alive[l] && !taken[l])
        for (std::uint32_t k = 0; k < loops[l].n; ++k)
          kept[loops[l].edge[k]] = std::max(kept[loops[l].edge[k]], loops[l].area2);
  }
  for (const std::uint32_t l : drawn) {
    if (!alive[l]) continue;
    const Loop& loop = loops[l];
    std::uint32_t largest = 0;  // sides on which no loop kept is larger
    for (std::uint32_t k = 0; k < loop.n; ++k) largest += kept[loop.edge[k]] <= loop.area2;
    const std::uint32_t crowded = crowdedSides(loop);
    const bool out = crowded == loop.n ? loop.one_spline || largest + 1 >= loop.n
                                       : crowded + 1 == loop.n && largest == loop.n;
    if (out) {
      leaveOut(l);
    } else {
      for (std::uint32_t k = 0; k < loop.n; ++k)
        kept[loop.edge[k]] = std::max(kept[loop.edge[k]], loop.area2);
    }
  }

  // The loops of polygon edges, the most crowded first.
  std::vector<std::uint32_t> crowded(loops.size(), 0);
  struct Entry {
    std::uint32_t share;  // crowded segments times 12 / corners: 12 for all of them
    std::uint32_t loop;
  };
  const auto share = [&](std::uint32_t l) { return crowded[l] * (12 / loops[l].n); };
  const auto lower = [&](const Entry& a, const Entry& b) {  // the queue gives the highest
    if (a.share != b.share) return a.share < b.share;
    return before(b.loop, a.loop);
  };
  std::priority_queue<Entry, std::vector<Entry>, decltype(lower)> queue(lower);
  for (std::uint32_t l = 0; l < loops.size(); ++l) {
    if (!alive[l] || !loops[l].edges_only) continue;
    for (std::uint32_t k = 0; k < loops[l].n; ++k) crowded[l] += count[loops[l].edge[k]] > 2;
    if (crowded[l] >= 2) queue.push({share(l), l});
  }
  while (!queue.empty()) {
    const Entry top = queue.top();
    queue.pop();
    const std::uint32_t l = top.loop;
    if (!alive[l] || crowded[l] < 2 || top.share != share(l)) continue;  // a stale entry
    if (crowdedSides(loops[l]) == 0) continue;  // a segment with no other loop: for good
    leaveOut(l);
    for (std::uint32_t k = 0; k < loops[l].n; ++k) {
      const std::uint32_t e = loops[l].edge[k];
      if (count[e] != 2) continue;
      // The edge is no longer crowded for the loops left on it.
      for (const std::uint32_t m : on.On(e)) {
        if (m == l || !alive[m] || !loops[m].edges_only) continue;
        --crowded[m];
        if (crowded[m] >= 2) queue.push({share(m), m});
      }
    }
  }
}

// Turns every connected set of patches one way (a breadth-first walk across the edges that
// join exactly two of them), then each set so that it faces out.
void orient(std::vector<Loop>& patches, const EdgeLoops& on, const std::vector<Vec3>& positions,
            PatchCounts& counts, std::vector<bool>& unorientable) {
  const auto forward = [&](const Loop& p, std::uint32_t e) {  // lower vertex to higher?
    for (std::uint32_t k = 0; k < p.n; ++k)
      if (p.edge[k] == e) return p.corner[k] < p.corner[(k + 1) % p.n];
    return false;
  };
  std::vector<std::int8_t> flip(patches.size(), -1);  // -1: not reached yet
  std::vector<std::uint32_t> members;
  std::queue<std::uint32_t> queue;
  const auto reverse = [](Loop& p) {
    std::reverse(p.corner.begin(), p.corner.begin() + p.n);
    // Edge k now joins the corners that edge n - 2 - k joined; the last stays last.
    std::array<std::uint32_t, 4> edge = p.edge;
    for (std::uint32_t k = 0; k + 1 < p.n; ++k) edge[k] = p.edge[p.n - 2 - k];
    p.edge = edge;
  };
  for (std::uint32_t s = 0; s < patches.size(); ++s) {
    if (flip[s] >= 0) continue;
    members.clear();
    bool consistent = true;
    flip[s] = 0;
    queue.push(s);
    while (!queue.empty()) {
      const std::uint32_t p = queue.front();
      queue.pop();
      members.push_back(p);
      for (std::uint32_t k = 0; k < patches[p].n; ++k) {
        const std::uint32_t e = patches[p].edge[k];
        if (on.Count(e) != 2) continue;  // a border, or a fin: nothing to agree with
        const std::uint32_t q = on.On(e)[0] == p ? on.On(e)[1] : on.On(e)[0];
        // Across a shared edge the two patches run opposite ways.
        const bool p_forward = forward(patches[p], e) != (flip[p] == 1);
        const std::int8_t wanted = (forward(patches[q], e) == p_forward) ? 1 : 0;
        if (flip[q] < 0) {
          flip[q] = wanted;
          queue.push(q);
        } else if (flip[q] != wanted) {
          consistent = false;
        }
      }
    }
    if (!consistent) {
      ++counts.Unorientable;
      if (unorientable.empty()) unorientable.assign(patches.size(), false);
      for (const std::uint32_t p : members) unorientable[p] = true;
    }
    // Six times the volume the set encloses (with the origin), and twice its summed normal,
    // both as the walk turns it; and the patch with the lowest corners, as it was found.
    double volume = 0;
    Vec3 normal;
    std::uint32_t lowest = members.front();
    for (const std::uint32_t p : members) {
      if (std::lexicographical_compare(
              patches[p].corner.begin(), patches[p].corner.begin() + patches[p].n,
              patches[lowest].corner.begin(), patches[lowest].corner.begin() + patches[lowest].n))
        lowest = p;
    }
    const bool lowest_flipped = flip[lowest] == 1;
    for (const std::uint32_t p : members) {
      if (flip[p] == 1) reverse(patches[p]);
      // A quad that is not flat encloses a volume that depends on the diagonal it is cut
      // along: both are taken, so that no corner of the loop counts as its first.
      const Loop& loop = patches[p];
      for (std::uint32_t from = 0; from < 2; ++from) {
        const Vec3& a = positions[loop.corner[from]];
        for (std::uint32_t k = 1; k + 1 < loop.n; ++k) {
          const Vec3& b = positions[loop.corner[(from + k) % loop.n]];
          const Vec3& c = positions[loop.corner[(from + k + 1) % loop.n]];
          volume += dot(a, cross(b, c));
          const Vec3 n = cross(minus(b, a), minus(c, a));
          normal = {normal.x + n.x, normal.y + n.y, normal.z + n.z};
        }
      }
    }
    const double ax = std::fabs(normal.x), ay = std::fabs(normal.y), az = std::fabs(normal.z);
    const double largest = ax >= ay && ax >= az ? normal.x : ay >= az ? normal.y : normal.z;
    // Out; on a flat sheet the way its normal points most; where neither says (a corner at
    // infinity), the way its lowest patch was found.
    bool turn = lowest_flipped;
    if (volume > 0 || volume < 0)
      turn = volume < 0;
    else if (volume == 0 && (largest > 0 || largest < 0))
      turn = largest < 0;
    if (turn)
      for (const std::uint32_t p : members) reverse(patches[p]);
  }
}

// The closed loops of segments that no patch borders on one of their sides. Each side of a
// segment that no patch takes is a half-edge: one against the patch on a segment with one,
// both ways on a segment with none. At each vertex the ends of the half-edges there are joined
// in pairs: first each arriving one to a leaving one (never to its own way back while another
// is free), then what is left among themselves, which only a surface that cannot be turned
// one way leaves (its border arrives twice where its turning fails). The loops so formed are
// split where they pass a vertex twice. Loops of five segments or more count, and the rings
// of three or four segments with an area that a closed spline makes alone (the open end of a
// tube).
std::size_t countHoles(const std::vector<Loop>& patches, const EdgeLoops& on,
                       const SegmentGraph& graph, const std::vector<Vec3>& positions,
                       std::vector<std::uint32_t>& outline) {
  const std::size_t vertices = positions.size();
  const std::size_t edges = graph.ends.size();
  // Half-edge 2e runs from the lower vertex of edge e to the higher, 2e + 1 back. End 2h is
  // where half-edge h starts, 2h + 1 where it arrives.
  std::vector<bool> free(2 * edges, false);
  for (std::uint32_t e = 0; e < edges; ++e) {
    if (on.Count(e) == 0) {
      free[2 * e] = free[2 * e + 1] = true;
    } else if (on.Count(e) == 1) {
      const Loop& p = patches[on.On(e)[0]];
      for (std::uint32_t k = 0; k < p.n; ++k)
        if (p.edge[k] == e) free[2 * e + (p.corner[k] < p.corner[(k + 1) % p.n] ? 1 : 0)] = true;
    }
  }
  const auto vertexOfEnd = [&](std::size_t end) {
    const std::size_t h = end / 2;
    const bool at_lower = (h % 2 == 0) != (end % 2 == 1);  // 2e starts at the lower vertex
    return at_lower ? graph.ends[h / 2].first : graph.ends[h / 2].second;
  };
  // The ends at each vertex, in half-edge order.
  std::vector<std::uint32_t> start(vertices + 1, 0);
  for (std::size_t h = 0; h < free.size(); ++h)
    if (free[h]) ++start[vertexOfEnd(2 * h) + 1], ++start[vertexOfEnd(2 * h + 1) + 1];
  for (std::size_t v = 0; v < vertices; ++v) start[v + 1] += start[v];
  std::vector<std::uint32_t> ends_at(start.back());
  {
    std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
    for (std::size_t h = 0; h < free.size(); ++h)
      if (free[h])
        for (std::size_t end = 2 * h; end <= 2 * h + 1; ++end)
          ends_at[fill[vertexOfEnd(end)]++] = static_cast<std::uint32_t>(end);
  }
  std::vector<std::uint32_t> partner(2 * free.size(), kNone);
  const auto join = [&](std::uint32_t a, std::uint32_t b) {
    partner[a] = b;
    partner[b] = a;
  };
  std::vector<std::uint32_t> arriving, leaving;
  for (std::size_t v = 0; v < vertices; ++v) {
    arriving.clear();
    leaving.clear();
    for (std::uint32_t i = start[v]; i < start[v + 1]; ++i)
      (ends_at[i] % 2 ? arriving : leaving).push_back(ends_at[i]);
    // The end where the half-edge arriving at `a` leaves again, its own way back.
    const auto back = [](std::uint32_t a) { return (((a / 2) ^ 1) * 2); };
    std::size_t used = 0;
    std::size_t joined = 0;  // arriving ends joined so far
    for (; joined < arriving.size() && used < leaving.size(); ++joined) {
      const std::uint32_t a = arriving[joined];
      if (leaving[used] == back(a) && used + 1 < leaving.size())
        std::swap(leaving[used], leaving[used + 1]);
      if (leaving[used] == back(a) && joined > 0) {
        // Swap with the pair before: neither then takes its own way back.
        const std::uint32_t before = arriving[joined - 1];
        const std::uint32_t taken = partner[before];
        join(before, leaving[used]);
        join(a, taken);
      } else {
        join(a, leaving[used]);
      }
      ++used;
    }
    for (std::size_t k = joined; k + 1 < arriving.size(); k += 2)
      join(arriving[k], arriving[k + 1]);
    for (std::size_t k = used; k + 1 < leaving.size(); k += 2) join(leaving[k], leaving[k + 1]);
  }

  std::size_t holes = 0;
  std::vector<bool> seen(free.size(), false);
  std::vector<std::uint32_t> depth(vertices, kNone);  // a vertex's place on the walk's stack
  std::vector<std::uint32_t> stack_vertices, stack_edges;
  // Loops of segments no patch borders are found once each way: counted once.
  std::unordered_map<std::uint64_t, std::vector<std::vector<std::uint32_t>>> bare;
  const auto opening = [&](std::size_t from_depth, std::size_t length) {
    if (length >= 5) return true;
    if (length < 3) return false;
    const std::uint32_t spline = graph.spline[stack_edges[from_depth]];
    if (spline == SegmentGraph::kSeveral || !graph.closed[spline]) return false;
    for (std::size_t k = from_depth; k < stack_edges.size(); ++k)
      if (graph.spline[stack_edges[k]] != spline) return false;
    const auto at = [&](std::size_t k) -> const Vec3& {
      return positions[stack_vertices[from_depth + k]];
    };
    const Vec3 twice = length == 3 ? cross(minus(at(1), at(0)), minus(at(2), at(0)))
                                   : cross(minus(at(2), at(0)), minus(at(3), at(1)));
    return dot(twice, twice) > 0;
  };
  const auto close = [&](std::size_t from_depth) {
    const std::size_t length = stack_edges.size() - from_depth;
    if (opening(from_depth, length)) {
      const std::size_t holes_before = holes;
      std::vector<std::uint32_t> edge_list;
      bool only_bare = true;
      for (std::size_t k = from_depth; k < stack_edges.size(); ++k) {
        edge_list.push_back(stack_edges[k]);
        only_bare = only_bare && on.Count(stack_edges[k]) == 0;
      }
      if (only_bare) {
        std::sort(edge_list.begin(), edge_list.end());
        std::uint64_t key = edge_list.size();
        for (const std::uint32_t e : edge_list) key += MixBits(e + 1);
        auto& same = bare[key];
        if (std::find(same.begin(), same.end(), edge_list) == same.end()) {
          same.push_back(std::move(edge_list));
          ++holes;
        }
      } else {
        ++holes;
      }
      if (holes != holes_before)
        for (std::size_t k = from_depth; k < stack_edges.size(); ++k) {
          outline.push_back(graph.ends[stack_edges[k]].first);
          outline.push_back(graph.ends[stack_edges[k]].second);
        }
    }
    for (std::size_t k = from_depth + 1; k < stack_vertices.size(); ++k)
      depth[stack_vertices[k]] = kNone;
    stack_vertices.resize(from_depth + 1);
    stack_edges.resize(from_depth);
  };
  // Walks: first from the ends joined to nothing (open chains, no loop), then around what is
  // left, which is all closed. A walk enters a half-edge at one end and leaves it at the other.
  const auto walk = [&](std::uint32_t first_end, bool closed) {
    const std::uint32_t origin = vertexOfEnd(first_end);
    stack_vertices.assign(1, origin);
    stack_edges.clear();
    depth[origin] = 0;
    for (std::uint32_t end = first_end; end != kNone && !seen[end / 2];) {
      seen[end / 2] = true;
      const std::uint32_t out = end ^ 1;
      const std::uint32_t v = vertexOfEnd(out);
      if (closed) {
        stack_edges.push_back(end / 4);
        if (depth[v] != kNone) {
          close(depth[v]);
        } else {
          depth[v] = static_cast<std::uint32_t>(stack_vertices.size());
          stack_vertices.push_back(v);
        }
      }
      end = partner[out];
    }
    for (const std::uint32_t v : stack_vertices) depth[v] = kNone;
  };
  for (std::size_t h = 0; h < free.size(); ++h)
    for (std::uint32_t end = static_cast<std::uint32_t>(2 * h); free[h] && end <= 2 * h + 1; ++end)
      if (!seen[h] && partner[end] == kNone) walk(end, false);
  for (std::size_t h = 0; h < free.size(); ++h)
    if (free[h] && !seen[h]) walk(static_cast<std::uint32_t>(2 * h), true);
  return holes;
}

}  // namespace

MeshPatches FindPatches(const M5mesh& mesh, Progress& bars, const PatchLimits& limits) {
  MeshPatches out;
  SegmentGraph graph;
  readSplines(mesh, out, graph, bars);
  const std::size_t vertices = out.Vertices.size();
  const std::size_t edges = graph.ends.size();

  std::vector<Loop> loops;
  LoopLister(graph, vertices, limits, out.Counts, out.Vertices).List(loops, bars);
  bars.StepMain();
  std::vector<bool> alive(loops.size(), true);
  leaveOutCrowded(loops, graph, vertices, limits, alive, out.Counts);
  std::vector<Loop> patches;
  patches.reserve(loops.size() - out.Counts.Crowded);
  for (std::size_t l = 0; l < loops.size(); ++l)
    if (alive[l]) patches.push_back(loops[l]);
  loops = {};
  bars.StepMain();
  // Which patches lie on each edge: the same sets however the patches are turned.
  const EdgeLoops on(edges, patches, std::vector<bool>(patches.size(), true));
  std::vector<bool> unorientable;  // by patch, once a set is found that cannot turn one way
  orient(patches, on, out.Vertices, out.Counts, unorientable);
  bars.StepMain();
  out.Counts.Holes = countHoles(patches, on, graph, out.Vertices, out.HoleSegments);

  // Each patch from its lowest vertex, the patches in the order of that vertex.
  std::vector<std::uint32_t> by_vertex(vertices + 1, 0);
  for (Loop& p : patches) {
    const auto lowest = static_cast<std::uint32_t>(
        std::min_element(p.corner.begin(), p.corner.begin() + p.n) - p.corner.begin());
    std::rotate(p.corner.begin(), p.corner.begin() + lowest, p.corner.begin() + p.n);
    ++by_vertex[p.corner[0] + 1];
    (p.n == 3 ? out.Counts.Triangles : out.Counts.Quads) += 1;
  }
  for (std::size_t v = 0; v < vertices; ++v) by_vertex[v + 1] += by_vertex[v];
  std::vector<std::uint32_t> order(patches.size());
  for (std::uint32_t i = 0; i < patches.size(); ++i) order[by_vertex[patches[i].corner[0]]++] = i;
  out.Starts.reserve(patches.size() + 1);
  out.Starts.push_back(0);
  for (const std::uint32_t i : order) {
    const Loop& p = patches[i];
    if (!unorientable.empty() && unorientable[i])
      out.UnorientablePatches.push_back(narrow(out.Starts.size() - 1));
    out.Corners.insert(out.Corners.end(), p.corner.begin(), p.corner.begin() + p.n);
    out.Starts.push_back(narrow(out.Corners.size()));
  }
  return out;
}

}  // namespace zevrin
