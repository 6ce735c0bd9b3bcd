#include "model/PatchPolygons.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "mesh/AM5_mesh.h"
#include "mesh/TagMesh.h"
#include "model/AM5_group.h"
#include "model/AM5_model.h"
#include "model/TagModel.h"
#include "util/FlatHash.h"
#include "util/Ustrlib.h"

namespace zevrin {
namespace {

// A group of either file format: its name and its id lines.
struct GroupRef {
  const std::string* Name;
  const std::vector<std::string>* Ids;
};

struct MeshInModel {
  const M5mesh* mesh;
  const M5amsuper* model;  // the nearest enclosing model (of either format), or none
};

// The meshes below `root` in file order, each with its model, without recursion: a file may
// nest its sections as deep as the reader allows.
std::vector<MeshInModel> meshesOf(const M5amsuper& root) {
  std::vector<MeshInModel> meshes;
  struct Open {
    const M5amsuper* node;
    const M5amsuper* model;
    std::size_t next;
  };
  std::vector<Open> open{{&root, root.IsModel() ? &root : nullptr, 0}};
  while (!open.empty()) {
    Open& top = open.back();
    if (top.next == top.node->Entries.size()) {
      open.pop_back();
      continue;
    }
    const M5amsuper* child = top.node->Entries[top.next++].Child.get();
    if (!child) continue;
    const M5amsuper* model = top.model;
    if (const auto* mesh = dynamic_cast<const M5mesh*>(child)) {
      meshes.push_back({mesh, model});
    } else {
      if (child->IsModel()) model = child;
      open.push_back({child, model, 0});
    }
  }
  return meshes;
}

// The first point of a mesh with each id. Ids are nearly always 1..n: then a table by id,
// else a hash table.
class IdIndex {
 public:
  IdIndex(const M5mesh& mesh, std::size_t points) {
    std::int64_t low = INT64_MAX, high = INT64_MIN;
    for (const auto& s : mesh.Splines)
      for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get())
        low = std::min<std::int64_t>(low, p->Id), high = std::max<std::int64_t>(high, p->Id);
    dense_ = points > 0 && high - low < static_cast<std::int64_t>(2 * points + 16);
    if (dense_) {
      low_ = low;
      table_.assign(static_cast<std::size_t>(high - low + 1), kNone);
    } else {
      hash_ = FlatHash<std::uint32_t>(points);
    }
    std::uint32_t index = 0;
    for (const auto& s : mesh.Splines)
      for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get(), ++index) {
        if (!dense_) {
          hash_.TryEmplace(IdKey(p->Id), index);
        } else if (std::uint32_t& slot = table_[static_cast<std::size_t>(p->Id - low_)];
                   slot == kNone) {
          slot = index;
        }
      }
  }
  const std::uint32_t* Find(std::int32_t id) const {
    if (!dense_) return hash_.Find(IdKey(id));
    if (id < low_ || id - low_ >= static_cast<std::int64_t>(table_.size())) return nullptr;
    const std::uint32_t& slot = table_[static_cast<std::size_t>(id - low_)];
    return slot == kNone ? nullptr : &slot;
  }

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  bool dense_ = false;
  std::int64_t low_ = 0;
  std::vector<std::uint32_t> table_;
  FlatHash<std::uint32_t> hash_;
};

// Which of a model's groups hold which vertices. The first 64 groups (every model seen has
// fewer) are bits of one word per vertex; any further ones are pairs in a table.
class GroupVertices {
 public:
  GroupVertices(const M5mesh& mesh, const std::vector<GroupRef>& groups, const MeshPatches& patches)
      : groups_(groups.size()) {
    if (groups.empty()) return;
    // A group lists points by id; an id names the first point that has it, as every lookup
    // by id does.
    const IdIndex point_of_id(mesh, patches.VertexOfPoint.size());
    bits_.assign(patches.Vertices.size(), 0);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;  // vertex, group from 64 on
    for (std::uint32_t g = 0; g < groups.size(); ++g) {
      for (const std::string& line : *groups[g].Ids) {
        std::int32_t id = 0;
        const std::string_view text = TrimView(line);
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), id);
        if (ec != std::errc() || end != text.data() + text.size()) continue;  // names no point
        const std::uint32_t* point = point_of_id.Find(id);
        if (!point) continue;
        const std::uint32_t v = patches.VertexOfPoint[*point];
        if (v == MeshPatches::kNoVertex) continue;
        if (g < 64)
          bits_[v] |= std::uint64_t{1} << g;
        else
          pairs.push_back({v, g});
      }
    }
    // The further groups of each vertex in group order, and a table to ask of one vertex.
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    if (pairs.empty()) return;
    start_.assign(patches.Vertices.size() + 1, 0);
    for (const auto& [v, g] : pairs) ++start_[v + 1];
    for (std::size_t v = 0; v < patches.Vertices.size(); ++v) start_[v + 1] += start_[v];
    for (const auto& [v, g] : pairs) {
      more_groups_.push_back(g);
      more_.TryEmplace(key(v, g), 1);
    }
  }

  // The first group holding every corner, or none.
  std::optional<std::uint32_t> FirstHolding(std::span<const std::uint32_t> corners) const {
    if (groups_ == 0) return std::nullopt;
    std::uint64_t common = ~std::uint64_t{0};
    for (const std::uint32_t c : corners) common &= bits_[c];
    if (common) return static_cast<std::uint32_t>(std::countr_zero(common));
    if (more_groups_.empty()) return std::nullopt;
    // The corner in the fewest further groups has the fewest to try.
    std::uint32_t fewest = corners[0];
    for (const std::uint32_t c : corners)
      if (start_[c + 1] - start_[c] < start_[fewest + 1] - start_[fewest]) fewest = c;
    for (std::uint32_t i = start_[fewest]; i < start_[fewest + 1]; ++i) {
      const std::uint32_t g = more_groups_[i];
      bool all = true;
      for (const std::uint32_t c : corners) all = all && (c == fewest || more_.Find(key(c, g)));
      if (all) return g;
    }
    return std::nullopt;
  }

 private:
  static std::uint64_t key(std::uint32_t v, std::uint32_t g) {
    return (static_cast<std::uint64_t>(g) << 32) | v;  // a vertex is never 0xFFFFFFFF here
  }

  std::size_t groups_;
  std::vector<std::uint64_t> bits_;         // groups 0..63 by vertex
  std::vector<std::uint32_t> start_;        // by vertex, into more_groups_
  std::vector<std::uint32_t> more_groups_;  // the groups from 64 on, ascending by vertex
  FlatHash<char> more_;                     // (vertex, group) for the groups from 64 on
};

double squaredDistance(const Vec3& a, const Vec3& b) {
  const double x = a.x - b.x, y = a.y - b.y, z = a.z - b.z;
  return x * x + y * y + z * z;
}

Mdxf_3dface faceOf(const MeshPatches& patches, std::span<const std::uint32_t> corners,
                   const std::string& layer) {
  Mdxf_3dface face;
  face.Layer = layer;
  face.CornerCount = static_cast<std::int32_t>(corners.size());
  for (std::size_t k = 0; k < 4; ++k)
    face.Corners[k] = patches.Vertices[corners[std::min(k, corners.size() - 1)]];
  for (std::size_t k = 4; k < corners.size(); ++k)
    face.MoreCorners.push_back(patches.Vertices[corners[k]]);
  return face;
}

}  // namespace

std::unique_ptr<Mpatches> PatchPolygons(const M5amsuper& root, const PatchPolygonOptions& options,
                                        StepContext& step) {
  auto out = std::make_unique<Mpatches>();
  for (const MeshInModel& found : meshesOf(root)) {
    const MeshPatches patches = PatchesOf(*found.mesh, step.Bars);
    out->Counts += patches.Counts;
    std::vector<GroupRef> groups;
    std::vector<std::vector<std::string>> tag_ids;  // a tag file's groups' ids, read for this
    // Every GROUP of the model in entry order: also those a polygon import appended, which
    // the model's own list (the groups read from the file, for Connect) leaves out. A tag
    // file's model keeps its groups in its GROUPS section.
    if (const auto* tag = dynamic_cast<const TagModel*>(found.model)) {
      tag_ids.reserve(tag->Groups.size());
      for (const TagGroup* g : tag->Groups) {
        if (g->GroupName.empty()) continue;
        tag_ids.push_back(g->Ids());
        groups.push_back({&g->GroupName, &tag_ids.back()});
      }
    } else if (found.model) {
      for (const Entry& e : found.model->Entries)
        if (const auto* g = dynamic_cast<const M5group*>(e.Child.get());
            g && !g->Suppressed && !g->GroupName.empty())
          groups.push_back({&g->GroupName, &g->GroupIds});
    }
    const GroupVertices held(*found.mesh, groups, patches);
    // Layer by layer: a count of the patches of each group, the rest in the last place.
    std::vector<std::uint32_t> layer_of(patches.Count());
    std::vector<std::size_t> at(groups.size() + 2, 0);
    for (std::size_t i = 0; i < patches.Count(); ++i) {
      const auto g = held.FirstHolding(patches.Patch(i));
      layer_of[i] = g ? *g : static_cast<std::uint32_t>(groups.size());
      ++at[layer_of[i] + 1];
    }
    for (std::size_t g = 0; g + 1 < at.size(); ++g) at[g + 1] += at[g];
    std::vector<std::size_t> order(patches.Count());
    for (std::size_t i = 0; i < patches.Count(); ++i) order[at[layer_of[i]]++] = i;
    step.Bars.StepMain();
    out->Faces.reserve(out->Faces.size() + patches.Count() * (options.Triangulate ? 2 : 1));
    for (const std::size_t i : order) {
      const std::string& layer =
          layer_of[i] < groups.size() ? *groups[layer_of[i]].Name : options.RestLayer;
      const std::span<const std::uint32_t> c = patches.Patch(i);
      if (c.size() == 4 && options.Triangulate) {
        const Vec3* p[4];
        for (std::size_t k = 0; k < 4; ++k) p[k] = &patches.Vertices[c[k]];
        const double d13 = squaredDistance(*p[1], *p[3]), d02 = squaredDistance(*p[0], *p[2]);
        // Equal diagonals (a rectangle): the one through the least corner by x, y, z, so that
        // the split depends on the positions alone.
        const auto less = [](const Vec3* a, const Vec3* b) {
          return a->x != b->x ? a->x < b->x : a->y != b->y ? a->y < b->y : a->z < b->z;
        };
        const Vec3* least = *std::min_element(p, p + 4, less);
        const bool across_13 = d13 < d02 || (d13 == d02 && (least == p[1] || least == p[3]));
        const std::uint32_t first[3] = {c[0], c[1], across_13 ? c[3] : c[2]};
        const std::uint32_t second[3] = {across_13 ? c[1] : c[0], c[2], c[3]};
        out->Faces.push_back(faceOf(patches, first, layer));
        out->Faces.push_back(faceOf(patches, second, layer));
      } else if (c.size() > 4 && options.Triangulate) {
        // A five-corner patch: a fan from its first corner.
        for (std::size_t k = 1; k + 1 < c.size(); ++k) {
          const std::uint32_t tri[3] = {c[0], c[k], c[k + 1]};
          out->Faces.push_back(faceOf(patches, tri, layer));
        }
      } else {
        out->Faces.push_back(faceOf(patches, c, layer));
      }
    }
  }
  out->CollectLayers();
  return out;
}

}  // namespace zevrin
