// Shared by the fuzz targets: a view that draws nowhere.
#pragma once

#include <cstdint>
#include <string_view>

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

}  // namespace zevrin::fuzz
