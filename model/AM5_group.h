// A GROUP section: a named set of control points of its model's mesh.
// Until its own reading and writing arrive, it is read and written as any other section.
#pragma once

#include "model/AM5_super.h"

namespace zevrin {

class M5group : public M5amsuper {};

}  // namespace zevrin
