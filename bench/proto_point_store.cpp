// A prototype of another storage for control points, measured beside the product's: points
// as records in arrays that the mesh owns (links and targets as 32-bit positions, group names
// as a number of a shared set, no allocation per point), against one heap object per point
// (M5cp, owned by its predecessor through a pointer). Both do the work that dominates a
// polygon import and a Halvejoin of an imported model, on the faces of the same DXF file:
//   import:    weld the corners by exact position, make one two-point spline per new edge,
//              chain the points of one place behind its first, resolve, measure the box;
//   halvejoin: a reversed mirrored twin of every spline (no point of a grid lies on X = 0),
//              copies attached to the copies of their targets, renumbered, resolved again;
//   walk:      every point's resolved position, in list order (what saving and drawing do).
// The product side is the product's own code (BuildFromFaces, Halvejoin). The prototype is
// not part of Zevrin and makes no file: it is here to show what the storage would gain.
//
//   proto_point_store FILE.dxf          both, each in a process of its own
//   proto_point_store FILE.dxf product|arrays
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/session/Document.h"
#include "import/M_poly.h"
#include "mesh/AM5_cplist.h"
#include "mesh/AM5_mesh.h"
#include "mesh/PositionResolver.h"
#include "model/tree/AM_const.h"
#include "util/FlatHash.h"

using namespace zevrin;

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
std::size_t heapInUse() {
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
}
long peakKb() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}
void resetPeak() {
  if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
}

double cpuNow() {
  struct rusage u {};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

struct Stage {
  const char* name;
  double seconds;
  double cpu;              // processor time, all threads
  double bytes_per_point;  // heap held afterwards
  long peak_mb;
  std::size_t points;
};

void print(const char* layout, const std::vector<Stage>& stages) {
  for (const Stage& s : stages)
    std::printf("  %-8s %-10s %8.3f s %8.3f s cpu %6.0f B/cp %6ld MB peak %9zu points\n", layout,
                s.name, s.seconds, s.cpu, s.bytes_per_point, s.peak_mb, s.points);
}

// ---- the product: one heap object per point ----

std::vector<Stage> runProduct(const Mpolycommon& faces) {
  std::vector<Stage> out;
  const std::size_t base = heapInUse();
  M5mesh mesh;
  resetPeak();
  double t0 = now();
  double c0 = cpuNow();
  StepContext step;
  mesh.BuildFromFaces(faces.Faces, step);
  const auto points = [&] {
    return static_cast<std::size_t>(step.Report.After.value_or(MeshCounts{}).Cps);
  };
  out.push_back({"import", now() - t0, cpuNow() - c0, double(heapInUse() - base) / double(points()),
                 peakKb() / 1024, points()});
  resetPeak();
  t0 = now();
  c0 = cpuNow();
  mesh.Halvejoin(0.001, step);
  out.push_back({"halvejoin", now() - t0, cpuNow() - c0,
                 double(heapInUse() - base) / double(points()), peakKb() / 1024, points()});
  resetPeak();
  t0 = now();
  c0 = cpuNow();
  PositionResolver resolver;
  double sum = 0;
  for (const auto& s : mesh.Splines)
    for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get()) sum += resolver.Pos(*p, 0).x;
  out.push_back({"walk", now() - t0, cpuNow() - c0, double(heapInUse() - base) / double(points()),
                 peakKb() / 1024, static_cast<std::size_t>(sum != sum)});
  out.back().points = points();
  return out;
}

// ---- the prototype: records in arrays the mesh owns ----

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

struct Point {  // 64 bytes
  std::uint32_t flags = 0;
  std::int32_t attached = 0;
  std::int32_t target_id = 0;
  std::int32_t id = 0;
  std::uint32_t target = kNone;  // position of the resolved target
  std::uint32_t next = kNone;    // position of the next point of the spline
  std::uint32_t prev = kNone;
  std::uint32_t names = 0;  // number of the point's set of group names (0: none)
  double hook = 0;
  double x = 0, y = 0, z = 0;
  // Biases: a number of a record in a side array, kNone for the default "0" line.
};
static_assert(sizeof(Point) == 64);

struct Spline {
  std::uint32_t first = kNone, last = kNone;
  std::int32_t count = 0;
};

struct ArrayMesh {
  std::vector<Point> points;
  std::vector<Spline> splines;
  std::vector<std::vector<std::uint32_t>> name_sets{{}};  // set 0 is empty
  double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
};

std::uint64_t posHash(const Vec3& v) { return PositionHash(v); }

// The position a point takes its coordinates from (the end of its chain of targets).
std::uint32_t source(const ArrayMesh& m, std::uint32_t p) {
  std::uint32_t q = p;
  for (std::size_t steps = 0; m.points[q].attached == 1 && m.points[q].target != kNone; ++steps) {
    q = m.points[q].target;
    if (steps > m.points.size()) return p;  // a ring: its own coordinates
  }
  return q;
}

void resolve(ArrayMesh& m) {
  std::int64_t lo = 0, hi = -1;
  for (const Point& p : m.points) {
    if (hi < lo) lo = hi = p.id;
    lo = std::min<std::int64_t>(lo, p.id);
    hi = std::max<std::int64_t>(hi, p.id);
  }
  std::vector<std::uint32_t> first(static_cast<std::size_t>(hi - lo + 1), kNone);
  for (std::uint32_t i = 0; i < m.points.size(); ++i) {
    std::uint32_t& f = first[static_cast<std::size_t>(m.points[i].id - lo)];
    if (f == kNone) f = i;
  }
  for (Point& p : m.points) {
    if (p.attached != 1) continue;
    const std::int64_t k = std::int64_t{p.target_id} - lo;
    p.target = k < 0 || k > hi - lo ? kNone : first[static_cast<std::size_t>(k)];
  }
}

void bounds(ArrayMesh& m) {
  for (int a = 0; a < 3; ++a) m.lo[a] = m.hi[a] = 0;
  for (std::uint32_t i = 0; i < m.points.size(); ++i) {
    const Point& s = m.points[source(m, i)];
    const double v[3] = {s.x, s.y, s.z};
    for (int a = 0; a < 3; ++a) {
      if (v[a] > m.hi[a]) m.hi[a] = v[a];
      if (v[a] < m.lo[a]) m.lo[a] = v[a];
    }
  }
}

void importFaces(ArrayMesh& m, const Mpolycommon& faces) {
  // Welded corners: vertex number by exact position.
  struct Vertex {
    Vec3 v;
    std::uint32_t last_point = kNone;  // the latest point made at this place
  };
  std::vector<Vertex> vertices;
  FlatHash<std::uint32_t> by_position(faces.Faces.size());
  struct Chain {
    std::uint32_t vertex, next;
  };
  std::vector<Chain> chains;
  const auto vertexOf = [&](const Vec3& v) {
    const std::uint64_t h = posHash(v) & ~std::uint64_t{0} >> 1;  // never the reserved key
    std::uint32_t* slot = by_position.TryEmplace(h, kNone).first;
    for (std::uint32_t c = *slot; c != kNone; c = chains[c].next) {
      const Vec3& w = vertices[chains[c].vertex].v;
      if (w.x == v.x && w.y == v.y && w.z == v.z) return chains[c].vertex;
    }
    vertices.push_back({v});
    chains.push_back({static_cast<std::uint32_t>(vertices.size() - 1), *slot});
    *slot = static_cast<std::uint32_t>(chains.size() - 1);
    return static_cast<std::uint32_t>(vertices.size() - 1);
  };
  // Edges: spline number by the two vertices.
  FlatHash<std::uint32_t> edges(faces.Faces.size() * 2);
  // Layer of each face as a set of one name; an edge met again adds its layer to both points.
  std::vector<std::uint32_t> layer_set;
  for (std::size_t l = 0; l < faces.Layers.size(); ++l) {
    m.name_sets.push_back({static_cast<std::uint32_t>(l)});
    layer_set.push_back(static_cast<std::uint32_t>(m.name_sets.size() - 1));
  }
  FlatHash<std::uint32_t> set_after;  // (set, layer) -> set
  const auto addName = [&](std::uint32_t set, std::uint32_t layer) {
    for (std::uint32_t n : m.name_sets[set])
      if (n == layer) return set;
    const std::uint64_t key = (std::uint64_t{set} << 32) | layer;
    auto [slot, fresh] = set_after.TryEmplace(key, 0);
    if (fresh) {
      std::vector<std::uint32_t> names = m.name_sets[set];
      names.push_back(layer);
      std::sort(names.begin(), names.end());
      m.name_sets.push_back(std::move(names));
      *slot = static_cast<std::uint32_t>(m.name_sets.size() - 1);
    }
    return *slot;
  };
  std::unordered_map<std::string, std::uint32_t> layer_of;
  for (std::size_t l = 0; l < faces.Layers.size(); ++l)
    layer_of[faces.Layers[l]] = static_cast<std::uint32_t>(l);
  std::int32_t id = 0;
  const std::string* last_name = nullptr;
  std::uint32_t layer = 0;
  for (const Mdxf_3dface& f : faces.Faces) {
    if (!last_name || *last_name != f.Layer) {  // faces come in runs of one layer
      const auto it = layer_of.find(f.Layer);
      layer = it == layer_of.end() ? 0 : it->second;
      last_name = &f.Layer;
    }
    const std::size_t n = static_cast<std::size_t>(std::max(f.CornerCount, 0));
    for (std::size_t k = 0; k < n; ++k) {
      const std::uint32_t a = vertexOf(f.Corner(k)), b = vertexOf(f.Corner(k + 1 == n ? 0 : k + 1));
      if (a == b) continue;
      const std::uint64_t key = a < b ? (std::uint64_t{a} << 32 | b) : (std::uint64_t{b} << 32 | a);
      auto [slot, fresh] = edges.TryEmplace(key, static_cast<std::uint32_t>(m.splines.size()));
      if (!fresh) {  // the edge is there: its points carry this layer too
        const Spline& s = m.splines[*slot];
        for (std::uint32_t p : {s.first, s.last})
          m.points[p].names = addName(m.points[p].names, layer);
        continue;
      }
      Spline s;
      for (const std::uint32_t v : {a, b}) {
        Point p;
        p.id = ++id;
        p.names = layer_set.empty() ? 0 : layer_set[layer];
        Vertex& vx = vertices[v];
        if (vx.last_point == kNone) {
          p.x = vx.v.x, p.y = vx.v.y, p.z = vx.v.z;
        } else {  // behind the latest point of its place
          p.attached = 1;
          p.target_id = m.points[vx.last_point].id;
        }
        const auto at = static_cast<std::uint32_t>(m.points.size());
        vx.last_point = at;
        if (s.first == kNone) {
          s.first = at;
        } else {
          m.points[s.last].next = at;
          p.prev = s.last;
        }
        s.last = at;
        ++s.count;
        m.points.push_back(p);
      }
      m.splines.push_back(s);
    }
  }
  resolve(m);
  bounds(m);
}

void halvejoin(ArrayMesh& m) {
  // Renumbered 1..N in list order; a twin of every spline, reversed, copies attached to the
  // copies of their targets (+N), then all resolved again.
  const std::size_t splines = m.splines.size();
  std::vector<std::uint32_t> order;
  order.reserve(m.points.size());
  for (const Spline& s : m.splines)
    for (std::uint32_t p = s.first; p != kNone; p = m.points[p].next) order.push_back(p);
  std::vector<std::int32_t> new_id(m.points.size());
  for (std::size_t k = 0; k < order.size(); ++k)
    new_id[order[k]] = static_cast<std::int32_t>(k + 1);
  for (Point& p : m.points) {
    if (p.attached == 1 && p.target != kNone) p.target_id = new_id[p.target];
  }
  for (std::uint32_t i = 0; i < m.points.size(); ++i) m.points[i].id = new_id[i];
  const auto n = static_cast<std::int32_t>(m.points.size());
  m.points.reserve(2 * m.points.size());
  m.splines.reserve(2 * splines);
  for (std::size_t k = splines; k-- > 0;) {
    Spline twin;
    for (std::uint32_t p = m.splines[k].last; p != kNone; p = m.points[p].prev) {
      Point c = m.points[p];
      c.id += n;
      if (c.attached == 1) c.target_id += n;
      c.x = -c.x;
      c.names = 0;
      c.next = c.prev = kNone;
      const auto at = static_cast<std::uint32_t>(m.points.size());
      if (twin.first == kNone) {
        twin.first = at;
      } else {
        m.points[twin.last].next = at;
        c.prev = twin.last;
      }
      twin.last = at;
      ++twin.count;
      m.points.push_back(c);
    }
    m.splines.push_back(twin);
  }
  resolve(m);
}

std::vector<Stage> runArrays(const Mpolycommon& faces) {
  std::vector<Stage> out;
  const std::size_t base = heapInUse();
  ArrayMesh m;
  resetPeak();
  double t0 = now();
  double c0 = cpuNow();
  importFaces(m, faces);
  const auto per = [&] { return double(heapInUse() - base) / double(m.points.size()); };
  out.push_back({"import", now() - t0, cpuNow() - c0, per(), peakKb() / 1024, m.points.size()});
  // The arrays keep what they grew to: the figure a mesh that shrinks them would hold.
  m.points.shrink_to_fit();
  m.splines.shrink_to_fit();
  resetPeak();
  t0 = now();
  c0 = cpuNow();
  halvejoin(m);
  out.push_back({"halvejoin", now() - t0, cpuNow() - c0, per(), peakKb() / 1024, m.points.size()});
  resetPeak();
  t0 = now();
  c0 = cpuNow();
  double sum = 0;
  for (const Spline& s : m.splines)
    for (std::uint32_t p = s.first; p != kNone; p = m.points[p].next)
      sum += m.points[source(m, p)].x;
  out.push_back(
      {"walk", now() - t0, cpuNow() - c0, per(), peakKb() / 1024, m.points.size() + (sum != sum)});
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: proto_point_store FILE.dxf [product|arrays]\n");
    return 2;
  }
  const std::string file = argv[1];
  if (argc == 2) {
    for (const char* layout : {"product", "arrays"}) {
      std::fflush(stdout);
      const pid_t child = fork();
      if (child == 0) {
        execl("/proc/self/exe", argv[0], file.c_str(), layout, static_cast<char*>(nullptr));
        std::_Exit(127);
      }
      int status = 0;
      waitpid(child, &status, 0);
    }
    return 0;
  }
  const std::string layout = argv[2];
  const double t0 = now();
  StepContext read_step;
  const std::unique_ptr<Mpolycommon> faces =
      ReadPolygonFile(file, PolygonOptions{}, nullptr, read_step);
  if (!faces) return 1;
  if (layout == "product") {
    std::printf("  faces read in %.3f s (%zu faces)\n", now() - t0, faces->Faces.size());
  }
  const std::vector<Stage> stages = layout == "product" ? runProduct(*faces) : runArrays(*faces);
  print(layout.c_str(), stages);
  std::fflush(stdout);
  std::_Exit(0);  // nothing is destroyed: that is no part of any stage
}
