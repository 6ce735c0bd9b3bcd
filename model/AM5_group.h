// A GROUP section: a named set of control points of its model's mesh, written back from its
// name, its count and its id lines.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/tree/AM5_super.h"
#include "util/Errors.h"

namespace zevrin {

class M5cplist;

class M5group : public M5amsuper {
 public:
  std::vector<std::string> GroupIds;  // each id line as read (trimmed)
  bool Suppressed = false;
  std::string GroupName;

  M5group() { Name = "GROUP"; }
  // The start of a clone: the group's own fields, no entries and no reading state (a group
  // is copied only once it has been read).
  M5group(const M5group& other)
      : M5amsuper(other),
        GroupIds(other.GroupIds),
        Suppressed(other.Suppressed),
        GroupName(other.GroupName) {}
  M5group& operator=(const M5group&) = delete;

  void Write(TextWriter& out) override;
  void Halvejoin(double tolerance, StepContext& step) override;
  void CheckHalvejoin() override {}  // Halvejoin goes no deeper
  bool IsSuppressed() const override { return Suppressed; }

  std::int32_t IdCount() const { return static_cast<std::int32_t>(GroupIds.size()); }
  const std::string& IdAt(std::size_t index) const { return GroupIds[index]; }
  void DeleteIdAt(std::size_t index) {
    GroupIds.erase(GroupIds.begin() + static_cast<std::ptrdiff_t>(index));
  }
  // Appends the id of every point of the list, in list order, that carries GroupName.
  void FillFromCps(const M5cplist& list);

  std::size_t OwnBytes() const override;

 protected:
  std::unique_ptr<M5amsuper> CloneNode() const override;
  // Takes "Name=" and "Count=" and then as many id lines as the count says (at least one),
  // line by line as the section is read: the lines themselves are not kept (a group of a
  // million ids would hold them twice). A nested section counts as an empty line; an error
  // is held back until the section is complete and raised by FinishRead.
  void TakeEntry(std::string_view text, std::unique_ptr<M5amsuper> child,
                 std::int32_t line) override;
  void FinishRead(StepContext& step) override;

 private:
  std::int32_t remaining_ = 0;          // ids still to come after "Count="
  bool ids_done_ = false;               // the ids are read; later lines are not looked at
  std::unique_ptr<ZevrinError> error_;  // the first error met while reading
};

}  // namespace zevrin
