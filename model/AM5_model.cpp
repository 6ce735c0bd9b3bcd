#include "model/AM5_model.h"

#include <algorithm>
#include <charconv>
#include <memory>

#include "import/M_poly.h"
#include "mesh/AM5_cplist.h"
#include "mesh/AM5_mesh.h"
#include "model/AM5_group.h"
#include "model/AM5_segment.h"
#include "util/FlatHash.h"

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
  std::int64_t Find(std::int32_t id) override {
    for (std::size_t i = mesh_.Splines.size(); i-- > 0;)
      if (mesh_.Splines[i]->HasEndId(id)) return static_cast<std::int64_t>(i);
    return -1;
  }
  void Joined(std::size_t, std::size_t) override {}

 private:
  M5mesh& mesh_;
};

// A number per distinct id, handed out from 0 as ids are first met: an array over the range of
// the ids expected when they are dense (as the ids of nearly every file are), with a hash table
// for the others. Looking up ids in their order in the file then walks the array in order.
class IdSlots {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  // `lo`..`hi`: the range of the ids expected, `count` how many there are.
  IdSlots(std::int64_t lo, std::int64_t hi, std::size_t count) {
    if (hi >= lo &&
        static_cast<std::uint64_t>(hi - lo) < 2 * static_cast<std::uint64_t>(count) + 64) {
      base_ = lo;
      dense_.assign(static_cast<std::size_t>(hi - lo) + 1, kNone);
    }
  }
  std::uint32_t Find(std::int32_t id) const {
    if (const std::uint32_t* d = denseSlot(id)) return *d;
    const std::uint32_t* h = others_.Find(IdKey(id));
    return h ? *h : kNone;
  }
  // The id's number, handed out now if it has none; and whether it is new.
  std::pair<std::uint32_t, bool> Add(std::int32_t id) {
    if (std::uint32_t* d = denseSlot(id)) {
      if (*d != kNone) return {*d, false};
      *d = next_++;
      return {*d, true};
    }
    const auto [slot, fresh] = others_.TryEmplace(IdKey(id), next_);
    if (fresh) ++next_;
    return {*slot, fresh};
  }

 private:
  std::uint32_t* denseSlot(std::int32_t id) const {
    const std::int64_t k = static_cast<std::int64_t>(id) - base_;
    if (dense_.empty() || k < 0 || static_cast<std::uint64_t>(k) >= dense_.size()) return nullptr;
    return const_cast<std::uint32_t*>(&dense_[static_cast<std::size_t>(k)]);
  }
  std::int64_t base_ = 0;
  std::vector<std::uint32_t> dense_;
  FlatHash<std::uint32_t> others_;
  std::uint32_t next_ = 0;
};

template <class Ids>
IdSlots slotsFor(const Ids& ids) {
  std::int64_t lo = 0, hi = -1;
  for (const std::int32_t id : ids) {
    if (hi < lo) lo = hi = id;
    lo = std::min<std::int64_t>(lo, id);
    hi = std::max<std::int64_t>(hi, id);
  }
  return IdSlots(lo, hi, ids.size());
}

// The same answers from an index of end ids. A spline that stops ending on an id never ends
// on it again (that point is inside it for good; another point with the same id that becomes
// an end files the spline anew), so an entry that no longer answers is dropped for good when
// met. Per id: the splines that ended there when the index was made, in mesh order, taken from
// the back; the spline last filed there again after a join; and, only where two splines at
// once end on one id (a file repeating ids), a heap of the others. Flat arrays throughout: a
// mesh of millions of two-point splines makes no allocation per spline.
class IndexedEnds : public SplineEndLookup {
 public:
  explicit IndexedEnds(M5mesh& mesh)
      : splines_(mesh.Splines), slots_(endSlots(mesh.Splines, ends_)) {
    // ends_ holds each spline's two end ids (or none for an empty one), read in one pass over
    // the splines: every further pass works on these arrays, not on the points.
    std::vector<std::uint32_t> bucket_of_end(ends_.size());
    for (std::size_t e = 0; e < ends_.size(); ++e) {
      const std::uint32_t b = bucket(ends_[e].id);
      ++buckets_[b].top;
      bucket_of_end[e] = b;
    }
    std::uint32_t at = 0;
    for (Bucket& k : buckets_) {
      k.begin = at;
      at += k.top;
      k.top = k.begin;
    }
    entries_.resize(at);
    for (std::size_t e = 0; e < ends_.size(); ++e)
      entries_[buckets_[bucket_of_end[e]].top++] = ends_[e].spline;
    ends_.clear();
    ends_.shrink_to_fit();
  }

  std::int64_t Find(std::int32_t id) override {
    const std::uint32_t slot = slots_.Find(id);
    if (slot == IdSlots::kNone) return -1;
    Bucket& k = buckets_[slot];
    std::int64_t best = -1;
    while (k.top > k.begin) {
      const std::uint32_t at = entries_[k.top - 1];
      if (answers(at, id)) {
        best = at;
        break;
      }
      --k.top;
    }
    if (k.refiled >= 0) {
      if (answers(static_cast<std::uint32_t>(k.refiled), id)) {
        best = std::max<std::int64_t>(best, k.refiled);
      } else {
        k.refiled = -1;
      }
    }
    if (k.heap >= 0) {
      std::vector<std::uint32_t>& heap = heaps_[static_cast<std::size_t>(k.heap)];
      while (!heap.empty() && !answers(heap.front(), id)) {
        std::pop_heap(heap.begin(), heap.end());
        heap.pop_back();
      }
      if (!heap.empty()) best = std::max<std::int64_t>(best, heap.front());
    }
    return best;
  }

  // The emptied spline answers for nothing any more (it has no ends); the target is filed
  // under its ends.
  void Joined(std::size_t target, std::size_t /*emptied*/) override {
    const M5spline& t = *splines_[target];
    if (t.NumCps <= 0 || !t.FirstCp) return;
    const auto at = static_cast<std::int64_t>(target);
    for (std::int32_t id : {t.FirstCp->Id, t.LastCp->Id}) {
      Bucket& k = buckets_[bucket(id)];
      if (k.refiled == at) continue;
      if (k.refiled < 0 || !answers(static_cast<std::uint32_t>(k.refiled), id)) {
        k.refiled = at;
        continue;
      }
      if (k.heap < 0) {
        k.heap = static_cast<std::int64_t>(heaps_.size());
        heaps_.emplace_back();
      }
      std::vector<std::uint32_t>& heap = heaps_[static_cast<std::size_t>(k.heap)];
      heap.push_back(static_cast<std::uint32_t>(target));
      std::push_heap(heap.begin(), heap.end());
    }
  }

 private:
  struct Bucket {
    std::uint32_t begin = 0;
    std::uint32_t top = 0;  // entries [begin, top) may still answer
    std::int64_t refiled = -1;
    std::int64_t heap = -1;
  };

  struct End {
    std::int32_t id;
    std::uint32_t spline;
  };
  // Gathers the ends into `ends` and makes the slots for their ids.
  static IdSlots endSlots(const std::vector<std::unique_ptr<M5spline>>& splines,
                          std::vector<End>& ends) {
    ends.reserve(2 * splines.size());
    std::int64_t lo = 0, hi = -1;
    for (std::size_t i = 0; i < splines.size(); ++i) {
      const M5spline& s = *splines[i];
      if (s.NumCps <= 0 || !s.FirstCp) continue;
      for (const std::int32_t id : {s.FirstCp->Id, s.LastCp->Id}) {
        ends.push_back({id, static_cast<std::uint32_t>(i)});
        if (hi < lo) lo = hi = id;
        lo = std::min<std::int64_t>(lo, id);
        hi = std::max<std::int64_t>(hi, id);
      }
    }
    return IdSlots(lo, hi, ends.size());
  }
  std::uint32_t bucket(std::int32_t id) {
    const auto [slot, fresh] = slots_.Add(id);
    if (fresh) buckets_.emplace_back();
    return slot;
  }
  bool answers(std::uint32_t at, std::int32_t id) const { return splines_[at]->HasEndId(id); }

  const std::vector<std::unique_ptr<M5spline>>& splines_;
  std::vector<End> ends_;  // while the index is made
  IdSlots slots_;          // id -> bucket
  std::vector<Bucket> buckets_;
  std::vector<std::uint32_t> entries_;  // positions, grouped by bucket, each group ascending
  std::vector<std::vector<std::uint32_t>> heaps_;
};

}  // namespace

std::unique_ptr<SplineEndLookup> IndexedSplineEnds(M5mesh& mesh) {
  return std::make_unique<IndexedEnds>(mesh);
}

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
// value, each in constant time on average: the positions of each value lie together, in order,
// and are taken from the back.
class GroupIdQueue {
 public:
  explicit GroupIdQueue(std::vector<std::int32_t> ids)
      : ids_(std::move(ids)), slots_(slotsFor(ids_)) {
    const std::size_t n = ids_.size();
    alive_.assign(n, 1);
    std::vector<std::uint32_t> bucket(n);
    for (std::size_t i = 0; i < n; ++i) {
      const auto [slot, fresh] = slots_.Add(ids_[i]);
      if (fresh) top_.push_back(0);
      bucket[i] = slot;
      ++top_[slot];
    }
    begin_.resize(top_.size());
    std::uint32_t at = 0;
    for (std::size_t b = 0; b < top_.size(); ++b) {
      begin_[b] = at;
      at += top_[b];
      top_[b] = begin_[b];
    }
    order_.resize(n);
    for (std::size_t i = 0; i < n; ++i) order_[top_[bucket[i]]++] = static_cast<std::uint32_t>(i);
    left_ = n;
  }
  bool Empty() const { return left_ == 0; }
  std::int32_t TakeFirst() {
    while (!alive_[front_]) ++front_;
    take(front_);
    return ids_[front_];
  }
  // Removes the last remaining id equal to `value`; false when none remains.
  bool TakeLast(std::int32_t value) {
    const std::uint32_t b = slots_.Find(value);
    if (b == IdSlots::kNone) return false;
    std::uint32_t& top = top_[b];
    while (top > begin_[b] && !alive_[order_[top - 1]]) --top;
    if (top == begin_[b]) return false;
    take(order_[--top]);
    return true;
  }

 private:
  void take(std::size_t i) {
    alive_[i] = 0;
    --left_;
  }
  std::vector<std::int32_t> ids_;
  IdSlots slots_;  // id -> its positions' group
  std::vector<std::uint8_t> alive_;
  std::vector<std::uint32_t> begin_, top_;
  std::vector<std::uint32_t> order_;  // positions, grouped by id, each group ascending
  std::size_t front_ = 0;
  std::size_t left_ = 0;
};

// Exact position of a point as a key (minus zero is zero); NaN matches nothing.
bool keyOf(const M5cp& p, Vec3& key) {
  key = {p.PosX(0), p.PosY(0), p.PosZ(0)};
  return key.x == key.x && key.y == key.y && key.z == key.z;
}

// The candidates 1.. of one group by the exact positions of their ends: for an end position
// and a limit, the highest candidate below the limit that has an end there and has not been
// taken. Each position's candidates lie together in ascending order; a taken one is skipped
// through a pointer to the entry below it, shortened as it is followed, so that the search
// costs next to nothing however many candidates meet at one place.
class CandidateEnds {
 public:
  // Files the ends of the candidates 1.. of a group. The buffers are kept from one group to
  // the next: a fresh table for every group would be memory the system zeroes again each time.
  void Fill(const std::vector<std::uint32_t>& candidates,
            const std::vector<std::unique_ptr<M5spline>>& splines) {
    const std::size_t n = candidates.size();
    std::size_t slots = 16;
    while (slots < 4 * n) slots *= 2;  // at most half full with two ends per candidate
    if (table_.size() < slots) {
      table_.assign(slots, Slot{});
    } else {
      for (const std::size_t used : used_) table_[used] = Slot{};
    }
    used_.clear();
    mask_ = table_.size() - 1;
    places_.clear();
    const auto each_end = [&](std::size_t k, auto&& f) {
      const M5spline& c = *splines[candidates[k]];
      for (const M5cp* end :
           {static_cast<const M5cp*>(c.FirstCp.get()), static_cast<const M5cp*>(c.LastCp)}) {
        Vec3 key;
        if (keyOf(*end, key)) f(key);
      }
    };
    // The ends' positions and hashes first, in order; then the table is filled asking for
    // each slot a few ends ahead, so that the filling does not wait for memory at every end.
    keys_.clear();
    hashes_.clear();
    owner_.clear();
    for (std::size_t k = 1; k < n; ++k) {
      each_end(k, [&](const Vec3& key) {
        keys_.push_back(key);
        hashes_.push_back(PositionHash(key));
        owner_.push_back(static_cast<std::uint32_t>(k));
      });
    }
    constexpr std::size_t kAhead = 8;
    place_of_.resize(keys_.size());  // per end filed, in order
    for (std::size_t e = 0; e < keys_.size(); ++e) {
      if (e + kAhead < keys_.size()) __builtin_prefetch(&table_[hashes_[e + kAhead] & mask_]);
      Slot& slot = find(keys_[e], hashes_[e], true);
      ++places_[slot.place].end;  // a count until the places are laid out
      place_of_[e] = slot.place;
    }
    std::uint32_t at = 0;
    for (Place& p : places_) {
      p.begin = at;
      at += p.end;
      p.end = p.begin;
    }
    entries_.resize(at);
    skip_.resize(at);
    ends_of_.assign(2 * n, -1);
    for (std::size_t e = 0; e < owner_.size(); ++e) {
      const std::uint32_t k = owner_[e];
      const std::uint32_t entry = places_[place_of_[e]].end++;
      entries_[entry] = k;
      skip_[entry] = static_cast<std::int64_t>(entry);  // itself: not taken
      const bool second = e > 0 && owner_[e - 1] == k;
      ends_of_[2 * std::size_t{k} + (second ? 1 : 0)] = entry;
    }
  }

  // The highest candidate below `limit` with an end at the position of `end`, or 0.
  std::size_t Below(const M5cp& end, std::size_t limit) {
    Vec3 key;
    if (!keyOf(end, key)) return 0;
    const Slot& slot = find(key, PositionHash(key), false);
    if (slot.place == kEmpty) return 0;
    const Place& p = places_[slot.place];
    const auto first = entries_.begin() + p.begin;
    const auto last = entries_.begin() + p.end;
    const auto below = std::lower_bound(
        first, last, static_cast<std::uint32_t>(std::min<std::size_t>(limit, kEmpty)));
    if (below == first) return 0;
    const std::int64_t e = alive(static_cast<std::int64_t>(below - entries_.begin()) - 1, p.begin);
    return e < 0 ? 0 : entries_[static_cast<std::size_t>(e)];
  }

  void Take(std::size_t k) {
    for (std::size_t f = 0; f < 2; ++f) {
      const std::int64_t entry = ends_of_[2 * k + f];
      if (entry >= 0) skip_[static_cast<std::size_t>(entry)] = entry - 1;
    }
  }

 private:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
  struct Slot {
    Vec3 key;
    std::uint32_t place = kEmpty;  // kEmpty: an empty slot
  };
  struct Place {
    std::uint32_t begin = 0;
    std::uint32_t end = 0;
  };

  Slot& find(const Vec3& key, std::uint64_t hash, bool add) {
    for (std::size_t s = hash & mask_;; s = (s + 1) & mask_) {
      Slot& slot = table_[s];
      if (slot.place == kEmpty) {
        if (add) {
          slot.key = key;
          slot.place = static_cast<std::uint32_t>(places_.size());
          places_.emplace_back();
          used_.push_back(s);
        }
        return slot;
      }
      if (slot.key.x == key.x && slot.key.y == key.y && slot.key.z == key.z) return slot;
    }
  }

  // The highest entry at or below `e` (and not below `floor`) whose candidate is not taken.
  std::int64_t alive(std::int64_t e, std::int64_t floor) {
    std::int64_t r = e;
    while (r >= floor && skip_[static_cast<std::size_t>(r)] != r)
      r = skip_[static_cast<std::size_t>(r)];
    while (e >= floor && skip_[static_cast<std::size_t>(e)] != e) {
      const std::int64_t next = skip_[static_cast<std::size_t>(e)];
      skip_[static_cast<std::size_t>(e)] = r;
      e = next;
    }
    return r >= floor ? r : -1;
  }

  std::vector<Slot> table_;
  std::size_t mask_ = 0;
  std::vector<std::size_t> used_;  // the slots filled for this group
  std::vector<Vec3> keys_;
  std::vector<std::uint64_t> hashes_;
  std::vector<std::uint32_t> place_of_;
  std::vector<std::uint32_t> owner_;  // the candidate of each end filed
  std::vector<Place> places_;
  std::vector<std::uint32_t> entries_;  // candidates, grouped by end position, ascending
  std::vector<std::int64_t> skip_;      // itself, or (taken) an entry below it
  std::vector<std::int64_t> ends_of_;   // the entries of candidate k: 2k, 2k + 1
};

// Joins the candidates (mesh positions) onto the first one in passes: each pass offers the
// candidates from the last to the second, and one that has an end on an end of the growing
// spline is joined. The candidates that would join are found through an index of their end
// positions, so a pass costs what it joins, not what it offers. Returns whether any candidate
// was offered.
//
// Every offer sets bit 0 on every point of the growing spline, and a bit once set stays set:
// so the points end up marked exactly when they belong to the grown spline. `marked` tells
// (by mesh position) the splines known to be marked throughout; the target is marked once,
// and each join marks only the points it brings in (none when they come from a marked
// spline), so a spline that grows by thousands of joins is not walked again at each.
bool joinCandidates(const std::vector<std::uint32_t>& candidates,
                    const std::vector<std::unique_ptr<M5spline>>& splines, SplineEndLookup& lookup,
                    Progress& progress, std::int32_t progress_total,
                    std::vector<std::uint8_t>& marked, CandidateEnds& at,
                    std::vector<std::pair<std::int32_t, std::int32_t>>* merged) {
  if (candidates.size() < 2) return false;
  const std::uint32_t t = candidates.front();
  M5spline& target = *splines[t];
  at.Fill(candidates, splines);
  const auto mark = [&](std::uint32_t s) {
    if (!marked[s]) splines[s]->FirstCp->SetBit0OnChain();
    marked[s] = 1;
  };
  std::size_t remaining = candidates.size() - 1;
  while (remaining > 0) {
    bool joined = false;
    std::size_t limit = candidates.size();
    for (;;) {
      const std::size_t k =
          std::max(at.Below(*target.FirstCp, limit), at.Below(*target.LastCp, limit));
      if (k == 0) break;
      at.Take(k);
      mark(t);
      mark(candidates[k]);
      std::pair<std::int32_t, std::int32_t> gone{};
      target.JoinEnds(*splines[candidates[k]], merged ? &gone : nullptr);
      if (merged) merged->push_back(gone);
      lookup.Joined(t, candidates[k]);
      --remaining;
      joined = true;
      limit = k;
    }
    if (!joined) break;
    progress.StepSub(progress_total);
  }
  // Every offer marks the growing spline with bit 0, joined or not.
  mark(t);
  return true;
}

}  // namespace

void ConnectSplinesOfGroups(M5mesh& mesh, std::size_t group_count,
                            const std::function<std::vector<std::int32_t>(std::size_t)>& ids_of,
                            SplineEndLookup& lookup, StepContext& step,
                            std::vector<std::pair<std::int32_t, std::int32_t>>* merged,
                            const std::function<void()>& before_attach) {
  {
    M5cplist list(mesh.Splines, step.Bars);
    list.DetachAll(step.Bars);
  }
  step.Bars.SetMain(10);
  step.Bars.ResetSub();
  const std::vector<std::unique_ptr<M5spline>>& splines = mesh.Splines;
  bool offered = false;
  std::vector<std::uint32_t> candidates;
  std::vector<std::uint32_t> chosen(splines.size(), 0);  // the round (from 1) that chose it
  std::vector<std::uint8_t> marked(splines.size(), 0);   // every point has bit 0
  CandidateEnds ends;
  for (std::size_t round = 0; round < group_count; ++round) {
    GroupIdQueue ids(ids_of(round));
    const auto stamp = static_cast<std::uint32_t>(round + 1);
    while (!ids.Empty()) {
      const std::int32_t p = ids.TakeFirst();
      const std::int64_t s = lookup.Find(p);
      if (s < 0) continue;
      // A group naming an id twice must not offer a spline twice (and so to itself).
      if (!ids.TakeLast(splines[static_cast<std::size_t>(s)]->OtherEndId(p))) continue;
      if (chosen[static_cast<std::size_t>(s)] == stamp) continue;
      chosen[static_cast<std::size_t>(s)] = stamp;
      candidates.push_back(static_cast<std::uint32_t>(s));
    }
    // The sub bar counts the groups still waiting.
    if (joinCandidates(candidates, splines, lookup, step.Bars,
                       static_cast<std::int32_t>(group_count - round - 1), marked, ends, merged))
      offered = true;
    candidates.clear();
  }
  // The joined splines are empty now; they (and any spline that was empty before) go, as
  // soon as one group had something to join.
  if (offered) mesh.RemoveEmptySplines();
  if (before_attach) before_attach();
  M5cplist list(mesh.Splines, step.Bars);
  list.AttachAll(step.Bars);
  list.ResolveAttachments(step);
  step.Report.After = MeshCounts{list.Count(), static_cast<std::int32_t>(mesh.Splines.size())};
}

void M5model::ConnectGroupedSplines(SplineEndLookup& lookup, StepContext& step) {
  if (Groups.empty() || !Mesh) return;
  // The groups are taken from the front one by one; Groups is empty afterwards.
  const std::vector<M5group*> rounds = std::move(Groups);
  Groups.clear();
  const auto ids_of = [&](std::size_t round) {
    M5group& group = *rounds[round];
    std::vector<std::int32_t> ids;
    ids.reserve(group.GroupIds.size());
    for (const std::string& text : group.GroupIds) ids.push_back(StrToInt(text));
    group.GroupIds.clear();  // the ids are used up, as the queue takes them
    return ids;
  };
  ConnectSplinesOfGroups(*Mesh, rounds.size(), ids_of, lookup, step, nullptr,
                         [&] { RemoveGroups(); });
}

void M5model::RemoveGroups() {
  // Last entry first, as one erasure after another would destroy them; the entries left
  // close up in one pass, so that a model of many groups is not moved once per group.
  std::vector<std::uint8_t> gone(Entries.size(), 0);
  std::size_t removed = 0;
  for (std::size_t k = Entries.size(); k-- > 0;) {
    auto& child = Entries[k].Child;
    if (!child || !SameKeyword(child->Name, "GROUP")) continue;
    if (!Groups.empty()) std::erase(Groups, child.get());
    child.reset();
    gone[k] = 1;
    ++removed;
  }
  if (removed == 0) return;
  std::size_t kept = 0;
  for (std::size_t k = 0; k < Entries.size(); ++k) {
    if (gone[k]) continue;
    if (kept != k) Entries[kept] = std::move(Entries[k]);
    ++kept;
  }
  Entries.resize(kept);
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
