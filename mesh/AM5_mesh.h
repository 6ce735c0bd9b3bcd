// A MESH section: the model's splines and control points. It is written back in the
// program's own layout: its version line, the number of splines and each spline's block of
// four-line control-point records; other lines it held are not kept.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mesh/AM5_splin.h"
#include "model/AM5_super.h"

namespace zevrin {

class M5mesh : public M5amsuper {
 public:
  std::string Version = "2";
  std::int32_t NextId = 1;
  std::vector<std::unique_ptr<M5spline>> Splines;
  std::string BoundsText;

  void WriteSection(LineList& lines) override;
  void Draw(Mscreen& view) override;

  M5spline* SplineAt(std::size_t i) const { return Splines[i].get(); }
  // The last spline that has `id` at one of its ends, or none.
  M5spline* FindSplineByEndId(std::int32_t id) const;
  void RemoveEmptySplines();
  void DumpSplines(const std::string& file_name) const;

 protected:
  // Builds the splines from the section's lines, resolves attachments, sets the counters and
  // the box. The lines are dropped afterwards: the mesh writes only what it holds.
  void FinishRead() override;
};

}  // namespace zevrin
