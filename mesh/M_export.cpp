#include "mesh/M_export.h"

#include "mesh/AM5_mesh.h"
#include "mesh/PositionResolver.h"
#include "util/Ustrlib.h"

namespace zevrin {
namespace {

// The meshes below `root` in file order.
std::vector<const M5mesh*> meshesOf(const M5amsuper& root) {
  std::vector<const M5mesh*> meshes;
  WalkTree(root, [&](const M5amsuper& node) {
    const auto* mesh = dynamic_cast<const M5mesh*>(&node);
    if (!mesh) return WalkOn::Into;
    meshes.push_back(mesh);
    return WalkOn::Over;
  });
  return meshes;
}

}  // namespace

LineList WriteObjPolylines(const M5amsuper& root) {
  const std::vector<const M5mesh*> meshes = meshesOf(root);
  LineList lines{"# Splines written by Zevrin: one polyline per spline"};
  std::vector<std::string> elements;
  std::int64_t next_vertex = 1;  // OBJ counts vertices from 1
  for (const M5mesh* mesh : meshes) {
    PositionResolver resolver;
    for (const auto& spline : mesh->Splines) {
      if (!spline->FirstCp) continue;
      std::string element = "l";
      const std::int64_t first = next_vertex;
      const M5cp* last = nullptr;
      for (const M5cp* p = spline->FirstCp.get(); p; p = p->Next.get()) {
        const Vec3 at = resolver.Pos(*p, p->PositionParam());
        std::string v = "v ";
        AppendFloat(v, at.x);
        v += ' ';
        AppendFloat(v, at.y);
        v += ' ';
        AppendFloat(v, at.z);
        lines.push_back(std::move(v));
        element += ' ';
        AppendInt(element, next_vertex++);
        last = p;
      }
      // The closing segment of a loop, as the view draws it; a lone point needs a second
      // index to make a line at all.
      if (next_vertex - first == 1 || (last && last->HasLoopBit())) {
        element += ' ';
        AppendInt(element, first);
      }
      elements.push_back(std::move(element));
    }
  }
  lines.insert(lines.end(), std::make_move_iterator(elements.begin()),
               std::make_move_iterator(elements.end()));
  return lines;
}

}  // namespace zevrin
