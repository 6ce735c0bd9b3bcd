// Polygon import: the DXF and ROK readers on small drawings and on real files, and the model
// they become, checked on the lines of the saved model.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "app/session/Document.h"
#include "import/M_dxf.h"
#include "import/M_rok.h"
#include "mesh/AM5_cplist.h"
#include "mesh/M_export.h"
#include "model/tree/AM_const.h"
#include "tests/TestUtil.h"
#include "util/Errors.h"
#include "util/FmxUtils.h"

namespace zevrin {
namespace {

namespace fs = std::filesystem;
const std::string kData = ZEVRIN_TEST_DATA;
const std::string kTemplate = std::string(ZEVRIN_EXAMPLES) + "/../data/animas_reference.mdl";

LineList cat(std::initializer_list<LineList> parts) {
  LineList out;
  for (const LineList& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
LineList entities(const LineList& body) {
  return cat({{"0", "SECTION", "2", "ENTITIES"}, body, {"0", "ENDSEC", "0", "EOF"}});
}
// A 3DFACE with the corner codes of the corners given.
LineList face(const std::string& layer, std::initializer_list<Vec3> corners) {
  LineList l{"0", "3DFACE", "8", layer};
  char i = '0';
  for (const Vec3& c : corners) {
    for (const auto& [axis, v] : {std::pair{'1', c.x}, {'2', c.y}, {'3', c.z}})
      l.insert(l.end(), {std::string{axis, i}, FloatToStr(v)});
    ++i;
  }
  return l;
}

template <class Reader>
std::unique_ptr<Reader> read(const LineList& l) {
  auto r = std::make_unique<Reader>();
  r->ReadSection(l, 0, test::Step()());
  return r;
}
template <class Reader>
ZevrinError readError(const LineList& l) {
  try {
    read<Reader>(l);
  } catch (const ZevrinError& e) {
    return e;
  }
  ADD_FAILURE() << "no error";
  return ZevrinError(ErrorKind::RangeCheck, "");
}

// What a user reads off a saved model: each spline's points ("id" or "id>target"), splines
// separated by " | "; each GROUP's ids by name, in file order; the "Bounds=" lines.
struct Saved {
  std::string points;
  std::vector<std::pair<std::string, std::string>> groups;
  std::vector<std::string> bounds;
  int unattached = 0;

  explicit Saved(const LineList& l) {
    for (std::size_t i = 0; i < l.size(); ++i) {
      if (l[i].starts_with("Bounds=")) bounds.push_back(l[i]);
      if (l[i].starts_with("CPs=")) {
        const int n = std::stoi(l[i].substr(4));
        if (!points.empty()) points += " | ";
        for (int k = 0; k < n; ++k, i += 4) {
          std::istringstream first(l[i + 1]);
          std::string flags, attached, id;
          first >> flags >> attached >> id;
          points += (k ? " " : "") + id + (attached == "1" ? ">" + l[i + 2] : "");
          unattached += attached != "1";
        }
      }
      if (l[i] == "[GROUP]") {
        std::string ids;
        for (std::size_t k = i + 3; l[k] != "[ENDGROUP]"; ++k)
          ids += (ids.empty() ? "" : " ") + l[k];
        groups.emplace_back(l[i + 1].substr(5), ids);
      }
    }
  }
};

// The polygons imported into the template; `counts` gets the counts the import reports.
Saved imported(Mpolycommon& polygons, MeshCounts* counts = nullptr) {
  M5amsuper root;
  test::Step step;
  root.ReadSection(ReadFileLines(kTemplate), 0, step);
  root.ImportPolygons(polygons, step);
  if (counts) *counts = step.Report.After.value_or(MeshCounts{-1, -1});
  LineList out;
  root.WriteSection(out);
  return Saved(out);
}

class Import : public test::InScratchDir {};

const Vec3 P{1, 2, 3}, Q{4, 5, 6}, R{7, 8, -9}, S{0, 0, 0}, T{-1, 0, 2};

TEST(DxfReader, CornerCountsFollowTheCornerCodes) {
  const auto dxf = read<Mdxf>(entities(cat({face("a", {P, Q, R, R}), face("a", {P, Q, R, S}),
                                            face("a", {P, Q, R}), face("a", {P, Q, S})})));
  ASSERT_EQ(dxf->FaceCount(), 4);
  EXPECT_EQ(dxf->FaceAt(0).CornerCount, 3);  // the fourth corner repeats the third
  EXPECT_EQ(dxf->FaceAt(1).CornerCount, 4);
  EXPECT_EQ(dxf->FaceAt(2).CornerCount, 3);  // no "13": the fourth corner is the origin ...
  EXPECT_EQ(dxf->FaceAt(3).CornerCount, 2);  // ... and equals a third corner at the origin
  EXPECT_EQ(dxf->FaceAt(2).Corners[3].z, 0);
}

TEST(DxfReader, OnlyFacesOfEntitiesSectionsAreRead) {
  const LineList l =
      cat({{"999", "comment", "0", "SECTION", "2", "HEADER", "10", "5", "0", "3DFACE", "10", "9",
            "0", "ENDSEC", "0", "SECTION", "2", "BLOCKS"},
           face("block", {P, Q, R}),
           {"0", "ENDSEC", "  0", "section", "  2", "entities", "  0", "SOLID"},
           {" 10", "1", " 11", "1", " 12", "1", "  0", "3dface", "  8", "L1"},
           // Codes in reverse order and with blanks around them.
           {" 13 ", "7", " 33", "-9", "32", "-9", "22", "8", "12", "7", "31", "6"},
           {"23", "8", "21", "5", "11", "4", "62", " 3 ", "30", "3", "20", "2", "10", "1"},
           {"0", "LINE", "10", "0", "0", "ENDSEC"},
           entities(face("L2", {P, P, P})),
           face("after EOF", {P, Q, R})});
  const auto dxf = read<Mdxf>(l);
  ASSERT_EQ(dxf->FaceCount(), 2);
  EXPECT_EQ(dxf->FaceAt(0).Layer, "L1");
  EXPECT_EQ(dxf->FaceAt(0).Color, 3);
  EXPECT_EQ(dxf->FaceAt(0).CornerCount, 3);
  EXPECT_EQ(dxf->FaceAt(0).Corners[2].z, -9);
  EXPECT_EQ(dxf->FaceAt(1).Layer, "L2");  // a second ENTITIES section
  // A face still open when the lines run out is dropped.
  EXPECT_EQ(read<Mdxf>(cat({{"0", "SECTION", "2", "ENTITIES"}, face("x", {P, Q, R})}))->FaceCount(),
            0);
}

TEST(DxfReader, LayersAreSortedOnceEachWithCaseFolded) {
  const auto dxf =
      read<Mdxf>(entities(cat({face("wall", {P}), face("Door", {P}), face("WALL", {P}),
                               face("", {P}), face("door2", {P}), face("wall", {P})})));
  EXPECT_EQ(dxf->Layers, (std::vector<std::string>{"", "Door", "door2", "wall"}));
}

template <class Reader>
void expectError(const LineList& l, int line, const std::string& message) {
  const ZevrinError e = readError<Reader>(l);
  EXPECT_EQ(e.line(), line) << message;
  EXPECT_EQ(e.message(false), message);
}

TEST(DxfReader, ErrorsNameTheLine) {
  const auto expect = expectError<Mdxf>;
  LineList l = entities(face("a", {P, Q, R}));
  l[9] = "1,5";
  expect(l, 10, "'1,5' is not a number");
  expect(entities(cat({face("a", {P}), {"62", "1.5"}})), 16, "'1.5' is not an integer");
  expect(entities(cat({face("a", {P, Q, R, S}), {"10", "1"}})), 34,
         "A face must have one to four corners, not 5");
  expect({"0", "SECTION", "2"}, 3, "List index out of range (3)");
}

TEST(DxfReader, WrittenFacesReadBackTheSame) {
  Mdxf original;
  original.LoadFile(kData + "/ezdxf_3dface_acad2018.dxf", test::Step()());
  LineList written, again;
  original.WriteDxf(written);
  read<Mdxf>(written)->WriteDxf(again);
  EXPECT_EQ(again, written);
  EXPECT_EQ(written.size(), 6 + 44 * 30 + 4u);
  EXPECT_EQ(written[4] + written[5], "999Created using TALQ Zevrin for Windows V0.00");
}

// ROK files: points (id, group, three unused lines, x, y, z), lines (from, to, attribute, an
// unused line), faces (count, two unused numbers, the line numbers).
LineList rok(const LineList& points, const LineList& lines, const LineList& faces) {
  return cat({{"ROKU4", "POINT"}, points, {"LINE0"}, lines, {"FACE0"}, faces, {"END00"}});
}
LineList rokPoint(int id, int group, double x, double y, double z) {
  return {std::to_string(id), std::to_string(group), "0",          "0", "0",
          FloatToStr(x),      FloatToStr(y),         FloatToStr(z)};
}
const LineList kTriangle =
    cat({rokPoint(1, 10, 1, 0, 0), rokPoint(2, 20, 2, 0, 0), rokPoint(3, 30, 3, 0, 0)});

TEST(RokReader, CornerLoopStartsFromTheLastListedLine) {
  const LineList lines = {"1", "2", "0", "0", "2", "3", "0", "0", "3", "1", "0", "0"};
  const auto r = read<Mrok>(rok(kTriangle, lines, {"3", "0", "0", "1", "2", "3"}));
  ASSERT_EQ(r->FaceCount(), 1);
  const Mdxf_3dface& f = r->FaceAt(0);
  EXPECT_EQ(f.CornerCount, 3);
  EXPECT_EQ((std::vector<double>{f.Corners[0].x, f.Corners[1].x, f.Corners[2].x, f.Corners[3].x}),
            (std::vector<double>{2, 1, 3, 3}));
  EXPECT_EQ(f.Layer, "30");
  // Lower-case markers, no END00, and a loop that does not close: the corners found stay.
  const auto o = read<Mrok>(cat({{"point"},
                                 kTriangle,
                                 {"line0", "2", "1", "0", "0", "9", "9", "0", "0"},
                                 {"face0", "2", "0", "0", "2", "1"}}));
  ASSERT_EQ(o->FaceCount(), 1);
  EXPECT_EQ(o->FaceAt(0).CornerCount, 2);
  EXPECT_EQ(o->FaceAt(0).Layer, "20");
  EXPECT_EQ(o->FaceAt(0).Corners[0].x, 1);
  EXPECT_EQ(o->FaceAt(0).Corners[1].x, 0);
  // A file that ends its points with END00 has no faces.
  EXPECT_EQ(read<Mrok>(cat({{"POINT"}, kTriangle, {"end00", "garbage"}}))->FaceCount(), 0);
}

TEST(RokReader, FacesThatCannotBeConvertedNameTheirLine) {
  const LineList lines = {"1", "2", "0", "0", "2", "7", "0", "0"};
  const auto expect = expectError<Mrok>;
  expect(rok(kTriangle, lines, {"2", "0", "0", "1", "3"}), 41,
         "A face names line 3, which the file does not list");
  expect(rok(kTriangle, {}, {"1", "0", "0", "1"}), 32,
         "A face names line 1, which the file does not list");
  expect(rok(kTriangle, lines, {"1", "0", "0", "2"}), 33,
         "A line names point 7, which the file does not list");
  expect(rok(kTriangle, lines, {"5", "0", "0", "1", "1", "1", "1", "1"}), 37,
         "A face must have one to four corners, not 5");
  expect(rok(kTriangle, lines, {"0", "0", "0"}), 37, "A face must have one to four corners, not 0");
  expect(rok(kTriangle, lines, {"1", "x", "0", "1"}), 38, "'x' is not an integer");
  expect({"POINT", "1", "2", "0", "0", "0", "1", "2"}, 2, "List index out of range (8)");
}

TEST_F(Import, OneTriangleGivesThreeSplinesWithTheirCornersAttached) {
  Mdxf dxf;
  dxf.ReadSection(entities(face("Skin", {P, Q, R})), 0, test::Step()());
  MeshCounts counts;
  const Saved s = imported(dxf, &counts);
  EXPECT_EQ(s.points, "1 2 | 3>2 4 | 5>4 6>1");
  EXPECT_EQ(s.groups, (decltype(s.groups){{"Skin", "1 2 3 4 5 6"}}));
  EXPECT_EQ(
      s.bounds,
      (std::vector<std::string>{"Bounds=7 8 6 7 8 -9 7 0 -9 7 0 6 0 8 6 0 8 -9 0 0 -9 0 0 6"}));
  EXPECT_EQ(counts, (MeshCounts{6, 3}));
}

TEST_F(Import, SharedEdgesAreOneSplineCarryingEveryLayer) {
  Mdxf dxf;
  // The shared edge Q-R runs the other way in the second face; the third face has two equal
  // corners and no layer; the last one has no corners, but its layer still makes a group.
  dxf.ReadSection(entities(cat({face("a", {P, Q, R}), face("B", {R, Q, T}), face("", {T, T, P}),
                                face("c", {})})),
                  0, test::Step()());
  const Saved s = imported(dxf);
  EXPECT_EQ(s.points, "1 2 | 3>2 4 | 5>4 6>1 | 7>3 8 | 9>8 10>5 | 11>9 12>11 | 13>12 14>6");
  EXPECT_EQ(s.groups,
            (decltype(s.groups){{"", ""}, {"a", "1 2 3 4 5 6"}, {"B", "3 4 7 8 9 10"}, {"c", ""}}));
}

TEST_F(Import, TemplateSplinesKeepTheirIdsAndTakeMatchingEdges) {
  LineList tpl = {"[MODELFILE]", "[MODEL]",    "Bounds=", "[MESH]",     "Splines=1",
                  "CPs=2",       "0 0 2",      "4 5 6",   "0",          "0",
                  "0 0 1",       "1 2 3",      "0",       "0",          "[ENDMESH]",
                  "[THING]",     "[ENDTHING]", "Bounds=", "[ENDMODEL]", "[ENDMODELFILE]"};
  for (int k = 0; k < 24; ++k) tpl[2] += " 0";
  tpl[17] = tpl[2];
  M5amsuper root;
  test::Step step;
  root.ReadSection(tpl, 0, step);
  Mdxf dxf;
  dxf.ReadSection(entities(face("x", {P, Q, R})), 0, step);
  root.ImportPolygons(dxf, step);
  LineList out;
  root.WriteSection(out);
  const Saved s(out);
  EXPECT_EQ(s.points, "2 1 | 3>2 4 | 5>4 6>1");
  EXPECT_EQ(s.groups, (decltype(s.groups){{"x", "2 1 3 4 5 6"}}));
  const std::string box = "Bounds=7 8 6 7 8 -9 7 0 -9 7 0 6 0 8 6 0 8 -9 0 0 -9 0 0 6";
  EXPECT_EQ(s.bounds, (std::vector<std::string>{box, box}));
  // The groups come after everything the model held.
  EXPECT_EQ(*(std::find(out.begin(), out.end(), "[GROUP]") - 1), box);
}

TEST_F(Import, OwnRokFileWithLinesInMixedOrderAndDirection) {
  Mrok r;
  r.LoadFile(kData + "/pyramid_mixed_lines.rok", test::Step()());
  const Saved s = imported(r);
  EXPECT_EQ(s.points,
            "1 2 | 3>2 4 | 5>4 6 | 7>6 8>1 | 9>8 10 | 11>10 12>7 | 13>11 14>5 | 15>13 16>3");
  EXPECT_EQ(s.groups, (decltype(s.groups){{"1", "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"},
                                          {"2", "3 4 13 14 15 16"}}));
  EXPECT_EQ(s.bounds[0], "Bounds=10 10 8 10 10 0 10 0 0 10 0 8 0 10 8 0 10 0 0 0 0 0 0 8");
}

// Real files, opened and saved as a user does: faces, welded corners, layers and the box.
TEST_F(Import, RealFilesOpenAndSaveAsModels) {
  struct Case {
    const char* file;
    int splines, positions;
    const char* layer;
    Vec3 max, min;
  };
  const Case cases[] = {
      {"gdal_3dface.dxf", 5, 4, "0", {13, 23, 33}, {0, 0, 0}},
      {"ezdxf_minimal_r10.dxf", 6, 5, "1", {0.5, 0.5, 0.5}, {-0.5, -0.5, -0.5}},
      {"ezdxf_poli_all_r12.DXF", 4, 4, "0", {18, 13, 0}, {-6, -11, 0}},
      {"ezdxf_3dface_acad2018.dxf", 153, 139, "0", {4919.44261134247, 3857.68076480917, 0}, {}},
      {"assimp_pinkegg_lightwave.dxf", 589, 266, "0", {2.15, 2.1, 2.6}, {-2.15, -2.1, -2.5}},
      {"assimp_rifle_ac3d.dxf",
       905,
       337,
       "m_rifle",
       {3.52262, 20.2329, 71.3027},
       {-3.52259, -21.5369, -44.979}},
      {"rokdebone2_palette_only.rok", 0, 0, nullptr, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string copy = dir_ / c.file;
    fs::copy_file(kData + "/" + c.file, copy);
    DocumentSession session;
    session.TemplatePath = kTemplate;
    session.CurrentFile = copy;
    const StepResult loaded = session.LoadDocument();
    ASSERT_EQ(loaded.Outcome, LoadOutcome::Loaded);
    session.SaveDocument(copy);
    EXPECT_EQ(session.SaveFile, copy.substr(0, copy.rfind('.')) + ".mdl");
    EXPECT_EQ(test::readBytes(copy), test::readBytes(kData + "/" + c.file));
    const Saved s(ReadFileLines(session.SaveFile));
    EXPECT_EQ(loaded.Memo[1], "Number of spline=" + std::to_string(c.splines));
    EXPECT_EQ(s.unattached, c.positions);
    EXPECT_EQ(s.bounds, (LineList{"Bounds=" + BoundsCornersText(c.min, c.max)}));
    if (c.layer) {
      ASSERT_EQ(s.groups.size(), 1u);
      EXPECT_EQ(s.groups[0].first, c.layer);
      // Every point carries the one layer.
      EXPECT_EQ(std::count(s.groups[0].second.begin(), s.groups[0].second.end(), ' ') + 1,
                2 * c.splines);
    } else {
      EXPECT_TRUE(s.groups.empty());
    }
  }
}

TEST_F(Import, FailedPolygonLoadsLeaveTheOpenDocument) {
  const std::string model = dir_ / "a.mdl";
  test::writeBytes(model, "[MODELFILE]\n[ENDMODELFILE]\n");
  const std::string no_mesh = dir_ / "no_mesh.mdl";
  test::writeBytes(no_mesh,
                   "[MODELFILE]\n[MODEL]\nName=m\n[ENDMODEL]\n[MESH]\n[ENDMESH]\n[ENDMODELFILE]\n");
  const std::string good = dir_ / "good.dxf";
  test::writeBytes(good, "0\nEOF\n");
  const std::string bad = dir_ / "bad.rok";
  test::writeBytes(bad, "POINT\r1\r1\r0\r0\r0\r1\r2\r3\rLINE0\rFACE0\r1\r0\r0\r1\rEND00\r");
  const std::string gone = dir_ / "gone.mdl";
  struct Case {
    std::string file, template_file, described;
  };
  const Case cases[] = {
      {bad, kTemplate, bad + ":15: A face names line 1, which the file does not list"},
      {good, gone, gone + ": Cannot open file " + gone},
      {good, no_mesh, no_mesh + ": The template model has no MODEL section holding a MESH section"},
  };
  DocumentSession session;
  session.CurrentFile = model;
  ASSERT_EQ(session.LoadDocument().Outcome, LoadOutcome::Loaded);
  const M5amsuper* open = session.Document.get();
  session.Shared.Counts.Cps = 42;
  for (const Case& c : cases) {
    session.CurrentFile = c.file;
    session.TemplatePath = c.template_file;
    try {
      session.LoadDocument();
      ADD_FAILURE() << "no error for " << c.described;
    } catch (const ZevrinError& e) {
      EXPECT_EQ(e.describe(false), c.described);
    }
    EXPECT_EQ(session.Document.get(), open);
    EXPECT_EQ(session.Shared.Counts.Cps, 42);
  }
}

// Faces of more corners than a 3DFACE holds, as the general importer gives them.
Mdxf_3dface polygon(const std::string& layer, const std::vector<Vec3>& corners) {
  Mdxf_3dface f;
  f.Layer = layer;
  f.CornerCount = static_cast<std::int32_t>(corners.size());
  for (std::size_t i = 0; i < corners.size(); ++i) {
    if (i < 4)
      f.Corners[i] = corners[i];
    else
      f.MoreCorners.push_back(corners[i]);
  }
  return f;
}
const std::vector<Vec3> kHexagon = {{0, 0, 0}, {2, 0, 0}, {3, 1, 0},
                                    {2, 2, 0}, {0, 2, 0}, {-1, 1, 0}};

TEST_F(Import, FacesOfMoreCornersKeepTheirOutline) {
  Mdxf faces;
  faces.Faces.push_back(polygon("hex", kHexagon));
  faces.Faces.push_back(polygon("hex", {kHexagon[1], kHexagon[0], {1, -1, 0}}));
  faces.CollectLayers();
  const Saved s = imported(faces);
  EXPECT_EQ(s.points, "1 2 | 3>2 4 | 5>4 6 | 7>6 8 | 9>8 10 | 11>10 12>1 | 13>12 14 | 15>14 16>3");
  EXPECT_EQ(s.groups, (decltype(s.groups){{"hex", "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"}}));

  // A count beyond the corners stored fails before the mesh changes.
  Mdxf broken;
  broken.Faces.push_back(polygon("x", kHexagon));
  broken.Faces.back().MoreCorners.pop_back();
  M5amsuper root;
  test::Step step;
  root.ReadSection(ReadFileLines(kTemplate), 0, step);
  try {
    root.ImportPolygons(broken, step);
    ADD_FAILURE() << "no error";
  } catch (const ZevrinError& e) {
    EXPECT_EQ(e.message(false), "A face must have one to four corners, not 6");
  }
  LineList out;
  root.WriteSection(out);
  EXPECT_EQ(Saved(out).points, "");
}

TEST(DxfReader, WrittenPolygonsBecomeFansWithTheirInsideEdgesHidden) {
  Mdxf faces;
  faces.Faces.push_back(polygon("p", {kHexagon.begin(), kHexagon.end() - 1}));
  LineList written;
  faces.WriteDxf(written);
  std::vector<std::string> flags;
  for (std::size_t i = 0; i + 1 < written.size(); i += 2)
    if (written[i] == "70") flags.push_back(written[i + 1]);
  // Fourth edge back to the first corner, first edge from it, third of zero length.
  EXPECT_EQ(flags, (std::vector<std::string>{"12", "13", "5"}));
  const auto again = read<Mdxf>(written);
  ASSERT_EQ(again->FaceCount(), 3);
  EXPECT_EQ(again->FaceAt(1).CornerCount, 3);
  EXPECT_EQ(again->FaceAt(1).Corners[1].x, 3);
  EXPECT_EQ(again->FaceAt(1).Corners[2].y, 2);
}

// DXF blocks and the INSERT entities that place them.
LineList blockOf(const std::string& name, const Vec3& base, const LineList& body) {
  return cat({{"0", "BLOCK", "8", "0", "2", name, "70", "0", "10", FloatToStr(base.x), "20",
               FloatToStr(base.y), "30", FloatToStr(base.z), "3", name},
              body,
              {"0", "ENDBLK", "8", "0"}});
}
LineList insertOf(const std::string& block, const std::string& layer, const Vec3& at,
                  const LineList& more = {}) {
  return cat({{"0", "INSERT", "8", layer, "2", block, "10", FloatToStr(at.x), "20",
               FloatToStr(at.y), "30", FloatToStr(at.z)},
              more});
}
LineList drawing(const LineList& blocks, const LineList& body) {
  return cat({{"0", "SECTION", "2", "BLOCKS"}, blocks, {"0", "ENDSEC"}, entities(body)});
}
std::unique_ptr<Mdxf> expanded(const LineList& l) {
  auto dxf = std::make_unique<Mdxf>();
  dxf->ExpandInserts = true;
  dxf->ReadSection(l, 0, test::Step()());
  return dxf;
}
std::string corners(const Mdxf_3dface& f) {
  std::string out;
  for (std::int32_t i = 0; i < f.CornerCount; ++i) {
    const Vec3& c = f.Corner(static_cast<std::size_t>(i));
    // Turning by 90 degrees leaves rounding dust of the cosine.
    const auto text = [](double v) { return FloatToStr(std::abs(v) < 1e-12 ? 0.0 : v); };
    out += (i ? " (" : "(") + text(c.x) + "," + text(c.y) + "," + text(c.z) + ")";
  }
  return out + " " + f.Layer;
}

TEST(DxfInserts, InsertedBlocksArePlacedScaledAndTurned) {
  const LineList blocks = blockOf("Tri", {1, 0, 0},
                                  cat({face("0", {{1, 0, 0}, {2, 0, 0}, {1, 1, 0}}),
                                       face("own", {{1, 0, 0}, {1, 0, 3}, {1, 1, 0}})}));
  const LineList body =
      cat({face("a", {P, Q, R}),
           insertOf("tri", "L", {10, 0, 0}, {"41", "2", "42", "2", "43", "2", "50", "90"}),
           face("b", {P, Q, S})});
  // The reader stays as it was unless inserts are asked for.
  EXPECT_EQ(read<Mdxf>(drawing(blocks, body))->FaceCount(), 2);

  const auto dxf = expanded(drawing(blocks, body));
  ASSERT_EQ(dxf->FaceCount(), 4);
  EXPECT_EQ(dxf->FaceAt(0).Layer, "a");
  // Block names ignore case; layer "0" takes the insert's layer.
  EXPECT_EQ(corners(dxf->FaceAt(1)), "(10,0,0) (10,2,0) (8,0,0) L");
  EXPECT_EQ(corners(dxf->FaceAt(2)), "(10,0,0) (10,0,6) (8,0,0) own");
  EXPECT_EQ(dxf->FaceAt(3).Layer, "b");
  EXPECT_EQ(dxf->Layers, (std::vector<std::string>{"a", "b", "L", "own"}));
}

TEST(DxfInserts, NestedArrayedAndMirroredInserts) {
  const LineList tri = blockOf("T", {}, face("0", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}));
  const LineList outer = blockOf("Outer", {}, insertOf("T", "0", {0, 5, 0}));
  auto dxf = expanded(drawing(cat({outer, tri}), insertOf("Outer", "N", {100, 0, 0})));
  ASSERT_EQ(dxf->FaceCount(), 1);
  EXPECT_EQ(corners(dxf->FaceAt(0)), "(100,5,0) (101,5,0) (100,6,0) N");

  // Two columns three apart, turned a quarter: the columns go along Y.
  dxf = expanded(drawing(tri, insertOf("T", "A", {0, 0, 0}, {"50", "90", "70", "2", "44", "3"})));
  ASSERT_EQ(dxf->FaceCount(), 2);
  EXPECT_EQ(corners(dxf->FaceAt(0)), "(0,0,0) (0,1,0) (-1,0,0) A");
  EXPECT_EQ(corners(dxf->FaceAt(1)), "(0,3,0) (0,4,0) (-1,3,0) A");

  // Extrusion straight down: object X runs along world -X, Z along -Z.
  dxf = expanded(drawing(tri, insertOf("T", "M", {10, 0, 2}, {"230", "-1"})));
  ASSERT_EQ(dxf->FaceCount(), 1);
  EXPECT_EQ(corners(dxf->FaceAt(0)), "(-10,0,-2) (-11,0,-2) (-10,1,-2) M");

  // An insert of a block that is not there brings nothing.
  EXPECT_EQ(expanded(drawing(tri, insertOf("Missing", "M", {})))->FaceCount(), 0);
}

TEST(DxfInserts, RingsDeepNestingAndHugeArraysFailWithTheInsertsLine) {
  const LineList ring =
      blockOf("R", {}, cat({face("0", {P, Q, R}), insertOf("R", "0", {1, 0, 0})}));
  ZevrinError e(ErrorKind::RangeCheck, "");
  try {
    expanded(drawing(ring, insertOf("R", "x", {})));
  } catch (const ZevrinError& caught) {
    e = caught;
  }
  EXPECT_EQ(e.message(false), "Blocks are inserted too deeply or in a ring (at most 32 levels)");
  EXPECT_EQ(e.line(), 43);  // the block's own INSERT

  // A chain of blocks, each placing the next once: 33 levels are one too many. Placing the
  // next twice, 25 levels would make 2^25 faces, which are refused before any is made.
  struct Chain {
    int levels, copies;
    ErrorKind expected;
  };
  for (const Chain& c :
       {Chain{33, 1, ErrorKind::InsertsTooDeep}, Chain{25, 2, ErrorKind::TooManyFaces}}) {
    const auto name = [](int k) { return "C" + std::to_string(k); };
    LineList chain;
    for (int k = 0; k < c.levels; ++k) {
      LineList body;
      for (int n = 0; n < c.copies; ++n)
        body = cat({body, insertOf(name(k + 1), "0", {1.0 * n, 0, 0})});
      chain = cat({chain, blockOf(name(k), {}, body)});
    }
    chain = cat({chain, blockOf(name(c.levels), {}, face("0", {P, Q, R}))});
    try {
      expanded(drawing(chain, insertOf("C0", "x", {})));
      ADD_FAILURE() << "no error";
    } catch (const ZevrinError& caught) {
      EXPECT_EQ(caught.kind(), c.expected) << c.levels;
    }
  }

  for (const LineList& body : {face("0", {P, Q, R}), LineList{}}) {
    const LineList l = drawing(blockOf("B", {}, body),
                               insertOf("B", "x", {}, {"70", "2000000000", "71", "2000000000"}));
    try {
      expanded(l);
      ADD_FAILURE() << "no error";
    } catch (const ZevrinError& caught) {
      EXPECT_EQ(caught.message(false),
                "The inserted blocks give too many faces (at most 10000000)");
      EXPECT_EQ(l[static_cast<std::size_t>(caught.line()) - 1], "0");
      EXPECT_EQ(l[static_cast<std::size_t>(caught.line())], "INSERT");
    }
  }
}

TEST_F(Import, ExpandingARealFileWithoutInsertsChangesNothing) {
  // This drawing keeps two faces in blocks that nothing inserts.
  Mdxf plain, expanding;
  expanding.ExpandInserts = true;
  plain.LoadFile(kData + "/ezdxf_3dface_acad2018.dxf", test::Step()());
  expanding.LoadFile(kData + "/ezdxf_3dface_acad2018.dxf", test::Step()());
  LineList a, b;
  plain.WriteDxf(a);
  expanding.WriteDxf(b);
  EXPECT_EQ(a, b);
}

TEST(ObjExport, OnePolylinePerSplineAtResolvedPositionsWithLoopsClosed) {
  M5amsuper root;
  root.ReadSection(ReadFileLines(kData + "/halvejoin_expected.mdl"), 0, test::Step()());
  const LineList obj = WriteObjPolylines(root);
  LineList elements, vertices;
  for (const std::string& line : obj) {
    if (line.starts_with("l ")) elements.push_back(line);
    if (line.starts_with("v ")) vertices.push_back(line);
  }
  EXPECT_EQ(elements, (LineList{"l 1 2 3 4 5 6 7 8 1", "l 9 10 11 12 13", "l 14 15 16",
                                "l 17 18 19", "l 20 21", "l 22 23 24 25 26 27 22", "l 28 29 30"}));
  ASSERT_EQ(vertices.size(), 30u);
  // Point 22 is attached to point 3 and has no coordinates of its own.
  EXPECT_EQ(vertices[6], vertices[2]);
  EXPECT_EQ(vertices[2], "v 0 4 0");
}

}  // namespace
}  // namespace zevrin
