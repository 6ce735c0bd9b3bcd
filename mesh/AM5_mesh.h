// A MESH section: the model's splines and control points.
// Until its own reading and writing arrive, it is read and written as any other section.
#pragma once

#include "model/AM5_super.h"

namespace zevrin {

class M5mesh : public M5amsuper {};

}  // namespace zevrin
