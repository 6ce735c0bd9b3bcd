// The model side of the polygon import: M5model::ImportPolygons and M5mesh::BuildFromFaces
// are defined with it, in PolyImport.cpp, beside the check that a template can take faces.
#pragma once

#include "model/AM5_super.h"

namespace zevrin {

// True when ImportPolygons on `root` reaches a MODEL that holds a MESH: only such a model
// takes the faces, and a template without one would yield an empty model.
bool HasPolygonTarget(const M5amsuper& root);

}  // namespace zevrin
