// The polygon formats of the Assimp library (OBJ, STL, PLY, 3DS, FBX and the rest it reads)
// as faces of the polygon model. Kept out of the core: the programs hand it to their document
// session.
#pragma once

#include <memory>
#include <string>
#include <string_view>

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

class AssimpPolygonReader : public PolygonFileReader {
 public:
  AssimpPolygonReader();

  // Every extension Assimp reads except ".mdl" and ".seg" (Animation:Master's own files,
  // which Assimp would take for Quake models) and ".dxf" and ".rok" (Zevrin's readers).
  bool Reads(std::string_view extension) const override;

  // Faces as the file has them: Assimp neither triangulates nor joins vertices, so a quad
  // stays a quad and an n-gon keeps its outline, and equal corners are welded by the
  // conversion. Each face's layer is the name of its mesh, else of the node that places the
  // mesh, else the file's name without extension; node transforms are applied. Point
  // primitives are left out (they have no edge). Assimp's refusals raise ImportFailed with
  // its reason; a face naming a vertex the mesh lacks raises it too.
  std::unique_ptr<Mpolycommon> Read(const std::string& path, StepContext& step) const override;

  std::string Patterns() const override;

 private:
  std::vector<std::string> extensions_;  // ".obj", ..., folded to lower case
};

}  // namespace zevrin
