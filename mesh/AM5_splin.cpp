#include "mesh/AM5_splin.h"

#include <vector>

#include "util/Errors.h"

namespace zevrin {

void M5spline::WriteSpline(TextWriter& out) const {
  out.Add("CPs=").AddInt(NumCps).EndLine();
  if (NumCps > 0 && FirstCp) FirstCp->WriteChain(out);
}

void M5spline::DumpSpline(LineList& lines) const {
  lines.push_back("CPs=" + IntToStr(NumCps));
  if (FirstCp) FirstCp->DumpChain(lines);
}

void M5spline::AppendCp(std::unique_ptr<M5cp> cp) {
  M5cp* raw = cp.get();
  cp->Next.reset();
  cp->Prev = LastCp;
  if (!FirstCp) {
    FirstCp = std::move(cp);
  } else {
    LastCp->Next = std::move(cp);
  }
  LastCp = raw;
  ++NumCps;
}

void M5spline::PrependCp(std::unique_ptr<M5cp> cp) {
  M5cp* raw = cp.get();
  cp->Next = std::move(FirstCp);
  cp->Prev = nullptr;
  if (cp->Next) cp->Next->Prev = raw;
  FirstCp = std::move(cp);
  if (!LastCp) LastCp = raw;
  ++NumCps;
}

void M5spline::AddCpAt(std::int32_t id, const Vec3& position) {
  auto cp = std::make_unique<M5cp>();
  cp->InitAt(id, position);
  AppendCp(std::move(cp));
}

void M5spline::ReverseSpline() {
  if (NumCps <= 0 || !FirstCp) return;
  // The links turned round in place: each point in turn takes the reversed part so far as
  // its successor. The same chain as appending the points from the last to the first, with
  // no list of them on the side.
  M5cp* const old_first = FirstCp.get();
  std::unique_ptr<M5cp> reversed;
  std::unique_ptr<M5cp> p = std::move(FirstCp);
  std::int32_t count = 0;
  while (p) {
    ++count;
    std::unique_ptr<M5cp> next = std::move(p->Next);
    if (reversed) reversed->Prev = p.get();
    p->Next = std::move(reversed);
    p->Prev = nullptr;
    reversed = std::move(p);
    p = std::move(next);
  }
  FirstCp = std::move(reversed);
  LastCp = old_first;
  NumCps = count;
}

std::unique_ptr<M5cp> M5spline::ClearChain() {
  LastCp = nullptr;
  NumCps = 0;
  return std::move(FirstCp);
}

bool M5spline::HasEndId(std::int32_t id) const {
  return NumCps >= 1 && FirstCp && (FirstCp->Id == id || LastCp->Id == id);
}

std::int32_t M5spline::OtherEndId(std::int32_t id) const {
  if (NumCps <= 0 || !FirstCp) return 0;
  return FirstCp->Id == id ? LastCp->Id : FirstCp->Id;
}

std::int32_t M5spline::PlaneEnds() const {
  if (!FirstCp) return 0;
  return (FirstCp->IsOnMirrorPlane() ? 1 : 0) + (LastCp->IsOnMirrorPlane() ? 2 : 0);
}

bool M5spline::LiesOnMirrorPlane() const { return FirstCp && FirstCp->ChainOnMirrorPlane(); }

bool M5spline::SameEnds(const M5spline& other) const {
  if (!FirstCp || !other.FirstCp) return false;
  const auto same = [](const M5cp& a, const M5cp& b) {
    return a.PosX(0) == b.PosX(0) && a.PosY(0) == b.PosY(0) && a.PosZ(0) == b.PosZ(0);
  };
  return (same(*FirstCp, *other.FirstCp) && same(*LastCp, *other.LastCp)) ||
         (same(*FirstCp, *other.LastCp) && same(*LastCp, *other.FirstCp));
}

void M5spline::SpreadGroupName(const M5spline& other) {
  const std::string name = other.FirstCp ? other.FirstCp->FirstGroupName() : std::string();
  if (FirstCp) FirstCp->AddGroupNameToChain(name);
}

void M5spline::AppendSpline(M5spline& other) {
  if (!other.FirstCp) return;
  if (!FirstCp) {  // nothing to join onto: take the other chain whole
    FirstCp = std::move(other.FirstCp);
    LastCp = other.LastCp;
    NumCps = other.NumCps;
    (void)other.ClearChain();  // its chain was taken above
    return;
  }
  std::unique_ptr<M5cp> joint = std::move(other.FirstCp);
  std::unique_ptr<M5cp> rest = std::move(joint->Next);
  if (rest) {
    rest->Prev = LastCp;
    LastCp->Next = std::move(rest);
    LastCp = other.LastCp;
  }
  NumCps += other.NumCps - 1;
  (void)other.ClearChain();  // its chain was taken above
  // `joint` is destroyed here alone: its successor was taken above.
}

void M5spline::PrependSpline(M5spline& other) {
  if (!other.FirstCp) return;
  if (!FirstCp) {
    FirstCp = std::move(other.FirstCp);
    LastCp = other.LastCp;
    NumCps = other.NumCps;
    (void)other.ClearChain();  // its chain was taken above
    return;
  }
  M5cp* before_joint = other.LastCp->Prev;
  std::unique_ptr<M5cp> joint;
  if (before_joint) {
    joint = std::move(before_joint->Next);
    before_joint->Next = std::move(FirstCp);
    before_joint->Next->Prev = before_joint;
    FirstCp = std::move(other.FirstCp);
  } else {
    joint = std::move(other.FirstCp);  // a one-point spline is only its joint
  }
  NumCps += other.NumCps - 1;
  (void)other.ClearChain();  // its chain was taken above
}

std::unique_ptr<M5spline> M5spline::MirrorHalf(std::int32_t offset,
                                               std::vector<Mattach_correct>& corrections) {
  if (NumCps <= 0 || !FirstCp || LiesOnMirrorPlane()) return nullptr;
  const std::int32_t kind = PlaneEnds();
  std::vector<std::unique_ptr<M5cp>> copies;
  FirstCp->MirrorCopyChain(copies, kind, offset);

  std::unique_ptr<M5spline> twin;
  switch (kind) {
    case 1:  // through the first point: m(n) .. m(2), c1 .. c(n)
      for (auto& c : copies) PrependCp(std::move(c));
      break;
    case 2:  // through the last point: c1 .. c(n), m(n-1) .. m(1)
    case 3:  // both ends on the plane: c1 .. c(n), m(n-1) .. m(2), closed
      for (auto it = copies.rbegin(); it != copies.rend(); ++it) AppendCp(std::move(*it));
      break;
    default:  // no end on the plane: a reversed twin m(n) .. m(1)
      twin = std::make_unique<M5spline>();
      for (auto it = copies.rbegin(); it != copies.rend(); ++it) twin->AppendCp(std::move(*it));
      if (twin->FirstCp) twin->FirstCp->MoveLoopBitToEnd(FirstCp->HasLoopBit());
      break;
  }
  if (kind == 3) LastCp->SetLoopBit();

  // The mirror reverses every segment: hooks move to the point that now starts the segment,
  // and copies that fell onto the plane are welded to the points they were copied from.
  M5spline& chain = twin ? *twin : *this;
  if (!chain.FirstCp) return twin;
  M5cp* cur = chain.FirstCp.get();
  M5cp* nxt = cur->NextOrFirst();
  for (std::int32_t step = 0; step < chain.NumCps; ++step) {
    if (nxt->HasHookBits() && nxt->Mirrored && !cur->IsLast()) {
      corrections.push_back({nxt->Id, cur->Id, true, false});
      cur->SetHookBitHigh();
      nxt->ClearHookBits();
    } else if (nxt->HasHookBits() && ((cur->Mirrored && !nxt->Mirrored && !cur->IsLast()) ||
                                      (cur->IsLast() && cur->HasLoopBit()))) {
      corrections.push_back({static_cast<std::int32_t>(static_cast<std::int64_t>(nxt->Id) + offset),
                             cur->Id, true, false});
      cur->SetHookBitHigh();
    } else if (cur->Mirrored && cur->Prev && (cur->Next || kind == 3) && cur->PosX(0) == 0) {
      // The last point of a closed loop has the loop's first point after it.
      corrections.push_back({cur->Id,
                             static_cast<std::int32_t>(static_cast<std::int64_t>(cur->Id) - offset),
                             false, true});
    }
    cur = nxt;
    nxt = nxt->NextOrFirst();
  }
  return twin;
}

bool M5spline::JoinAtEnds(M5spline& other) {
  if (NumCps <= 0 || !FirstCp) return false;
  const bool joined = JoinEnds(other);
  FirstCp->SetBit0OnChain();
  return joined;
}

bool M5spline::JoinEnds(M5spline& other, std::pair<std::int32_t, std::int32_t>* merged) {
  if (NumCps <= 0 || !FirstCp) return false;
  const auto same = [](const M5cp& a, const M5cp& b) {
    return a.PosX(0) == b.PosX(0) && a.PosY(0) == b.PosY(0) && a.PosZ(0) == b.PosZ(0);
  };
  bool joined = false;
  const auto log = [&](const M5cp& gone, const M5cp& stays) {
    if (merged) *merged = {gone.Id, stays.Id};
  };
  // A spline is never joined onto itself, nor an empty one onto anything.
  if (&other != this && other.NumCps > 0 && other.FirstCp) {
    joined = true;
    if (same(*other.FirstCp, *FirstCp)) {
      log(*other.FirstCp, *FirstCp);
      other.ReverseSpline();
      PrependSpline(other);
    } else if (same(*other.FirstCp, *LastCp)) {
      log(*other.FirstCp, *LastCp);
      AppendSpline(other);
    } else if (same(*other.LastCp, *FirstCp)) {
      log(*other.LastCp, *FirstCp);
      PrependSpline(other);
    } else if (same(*other.LastCp, *LastCp)) {
      log(*other.LastCp, *LastCp);
      other.ReverseSpline();
      AppendSpline(other);
    } else {
      joined = false;
    }
  }
  return joined;
}

}  // namespace zevrin
