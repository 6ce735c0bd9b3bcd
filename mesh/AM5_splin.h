// One spline of a mesh: an owned chain of control points, its "CPs=" block in the model file,
// and the chain edits of the whole-model operations.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "mesh/AM5_cp.h"

namespace zevrin {

class M5spline {
 public:
  std::unique_ptr<M5cp> FirstCp;  // owns the chain
  M5cp* LastCp = nullptr;
  std::int32_t NumCps = 0;

  M5spline() = default;
  M5spline(const M5spline&) = delete;
  M5spline& operator=(const M5spline&) = delete;

  // The "CPs=" line and the records; the mesh reads them (M5mesh::TakeEntry).
  void WriteSpline(TextWriter& out) const;
  // The diagnostic lines of the spline (the mesh dumps them only when asked).
  void DumpSpline(LineList& lines) const;

  void AppendCp(std::unique_ptr<M5cp> cp);
  void PrependCp(std::unique_ptr<M5cp> cp);
  void AddCpAt(std::int32_t id, const Vec3& position);
  void ReverseSpline();
  // Empties the spline and hands its chain (if it still owns one) to the caller.
  [[nodiscard]] std::unique_ptr<M5cp> ClearChain();

  bool HasEndId(std::int32_t id) const;
  std::int32_t OtherEndId(std::int32_t id) const;
  // 1 when the first point lies on X = 0, plus 2 when the last one does.
  std::int32_t PlaneEnds() const;
  bool LiesOnMirrorPlane() const;
  bool SameEnds(const M5spline& other) const;
  void SpreadGroupName(const M5spline& other);
  // Joins `other`, whose first point coincides with this spline's last point, behind it; the
  // coinciding point of `other` is destroyed and `other` is left empty.
  void AppendSpline(M5spline& other);
  // Joins `other`, whose last point coincides with this spline's first point, in front of it.
  void PrependSpline(M5spline& other);

  // Halvejoin of one spline: mirrored copies of its points off X = 0 (ids + offset) continue
  // it through the plane, close it into a loop, or (no end on the plane) form the returned
  // twin. Hook and seam corrections for the whole mesh go to `corrections`. A spline lying
  // wholly on the plane is left alone.
  std::unique_ptr<M5spline> MirrorHalf(std::int32_t offset,
                                       std::vector<Mattach_correct>& corrections);
  // Joins `other` onto whichever end of this spline one of its ends lies on exactly; sets bit
  // 0 on every point of this spline. Returns whether a join took place.
  bool JoinAtEnds(M5spline& other);
  // The join of JoinAtEnds alone, setting no bit: for a caller that marks the points a join
  // brings in itself, instead of walking the whole growing spline after every join. A join
  // takes away the end of `other` that lay on this spline's end; `merged`, when given, hears
  // its id and the id of the point that stays at its place.
  bool JoinEnds(M5spline& other, std::pair<std::int32_t, std::int32_t>* merged = nullptr);
};

}  // namespace zevrin
