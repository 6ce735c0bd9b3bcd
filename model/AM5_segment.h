// A SEGMENT section: one bone of the model's skeleton.
// Until its own reading and writing arrive, it is read and written as any other section.
#pragma once

#include "model/AM5_super.h"

namespace zevrin {

class M5segment : public M5amsuper {};

}  // namespace zevrin
