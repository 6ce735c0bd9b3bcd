// Faces become two-point edge splines: an edge shared by several faces is one spline that
// carries the layers of all of them, and corners shared by faces become control points
// attached to each other. A model then gets one GROUP per layer.
//
// Finding the first kept spline with the same ends and the groups of the points both run
// through hash tables, with exactly the results of the scans they replace (the tests keep
// the scans beside them).
#include "import/PolyImport.h"

#include <bit>
#include <limits>
#include <unordered_map>

#include "import/M_poly.h"
#include "mesh/AM5_cplist.h"
#include "mesh/AM5_mesh.h"
#include "model/AM5_group.h"
#include "model/AM5_model.h"
#include "model/AM_const.h"
#include "util/Errors.h"

namespace zevrin {
namespace {

void stepMain() {
  if (ProgressBar* bar = Shared().ProgressMain) bar->StepIt();
}

bool samePosition(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
bool hasNaN(const Vec3& v) { return v.x != v.x || v.y != v.y || v.z != v.z; }

std::uint64_t mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDULL;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ULL;
  return h ^ (h >> 33);
}

// Equal positions hash equally: minus zero is zero.
std::uint64_t hashPosition(const Vec3& v) {
  const auto bits = [](double d) { return std::bit_cast<std::uint64_t>(d == 0 ? 0.0 : d); };
  return mix(bits(v.x) ^ mix(bits(v.y) ^ mix(bits(v.z))));
}

// The same for both directions of an edge, and not the same for all edges whose two ends
// coincide (as a plain exclusive or would be).
std::uint64_t hashEdge(const Vec3& a, const Vec3& b) {
  return mix(hashPosition(a) + hashPosition(b));
}

// The position a point has at parameter 0, as M5cp::Pos(0) gives it, without the walk for
// the points that have their own coordinates (all the points the import makes).
Vec3 positionOf(const M5cp& p) {
  if (p.Attached == 0 || !p.Target) return {p.X, p.Y, p.Z};
  return p.Pos(0);
}

// The kept splines of a mesh by their two end positions, either way round, as SameEnds
// compares them: the first spline in mesh order with the same ends is found in constant time.
// Splines with a NaN end are never the same as any other and are not entered. Slots keep the
// whole hash, so that a probe looks at a spline only when the hashes match and growing the
// table reads no spline at all.
class EdgeIndex {
 public:
  // `expected`: about how many splines will be entered.
  EdgeIndex(const std::vector<std::unique_ptr<M5spline>>& splines, std::size_t expected)
      : splines_(splines) {
    Grow(splines.size() + expected);
    for (std::size_t i = 0; i < splines.size(); ++i) {
      const M5spline& s = *splines[i];
      if (!s.FirstCp || !s.LastCp) continue;
      const Vec3 a = positionOf(*s.FirstCp);
      const Vec3 b = positionOf(*s.LastCp);
      if (!Find(a, b)) Enter(i, a, b);  // a later spline with the same ends is never found
    }
  }

  // The first kept spline whose ends are a and b, or none.
  M5spline* Find(const Vec3& a, const Vec3& b) const {
    if (hasNaN(a) || hasNaN(b)) return nullptr;
    const std::uint64_t hash = hashEdge(a, b);
    for (std::size_t slot = hash & mask_;; slot = (slot + 1) & mask_) {
      const Slot& entry = slots_[slot];
      if (entry.index == kEmpty) return nullptr;
      if (entry.hash != hash) continue;
      const M5spline& s = *splines_[entry.index];
      const Vec3 p = positionOf(*s.FirstCp);
      const Vec3 q = positionOf(*s.LastCp);
      if ((samePosition(p, a) && samePosition(q, b)) || (samePosition(p, b) && samePosition(q, a)))
        return splines_[entry.index].get();
    }
  }

  // Enters splines_[i], whose ends are a and b and which no entered spline has.
  void Enter(std::size_t i, const Vec3& a, const Vec3& b) {
    if (hasNaN(a) || hasNaN(b)) return;
    if (2 * (used_ + 1) > slots_.size()) Grow(used_ + 1);
    Place(Slot{hashEdge(a, b), static_cast<std::uint32_t>(i)});
  }

 private:
  static constexpr std::uint32_t kEmpty = std::numeric_limits<std::uint32_t>::max();
  struct Slot {
    std::uint64_t hash = 0;
    std::uint32_t index = kEmpty;  // into splines_
  };

  void Place(const Slot& entry) {
    std::size_t slot = entry.hash & mask_;
    while (slots_[slot].index != kEmpty) slot = (slot + 1) & mask_;
    slots_[slot] = entry;
    ++used_;
  }

  // Room for at least `entries` at half load.
  void Grow(std::size_t entries) {
    std::size_t size = 16;
    while (size < 2 * entries) size *= 2;
    const std::size_t grown = std::max(size, 2 * slots_.size());
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(grown, Slot{});
    mask_ = grown - 1;
    used_ = 0;
    for (const Slot& entry : old)
      if (entry.index != kEmpty) Place(entry);
  }

  const std::vector<std::unique_ptr<M5spline>>& splines_;
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t used_ = 0;
};

// Turns face edges into the splines of one mesh.
class EdgeSplineBuilder {
 public:
  EdgeSplineBuilder(M5mesh& mesh, std::size_t expected)
      : mesh_(mesh), index_(mesh.Splines, expected) {}

  // A spline from a to b whose points both carry `layer`, unless a kept spline has the same
  // ends: that one then takes the layer too.
  void AddEdgeSpline(const Vec3& a, const Vec3& b, const std::string& layer) {
    if (M5spline* kept = index_.Find(a, b)) {
      // Every point of a chain carries the same names here (names only ever reach a whole
      // chain), so a first point that has the layer means the chain has it: a long template
      // spline met by many edges is not walked again each time.
      if (kept->FirstCp && !kept->FirstCp->HasGroupName(layer))
        kept->FirstCp->AddGroupNameToChain(layer);
      return;
    }
    AddUniqueSpline(a, b, layer);
  }

 private:
  void AddUniqueSpline(const Vec3& a, const Vec3& b, const std::string& layer) {
    // Ids are 32-bit; the program refuses to wrap onto ids already given.
    if (mesh_.NextId > std::numeric_limits<std::int32_t>::max() - 1)
      throw ZevrinError(ErrorKind::RangeCheck, "");
    auto spline = std::make_unique<M5spline>();
    spline->AddCpAt(mesh_.NextId, a);
    spline->AddCpAt(mesh_.NextId + 1, b);
    spline->FirstCp->AddGroupNameToChain(layer);
    mesh_.Splines.push_back(std::move(spline));
    index_.Enter(mesh_.Splines.size() - 1, a, b);
    mesh_.NextId += 2;
  }

  M5mesh& mesh_;
  EdgeIndex index_;
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

std::string foldedName(std::string_view name) {
  std::string out(name);
  for (char& c : out) c = static_cast<char>(UpperAscii(static_cast<unsigned char>(c)));
  return out;
}

// One GROUP per layer, in the layers' order, appended to the model's entries, listing the
// ids of the points that carry the layer in control-point-list order. One pass over the
// points fills every group: a point carries a name at most once, under any spelling.
void addGroupsFromPolygons(M5model& model, const std::vector<std::string>& layers) {
  if (layers.empty()) return;
  M5cplist list(model.Mesh->Splines);
  std::vector<std::unique_ptr<M5group>> groups;
  std::unordered_map<std::string, M5group*> by_name;
  for (const std::string& name : layers) {
    auto group = std::make_unique<M5group>();
    group->GroupName = name;
    by_name.try_emplace(foldedName(name), group.get());
    groups.push_back(std::move(group));
  }
  for (const M5cp* p : list.Items) {
    for (const std::string& name : p->GroupNames) {
      const auto it = by_name.find(foldedName(name));
      if (it != by_name.end()) it->second->GroupIds.push_back(IntToStr(p->Id));
    }
  }
  for (auto& group : groups) model.AddChild(std::move(group));
}

}  // namespace

void M5mesh::BuildFromFaces(const std::vector<Mdxf_3dface>& faces) {
  // A face that cannot be stored fails before the mesh changes.
  for (const Mdxf_3dface& face : faces)
    if (face.CornerCount > 4 && !face.CornersStored())
      throw ZevrinError(ErrorKind::FaceCorners, IntToStr(face.CornerCount));
  if (!faces.empty()) {
    stepMain();
    ResetSubProgress();
    // Ids follow those the mesh already has, so that a template with splines of its own
    // keeps every id unique.
    NextId = firstFreeId(*this);
    // Closed surfaces share nearly every edge between two faces.
    std::size_t corners = 0;
    for (const Mdxf_3dface& face : faces)
      corners += static_cast<std::size_t>(std::max(face.CornerCount, 0));
    EdgeSplineBuilder builder(*this, corners / 2);
    const auto total = static_cast<std::int32_t>(std::min<std::size_t>(
        faces.size(), static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())));
    for (const Mdxf_3dface& face : faces) {
      for (std::int32_t i = 0; i < face.CornerCount; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const Vec3& a = face.Corner(k);
        const Vec3& b = i + 1 == face.CornerCount ? face.Corners[0] : face.Corner(k + 1);
        builder.AddEdgeSpline(a, b, face.Layer);
      }
      StepSubProgress(total);
    }
  }
  stepMain();
  M5cplist list(Splines);
  list.AttachAll();
  list.ResolveAttachments();
  BoundsText = list.ComputeBounds();
  Shared().CpCount = list.Count();
  Shared().SplineCount = static_cast<std::int32_t>(Splines.size());
  BoundsMin = {list.MinX, list.MinY, list.MinZ};
  BoundsMax = {list.MaxX, list.MaxY, list.MaxZ};
}

void M5mesh::ImportPolygons(Mpolycommon& /*polygons*/) {
  // The model converts the faces into its mesh; a mesh met on the walk takes nothing.
}

void M5model::ImportPolygons(Mpolycommon& polygons) {
  if (!Mesh) return;
  Mesh->BuildFromFaces(polygons.Faces);
  const std::string bounds = "Bounds=" + Mesh->BoundsText;
  MCommaStr tokens;
  tokens.Separator = "=";
  for (Entry& e : Entries) {
    if (e.Child) continue;
    tokens.SetText(e.Text);
    if (SameKeyword(tokens.NextToken(), "Bounds")) e.Text = bounds;
  }
  // Not entered in Groups: Connect grouped splines uses only the groups read from the file.
  addGroupsFromPolygons(*this, polygons.Layers);
  BoundsMin = Mesh->BoundsMin;
  BoundsMax = Mesh->BoundsMax;
}

bool HasPolygonTarget(const M5amsuper& root) {
  // Follows the walk of ImportPolygons without recursion: models and meshes pass nothing on.
  std::vector<const M5amsuper*> pending{&root};
  while (!pending.empty()) {
    const M5amsuper* node = pending.back();
    pending.pop_back();
    for (const Entry& e : node->Entries) {
      if (!e.Child) continue;
      if (const auto* model = dynamic_cast<const M5model*>(e.Child.get())) {
        if (model->Mesh) return true;
      } else if (!dynamic_cast<const M5mesh*>(e.Child.get())) {
        pending.push_back(e.Child.get());
      }
    }
  }
  return false;
}

}  // namespace zevrin
