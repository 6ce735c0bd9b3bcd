// A section the program does not interpret. It is written back as read, unless a Halvejoin
// marked it suppressed: the joined model keeps no section whose content it cannot mirror.
#pragma once

#include "model/tree/AM5_super.h"

namespace zevrin {

class M5nosection : public M5amsuper {
 public:
  bool Suppressed = false;

  void Write(TextWriter& out) override;
  void Halvejoin(double tolerance, StepContext& step) override;
  void CheckHalvejoin() override {}  // Halvejoin goes no deeper
  bool IsSuppressed() const override { return Suppressed; }

 protected:
  std::unique_ptr<M5amsuper> CloneNode() const override;
};

}  // namespace zevrin
