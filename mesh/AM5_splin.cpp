#include "mesh/AM5_splin.h"

#include <vector>

#include "model/AM_const.h"
#include "util/Errors.h"

namespace zevrin {

std::size_t M5spline::ReadSpline(std::span<const Entry> entries, std::size_t index) {
  const Entry& head = entries[index];
  const std::int32_t count =
      WithLine(head.Line, [&] { return StrToInt(AfterFirst("=", head.Text)); });
  if (count <= 0) return index + 1;
  std::size_t i = index + 1;
  // Errors inside the records name their own line; running out of lines names the block.
  WithLine(head.Line, [&] {
    for (std::int32_t k = 0; k < count; ++k) {
      auto cp = std::make_unique<M5cp>();
      i = cp->ReadFrom(entries, i);
      AppendCp(std::move(cp));
    }
  });
  return i;
}

void M5spline::WriteSpline(LineList& lines) const {
  lines.push_back("CPs=" + IntToStr(NumCps));
  if (NumCps > 0 && FirstCp) FirstCp->WriteChain(lines);
}

void M5spline::DumpSpline(LineList& lines) const {
  if (!Shared().DebugDump) return;
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
  if (NumCps <= 0) return;
  std::vector<std::unique_ptr<M5cp>> points;
  std::unique_ptr<M5cp> p = std::move(FirstCp);
  while (p) {
    std::unique_ptr<M5cp> next = std::move(p->Next);
    points.push_back(std::move(p));
    p = std::move(next);
  }
  LastCp = nullptr;
  NumCps = 0;
  for (auto it = points.rbegin(); it != points.rend(); ++it) AppendCp(std::move(*it));
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

}  // namespace zevrin
