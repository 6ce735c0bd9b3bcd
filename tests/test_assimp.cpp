// Polygon files read through Assimp (OBJ, STL in both forms, PLY), opened and saved as a user
// does, with the general reader registered as the programs register it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "app/session/Document.h"
#include "import/assimp/M_assimp.h"
#include "mesh/M_export.h"
#include "model/tree/AM_const.h"
#include "tests/TestUtil.h"
#include "util/Errors.h"
#include "util/FmxUtils.h"

namespace zevrin {
namespace {

namespace fs = std::filesystem;
const std::string kTemplate = std::string(ZEVRIN_EXAMPLES) + "/../data/animas_reference.mdl";

// What a user reads off a saved model: splines, control points with their own position (the
// others are attached to one of them), and the number of ids in each GROUP.
struct Saved {
  int splines = 0;
  int positions = 0;
  std::map<std::string, int> groups;

  explicit Saved(const LineList& l) {
    for (std::size_t i = 0; i < l.size(); ++i) {
      if (l[i].starts_with("CPs=")) {
        ++splines;
        const int n = std::stoi(l[i].substr(4));
        for (int k = 0; k < n; ++k, i += 4) {
          std::istringstream first(l[i + 1]);
          std::string flags, attached;
          first >> flags >> attached;
          positions += attached != "1";
        }
      }
      if (l[i] == "[GROUP]") groups[l[i + 1].substr(5)] = std::stoi(l[i + 2].substr(6));
    }
  }
};

class AssimpImport : public test::InScratchDir {
 protected:
  void SetUp() override { session_.PolygonReader = &reader_; }

  // Writes `bytes` as `name`, opens it in the template and saves it; the saved model.
  Saved open(const std::string& name, const std::string& bytes) {
    const std::string path = dir_ / name;
    test::writeBytes(path, bytes);
    session_.CurrentFile = path;
    session_.TemplatePath = kTemplate;
    EXPECT_EQ(session_.LoadDocument().Outcome, LoadOutcome::Loaded) << name;
    session_.SaveDocument(path);
    return Saved(ReadFileLines(session_.SaveFile));
  }

  std::string describeError(const std::string& path) {
    session_.CurrentFile = path;
    session_.TemplatePath = kTemplate;
    try {
      session_.LoadDocument();
    } catch (const ZevrinError& e) {
      return e.describe(false);
    }
    return "no error";
  }

  AssimpPolygonReader reader_;
  DocumentSession session_;
};

// A unit cube of six quads (OBJ indices), in two groups.
const char* const kCubeObj =
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n"
    "g bottom\nf 1 4 3 2\n"
    "g sides\nf 1 2 6 5\nf 2 3 7 6\nf 3 4 8 7\nf 4 1 5 8\n"
    "g top\nf 5 6 7 8\n";

// Two by two quads on the plane z = 0.
std::string gridObj() {
  std::string out;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) out += "v " + std::to_string(x) + " " + std::to_string(y) + " 0\n";
  out += "o grid\n";
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) {
      const int a = y * 3 + x + 1;
      out += "f " + std::to_string(a) + " " + std::to_string(a + 1) + " " + std::to_string(a + 4) +
             " " + std::to_string(a + 3) + "\n";
    }
  return out;
}

// A pentagon with a triangle on one of its edges.
const char* const kPentagonObj =
    "v 0 0 0\nv 2 0 0\nv 3 1.5 0\nv 1 3 0\nv -1 1.5 0\nv 1 -1 0\n"
    "g pent\nf 1 2 3 4 5\ng tri\nf 2 1 6\n";

// The cube's twelve triangles, as STL facets.
std::vector<std::array<std::array<float, 3>, 3>> cubeTriangles() {
  const float v[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                         {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  const int quads[6][4] = {{0, 3, 2, 1}, {0, 1, 5, 4}, {1, 2, 6, 5},
                           {2, 3, 7, 6}, {3, 0, 4, 7}, {4, 5, 6, 7}};
  std::vector<std::array<std::array<float, 3>, 3>> out;
  const auto corner = [&](int i) { return std::array<float, 3>{v[i][0], v[i][1], v[i][2]}; };
  for (const auto& q : quads) {
    out.push_back({corner(q[0]), corner(q[1]), corner(q[2])});
    out.push_back({corner(q[0]), corner(q[2]), corner(q[3])});
  }
  return out;
}

std::string asciiStl(const std::string& name) {
  std::string out = "solid " + name + "\n";
  for (const auto& t : cubeTriangles()) {
    out += " facet normal 0 0 0\n  outer loop\n";
    for (const auto& c : t)
      out +=
          "   vertex " + FloatToStr(c[0]) + " " + FloatToStr(c[1]) + " " + FloatToStr(c[2]) + "\n";
    out += "  endloop\n endfacet\n";
  }
  return out + "endsolid " + name + "\n";
}

std::string binaryStl() {
  const auto triangles = cubeTriangles();
  std::string out(80, ' ');  // the header must not begin with "solid"
  const auto put = [&out](const void* p, std::size_t n) {
    out.append(static_cast<const char*>(p), n);
  };
  const auto count = static_cast<std::uint32_t>(triangles.size());
  put(&count, 4);
  for (const auto& t : triangles) {
    const float normal[3] = {0, 0, 0};
    put(normal, sizeof normal);
    for (const auto& c : t) put(c.data(), 12);
    const std::uint16_t attributes = 0;
    put(&attributes, 2);
  }
  return out;
}

std::string plyHeader(int vertices, int faces) {
  return "ply\nformat ascii 1.0\nelement vertex " + std::to_string(vertices) +
         "\nproperty float x\nproperty float y\nproperty float z\nelement face " +
         std::to_string(faces) + "\nproperty list uchar int vertex_indices\nend_header\n";
}

TEST_F(AssimpImport, ShapesKeepTheirFacesAndBecomeGroups) {
  // A cube of quads: 12 edges, 8 corners; the groups hold both ends of their splines.
  Saved s = open("cube.obj", kCubeObj);
  EXPECT_EQ(s.splines, 12);
  EXPECT_EQ(s.positions, 8);
  EXPECT_EQ(s.groups, (std::map<std::string, int>{{"bottom", 8}, {"sides", 24}, {"top", 8}}));

  // Quads stay quads: no diagonal.
  s = open("grid.obj", gridObj());
  EXPECT_EQ(s.splines, 12);
  EXPECT_EQ(s.positions, 9);
  EXPECT_EQ(s.groups, (std::map<std::string, int>{{"grid", 24}}));

  // The pentagon keeps its outline; the triangle shares one of its edges.
  s = open("pentagon.obj", kPentagonObj);
  EXPECT_EQ(s.splines, 7);
  EXPECT_EQ(s.positions, 6);
  EXPECT_EQ(s.groups, (std::map<std::string, int>{{"pent", 10}, {"tri", 6}}));

  // STL has triangles only: the cube gains its six face diagonals. The solid's name is the
  // group; the binary form gives the same mesh.
  s = open("cube_ascii.stl", asciiStl("box"));
  EXPECT_EQ(s.splines, 18);
  EXPECT_EQ(s.positions, 8);
  EXPECT_EQ(s.groups, (std::map<std::string, int>{{"box", 36}}));
  s = open("cube_binary.stl", binaryStl());
  EXPECT_EQ(s.splines, 18);
  EXPECT_EQ(s.positions, 8);
  ASSERT_EQ(s.groups.size(), 1u);
  EXPECT_EQ(s.groups.begin()->second, 36);

  // PLY names nothing: the file's name is the group.
  std::string ply = plyHeader(8, 6);
  for (const char* v : {"0 0 0", "1 0 0", "1 1 0", "0 1 0", "0 0 1", "1 0 1", "1 1 1", "0 1 1"})
    ply += std::string(v) + "\n";
  ply += "4 0 3 2 1\n4 0 1 5 4\n4 1 2 6 5\n4 2 3 7 6\n4 3 0 4 7\n4 4 5 6 7\n";
  s = open("cube.ply", ply);
  EXPECT_EQ(s.splines, 12);
  EXPECT_EQ(s.positions, 8);
  EXPECT_EQ(s.groups, (std::map<std::string, int>{{"cube", 24}}));
  s = open("pentagon.ply",
           plyHeader(5, 1) + "0 0 0\n2 0 0\n3 1.5 0\n1 3 0\n-1 1.5 0\n5 0 1 2 3 4\n");
  EXPECT_EQ(s.splines, 5);
  EXPECT_EQ(s.positions, 5);
}

TEST_F(AssimpImport, SameFacesAsDxfAndAsObjGiveTheSameModelFile) {
  // Coordinates that a float does not hold exactly must still come out as typed.
  const std::string dxf =
      "0\nSECTION\n2\nENTITIES\n"
      "0\n3DFACE\n8\nhull\n10\n0.1\n20\n0\n30\n0\n11\n1.3\n21\n0\n31\n0\n12\n1.3\n22\n2.7\n32\n0\n"
      "13\n0.1\n23\n2.7\n33\n0\n"
      "0\n3DFACE\n8\nfin\n10\n1.3\n20\n0\n30\n0\n11\n2.5\n21\n1\n31\n-0.2\n12\n1.3\n22\n2."
      "7\n32\n0\n"
      "13\n1.3\n23\n2.7\n33\n0\n"
      "0\nENDSEC\n0\nEOF\n";
  const std::string obj =
      "v 0.1 0 0\nv 1.3 0 0\nv 1.3 2.7 0\nv 0.1 2.7 0\nv 2.5 1 -0.2\n"
      "g hull\nf 1 2 3 4\ng fin\nf 2 5 3\n";
  const Saved from_dxf = open("same.dxf", dxf);
  const std::string dxf_model = test::readBytes(dir_ / "same.mdl");
  const Saved from_obj = open("same.obj", obj);
  EXPECT_EQ(from_dxf.splines, 6);
  EXPECT_EQ(from_obj.groups, (std::map<std::string, int>{{"fin", 6}, {"hull", 8}}));
  EXPECT_EQ(test::readBytes(dir_ / "same.mdl"), dxf_model);
}

// One quad, placed by its node ten units along X.
const char* const kMovedQuadDae =
    "<?xml version=\"1.0\"?><COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" "
    "version=\"1.4.1\"><library_geometries><geometry id=\"quad-mesh\"><mesh>"
    "<source id=\"pos\"><float_array id=\"xyz\" count=\"12\">0 0 0 1 0 0 1 1 0 0 1 0</float_array>"
    "<technique_common><accessor source=\"#xyz\" count=\"4\" stride=\"3\"><param name=\"X\" "
    "type=\"float\"/><param name=\"Y\" type=\"float\"/><param name=\"Z\" type=\"float\"/>"
    "</accessor></technique_common></source><vertices id=\"verts\"><input semantic=\"POSITION\" "
    "source=\"#pos\"/></vertices><polylist count=\"1\"><input semantic=\"VERTEX\" "
    "source=\"#verts\" offset=\"0\"/><vcount>4</vcount><p>0 1 2 3</p></polylist></mesh>"
    "</geometry></library_geometries><library_visual_scenes><visual_scene id=\"scene\">"
    "<node id=\"moved\" name=\"moved\"><translate>10 0 0</translate>"
    "<instance_geometry url=\"#quad-mesh\"/></node></visual_scene></library_visual_scenes>"
    "<scene><instance_visual_scene url=\"#scene\"/></scene></COLLADA>";

TEST_F(AssimpImport, NodesPlaceTheirMeshes) {
  const Saved s = open("moved.dae", kMovedQuadDae);
  EXPECT_EQ(s.splines, 4);
  EXPECT_EQ(s.groups, (std::map<std::string, int>{{"quad-mesh", 8}}));
  const LineList saved = ReadFileLines(dir_ / "moved.mdl");
  const auto bounds = std::find_if(saved.begin(), saved.end(),
                                   [](const std::string& l) { return l.starts_with("Bounds="); });
  ASSERT_NE(bounds, saved.end());
  EXPECT_EQ(*bounds, "Bounds=11 1 0 11 1 0 11 0 0 11 0 0 0 1 0 0 1 0 0 0 0 0 0 0");
}

TEST_F(AssimpImport, LinesAreEdgesAndPointsAreLeftOut) {
  const Saved s = open("wire.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\no wire\nl 1 2\nl 2 3\np 1\n");
  EXPECT_EQ(s.splines, 2);
  EXPECT_EQ(s.positions, 3);
}

TEST_F(AssimpImport, OnlyOtherExtensionsReachTheGeneralReader) {
  const auto kind = [&](const char* path) { return FileKindOf(path, &reader_); };
  EXPECT_EQ(kind("a.OBJ"), FileKind::Foreign);
  EXPECT_EQ(kind("a.stl"), FileKind::Foreign);
  EXPECT_EQ(kind("a.ply"), FileKind::Foreign);
  EXPECT_EQ(kind("a.3ds"), FileKind::Foreign);
  EXPECT_EQ(kind("a.mdl"), FileKind::Model);  // Assimp would take it for a Quake model
  EXPECT_EQ(kind("a.seg"), FileKind::Model);
  EXPECT_EQ(kind("a.DXF"), FileKind::Dxf);
  EXPECT_EQ(kind("a.rok"), FileKind::Rok);
  EXPECT_EQ(kind("a.txt"), FileKind::None);
  EXPECT_EQ(reader_.Patterns().find("*.mdl"), std::string::npos);
  EXPECT_EQ(reader_.Patterns().find("*.dxf"), std::string::npos);
  EXPECT_NE(reader_.Patterns().find("*.obj"), std::string::npos);

  // A DXF polyface mesh, which Assimp's own DXF reader would bring in, gives no face through
  // Zevrin's reader.
  const Saved s = open("polyface.dxf",
                       "0\nSECTION\n2\nENTITIES\n0\nPOLYLINE\n8\n0\n66\n1\n70\n64\n71\n3\n72\n1\n"
                       "0\nVERTEX\n8\n0\n10\n0\n20\n0\n30\n0\n70\n192\n"
                       "0\nVERTEX\n8\n0\n10\n1\n20\n0\n30\n0\n70\n192\n"
                       "0\nVERTEX\n8\n0\n10\n0\n20\n1\n30\n0\n70\n192\n"
                       "0\nVERTEX\n8\n0\n10\n0\n20\n0\n30\n0\n70\n128\n71\n1\n72\n2\n73\n3\n"
                       "0\nSEQEND\n0\nENDSEC\n0\nEOF\n");
  EXPECT_EQ(s.splines, 0);
}

TEST_F(AssimpImport, SaveNeverOverwritesThePolygonFile) {
  open("keep.obj", kCubeObj);
  EXPECT_EQ(session_.SaveFile, dir_ / "keep.mdl");
  EXPECT_EQ(test::readBytes(dir_ / "keep.obj"), kCubeObj);
  session_.SaveDocument(dir_ / "Other.STL");
  EXPECT_EQ(session_.SaveFile, dir_ / "Other.mdl");
}

TEST_F(AssimpImport, BadFilesNameTheFileAndKeepTheOpenDocument) {
  open("good.obj", kCubeObj);
  const M5amsuper* document = session_.Document.get();
  session_.Shared.Counts.Cps = 42;

  const std::string tiny = dir_ / "tiny.stl";
  test::writeBytes(tiny, "x");
  EXPECT_EQ(describeError(tiny), tiny + ": Cannot import the polygon file: File is too small");
  // A face naming a vertex that is not there.
  const std::string bad_index = dir_ / "bad_index.ply";
  test::writeBytes(bad_index, plyHeader(3, 1) + "0 0 0\n1 0 0\n0 1 0\n3 0 1 7\n");
  EXPECT_TRUE(describeError(bad_index).starts_with(bad_index + ": Cannot import the polygon file"))
      << describeError(bad_index);
  const std::string garbage = dir_ / "garbage.obj";
  test::writeBytes(garbage, std::string("v 1 2\nf 1 2 3 x\n\0\xff\xfe", 20));
  EXPECT_EQ(describeError(garbage),
            garbage + ": Cannot import the polygon file: OBJ: Invalid face index.");
  EXPECT_EQ(session_.Document.get(), document);
  EXPECT_EQ(session_.Shared.Counts.Cps, 42);

  // A model file is never handed to Assimp, even when it holds OBJ text.
  const std::string model = dir_ / "obj_text.mdl";
  test::writeBytes(model, kCubeObj);
  const std::string as_model = describeError(model);
  EXPECT_EQ(as_model.find("Cannot import"), std::string::npos) << as_model;
  if (as_model == "no error") {
    EXPECT_EQ(session_.Shared.Counts.Cps, 0);
  }
}

TEST_F(AssimpImport, ExportedPolylinesFollowTheSplines) {
  open("pentagon.obj", kPentagonObj);
  const LineList obj = WriteObjPolylines(*session_.Document);
  int vertices = 0;
  std::vector<std::string> elements;
  for (const std::string& line : obj) {
    vertices += line.starts_with("v ");
    if (line.starts_with("l ")) elements.push_back(line);
  }
  EXPECT_EQ(vertices, 14);  // every control point, welded or not
  ASSERT_EQ(elements.size(), 7u);
  EXPECT_EQ(elements[0], "l 1 2");
  // The attached points stand where their targets are: the first edge runs (0,0,0)-(2,0,0).
  EXPECT_EQ(obj[1], "v 0 0 0");
  EXPECT_EQ(obj[2], "v 2 0 0");
}

}  // namespace
}  // namespace zevrin
