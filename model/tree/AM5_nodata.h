// Materials, patches, actions and choreographies: sections whose own lines survive a
// Halvejoin while everything nested in them is dropped.
#pragma once

#include "model/tree/AM5_super.h"

namespace zevrin {

class M5nodata : public M5amsuper {
 public:
  void Halvejoin(double tolerance, StepContext& step) override;
  void CheckHalvejoin() override {}  // Halvejoin goes no deeper

 protected:
  std::unique_ptr<M5amsuper> CloneNode() const override;
};

}  // namespace zevrin
