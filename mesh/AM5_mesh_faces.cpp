// Faces become two-point edge splines: an edge shared by several faces is one spline that
// carries the layers of all of them, and corners shared by faces become control points
// attached to each other.
//
// Finding the first kept spline with the same ends runs through hash tables, with exactly the
// results of the scans it replaces (the tests keep the scans beside them).

#include <atomic>
#include <charconv>
#include <exception>
#include <functional>
#include <limits>
#include <optional>
#include <thread>
#include <unordered_map>
#include <utility>

#include "import/M_poly.h"
#include "mesh/AM5_cplist.h"
#include "mesh/AM5_mesh.h"
#include "util/Errors.h"
#include "util/FlatHash.h"

namespace zevrin {
namespace {

bool samePosition(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
bool hasNaN(const Vec3& v) { return v.x != v.x || v.y != v.y || v.z != v.z; }

// The position a point has at parameter 0, as M5cp::Pos(0) gives it, without the walk for
// the points that have their own coordinates (all the points the import makes).
Vec3 positionOf(const M5cp& p) {
  if (p.Attached == 0 || !p.Target) return {p.X, p.Y, p.Z};
  return p.Pos(0);
}

// The kept splines of a mesh by their two end positions, either way round, as SameEnds
// compares them: the first spline in mesh order with the same ends is found in constant time.
// End positions are first welded into vertices (exactly equal positions, minus zero equal to
// zero, are one vertex), so that a spline is known by its pair of vertex numbers and a probe
// compares numbers instead of reaching for the spline's points. A NaN position equals nothing:
// it gets no vertex, and an edge with such an end is never entered nor found.
class EdgeIndex {
 public:
  static constexpr std::uint32_t kNoVertex = M5cplist::kNoGroup;

  // `expected`: about how many splines will be entered.
  EdgeIndex(const std::vector<std::unique_ptr<M5spline>>& splines, std::size_t expected)
      : by_hash_(splines.size() + expected / 2), edges_(splines.size() + expected) {
    for (std::size_t i = 0; i < splines.size(); ++i) {
      const M5spline& s = *splines[i];
      if (!s.FirstCp || !s.LastCp) continue;
      const std::uint32_t a = Vertex(positionOf(*s.FirstCp));
      const std::uint32_t b = Vertex(positionOf(*s.LastCp));
      if (!Find(a, b)) Enter(i, a, b);  // a later spline with the same ends is never found
    }
  }

  // The vertex at `v`, made when there is none yet; kNoVertex for a position with a NaN.
  std::uint32_t Vertex(const Vec3& v) { return Vertex(v, PositionHash(v)); }
  // The same with the position's hash given.
  std::uint32_t Vertex(const Vec3& v, std::uint64_t hash) {
    if (hasNaN(v)) return kNoVertex;
    const auto fresh = static_cast<std::uint32_t>(vertices_.size());
    if (fresh == kNoVertex) throw ZevrinError(ErrorKind::RangeCheck, "");
    const auto [head, added] = by_hash_.TryEmplace(hashKey(hash), fresh);
    if (added) {
      same_hash_.push_back(kNoVertex);
    } else {
      // The vertices of one hash are chained; nearly always there is one.
      for (std::uint32_t k = *head; k != kNoVertex; k = same_hash_[k])
        if (samePosition(vertices_[k], v)) return k;
      same_hash_.push_back(*head);
      *head = fresh;
    }
    vertices_.push_back(v);
    return fresh;
  }
  std::size_t VertexCount() const { return vertices_.size(); }

  // Brings the table slot where the vertex at `v` is looked for towards the cache; returns
  // the position's hash.
  std::uint64_t PrefetchVertex(const Vec3& v) const {
    const std::uint64_t hash = PositionHash(v);
    by_hash_.Prefetch(hashKey(hash));
    return hash;
  }
  void PrefetchEdge(std::uint32_t a, std::uint32_t b) const {
    if (a != kNoVertex && b != kNoVertex) edges_.Prefetch(edgeKey(a, b));
  }

  // The index of the first kept spline whose ends are the vertices a and b, or none.
  std::optional<std::size_t> Find(std::uint32_t a, std::uint32_t b) const {
    if (a == kNoVertex || b == kNoVertex) return std::nullopt;
    if (const std::uint32_t* found = edges_.Find(edgeKey(a, b))) return *found;
    return std::nullopt;
  }

  // Enters spline i, whose ends are the vertices a and b and which no entered spline has.
  void Enter(std::size_t i, std::uint32_t a, std::uint32_t b) {
    if (a == kNoVertex || b == kNoVertex) return;
    edges_.TryEmplace(edgeKey(a, b), static_cast<std::uint32_t>(i));
  }

 private:
  // The table's reserved key is no hash's: the one hash that equals it shares the key below.
  static std::uint64_t hashKey(std::uint64_t hash) {
    return hash == FlatHash<std::uint32_t>::kNoKey ? hash - 1 : hash;
  }
  // Never the reserved key: both vertices would have to be kNoVertex.
  static std::uint64_t edgeKey(std::uint32_t a, std::uint32_t b) {
    if (a > b) std::swap(a, b);
    return (static_cast<std::uint64_t>(a) << 32) | b;
  }

  std::vector<Vec3> vertices_;
  std::vector<std::uint32_t> same_hash_;  // the next vertex of the same hash, by vertex
  FlatHash<std::uint32_t> by_hash_;       // a vertex of each hash
  FlatHash<std::uint32_t> edges_;         // spline index by vertex pair
};

// Decides, edge after edge in face order, which spline each edge becomes: the first kept
// spline with the same ends, or the next new one. A new spline's index is known before it is
// made (the splines so far plus the new ones decided so far), so the decisions can run ahead
// of the making.
class EdgeDecider {
 public:
  EdgeDecider(const std::vector<std::unique_ptr<M5spline>>& splines, std::size_t expected)
      : index_(splines, expected), next_spline_(splines.size()) {}

  // The vertex of a corner; `hash` from PrefetchVertex.
  std::uint32_t Vertex(const Vec3& v, std::uint64_t hash) { return index_.Vertex(v, hash); }
  std::uint64_t PrefetchVertex(const Vec3& v) const { return index_.PrefetchVertex(v); }
  void PrefetchEdge(std::uint32_t a, std::uint32_t b) const { index_.PrefetchEdge(a, b); }

  // The index of the spline that the edge between the vertices va and vb becomes.
  std::uint32_t Decide(std::uint32_t va, std::uint32_t vb) {
    if (const auto kept = index_.Find(va, vb)) return static_cast<std::uint32_t>(*kept);
    if (next_spline_ >= std::numeric_limits<std::uint32_t>::max())
      throw ZevrinError(ErrorKind::RangeCheck, "");
    const std::size_t fresh = next_spline_++;
    index_.Enter(fresh, va, vb);
    new_ends_.push_back({va, vb});
    return static_cast<std::uint32_t>(fresh);
  }

  std::uint32_t Vertex(const Vec3& v) { return index_.Vertex(v); }
  std::size_t VertexCount() const { return index_.VertexCount(); }
  // The vertices of the two ends of each new spline, in the order they were decided.
  const std::vector<std::pair<std::uint32_t, std::uint32_t>>& NewEnds() const { return new_ends_; }

 private:
  EdgeIndex index_;
  std::size_t next_spline_;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> new_ends_;
};

// Attach all, as M5cplist::AttachAll does it, for a mesh whose new splines were just made from
// faces: the vertices already tell which points share a position (the same equality: exactly
// equal, minus zero equal to zero, NaN equal to nothing), so no position is hashed again.
// The points of the template's splines come first in the list and are looked up; then come
// the new splines' two points each. In list order, the first unattached point of a position
// keeps it and each later one is attached to the one before.
void attachByVertices(M5cplist& list, EdgeDecider& decider, Progress& progress) {
  progress.StepMain();
  if (list.Items.empty()) return;
  progress.ResetSub();
  const std::size_t made = decider.NewEnds().size();
  const std::size_t template_points = list.Items.size() - 2 * made;
  std::vector<std::uint32_t> vertex_of(list.Items.size(), EdgeIndex::kNoVertex);
  for (std::size_t i = 0; i < template_points; ++i) {
    const M5cp& p = *list.Items[i];
    if (p.IsAttached()) continue;
    vertex_of[i] = decider.Vertex((p.Attached == 0 || !p.Target) ? Vec3{p.X, p.Y, p.Z} : p.Pos(0));
  }
  for (std::size_t k = 0; k < made; ++k) {
    vertex_of[template_points + 2 * k] = decider.NewEnds()[k].first;
    vertex_of[template_points + 2 * k + 1] = decider.NewEnds()[k].second;
  }
  list.AttachInGroups(vertex_of, decider.VertexCount(), progress);
}

// Carries out the decisions on the mesh: a spline from a to b whose points both carry
// `layer`, or the layer added to the kept spline.
class EdgeSplineMaker {
 public:
  explicit EdgeSplineMaker(M5mesh& mesh) : mesh_(mesh) {}
  EdgeSplineMaker(const EdgeSplineMaker&) = delete;
  EdgeSplineMaker& operator=(const EdgeSplineMaker&) = delete;

  void Apply(std::uint32_t spline, const Vec3& a, const Vec3& b, const std::string& layer) {
    if (spline < mesh_.Splines.size()) {
      M5spline* kept = mesh_.Splines[spline].get();
      // Every point of a chain carries the same names here (names only ever reach a whole
      // chain), so a first point that has the layer means the chain has it: a long template
      // spline met by many edges is not walked again each time.
      if (kept->FirstCp && !kept->FirstCp->HasGroupName(layer))
        kept->FirstCp->AddGroupNameToChain(layer, &names_);
      return;
    }
    // Ids are 32-bit; the program refuses to wrap onto ids already given.
    if (mesh_.NextId > std::numeric_limits<std::int32_t>::max() - 1)
      throw ZevrinError(ErrorKind::RangeCheck, "");
    auto made = std::make_unique<M5spline>();
    made->AddCpAt(mesh_.NextId, a);
    made->AddCpAt(mesh_.NextId + 1, b);
    made->FirstCp->AddGroupNameToChain(layer, &names_);
    mesh_.Splines.push_back(std::move(made));
    mesh_.NextId += 2;
  }

 private:
  M5mesh& mesh_;
  GroupNameTable names_;  // every point of a layer shares one list of names
};

// The first id after every id in the mesh: 1 for an empty mesh.
std::int32_t firstFreeId(const M5mesh& mesh) {
  std::int64_t highest = 0;
  for (const auto& s : mesh.Splines)
    for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get())
      highest = std::max<std::int64_t>(highest, p->Id);
  if (highest >= std::numeric_limits<std::int32_t>::max())
    throw ZevrinError(ErrorKind::RangeCheck, "");
  return static_cast<std::int32_t>(highest + 1);
}

}  // namespace

void M5mesh::BuildFromFaces(const std::vector<Mdxf_3dface>& faces, StepContext& step,
                            const std::function<void(const M5cplist&)>& alongside) {
  Progress& bars = step.Bars;
  const std::size_t threaded_from = step.Import.ThreadedFromFaces;
  // A face that cannot be stored fails before the mesh changes.
  for (const Mdxf_3dface& face : faces)
    if (face.CornerCount > 4 && !face.CornersStored())
      throw ZevrinError(ErrorKind::FaceCorners, IntToStr(face.CornerCount));
  std::optional<EdgeDecider> decider;
  if (!faces.empty()) {
    bars.StepMain();
    bars.ResetSub();
    // Ids follow those the mesh already has, so that a template with splines of its own
    // keeps every id unique.
    NextId = firstFreeId(*this);
    // Closed surfaces share nearly every edge between two faces.
    std::size_t corners = 0;
    for (const Mdxf_3dface& face : faces)
      corners += static_cast<std::size_t>(std::max(face.CornerCount, 0));
    decider.emplace(Splines, corners / 2);
    const auto total = static_cast<std::int32_t>(std::min<std::size_t>(
        faces.size(), static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())));
    // Two workers in step: this thread decides what each edge becomes (hash look-ups, which
    // wait on memory), a second one makes the splines and points (allocation and names),
    // following the decisions as they are published. Both go in face order, so the mesh is
    // the same as one thread gives. Small imports stay on this thread.
    std::vector<std::uint32_t> decisions(corners);  // one edge per corner
    std::atomic<std::size_t> published{0};
    std::atomic<bool> abandon{false};
    std::atomic<bool> maker_failed{false};
    std::exception_ptr maker_error;
    const auto make = [&] {
      try {
        EdgeSplineMaker maker(*this);
        std::size_t d = 0;
        std::size_t ready = 0;
        for (const Mdxf_3dface& face : faces) {
          const auto n = static_cast<std::size_t>(std::max(face.CornerCount, 0));
          while (d + n > ready) {
            ready = published.load(std::memory_order_acquire);
            // Abandoning stores the flag and then a count no wait can sleep through, so a
            // count seen here that is not a true one finds the flag already set.
            if (abandon.load(std::memory_order_acquire)) return;
            if (d + n > ready) published.wait(ready, std::memory_order_acquire);
          }
          for (std::size_t k = 0; k < n; ++k)
            maker.Apply(decisions[d + k], face.Corner(k), face.Corner(k + 1 == n ? 0 : k + 1),
                        face.Layer);
          d += n;
        }
      } catch (...) {
        maker_error = std::current_exception();
        maker_failed.store(true, std::memory_order_release);
      }
    };
    std::jthread maker_thread;
    if (faces.size() >= threaded_from) maker_thread = std::jthread(make);
    // However deciding ends, the maker is released and joined before the decisions go.
    struct Release {
      std::atomic<bool>& abandon;
      std::atomic<std::size_t>& published;
      std::jthread& thread;
      ~Release() {
        if (!thread.joinable()) return;
        abandon.store(true, std::memory_order_release);
        // A wait returns only when the count changes: this one differs from every true count.
        published.store(std::numeric_limits<std::size_t>::max(), std::memory_order_release);
        published.notify_all();
        thread.join();
      }
    } release{abandon, published, maker_thread};

    // Faces go in batches. The table slots that a batch's corners and then its edges will
    // look at are asked of memory for the whole batch before the first is needed, so that
    // the waits overlap; the look-ups themselves still go one after another in face order.
    constexpr std::size_t kBatch = 64;
    std::vector<std::uint64_t> hashes;
    std::vector<std::uint32_t> vertices;
    std::size_t d = 0;
    for (std::size_t start = 0; start < faces.size(); start += kBatch) {
      if (maker_failed.load(std::memory_order_acquire)) break;
      const std::size_t end = std::min(start + kBatch, faces.size());
      const auto corner_count = [&](std::size_t f) {
        return static_cast<std::size_t>(std::max(faces[f].CornerCount, 0));
      };
      hashes.clear();
      for (std::size_t f = start; f < end; ++f)
        for (std::size_t k = 0; k < corner_count(f); ++k)
          hashes.push_back(decider->PrefetchVertex(faces[f].Corner(k)));
      vertices.resize(hashes.size());
      std::size_t c = 0;
      for (std::size_t f = start; f < end; ++f)
        for (std::size_t k = 0; k < corner_count(f); ++k, ++c)
          vertices[c] = decider->Vertex(faces[f].Corner(k), hashes[c]);
      c = 0;
      for (std::size_t f = start; f < end; ++f) {
        const std::size_t n = corner_count(f);
        for (std::size_t k = 0; k < n; ++k)
          decider->PrefetchEdge(vertices[c + k], vertices[c + (k + 1 == n ? 0 : k + 1)]);
        c += n;
      }
      c = 0;
      for (std::size_t f = start; f < end; ++f) {
        const std::size_t n = corner_count(f);
        for (std::size_t k = 0; k < n; ++k)
          decisions[d++] = decider->Decide(vertices[c + k], vertices[c + (k + 1 == n ? 0 : k + 1)]);
        c += n;
        bars.StepSub(total);
      }
      if (maker_thread.joinable() && ((start / kBatch) % 16 == 15 || end == faces.size())) {
        published.store(d, std::memory_order_release);
        published.notify_one();
      }
    }
    if (maker_thread.joinable()) {
      maker_thread.join();
    } else {
      published.store(d, std::memory_order_release);
      make();
    }
    if (maker_error) std::rethrow_exception(maker_error);
  }
  bars.StepMain();
  M5cplist list(Splines, bars);

  if (decider)
    attachByVertices(list, *decider, bars);
  else
    list.AttachAll(bars);
  decider.reset();
  // `alongside` reads the finished list while the attachments are resolved and the box is
  // measured: those write the points' targets, which it does not read.
  std::exception_ptr alongside_error;
  const auto run_alongside = [&] {
    try {
      alongside(list);
    } catch (...) {
      alongside_error = std::current_exception();
    }
  };
  std::jthread beside;
  if (alongside && faces.size() >= threaded_from) beside = std::jthread(run_alongside);
  list.ResolveAttachments(step);
  BoundsText = list.ComputeBounds(bars);
  if (beside.joinable())
    beside.join();
  else if (alongside)
    run_alongside();
  if (alongside_error) std::rethrow_exception(alongside_error);
  step.Report.After = MeshCounts{list.Count(), static_cast<std::int32_t>(Splines.size())};
  BoundsMin = {list.MinX, list.MinY, list.MinZ};
  BoundsMax = {list.MaxX, list.MaxY, list.MaxZ};
}

}  // namespace zevrin
