#include "model/tree/AM5_nodata.h"

#include <algorithm>

namespace zevrin {

void M5nodata::Halvejoin(double /*tolerance*/, StepContext& /*step*/) {
  std::erase_if(Entries, [](const Entry& e) { return e.Child != nullptr; });
}

}  // namespace zevrin
