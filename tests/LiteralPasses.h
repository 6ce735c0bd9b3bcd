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
