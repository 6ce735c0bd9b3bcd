// A model file (bracketed, or a tag file by its first line) followed by edits: the first line
// holds the tolerance (as a user would type it), the first byte of that line picks which edits
// run and in which order. After the edits the document is written back; a tag file written
// must read back (its patch corners and attachments naming points). A failed edit must leave
// the document exactly as it was.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzUtil.h"
#include "model/AM5_model.h"
#include "model/AM5_segment.h"
#include "model/TagModel.h"
#include "model/tree/AM5_super.h"
#include "util/Errors.h"

namespace {

using namespace zevrin;

LineList written(M5amsuper& root) {
  LineList out;
  root.WriteSection(out);
  return out;
}

// Runs one edit the way the session does: checks first, then the edit. A check that fails
// must have changed nothing.
void runEdit(M5amsuper& root, int which, double tolerance) {
  const LineList before = written(root);
  try {
    switch (which) {
      case 0:
        root.CheckHalvejoin();
        break;
      case 1:
        root.CheckConnect();
        break;
      default:
        break;
    }
  } catch (const ZevrinError&) {
    if (written(root) != before) __builtin_trap();
    return;
  }
  StepContext step;
  switch (which) {
    case 0:
      root.Halvejoin(tolerance, step);
      break;
    case 1:
      root.ConnectGroupedSplines(step);
      break;
    case 2:
      root.AttachAll(step);
      break;
    case 3:
      root.DetachAll(step);
      break;
    default:
      try {
        root.MirrorBone(tolerance, MirrorSettings{static_cast<MirrorRule>(1 + which % 3), "left",
                                                  "right", "mb"});
      } catch (const ZevrinError&) {
        // A tag file's rotation that is no quaternion fails the edit before anything changes.
        if (written(root) != before) __builtin_trap();
        throw;
      }
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t eol = bytes.find('\n');
  if (eol == std::string_view::npos || eol == 0) return 0;
  const std::string_view head = bytes.substr(0, eol);
  const auto plan = static_cast<unsigned char>(head.front());
  double tolerance = 0;
  try {
    tolerance = StrToFloat(head.substr(1));
  } catch (const ZevrinError&) {
    return 0;  // the edit is refused before the file is read
  }
  try {
    const std::string_view file = bytes.substr(eol + 1);
    const std::unique_ptr<M5amsuper> read =
        IsTagFileText(file) ? std::unique_ptr<M5amsuper>(std::make_unique<TagFile>())
                            : std::make_unique<M5amsuper>();
    M5amsuper& root = *read;
    StepContext step;
    step.Sections = &ModelFileSections();
    step.TagNodes = &MakeTagNode;
    root.ReadSection(SplitLines(file), 0, step);
    // Three edits, picked by the plan byte read as three digits in base 5.
    runEdit(root, plan % 5, tolerance);
    runEdit(root, (plan / 5) % 5, tolerance);
    runEdit(root, (plan / 25) % 5, tolerance);
    const LineList out = written(root);
    if (IsTagDocument(root)) fuzz::ReadsBackAsTagFile(out);
  } catch (const ZevrinError&) {
  }
  return 0;
}
