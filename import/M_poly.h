// The polygon model that the polygon readers fill: faces of three or four corners (any number
// from the general importer), each with a layer name and a colour, and the distinct layer
// names. The import turns it into a mesh of
// edge splines (M5model::ImportPolygons, M5mesh::BuildFromFaces).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/tree/AM_common.h"

namespace zevrin {

// One face. A face of three corners still has a fourth slot; the readers make it equal to
// the third corner. A face of more than four corners keeps the rest in MoreCorners, so that
// the faces DXF and ROK give (nearly all of them) carry no second allocation.
struct Mdxf_3dface {
  std::array<Vec3, 4> Corners{};
  std::int32_t CornerCount = 0;   // corners in use, as counted while reading
  std::string Layer;              // DXF group 8
  std::int32_t Color = 0;         // DXF group 62
  std::vector<Vec3> MoreCorners;  // corners 5, 6, ...: CornerCount - 4 of them

  // Corner i (0-based, below CornerCount).
  const Vec3& Corner(std::size_t i) const { return i < 4 ? Corners[i] : MoreCorners[i - 4]; }
  // Whether every corner in use has its slot: CornerCount is 0..4, or 4 plus MoreCorners.
  bool CornersStored() const {
    return CornerCount >= 0 &&
           (CornerCount <= 4 || static_cast<std::size_t>(CornerCount) == 4 + MoreCorners.size());
  }

  // The face as a DXF 3DFACE entity: layer, colour and all four corners. A face of more
  // corners is written as a fan of triangles from its first corner, the edges inside the
  // outline marked invisible (group 70), since a 3DFACE holds four corners at most.
  void WriteEntity(LineList& lines) const;
};

class Mpolycommon : public Mamcommon {
 public:
  std::vector<Mdxf_3dface> Faces;   // in file order
  std::vector<std::string> Layers;  // sorted by KeywordLess; names equal under it are one

  // Reads the file at `path` whole and hands its lines to ReadSection. Errors name the file
  // and, where one applies, the 1-based line.
  void LoadFile(const std::string& path, StepContext& step);

  // Reads a polygon file from its text; the lines it splits into go to ReadSection unless
  // the reader can take them in place.
  virtual void ReadText(std::string_view bytes, StepContext& step);

  // Adds the layer of every face, in face order, to Layers; a name equal to one already there
  // (ASCII case folded) is left out, so the first spelling met stays.
  void CollectLayers();

  std::int32_t FaceCount() const { return static_cast<std::int32_t>(Faces.size()); }
  const Mdxf_3dface& FaceAt(std::size_t index) const { return Faces.at(index); }

  // The faces as the ENTITIES section of a DXF file, ending with EOF. Nothing in the program
  // writes polygon files; this completes the node interface and serves the tests.
  void WriteDxf(LineList& lines) const;

  // Reads the polygon file's lines from the first, whatever `start` says; returns the index
  // at which reading stopped.
  std::int32_t ReadSection(const LineList& lines, std::int32_t start,
                           StepContext& step) override = 0;
  void WriteSection(LineList& lines) override { WriteDxf(lines); }
  void Halvejoin(double /*tolerance*/, StepContext& /*step*/) override {}
  double GetBound(std::uint32_t /*index*/) override { return 0.0; }
  void Draw(Mscreen& /*view*/) override {}
  void ConnectGroupedSplines(StepContext& /*step*/) override {}

 protected:
  // A face reader must never count more corners than a face can hold: raises FaceCorners,
  // with the count, when `count` is outside 0..4.
  static void CheckCornerCount(std::int32_t count);
};

// A reader of the polygon formats the core does not read itself. The core knows only this
// interface; the programs hand the document session a reader built on a general import
// library, so that the core stays free of it. Model, DXF and ROK paths never reach it.
class PolygonFileReader {
 public:
  virtual ~PolygonFileReader() = default;
  // Whether files with this extension (".obj": with the dot, any ASCII case) are read.
  virtual bool Reads(std::string_view extension) const = 0;
  // The faces of the file at `path`; errors are ZevrinErrors naming the file.
  virtual std::unique_ptr<Mpolycommon> Read(const std::string& path, StepContext& step) const = 0;
  // The extensions read, as "*.obj *.stl ...", for an Open dialog's filter.
  virtual std::string Patterns() const = 0;
};

}  // namespace zevrin
