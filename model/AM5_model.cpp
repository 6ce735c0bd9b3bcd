#include "model/AM5_model.h"

#include <algorithm>

#include "mesh/AM5_mesh.h"
#include "model/AM5_group.h"

namespace zevrin {

void M5model::FinishRead() {
  M5amsuper::FinishRead();
  Mesh = nullptr;
  Groups.clear();
  MCommaStr tokens;
  for (const Entry& e : Entries) {
    if (e.Child) {
      if (SameKeyword(e.Child->Name, "MESH")) {
        if (auto* mesh = dynamic_cast<M5mesh*>(e.Child.get())) Mesh = mesh;
      } else if (SameKeyword(e.Child->Name, "GROUP")) {
        if (auto* group = dynamic_cast<M5group*>(e.Child.get())) Groups.push_back(group);
      }
      continue;
    }
    tokens.Separator = "=";
    tokens.SetText(e.Text);
    if (!SameKeyword(tokens.NextToken(), "Bounds")) continue;
    WithLine(e.Line, [&] {
      tokens.Separator = " ";
      for (int k = 0; k < 3; ++k) tokens.NextToken();
      BoundsMax.x = StrToFloat(tokens.NextToken());
      BoundsMax.y = StrToFloat(tokens.NextToken());
      BoundsMax.z = StrToFloat(tokens.NextToken());
      for (int k = 0; k < 12; ++k) tokens.NextToken();
      BoundsMin.x = StrToFloat(tokens.NextToken());
      BoundsMin.y = StrToFloat(tokens.NextToken());
      BoundsMin.z = StrToFloat(tokens.NextToken());
    });
  }
  if (Mesh) {
    const auto widen = [](double& lo, double& hi, double mesh_lo, double mesh_hi) {
      if (!(hi >= mesh_hi)) hi = mesh_hi;
      if (lo > mesh_lo) lo = mesh_lo;
    };
    widen(BoundsMin.x, BoundsMax.x, Mesh->BoundsMin.x, Mesh->BoundsMax.x);
    widen(BoundsMin.y, BoundsMax.y, Mesh->BoundsMin.y, Mesh->BoundsMax.y);
    widen(BoundsMin.z, BoundsMax.z, Mesh->BoundsMin.z, Mesh->BoundsMax.z);
  }
}

bool M5model::GetBounds(Vec3& min, Vec3& max) {
  min = BoundsMin;
  max = BoundsMax;
  return true;
}

void M5model::RemoveGroups() {
  for (std::size_t k = Entries.size(); k-- > 0;) {
    const auto& child = Entries[k].Child;
    if (!child || !SameKeyword(child->Name, "GROUP")) continue;
    std::erase(Groups, child.get());
    Entries.erase(Entries.begin() + static_cast<std::ptrdiff_t>(k));
  }
}

}  // namespace zevrin
