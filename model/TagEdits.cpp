// What the edits do to a tag model beyond its mesh: the lists that name the mesh's points.

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "mesh/AM5_cp.h"
#include "mesh/AM5_splin.h"
#include "mesh/TagMesh.h"
#include "model/AM5_model.h"
#include "model/TagLists.h"
#include "model/TagModel.h"
#include "util/Ustrlib.h"

namespace zevrin {
namespace {

template <class F>
void forEachPoint(const M5mesh& mesh, F&& f) {
  for (const auto& s : mesh.Splines)
    for (M5cp* p = s->FirstCp.get(); p; p = p->Next.get()) f(*p);
}

}  // namespace

void TagModel::Halvejoin(double tolerance, StepContext& step) {
  // The points before the edit, by their ids: each keeps its object through the edit, which
  // gives it a new id and adds copies.
  std::vector<std::pair<std::int32_t, const M5cp*>> before;
  if (Mesh) forEachPoint(*Mesh, [&](const M5cp& p) { before.emplace_back(p.Id, &p); });
  TagSection::Halvejoin(tolerance, step);
  if (Mesh && !before.empty()) {
    const auto [lo, hi] =
        std::minmax_element(before.begin(), before.end(),
                            [](const auto& a, const auto& b) { return a.first < b.first; });
    TagIdMap to(lo->first, hi->first, before.size());
    for (const auto& [id, point] : before) to.Set(id, point->Id);
    // The originals are 1..N now and a copy is its source's id + N; a point the seam shares
    // (an end on the plane) has no copy.
    const auto n = static_cast<std::int32_t>(before.size());
    std::vector<std::uint8_t> copied(before.size() + 1, 0);
    forEachPoint(*Mesh, [&](const M5cp& p) {
      if (p.Id > n && p.Id - n <= n) copied[static_cast<std::size_t>(p.Id - n)] = 1;
    });
    TagIdMap copies(1, n, before.size());
    for (std::int32_t id = 1; id <= n; ++id)
      if (copied[static_cast<std::size_t>(id)]) copies.Set(id, id + n);
    ListLinesLeftOut += Mesh->PatchesFollow(to, &copies);
    ListLinesLeftOut += RemapTagLists(*this, TagListEdit{to, &copies, false});
  }
  Refresh();
}

void TagModel::CheckConnect() {
  if (Groups.empty() || !Mesh) return;
  for (const TagGroup* g : Groups)
    for (const std::string& id : g->Ids()) StrToInt(id);
}

void TagModel::ConnectGroupedSplines(StepContext& step) {
  if (Groups.empty() || !Mesh) return;
  // A hook hangs at a parameter along its target's spline; a join may turn that spline round,
  // and then the parameter is measured from the other end. Noted by id, since a join may take
  // the hook or its target's neighbour away.
  struct Hook {
    std::int32_t id, target, ahead, behind;
  };
  std::vector<Hook> hooks;
  forEachPoint(*Mesh, [&](const M5cp& p) {
    if (!p.TagRecord || p.Attached != 1 || !p.HasHookParamBits() || !p.Target) return;
    const M5cp& t = *p.Target;
    hooks.push_back({p.Id, t.Id, t.Next ? t.Next->Id : 0, t.Prev ? t.Prev->Id : 0});
  });
  std::vector<std::pair<std::int32_t, std::int32_t>> merged;
  TagIdMap gone;
  const auto now = [&](std::int32_t id) {
    // The point a join left in the place of one it took away may go at a later join: follow
    // on. A point taken away never comes back, so there is no ring; the joins bound the walk.
    for (std::size_t guard = 0; guard <= merged.size(); ++guard) {
      const std::int32_t* to = gone.Find(id);
      if (!to) break;
      id = *to;
    }
    return id;
  };
  const auto ids_of = [&](std::size_t round) {
    std::vector<std::int32_t> ids;
    for (const std::string& text : Groups[round]->Ids()) ids.push_back(StrToInt(text));
    return ids;
  };
  const auto retarget = [&] {
    for (const auto& [from, to] : merged) gone.Set(from, to);
    if (hooks.empty()) return;
    FlatHash<M5cp*> point_of;
    forEachPoint(*Mesh, [&](M5cp& p) { point_of.TryEmplace(IdKey(p.Id), &p); });
    for (const Hook& h : hooks) {
      M5cp* const* hook = point_of.Find(IdKey(h.id));
      if (!hook || (*hook)->Attached != 1) continue;
      M5cp& p = **hook;
      p.TargetId = now(h.target);
      M5cp* const* target = point_of.Find(IdKey(p.TargetId));
      if (!target) continue;
      const M5cp& t = **target;
      const bool turned = h.ahead ? (t.Prev && t.Prev->Id == now(h.ahead))
                                  : (h.behind && t.Next && t.Next->Id == now(h.behind));
      if (turned) p.HookParam = 1 - p.HookParam;
    }
  };
  auto lookup = IndexedSplineEnds(*Mesh);
  ConnectSplinesOfGroups(*Mesh, Groups.size(), ids_of, *lookup, step, &merged, retarget);
  if (merged.empty()) return;
  std::int64_t lo = 0, hi = -1;
  std::size_t count = 0;
  forEachPoint(*Mesh, [&](const M5cp& p) {
    ++count;
    if (hi < lo) lo = hi = p.Id;
    lo = std::min<std::int64_t>(lo, p.Id);
    hi = std::max<std::int64_t>(hi, p.Id);
  });
  TagIdMap to(lo, hi, count);
  forEachPoint(*Mesh, [&](const M5cp& p) { to.Set(p.Id, p.Id); });
  for (const auto& [from, unused] : merged) to.Set(from, now(from));
  ListLinesLeftOut += Mesh->PatchesFollow(to, nullptr);
  ListLinesLeftOut += RemapTagLists(*this, TagListEdit{to, nullptr, true});
  // No point moved: the box stands.
}

}  // namespace zevrin
