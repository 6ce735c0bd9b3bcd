// Connect grouped splines written the plain way, for the tests to compare the indexed edit
// with: every spline found by scanning the mesh, every id by scanning the group, every
// candidate offered to the growing spline in every pass, and bit 0 set on the whole growing
// spline at every offer.
#pragma once

#include <algorithm>
#include <memory>
#include <vector>

#include "mesh/AM5_cplist.h"
#include "mesh/AM5_mesh.h"
#include "model/AM5_group.h"
#include "model/AM5_model.h"
#include "tests/LiteralPasses.h"
#include "util/Ustrlib.h"

namespace zevrin::literal {

// A spline turned round as the text says: the chain collected, the spline emptied, and the
// points appended from the last to the first.
inline void literalReverse(M5spline& s) {
  if (s.NumCps <= 0) return;
  std::vector<std::unique_ptr<M5cp>> points;
  std::unique_ptr<M5cp> p = s.ClearChain();
  while (p) {
    std::unique_ptr<M5cp> next = std::move(p->Next);
    points.push_back(std::move(p));
    p = std::move(next);
  }
  for (auto it = points.rbegin(); it != points.rend(); ++it) s.AppendCp(std::move(*it));
}

// The join of two splines at coinciding ends, and bit 0 on the whole target afterwards.
inline bool literalJoinAtEnds(M5spline& target, M5spline& other) {
  if (target.NumCps <= 0 || !target.FirstCp) return false;
  const auto same = [](const M5cp& a, const M5cp& b) {
    return a.PosX(0) == b.PosX(0) && a.PosY(0) == b.PosY(0) && a.PosZ(0) == b.PosZ(0);
  };
  bool joined = false;
  if (&other != &target && other.NumCps > 0 && other.FirstCp) {
    joined = true;
    if (same(*other.FirstCp, *target.FirstCp)) {
      literalReverse(other);
      target.PrependSpline(other);
    } else if (same(*other.FirstCp, *target.LastCp)) {
      target.AppendSpline(other);
    } else if (same(*other.LastCp, *target.FirstCp)) {
      target.PrependSpline(other);
    } else if (same(*other.LastCp, *target.LastCp)) {
      literalReverse(other);
      target.AppendSpline(other);
    } else {
      joined = false;
    }
  }
  for (M5cp* p = target.FirstCp.get(); p; p = p->Next.get()) p->Flags |= M5cp::kBit0;
  return joined;
}

// Connect grouped splines as the text walks it: scans for splines by end id and for ids in
// the group, every candidate offered to the growing spline in every pass.
inline void literalConnect(M5model& m) {
  if (m.Groups.empty() || !m.Mesh) return;
  {
    M5cplist list(m.Mesh->Splines);
    literalDetachAll(list.Items);
  }
  const std::size_t rounds = m.Groups.size();
  std::vector<M5spline*> candidates;
  for (std::size_t round = 0; round < rounds; ++round) {
    M5group* g = m.Groups.front();
    m.Groups.erase(m.Groups.begin());
    while (g->IdCount() > 0) {
      const std::int32_t p = StrToInt(g->IdAt(0));
      g->DeleteIdAt(0);
      M5spline* s = m.Mesh->FindSplineByEndId(p);
      if (!s) continue;
      const std::int32_t q = s->OtherEndId(p);
      for (std::size_t k = static_cast<std::size_t>(g->IdCount()); k-- > 0;) {
        if (StrToInt(g->IdAt(k)) != q) continue;
        g->DeleteIdAt(k);
        if (std::find(candidates.begin(), candidates.end(), s) == candidates.end())
          candidates.push_back(s);
        break;
      }
    }
    while (candidates.size() >= 2) {
      M5spline* target = candidates.front();
      bool joined = false;
      for (std::size_t k = candidates.size() - 1; k >= 1; --k) {
        if (literalJoinAtEnds(*target, *candidates[k])) {
          candidates.erase(candidates.begin() + static_cast<std::ptrdiff_t>(k));
          joined = true;
        }
      }
      m.Mesh->RemoveEmptySplines();
      if (!joined) break;
    }
    candidates.clear();
  }
  m.RemoveGroups();
  M5cplist list(m.Mesh->Splines);
  literalAttachAll(list.Items);
  literalResolve(list.Items);
}

}  // namespace zevrin::literal
