// The face-to-spline conversion written the plain way: every new edge is compared with every
// kept spline from the first, and the points are welded and resolved by the literal passes.
// The tests compare the indexed conversion with it; the benchmark times both.
#pragma once

#include <algorithm>
#include <memory>
#include <vector>

#include "import/M_poly.h"
#include "mesh/AM5_cplist.h"
#include "mesh/AM5_mesh.h"
#include "tests/LiteralPasses.h"

namespace zevrin::literal {

inline void literalBuildFromFaces(M5mesh& mesh, const std::vector<Mdxf_3dface>& faces) {
  if (!faces.empty()) {
    std::int32_t highest = 0;
    for (const auto& s : mesh.Splines)
      for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get())
        highest = std::max(highest, p->Id);
    mesh.NextId = highest + 1;
    for (const Mdxf_3dface& face : faces) {
      for (std::int32_t i = 0; i < face.CornerCount; ++i) {
        const Vec3& a = face.Corners[static_cast<std::size_t>(i)];
        const Vec3& b = i + 1 == face.CornerCount ? face.Corners[0]
                                                  : face.Corners[static_cast<std::size_t>(i + 1)];
        auto spline = std::make_unique<M5spline>();
        spline->AddCpAt(mesh.NextId, a);
        spline->AddCpAt(mesh.NextId + 1, b);
        spline->FirstCp->AddGroupNameToChain(face.Layer);
        bool merged = false;
        for (const auto& kept : mesh.Splines) {
          if (kept->SameEnds(*spline)) {
            kept->SpreadGroupName(*spline);
            merged = true;
            break;
          }
        }
        if (!merged) {
          mesh.Splines.push_back(std::move(spline));
          mesh.NextId += 2;
        }
      }
    }
  }
  M5cplist list(mesh.Splines);
  literalAttachAll(list.Items);
  literalResolve(list.Items);
  mesh.BoundsText = literalBounds(list.Items);
}

}  // namespace zevrin::literal
