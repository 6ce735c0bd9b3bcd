#include "mesh/AM5_cplist.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "mesh/PositionResolver.h"
#include "util/FlatHash.h"

namespace zevrin {
namespace {

// Points (or list positions) already found on one chain walk: a few in a vector, many in a
// hash set.
template <class T>
class Visited {
 public:
  bool insert(T p) {
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
  std::vector<T> few_;
  std::unordered_set<T> set_;
};

// Walks the chain of attachments hanging off `id`, calling visit(point) for each point found
// until it returns false, the chain ends, or the chain comes back to a point already found.
template <class Find, class Visit>
void walkChain(std::int32_t id, Find&& find_attached_to, Visit&& visit) {
  Visited<const M5cp*> seen;
  for (M5cp* q = find_attached_to(id); q && seen.insert(q); q = find_attached_to(q->Id)) {
    if (!visit(q)) return;
  }
}

// The same walk by list positions: find_attached_to gives a position or -1.
template <class Find, class Visit>
void walkChainAt(const std::vector<M5cp*>& items, std::int32_t id, Find&& find_attached_to,
                 Visit&& visit) {
  Visited<std::int32_t> seen;
  for (std::int32_t q = find_attached_to(id); q >= 0 && seen.insert(q);
       q = find_attached_to(items[static_cast<std::size_t>(q)]->Id)) {
    if (!visit(q)) return;
  }
}

// The first or last list position of each id: an array over the range of the ids when they
// are dense (as the ids of nearly every file are), a hash table otherwise.
class IdPositions {
 public:
  enum Which { kFirst, kLast };
  IdPositions(const std::vector<M5cp*>& items, Which which) {
    if (items.empty()) return;
    // One pass over the points; the ids are read again from a compact copy.
    std::vector<std::int32_t> ids(items.size());
    std::int64_t lo = items.front()->Id;
    std::int64_t hi = lo;
    for (std::size_t i = 0; i < items.size(); ++i) {
      const std::int32_t id = items[i]->Id;
      ids[i] = id;
      lo = std::min<std::int64_t>(lo, id);
      hi = std::max<std::int64_t>(hi, id);
    }
    const auto range = static_cast<std::uint64_t>(hi - lo) + 1;
    if (range <= 2 * static_cast<std::uint64_t>(items.size()) + 64) {
      dense_ = true;
      base_ = lo;
      positions_.assign(static_cast<std::size_t>(range), -1);
      for (std::size_t i = 0; i < ids.size(); ++i) {
        std::int32_t& slot = positions_[static_cast<std::size_t>(ids[i] - lo)];
        if (which == kLast || slot < 0) slot = static_cast<std::int32_t>(i);
      }
      return;
    }
    hashed_ = FlatHash<std::int32_t>(items.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
      const auto at = static_cast<std::int32_t>(i);
      if (which == kLast) {
        hashed_[IdKey(ids[i])] = at;
      } else {
        hashed_.TryEmplace(IdKey(ids[i]), at);
      }
    }
  }

  // The position, or -1 when no item has the id.
  std::int32_t Find(std::int32_t id) const {
    if (dense_) {
      const std::int64_t k = static_cast<std::int64_t>(id) - base_;
      if (k < 0 || static_cast<std::uint64_t>(k) >= positions_.size()) return -1;
      return positions_[static_cast<std::size_t>(k)];
    }
    const std::int32_t* at = hashed_.Find(IdKey(id));
    return at ? *at : -1;
  }

 private:
  bool dense_ = false;
  std::int64_t base_ = 0;
  std::vector<std::int32_t> positions_;
  FlatHash<std::int32_t> hashed_;
};

// The first list position whose point has a given key now, while keys change during a pass.
// Built from the present keys as lists in list order; a point whose key changes is filed
// again (File) in a small heap of its new key. Entries that no longer match are dropped when
// met, so a point is found exactly when the first scan of the list would find it.
class KeyedFirst {
 public:
  // key_of(point, key) gives the point's key and whether the point is filed at all.
  template <class KeyOf>
  KeyedFirst(const std::vector<M5cp*>& items, KeyOf&& key_of) : next_(items.size(), -1) {
    std::vector<std::int32_t> keys(items.size());
    std::vector<std::uint8_t> filed(items.size(), 0);
    std::int64_t lo = 0, hi = -1;
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (!key_of(*items[i], keys[i])) continue;
      filed[i] = 1;
      if (hi < lo) lo = hi = keys[i];
      lo = std::min<std::int64_t>(lo, keys[i]);
      hi = std::max<std::int64_t>(hi, keys[i]);
    }
    // Keys are ids: an array over their range when they are dense.
    if (hi >= lo &&
        static_cast<std::uint64_t>(hi - lo) < 2 * static_cast<std::uint64_t>(items.size()) + 64) {
      base_ = lo;
      dense_.assign(static_cast<std::size_t>(hi - lo) + 1, Ends{});
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (!filed[i]) continue;
      const auto at = static_cast<std::int32_t>(i);
      Ends* ends = nullptr;
      if (!dense_.empty()) {
        ends = &dense_[static_cast<std::size_t>(keys[i] - base_)];
        if (ends->head < 0) {
          *ends = Ends{at, at};
          continue;
        }
      } else {
        const auto [slot, fresh] = hashed_.TryEmplace(IdKey(keys[i]), Ends{at, at});
        if (fresh) continue;
        ends = slot;
      }
      next_[static_cast<std::size_t>(ends->tail)] = at;
      ends->tail = at;
    }
  }

  // valid(position) tells whether the point there still has `key`.
  template <class Valid>
  std::int32_t First(std::int32_t key, Valid&& valid) {
    std::int32_t best = -1;
    if (Ends* ends = find(key)) {
      while (ends->head >= 0 && !valid(ends->head))
        ends->head = next_[static_cast<std::size_t>(ends->head)];
      best = ends->head;
    }
    if (const auto it = filed_.find(key); it != filed_.end()) {
      Heap& heap = it->second;
      while (!heap.empty() && !valid(heap.front())) {
        std::pop_heap(heap.begin(), heap.end(), std::greater<>());
        heap.pop_back();
      }
      if (!heap.empty() && (best < 0 || heap.front() < best)) best = heap.front();
    }
    return best;
  }

  void File(std::int32_t key, std::int32_t at) {
    Heap& heap = filed_[key];
    heap.push_back(at);
    std::push_heap(heap.begin(), heap.end(), std::greater<>());
  }

 private:
  struct Ends {
    std::int32_t head = -1;
    std::int32_t tail = -1;
  };
  using Heap = std::vector<std::int32_t>;  // min-heap of positions

  Ends* find(std::int32_t key) {
    if (dense_.empty()) return hashed_.Find(IdKey(key));
    const std::int64_t k = static_cast<std::int64_t>(key) - base_;
    if (k < 0 || static_cast<std::uint64_t>(k) >= dense_.size()) return nullptr;
    return &dense_[static_cast<std::size_t>(k)];
  }

  std::vector<std::int32_t> next_;  // the next position with the same key, in list order
  std::int64_t base_ = 0;
  std::vector<Ends> dense_;  // by key - base_, when the keys are dense
  FlatHash<Ends> hashed_;    // otherwise
  std::unordered_map<std::int32_t, Heap> filed_;
};

// Indexes for one pass of corrections, each built when first asked: first position by id,
// and first position by attach target, by raw target id and by raw target id among points
// with a hook parameter. Ids do not change during the pass; the other keys do: Touch(i) after
// every change of the point at i.
class PassIndex {
 public:
  explicit PassIndex(const std::vector<M5cp*>& items) : items_(items) {}

  std::int32_t FindById(std::int32_t id) {
    if (!by_id_) by_id_.emplace(items_, IdPositions::kFirst);
    return by_id_->Find(id);
  }
  std::int32_t FindAttachedTo(std::int32_t id) {
    if (!attached_to_)
      attached_to_.emplace(items_, [](const M5cp& p, std::int32_t& k) {
        k = p.AttachTargetId();
        return true;
      });
    return attached_to_->First(id, [&](std::int32_t i) { return at(i).AttachTargetId() == id; });
  }
  std::int32_t FindTargeting(std::int32_t id) {
    if (!targeting_)
      targeting_.emplace(items_, [](const M5cp& p, std::int32_t& k) {
        k = p.TargetId;
        return true;
      });
    return targeting_->First(id, [&](std::int32_t i) { return at(i).TargetId == id; });
  }
  std::int32_t FindHookTargeting(std::int32_t id) {
    if (!hook_targeting_)
      hook_targeting_.emplace(items_, [](const M5cp& p, std::int32_t& k) {
        k = p.TargetId;
        return p.HookParam != 0;
      });
    return hook_targeting_->First(
        id, [&](std::int32_t i) { return at(i).TargetId == id && at(i).HookParam != 0; });
  }

  // Files the point at i under its present keys (an index not built yet reads them anyway).
  void Touch(std::int32_t i) {
    const M5cp& p = at(i);
    if (attached_to_) attached_to_->File(p.AttachTargetId(), i);
    if (targeting_) targeting_->File(p.TargetId, i);
    if (hook_targeting_ && p.HookParam != 0) hook_targeting_->File(p.TargetId, i);
  }

 private:
  const M5cp& at(std::int32_t i) const { return *items_[static_cast<std::size_t>(i)]; }

  const std::vector<M5cp*>& items_;
  std::optional<IdPositions> by_id_;
  std::optional<KeyedFirst> attached_to_;
  std::optional<KeyedFirst> targeting_;
  std::optional<KeyedFirst> hook_targeting_;
};

// A point to be grouped by its exact position: the position's hash and the list position.
struct HashedPoint {
  std::uint64_t hash;
  std::int32_t at;
};

// Groups the points of equal position: group_of[at] becomes the list position of the group's
// first point in the order given, which is list order. `position_of(at)` gives a listed
// point's position. The points are first spread by the high bits of their hashes into parts
// small enough for a table that stays in the cache, each part keeping the order and each
// point taking its position along; then each part is grouped alone. A table over all points
// at once, or a look at the points' positions in list order from within a part, would wait
// for memory at nearly every point.
template <class PositionOf>
void GroupEqualPositions(const std::vector<HashedPoint>& points, PositionOf position_of,
                         std::vector<std::uint32_t>& group_of) {
  if (points.empty()) return;
  // Parts of up to 16384 points: a table of 32768 slots, a megabyte.
  int bits = 0;
  while (bits < 16 && (points.size() >> bits) > 16384) ++bits;
  const int shift = 64 - bits;
  const auto part_of = [&](std::uint64_t hash) {
    return bits == 0 ? std::size_t{0} : static_cast<std::size_t>(hash >> shift);
  };
  std::vector<std::size_t> begin((std::size_t{1} << bits) + 1, 0);
  for (const HashedPoint& p : points) ++begin[part_of(p.hash) + 1];
  for (std::size_t k = 1; k < begin.size(); ++k) begin[k] += begin[k - 1];
  struct Placed {
    std::uint64_t hash;
    Vec3 v;
    std::int32_t at;
  };
  std::vector<Placed> parted(points.size());
  {
    std::vector<std::size_t> fill(begin.begin(), begin.end() - 1);
    for (const HashedPoint& p : points)
      parted[fill[part_of(p.hash)]++] = Placed{p.hash, position_of(p.at), p.at};
  }
  // Per part: the position and the first member of each group, by hash.
  struct Slot {
    std::uint64_t hash = 0;
    Vec3 v;
    std::int32_t first = -1;
  };
  std::vector<Slot> table;
  for (std::size_t k = 0; k + 1 < begin.size(); ++k) {
    const std::size_t size = begin[k + 1] - begin[k];
    if (size == 0) continue;
    std::size_t slots = 16;
    while (slots < 2 * size) slots *= 2;
    table.assign(slots, Slot{});
    const std::size_t mask = slots - 1;
    for (std::size_t e = begin[k]; e < begin[k + 1]; ++e) {
      const Placed& p = parted[e];
      for (std::size_t s = p.hash & mask;; s = (s + 1) & mask) {
        Slot& slot = table[s];
        const bool fresh = slot.first < 0;
        if (fresh) slot = {p.hash, p.v, p.at};
        const bool same =
            slot.hash == p.hash && slot.v.x == p.v.x && slot.v.y == p.v.y && slot.v.z == p.v.z;
        if (!fresh && !same) continue;
        group_of[static_cast<std::size_t>(p.at)] = static_cast<std::uint32_t>(slot.first);
        break;
      }
    }
  }
}

}  // namespace

M5cplist::M5cplist(const std::vector<std::unique_ptr<M5spline>>& splines) {
  Progress none;
  build(splines, none);
}

M5cplist::M5cplist(const std::vector<std::unique_ptr<M5spline>>& splines, Progress& progress) {
  build(splines, progress);
}

void M5cplist::build(const std::vector<std::unique_ptr<M5spline>>& splines, Progress& progress) {
  if (splines.empty()) return;
  progress.ResetSub();
  std::size_t expected = 0;
  for (const auto& s : splines) expected += static_cast<std::size_t>(std::max(s->NumCps, 0));
  Items.reserve(expected);
  const auto total = static_cast<std::int32_t>(splines.size());
  for (const auto& s : splines) {
    if (s->NumCps > 0 && s->FirstCp) s->FirstCp->AppendChainTo(Items);
    progress.StepSub(total);
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
  walkChain(
      id, [this](std::int32_t k) { return FindAttachedTo(k); },
      [&](M5cp* q) {
        end = q;
        return true;
      });
  return end;
}

M5cp* M5cplist::FindChainNonHook(std::int32_t id) const {
  M5cp* found = nullptr;
  walkChain(
      id, [this](std::int32_t k) { return FindAttachedTo(k); },
      [&](M5cp* q) {
        if (q->HasHookParamBits()) return true;
        found = q;
        return false;
      });
  return found;
}

void M5cplist::FlipHookParamsOnChain(std::int32_t id) {
  walkChain(
      id, [this](std::int32_t k) { return FindAttachedTo(k); },
      [](M5cp* q) {
        q->FlipHookParamOnce();
        return true;
      });
}

M5cplist::M5cplist(const std::vector<std::unique_ptr<M5spline>>& splines, std::vector<M5cp*> points,
                   Progress& progress) {
  if (splines.empty()) return;
  // The progress steps as the walk over the chains steps it.
  progress.ResetSub();
  const auto total = static_cast<std::int32_t>(splines.size());
  for (std::size_t k = 0; k < splines.size(); ++k) progress.StepSub(total);
  Items = std::move(points);
}

std::int32_t M5cplist::Renumber() {
  if (Items.empty()) return 0;
  // The new id of an old id is one past the position of the last point that had it.
  const IdPositions last(Items, IdPositions::kLast);
  for (M5cp* p : Items) {
    if (const std::int32_t at = last.Find(p->TargetId); at >= 0) {
      p->TargetId = at + 1;
    } else if (p->Attached == 1) {
      p->TargetId = 0;  // names no point now, and none after
    } else {
      // Unused by an unattached point, but kept as the in-place renaming leaves it.
      p->TargetId = static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(p->TargetId));
    }
    p->Id = last.Find(p->Id) + 1;
  }
  return Count();
}

void M5cplist::SnapToMirrorPlane(double tolerance) {
  for (M5cp* p : Items) p->SnapX(tolerance);
}

void M5cplist::ResolveAttachments(StepContext& step) {
  step.Bars.StepMain();
  bool broken = false;  // an attachment names no point, or a ring was broken
  if (!Items.empty()) {
    step.Bars.ResetSub();
    const IdPositions first(Items, IdPositions::kFirst);
    // The list position of each attached point's target, or -1; -2 for a point not attached.
    std::vector<std::int32_t> target(Items.size(), -2);
    for (std::size_t i = 0; i < Items.size(); ++i) {
      M5cp* p = Items[i];
      if (p->Attached == 1) {
        const std::int32_t t = first.Find(p->TargetId);
        p->Target = t < 0 ? nullptr : Items[static_cast<std::size_t>(t)];
        target[i] = t;
        broken = broken || t < 0;
      }
      step.Bars.StepSub(Count());
    }
    // Break every ring of targets: its points keep their own coordinates and are reported
    // with the attachments that name no point.
    std::vector<std::uint8_t> state(Items.size(), 0);  // 1: on the current walk, 2: done
    std::vector<std::int32_t> walk;
    for (std::size_t start = 0; start < Items.size(); ++start) {
      if (target[start] < 0) continue;  // not attached, or to nothing: no ring passes here
      walk.clear();
      auto q = static_cast<std::int32_t>(start);
      while (q >= 0 && state[static_cast<std::size_t>(q)] == 0) {
        state[static_cast<std::size_t>(q)] = 1;
        walk.push_back(q);
        q = target[static_cast<std::size_t>(q)];
      }
      if (q >= 0 && state[static_cast<std::size_t>(q)] == 1) {
        // q is on the walk: the ring runs from q to the walk's end.
        broken = true;
        std::int32_t r = q;
        do {
          const std::int32_t next = target[static_cast<std::size_t>(r)];
          Items[static_cast<std::size_t>(r)]->Target = nullptr;
          target[static_cast<std::size_t>(r)] = -1;
          r = next;
        } while (r != q);
      }
      for (std::int32_t w : walk) state[static_cast<std::size_t>(w)] = 2;
    }
  }
  // Without a broken attachment the report would be a header alone, which is made only for
  // the diagnostic dumps.
  if (broken || step.DebugDump) ReportAttachErrors(step);
}

void M5cplist::ReportAttachErrors(StepContext& step) {
  AttachReport report;
  report.PointCount = Count();
  std::optional<IdPositions> ids;  // only when some point has no target
  for (const M5cp* p : Items) {
    if (!p->IsAttached() || p->Target) continue;
    if (!ids) ids.emplace(Items, IdPositions::kFirst);
    // A target that exists was taken away because the point lay on a ring.
    const AttachProblemKind kind =
        ids->Find(p->TargetId) >= 0 ? AttachProblemKind::Ring : AttachProblemKind::NoSuchPoint;
    report.Problems.push_back({p->Id, p->TargetId, kind});
  }
  if (!step.DebugDump && report.Problems.empty()) return;
  // A later resolution's report replaces an earlier one, as a file written again would.
  step.Report.AttachErrors = std::move(report);
}

namespace {

// The correction records applied in order, through `index` (see ApplyCorrections).
void applyCorrections(std::vector<M5cp*>& items, const std::vector<Mattach_correct>& records,
                      PassIndex& index) {
  const auto find_attached = [&](std::int32_t id) { return index.FindAttachedTo(id); };
  const auto item = [&](std::int32_t i) { return items[static_cast<std::size_t>(i)]; };
  // Whether the point at `at`, if attached to `target_id`, would take its position from
  // itself: the targets followed from the point that id names come back to it. A walk that
  // runs into a ring not passing through the point ends there. No walk can come back to a
  // point nothing is attached to, which is nearly every time: then nothing is walked.
  const auto closes_ring = [&](std::int32_t at, std::int32_t target_id) {
    const std::int32_t first = index.FindById(target_id);
    if (first == at) return true;
    if (first < 0 || index.FindAttachedTo(item(at)->Id) < 0) return false;
    Visited<std::int32_t> seen;
    for (std::int32_t q = first; q >= 0; q = index.FindById(item(q)->TargetId)) {
      if (q == at) return true;
      if (item(q)->Attached != 1 || !seen.insert(q)) return false;
    }
    return false;
  };
  for (const Mattach_correct& r : records) {
    if (r.Attach) {
      const std::int32_t p = index.FindById(r.OldId);
      std::int32_t end = -1;
      bool on_chain = false;  // p already takes its position through NewId
      walkChainAt(items, r.NewId, find_attached, [&](std::int32_t q) {
        end = q;
        on_chain = on_chain || q == p;
        return true;
      });
      // A record naming no point has nothing to attach. A point already hanging on NewId's
      // chain is welded as the record wants; attaching it to the chain's end would make it
      // its own target or close a ring, as would any attachment that leads back to it.
      if (p < 0 || on_chain) continue;
      const std::int32_t to = end >= 0 ? item(end)->Id : r.NewId;
      if (closes_ring(p, to)) continue;
      item(p)->AttachTo(to);
      index.Touch(p);
      continue;
    }
    const std::int32_t p = r.Hook ? index.FindHookTargeting(r.OldId) : index.FindTargeting(r.OldId);
    if (p < 0) continue;
    // A retarget that would make the point its own target or close a ring changes nothing,
    // and with it the rest of the record. (A point not attached has its target never
    // followed.)
    if (item(p)->Attached == 1 && closes_ring(p, r.NewId)) continue;
    const double was_param = item(p)->HookParam;
    const bool was_flipped = item(p)->HookParamFlipped;
    item(p)->Retarget(r);
    index.Touch(p);
    if (!r.Hook) continue;
    std::int32_t m = -1;
    walkChainAt(items, item(p)->Id, find_attached, [&](std::int32_t q) {
      if (item(q)->HasHookParamBits()) return true;
      m = q;
      return false;
    });
    if (m >= 0) {
      if (item(m)->Attached == 1 && closes_ring(m, r.OldId)) {
        // The re-pointing of the chain would close a ring: the record changes nothing.
        item(p)->TargetId = r.OldId;
        item(p)->HookParam = was_param;
        item(p)->HookParamFlipped = was_flipped;
        index.Touch(p);
        continue;
      }
      item(m)->SetTargetId(r.OldId);
      index.Touch(m);
    }
    walkChainAt(items, item(p)->Id, find_attached, [&](std::int32_t q) {
      item(q)->FlipHookParamOnce();
      index.Touch(q);
      return true;
    });
  }
}

// A mirrored copy, not hung on a hook, attached to an id naming no point while the id less
// the offset names one (see ShareUncopiedTargets); `find` gives the first position of an id.
template <class Find>
void shareUncopiedTargets(std::vector<M5cp*>& items, std::int32_t offset, Find&& find) {
  const auto item = [&](std::int32_t i) { return items[static_cast<std::size_t>(i)]; };
  for (std::size_t i = 0; i < items.size(); ++i) {
    M5cp* p = items[i];
    if (!p->Mirrored || p->Attached != 1 || p->HookParam != 0) continue;
    if (find(p->TargetId) >= 0) continue;
    const std::int64_t source = static_cast<std::int64_t>(p->TargetId) - offset;
    if (source < INT32_MIN || source > INT32_MAX) continue;
    const std::int32_t t = find(static_cast<std::int32_t>(source));
    if (t < 0) continue;
    // The point would take its position from itself if the targets from t led back to it.
    Visited<std::int32_t> seen;
    bool ring = false;
    for (std::int32_t q = t; q >= 0 && !ring; q = find(item(q)->TargetId)) {
      ring = q == static_cast<std::int32_t>(i);
      if (item(q)->Attached != 1 || !seen.insert(q)) break;
    }
    if (!ring) p->TargetId = static_cast<std::int32_t>(source);
  }
}

}  // namespace

void M5cplist::ApplyCorrections(const std::vector<Mattach_correct>& records, StepContext& step) {
  DumpCorrections(records, step);
  if (Items.empty()) return;
  PassIndex index(Items);
  applyCorrections(Items, records, index);
}

void M5cplist::ApplyHalvejoinCorrections(const std::vector<Mattach_correct>& records,
                                         std::int32_t offset, StepContext& step) {
  DumpCorrections(records, step);
  if (Items.empty()) return;
  // One index of the ids for both steps: the ids do not change in between.
  PassIndex index(Items);
  applyCorrections(Items, records, index);
  shareUncopiedTargets(Items, offset, [&](std::int32_t id) { return index.FindById(id); });
}

void M5cplist::ShareUncopiedTargets(std::int32_t offset) {
  if (Items.empty()) return;
  const IdPositions first(Items, IdPositions::kFirst);
  shareUncopiedTargets(Items, offset, [&](std::int32_t id) { return first.Find(id); });
}

std::uint64_t PositionHash(const Vec3& v) {
  const auto bits = [](double d) { return std::bit_cast<std::uint64_t>(d == 0 ? 0.0 : d); };
  return MixBits(bits(v.x) ^ MixBits(bits(v.y) ^ MixBits(bits(v.z))));
}

void M5cplist::AttachAll(Progress& progress) {
  progress.StepMain();
  if (Items.empty()) return;
  progress.ResetSub();
  // Unattached points grouped by exact position. NaN equals nothing, so such a point stays
  // alone.
  const std::size_t n = Items.size();
  std::vector<std::uint32_t> group_of(n, kNoGroup);
  {
    const auto position_of = [&](std::int32_t i) {
      const M5cp& p = *Items[static_cast<std::size_t>(i)];
      return (p.Attached == 0 || !p.Target) ? Vec3{p.X, p.Y, p.Z} : p.Pos(0);
    };
    std::vector<HashedPoint> points;
    points.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
      if (Items[i]->IsAttached()) continue;
      const Vec3 v = position_of(static_cast<std::int32_t>(i));
      if (v.x != v.x || v.y != v.y || v.z != v.z) continue;
      points.push_back({PositionHash(v), static_cast<std::int32_t>(i)});
    }
    GroupEqualPositions(points, position_of, group_of);
  }
  AttachInGroups(group_of, n, progress);
}

void M5cplist::AttachInGroups(const std::vector<std::uint32_t>& group_of, std::size_t groups,
                              Progress& progress) {
  // The id of each group's latest point; the points themselves lie anywhere in the list, and
  // going back to them would wait for memory at nearly every one.
  std::vector<std::optional<std::int32_t>> last_id(groups);
  for (std::size_t i = 0; i < Items.size(); ++i) {
    M5cp* p = Items[i];
    if (p->IsAttached()) continue;
    if (const std::uint32_t g = group_of[i]; g != kNoGroup) {
      std::optional<std::int32_t>& last = last_id[g];
      const bool later = last.has_value();
      if (later) p->AttachTo(*last);
      last = p->Id;
      if (later) continue;
    }
    progress.StepSub(Count());
  }
}

void M5cplist::DetachAll(Progress& progress) {
  if (Items.empty()) return;
  progress.StepMain();
  progress.ResetSub();
  // Every position is taken before any point changes, as freezing one by one would give.
  PositionResolver resolver;
  std::vector<Vec3> at;
  at.reserve(Items.size());
  for (const M5cp* p : Items) at.push_back(resolver.Pos(*p, 0));
  // One pass gives each point its place and drops its attachment: a point's position no
  // longer depends on any other point here, so the order of the two changes is not seen.
  for (std::size_t i = 0; i < Items.size(); ++i) {
    M5cp* p = Items[i];
    progress.StepSub(Count());
    // A tag file's hook is an attachment that the modeller needs to know the surface by; it
    // keeps its target, where it lies already.
    if (p->TagRecord && p->HasHookParamBits() && p->IsAttached()) continue;
    p->X = at[i].x;
    p->Y = at[i].y;
    p->Z = at[i].z;
    p->ClearAttachment();
  }
  // The lower bar still runs its second round, as it did when the attachments went apart.
  progress.StepMain();
  progress.ResetSub();
  for (std::size_t i = 0; i < Items.size(); ++i) progress.StepSub(Count());
}

std::string M5cplist::ComputeBounds(Progress& progress) {
  progress.StepMain();
  Vec3 lo, hi;
  if (!Items.empty()) {
    progress.ResetSub();
    PositionResolver resolver;
    for (const M5cp* p : Items) {
      const Vec3 v = resolver.Pos(*p, 0);
      if (v.x > hi.x) hi.x = v.x;
      if (v.x < lo.x) lo.x = v.x;
      if (v.y > hi.y) hi.y = v.y;
      if (v.y < lo.y) lo.y = v.y;
      if (v.z > hi.z) hi.z = v.z;
      if (v.z < lo.z) lo.z = v.z;
      progress.StepSub(Count());
    }
  }
  MinX = lo.x, MinY = lo.y, MinZ = lo.z;
  MaxX = hi.x, MaxY = hi.y, MaxZ = hi.z;
  return BoundsCornersText(lo, hi);
}

std::string BoundsCornersText(const Vec3& m, const Vec3& M) {
  const double corners[8][3] = {{M.x, M.y, M.z}, {M.x, M.y, m.z}, {M.x, m.y, m.z}, {M.x, m.y, M.z},
                                {m.x, M.y, M.z}, {m.x, M.y, m.z}, {m.x, m.y, m.z}, {m.x, m.y, M.z}};
  std::string text;
  for (const auto& c : corners) {
    for (double v : c) {
      if (!text.empty()) text += ' ';
      text += FloatToStr(v);
    }
  }
  return text;
}

void M5cplist::DumpToFile(const std::string& name, StepContext& step) const {
  if (!step.DebugDump) return;
  LineList lines{"num_of_cp=" + IntToStr(Count())};
  for (const M5cp* p : Items) lines.push_back(p->DumpLine(false));
  step.Report.Dumps.push_back({name, std::move(lines)});
}

void M5cplist::DumpCorrections(const std::vector<Mattach_correct>& records, StepContext& step) {
  if (!step.DebugDump || records.empty()) return;
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
  step.Report.Dumps.push_back({"at correct.txt", std::move(lines)});
}

}  // namespace zevrin
