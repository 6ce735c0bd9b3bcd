// One control point of a spline: its four-line record in the model file, the rules by which an
// attached or hooked point finds its position, mirrored copies, and drawing.
//
// The points of one spline form a doubly linked chain; each point owns its successor. Every
// chain operation here walks iteratively, so a spline or an attach chain of any length is
// safe, and destroying a chain unlinks it in a loop.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/tree/AM5_super.h"

namespace zevrin {

class Mscreen;
class PositionResolver;
struct Mattach_correct;

// One line of a control-point record as read: its trimmed text (a view of the file being
// read) and its 0-based line.
struct RecordLine {
  std::string_view Text;
  std::int32_t Line = -1;
};

class GroupNameTable;

// The group names of a point, sorted by KeywordLess; names equal under ASCII case folding are
// one name. The set is one pointer wide and holds nothing while there are none, as for nearly
// every point of a model file. Lists of names are shared: copies of a set hold its list, and
// the sets that one GroupNameTable made share the list of each set of names (all the points
// of a DXF layer, say, hold one list between them). A list is kept while any set holds it.
class GroupNameSet {
 public:
  using List = std::vector<std::string>;
  using const_iterator = List::const_iterator;

  GroupNameSet() = default;
  GroupNameSet(const GroupNameSet& other);
  GroupNameSet& operator=(const GroupNameSet& other);
  GroupNameSet(GroupNameSet&& other) noexcept : shared_(std::exchange(other.shared_, nullptr)) {}
  GroupNameSet& operator=(GroupNameSet&& other) noexcept;
  ~GroupNameSet() { clear(); }

  bool empty() const { return shared_ == nullptr; }
  std::size_t size() const { return list().size(); }
  const std::string& front() const { return list().front(); }
  const_iterator begin() const { return list().begin(); }
  const_iterator end() const { return list().end(); }
  const List& list() const;
  // The set with `name` inserted before position `at` of the sorted list; the list of the
  // result is shared through `table` when one is given.
  void insert(const_iterator at, std::string_view name, GroupNameTable* table = nullptr);
  void clear();

  friend bool operator==(const GroupNameSet& a, const List& b) { return a.list() == b; }
  friend bool operator==(const GroupNameSet& a, const GroupNameSet& b) {
    return a.list() == b.list();
  }

  struct Shared;  // a list and the count of the sets that hold it

 private:
  friend class GroupNameTable;
  Shared* shared_ = nullptr;
};

// Shares the lists of the group-name sets that one operation makes (a polygon import names
// millions of points with a few layers): a set of names met again gets the list already made.
// Made for the operation and used by one thread at a time; the lists outlive it in the sets
// that hold them.
class GroupNameTable {
 public:
  GroupNameTable();
  ~GroupNameTable();
  GroupNameTable(const GroupNameTable&) = delete;
  GroupNameTable& operator=(const GroupNameTable&) = delete;

 private:
  friend class GroupNameSet;
  struct Lists;
  // The list of `names`, held once more for the caller.
  GroupNameSet::Shared* Hold(GroupNameSet::List names);
  std::unique_ptr<Lists> lists_;
};

class M5cp {
 public:
  static constexpr std::uint32_t kBit0 = 0x00000001;
  static constexpr std::uint32_t kLoopBit = 0x00000004;
  static constexpr std::uint32_t kHookParamBits = 0x00000010 | 0x00001000;
  static constexpr std::uint32_t kHookBits = 0x00000080 | 0x80000000;

  // Laid out without gaps: a model holds millions of points.
  std::uint32_t Flags = 0;
  std::int32_t Attached = 0;  // 1: the position comes from the target
  std::int32_t TargetId = 0;
  std::int32_t Id = 0;
  M5cp* Target = nullptr;      // resolved target, not owned; set by the control-point list
  M5cp* Prev = nullptr;        // not owned
  std::unique_ptr<M5cp> Next;  // owned: the rest of the chain
  double HookParam = 0;
  double X = 0;
  double Y = 0;
  double Z = 0;
  Vec3 InBias;
  Vec3 OutBias;
  GroupNameSet GroupNames;
  bool HookParamFlipped = false;
  bool InBiasDefault = false;
  bool OutBiasDefault = false;
  bool Mirrored = false;
  // Read from (or made for) a tag file, where bit 0x80 marks a segment and a hooked point lies
  // exactly on its target: such a point never slides along a spline, whatever its bits say.
  bool TagRecord = false;

  M5cp() = default;
  M5cp(const M5cp&) = delete;
  M5cp& operator=(const M5cp&) = delete;
  // Destroys the rest of the chain in a loop.
  ~M5cp();

  // Reads the four-line record of a MESH section. Errors carry the line of the offending
  // record line.
  void ReadRecord(const RecordLine (&lines)[4]);

  // Chain operations: this point and every point after it, in order.
  void WriteChain(TextWriter& out) const;
  void DumpChain(LineList& lines) const;
  void AppendChainTo(std::vector<M5cp*>& list);
  // Appends mirrored copies of the selected points (kind 3: points with both neighbours; 1:
  // with a predecessor; 2: with a successor; others: all).
  void MirrorCopyChain(std::vector<std::unique_ptr<M5cp>>& list, std::int32_t kind,
                       std::int32_t offset) const;
  // Draws with a shared resolver when one is given, so that a mesh resolves each attach
  // chain once per picture.
  // Labels with the ids when the view shows them.
  void DrawChain(Mscreen& view, PositionResolver* resolver = nullptr) const;
  void SetBit0OnChain();
  void MoveLoopBitToEnd(bool carried);
  void AddGroupNameToChain(std::string_view name, GroupNameTable* table = nullptr);
  bool ChainOnMirrorPlane() const;

  // Resolved coordinates at hook parameter t: own coordinates for a plain point at t = 0;
  // interpolated along the spline for a hook; otherwise the target's, passing t on. A point
  // whose target is missing, or that lies on an attachment cycle, has its own coordinates.
  double PosX(double t) const;
  double PosY(double t) const;
  double PosZ(double t) const;
  Vec3 Pos(double t) const;
  M5cp* First();
  const M5cp* First() const;
  const M5cp* NextOrFirst() const;
  M5cp* NextOrFirst() { return Next ? Next.get() : First(); }

  void InitAt(std::int32_t id, const Vec3& position);
  void ResolveTarget(const std::vector<M5cp*>& list);
  std::int32_t GetId() const { return Id; }
  std::int32_t AttachTargetId() const { return Attached == 1 ? TargetId : -1; }
  bool IsAttached() const { return Attached == 1; }
  bool HasNoTarget() const { return Target == nullptr; }
  void AttachTo(std::int32_t id) {
    TargetId = id;
    Attached = 1;
  }
  void SetTargetId(std::int32_t id) { TargetId = id; }
  void ClearAttachment() {
    Attached = 0;
    Target = nullptr;
  }
  void FreezePosition();
  void NegateIds();
  void ReplaceId(std::int32_t old_id, std::int32_t new_id);
  void FlipHookParamOnce();
  M5cp* Retarget(const Mattach_correct& record);
  void SnapX(double tolerance);
  bool IsOnMirrorPlane() const;
  bool IsFirst() const { return Prev == nullptr; }
  bool IsLast() const { return Next == nullptr; }
  void SetLoopBit() { Flags |= kLoopBit; }
  void ClearLoopBit() { Flags &= ~kLoopBit; }
  bool HasLoopBit() const { return (Flags & kLoopBit) != 0; }
  void SetHookBitHigh() { Flags = (Flags & ~kHookBits) | 0x80000000u; }
  void ClearHookBits() { Flags &= ~kHookBits; }
  bool HasHookBits() const { return !TagRecord && (Flags & kHookBits) != 0; }
  // The parameter at which the point's position is taken: its hook parameter, except for a
  // point of a tag file, which lies where its target does.
  double PositionParam() const { return TagRecord ? 0.0 : HookParam; }
  bool HasHookParamBits() const { return (Flags & kHookParamBits) != 0; }
  std::string FirstGroupName() const;
  bool HasGroupName(std::string_view name) const;
  void AddGroupName(std::string_view name, GroupNameTable* table = nullptr);

  // The diagnostic line of one point, with or without its "cptype=" field.
  std::string DumpLine(bool with_type) const;

 private:
  // The point whose own coordinates give this point's position at t = 0: the end of its
  // chain of targets, or this point on a cycle.
  const M5cp* PositionSource() const;
  double Resolve(double t, int axis) const;
};

// Brent's cycle test for a walk from point to point along their targets: after each move,
// Returned(p) tells whether the walk came back to a point it passed, which a ring of
// attachments makes it do. It costs two pointers and a counter, whatever the walk's length.
class CycleGuard {
 public:
  explicit CycleGuard(const M5cp* start) : mark_(start) {}
  bool Returned(const M5cp* p) {
    if (p == mark_) return true;
    if (++steps_ == power_) {
      mark_ = p;
      power_ <<= 1;
      steps_ = 0;
    }
    return false;
  }

 private:
  const M5cp* mark_;
  std::size_t power_ = 1;
  std::size_t steps_ = 0;
};

// Asks for the memory of the point a few places after `p` in a walk along its chain. A chain
// read from a file lies in memory in its order, one point after the other, and a walk that
// waits for each point's successor would wait for memory at nearly every step. Only a guess:
// the address is never read, and a wrong one costs nothing.
inline void PrefetchChainAhead(const M5cp* p) {
  constexpr std::uintptr_t kAhead = 6 * (sizeof(M5cp) + 8);  // the allocator's header too
  __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(p) + kAhead));
}

// The correction record of Halvejoin: retarget attachments from OldId to NewId, or (Attach)
// attach the point OldId at the end of NewId's chain.
struct Mattach_correct {
  std::int32_t OldId = 0;
  std::int32_t NewId = 0;
  bool Hook = false;
  bool Attach = false;
};

}  // namespace zevrin
