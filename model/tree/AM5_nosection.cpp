#include "model/tree/AM5_nosection.h"

namespace zevrin {

void M5nosection::Write(TextWriter& out) {
  if (Suppressed) return;
  M5amsuper::Write(out);
}

void M5nosection::Halvejoin(double /*tolerance*/, StepContext& /*step*/) { Suppressed = true; }

}  // namespace zevrin
