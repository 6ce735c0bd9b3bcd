// The indexed import against the literal one on a thousand random face sets: shared edges in
// both directions, repeated and coinciding corners, layers that differ only in case, and
// templates with splines of their own.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "import/M_dxf.h"
#include "model/AM5_group.h"
#include "model/AM5_model.h"
#include "tests/LiteralImport.h"
#include "tests/TestUtil.h"

namespace zevrin {
namespace {

namespace fs = std::filesystem;

// A template whose mesh may hold splines of its own, some points attached.
LineList makeTemplate(std::mt19937& rng) {
  LineList l{"[MODELFILE]", "[MODEL]", "Bounds=0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0",
             "[MESH]"};
  const int splines = static_cast<int>(rng() % 4);
  for (int s = 0; s < splines; ++s) {
    const int n = 1 + static_cast<int>(rng() % 3);
    l.push_back("CPs=" + std::to_string(n));
    for (int k = 0; k < n; ++k) {
      const bool attached = rng() % 4 == 0;
      l.push_back(std::string("0 ") + (attached ? "1 " : "0 ") + std::to_string(1 + rng() % 9));
      l.push_back(attached ? std::to_string(1 + rng() % 9)
                           : std::to_string(rng() % 3) + " " + std::to_string(rng() % 2) + " 0");
      l.insert(l.end(), {"0", "0"});
    }
  }
  l.insert(l.end(), {"[ENDMESH]", "[ENDMODEL]", "[ENDMODELFILE]"});
  return l;
}

std::vector<Mdxf_3dface> makeFaces(std::mt19937& rng) {
  static const double kCoords[] = {0.0, -0.0, 1.0, 2.0, 0.5};
  static const char* kLayers[] = {"", "a", "A", "b", "Wall", "WALL", "z"};
  std::vector<Mdxf_3dface> faces(rng() % 40);
  for (Mdxf_3dface& f : faces) {
    static const int kCounts[] = {0, 1, 2, 3, 3, 3, 4, 4, 4, 4};
    f.CornerCount = kCounts[rng() % 10];
    for (Vec3& c : f.Corners)
      c = {kCoords[rng() % 5], kCoords[rng() % 4],
           rng() % 60 == 0 ? std::nan("") : kCoords[rng() % 2]};
    if (rng() % 4 == 0) f.Corners[1] = f.Corners[0];
    f.Layer = kLayers[rng() % 7];
  }
  return faces;
}

class RandomFaces : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    fs::current_path(dir_.path());  // resolving may write "attach_err.txt"
  }
  void TearDown() override { fs::current_path(old_); }
  test::ScratchDir dir_;
  fs::path old_;
};

// The saved model, and the group names of every point (which the file does not show).
LineList saved(M5amsuper& root, M5mesh& mesh) {
  LineList out;
  root.WriteSection(out);
  for (const auto& s : mesh.Splines) {
    for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get()) {
      std::string names = "names";
      for (const std::string& n : p->GroupNames) names += " " + n;
      out.push_back(names);
    }
  }
  return out;
}

TEST_F(RandomFaces, IndexedImportEqualsLiteralImport) {
  for (std::uint32_t seed = 1; seed <= 1000; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    const LineList tpl = makeTemplate(rng);
    Mdxf polygons;
    polygons.Faces = makeFaces(rng);
    polygons.CollectLayers();

    M5amsuper fast;
    fast.ReadSection(tpl, 0);
    fast.ImportPolygons(polygons);
    auto& fast_model = dynamic_cast<M5model&>(*fast.Entries[0].Child);

    // The literal steps: edges compared with every kept spline, points with every point,
    // one FillFromCps per layer.
    M5amsuper slow;
    slow.ReadSection(tpl, 0);
    auto& model = dynamic_cast<M5model&>(*slow.Entries[0].Child);
    literal::literalBuildFromFaces(*model.Mesh, polygons.Faces);
    model.Entries[0].Text = "Bounds=" + model.Mesh->BoundsText;
    M5cplist list(model.Mesh->Splines);
    for (const std::string& name : polygons.Layers) {
      auto group = std::make_unique<M5group>();
      group->GroupName = name;
      group->FillFromCps(list);
      model.AddChild(std::move(group));
    }
    ASSERT_EQ(saved(fast, *fast_model.Mesh), saved(slow, *model.Mesh));
  }
}

}  // namespace
}  // namespace zevrin
