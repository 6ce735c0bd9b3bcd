// Any bytes as a model file: read, write back, fit and draw. Malformed input must end in a
// ZevrinError, never in a crash, a hang or a sanitizer report.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/FuzzUtil.h"
#include "model/AM5_super.h"
#include "model/AM_const.h"
#include "util/Errors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zevrin;
  fuzz::EnterScratchFolder();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    M5amsuper root;
    root.ReadSection(SplitLines(bytes), 0);
    LineList out;
    root.WriteSection(out);
    fuzz::NullSurface surface;
    Mscreen view;
    view.SetCanvas(&surface, 320, 240);
    Shared().ShowCpid = size % 2 == 0;
    view.Redisplay(&root, static_cast<std::int32_t>(size % 3));
  } catch (const ZevrinError&) {
  }
  return 0;
}
