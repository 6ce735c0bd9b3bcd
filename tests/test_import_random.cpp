// The indexed import against the literal one on a thousand random face sets: shared edges in
// both directions, repeated and coinciding corners, layers that differ only in case, and
// templates with splines of their own.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <stdexcept>

#include "import/M_dxf.h"
#include "model/AM5_group.h"
#include "model/AM5_model.h"
#include "model/tree/AM_const.h"
#include "tests/LiteralImport.h"
#include "tests/TestUtil.h"
#include "util/Errors.h"

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

class RandomFaces : public test::InScratchDir {};

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

// Each face set is imported with the splines made on a second thread (every import) and on
// the calling thread alone (none).
class ImportThreads : public RandomFaces, public ::testing::WithParamInterface<std::size_t> {};
INSTANTIATE_TEST_SUITE_P(Both, ImportThreads, ::testing::Values(0, SIZE_MAX),
                         [](const ::testing::TestParamInfo<std::size_t>& param) {
                           return param.param == 0 ? "SecondThread" : "OneThread";
                         });

TEST_P(ImportThreads, IndexedImportEqualsLiteralImport) {
  for (std::uint32_t seed = 1; seed <= 1000; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    const LineList tpl = makeTemplate(rng);
    Mdxf polygons;
    polygons.Faces = makeFaces(rng);
    polygons.CollectLayers();

    M5amsuper fast;
    test::Step step;
    step.Import.ThreadedFromFaces = GetParam();
    fast.ReadSection(tpl, 0, step);
    fast.ImportPolygons(polygons, step);
    auto& fast_model = dynamic_cast<M5model&>(*fast.Entries[0].Child);

    // The literal steps: edges compared with every kept spline, points with every point,
    // one FillFromCps per layer.
    M5amsuper slow;
    slow.ReadSection(tpl, 0, step);
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

// Larger sets, beyond what the literal import does in reasonable time: the spline maker
// running behind the decisions on its own thread must give what one thread gives. Few
// distinct corners make most edges shared, many times over.
TEST_F(RandomFaces, ThreadedImportEqualsOneThread) {
  const auto import = [](const LineList& tpl, Mdxf& polygons, std::size_t threaded_from) {
    auto root = std::make_unique<M5amsuper>();
    test::Step step;
    step.Import.ThreadedFromFaces = threaded_from;
    root->ReadSection(tpl, 0, step);
    root->ImportPolygons(polygons, step);
    return root;
  };
  for (std::uint32_t seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    const LineList tpl = makeTemplate(rng);
    Mdxf polygons;
    polygons.Faces.resize(3000 + rng() % 3000);
    const int spread = 2 + static_cast<int>(rng() % 30);
    for (Mdxf_3dface& f : polygons.Faces) {
      f.CornerCount = 3 + static_cast<int>(rng() % 2);
      for (Vec3& c : f.Corners)
        c = {static_cast<double>(rng() % spread), static_cast<double>(rng() % spread),
             rng() % 500 == 0 ? std::nan("") : 0.0};
      f.Layer = std::string(1, static_cast<char>('a' + rng() % 5));
    }
    polygons.CollectLayers();
    auto threaded = import(tpl, polygons, 0);
    auto alone = import(tpl, polygons, SIZE_MAX);
    auto& a = dynamic_cast<M5model&>(*threaded->Entries[0].Child);
    auto& b = dynamic_cast<M5model&>(*alone->Entries[0].Child);
    ASSERT_EQ(saved(*threaded, *a.Mesh), saved(*alone, *b.Mesh));
  }
}

// A failure on the deciding thread (here the progress bar, stepped there) must stop and join
// the spline maker waiting for decisions, not leave the import hanging.
TEST_F(RandomFaces, AFailureWhileDecidingReleasesTheSplineMaker) {
  struct FailingBar : BasicProgressBar {
    void StepIt() override { throw std::runtime_error("stepped"); }
  } bar;
  Mdxf polygons;
  polygons.Faces.resize(5000);
  for (std::size_t i = 0; i < polygons.Faces.size(); ++i) {
    Mdxf_3dface& f = polygons.Faces[i];
    f.CornerCount = 3;
    f.Corners = {Vec3{double(i), 0, 0}, Vec3{double(i) + 1, 0, 0}, Vec3{double(i), 1, 0},
                 Vec3{double(i), 1, 0}};
  }
  M5amsuper root;
  test::Step step(Progress(nullptr, &bar));
  step.Import.ThreadedFromFaces = 0;
  root.ReadSection(test::lines({"[MODELFILE]", "[MODEL]", "[MESH]", "[ENDMESH]", "[ENDMODEL]",
                                "[ENDMODELFILE]"}),
                   0, step);
  EXPECT_THROW(root.ImportPolygons(polygons, step), std::runtime_error);
}

// ---- a large DXF text read in two halves at once ----

// A DXF text of random pairs: mostly faces of the ENTITIES section, with other sections
// (faces in BLOCKS too), other entities, codes with blanks, values in any case, a code
// "3DFACE" after a value "0", an odd line that shifts the pairs, a bad number, an early EOF,
// and LF, CR LF or lone CR line ends. Wherever the middle falls, the split must be taken or
// refused so that the reading equals one reading from the start.
std::string makeDxfText(std::mt19937& rng) {
  std::vector<std::pair<std::string, std::string>> pairs;
  const auto face = [&] {
    pairs.push_back({rng() % 3 ? "0" : "  0", rng() % 5 ? "3DFACE" : "3dface"});
    if (rng() % 4) pairs.push_back({"8", std::string(1, static_cast<char>('A' + rng() % 4))});
    if (rng() % 3 == 0) pairs.push_back({"62", std::to_string(rng() % 256)});
    const int corners = 3 + static_cast<int>(rng() % 2);
    for (int k = 0; k < corners; ++k)
      for (int axis = 1; axis <= 3; ++axis)
        pairs.push_back(
            {std::to_string(10 * axis + k), std::to_string(static_cast<int>(rng() % 20) - 10) +
                                                "." + std::to_string(rng() % 1000)});
  };
  const int rare = static_cast<int>(rng() % 40);
  pairs.push_back({"0", "SECTION"});
  pairs.push_back({"2", rng() % 8 ? "ENTITIES" : "HEADER"});
  const int count = 20 + static_cast<int>(rng() % 120);
  for (int k = 0; k < count; ++k) {
    const int pick = static_cast<int>(rng() % 100);
    if (pick < 80) {
      face();
    } else if (pick < 84) {
      pairs.push_back({"0", "LINE"});
      pairs.push_back({"10", "1"});
    } else if (pick < 87) {
      pairs.push_back({"0", "ENDSEC"});
      pairs.push_back({"0", "SECTION"});
      pairs.push_back({"2", rng() % 2 ? "BLOCKS" : "ENTITIES"});
    } else if (pick < 89) {
      pairs.push_back({"8", "0"});
      pairs.push_back({"3DFACE", "x"});
    } else if (pick < 90 && rare == 0) {
      pairs.push_back({"10", "1.2.3"});
    } else if (pick < 91 && rare == 1) {
      pairs.push_back({"0", "EOF"});
    } else if (pick < 92 && rare == 2) {
      pairs.push_back({"999", ""});
      pairs.back().second = "\x01odd";  // marks one line without its pair below
    } else {
      face();
    }
  }
  if (rng() % 2) {
    pairs.push_back({"0", "ENDSEC"});
    pairs.push_back({"0", "EOF"});
  }
  static const char* kEnds[] = {"\n", "\r\n", "\r"};
  const char* end = kEnds[rng() % 10 == 0 ? 2 : rng() % 2];
  std::string text;
  for (const auto& [code, value] : pairs) {
    text += code;
    text += end;
    if (value == "\x01odd") continue;
    text += value;
    text += end;
  }
  return text;
}

struct ReadResult {
  std::vector<Mdxf_3dface> faces;
  std::vector<std::string> layers;
  std::string error;
  std::int32_t line = 0;
  bool halves = false;
};

bool sameFaces(const std::vector<Mdxf_3dface>& a, const std::vector<Mdxf_3dface>& b) {
  if (a.size() != b.size()) return false;
  const auto same = [](double x, double y) {
    return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y);
  };
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].CornerCount != b[i].CornerCount || a[i].Layer != b[i].Layer ||
        a[i].Color != b[i].Color)
      return false;
    for (std::size_t k = 0; k < 4; ++k)
      if (!same(a[i].Corners[k].x, b[i].Corners[k].x) ||
          !same(a[i].Corners[k].y, b[i].Corners[k].y) ||
          !same(a[i].Corners[k].z, b[i].Corners[k].z))
        return false;
  }
  return true;
}

template <class Read>
ReadResult readDxf(Read read) {
  ReadResult r;
  Mdxf dxf;
  try {
    read(dxf);
  } catch (const ZevrinError& e) {
    r.error = e.describe(false);
    r.line = e.line();
  }
  r.faces = std::move(dxf.Faces);
  r.layers = dxf.Layers;
  r.halves = dxf.ReadInHalves;
  return r;
}

TEST(DxfHalves, ReadingInTwoHalvesEqualsOneReading) {
  int split_taken = 0;
  int errors = 0;
  for (std::uint32_t seed = 1; seed <= 2000; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    const std::string text = makeDxfText(rng);
    const ReadResult halves = readDxf([&](Mdxf& d) {
      d.ParallelFromBytes = 0;
      d.ReadText(text, test::Step()());
    });
    const ReadResult one =
        readDxf([&](Mdxf& d) { d.ReadSection(SplitLines(text), 0, test::Step()()); });
    ASSERT_EQ(halves.error, one.error);
    ASSERT_EQ(halves.line, one.line);
    if (!one.error.empty()) {
      ++errors;
      continue;
    }
    ASSERT_TRUE(sameFaces(halves.faces, one.faces));
    ASSERT_EQ(halves.layers, one.layers);
    split_taken += halves.halves;
  }
  // The generator reaches both outcomes.
  EXPECT_GT(errors, 10);
  EXPECT_GT(split_taken, 700);
  EXPECT_LT(split_taken, 1950);
}

}  // namespace
}  // namespace zevrin
