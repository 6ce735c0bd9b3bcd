// Materials, patches, actions and choreographies: sections whose own lines survive a
// Halvejoin while everything nested in them is dropped.
#pragma once

#include "model/AM5_super.h"

namespace zevrin {

class M5nodata : public M5amsuper {
 public:
  void Halvejoin(double tolerance) override;
  void CheckHalvejoin() override {}  // Halvejoin goes no deeper
};

}  // namespace zevrin
