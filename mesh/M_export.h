// The document's splines as a Wavefront OBJ file of polylines, so that a converted model can
// be looked at in any 3-D viewer.
#pragma once

#include "model/tree/AM5_super.h"

namespace zevrin {

// Every spline of every mesh below `root`, in file order: one "v" line per control point at
// its resolved position (an attached point at its target's), then one "l" element per spline
// through its points, closed splines ending on their first point again. A spline of a single
// point is a line from the point to itself.
LineList WriteObjPolylines(const M5amsuper& root);

}  // namespace zevrin
