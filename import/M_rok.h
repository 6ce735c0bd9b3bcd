// The reader of RokkakuDaiou model files (.rok): points, then lines between points, then
// faces made of lines. Each face's corner loop is rebuilt from its lines.
#pragma once

#include <array>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "import/M_poly.h"

namespace zevrin {

struct RokPoint3D {
  std::int32_t PointId = 0;
  std::int32_t GroupNo = 0;
  double X = 0, Y = 0, Z = 0;
  std::int32_t FileLine = -1;  // 0-based index of the record's first line
};

struct RokLine3D {
  std::int32_t FromId = 0;
  std::int32_t ToId = 0;
  std::int32_t LineAttr = 0;
  std::int32_t FileLine = -1;  // 0-based index of the record's first line (FromId)
};

struct RokFace3D {
  std::int32_t EdgeCount = 0;
  std::array<std::int32_t, 2> Unused{};  // read and checked as numbers, never used
  std::array<std::int32_t, 4> Edges{};   // 1-based line numbers
  std::int32_t FileLine = -1;            // 0-based index of the EdgeCount line
};

class Mrok : public Mpolycommon {
 public:
  std::vector<RokPoint3D> Points;
  std::vector<RokLine3D> Lines;
  std::vector<RokFace3D> RokFaces;

  // Reads the records from the first line up to "END00" or the end of the lines, then turns
  // every face into a face of the polygon model. Markers are compared trimmed and with ASCII
  // case folded and are recognised only where a record would start; "END00" after "POINT"
  // wherever one would. Raises the conversion
  // error for a bad number, FaceCorners for a face without lines or with more than four,
  // NoSuchRokLine and NoSuchRokPoint for a face that cannot be converted, and the index error
  // for a record cut short by the end of the file; each with the 1-based line. On an error no
  // face is kept.
  std::int32_t ReadSection(const LineList& lines, std::int32_t start, StepContext& step) override;

  // The first point with `id`, or none.
  const RokPoint3D* FindPoint(std::int32_t id) const;
  // The n-th line record counting from 1, or none when there is no such record.
  const RokLine3D* LineAt(std::int32_t n) const;

 private:
  void ReadRecords(const LineList& lines, std::int32_t& stop, Progress& progress);
  Mdxf_3dface MakeFace(const RokFace3D& record) const;

  // First index in Points of each id, for the points indexed so far.
  mutable std::unordered_map<std::int32_t, std::size_t> point_index_;
  mutable std::size_t points_indexed_ = 0;
};

}  // namespace zevrin
