// Any bytes as a polygon file: read as DXF (with and without inserted blocks) and as ROK, each
// polygon model written back as DXF and imported into the shipped template's layout. Malformed
// input must end in a ZevrinError that names a line, never in a crash, a hang or a sanitizer
// report. The DXF text is also read in two halves at once, as large files are, which must give
// exactly what one reading gives: the same faces bit for bit, or the same error and line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzUtil.h"
#include "import/M_dxf.h"
#include "import/M_rok.h"
#include "model/AM5_model.h"
#include "model/PatchPolygons.h"
#include "model/tree/AM5_super.h"
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
  StepContext step;
  step.Sections = &ModelFileSections();
  try {
    polygons->ReadSection(lines, 0, step);
  } catch (const ZevrinError& e) {
    if (e.line() <= 0) std::abort();  // a reader's error must say where
    return;
  }
  LineList out;
  polygons->WriteDxf(out);
  M5amsuper root;
  root.ReadSection(kTemplate, 0, step);
  root.ImportPolygons(*polygons, step);
  out.clear();
  root.WriteSection(out);
  // And out again as faces: only a tangle of splines may refuse.
  try {
    PatchPolygons(root, {}, step);
  } catch (const ZevrinError& e) {
    if (e.kind() != ErrorKind::PatchesTooTangled) std::abort();
  }
}

struct Reading {
  std::vector<Mdxf_3dface> faces;
  std::vector<std::string> layers;
  int kind = -1;  // the error's kind, -1 for none
  std::int32_t line = 0;
};

template <class Read>
Reading readDxf(Read read) {
  Reading r;
  Mdxf dxf;
  try {
    read(dxf);
  } catch (const ZevrinError& e) {
    r.kind = static_cast<int>(e.kind());
    r.line = e.line();
  }
  r.faces = std::move(dxf.Faces);
  r.layers = std::move(dxf.Layers);
  return r;
}

bool sameFace(const Mdxf_3dface& a, const Mdxf_3dface& b) {
  return a.CornerCount == b.CornerCount && a.Layer == b.Layer && a.Color == b.Color &&
         std::memcmp(a.Corners.data(), b.Corners.data(), sizeof a.Corners) == 0;
}

void checkHalves(std::string_view text, const LineList& lines) {
  StepContext step;
  const Reading halves = readDxf([&](Mdxf& d) {
    // Every text, however small, is split where it can be.
    d.ParallelFromBytes = 0;
    d.ReadText(text, step);
  });
  const Reading one = readDxf([&](Mdxf& d) { d.ReadSection(lines, 0, step); });
  if (halves.kind != one.kind || halves.line != one.line) std::abort();
  if (one.kind >= 0) return;
  if (halves.layers != one.layers || halves.faces.size() != one.faces.size()) std::abort();
  for (std::size_t i = 0; i < one.faces.size(); ++i)
    if (!sameFace(halves.faces[i], one.faces[i])) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const LineList lines = SplitLines(text);
  checkHalves(text, lines);
  importWith(std::make_unique<Mdxf>(), lines);
  auto expanding = std::make_unique<Mdxf>();
  expanding->ExpandInserts = true;
  importWith(std::move(expanding), lines);
  importWith(std::make_unique<Mrok>(), lines);
  return 0;
}
