// The passes of the control-point list written the plain way: every lookup scans the list
// from the start. The tests compare the indexed passes with these; the benchmarks time both.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "mesh/AM5_cplist.h"

namespace zevrin::literal {

using Items = std::vector<M5cp*>;

// Everything a pass may change, point by point, with targets as list positions: what the
// indexed and the literal passes are compared on.
inline std::vector<std::string> pointStates(const Items& items) {
  std::vector<std::string> out;
  for (const M5cp* p : items) {
    const auto target = std::find(items.begin(), items.end(), p->Target);
    out.push_back(std::to_string(p->Id) + " " + std::to_string(p->Attached) + " " +
                  std::to_string(p->TargetId) + " " +
                  std::to_string(p->Target ? target - items.begin() : -1) + " " +
                  std::to_string(p->HookParam) + (p->HookParamFlipped ? "f " : " ") +
                  std::to_string(std::bit_cast<std::uint64_t>(p->X)) + " " +
                  std::to_string(std::bit_cast<std::uint64_t>(p->Y)) + " " +
                  std::to_string(std::bit_cast<std::uint64_t>(p->Z)));
  }
  return out;
}

inline M5cp* scanAttachedTo(const Items& items, std::int32_t id) {
  for (M5cp* p : items)
    if (p->AttachTargetId() == id) return p;
  return nullptr;
}

// The chain hanging off an id, ending before a point already found.
inline std::vector<M5cp*> scanChain(const Items& items, std::int32_t id) {
  std::vector<M5cp*> chain;
  std::set<M5cp*> seen;
  for (M5cp* q = scanAttachedTo(items, id); q && seen.insert(q).second;
       q = scanAttachedTo(items, q->Id))
    chain.push_back(q);
  return chain;
}

inline void literalRenumber(Items& items) {
  std::set<std::int32_t> ids;
  for (M5cp* p : items) ids.insert(p->Id);
  std::vector<bool> broken;
  for (M5cp* p : items) broken.push_back(p->Attached == 1 && !ids.count(p->TargetId));
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::int32_t old = items[i]->Id;
    for (M5cp* q : items) q->ReplaceId(old, -static_cast<std::int32_t>(i + 1));
  }
  for (M5cp* p : items) p->NegateIds();
  for (std::size_t i = 0; i < items.size(); ++i)
    if (broken[i]) items[i]->TargetId = 0;
}

inline void literalResolve(Items& items) {
  for (M5cp* p : items) p->ResolveTarget(items);
  std::vector<M5cp*> on_ring;
  for (M5cp* p : items) {
    std::set<M5cp*> seen;
    for (M5cp* q = p; q && q->Attached == 1 && seen.insert(q).second;) {
      q = q->Target;
      if (q == p) {
        on_ring.push_back(p);
        break;
      }
    }
  }
  for (M5cp* p : on_ring) p->Target = nullptr;
}

inline void literalAttachAll(Items& items) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    M5cp* p = items[i];
    if (p->IsAttached()) continue;
    std::vector<M5cp*> same;
    for (std::size_t j = 0; j < items.size(); ++j) {
      M5cp* q = items[j];
      if (j == i || q->IsAttached()) continue;
      if (q->PosX(0) == p->PosX(0) && q->PosY(0) == p->PosY(0) && q->PosZ(0) == p->PosZ(0))
        same.push_back(q);
    }
    std::int32_t target = p->Id;
    for (M5cp* q : same) {
      q->AttachTo(target);
      target = q->Id;
    }
  }
}

inline void literalCorrections(Items& items, const std::vector<Mattach_correct>& records) {
  for (const Mattach_correct& r : records) {
    if (r.Attach) {
      M5cp* p = nullptr;
      for (M5cp* q : items)
        if (q->Id == r.OldId) {
          p = q;
          break;
        }
      const auto chain = scanChain(items, r.NewId);
      if (p) p->AttachTo(chain.empty() ? r.NewId : chain.back()->Id);
      continue;
    }
    M5cp* p = nullptr;
    for (M5cp* q : items)
      if ((p = q->Retarget(r))) break;
    if (r.Hook && p) {
      for (M5cp* q : scanChain(items, p->Id)) {
        if (!q->HasHookParamBits()) {
          q->SetTargetId(r.OldId);
          break;
        }
      }
      for (M5cp* q : scanChain(items, p->Id)) q->FlipHookParamOnce();
    }
  }
}

inline M5cp* scanById(const Items& items, std::int32_t id) {
  for (M5cp* p : items)
    if (p->Id == id) return p;
  return nullptr;
}

// Whether p, attached to target_id, would take its position from itself: the targets followed
// from the point named target_id come back to p (a walk into another ring ends there).
inline bool scanClosesRing(const Items& items, const M5cp* p, std::int32_t target_id) {
  if (p->Attached != 1) return false;
  std::set<const M5cp*> seen;
  for (const M5cp* q = scanById(items, target_id); q; q = scanById(items, q->TargetId)) {
    if (q == p) return true;
    if (q->Attached != 1 || !seen.insert(q).second) return false;
  }
  return false;
}

// The corrections with the guards against rings, each of which can be left out for the
// survey of what it changes: `on_chain`, an Attach record whose point already hangs on the
// chain of NewId changes nothing; `ring`, a record that would attach a point to itself or
// close a ring changes nothing (for a hook record also when the re-pointing of the chain
// would).
struct GuardTally {
  int on_chain = 0;       // attach records whose point already hung on NewId's chain
  int attach_ring = 0;    // other attach records that would have closed a ring
  int retarget_ring = 0;  // retargets that would have made a point its own target or a ring
  int chain_ring = 0;     // hook records whose re-pointing of the chain would have
};
struct Guards {
  bool on_chain = true;
  bool ring = true;
  GuardTally* tally = nullptr;  // counts the records each guard stopped, when given
};
inline void literalGuardedCorrections(Items& items, const std::vector<Mattach_correct>& records,
                                      Guards guards = {}) {
  for (const Mattach_correct& r : records) {
    if (r.Attach) {
      M5cp* p = scanById(items, r.OldId);
      const auto chain = scanChain(items, r.NewId);
      if (!p) continue;
      if (guards.on_chain && std::find(chain.begin(), chain.end(), p) != chain.end()) {
        if (guards.tally) ++guards.tally->on_chain;
        continue;
      }
      const std::int32_t to = chain.empty() ? r.NewId : chain.back()->Id;
      const std::int32_t attached = p->Attached, target = p->TargetId;
      p->AttachTo(to);
      if (guards.ring && scanClosesRing(items, p, to)) {
        p->Attached = attached, p->TargetId = target;
        if (guards.tally) ++guards.tally->attach_ring;
      }
      continue;
    }
    M5cp* p = nullptr;
    for (M5cp* q : items) {
      const bool matches = q->TargetId == r.OldId && (!r.Hook || q->HookParam != 0);
      if (!matches) continue;
      p = q;
      break;
    }
    if (!p) continue;
    if (guards.ring && scanClosesRing(items, p, r.NewId)) {
      if (guards.tally) ++guards.tally->retarget_ring;
      continue;
    }
    const double param = p->HookParam;
    const bool flipped = p->HookParamFlipped;
    p->Retarget(r);
    if (!r.Hook) continue;
    M5cp* m = nullptr;
    for (M5cp* q : scanChain(items, p->Id)) {
      if (!q->HasHookParamBits()) {
        m = q;
        break;
      }
    }
    if (m) {
      const std::int32_t target = m->TargetId;
      m->SetTargetId(r.OldId);
      if (guards.ring && scanClosesRing(items, m, r.OldId)) {
        m->SetTargetId(target);
        p->TargetId = r.OldId, p->HookParam = param, p->HookParamFlipped = flipped;
        if (guards.tally) ++guards.tally->chain_ring;
        continue;
      }
    }
    for (M5cp* q : scanChain(items, p->Id)) q->FlipHookParamOnce();
  }
}

// A mirrored copy, not hung, attached to an id that names no point while that id less the
// offset names one, is attached to that one, unless that would close a ring. Returns how
// many were.
inline int literalShareUncopiedTargets(Items& items, std::int32_t offset) {
  int shared = 0;
  for (M5cp* p : items) {
    if (!p->Mirrored || p->Attached != 1 || p->HookParam != 0) continue;
    if (scanById(items, p->TargetId)) continue;
    const std::int64_t source = static_cast<std::int64_t>(p->TargetId) - offset;
    if (source < INT32_MIN || source > INT32_MAX) continue;
    const M5cp* t = scanById(items, static_cast<std::int32_t>(source));
    if (t && !scanClosesRing(items, p, t->Id)) {
      p->TargetId = t->Id;
      ++shared;
    }
  }
  return shared;
}

inline void literalDetachAll(Items& items) {
  for (M5cp* p : items) p->FreezePosition();
  for (M5cp* p : items) p->ClearAttachment();
}

inline std::string literalBounds(const Items& items) {
  Vec3 lo, hi;
  for (const M5cp* p : items) {
    const double v[3] = {p->PosX(0), p->PosY(0), p->PosZ(0)};
    double* low[3] = {&lo.x, &lo.y, &lo.z};
    double* high[3] = {&hi.x, &hi.y, &hi.z};
    for (int a = 0; a < 3; ++a) {
      if (v[a] > *high[a]) *high[a] = v[a];
      if (v[a] < *low[a]) *low[a] = v[a];
    }
  }
  return BoundsCornersText(lo, hi);
}

}  // namespace zevrin::literal
