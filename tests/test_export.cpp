// Patches out through Assimp's writers and back in through its readers: the real corpus files
// and OBJ grids come back face for face in every format, meshes keep their groups' names, and
// every file an export replaces is kept as .bak and replaced whole or not at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "app/session/Document.h"
#include "app/session/DocumentExport.h"
#include "import/assimp/M_assimp.h"
#include "import/assimp/M_assimp_export.h"
#include "tests/PatchTestUtil.h"
#include "tests/TestUtil.h"
#include "util/Errors.h"
#include "util/FmxUtils.h"

namespace zevrin {
namespace {

namespace fs = std::filesystem;
using test::FaceCycle;

const std::string kTemplate = std::string(ZEVRIN_EXAMPLES) + "/../data/animas_reference.mdl";
const std::string kData = ZEVRIN_TEST_DATA;
const std::vector<std::string> kFormats = {".obj", ".gltf", ".glb", ".stl", ".ply", ".fbx", ".dae"};

// Each corner of `faces` moved onto the corner of `reference` it stands for: the readers
// parse some numbers one or two float steps off (Assimp's fast number parser), and FBX in text
// keeps six decimal places. A corner with none near stays as it is.
std::set<FaceCycle> snappedTo(const std::set<FaceCycle>& faces,
                              const std::set<FaceCycle>& reference, bool six_decimals) {
  std::vector<test::Corner> known;
  for (const FaceCycle& f : reference) known.insert(known.end(), f.begin(), f.end());
  std::sort(known.begin(), known.end());
  known.erase(std::unique(known.begin(), known.end()), known.end());
  const auto near = [&](double a, double b) {
    const double step = std::ldexp(std::max(std::fabs(a), std::fabs(b)), -22) + 1e-37;
    return std::fabs(a - b) <= (six_decimals ? std::max(step, 6e-7) : step);
  };
  std::set<FaceCycle> out;
  for (const FaceCycle& f : faces) {
    std::vector<test::Corner> corners;
    for (const test::Corner& c : f) {
      test::Corner best = c;
      auto it =
          std::lower_bound(known.begin(), known.end(), test::Corner{c[0] - 1e-3, -1e300, -1e300});
      for (; it != known.end() && (*it)[0] <= c[0] + 1e-3; ++it)
        if (near((*it)[0], c[0]) && near((*it)[1], c[1]) && near((*it)[2], c[2])) best = *it;
      corners.push_back(best);
    }
    out.insert(test::cycleOf(corners));
  }
  return out;
}

class Export : public test::InScratchDir {
 protected:
  void SetUp() override {
    session_.PolygonReader = &reader_;
    session_.TemplatePath = kTemplate;
  }

  void open(const std::string& path) {
    session_.CurrentFile = path;
    ASSERT_EQ(session_.LoadDocument().Outcome, LoadOutcome::Loaded) << path;
  }

  // The faces of a polygon file as Zevrin reads them.
  std::vector<Mdxf_3dface> facesOf(const std::string& path) {
    test::Step step;
    return ReadPolygonFile(path, session_.Polygons, &reader_, step)->Faces;
  }

  ExportResult exportTo(const std::string& path, bool triangulate = false) {
    ExportOptions options;
    options.Triangulate = triangulate;
    return ExportPatches(session_, path, writer_, options);
  }

  AssimpPolygonReader reader_;
  AssimpPolygonWriter writer_;
  DocumentSession session_;
};

// What each corpus file gives: the patches found, the holes and the sets that cannot be turned
// one way, and how many faces beyond the file's own come back (the four-sided openings of the
// rifle, which as splines close patches like any other loop of four).
struct CorpusCase {
  const char* file;
  std::size_t patches, holes, unorientable, extra_quads;
};

const CorpusCase kCorpus[] = {
    {"assimp_pinkegg_lightwave.dxf", 288, 0, 0, 0},
    {"assimp_rifle_ac3d.dxf", 579, 7, 0, 7},
    {"ezdxf_3dface_acad2018.dxf", 28, 0, 0, 0},
    {"ezdxf_minimal_r10.dxf", 2, 1, 0, 0},
    {"ezdxf_poli_all_r12.DXF", 1, 0, 0, 0},
    {"gdal_3dface.dxf", 0, 0, 0, 0},  // both faces have no area: nothing to export
    {"pyramid_mixed_lines.rok", 5, 0, 0, 0},
    {"pentagon.obj", 1, 2, 0, 0},  // the pentagon is an opening beside the triangle
};

TEST_F(Export, CorpusFilesComeBackFaceForFaceInEveryFormat) {
  for (const CorpusCase& c : kCorpus) {
    SCOPED_TRACE(c.file);
    const std::string source = kData + "/" + c.file;
    open(source);
    const std::set<FaceCycle> own = test::patchableFaces(facesOf(source));
    for (const std::string& ext : kFormats) {
      SCOPED_TRACE(ext);
      const std::string out = dir_ / (fs::path(c.file).stem().string() + ext);
      if (c.patches == 0) {
        EXPECT_THROW(exportTo(out), ZevrinError);
        EXPECT_FALSE(fs::exists(out));
        continue;
      }
      const ExportResult result = exportTo(out);
      EXPECT_EQ(result.Counts.Faces(), c.patches);
      EXPECT_EQ(result.Counts.Holes, c.holes);
      EXPECT_EQ(result.Counts.Unorientable, c.unorientable);
      const bool triangles = !writer_.HoldsQuads(ext);
      const std::set<FaceCycle> wanted = test::asFloats(triangles ? test::triangulated(own) : own);
      const std::set<FaceCycle> back =
          snappedTo(test::faceSet(facesOf(out), test::exact), wanted, ext == ".fbx");
      std::set<FaceCycle> missing, extra;
      std::set_difference(wanted.begin(), wanted.end(), back.begin(), back.end(),
                          std::inserter(missing, missing.end()));
      std::set_difference(back.begin(), back.end(), wanted.begin(), wanted.end(),
                          std::inserter(extra, extra.end()));
      EXPECT_TRUE(missing.empty()) << missing.size() << " faces missing";
      EXPECT_EQ(extra.size(), c.extra_quads * (triangles ? 2 : 1));
      for (const FaceCycle& f : extra) EXPECT_EQ(f.size(), triangles ? 3u : 4u);
    }
  }
}

// An OBJ grid of quads and triangles in two groups, through every format that names its
// meshes: each face comes back on its group; STL and PLY hold one mesh without names.
TEST_F(Export, ObjGridKeepsItsGroupsAsMeshes) {
  std::ostringstream obj;
  const int n = 30;
  for (int y = 0; y <= n; ++y)
    for (int x = 0; x <= n; ++x) obj << "v " << x << " " << y << " " << (x * y) % 3 * 0.25 << "\n";
  const auto at = [&](int x, int y) { return y * (n + 1) + x + 1; };
  for (int half = 0; half < 2; ++half) {
    obj << "g " << (half ? "north" : "south") << "\n";
    for (int y = half * n / 2; y < (half + 1) * n / 2; ++y)
      for (int x = 0; x < n; ++x) {
        if ((x + y) % 3)
          obj << "f " << at(x, y) << " " << at(x + 1, y) << " " << at(x + 1, y + 1) << " "
              << at(x, y + 1) << "\n";
        else
          obj << "f " << at(x, y) << " " << at(x + 1, y) << " " << at(x + 1, y + 1) << "\nf "
              << at(x, y) << " " << at(x + 1, y + 1) << " " << at(x, y + 1) << "\n";
      }
  }
  const std::string grid = dir_ / "grid.obj";
  test::writeBytes(grid, obj.str());
  open(grid);
  const auto original = test::layerOfFaces(facesOf(grid), test::asFloat);
  for (const std::string& ext : kFormats) {
    SCOPED_TRACE(ext);
    const std::string out = dir_ / ("grid_out" + ext);
    const ExportResult result = exportTo(out);
    EXPECT_EQ(result.Counts.Holes, 1u);  // the grid's border
    const auto back = test::layerOfFaces(facesOf(out), test::exact);
    if (!writer_.HoldsQuads(ext)) {
      std::set<FaceCycle> faces;
      for (const auto& [f, layer] : original) faces.insert(f);
      EXPECT_EQ(back.size(), test::triangulated(faces).size());
    } else if (ext == ".ply") {
      EXPECT_EQ(back.size(), original.size());
    } else if (ext == ".dae") {
      // Collada gives a geometry an id apart from its node's ("north_1"); its name attribute
      // is the group's, but the reader names the mesh by the id.
      std::map<FaceCycle, std::string> named;
      for (const auto& [f, layer] : back) named[f] = layer.substr(0, layer.rfind('_'));
      EXPECT_EQ(named, original);
    } else {
      EXPECT_EQ(back, original);
    }
  }
  // The same with --triangulate: OBJ then holds triangles only.
  exportTo(dir_ / "tri.obj", true);
  for (const Mdxf_3dface& f : facesOf(dir_ / "tri.obj")) EXPECT_EQ(f.CornerCount, 3);
}

// A closed surface leaves with its faces turned out, whatever way the file had them.
TEST_F(Export, ClosedSurfacesFaceOut) {
  test::IndexedMesh sphere = test::octaSphere(2);
  for (std::size_t f = 0; f < sphere.faces.size(); f += 2)
    std::reverse(sphere.faces[f].begin(), sphere.faces[f].end());
  std::ostringstream obj;
  for (const Vec3& p : sphere.points) obj << "v " << p.x << " " << p.y << " " << p.z << "\n";
  for (const auto& f : sphere.faces)
    obj << "f " << f[0] + 1 << " " << f[1] + 1 << " " << f[2] + 1 << "\n";
  test::writeBytes(dir_ / "ball.obj", obj.str());
  open(dir_ / "ball.obj");
  for (const std::string& ext : {std::string(".obj"), std::string(".glb"), std::string(".stl")}) {
    SCOPED_TRACE(ext);
    exportTo(dir_ / ("ball_out" + ext));
    const auto faces = facesOf(dir_ / ("ball_out" + ext));
    ASSERT_EQ(faces.size(), sphere.faces.size());
    for (const Mdxf_3dface& f : faces) {
      const Vec3 &a = f.Corners[0], &b = f.Corners[1], &c = f.Corners[2];
      const Vec3 n{(b.y - a.y) * (c.z - a.z) - (b.z - a.z) * (c.y - a.y),
                   (b.z - a.z) * (c.x - a.x) - (b.x - a.x) * (c.z - a.z),
                   (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x)};
      EXPECT_GT(n.x * a.x + n.y * a.y + n.z * a.z, 0);
    }
  }
}

// Every file an export replaces is kept as .bak; a glTF file and its buffer are both written
// and both kept. A write that fails leaves every file as it was.
TEST_F(Export, ReplacedFilesAreKeptAndWrittenWhole) {
  open(kData + "/pyramid_mixed_lines.rok");
  const std::string out = dir_ / "p.gltf";
  const ExportResult first = exportTo(out);
  ASSERT_EQ(first.Files.size(), 2u);
  EXPECT_EQ(first.Files[0], out);
  const std::string buffer = first.Files[1];
  EXPECT_TRUE(buffer.ends_with(".bin"));
  EXPECT_NE(test::readBytes(out).find(fs::path(buffer).filename().string()), std::string::npos);
  EXPECT_FALSE(fs::exists(out + ".bak"));

  test::writeBytes(out, "old gltf");
  test::writeBytes(buffer, "old bin");
  exportTo(out);
  EXPECT_EQ(test::readBytes(out + ".bak"), "old gltf");
  EXPECT_EQ(test::readBytes(buffer + ".bak"), "old bin");
  EXPECT_EQ(facesOf(out).size(), 6u);  // four sides, the base as two triangles

  // A disk that fills up: the error says so and nothing is replaced.
  const std::string obj = dir_ / "p.obj";
  test::writeBytes(obj, "old obj");
  session_.Writer = [](const char*, std::size_t size, std::FILE*) { return size / 2; };
  EXPECT_THROW(exportTo(obj), ZevrinError);
  session_.Writer = {};
  EXPECT_EQ(test::readBytes(obj), "old obj");
}

TEST_F(Export, ErrorsNameTheFile) {
  open(kData + "/halvejoin_in.mdl");
  const auto message = [&](const std::string& path) {
    try {
      exportTo(path);
    } catch (const ZevrinError& e) {
      return e.describe(false);
    }
    return std::string("no error");
  };
  EXPECT_EQ(message(dir_ / "x.obj"),
            kData +
                "/halvejoin_in.mdl: Nothing to export: no three or four spline segments close "
                "a patch");
  EXPECT_EQ(message(dir_ / "x.xyz"), dir_ / "x.xyz" + ": Error:filename Extension!!");
  EXPECT_FALSE(fs::exists(dir_ / "x.obj"));
}

}  // namespace
}  // namespace zevrin
