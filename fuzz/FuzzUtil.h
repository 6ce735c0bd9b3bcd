// Shared by the fuzz targets: a view that draws nowhere, and the check that a tag file written
// reads back.
#pragma once

#include <cstdint>
#include <string_view>

#include "model/TagModel.h"
#include "util/Errors.h"
#include "view/M_scr.h"
#include "view/Surface.h"

namespace zevrin::fuzz {

class NullSurface : public DrawSurface {
 public:
  void SetPenColor(Rgb) override {}
  void MoveTo(std::int32_t, std::int32_t) override {}
  void LineTo(std::int32_t, std::int32_t) override {}
  void TextOut(std::int32_t, std::int32_t, std::string_view, Rgb, std::int32_t) override {}
  void FillRect(std::int32_t, std::int32_t, std::int32_t, std::int32_t, Rgb) override {}
};

// Traps unless `lines`, a tag file Zevrin wrote, read back: a file Zevrin writes, Zevrin reads.
inline void ReadsBackAsTagFile(const LineList& lines) {
  try {
    TagFile back;
    StepContext step;
    step.TagNodes = &MakeTagNode;
    back.ReadSection(lines, 0, step);
  } catch (const ZevrinError&) {
    __builtin_trap();
  }
}

}  // namespace zevrin::fuzz
