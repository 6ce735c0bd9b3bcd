// Polygon files read through Assimp (OBJ, STL in both forms, PLY, Collada, OFF), opened and
// saved as a user does, with the general reader registered as the programs register it; and
// the reader process that keeps Assimp out of Zevrin's own: its limits, its errors, its answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "app/session/Document.h"
#include "import/assimp/FaceStream.h"
#include "import/assimp/M_assimp.h"
#include "import/assimp/ReaderProcess.h"
#include "mesh/M_export.h"
#include "model/tree/AM_const.h"
#include "tests/TestUtil.h"
#include "util/Errors.h"
#include "util/FmxUtils.h"

namespace zevrin {
namespace {

namespace fs = std::filesystem;
const std::string kTemplate = std::string(ZEVRIN_EXAMPLES) + "/../data/animas_reference.mdl";
const std::string kTestData = ZEVRIN_TEST_DATA;

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

  // The error that opening `path` raises; none: ADD_FAILURE and a Cancelled error.
  ZevrinError errorOf(const std::string& path) {
    session_.CurrentFile = path;
    session_.TemplatePath = kTemplate;
    try {
      session_.LoadDocument();
    } catch (const ZevrinError& e) {
      return e;
    }
    ADD_FAILURE() << path << " opened";
    return ZevrinError(ErrorKind::Cancelled, "");
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

// ---- the reader process ----------------------------------------------------------------

// The misbehaviour of the helper that the tests ask for (see import/assimp/ReaderMain.cpp),
// while the object lives.
class Fault {
 public:
  explicit Fault(const std::string& kind) { setenv("ZEVRIN_READER_TEST_FAULT", kind.c_str(), 1); }
  ~Fault() { unsetenv("ZEVRIN_READER_TEST_FAULT"); }
  Fault(const Fault&) = delete;
  Fault& operator=(const Fault&) = delete;
};

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The files of the issue: PLY files cut short, on which Assimp 5.2.5 loops for ever.
const std::pair<const char*, const char*> kCutPly[] = {
    {"cut.ply", "ply\nformat ascii"},
    {"cut2.ply", "ply\nformat ascii 1.0\nelement vertex 3\n"},
    {"cut3.ply", "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\n"},
};

TEST_F(AssimpImport, CutPlyFilesEndInTheTimeLimitAndKeepTheOpenDocument) {
  open("good.obj", kCubeObj);
  const M5amsuper* document = session_.Document.get();
  const MeshCounts counts = session_.Shared.Counts;
  reader_.Limits.Seconds = 1;
  for (const auto& [name, bytes] : kCutPly) {
    const std::string path = dir_ / name;
    test::writeBytes(path, bytes);
    const auto start = std::chrono::steady_clock::now();
    const ZevrinError e = errorOf(path);
    const double took = secondsSince(start);
    EXPECT_EQ(e.kind(), ErrorKind::ReaderTimeout) << name;
    EXPECT_EQ(e.describe(false), path + ": Reading the polygon file did not finish within 1 s");
    EXPECT_EQ(e.describe(true),
              path + ": ポリゴンファイルの読み込みが 1 秒以内に終わりませんでした");
    EXPECT_GE(took, 1.0) << name;
    EXPECT_LT(took, 4.0) << name;
  }
  EXPECT_EQ(session_.Document.get(), document);
  EXPECT_EQ(session_.Shared.Counts, counts);
}

TEST_F(AssimpImport, TheDefaultTimeLimitGrowsWithTheFile) {
  EXPECT_EQ(PolygonReaderLimits::DefaultSeconds(0), 10);
  EXPECT_EQ(PolygonReaderLimits::DefaultSeconds(1), 11);
  EXPECT_EQ(PolygonReaderLimits::DefaultSeconds(std::uint64_t{40} << 20), 50);
  EXPECT_EQ(reader_.SecondsFor(std::uint64_t{40} << 20), 50);
  reader_.Limits.Seconds = 2.5;
  EXPECT_EQ(reader_.SecondsFor(std::uint64_t{40} << 20), 2.5);
  EXPECT_EQ(PolygonReaderLimits::DefaultMemoryBytes(0), std::uint64_t{2} << 30);
  EXPECT_EQ(PolygonReaderLimits::DefaultMemoryBytes(1 << 20),
            (std::uint64_t{2} << 30) + (64 << 20));
  EXPECT_EQ(PolygonReaderLimits::DefaultMemoryBytes(UINT64_MAX), UINT64_MAX);
  // A cut file under the default limit fails in ten seconds: not waited for here, the limit is.
}

TEST_F(AssimpImport, AReaderThatMisbehavesEndsInItsNamedError) {
  open("good.obj", kCubeObj);
  const M5amsuper* document = session_.Document.get();
  const std::string path = dir_ / "shape.obj";
  test::writeBytes(path, kPentagonObj);
  reader_.Limits.Seconds = 2;
  const struct {
    const char* fault;
    ErrorKind kind;
    const char* english;
    const char* japanese;
  } cases[] = {
      {"signal", ErrorKind::ReaderCrashed, "The polygon file reader crashed (SIGSEGV)",
       "ポリゴンファイルの読み込みプロセスが異常終了しました (SIGSEGV)"},
      {"garbage", ErrorKind::ReaderBadAnswer,
       "The polygon file reader gave a malformed answer (at byte 0)",
       "ポリゴンファイルの読み込みプロセスの応答が不正です (0 バイト目)"},
      {"exit", ErrorKind::ReaderExited,
       "The polygon file reader ended without an answer (exit status 3)",
       "ポリゴンファイルの読み込みプロセスが応答せずに終了しました (終了コード 3)"},
      {"hang", ErrorKind::ReaderTimeout, "Reading the polygon file did not finish within 2 s",
       "ポリゴンファイルの読み込みが 2 秒以内に終わりませんでした"},
  };
  for (const auto& c : cases) {
    const Fault fault(c.fault);
    const ZevrinError e = errorOf(path);
    EXPECT_EQ(e.kind(), c.kind) << c.fault;
    EXPECT_EQ(e.describe(false), path + ": " + c.english);
    EXPECT_EQ(e.describe(true), path + ": " + c.japanese);
  }
  {
    // Half of a true answer: malformed where it ends.
    const Fault fault("truncate");
    const ZevrinError e = errorOf(path);
    EXPECT_EQ(e.kind(), ErrorKind::ReaderBadAnswer);
    EXPECT_TRUE(e.describe(false).starts_with(path + ": The polygon file reader gave a malformed"))
        << e.describe(false);
  }
  EXPECT_EQ(session_.Document.get(), document);
  // And the next file opens as ever.
  EXPECT_EQ(open("again.obj", kCubeObj).splines, 12);
}

TEST_F(AssimpImport, AReaderOverItsMemoryLimitIsNamed) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer's shadow memory takes more address space than any limit";
#endif
  const std::string path = dir_ / "shape.obj";
  test::writeBytes(path, kPentagonObj);
  reader_.Limits.MemoryBytes = std::uint64_t{512} << 20;
  const Fault fault("memory");
  const ZevrinError e = errorOf(path);
  EXPECT_EQ(e.kind(), ErrorKind::ReaderOutOfMemory);
  EXPECT_EQ(e.describe(false),
            path + ": Reading the polygon file needs more than 512 MB of memory");
  EXPECT_EQ(e.describe(true),
            path + ": ポリゴンファイルの読み込みに 512 MB を超えるメモリが必要です");
}

TEST_F(AssimpImport, TheReaderHasOnlyItsPipeAndNoFileToWrite) {
  const std::string path = dir_ / "shape.obj";
  test::writeBytes(path, kPentagonObj);
  reader_.Limits.Seconds = 5;
  reader_.Limits.MemoryBytes = std::uint64_t{3} << 30;
  std::string reason;
  {
    const Fault fault("limits");
    reason = errorOf(path).argument();
  }
  std::map<std::string, std::string> limits;
  std::istringstream words(reason);
  for (std::string w; words >> w;) limits[w.substr(0, w.find('='))] = w.substr(w.find('=') + 1);
  EXPECT_EQ(limits["descriptors"], "3") << reason;
  EXPECT_EQ(limits["core"], "0");
  EXPECT_EQ(limits["fsize"], "0");
  EXPECT_EQ(limits["nofile"], "32");
  EXPECT_EQ(limits["cpu"], "6");  // a second past the wall clock
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_EQ(limits["as"], std::to_string(std::uint64_t{3} << 30));
#endif

  // A file it makes gets no byte; where the kernel denies the opening itself (Landlock), a
  // file that is there keeps what it holds.
  const std::string made = dir_ / "made.txt";
  {
    const Fault fault("write:" + made);
    const ZevrinError e = errorOf(path);
    EXPECT_TRUE(e.kind() == ErrorKind::ReaderCrashed || e.kind() == ErrorKind::ImportFailed)
        << e.describe(false);
    if (e.kind() == ErrorKind::ReaderCrashed) {
      EXPECT_EQ(e.argument(), "SIGXFSZ");
    }
  }
  EXPECT_TRUE(!fs::exists(made) || fs::file_size(made) == 0);
  if (limits["write"] == "denied") {
    EXPECT_FALSE(fs::exists(made));
    const std::string kept = dir_ / "kept.txt";
    test::writeBytes(kept, "keep");
    const Fault fault("write:" + kept);
    EXPECT_EQ(errorOf(path).argument(), "cannot write: Permission denied");
    EXPECT_EQ(test::readBytes(kept), "keep");
  }
}

TEST_F(AssimpImport, AMissingReaderIsNamed) {
  const std::string path = dir_ / "shape.obj";
  test::writeBytes(path, kPentagonObj);
  reader_.HelperPath = dir_ / "no-such-reader";
  const ZevrinError e = errorOf(path);
  EXPECT_EQ(e.kind(), ErrorKind::ReaderMissing);
  EXPECT_EQ(e.describe(false), path + ": The polygon file reader " + reader_.HelperPath +
                                   " is missing or cannot be started");
  EXPECT_EQ(e.describe(true), path + ": ポリゴンファイルの読み込みプログラム " +
                                  reader_.HelperPath + " がないか、起動できません");
  // Something that is there but no program (a folder, a file without the right to run).
  reader_.HelperPath = dir_.path().string();
  EXPECT_EQ(errorOf(path).kind(), ErrorKind::ReaderMissing);
  reader_.HelperPath = path;
  EXPECT_EQ(errorOf(path).kind(), ErrorKind::ReaderMissing);
}

TEST_F(AssimpImport, TheCancelFlagEndsTheReader) {
  test::StoppableProgress window;
  open("good.obj", kCubeObj);
  const M5amsuper* document = session_.Document.get();
  session_.Progress = &window;
  reader_.Limits.Seconds = 60;
  const std::string path = dir_ / "cut.ply";
  test::writeBytes(path, kCutPly[0].second);
  // The user presses Cancel while the reader loops.
  std::thread user([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    window.stop = true;
  });
  const auto start = std::chrono::steady_clock::now();
  const ZevrinError e = errorOf(path);
  const double took = secondsSince(start);
  user.join();
  EXPECT_EQ(e.kind(), ErrorKind::Cancelled);
  EXPECT_EQ(e.describe(false), path + ": Cancelled");
  EXPECT_LT(took, 3.0);
  EXPECT_EQ(session_.Document.get(), document);
  session_.Progress = nullptr;
}

// The same file read in this process and in the reader's gives the same faces, bit for bit,
// and the same saved model, byte for byte.
class BothWays : public AssimpImport {
 protected:
  void compare(const std::string& name, const std::string& bytes) {
    SCOPED_TRACE(name);
    const std::string path = dir_ / name;
    test::writeBytes(path, bytes);
    AssimpPolygonReader here;
    here.InProcess = true;
    test::Step step;
    const std::unique_ptr<Mpolycommon> a = here.Read(path, step);
    const std::unique_ptr<Mpolycommon> b = reader_.Read(path, step);
    ASSERT_EQ(a->Faces.size(), b->Faces.size());
    for (std::size_t i = 0; i < a->Faces.size(); ++i) {
      const Mdxf_3dface& x = a->Faces[i];
      const Mdxf_3dface& y = b->Faces[i];
      ASSERT_EQ(x.Layer, y.Layer) << i;
      ASSERT_EQ(x.CornerCount, y.CornerCount) << i;
      ASSERT_EQ(x.Color, y.Color) << i;
      ASSERT_EQ(std::memcmp(x.Corners.data(), y.Corners.data(), sizeof x.Corners), 0) << i;
      ASSERT_EQ(x.MoreCorners.size(), y.MoreCorners.size()) << i;
      if (!x.MoreCorners.empty()) {
        ASSERT_EQ(std::memcmp(x.MoreCorners.data(), y.MoreCorners.data(),
                              x.MoreCorners.size() * sizeof(Vec3)),
                  0)
            << i;
      }
    }
    EXPECT_EQ(a->Layers, b->Layers);

    session_.TemplatePath = kTemplate;
    session_.CurrentFile = path;
    session_.PolygonReader = &here;
    session_.LoadDocument();
    session_.SaveDocument(dir_ / "in_process.mdl");
    session_.PolygonReader = &reader_;
    session_.LoadDocument();
    session_.SaveDocument(dir_ / "child.mdl");
    EXPECT_EQ(test::readBytes(dir_ / "child.mdl"), test::readBytes(dir_ / "in_process.mdl"));
  }
};

TEST_F(BothWays, TheReaderProcessGivesWhatTheLibraryGives) {
  compare("cube.obj", kCubeObj);
  compare("grid.obj", gridObj());
  compare("pentagon.obj", kPentagonObj);
  compare("wire.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\no wire\nl 1 2\nl 2 3\np 1\n");
  compare("cube_ascii.stl", asciiStl("box"));
  compare("cube_binary.stl", binaryStl());
  compare("moved.dae", kMovedQuadDae);
  for (const auto& entry : fs::directory_iterator(kTestData + "/assimp"))
    compare(entry.path().filename().string(), test::readBytes(entry.path().string()));
  compare("pentagon_data.obj", test::readBytes(kTestData + "/pentagon.obj"));

  // Many faces of many corners in many groups, at coordinates no float holds exactly.
  std::mt19937 draw(7);
  std::string obj;
  for (int v = 0; v < 3000; ++v)
    obj += "v " + std::to_string(draw() % 100000 / 997.0) + " " +
           std::to_string(draw() % 1000 * 0.1) + " -" + std::to_string(draw() % 7919 / 3.0) + "\n";
  for (int f = 0; f < 6000; ++f) {
    if (f % 500 == 0) obj += "g part" + std::to_string(f / 500 % 5) + "\n";
    const int corners = 2 + static_cast<int>(draw() % 7);
    obj += corners == 2 ? "l" : "f";
    for (int c = 0; c < corners; ++c) obj += " " + std::to_string(1 + draw() % 3000);
    obj += "\n";
  }
  compare("random.obj", obj);
}

// ---- the answer --------------------------------------------------------------------------

std::string answerOf(const std::function<void(FaceStreamWriter&)>& write) {
  std::string out;
  FaceStreamWriter w([&](const char* data, std::size_t size) {
    out.append(data, size);
    return true;
  });
  write(w);
  return out;
}

// The page's build has no floating-point std::to_chars and widens by printf instead: both ways
// must give every float the same double, or a polygon file would give the page other
// coordinates than the desktop. Awkward floats by name, then random bit patterns and random
// decimals as a file would hold them.
TEST(WidenCoordinate, ThePrintfWayGivesWhatToCharsGives) {
  std::vector<float> values = {1.0f,        0.1f,        -0.1f,        123456789.0f, 16777216.0f,
                               16777217.0f, 8388608.5f,  4194304.5f,   1e10f,        1.5e10f,
                               3e8f,        9999999.0f,  99999.99f,    0.3f,         1e-45f,
                               1e-38f,      3.4e38f,     -2.5e-7f,     1024.0f,      0.000123f,
                               1e7f,        12345678.0f, 123456792.0f, 1e9f,         -0.0f};
  for (int i = -149; i <= 127; ++i) values.push_back(std::ldexp(1.0f, i));
  std::mt19937 random(7);
  for (int i = 0; i < 300000; ++i) {
    const std::uint32_t bits = random();
    float f = 0;
    std::memcpy(&f, &bits, sizeof f);
    if (std::isfinite(f)) values.push_back(f);
  }
  std::uniform_int_distribution<int> digits(0, 99999999);
  std::uniform_int_distribution<int> exponent(-12, 12);
  for (int i = 0; i < 100000; ++i)
    values.push_back(static_cast<float>(digits(random) * std::pow(10.0, exponent(random))));
  int differ = 0;
  for (const float f : values) {
    const double a = WidenCoordinate(f);
    const double b = WidenCoordinateByPrintf(f);
    if (std::memcmp(&a, &b, sizeof a) != 0 && ++differ <= 10)
      ADD_FAILURE() << std::hexfloat << f << ": " << a << " by to_chars, " << b << " by printf";
  }
  EXPECT_EQ(differ, 0) << "of " << values.size();
}

const FloatVertex kTriangle[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0.5f}};
const std::uint32_t kCorners[5] = {0, 1, 2, 1, 0};

TEST(FaceStream, AWholeAnswerGivesItsFaces) {
  const std::string answer = answerOf([](FaceStreamWriter& w) {
    w.Mesh("one", kTriangle, 3, 2);
    w.Face(kCorners, 3);
    w.Face(kCorners, 2);
    w.Mesh("two", kTriangle, 3, 2);
    w.Face(kCorners, 5);
    w.End();
  });
  const std::unique_ptr<Massimp> m = DecodeFaceStream(answer, "f.obj", 100);
  ASSERT_EQ(m->Faces.size(), 3u);
  EXPECT_EQ(m->Faces[0].Layer, "one");
  EXPECT_EQ(m->Faces[0].CornerCount, 3);
  EXPECT_EQ(m->Faces[0].Corners[3].z, 0.5);  // the last corner repeated
  EXPECT_EQ(m->Faces[1].CornerCount, 2);
  EXPECT_EQ(m->Faces[1].Corners[2].x, 1);
  EXPECT_EQ(m->Faces[2].Layer, "two");
  EXPECT_EQ(m->Faces[2].CornerCount, 5);
  ASSERT_EQ(m->Faces[2].MoreCorners.size(), 1u);
  EXPECT_EQ(m->Layers, (std::vector<std::string>{"one", "two"}));
}

TEST(FaceStream, AnErrorAnswerRaisesItsError) {
  try {
    DecodeFaceStream(answerOf([](FaceStreamWriter& w) {
                       w.Mesh("one", kTriangle, 3, 2);
                       w.Error(facestream::kRefused, "PLY: nothing here");
                     }),
                     "f.ply", 100);
    ADD_FAILURE();
  } catch (const ZevrinError& e) {
    EXPECT_EQ(e.describe(false), "f.ply: Cannot import the polygon file: PLY: nothing here");
  }
  try {
    DecodeFaceStream(answerOf([](FaceStreamWriter& w) { w.Error(facestream::kOutOfMemory, ""); }),
                     "f.ply", 2048);
    ADD_FAILURE();
  } catch (const ZevrinError& e) {
    EXPECT_EQ(e.describe(false),
              "f.ply: Reading the polygon file needs more than 2048 MB of memory");
  }
}

// Every cut, every flipped byte and a few lies of a whole answer: a named error or faces, and
// never more faces than the answer holds.
TEST(FaceStream, MalformedAnswersAreNamedErrors) {
  const std::string whole = answerOf([](FaceStreamWriter& w) {
    w.Mesh("layer", kTriangle, 3, 2);
    w.Face(kCorners, 3);
    w.Face(kCorners, 5);
    w.End();
  });
  const auto bad = [](const std::string& answer) {
    try {
      DecodeFaceStream(answer, "f.obj", 1);
    } catch (const ZevrinError& e) {
      return e.kind() == ErrorKind::ReaderBadAnswer;
    }
    return false;
  };
  for (std::size_t n = 0; n < whole.size(); ++n) EXPECT_TRUE(bad(whole.substr(0, n))) << n;
  EXPECT_TRUE(bad(whole + "x"));
  for (std::size_t i = 0; i < whole.size(); ++i)
    for (int bit = 0; bit < 8; ++bit) {
      std::string flipped = whole;
      flipped[i] = static_cast<char>(flipped[i] ^ (1 << bit));
      try {
        const std::unique_ptr<Massimp> m = DecodeFaceStream(flipped, "f.obj", 1);
        EXPECT_LE(m->Faces.size(), 2u);
      } catch (const ZevrinError& e) {
        EXPECT_TRUE(e.kind() == ErrorKind::ReaderBadAnswer || e.kind() == ErrorKind::ImportFailed ||
                    e.kind() == ErrorKind::ReaderOutOfMemory)
            << i << " " << bit;
      }
    }
  // A face before any mesh, an index past the vertices, a count that lies.
  EXPECT_TRUE(bad(answerOf([](FaceStreamWriter& w) {
    w.Face(kCorners, 3);
    w.End();
  })));
  const std::uint32_t past[3] = {0, 1, 3};
  EXPECT_TRUE(bad(answerOf([&](FaceStreamWriter& w) {
    w.Mesh("layer", kTriangle, 3, 2);
    w.Face(past, 3);
    w.End();
  })));
  std::string lying = whole;
  lying[lying.size() - 8] = 9;
  EXPECT_TRUE(bad(lying));
  EXPECT_EQ(DecodeFaceStream(whole, "f.obj", 1)->Faces.size(), 2u);
}

// The answer in pieces of any size gives what it gives whole; counts it only claims cost
// nothing until their bytes come.
TEST(FaceStream, PiecesOfAnySizeGiveTheSameFaces) {
  std::vector<FloatVertex> many;
  for (int v = 0; v < 1000; ++v)
    many.push_back({v * 0.5f, v * -0.25f, 1.0f / static_cast<float>(v + 1)});
  const std::string whole = answerOf([&](FaceStreamWriter& w) {
    w.Mesh("a", many.data(), 1000, 700);
    for (std::uint32_t f = 0; f < 700; ++f) {
      const std::uint32_t corners[6] = {f, f + 1, f + 2, f + 3, f + 4, f + 5};
      w.Face(corners, 2 + f % 5);
    }
    w.Mesh("b", kTriangle, 3, 1);
    w.Face(kCorners, 3);
    w.End();
  });
  const std::unique_ptr<Massimp> expected = DecodeFaceStream(whole, "f.obj", 1);
  ASSERT_EQ(expected->Faces.size(), 701u);
  for (std::size_t piece : {1, 3, 7, 11, 12, 13, 25, 4096}) {
    FaceStreamReader reader("f.obj", 1);
    for (std::size_t at = 0; at < whole.size(); at += piece)
      reader.Feed(whole.data() + at, std::min(piece, whole.size() - at));
    EXPECT_TRUE(reader.Done());
    EXPECT_EQ(reader.Offset(), whole.size());
    const std::unique_ptr<Massimp> got = reader.Finish();
    ASSERT_EQ(got->Faces.size(), expected->Faces.size()) << piece;
    for (std::size_t i = 0; i < got->Faces.size(); ++i) {
      ASSERT_EQ(got->Faces[i].Layer, expected->Faces[i].Layer);
      ASSERT_EQ(got->Faces[i].CornerCount, expected->Faces[i].CornerCount);
      ASSERT_EQ(std::memcmp(got->Faces[i].Corners.data(), expected->Faces[i].Corners.data(),
                            sizeof(Vec3) * 4),
                0);
      ASSERT_EQ(got->Faces[i].MoreCorners.size(), expected->Faces[i].MoreCorners.size());
    }
  }
  // Four thousand million vertices and as many faces claimed, one vertex sent.
  const auto word = [](std::string& out, std::uint32_t w) {
    out.append(reinterpret_cast<const char*>(&w), sizeof w);
  };
  std::string claims = whole.substr(0, 8);
  word(claims, facestream::kMeshTag);
  word(claims, 1);
  claims += "x";
  word(claims, 0xFFFFFFFFu);
  word(claims, 0xFFFFFFFFu);
  claims.append(std::string(12, '\0'));
  EXPECT_THROW(DecodeFaceStream(claims, "f.obj", 1), ZevrinError);
  // A face of two thousand million corners claimed, sixteen sent.
  const std::uint32_t huge_face = 0x7FFFFFFFu;
  std::string face_claim = answerOf([](FaceStreamWriter& w) {
    w.Mesh("a", kTriangle, 3, 1);
    w.End();
  });
  face_claim.resize(face_claim.size() - 12);  // without the end
  face_claim.append(reinterpret_cast<const char*>(&huge_face), 4);
  face_claim.append(std::string(64, '\0'));
  try {
    DecodeFaceStream(face_claim, "f.obj", 1);
    ADD_FAILURE();
  } catch (const ZevrinError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::ReaderBadAnswer);
    EXPECT_EQ(e.argument(), std::to_string(face_claim.size()));
  }
}

TEST(ReaderProcess, SignalsHaveTheirNames) {
  EXPECT_EQ(ReaderProcess::SignalName(SIGSEGV), "SIGSEGV");
  EXPECT_EQ(ReaderProcess::SignalName(SIGXFSZ), "SIGXFSZ");
  EXPECT_EQ(ReaderProcess::SignalName(99), "signal 99");
}

}  // namespace
}  // namespace zevrin
