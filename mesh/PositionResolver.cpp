#include "mesh/PositionResolver.h"

namespace zevrin {
namespace {

double coord(const M5cp& p, int axis) { return axis == 0 ? p.X : axis == 1 ? p.Y : p.Z; }

}  // namespace

const M5cp& PositionResolver::Source(const M5cp& p) {
  if (p.Attached == 0 || !p.Target) return p;  // most points: nothing to remember
  {
    // Short chains, as welding makes them, are walked without the table: a step costs less
    // than a look-up. A cycle among them is found as in the long walk below.
    const M5cp* q = &p;
    CycleGuard guard(q);
    for (int k = 0; k < 16; ++k) {
      if (q->Attached == 0 || !q->Target) return *q;
      q = q->Target;
      if (guard.Returned(q)) return p;
    }
  }
  path_.clear();
  const M5cp* q = &p;
  const M5cp* source = nullptr;
  bool cycle = false;
  CycleGuard guard(q);
  for (;;) {
    if (const M5cp* const* known = memo_.Find(PointerKey(q))) {
      source = *known;
      cycle = source == nullptr;
      break;
    }
    if (q->Attached == 0 || !q->Target) {
      source = q;
      break;
    }
    path_.push_back(q);
    q = q->Target;
    if (guard.Returned(q)) {
      cycle = true;
      break;
    }
  }
  if (cycle) {
    for (const M5cp* r : path_) memo_[PointerKey(r)] = nullptr;
    return p;
  }
  memo_[PointerKey(source)] = source;
  for (const M5cp* r : path_) memo_[PointerKey(r)] = source;
  return *source;
}

Vec3 PositionResolver::Pos(const M5cp& p, double t) {
  if (t == 0) {
    const M5cp& s = Source(p);
    return {s.X, s.Y, s.Z};
  }
  // The same walk as M5cp's position rule for a nonzero parameter; only hooks and their
  // attached points take it.
  const M5cp* q = &p;
  CycleGuard guard(q);
  for (;;) {
    if (q->HasHookBits()) {
      const M5cp& next = Source(*q->NextOrFirst());
      const M5cp* base = q->Target ? &Source(*q->Target) : q;
      Vec3 out;
      for (int axis = 0; axis < 3; ++axis) {
        const double b = coord(*base, axis);
        const double v = b + t * (coord(next, axis) - b);
        (axis == 0 ? out.x : axis == 1 ? out.y : out.z) = v;
      }
      return out;
    }
    if (!q->Target) return {q->X, q->Y, q->Z};
    q = q->Target;
    if (guard.Returned(q)) return {p.X, p.Y, p.Z};
  }
}

}  // namespace zevrin
