// The faces of a polygon model written by the Assimp library: OBJ, glTF (text with its buffer,
// or binary), STL, PLY, FBX and Collada. Kept out of the core: the programs hand it to their
// document session's export.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "import/PolygonWriter.h"

namespace zevrin {

class AssimpPolygonWriter : public PolygonFileWriter {
 public:
  // ".obj", ".gltf", ".glb", ".stl", ".ply", ".fbx" and ".dae", any ASCII case.
  bool Writes(std::string_view extension) const override;
  // All but STL, which holds triangles alone, and glTF, whose meshes are triangles.
  bool HoldsQuads(std::string_view extension) const override;

  // One mesh per layer, each placed by a node of its own name below a root named after the
  // file, all with one grey material; positions in single precision, as Assimp keeps them.
  // Faces of fewer than three corners are left out. The formats: OBJ without a material
  // library; glTF 2 (a .gltf file and its .bin buffer beside it, or one .glb file); binary STL
  // and PLY; FBX in its text form (the binary writer of Assimp 5.2 writes files that Assimp
  // itself cannot read back); Collada. Assimp's refusals raise ExportFailed with its reason.
  std::vector<WrittenFile> Write(const Mpolycommon& polygons,
                                 const std::string& path) const override;

  std::vector<std::string> Filters() const override;
};

}  // namespace zevrin
