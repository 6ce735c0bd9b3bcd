// A document's patches as a polygon model, for a polygon writer: the way out of the program
// that the polygon import is the way in.
#pragma once

#include <memory>
#include <string>

#include "import/M_poly.h"
#include "mesh/PatchFinder.h"

namespace zevrin {

class M5amsuper;

struct PatchPolygonOptions {
  // The layer of the faces that no group holds whole; the caller names it after the file.
  std::string RestLayer;
  // Every quad becomes two triangles, split along its shorter diagonal (when both are equally
  // long, the one through the corner least by x, then y, then z), each turned as the quad was.
  bool Triangulate = false;
};

// The faces made of patches. It is never read from a file.
class Mpatches : public Mpolycommon {
 public:
  // Summed over the meshes.
  PatchCounts Counts;

  std::int32_t ReadSection(const LineList& /*lines*/, std::int32_t start,
                           StepContext& /*step*/) override {
    return start;
  }
};

// The patches of every mesh below `root` (FindPatches) as faces at their corners' resolved
// positions, turned as their patches are; a triangle's fourth slot repeats its third corner,
// as the readers leave it. The layer of a face is the name of the first GROUP of its model, in
// entry order (those a polygon import appended too), that holds a point at each of its corners; a
// face that no group holds whole goes to options.RestLayer. Groups that Halvejoin marked to be left
// out of the save (their ids name points from before the renumbering) and groups without a name
// hold nothing here. The faces come layer by layer, in the order of the groups, the rest last;
// within a layer in the order of the patches. Layers lists the names used.
std::unique_ptr<Mpatches> PatchPolygons(const M5amsuper& root, const PatchPolygonOptions& options,
                                        StepContext& step);

}  // namespace zevrin
