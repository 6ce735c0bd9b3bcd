// Any bytes as a polygon file: read as DXF (with and without inserted blocks) and as ROK, each
// polygon model written back as DXF and imported into the shipped template's layout. Malformed
// input must end in a ZevrinError that names a line, never in a crash, a hang or a sanitizer
// report.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "fuzz/FuzzUtil.h"
#include "import/M_dxf.h"
#include "import/M_rok.h"
#include "model/AM5_super.h"
#include "util/Errors.h"

namespace {

using namespace zevrin;

const LineList kTemplate = {"[MODELFILE]",
                            "ProductVersion=5.0",
                            "[MODEL]",
                            "Name=animas_reference",
                            "Bounds=0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0",
                            "[MESH]",
                            "Version=2",
                            "Splines=0",
                            "[ENDMESH]",
                            "[ENDMODEL]",
                            "[ENDMODELFILE]"};

void importWith(std::unique_ptr<Mpolycommon> polygons, const LineList& lines) {
  try {
    polygons->ReadSection(lines, 0);
  } catch (const ZevrinError& e) {
    if (e.line() <= 0) std::abort();  // a reader's error must say where
    return;
  }
  LineList out;
  polygons->WriteDxf(out);
  M5amsuper root;
  root.ReadSection(kTemplate, 0);
  root.ImportPolygons(*polygons);
  out.clear();
  root.WriteSection(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::EnterScratchFolder();
  const LineList lines = SplitLines(std::string_view(reinterpret_cast<const char*>(data), size));
  importWith(std::make_unique<Mdxf>(), lines);
  auto expanding = std::make_unique<Mdxf>();
  expanding->ExpandInserts = true;
  importWith(std::move(expanding), lines);
  importWith(std::make_unique<Mrok>(), lines);
  return 0;
}
