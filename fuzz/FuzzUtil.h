// Shared by the fuzz targets: the work folder (reading a mesh may write "attach_err.txt") and a
// view that draws nowhere.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "view/M_scr.h"
#include "view/Surface.h"

namespace zevrin::fuzz {

// Moves into a private scratch folder once per process.
inline void EnterScratchFolder() {
  static const bool done = [] {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("zevrin-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    return true;
  }();
  (void)done;
}

class NullSurface : public DrawSurface {
 public:
  void SetPenColor(Rgb) override {}
  void MoveTo(std::int32_t, std::int32_t) override {}
  void LineTo(std::int32_t, std::int32_t) override {}
  void TextOut(std::int32_t, std::int32_t, std::string_view, Rgb, std::int32_t) override {}
  void FillRect(std::int32_t, std::int32_t, std::int32_t, std::int32_t, Rgb) override {}
};

}  // namespace zevrin::fuzz
