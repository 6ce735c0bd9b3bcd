// Any bytes as a model file (bracketed, or a tag file by its first line): read, write back, fit
// and draw, as a wireframe and shaded; a bracketed model saved as a tag file must read back.
// Malformed input must end in a ZevrinError, never in a crash, a hang or a sanitizer report.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/FuzzUtil.h"
#include "model/AM5_model.h"
#include "model/PatchPolygons.h"
#include "model/ShadedModel.h"
#include "model/TagModel.h"
#include "model/tree/AM5_super.h"
#include "util/Errors.h"
#include "view/ShadedRaster.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zevrin;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    const std::unique_ptr<M5amsuper> read =
        IsTagFileText(bytes) ? std::unique_ptr<M5amsuper>(std::make_unique<TagFile>())
                             : std::make_unique<M5amsuper>();
    M5amsuper& root = *read;
    StepContext step;
    step.Sections = &ModelFileSections();
    step.TagNodes = &MakeTagNode;
    root.ReadSection(SplitLines(bytes), 0, step);
    LineList out;
    root.WriteSection(out);
    fuzz::NullSurface surface;
    Mscreen view;
    view.SetCanvas(&surface, 320, 240);
    view.ShowCpid = size % 2 == 0;
    view.Redisplay(&root, ViewKindOfItem(static_cast<std::int32_t>(size % 3)));
    // The patches, as an export finds them: hooks, rings and chains of any file.
    PatchPolygons(root, {}, step);
    // The shaded view's scene of the same patches, fitted and drawn small from a turned camera.
    const ShadedScene scene = BuildShadedScene(root, step.Bars);
    OrbitCamera camera;
    camera.Orbit(static_cast<double>(size % 360), static_cast<double>(size % 181) - 90);
    FitScene(camera, scene, 64, 48);
    RenderShaded(scene, camera, 64, 48);
    if (!IsTagDocument(root)) {
      LineList tag;
      TagFileFrom(root, step.Bars)->WriteSection(tag);
      fuzz::ReadsBackAsTagFile(tag);
    }
  } catch (const ZevrinError&) {
  }
  return 0;
}
