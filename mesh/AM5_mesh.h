// A MESH section: the model's splines and control points. It is written back in the
// program's own layout: its version line, the number of splines and each spline's block of
// four-line control-point records; other lines it held are not kept.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mesh/AM5_splin.h"
#include "model/tree/AM5_super.h"

namespace zevrin {

class M5cplist;
struct Mdxf_3dface;

class M5mesh : public M5amsuper {
 public:
  M5mesh();
  ~M5mesh() override;

  std::string Version = "2";
  std::int32_t NextId = 1;
  std::vector<std::unique_ptr<M5spline>> Splines;
  std::string BoundsText;

  void Write(TextWriter& out) override;
  void Draw(Mscreen& view) override;
  // Snaps points within `tolerance` of X = 0 onto it, renumbers, mirrors every point off the
  // plane and joins the halves; reports the counts before and after.
  void Halvejoin(double tolerance, StepContext& step) override;
  void CheckHalvejoin() override {}  // Halvejoin goes no deeper
  // Welds the points at exactly equal positions and resolves the attachments.
  void AttachAll(StepContext& step) override;
  // Gives every point its resolved position as own coordinates and drops the attachments.
  void DetachAll(StepContext& step) override;
  // Mirrors the splines from the last to the first; twins are appended.
  void MirrorSplines(std::int32_t offset, std::vector<Mattach_correct>& corrections);

  // Polygon import: every face edge becomes a two-point spline, an edge met again only adds
  // its layer to the kept one, coinciding corners are attached; reports the counts and sets
  // the box and BoundsText. New ids follow the mesh's own. From step.Import.ThreadedFromFaces
  // faces on, the splines are made on a second thread. `alongside`, when given, is called
  // once with the finished list of points, on a second thread for a large import while the
  // attachments are resolved: it may read the points' ids and names, and must not touch the
  // progress bars or anything else shared.
  void BuildFromFaces(const std::vector<Mdxf_3dface>& faces, StepContext& step,
                      const std::function<void(const M5cplist&)>& alongside = {});
  // The model converts the faces into its mesh, through BuildFromFaces; a mesh met on the
  // walk takes nothing.
  void ImportPolygons(Mpolycommon& /*polygons*/, StepContext& /*step*/) override {}

  M5spline* SplineAt(std::size_t i) const { return Splines[i].get(); }
  // The last spline that has `id` at one of its ends, or none.
  M5spline* FindSplineByEndId(std::int32_t id) const;
  void RemoveEmptySplines();
  // Into the step's report, while it asks for the diagnostic dumps.
  void DumpSplines(const std::string& file_name, StepContext& step) const;

  // The points and splines, by their counts.
  std::size_t OwnBytes() const override;

 protected:
  // A copy of the splines with every point, each attachment resolved to the copy of its
  // target; what is being read is not copied.
  std::unique_ptr<M5amsuper> CloneNode() const override;
  // The same copy into a mesh of a derived class.
  void CloneMeshInto(M5mesh& copy) const;
  // The splines are built from the section's lines as they are read, in a pass over the same
  // lines as the entries would give (each nested section counting as an empty line); the
  // lines themselves are never kept: the mesh writes only what it holds. An error in them is
  // held back until the section is complete, and raised by FinishRead.
  void TakeEntry(std::string_view text, std::unique_ptr<M5amsuper> child,
                 std::int32_t line) override;
  // Raises the error held back, or the index error of a block cut short; then resolves
  // attachments, reports the counts and sets the box.
  void FinishRead(StepContext& step) override;

 private:
  class Reading;
  std::unique_ptr<Reading> reading_;  // while the section is read
};

}  // namespace zevrin
