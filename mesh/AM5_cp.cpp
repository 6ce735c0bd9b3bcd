#include "mesh/AM5_cp.h"

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <limits>
#include <unordered_map>

#include "mesh/PositionResolver.h"
#include "model/tree/AM_const.h"
#include "util/Errors.h"
#include "view/M_scr.h"

namespace zevrin {
namespace {

double coord(const M5cp& p, int axis) { return axis == 0 ? p.X : axis == 1 ? p.Y : p.Z; }

std::string fixedWidth(std::string text, std::size_t width) {
  text.append(6, ' ');
  if (text.size() > width) text.resize(width);
  return text;
}

// Three reals of a bias line, or the default when the line is one word.
void readBias(const RecordLine& line, bool& is_default, Vec3& bias) {
  if (CountWords(line.Text) == 1) {
    is_default = true;
    bias = Vec3{};
    return;
  }
  is_default = false;
  WithLine(line.Line, [&] {
    TokenView words(line.Text);
    bias.x = StrToFloat(words.Next(' '));
    bias.y = StrToFloat(words.Next(' '));
    bias.z = StrToFloat(words.Next(' '));
  });
}

void writeBias(TextWriter& out, bool is_default, const Vec3& bias) {
  if (is_default) {
    out.AddChar('0').EndLine();
    return;
  }
  out.AddFloat(bias.x).AddChar(' ').AddFloat(bias.y).AddChar(' ').AddFloat(bias.z).EndLine();
}

// Id plus the mirror offset; a sum beyond 32 bits is refused rather than wrapped onto the id
// of an unrelated point.
std::int32_t offsetId(std::int32_t id, std::int32_t offset) {
  const std::int64_t sum = static_cast<std::int64_t>(id) + offset;
  if (sum < INT32_MIN || sum > INT32_MAX) throw ZevrinError(ErrorKind::RangeCheck, "");
  return static_cast<std::int32_t>(sum);
}

}  // namespace

M5cp::~M5cp() {
  // Each step detaches the successor before the point holding it dies: no recursion.
  std::unique_ptr<M5cp> rest = std::move(Next);
  while (rest) rest = std::move(rest->Next);
}

void M5cp::ReadRecord(const RecordLine (&lines)[4]) {
  const RecordLine& l1 = lines[0];
  WithLine(l1.Line, [&] {
    TokenView words(l1.Text);
    const std::int64_t flags = StrToInt64(words.Next(' '));
    if (flags < 0 || flags > 4294967295LL) throw ZevrinError(ErrorKind::RangeCheck, "");
    Flags = static_cast<std::uint32_t>(flags);
    Attached = StrToInt(words.Next(' '));
    Id = StrToInt(words.Next(' '));
    HookParam = 0;
    if (HasHookParamBits() && words.RestLength() > 0) HookParam = StrToFloat(words.Next(' '));
  });

  const RecordLine& l2 = lines[1];
  Target = nullptr;
  WithLine(l2.Line, [&] {
    TokenView words(l2.Text);
    if (Attached == 1) {
      TargetId = StrToInt(words.Next(' '));
      X = Y = Z = 0;
    } else {
      TargetId = 0;
      X = StrToFloat(words.Next(' '));
      Y = StrToFloat(words.Next(' '));
      Z = StrToFloat(words.Next(' '));
    }
  });

  readBias(lines[2], InBiasDefault, InBias);
  readBias(lines[3], OutBiasDefault, OutBias);
  Mirrored = false;
}

void M5cp::WriteChain(TextWriter& out) const {
  for (const M5cp* p = this; p; p = p->Next.get()) {
    PrefetchChainAhead(p);
    out.AddInt(p->Flags).AddChar(' ').AddInt(p->Attached).AddChar(' ').AddInt(p->Id);
    if (p->HasHookParamBits()) out.AddChar(' ').AddFloat(p->HookParam);
    out.EndLine();
    if (p->Attached == 1) {
      out.AddInt(p->TargetId).EndLine();
    } else {
      out.AddFloat(p->X).AddChar(' ').AddFloat(p->Y).AddChar(' ').AddFloat(p->Z).EndLine();
    }
    writeBias(out, p->InBiasDefault, p->InBias);
    writeBias(out, p->OutBiasDefault, p->OutBias);
  }
}

std::string M5cp::DumpLine(bool with_type) const {
  std::string line = fixedWidth("cpid=" + IntToStr(Id), 11);
  if (with_type) {
    char hex[24];
    std::snprintf(hex, sizeof hex, "cptype=%08" PRIX32 " ", Flags);
    line += hex;
  }
  if (IsAttached()) {
    line += fixedWidth("at_cpid=" + IntToStr(AttachTargetId()), 14);
    if (!Target) line += " Invalid";
  } else {
    line += " x=" + FloatToStr(PosX(0)) + " y=" + FloatToStr(PosY(0)) + " z=" + FloatToStr(PosZ(0));
  }
  return line;
}

void M5cp::DumpChain(LineList& lines) const {
  for (const M5cp* p = this; p; p = p->Next.get()) lines.push_back(p->DumpLine(true));
}

void M5cp::AppendChainTo(std::vector<M5cp*>& list) {
  for (M5cp* p = this; p; p = p->Next.get()) {
    PrefetchChainAhead(p);
    list.push_back(p);
  }
}

void M5cp::MirrorCopyChain(std::vector<std::unique_ptr<M5cp>>& list, std::int32_t kind,
                           std::int32_t offset) const {
  for (const M5cp* p = this; p; p = p->Next.get()) {
    const bool admitted = kind == 3   ? (p->Prev && p->Next)
                          : kind == 1 ? p->Prev != nullptr
                          : kind == 2 ? p->Next != nullptr
                                      : true;
    if (!admitted) continue;
    auto c = std::make_unique<M5cp>();
    c->Flags = p->Flags;
    c->Attached = p->Attached;
    c->Target = p->Target;
    c->HookParam = p->HookParam;
    c->Y = p->Y;
    c->Z = p->Z;
    c->InBiasDefault = p->InBiasDefault;
    c->InBias = p->InBias;
    c->OutBiasDefault = p->OutBiasDefault;
    c->OutBias = p->OutBias;
    // A broken attachment (target 0 names no point) stays broken: offsetting it would make it
    // name an unrelated point.
    c->TargetId = (p->Attached == 1 && p->TargetId == 0) ? 0 : offsetId(p->TargetId, offset);
    c->Id = offsetId(p->Id, offset);
    c->X = -p->X;
    c->Mirrored = true;
    c->TagRecord = p->TagRecord;
    list.push_back(std::move(c));
  }
}

void M5cp::DrawChain(Mscreen& view, PositionResolver* resolver) const {
  PositionResolver local;
  PositionResolver& r = resolver ? *resolver : local;
  const bool ids = view.ShowCpid;
  for (const M5cp* p = this; p; p = p->Next.get()) {
    const Vec3 at = r.Pos(*p, p->PositionParam());
    if (!p->Prev) {
      view.MoveTo3D(at.x, at.y, at.z);
    } else {
      view.LineTo3D(at.x, at.y, at.z);
      if (!p->Next && p->HasLoopBit()) {
        const M5cp* first = p->First();
        const Vec3 f = r.Pos(*first, first->PositionParam());
        view.LineTo3D(f.x, f.y, f.z);
      }
    }
    if (ids) view.LabelPoint3D(p->Id, at.x, at.y, at.z);
  }
}

void M5cp::SetBit0OnChain() {
  for (M5cp* p = this; p; p = p->Next.get()) p->Flags |= kBit0;
}

void M5cp::MoveLoopBitToEnd(bool carried) {
  M5cp* p = this;
  for (; p->Next; p = p->Next.get()) {
    carried = carried || p->HasLoopBit();
    p->ClearLoopBit();
  }
  if (carried) p->SetLoopBit();
}

void M5cp::AddGroupNameToChain(std::string_view name, GroupNameTable* table) {
  if (name.empty()) return;
  for (M5cp* p = this; p; p = p->Next.get()) p->AddGroupName(name, table);
}

bool M5cp::ChainOnMirrorPlane() const {
  for (const M5cp* p = this; p; p = p->Next.get())
    if (!p->IsOnMirrorPlane() || p->HasHookBits()) return false;
  return true;
}

const M5cp* M5cp::PositionSource() const {
  // Follow the targets to the point with coordinates of its own. A point whose chain runs
  // into a ring of attachments keeps its own coordinates, as if it had no target.
  const M5cp* p = this;
  CycleGuard guard(p);
  while (p->Attached != 0 && p->Target) {
    p = p->Target;
    if (guard.Returned(p)) return this;
  }
  return p;
}

double M5cp::Resolve(double t, int axis) const {
  if (t == 0) return coord(*PositionSource(), axis);
  const M5cp* p = this;
  CycleGuard guard(p);
  for (;;) {
    if (p->HasHookBits()) {
      const double next = coord(*p->NextOrFirst()->PositionSource(), axis);
      const double base = p->Target ? coord(*p->Target->PositionSource(), axis) : coord(*p, axis);
      return base + t * (next - base);
    }
    if (!p->Target) return coord(*p, axis);
    p = p->Target;
    if (guard.Returned(p)) return coord(*this, axis);
  }
}

double M5cp::PosX(double t) const { return Resolve(t, 0); }
double M5cp::PosY(double t) const { return Resolve(t, 1); }
double M5cp::PosZ(double t) const { return Resolve(t, 2); }
Vec3 M5cp::Pos(double t) const { return {PosX(t), PosY(t), PosZ(t)}; }

M5cp* M5cp::First() {
  M5cp* p = this;
  while (p->Prev) p = p->Prev;
  return p;
}

const M5cp* M5cp::First() const {
  const M5cp* p = this;
  while (p->Prev) p = p->Prev;
  return p;
}

const M5cp* M5cp::NextOrFirst() const { return Next ? Next.get() : First(); }

void M5cp::InitAt(std::int32_t id, const Vec3& position) {
  Flags = 0;
  Attached = 0;
  TargetId = 0;
  Target = nullptr;
  Id = id;
  HookParam = 0;
  X = position.x;
  Y = position.y;
  Z = position.z;
  InBiasDefault = OutBiasDefault = true;
  InBias = OutBias = Vec3{};
  Mirrored = false;
}

void M5cp::ResolveTarget(const std::vector<M5cp*>& list) {
  if (Attached != 1) return;
  Target = nullptr;
  for (M5cp* q : list) {
    if (q->Id == TargetId) {
      Target = q;
      return;
    }
  }
}

void M5cp::FreezePosition() {
  const Vec3 at = Pos(0);
  X = at.x;
  Y = at.y;
  Z = at.z;
}

void M5cp::NegateIds() {
  // Negation in 32-bit two's complement: the most negative id stays as it is instead of
  // overflowing.
  Id = static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(Id));
  TargetId = static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(TargetId));
}

void M5cp::ReplaceId(std::int32_t old_id, std::int32_t new_id) {
  if (Id == old_id) Id = new_id;
  if (TargetId == old_id) TargetId = new_id;
}

void M5cp::FlipHookParamOnce() {
  if (HookParam != 0 && !HookParamFlipped) {
    HookParamFlipped = true;
    HookParam = 1 - HookParam;
  }
}

M5cp* M5cp::Retarget(const Mattach_correct& record) {
  if (TargetId == record.OldId && HookParam != 0 && record.Hook) {
    TargetId = record.NewId;
    FlipHookParamOnce();
    return this;
  }
  if (TargetId == record.OldId && !record.Hook) {
    TargetId = record.NewId;
    return this;
  }
  return nullptr;
}

void M5cp::SnapX(double tolerance) {
  if (std::abs(X) < tolerance) X = 0;
}

bool M5cp::IsOnMirrorPlane() const { return PosX(PositionParam()) == 0.0; }

std::string M5cp::FirstGroupName() const {
  return GroupNames.empty() ? std::string() : GroupNames.front();
}

bool M5cp::HasGroupName(std::string_view name) const {
  const auto it =
      std::lower_bound(GroupNames.begin(), GroupNames.end(), name,
                       [](const std::string& a, std::string_view b) { return KeywordLess(a, b); });
  return it != GroupNames.end() && SameKeyword(*it, name);
}

void M5cp::AddGroupName(std::string_view name, GroupNameTable* table) {
  const auto it =
      std::lower_bound(GroupNames.begin(), GroupNames.end(), name,
                       [](const std::string& a, std::string_view b) { return KeywordLess(a, b); });
  if (it != GroupNames.end() && SameKeyword(*it, name)) return;
  GroupNames.insert(it, name, table);
}

// ---- shared lists of group names ----

struct GroupNameSet::Shared {
  std::atomic<std::size_t> holders{0};
  List names;
};

namespace {

void hold(GroupNameSet::Shared* shared) {
  if (shared) shared->holders.fetch_add(1, std::memory_order_relaxed);
}

// One holder fewer; the last one destroys the list.
void release(GroupNameSet::Shared* shared) {
  if (shared && shared->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) delete shared;
}

GroupNameSet::Shared* made(GroupNameSet::List names) {
  auto* shared = new GroupNameSet::Shared;
  shared->names = std::move(names);
  hold(shared);
  return shared;
}

std::string keyOf(const GroupNameSet::List& names) {
  std::string key;
  for (const std::string& name : names) {
    key += std::to_string(name.size());
    key += ':';
    key += name;
  }
  return key;
}

}  // namespace

// Every list made, by its names; and the last step taken (a set, a name inserted at a place,
// the set it gave), since an import adds the same layer to point after point. The table holds
// each of these lists once, so no address in it is reused while it lives.
struct GroupNameTable::Lists {
  std::unordered_map<std::string, GroupNameSet::Shared*> by_key;
  GroupNameSet::Shared* last_from = nullptr;
  std::string last_name;
  std::size_t last_at = 0;
  GroupNameSet::Shared* last_to = nullptr;
};

GroupNameTable::GroupNameTable() : lists_(std::make_unique<Lists>()) {}

GroupNameTable::~GroupNameTable() {
  release(lists_->last_from);
  for (const auto& [key, shared] : lists_->by_key) release(shared);
}

GroupNameSet::Shared* GroupNameTable::Hold(GroupNameSet::List names) {
  auto [it, fresh] = lists_->by_key.try_emplace(keyOf(names), nullptr);
  if (fresh) it->second = made(std::move(names));
  hold(it->second);
  return it->second;
}

const GroupNameSet::List& GroupNameSet::list() const {
  static const List kNone;
  return shared_ ? shared_->names : kNone;
}

GroupNameSet::GroupNameSet(const GroupNameSet& other) : shared_(other.shared_) { hold(shared_); }

GroupNameSet& GroupNameSet::operator=(const GroupNameSet& other) {
  if (other.shared_ != shared_) {
    hold(other.shared_);
    release(shared_);
    shared_ = other.shared_;
  }
  return *this;
}

GroupNameSet& GroupNameSet::operator=(GroupNameSet&& other) noexcept {
  if (this != &other) {
    release(shared_);
    shared_ = std::exchange(other.shared_, nullptr);
  }
  return *this;
}

void GroupNameSet::clear() { release(std::exchange(shared_, nullptr)); }

void GroupNameSet::insert(const_iterator at, std::string_view name, GroupNameTable* table) {
  const auto place = static_cast<std::size_t>(at - list().begin());
  if (table) {
    GroupNameTable::Lists& t = *table->lists_;
    if (t.last_to && t.last_from == shared_ && t.last_at == place && t.last_name == name) {
      hold(t.last_to);
      release(shared_);
      shared_ = t.last_to;
      return;
    }
  }
  List names = list();
  names.emplace(names.begin() + static_cast<std::ptrdiff_t>(place), name);
  Shared* const result = table ? table->Hold(std::move(names)) : made(std::move(names));
  if (table) {
    // The step's source is held too, so that its address means these names while remembered.
    GroupNameTable::Lists& t = *table->lists_;
    hold(shared_);
    release(t.last_from);
    t.last_from = shared_;
    t.last_name.assign(name);
    t.last_at = place;
    t.last_to = result;  // held by the table's list of lists
  }
  release(shared_);
  shared_ = result;
}

}  // namespace zevrin
