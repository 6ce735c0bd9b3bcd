// The faces of a file as Assimp reads it, handed mesh by mesh to a sink: the part of the Assimp
// adapter that runs wherever the library runs (in the reader process, or in-process for the
// benchmarks and the tests).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "import/M_poly.h"

namespace zevrin {

// The faces of a file Assimp read. The file is binary as often as not, so there are no lines
// to read: the reader fills Faces and Layers itself, and ReadSection reads nothing.
class Massimp : public Mpolycommon {
 public:
  std::int32_t ReadSection(const LineList& /*lines*/, std::int32_t start,
                           StepContext& /*step*/) override {
    return start;
  }
};

// A vertex as Assimp holds it: single precision.
struct FloatVertex {
  float x = 0;
  float y = 0;
  float z = 0;
};

// Receives the meshes of a scene in the order their faces go into the document.
class MeshSink {
 public:
  virtual ~MeshSink() = default;
  // A mesh as one node places it: the layer of its faces, its vertices moved by the node's
  // transform, and the number of faces the mesh has (those of fewer than two corners, which do
  // not follow, among them). The vertices live until the next call.
  virtual void Mesh(std::string_view layer, const FloatVertex* vertices, std::uint32_t count,
                    std::uint32_t faces) = 0;
  // A face of the last mesh: two or more indices, each below that mesh's vertex count.
  virtual void Face(const std::uint32_t* indices, std::uint32_t count) = 0;
};

// Assimp holds coordinates in single precision. The shortest decimal form of the float is
// what the file most likely said ("0.1", not 0.100000001490116), so the same faces read from
// DXF, in double precision, give the same positions.
double WidenCoordinate(float value);
// The same number without the floating-point std::to_chars, which the WebAssembly toolchain's
// library lacks: the shortest digits found with the C library's exact printf and strtof, and
// the choice between fixed and scientific form that std::to_chars makes (a large whole number
// in fixed form keeps its exact value). WidenCoordinate is this where std::to_chars is missing.
double WidenCoordinateByPrintf(float value);

// Reads the file at `path` with Assimp and hands its faces to `sink`, as the file has them:
// Assimp neither triangulates nor joins vertices, so a quad stays a quad and an n-gon keeps
// its outline. Each mesh's layer is its name, else the name of the node that places it, else
// the file's name without extension; nodes are visited depth first, parents before children,
// and their transforms are applied. Faces of fewer than two indices (points) are left out.
// Assimp's refusals raise ImportFailed with its reason, naming the file; so do a node naming a
// missing mesh and a face naming a vertex its mesh lacks.
void ReadAssimpScene(const std::string& path, MeshSink& sink);

// Builds the polygon model from the meshes, as Zevrin has always made it of Assimp's scene:
// each face with its corners, widened to double (WidenCoordinate), the slots past the last
// corner repeating it, colour 0.
class FaceBuilder : public MeshSink {
 public:
  FaceBuilder() : polygons_(std::make_unique<Massimp>()) {}
  // Room for `faces` more faces (at least; the room grows by half again or more, so that many
  // small meshes cost no more than one large one).
  void Reserve(std::size_t faces);
  void Mesh(std::string_view layer, const FloatVertex* vertices, std::uint32_t count,
            std::uint32_t faces) override;
  void Face(const std::uint32_t* indices, std::uint32_t count) override;
  // The faces, with their layers collected.
  std::unique_ptr<Massimp> Finish();

 private:
  std::unique_ptr<Massimp> polygons_;
  std::string layer_;
  // The vertices of the mesh at hand, each widened once however many faces share it, so that
  // the faces take the very same numbers.
  std::vector<Vec3> vertices_;
};

}  // namespace zevrin
