// A flat, ordered view over every control point of one mesh (splines in mesh order, each
// chain from first to last point), with the whole-mesh passes that need ids: renumbering,
// attach resolution, welding and unwelding, corrections and bounds.
//
// Every lookup means the first match in list order. The passes use hash indexes built for the
// pass, so that they run in time near-linear in the number of points, with exactly the
// results of scanning the list from the start for each lookup (tests keep the scans beside
// them). The list never owns a point; any change of the splines needs a new list.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mesh/AM5_cp.h"
#include "mesh/AM5_splin.h"
#include "model/tree/AM_step.h"

namespace zevrin {

// The hash the welding passes give a position: exactly equal positions (minus zero equal to
// zero) hash equally.
std::uint64_t PositionHash(const Vec3& v);

class M5cplist {
 public:
  std::vector<M5cp*> Items;  // not owned
  double MinX = 0, MinY = 0, MinZ = 0;
  double MaxX = 0, MaxY = 0, MaxZ = 0;

  M5cplist() = default;
  // The lower bar steps once per spline while the list is built.
  M5cplist(const std::vector<std::unique_ptr<M5spline>>& splines, Progress& progress);
  explicit M5cplist(const std::vector<std::unique_ptr<M5spline>>& splines);  // nothing shown
  // The same list from `points`, which are already the points of the splines in that order
  // (as a mesh reader gathers them), without walking the chains again.
  M5cplist(const std::vector<std::unique_ptr<M5spline>>& splines, std::vector<M5cp*> points,
           Progress& progress);

  std::int32_t Count() const { return static_cast<std::int32_t>(Items.size()); }
  M5cp* GetAt(std::size_t index) const { return index < Items.size() ? Items[index] : nullptr; }

  // Single lookups, by scanning.
  M5cp* FindById(std::int32_t id) const;
  M5cp* FindAttachedTo(std::int32_t id) const;
  // The chain of attachments hanging off an id: the first point attached to it, the first
  // point attached to that one, and so on. A chain that comes back to a point already found
  // (a ring of attachments) ends before it.
  M5cp* FindChainEnd(std::int32_t id) const;
  M5cp* FindChainNonHook(std::int32_t id) const;
  void FlipHookParamsOnChain(std::int32_t id);

  // Ids become 1..Count in list order; every point takes the new id of the last point that
  // had its id, and attachments follow. An attachment naming no point gets the target 0,
  // which names nothing afterwards. Returns Count.
  std::int32_t Renumber();
  void SnapToMirrorPlane(double tolerance);
  // Resolves every attachment; attachments that name no point, and rings of attachments
  // (which are broken: their points keep their own coordinates), are reported as the step's
  // attach errors.
  void ResolveAttachments(StepContext& step);
  // Reports the attached points left without a target (with the diagnostic dumps on, also
  // when there are none).
  void ReportAttachErrors(StepContext& step);
  // Applies Halvejoin's correction records in order. Where a record would make a point take
  // its position from itself, it changes nothing: an Attach record whose point already hangs
  // on NewId's chain of attachments, and any record that would attach a point to itself or
  // close a ring of attachments.
  void ApplyCorrections(const std::vector<Mattach_correct>& records, StepContext& step);
  // After Halvejoin's corrections: a mirrored copy attached to the copy of a point that was
  // not copied (it lies on the plane, and is its own mirror image) is attached to that point
  // itself, as its source is, instead of to an id that names nothing. Copies hung on a hook
  // with a parameter are left as they are. `offset` is the id offset of the copies.
  void ShareUncopiedTargets(std::int32_t offset);
  // ApplyCorrections and then ShareUncopiedTargets, as Halvejoin runs them, on one index.
  void ApplyHalvejoinCorrections(const std::vector<Mattach_correct>& records, std::int32_t offset,
                                 StepContext& step);
  // Welds unattached points at exactly the same position: the first keeps its coordinates,
  // the others hang behind it in a chain in list order.
  void AttachAll(Progress& progress);
  // The chaining of AttachAll for groups already known: group_of[i] is the group of the i-th
  // point (below `groups`, or kNoGroup). In list order, each point not attached at its turn
  // is attached to the one of its group before it; the first of a group keeps its place. The
  // lower bar steps for each point that was not attached when its turn came.
  static constexpr std::uint32_t kNoGroup = 0xFFFFFFFFu;
  void AttachInGroups(const std::vector<std::uint32_t>& group_of, std::size_t groups,
                      Progress& progress);
  // Gives every point its resolved position as own coordinates and drops the attachments.
  // Gives every attached point its resolved position as coordinates of its own, but a tag
  // file's hook, which keeps its target.
  void DetachAll(Progress& progress);
  // Box of every resolved position and the origin; returns its eight corners as text.
  std::string ComputeBounds(Progress& progress);

  // Diagnostic dumps, into the step's report while it asks for them.
  void DumpToFile(const std::string& name, StepContext& step) const;
  static void DumpCorrections(const std::vector<Mattach_correct>& records, StepContext& step);

 private:
  void build(const std::vector<std::unique_ptr<M5spline>>& splines, Progress& progress);
};

// The eight corners of a box as the "Bounds=" text lists them.
std::string BoundsCornersText(const Vec3& min, const Vec3& max);

}  // namespace zevrin
