// A MODEL section: one model with its mesh, groups, bones and own lines, among them the
// "Bounds=" line that gives its box as eight corners.
#pragma once

#include <cstdint>
#include <vector>

#include "model/AM5_super.h"

namespace zevrin {

class M5group;
class M5mesh;

class M5model : public M5amsuper {
 public:
  std::vector<M5group*> Groups;  // the GROUP children read, in entry order; not owned
  M5mesh* Mesh = nullptr;        // the last MESH child read; not owned

  bool GetBounds(Vec3& min, Vec3& max) override;

  std::int32_t GroupCount() const { return static_cast<std::int32_t>(Groups.size()); }
  M5group* GroupAt(std::size_t index) const { return Groups[index]; }
  // Destroys every GROUP child, last entry first.
  void RemoveGroups();

 protected:
  // Reads the "Bounds=" line (its 4th to 6th numbers are the maximum, its 19th to 21st the
  // minimum), finds the mesh and the groups, and widens the box to the mesh's.
  void FinishRead() override;
  bool IsModelNode() const override { return true; }
};

}  // namespace zevrin
