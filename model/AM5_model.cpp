#include "model/AM5_model.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "import/M_poly.h"
#include "mesh/AM5_cplist.h"
#include "mesh/AM5_mesh.h"
#include "model/AM5_group.h"
#include "model/AM5_segment.h"

namespace zevrin {

const SectionTable& ModelFileSections() {
  static const SectionTable table = [] {
    SectionTable t;
    t.Add("[MODEL]", [] { return std::unique_ptr<M5amsuper>(std::make_unique<M5model>()); });
    t.Add("[MESH]", [] { return std::unique_ptr<M5amsuper>(std::make_unique<M5mesh>()); });
    t.Add("[GROUP]", [] { return std::unique_ptr<M5amsuper>(std::make_unique<M5group>()); });
    t.Add("[SEGMENT]", [] { return std::unique_ptr<M5amsuper>(std::make_unique<M5segment>()); });
    return t;
  }();
  return table;
}

void M5model::FinishRead(StepContext& step) {
  M5amsuper::FinishRead(step);
  Mesh = nullptr;
  Groups.clear();
  MCommaStr tokens;
  for (const Entry& e : Entries) {
    if (e.Child) {
      if (SameKeyword(e.Child->Name, "MESH")) {
        if (auto* mesh = dynamic_cast<M5mesh*>(e.Child.get())) Mesh = mesh;
      } else if (SameKeyword(e.Child->Name, "GROUP")) {
        if (auto* group = dynamic_cast<M5group*>(e.Child.get())) Groups.push_back(group);
      }
      continue;
    }
    tokens.Separator = "=";
    tokens.SetText(e.Text);
    if (!SameKeyword(tokens.NextToken(), "Bounds")) continue;
    WithLine(e.Line, [&] {
      tokens.Separator = " ";
      for (int k = 0; k < 3; ++k) tokens.NextToken();
      BoundsMax.x = StrToFloat(tokens.NextToken());
      BoundsMax.y = StrToFloat(tokens.NextToken());
      BoundsMax.z = StrToFloat(tokens.NextToken());
      for (int k = 0; k < 12; ++k) tokens.NextToken();
      BoundsMin.x = StrToFloat(tokens.NextToken());
      BoundsMin.y = StrToFloat(tokens.NextToken());
      BoundsMin.z = StrToFloat(tokens.NextToken());
    });
  }
  if (Mesh) {
    const auto widen = [](double& lo, double& hi, double mesh_lo, double mesh_hi) {
      if (!(hi >= mesh_hi)) hi = mesh_hi;
      if (lo > mesh_lo) lo = mesh_lo;
    };
    widen(BoundsMin.x, BoundsMax.x, Mesh->BoundsMin.x, Mesh->BoundsMax.x);
    widen(BoundsMin.y, BoundsMax.y, Mesh->BoundsMin.y, Mesh->BoundsMax.y);
    widen(BoundsMin.z, BoundsMax.z, Mesh->BoundsMin.z, Mesh->BoundsMax.z);
  }
}

bool M5model::GetBounds(Vec3& min, Vec3& max) {
  min = BoundsMin;
  max = BoundsMax;
  return true;
}

Entry* M5model::FirstBoundsEntry() {
  MCommaStr tokens;
  tokens.Separator = "=";
  for (Entry& e : Entries) {
    if (e.Child) continue;
    tokens.SetText(e.Text);
    if (SameKeyword(tokens.NextToken(), "Bounds")) return &e;
  }
  return nullptr;
}

std::vector<double> M5model::BoundsNumbers(const Entry& entry) {
  return WithLine(entry.Line, [&] {
    MCommaStr tokens;
    tokens.Separator = "=";
    tokens.SetText(entry.Text);
    tokens.NextToken();
    tokens.Separator = " ";
    std::vector<double> values(24);
    for (double& v : values) v = StrToFloat(tokens.NextToken());
    return values;
  });
}

void M5model::CheckHalvejoin() {
  if (const Entry* bounds = FirstBoundsEntry()) BoundsNumbers(*bounds);
  M5amsuper::CheckHalvejoin();
}

void M5model::Halvejoin(double tolerance, StepContext& step) {
  M5amsuper::Halvejoin(tolerance, step);
  Entry* bounds = FirstBoundsEntry();
  if (!bounds) return;
  const std::vector<double> v = BoundsNumbers(*bounds);
  // Both extremes start at zero, so the box always holds the origin.
  Vec3 lo, hi;
  for (std::size_t corner = 0; corner < 8; ++corner) {
    const double x = std::abs(v[corner * 3]);
    const double y = v[corner * 3 + 1];
    const double z = v[corner * 3 + 2];
    if (!(hi.x >= x)) hi.x = x;
    if (!(hi.y >= y)) {
      hi.y = y;
    } else if (y < lo.y) {
      lo.y = y;
    }
    if (!(hi.z >= z)) {
      hi.z = z;
    } else if (z < lo.z) {
      lo.z = z;
    }
  }
  lo.x = -hi.x;
  const double corners[8][3] = {{hi.x, hi.y, hi.z}, {hi.x, hi.y, lo.z}, {hi.x, lo.y, lo.z},
                                {hi.x, lo.y, hi.z}, {lo.x, hi.y, hi.z}, {lo.x, hi.y, lo.z},
                                {lo.x, lo.y, lo.z}, {lo.x, lo.y, hi.z}};
  std::string text = "Bounds=";
  for (const auto& c : corners)
    for (double value : c) text += FloatToStr(value) + " ";
  bounds->Text = std::move(text);
  BoundsMin = lo;
  BoundsMax = hi;
}

namespace {

// The last spline with an id at an end, by scanning the mesh from its last spline.
class ScanEnds : public SplineEndLookup {
 public:
  explicit ScanEnds(M5mesh& mesh) : mesh_(mesh) {}
  M5spline* Find(std::int32_t id) override { return mesh_.FindSplineByEndId(id); }
  void Joined(M5spline&, M5spline&) override {}

 private:
  M5mesh& mesh_;
};

// The same answers from an index of end ids: per id a heap of (mesh position, spline), the
// latest on top; entries whose spline no longer ends there are dropped when met, and a spline
// whose ends change is filed again.
class IndexedEnds : public SplineEndLookup {
 public:
  explicit IndexedEnds(M5mesh& mesh) {
    for (std::size_t i = 0; i < mesh.Splines.size(); ++i) {
      M5spline& s = *mesh.Splines[i];
      position_[&s] = i;
      file(s);
    }
  }
  M5spline* Find(std::int32_t id) override {
    const auto it = by_end_.find(id);
    if (it == by_end_.end()) return nullptr;
    auto& heap = it->second;
    while (!heap.empty()) {
      M5spline* s = heap.front().second;
      if (!gone_.count(s) && s->HasEndId(id)) return s;
      std::pop_heap(heap.begin(), heap.end());
      heap.pop_back();
    }
    return nullptr;
  }
  void Joined(M5spline& target, M5spline& emptied) override {
    gone_.insert(&emptied);
    file(target);
  }

 private:
  void file(M5spline& s) {
    if (s.NumCps <= 0 || !s.FirstCp) return;
    const std::size_t at = position_.at(&s);
    for (std::int32_t id : {s.FirstCp->Id, s.LastCp->Id}) {
      auto& heap = by_end_[id];
      heap.emplace_back(at, &s);
      std::push_heap(heap.begin(), heap.end());
    }
  }

  std::unordered_map<std::int32_t, std::vector<std::pair<std::size_t, M5spline*>>> by_end_;
  std::unordered_map<const M5spline*, std::size_t> position_;
  std::unordered_set<const M5spline*> gone_;
};

}  // namespace

void M5model::CheckConnect() {
  if (Groups.empty() || !Mesh) return;
  for (const M5group* g : Groups)
    for (const std::string& id : g->GroupIds) StrToInt(id);
}

void M5model::ConnectGroupedSplines(StepContext& step) {
  if (Groups.empty() || !Mesh) return;
  IndexedEnds lookup(*Mesh);
  ConnectGroupedSplines(lookup, step);
}

namespace {

// The ids of one group, converted once. Taken from the front, or searched from the back for a
// value, each in constant time on average.
class GroupIdQueue {
 public:
  explicit GroupIdQueue(const M5group& group) {
    ids_.reserve(group.GroupIds.size());
    for (const std::string& text : group.GroupIds) ids_.push_back(StrToInt(text));
    alive_.assign(ids_.size(), true);
    for (std::size_t i = 0; i < ids_.size(); ++i) where_[ids_[i]].push_back(i);
    left_ = ids_.size();
  }
  bool Empty() const { return left_ == 0; }
  std::int32_t TakeFirst() {
    while (!alive_[front_]) ++front_;
    take(front_);
    return ids_[front_];
  }
  // Removes the last remaining id equal to `value`; false when none remains.
  bool TakeLast(std::int32_t value) {
    const auto it = where_.find(value);
    if (it == where_.end()) return false;
    auto& positions = it->second;
    while (!positions.empty() && !alive_[positions.back()]) positions.pop_back();
    if (positions.empty()) return false;
    take(positions.back());
    return true;
  }

 private:
  void take(std::size_t i) {
    alive_[i] = false;
    --left_;
  }
  std::vector<std::int32_t> ids_;
  std::vector<bool> alive_;
  std::unordered_map<std::int32_t, std::vector<std::size_t>> where_;
  std::size_t front_ = 0;
  std::size_t left_ = 0;
};

// Exact position of a point as a key (minus zero is zero); NaN matches nothing.
struct EndKey {
  double x, y, z;
  bool operator==(const EndKey& o) const { return x == o.x && y == o.y && z == o.z; }
};
struct EndKeyHash {
  std::size_t operator()(const EndKey& k) const {
    const auto bits = [](double v) { return std::hash<double>()(v == 0 ? 0.0 : v); };
    return bits(k.x) ^ (bits(k.y) * 0x9E3779B97F4A7C15ULL) ^ (bits(k.z) * 0xC2B2AE3D27D4EB4FULL);
  }
};
bool keyOf(const M5cp& p, EndKey& key) {
  key = {p.PosX(0), p.PosY(0), p.PosZ(0)};
  return key.x == key.x && key.y == key.y && key.z == key.z;
}

// Joins the candidates onto the first one in passes: each pass offers the candidates from the
// last to the second, and one that has an end on an end of the growing spline is joined. The
// candidates that would join are found through an index of their end positions, so a pass
// costs what it joins, not what it offers. Returns whether any candidate was offered.
bool joinCandidates(std::vector<M5spline*>& candidates, SplineEndLookup& lookup,
                    Progress& progress, std::int32_t progress_total) {
  if (candidates.size() < 2) return false;
  M5spline* target = candidates.front();
  std::unordered_map<EndKey, std::set<std::size_t>, EndKeyHash> at;
  const auto file = [&](std::size_t k, bool add) {
    const M5spline& c = *candidates[k];
    for (const M5cp* end : {static_cast<const M5cp*>(c.FirstCp.get()), static_cast<const M5cp*>(c.LastCp)}) {
      EndKey key;
      if (!keyOf(*end, key)) continue;
      if (add) at[key].insert(k);
      else at[key].erase(k);
    }
  };
  for (std::size_t k = 1; k < candidates.size(); ++k) file(k, true);
  // Highest candidate below `limit` with an end on `key`, or 0.
  const auto below = [&](const M5cp& end, std::size_t limit) -> std::size_t {
    EndKey key;
    if (!keyOf(end, key)) return 0;
    const auto it = at.find(key);
    if (it == at.end()) return 0;
    auto found = it->second.lower_bound(limit);
    if (found == it->second.begin()) return 0;
    return *--found;
  };
  std::size_t remaining = candidates.size() - 1;
  while (remaining > 0) {
    bool joined = false;
    std::size_t limit = candidates.size();
    for (;;) {
      const std::size_t k =
          std::max(below(*target->FirstCp, limit), below(*target->LastCp, limit));
      if (k == 0) break;
      file(k, false);
      target->JoinAtEnds(*candidates[k]);
      lookup.Joined(*target, *candidates[k]);
      --remaining;
      joined = true;
      limit = k;
    }
    if (!joined) break;
    progress.StepSub(progress_total);
  }
  // Every offer marks the growing spline with bit 0, joined or not.
  target->FirstCp->SetBit0OnChain();
  return true;
}

}  // namespace

void M5model::ConnectGroupedSplines(SplineEndLookup& lookup, StepContext& step) {
  if (Groups.empty() || !Mesh) return;
  {
    M5cplist list(Mesh->Splines, step.Bars);
    list.DetachAll(step.Bars);
  }
  step.Bars.SetMain(10);
  step.Bars.ResetSub();
  const std::size_t rounds = Groups.size();
  bool offered = false;
  std::vector<M5spline*> candidates;
  std::unordered_set<const M5spline*> chosen;
  for (std::size_t round = 0; round < rounds; ++round) {
    M5group* group = Groups.front();
    Groups.erase(Groups.begin());
    GroupIdQueue ids(*group);
    group->GroupIds.clear();  // the ids are used up, as the queue takes them
    while (!ids.Empty()) {
      const std::int32_t p = ids.TakeFirst();
      M5spline* s = lookup.Find(p);
      if (!s) continue;
      // A group naming an id twice must not offer a spline twice (and so to itself).
      if (ids.TakeLast(s->OtherEndId(p)) && chosen.insert(s).second) candidates.push_back(s);
    }
    if (joinCandidates(candidates, lookup, step.Bars, static_cast<std::int32_t>(Groups.size())))
      offered = true;
    candidates.clear();
    chosen.clear();
  }
  // The joined splines are empty now; they (and any spline that was empty before) go, as
  // soon as one group had something to join.
  if (offered) Mesh->RemoveEmptySplines();
  RemoveGroups();
  M5cplist list(Mesh->Splines, step.Bars);
  list.AttachAll(step.Bars);
  list.ResolveAttachments(step);
  step.Report.After = MeshCounts{list.Count(), static_cast<std::int32_t>(Mesh->Splines.size())};
}

void M5model::RemoveGroups() {
  for (std::size_t k = Entries.size(); k-- > 0;) {
    const auto& child = Entries[k].Child;
    if (!child || !SameKeyword(child->Name, "GROUP")) continue;
    std::erase(Groups, child.get());
    Entries.erase(Entries.begin() + static_cast<std::ptrdiff_t>(k));
  }
}

namespace {

// One GROUP per layer, in the layers' order, listing the ids of the points of `list` that carry
// the layer, in list order. One pass over the points fills every group: a point carries a
// name at most once, under any spelling. It reads the points' ids and names and nothing
// else, and touches no shared state, so it may run beside the resolving of the attachments.
std::vector<std::unique_ptr<M5group>> groupsFromPolygons(const M5cplist& list,
                                                         const std::vector<std::string>& layers) {
  std::vector<std::unique_ptr<M5group>> groups;
  if (layers.empty()) return groups;
  std::unordered_map<std::string, M5group*> by_name;
  for (const std::string& name : layers) {
    auto group = std::make_unique<M5group>();
    group->GroupName = name;
    by_name.try_emplace(FoldedUpper(name), group.get());
    groups.push_back(std::move(group));
  }
  // Points that carry the same names share one list of them, so the groups of a list are
  // looked up once per list rather than once per point, and neighbouring points mostly hold
  // the same list. Nothing changes the lists during the pass: an address stands for the same
  // names throughout.
  std::unordered_map<const GroupNameSet::List*, std::vector<M5group*>> by_list;
  const GroupNameSet::List* last_list = nullptr;
  const std::vector<M5group*>* last_groups = nullptr;
  // The groups of a point, or none for a point without names.
  const auto groups_of = [&](const M5cp& p) -> const std::vector<M5group*>* {
    if (p.GroupNames.empty()) return nullptr;
    const GroupNameSet::List* names = &p.GroupNames.list();
    if (names != last_list) {
      const auto [it, fresh] = by_list.try_emplace(names);
      if (fresh) {
        for (const std::string& name : *names) {
          const auto found = by_name.find(FoldedUpper(name));
          if (found != by_name.end()) it->second.push_back(found->second);
        }
      }
      last_list = names;
      last_groups = &it->second;
    }
    return last_groups;
  };
  // Counted first, so that each list of ids is made once at its size: grown by doubling, the
  // lists of a large import would hold a third more than they need.
  std::unordered_map<M5group*, std::size_t> counts;
  M5group* last_counted = nullptr;
  std::size_t* last_count = nullptr;
  for (const M5cp* p : list.Items) {
    if (const std::vector<M5group*>* of = groups_of(*p)) {
      for (M5group* group : *of) {
        if (group != last_counted) {
          last_counted = group;
          last_count = &counts[group];
        }
        ++*last_count;
      }
    }
  }
  for (const auto& [group, count] : counts) group->GroupIds.reserve(count);
  for (const M5cp* p : list.Items) {
    const std::vector<M5group*>* of = groups_of(*p);
    if (!of || of->empty()) continue;
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, p->Id).ptr;
    for (M5group* group : *of) group->GroupIds.emplace_back(digits, end);
  }
  return groups;
}

}  // namespace

void M5model::ImportPolygons(Mpolycommon& polygons, StepContext& step) {
  if (!Mesh) return;
  std::vector<std::unique_ptr<M5group>> groups;
  Mesh->BuildFromFaces(polygons.Faces, step, [&](const M5cplist& list) {
    groups = groupsFromPolygons(list, polygons.Layers);
  });
  const std::string bounds = "Bounds=" + Mesh->BoundsText;
  MCommaStr tokens;
  tokens.Separator = "=";
  for (Entry& e : Entries) {
    if (e.Child) continue;
    tokens.SetText(e.Text);
    if (SameKeyword(tokens.NextToken(), "Bounds")) e.Text = bounds;
  }
  // Appended to the entries, not entered in Groups: Connect grouped splines uses only the
  // groups read from the file.
  for (auto& group : groups) AddChild(std::move(group));
  BoundsMin = Mesh->BoundsMin;
  BoundsMax = Mesh->BoundsMax;
}

bool HasPolygonTarget(const M5amsuper& root) {
  // Follows the walk of ImportPolygons: models and meshes pass nothing on.
  bool found = false;
  WalkTree(root, [&](const M5amsuper& node) {
    if (const auto* model = dynamic_cast<const M5model*>(&node)) {
      found = model->Mesh != nullptr;
      return found ? WalkOn::Stop : WalkOn::Over;
    }
    return dynamic_cast<const M5mesh*>(&node) ? WalkOn::Over : WalkOn::Into;
  });
  return found;
}



}  // namespace zevrin
