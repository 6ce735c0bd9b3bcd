// A MODEL section: one model with its mesh, groups, bones and own lines.
// Until its own reading and writing arrive, it is read and written as any other section.
#pragma once

#include "model/AM5_super.h"

namespace zevrin {

class M5model : public M5amsuper {};

}  // namespace zevrin
