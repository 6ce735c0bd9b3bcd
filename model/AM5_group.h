// A GROUP section: a named set of control points of its model's mesh, written back from its
// name, its count and its id lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/tree/AM5_super.h"

namespace zevrin {

class M5cplist;

class M5group : public M5amsuper {
 public:
  std::vector<std::string> GroupIds;  // each id line as read (trimmed)
  bool Suppressed = false;
  std::string GroupName;

  M5group() { Name = "GROUP"; }

  void Write(TextWriter& out) override;
  void Halvejoin(double tolerance, StepContext& step) override;
  void CheckHalvejoin() override {}  // Halvejoin goes no deeper
  bool IsSuppressed() const override { return Suppressed; }

  std::int32_t IdCount() const { return static_cast<std::int32_t>(GroupIds.size()); }
  const std::string& IdAt(std::size_t index) const { return GroupIds[index]; }
  void DeleteIdAt(std::size_t index) { GroupIds.erase(GroupIds.begin() + static_cast<std::ptrdiff_t>(index)); }
  // Appends the id of every point of the list, in list order, that carries GroupName.
  void FillFromCps(const M5cplist& list);

  std::size_t OwnBytes() const override;

 protected:
  std::unique_ptr<M5amsuper> CloneNode() const override;
  // Takes "Name=" and "Count=" and then as many id lines as the count says (at least one).
  void FinishRead(StepContext& step) override;
};

}  // namespace zevrin
