#include "mesh/AM5_cplist.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <unordered_map>
#include <unordered_set>

#include "mesh/PositionResolver.h"
#include "model/AM_const.h"
#include "util/FmxUtils.h"

namespace zevrin {
namespace {

void stepMain() {
  if (ProgressBar* bar = Shared().ProgressMain) bar->StepIt();
}

// Points already found on one chain walk: a few in a vector, many in a hash set.
class Visited {
 public:
  bool insert(const M5cp* p) {
    if (set_.empty()) {
      if (std::find(few_.begin(), few_.end(), p) != few_.end()) return false;
      if (few_.size() < 32) {
        few_.push_back(p);
        return true;
      }
      set_.insert(few_.begin(), few_.end());
    }
    return set_.insert(p).second;
  }

 private:
  std::vector<const M5cp*> few_;
  std::unordered_set<const M5cp*> set_;
};

// Walks the chain of attachments hanging off `id`, calling visit(point) for each point found
// until it returns false, the chain ends, or the chain comes back to a point already found.
template <class Find, class Visit>
void walkChain(std::int32_t id, Find&& find_attached_to, Visit&& visit) {
  Visited seen;
  for (M5cp* q = find_attached_to(id); q && seen.insert(q); q = find_attached_to(q->Id)) {
    if (!visit(q)) return;
  }
}

// Indexes for one pass: first item by id, and first item by attach target, by raw target id
// and by raw target id among points with a hook parameter. Keys of a point can change during
// the pass: Touch(i) after every change; stale heap entries are dropped when met.
class PassIndex {
 public:
  explicit PassIndex(const std::vector<M5cp*>& items) : items_(items) {
    by_id_.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
      by_id_.try_emplace(items[i]->Id, static_cast<std::int32_t>(i));
      Touch(i);
    }
  }

  M5cp* FindById(std::int32_t id) const {
    const auto it = by_id_.find(id);
    return it == by_id_.end() ? nullptr : items_[static_cast<std::size_t>(it->second)];
  }
  M5cp* FindAttachedTo(std::int32_t id) {
    return first(attached_to_, id, [](const M5cp& p, std::int32_t k) {
      return p.AttachTargetId() == k;
    });
  }
  M5cp* FindTargeting(std::int32_t id) {
    return first(targeting_, id, [](const M5cp& p, std::int32_t k) { return p.TargetId == k; });
  }
  M5cp* FindHookTargeting(std::int32_t id) {
    return first(hook_targeting_, id, [](const M5cp& p, std::int32_t k) {
      return p.TargetId == k && p.HookParam != 0;
    });
  }

  // Files item i under its current keys.
  void Touch(std::size_t i) {
    const M5cp& p = *items_[i];
    const auto index = static_cast<std::int32_t>(i);
    push(attached_to_[p.AttachTargetId()], index);
    push(targeting_[p.TargetId], index);
    if (p.HookParam != 0) push(hook_targeting_[p.TargetId], index);
  }
  void Touch(const M5cp* p) { Touch(position_.at(p)); }

  void IndexPositions() {
    position_.reserve(items_.size());
    for (std::size_t i = 0; i < items_.size(); ++i) position_.emplace(items_[i], i);
  }

 private:
  using Heap = std::vector<std::int32_t>;  // min-heap of item indices

  static void push(Heap& heap, std::int32_t index) {
    heap.push_back(index);
    std::push_heap(heap.begin(), heap.end(), std::greater<>());
  }

  template <class Valid>
  M5cp* first(std::unordered_map<std::int32_t, Heap>& map, std::int32_t key, Valid&& valid) {
    const auto it = map.find(key);
    if (it == map.end()) return nullptr;
    Heap& heap = it->second;
    while (!heap.empty()) {
      M5cp* p = items_[static_cast<std::size_t>(heap.front())];
      if (valid(*p, key)) return p;
      std::pop_heap(heap.begin(), heap.end(), std::greater<>());
      heap.pop_back();
    }
    return nullptr;
  }

  const std::vector<M5cp*>& items_;
  std::unordered_map<std::int32_t, std::int32_t> by_id_;
  std::unordered_map<std::int32_t, Heap> attached_to_;
  std::unordered_map<std::int32_t, Heap> targeting_;
  std::unordered_map<std::int32_t, Heap> hook_targeting_;
  std::unordered_map<const M5cp*, std::size_t> position_;
};

// Exact position as a hash key: minus zero is zero.
struct PosKey {
  double x, y, z;
  bool operator==(const PosKey& o) const { return x == o.x && y == o.y && z == o.z; }
};
struct PosKeyHash {
  std::size_t operator()(const PosKey& k) const {
    const auto bits = [](double v) { return std::bit_cast<std::uint64_t>(v == 0 ? 0.0 : v); };
    std::uint64_t h = bits(k.x) * 0x9E3779B97F4A7C15ULL;
    h ^= bits(k.y) + 0x7F4A7C159E3779B9ULL + (h << 6) + (h >> 2);
    h ^= bits(k.z) + 0x94D049BB133111EBULL + (h << 6) + (h >> 2);
    return static_cast<std::size_t>(h ^ (h >> 31));
  }
};

}  // namespace

M5cplist::M5cplist(const std::vector<std::unique_ptr<M5spline>>& splines) {
  if (splines.empty()) return;
  ResetSubProgress();
  const auto total = static_cast<std::int32_t>(splines.size());
  for (const auto& s : splines) {
    if (s->NumCps > 0 && s->FirstCp) s->FirstCp->AppendChainTo(Items);
    StepSubProgress(total);
  }
}

M5cp* M5cplist::FindById(std::int32_t id) const {
  for (M5cp* p : Items)
    if (p->Id == id) return p;
  return nullptr;
}

M5cp* M5cplist::FindAttachedTo(std::int32_t id) const {
  for (M5cp* p : Items)
    if (p->AttachTargetId() == id) return p;
  return nullptr;
}

M5cp* M5cplist::FindChainEnd(std::int32_t id) const {
  M5cp* end = nullptr;
  walkChain(id, [this](std::int32_t k) { return FindAttachedTo(k); }, [&](M5cp* q) {
    end = q;
    return true;
  });
  return end;
}

M5cp* M5cplist::FindChainNonHook(std::int32_t id) const {
  M5cp* found = nullptr;
  walkChain(id, [this](std::int32_t k) { return FindAttachedTo(k); }, [&](M5cp* q) {
    if (q->HasHookParamBits()) return true;
    found = q;
    return false;
  });
  return found;
}

void M5cplist::FlipHookParamsOnChain(std::int32_t id) {
  walkChain(id, [this](std::int32_t k) { return FindAttachedTo(k); }, [](M5cp* q) {
    q->FlipHookParamOnce();
    return true;
  });
}

std::int32_t M5cplist::Renumber() {
  if (Items.empty()) return 0;
  // The new id of an old id is one past the position of the last point that had it.
  std::unordered_map<std::int32_t, std::int32_t> renamed;
  renamed.reserve(Items.size());
  for (std::size_t i = 0; i < Items.size(); ++i)
    renamed[Items[i]->Id] = static_cast<std::int32_t>(i + 1);
  for (M5cp* p : Items) {
    if (const auto it = renamed.find(p->TargetId); it != renamed.end()) {
      p->TargetId = it->second;
    } else if (p->Attached == 1) {
      p->TargetId = 0;  // names no point now, and none after
    } else {
      // Unused by an unattached point, but kept as the in-place renaming leaves it.
      p->TargetId = static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(p->TargetId));
    }
    p->Id = renamed.at(p->Id);
  }
  return Count();
}

void M5cplist::SnapToMirrorPlane(double tolerance) {
  for (M5cp* p : Items) p->SnapX(tolerance);
}

void M5cplist::ResolveAttachments() {
  stepMain();
  if (!Items.empty()) {
    ResetSubProgress();
    std::unordered_map<std::int32_t, M5cp*> first_by_id;
    first_by_id.reserve(Items.size());
    for (M5cp* p : Items) first_by_id.try_emplace(p->Id, p);
    for (M5cp* p : Items) {
      if (p->Attached == 1) {
        const auto it = first_by_id.find(p->TargetId);
        p->Target = it == first_by_id.end() ? nullptr : it->second;
      }
      StepSubProgress(Count());
    }
    // Break every ring of targets: its points keep their own coordinates and are reported
    // with the attachments that name no point.
    std::unordered_map<const M5cp*, std::uint8_t> state;  // 1: on the current walk, 2: done
    state.reserve(Items.size());
    std::vector<M5cp*> walk;
    for (M5cp* start : Items) {
      if (start->Attached != 1 || !start->Target) continue;  // no ring passes through it
      walk.clear();
      M5cp* q = start;
      while (q && !state.count(q)) {
        state[q] = 1;
        walk.push_back(q);
        q = q->Attached == 1 ? q->Target : nullptr;
      }
      if (q && state[q] == 1) {
        // q is on the walk: the ring runs from q to the walk's end.
        M5cp* r = q;
        do {
          M5cp* next = r->Target;
          r->Target = nullptr;
          r = next;
        } while (r != q);
      }
      for (M5cp* w : walk) state[w] = 2;
    }
  }
  ReportAttachErrors();
}

void M5cplist::ReportAttachErrors() {
  LineList lines{"アタッチ先が無い", "num_of_cp=" + IntToStr(Count())};
  for (const M5cp* p : Items) {
    if (p->IsAttached() && !p->Target)
      lines.push_back("cpid=" + IntToStr(p->Id) + " at_cpid=" + IntToStr(p->TargetId));
  }
  SharedState& shared = Shared();
  if (!shared.DebugDump && lines.size() < 3) return;
  if (shared.DeferAttachErrors) {
    shared.PendingAttachErrors = std::move(lines);
    shared.AttachErrorsPending = true;
    return;
  }
  WriteLinesFile(kAttachErrorFile, lines);
}

AttachErrorDeferral::AttachErrorDeferral() {
  SharedState& shared = Shared();
  shared.DeferAttachErrors = true;
  shared.AttachErrorsPending = false;
  shared.PendingAttachErrors.clear();
}

AttachErrorDeferral::~AttachErrorDeferral() {
  SharedState& shared = Shared();
  shared.DeferAttachErrors = false;
  shared.AttachErrorsPending = false;
  shared.PendingAttachErrors.clear();
}

void AttachErrorDeferral::Flush() {
  SharedState& shared = Shared();
  shared.DeferAttachErrors = false;
  if (!shared.AttachErrorsPending) return;
  shared.AttachErrorsPending = false;
  const LineList lines = std::move(shared.PendingAttachErrors);
  shared.PendingAttachErrors.clear();
  WriteLinesFile(M5cplist::kAttachErrorFile, lines);
}

void M5cplist::ApplyCorrections(const std::vector<Mattach_correct>& records) {
  DumpCorrections(records);
  if (Items.empty()) return;
  PassIndex index(Items);
  index.IndexPositions();
  const auto find_attached = [&](std::int32_t id) { return index.FindAttachedTo(id); };
  for (const Mattach_correct& r : records) {
    if (r.Attach) {
      M5cp* p = index.FindById(r.OldId);
      M5cp* end = nullptr;
      walkChain(r.NewId, find_attached, [&](M5cp* q) {
        end = q;
        return true;
      });
      // A record naming no point has nothing to attach.
      if (!p) continue;
      p->AttachTo(end ? end->Id : r.NewId);
      index.Touch(p);
      continue;
    }
    M5cp* p = r.Hook ? index.FindHookTargeting(r.OldId) : index.FindTargeting(r.OldId);
    if (p) {
      p->Retarget(r);
      index.Touch(p);
    }
    if (r.Hook && p) {
      M5cp* m = nullptr;
      walkChain(p->Id, find_attached, [&](M5cp* q) {
        if (q->HasHookParamBits()) return true;
        m = q;
        return false;
      });
      if (m) {
        m->SetTargetId(r.OldId);
        index.Touch(m);
      }
      walkChain(p->Id, find_attached, [&](M5cp* q) {
        q->FlipHookParamOnce();
        index.Touch(q);
        return true;
      });
    }
  }
}

void M5cplist::AttachAll() {
  stepMain();
  if (Items.empty()) return;
  ResetSubProgress();
  // Unattached points grouped by exact position, each group in list order. NaN equals
  // nothing, so such a point stays alone.
  std::unordered_map<PosKey, std::vector<std::int32_t>, PosKeyHash> groups;
  std::vector<const std::vector<std::int32_t>*> group_of(Items.size(), nullptr);
  for (std::size_t i = 0; i < Items.size(); ++i) {
    const M5cp& p = *Items[i];
    if (p.IsAttached()) continue;
    const Vec3 at = p.Pos(0);
    if (at.x != at.x || at.y != at.y || at.z != at.z) continue;
    groups[PosKey{at.x, at.y, at.z}].push_back(static_cast<std::int32_t>(i));
  }
  for (const auto& [key, members] : groups)
    for (std::int32_t i : members) group_of[static_cast<std::size_t>(i)] = &members;
  for (std::size_t i = 0; i < Items.size(); ++i) {
    M5cp* p = Items[i];
    if (p->IsAttached()) continue;
    // The first unattached point of a group is met before the others, which all follow it.
    if (const auto* members = group_of[i]; members && members->front() == static_cast<std::int32_t>(i)) {
      std::int32_t target = p->Id;
      for (std::size_t k = 1; k < members->size(); ++k) {
        M5cp* q = Items[static_cast<std::size_t>((*members)[k])];
        q->AttachTo(target);
        target = q->Id;
      }
    }
    StepSubProgress(Count());
  }
}

void M5cplist::DetachAll() {
  if (Items.empty()) return;
  stepMain();
  ResetSubProgress();
  // Every position is taken before any point changes, as freezing one by one would give.
  PositionResolver resolver;
  std::vector<Vec3> at;
  at.reserve(Items.size());
  for (const M5cp* p : Items) at.push_back(resolver.Pos(*p, 0));
  for (std::size_t i = 0; i < Items.size(); ++i) {
    Items[i]->X = at[i].x;
    Items[i]->Y = at[i].y;
    Items[i]->Z = at[i].z;
    StepSubProgress(Count());
  }
  stepMain();
  ResetSubProgress();
  for (M5cp* p : Items) {
    p->ClearAttachment();
    StepSubProgress(Count());
  }
}

std::string M5cplist::ComputeBounds() {
  stepMain();
  Vec3 lo, hi;
  if (!Items.empty()) {
    ResetSubProgress();
    PositionResolver resolver;
    for (const M5cp* p : Items) {
      const Vec3 v = resolver.Pos(*p, 0);
      if (v.x > hi.x) hi.x = v.x;
      if (v.x < lo.x) lo.x = v.x;
      if (v.y > hi.y) hi.y = v.y;
      if (v.y < lo.y) lo.y = v.y;
      if (v.z > hi.z) hi.z = v.z;
      if (v.z < lo.z) lo.z = v.z;
      StepSubProgress(Count());
    }
  }
  MinX = lo.x, MinY = lo.y, MinZ = lo.z;
  MaxX = hi.x, MaxY = hi.y, MaxZ = hi.z;
  return BoundsCornersText(lo, hi);
}

std::string BoundsCornersText(const Vec3& m, const Vec3& M) {
  const double corners[8][3] = {{M.x, M.y, M.z}, {M.x, M.y, m.z}, {M.x, m.y, m.z},
                                {M.x, m.y, M.z}, {m.x, M.y, M.z}, {m.x, M.y, m.z},
                                {m.x, m.y, m.z}, {m.x, m.y, M.z}};
  std::string text;
  for (const auto& c : corners) {
    for (double v : c) {
      if (!text.empty()) text += ' ';
      text += FloatToStr(v);
    }
  }
  return text;
}

void M5cplist::DumpToFile(const std::string& name) const {
  if (!Shared().DebugDump) return;
  LineList lines{"num_of_cp=" + IntToStr(Count())};
  for (const M5cp* p : Items) lines.push_back(p->DumpLine(false));
  WriteLinesFile(name, lines);
}

void M5cplist::DumpCorrections(const std::vector<Mattach_correct>& records) {
  if (!Shared().DebugDump || records.empty()) return;
  const auto field = [](std::string text) {
    text.append(6, ' ');
    text.resize(12);
    return text;
  };
  LineList lines;
  for (const Mattach_correct& r : records) {
    std::string line = field("newid=" + IntToStr(r.NewId)) + field("oldid=" + IntToStr(r.OldId));
    if (r.Hook) line += "hook";
    lines.push_back(std::move(line));
  }
  WriteLinesFile("at correct.txt", lines);
}

}  // namespace zevrin
