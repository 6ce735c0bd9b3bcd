#include "model/AM5_nosection.h"

namespace zevrin {

void M5nosection::WriteSection(LineList& lines) {
  if (Suppressed) return;
  M5amsuper::WriteSection(lines);
}

void M5nosection::Halvejoin(double /*tolerance*/) { Suppressed = true; }

}  // namespace zevrin
