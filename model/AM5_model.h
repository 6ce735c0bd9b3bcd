// A MODEL section: one model with its mesh, groups, bones and own lines, among them the
// "Bounds=" line that gives its box as eight corners.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "model/tree/AM5_super.h"

namespace zevrin {

class M5group;
class M5mesh;
class M5spline;

// Finds, for Connect grouped splines, the last spline of the mesh (in mesh order) that has an
// id at one of its ends, and hears of every join so that it can keep up. Splines are named by
// their positions in the mesh, which do not change while the groups are joined.
class SplineEndLookup {
 public:
  virtual ~SplineEndLookup() = default;
  // The position of that spline, or -1.
  virtual std::int64_t Find(std::int32_t id) = 0;
  // The spline at `target` took over the one at `emptied`, which is left empty (and is
  // destroyed once every group is joined).
  virtual void Joined(std::size_t target, std::size_t emptied) = 0;
};

class M5model : public M5amsuper {
 public:
  std::vector<M5group*> Groups;  // the GROUP children read, in entry order; not owned
  M5mesh* Mesh = nullptr;        // the last MESH child read; not owned

  bool GetBounds(Vec3& min, Vec3& max) override;
  // Converts the faces into the mesh, rebuilds every "Bounds=" line from it and appends one
  // GROUP per layer; nothing without a mesh.
  void ImportPolygons(Mpolycommon& polygons, StepContext& step) override;
  // Children first, then the first "Bounds=" line becomes a box symmetric about X = 0.
  void Halvejoin(double tolerance, StepContext& step) override;
  void CheckHalvejoin() override;
  // Joins, group by group, the splines whose ends both lie in the group, wherever an end
  // meets an end of the growing spline exactly; consumes the groups and reports the counts.
  void ConnectGroupedSplines(StepContext& step) override;
  void ConnectGroupedSplines(SplineEndLookup& lookup, StepContext& step);
  void CheckConnect() override;

  std::int32_t GroupCount() const { return static_cast<std::int32_t>(Groups.size()); }
  M5group* GroupAt(std::size_t index) const { return Groups[index]; }
  // Destroys every GROUP child, last entry first.
  void RemoveGroups();

 protected:
  std::unique_ptr<M5amsuper> CloneNode() const override;
  void RelinkClone(const CloneMap& copies) override;
  // Reads the "Bounds=" line (its 4th to 6th numbers are the maximum, its 19th to 21st the
  // minimum), finds the mesh and the groups, and widens the box to the mesh's.
  void FinishRead(StepContext& step) override;
  bool IsModelNode() const override { return true; }

 private:
  // The first entry whose key is "Bounds", or none.
  Entry* FirstBoundsEntry();
  // Its 24 numbers; raises the conversion error (with the line) when some are missing.
  static std::vector<double> BoundsNumbers(const Entry& entry);
};

// The look-up Connect uses: an index of the splines' end ids, with the literal search's
// answers.
std::unique_ptr<SplineEndLookup> IndexedSplineEnds(M5mesh& mesh);

// The heart of Connect grouped splines, for any mesh: every point detached; then for each of
// `group_count` groups in turn (`ids_of(k)`, the ids of the k-th), the splines whose two ends
// it names joined onto the first wherever an end meets an end of the growing spline exactly;
// `before_attach()`; then points at one place attached in a chain, and the counts reported.
// `merged`, when given, hears each point a join took away with the point that stays there.
void ConnectSplinesOfGroups(M5mesh& mesh, std::size_t group_count,
                            const std::function<std::vector<std::int32_t>(std::size_t)>& ids_of,
                            SplineEndLookup& lookup, StepContext& step,
                            std::vector<std::pair<std::int32_t, std::int32_t>>* merged,
                            const std::function<void()>& before_attach);

// The section classes of a model file: the section tree's own, plus "[MODEL]", "[MESH]",
// "[GROUP]" and "[SEGMENT]".
const SectionTable& ModelFileSections();

// True when ImportPolygons on `root` reaches a MODEL that holds a MESH: only such a model
// takes the faces, and a template without one would yield an empty model.
bool HasPolygonTarget(const M5amsuper& root);

}  // namespace zevrin
