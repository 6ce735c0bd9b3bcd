// The patches of a model as a polygon mesh: the faces a user counts on models made of splines
// (the half box after Halvejoin, boxes, hooks, a Moebius strip, openings of five sides), the
// fast search against the literal one on random spline models, and polygon meshes through
// the import and back, also after Attach all, Detach all and Connect.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>

#include "app/session/Document.h"
#include "bench/BenchGen.h"
#include "import/M_dxf.h"
#include "mesh/AM5_mesh.h"
#include "mesh/PatchFinder.h"
#include "model/AM5_model.h"
#include "model/PatchPolygons.h"
#include "tests/LiteralPatches.h"
#include "tests/PatchTestUtil.h"
#include "tests/TestUtil.h"
#include "util/Errors.h"

namespace zevrin {
namespace {

using test::FaceCycle;
using test::IndexedMesh;

const std::string kTemplate = std::string(ZEVRIN_EXAMPLES) + "/../data/animas_reference.mdl";

std::unique_ptr<M5amsuper> readDoc(const LineList& l) {
  auto root = std::make_unique<M5amsuper>();
  test::Step step;
  root->ReadSection(l, 0, step);
  return root;
}

// A control point as its record's first two lines: "flags attached id [t]" and either
// "x y z" or the target id.
struct Cp {
  std::string head;
  std::string second;
};

// One model holding one mesh of these splines, and extra lines after the mesh (groups).
LineList model(const std::vector<std::vector<Cp>>& splines, const LineList& after = {}) {
  LineList l{"[MODELFILE]", "[MODEL]", "[MESH]"};
  for (const auto& s : splines) {
    l.push_back("CPs=" + std::to_string(s.size()));
    for (const Cp& p : s) l.insert(l.end(), {p.head, p.second, "0", "0"});
  }
  l.push_back("[ENDMESH]");
  l.insert(l.end(), after.begin(), after.end());
  l.insert(l.end(), {"[ENDMODEL]", "[ENDMODELFILE]"});
  return l;
}

// The first mesh below `root`.
const M5mesh& meshOf(const M5amsuper& root) {
  std::vector<const M5amsuper*> pending{&root};
  while (!pending.empty()) {
    const M5amsuper* node = pending.back();
    pending.pop_back();
    for (auto it = node->Entries.rbegin(); it != node->Entries.rend(); ++it) {
      if (const auto* mesh = dynamic_cast<const M5mesh*>(it->Child.get())) return *mesh;
      if (it->Child) pending.push_back(it->Child.get());
    }
  }
  throw std::runtime_error("no mesh");
}

std::unique_ptr<Mpatches> polygonsOf(const M5amsuper& root, bool triangulate = false) {
  test::Step step;
  PatchPolygonOptions options;
  options.RestLayer = "rest";
  options.Triangulate = triangulate;
  return PatchPolygons(root, options, step);
}

// A polygon mesh converted as a polygon file is, into the template model.
std::unique_ptr<M5amsuper> imported(const std::vector<Mdxf_3dface>& faces) {
  auto root = std::make_unique<M5amsuper>();
  test::Step step;
  root->ReadSection(ReadFileLines(kTemplate), 0, step);
  Mdxf polygons;
  polygons.Faces = faces;
  polygons.CollectLayers();
  root->ImportPolygons(polygons, step);
  return root;
}

// Twice the vector area of a face, in the turning of its corners.
Vec3 normalOf(const Mdxf_3dface& f) {
  Vec3 n;
  for (std::int32_t k = 0; k < f.CornerCount; ++k) {
    const Vec3& a = f.Corner(k);
    const Vec3& b = f.Corner((k + 1) % f.CornerCount);
    n = {n.x + (a.y - b.y) * (a.z + b.z), n.y + (a.z - b.z) * (a.x + b.x),
         n.z + (a.x - b.x) * (a.y + b.y)};
  }
  return n;
}

FaceCycle cycle(std::vector<test::Corner> corners) { return test::cycleOf(std::move(corners)); }

// --- Models made of splines ------------------------------------------------------------------

TEST(Patches, HalfBoxAfterHalvejoinHasTheTwoSidesAUserCounts) {
  DocumentSession session;
  session.CurrentFile = std::string(ZEVRIN_EXAMPLES) + "/half_box.mdl";
  ASSERT_EQ(session.LoadDocument().Outcome, LoadOutcome::Loaded);
  // Before: the half box has one closed side, at x = 10 (the posts at x = 0 are missing).
  auto before = polygonsOf(*session.Document);
  EXPECT_EQ(test::faceSet(before->Faces),
            (std::set<FaceCycle>{cycle({{10, 0, 0}, {10, 10, 0}, {10, 10, 10}, {10, 0, 10}})}));

  session.Halvejoin(0.001);
  // After: the bottom and the top are closed rings of six points, joined by posts at
  // x = 10 and x = -10 only. The two ends are quads; the bottom, the top and the two long
  // sides are loops of six segments: openings, not patches.
  auto after = polygonsOf(*session.Document);
  EXPECT_EQ(test::faceSet(after->Faces),
            (std::set<FaceCycle>{cycle({{10, 0, 0}, {10, 10, 0}, {10, 10, 10}, {10, 0, 10}}),
                                 cycle({{-10, 0, 0}, {-10, 10, 0}, {-10, 10, 10}, {-10, 0, 10}})}));
  EXPECT_EQ(after->Counts.Quads, 2u);
  EXPECT_EQ(after->Counts.Triangles, 0u);
  EXPECT_EQ(after->Counts.Holes, 4u);
  EXPECT_EQ(after->Counts.Unorientable, 0u);
  // Each end faces away from the box, and the group Halvejoin left out holds nothing.
  for (const Mdxf_3dface& f : after->Faces) {
    EXPECT_GT(normalOf(f).x * f.Corners[0].x, 0);
    EXPECT_EQ(f.Layer, "rest");
  }
}

// A box as a modeller builds it: two closed rings of four points and four posts attached to
// them. Four quads around, every one facing out; each ring, which closes on its own, is an
// opening as at the end of a tube, not a patch.
TEST(Patches, BoxOfTwoRingsAndFourPostsIsFourOutwardQuadsBetweenOpenRings) {
  const auto ring = [](int id, const char* z) {
    std::vector<Cp> s;
    const char* xy[] = {"0 0", "1 0", "1 1", "0 1"};
    for (int k = 0; k < 4; ++k)
      s.push_back(
          {(k == 3 ? "4 0 " : "0 0 ") + std::to_string(id + k), std::string(xy[k]) + " " + z});
    return s;
  };
  std::vector<std::vector<Cp>> splines = {ring(1, "0"), ring(5, "2")};
  for (int k = 0; k < 4; ++k)
    splines.push_back({{"0 1 " + std::to_string(10 + 2 * k), std::to_string(1 + k)},
                       {"0 1 " + std::to_string(11 + 2 * k), std::to_string(5 + k)}});
  const auto root = readDoc(model(splines));
  const auto polys = polygonsOf(*root);
  EXPECT_EQ(polys->Counts.Quads, 4u);
  EXPECT_EQ(polys->Counts.Rings, 2u);
  EXPECT_EQ(polys->Counts.Holes, 2u);
  for (const Mdxf_3dface& f : polys->Faces) {
    const Vec3 n = normalOf(f);
    const Vec3& a = f.Corners[0];
    EXPECT_EQ(n.z, 0);  // a side, not an end
    // Out means away from the axis through (0.5, 0.5).
    EXPECT_GT(n.x * (a.x - 0.5) + n.y * (a.y - 0.5), 0);
  }
}

// A spline whose ends are hooked onto the bottom and the top of a square splits both: two
// squares, not one. The outline of the two is the border of an open sheet.
TEST(Patches, HookedPointsSplitTheSegmentsTheyAreHookedOnto) {
  const std::vector<std::vector<Cp>> splines = {
      {{"2147483648 0 1", "0 0 0"}, {"0 0 2", "2 0 0"}},  // bottom, hook bit on its first point
      {{"2147483648 0 3", "0 2 0"}, {"0 0 4", "2 2 0"}},  // top
      {{"0 1 5", "1"}, {"0 1 6", "3"}},                   // left post
      {{"0 1 7", "2"}, {"0 1 8", "4"}},                   // right post
      {{"16 1 9 0.5", "1"}, {"16 1 10 0.5", "3"}},        // hooked halfway along both
  };
  const auto root = readDoc(model(splines));
  const auto polys = polygonsOf(*root);
  EXPECT_EQ(test::faceSet(polys->Faces),
            (std::set<FaceCycle>{cycle({{0, 0, 0}, {1, 0, 0}, {1, 2, 0}, {0, 2, 0}}),
                                 cycle({{1, 0, 0}, {2, 0, 0}, {2, 2, 0}, {1, 2, 0}})}));
  EXPECT_EQ(polys->Counts.Holes, 1u);  // the six segments around both
  // Both squares turn the same way: the sheet has one side up.
  EXPECT_GT(normalOf(polys->Faces[0]).z * normalOf(polys->Faces[1]).z, 0);
}

// Loops of five or more segments are openings, counted once however many sides face them; a
// loose spline is no opening; a flat loop is no patch. A loop that one closed spline makes on
// its own is no patch either (the modeller leaves the end of a tube open) but an opening; it
// is a patch when another spline runs along one of its segments, and a loop an open spline
// makes by coming back to its first point (as Connect joins the edges of a face) is one too.
TEST(Patches, OpeningsLooseSplinesFlatLoopsAndLoopsOfOneSpline) {
  const auto closed = [](std::vector<std::string> points, int first_id) {
    std::vector<Cp> s;
    for (std::size_t k = 0; k < points.size(); ++k)
      s.push_back(
          {(k + 1 == points.size() ? "4 0 " : "0 0 ") + std::to_string(first_id + k), points[k]});
    return s;
  };
  const std::vector<Cp> square = closed({"0 0 0", "1 0 0", "1 1 0", "0 1 0"}, 1);
  struct Case {
    const char* name;
    std::vector<std::vector<Cp>> splines;
    std::size_t patches, holes, flat, rings;
  };
  const std::vector<Case> cases = {
      {"pentagon", {closed({"0 0 0", "2 0 0", "3 1 0", "1 3 0", "-1 1 0"}, 1)}, 0, 1, 0, 0},
      {"hexagon", {closed({"0 0 0", "1 0 0", "2 1 0", "1 2 0", "0 2 0", "-1 1 0"}, 1)}, 0, 1, 0, 0},
      {"closed square", {square}, 0, 1, 0, 1},
      {"closed triangle", {closed({"0 0 0", "1 0 0", "0 1 0"}, 1)}, 0, 1, 0, 1},
      {"closed square with a side on another spline",
       {square, {{"0 1 11", "2"}, {"0 1 12", "3"}}},
       1,
       0,
       0,
       0},
      {"open spline back on its first point",
       {{{"0 0 1", "0 0 0"},
         {"0 0 2", "1 0 0"},
         {"0 0 3", "1 1 0"},
         {"0 0 4", "0 1 0"},
         {"0 1 5", "1"}}},
       1,
       0,
       0,
       0},
      {"open spline",
       {{{"0 0 1", "0 0 0"},
         {"0 0 2", "1 0 0"},
         {"0 0 3", "1 1 0"},
         {"0 0 4", "0 1 0"},
         {"0 0 5", "0 2 0"},
         {"0 0 6", "3 2 0"}}},
       0,
       0,
       0,
       0},
      {"flat triangle", {closed({"0 0 0", "1 1 1", "2 2 2"}, 1)}, 0, 0, 1, 0},
      {"empty", {}, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto root = readDoc(model(c.splines));
    const auto polys = polygonsOf(*root);
    EXPECT_EQ(polys->Counts.Faces(), c.patches);
    EXPECT_EQ(polys->Counts.Holes, c.holes);
    EXPECT_EQ(polys->Counts.Flat, c.flat);
    EXPECT_EQ(polys->Counts.Rings, c.rings);
  }
}

// Closed meshes whose wireframes hold loops that are no faces: the rim of the fan around the
// point added to one side of a tetrahedron, the three equators of an octahedron (also with one
// vertex of four triangles drawn out to a spike, whose triangles are larger than the equator
// around them), the rings of a torus four segments round. None of them is taken; every face
// is.
TEST(Patches, LoopsAroundOtherPatchesAreLeftOut) {
  IndexedMesh stellated{{{0, 0, 0}, {2, 0, 0}, {1, 2, 0}, {1, 0.7, 2}, {1, 0.7, -0.3}},
                        {{0, 1, 3}, {1, 2, 3}, {2, 0, 3}, {1, 0, 4}, {2, 1, 4}, {0, 2, 4}}};
  IndexedMesh octahedron = test::octaSphere(0);
  IndexedMesh spike = octahedron;
  spike.points[4] = {0, 0, 5};
  std::mt19937 rng(7);
  IndexedMesh thin_torus = test::gridSurface(4, 6, test::GridKind::Torus, 1.0, rng);
  struct Case {
    const char* name;
    IndexedMesh mesh;
    std::size_t crowded;
  };
  for (const Case& c :
       {Case{"stellated tetrahedron", stellated, 1}, Case{"octahedron", octahedron, 3},
        Case{"octahedron with a spike", spike, 3}, Case{"torus four round", thin_torus, 6}}) {
    SCOPED_TRACE(c.name);
    const auto faces = c.mesh.Faces();
    const auto polys = polygonsOf(*imported(faces));
    EXPECT_EQ(test::faceSet(polys->Faces), test::patchableFaces(faces));
    EXPECT_EQ(polys->Counts.Crowded, c.crowded);
    EXPECT_EQ(polys->Counts.Holes, 0u);
    EXPECT_EQ(polys->Counts.Unorientable, 0u);
  }
}

// Where loops crowd a segment, a loop is left out only while each of its segments keeps
// another: three triangles on one segment and two on another, the middle one on both (the
// walls of a slat), all stay, where leaving out the middle one would leave a segment bare.
TEST(Patches, CrowdedSegmentsKeepALoop) {
  IndexedMesh books{{{0, 0, 0},
                     {2, 0, 0},
                     {1, 1.5, 0.3},
                     {1, -1.5, 0.2},
                     {1, 0.4, 1.8},
                     {3, 1.2, 2},
                     {2.6, -1, 1.9}},
                    {{0, 1, 2}, {0, 1, 3}, {0, 1, 4}, {1, 4, 5}, {1, 4, 6}}};
  const auto faces = books.Faces();
  const auto polys = polygonsOf(*imported(faces));
  EXPECT_EQ(test::faceSet(polys->Faces), test::patchableFaces(faces));
  EXPECT_EQ(polys->Counts.Crowded, 0u);
}

// A tube three segments round: three splines along it, a closed ring at each end (openings)
// and a ring halfway, which borders two patches besides it on every side. Drawn with two
// splines and narrower than the patches are long, it is a patch as the modeller keeps it (the
// inner wall of a thin tube); wider, it lies around them and is left out. It is left out too
// when one spline makes it alone, passing its first point again, and when its segments are
// splines of one segment each, as a polygon file's edges, whose faces it is not.
TEST(Patches, RingOfATubeIsAPatchOnlyBetweenLargerPatches) {
  enum class Ring { TwoSplines, OneSpline, Edges };
  const auto tube = [](double radius, double length, Ring ring) {
    const auto at = [&](int k, int z) {
      const double turn = 2.0943951023931957 * k;
      return std::to_string(radius * std::cos(turn)) + " " +
             std::to_string(radius * std::sin(turn)) + " " + std::to_string(z * length);
    };
    int id = 1;
    const auto cp = [&](const std::string& flags, const std::string& where) {
      return Cp{flags + " 0 " + std::to_string(id++), where};
    };
    std::vector<std::vector<Cp>> splines;
    for (int k = 0; k < 3; ++k)
      splines.push_back({cp("0", at(k, 0)), cp("0", at(k, 1)), cp("0", at(k, 2))});
    for (int z : {0, 2})
      splines.push_back({cp("0", at(0, z)), cp("0", at(1, z)), cp("4", at(2, z))});
    switch (ring) {
      case Ring::TwoSplines:
        splines.push_back({cp("0", at(0, 1)), cp("0", at(1, 1)), cp("0", at(2, 1))});
        splines.push_back({cp("0", at(2, 1)), cp("0", at(0, 1))});
        break;
      case Ring::OneSpline:
        splines.push_back(
            {cp("0", at(0, 1)), cp("0", at(1, 1)), cp("0", at(2, 1)), cp("0", at(0, 1))});
        break;
      case Ring::Edges:
        for (int k = 0; k < 3; ++k)
          splines.push_back({cp("0", at(k, 1)), cp("0", at((k + 1) % 3, 1))});
        break;
    }
    return polygonsOf(*readDoc(model(splines)));
  };
  struct Case {
    const char* name;
    double radius, length;
    Ring ring;
    std::size_t triangles, crowded;
  };
  for (const Case& c :
       {Case{"thin", 1, 5, Ring::TwoSplines, 1, 0}, Case{"wide", 5, 1, Ring::TwoSplines, 0, 1},
        Case{"thin, one spline", 1, 5, Ring::OneSpline, 0, 1},
        Case{"thin, edges", 1, 5, Ring::Edges, 0, 1}}) {
    SCOPED_TRACE(c.name);
    const auto polys = tube(c.radius, c.length, c.ring);
    EXPECT_EQ(polys->Counts.Quads, 6u);
    EXPECT_EQ(polys->Counts.Triangles, c.triangles);
    EXPECT_EQ(polys->Counts.Crowded, c.crowded);
    EXPECT_EQ(polys->Counts.Rings, 2u);
  }
}

// A Moebius strip of six quads: every quad found, one set that cannot be turned one way, and
// its one border (twelve segments) a hole.
TEST(Patches, MoebiusStripIsUnorientable) {
  const IndexedMesh strip = test::moebiusStrip();
  const auto faces = strip.Faces();
  const auto polys = polygonsOf(*imported(faces));
  EXPECT_EQ(test::faceSet(polys->Faces), test::patchableFaces(faces));
  EXPECT_EQ(polys->Counts.Unorientable, 1u);
  EXPECT_EQ(polys->Counts.Holes, 1u);
}

// The first group of the model that holds every corner names a face; groups Halvejoin left
// out, unnamed groups and ids that name nothing hold nothing.
TEST(Patches, FacesGoToTheFirstGroupHoldingAllTheirCorners) {
  // Two squares side by side: 1 2 5 6 and 2 3 4 5 (ids of the corners below).
  const std::vector<std::vector<Cp>> splines = {
      {{"0 0 1", "0 0 0"}, {"0 0 2", "1 0 0"}, {"0 0 3", "2 0 0"}},
      {{"0 0 4", "2 1 0"}, {"0 0 5", "1 1 0"}, {"0 0 6", "0 1 0"}},
      {{"0 1 7", "1"}, {"0 1 8", "6"}},
      {{"0 1 9", "2"}, {"0 1 10", "5"}},
      {{"0 1 11", "3"}, {"0 1 12", "4"}},
  };
  const auto group = [](const char* name, std::vector<const char*> ids) {
    LineList l{"[GROUP]", std::string("Name=") + name, "Count=" + std::to_string(ids.size())};
    l.insert(l.end(), ids.begin(), ids.end());
    l.push_back("[ENDGROUP]");
    return l;
  };
  LineList groups;
  for (const LineList& g :
       {group("Nothing", {"x", "99"}), group("Right", {"2", "3", "4", "5"}),
        group("All", {"1", "2", "3", "4", "5", "6"}), group("", {"1", "2", "5", "6"})})
    groups.insert(groups.end(), g.begin(), g.end());
  const auto root = readDoc(model(splines, groups));
  const auto polys = polygonsOf(*root);
  const auto layers = test::layerOfFaces(polys->Faces, test::exact);
  EXPECT_EQ(layers.at(cycle({{1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}})), "Right");
  EXPECT_EQ(layers.at(cycle({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}})), "All");
  // The faces come group by group: Right before All.
  ASSERT_EQ(polys->Faces.size(), 2u);
  EXPECT_EQ(polys->Faces[0].Layer, "Right");
  EXPECT_EQ(polys->Layers, (std::vector<std::string>{"All", "Right"}));

  // Halvejoin marks the groups to be left out: afterwards every face is the rest's.
  test::Step step;
  root->Halvejoin(0, step);
  const auto after = polygonsOf(*root);
  EXPECT_FALSE(after->Faces.empty());
  for (const Mdxf_3dface& f : after->Faces) EXPECT_EQ(f.Layer, "rest");
}

TEST(Patches, TriangulateSplitsQuadsAlongTheShorterDiagonal) {
  // A kite whose diagonal from (0,0) to (4,0) is longer than the one from (1,-1) to (1,1); and a
  // square, whose diagonals are equal: split from its first corner.
  IndexedMesh kite{{{0, 0, 0}, {1, -1, 0}, {4, 0, 0}, {1, 1, 0}}, {{0, 1, 2, 3}}};
  const auto polys = polygonsOf(*imported(kite.Faces()), true);
  EXPECT_EQ(test::faceSet(polys->Faces),
            (std::set<FaceCycle>{cycle({{0, 0, 0}, {1, -1, 0}, {1, 1, 0}}),
                                 cycle({{1, -1, 0}, {4, 0, 0}, {1, 1, 0}})}));
  for (const Mdxf_3dface& f : polys->Faces) {
    EXPECT_EQ(f.CornerCount, 3);
    EXPECT_GT(normalOf(f).z, 0);  // both turned as the quad was (an open sheet faces +z)
  }
  IndexedMesh square{{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}}};
  const auto split = polygonsOf(*imported(square.Faces()), true);
  EXPECT_EQ(test::faceSet(split->Faces), test::triangulated(test::patchableFaces(square.Faces())));
}

// --- The fast search against the literal one -------------------------------------------------

// Random spline models on a few grid positions: shared and crossing segments, closed
// splines, attachments (chains, rings, missing targets), hooks on their own segments and on
// others', and now and then a coordinate so large that a hook between it and another lies at
// infinity.
LineList randomModel(std::mt19937& rng) {
  // A third of the models are edges alone, as a polygon file's import makes them.
  const bool edges = rng() % 3 == 0;
  std::vector<std::vector<Cp>> splines(edges ? 8 + rng() % 24 : 1 + rng() % 10);
  int id = 1;
  static const char* kT[] = {"0.25", "0.5", "0.75", "1.5"};
  for (auto& s : splines) {
    const int n = edges ? 2 : 1 + static_cast<int>(rng() % 5);
    for (int k = 0; k < n; ++k, ++id) {
      std::uint32_t flags = k + 1 == n && !edges && rng() % 3 == 0 ? 4 : 0;
      if (rng() % 6 == 0) flags |= 0x80;
      std::string t;
      if (rng() % 5 == 0) {
        flags |= 0x10;
        t = std::string(" ") + kT[rng() % 4];
      }
      const bool attached = id > 1 && rng() % 4 == 0;
      std::string head =
          std::to_string(flags) + (attached ? " 1 " : " 0 ") + std::to_string(id) + t;
      std::string second;
      if (attached) {
        second = std::to_string(1 + rng() % (id + 1));  // now and then itself or a later one
      } else {
        second = std::to_string(rng() % 3) + " " + std::to_string(rng() % 3) + " " +
                 (rng() % 80 == 0 ? "1e308" : std::to_string(rng() % 2));
      }
      s.push_back({head, second});
    }
  }
  return model(splines);
}

TEST(Patches, FastSearchEqualsLiteralSearchOnRandomModels) {
  std::size_t with_patches = 0, with_hooks = 0, crowded = 0, rings = 0;
  for (std::uint32_t seed = 1; seed <= 1500; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    const auto root = readDoc(randomModel(rng));
    const M5mesh& mesh = meshOf(*root);
    Progress bars;
    const MeshPatches fast = FindPatches(mesh, bars);
    const literal::LiteralPatches slow = literal::literalFindPatches(mesh);
    ASSERT_EQ(fast.VertexOfPoint, slow.vertex_of_point);
    ASSERT_EQ(fast.Vertices.size(), slow.vertices.size());
    for (std::size_t v = 0; v < fast.Vertices.size(); ++v) {
      EXPECT_EQ(fast.Vertices[v].x, slow.vertices[v].x);
      EXPECT_EQ(fast.Vertices[v].y, slow.vertices[v].y);
      EXPECT_EQ(fast.Vertices[v].z, slow.vertices[v].z);
    }
    std::vector<std::vector<std::uint32_t>> found, expected;
    for (std::size_t i = 0; i < fast.Count(); ++i) {
      const auto c = fast.Patch(i);
      found.push_back({c.begin(), c.end()});
    }
    std::sort(found.begin(), found.end());
    for (const auto& p : slow.patches) expected.push_back(p.corners);
    EXPECT_EQ(fast.Counts.Flat, slow.flat);
    EXPECT_EQ(fast.Counts.Crowded, slow.crowded);
    EXPECT_EQ(fast.Counts.Rings, slow.rings);
    EXPECT_EQ(fast.Counts.Unorientable, slow.unorientable);
    if (slow.unorientable == 0) {
      ASSERT_EQ(found, expected);
    } else {
      // Which way the walk turned a set that cannot agree depends on where it started.
      auto unturned = [](std::vector<std::vector<std::uint32_t>> list) {
        for (auto& p : list) std::sort(p.begin(), p.end());
        std::sort(list.begin(), list.end());
        return list;
      };
      ASSERT_EQ(unturned(found), unturned(expected));
    }
    with_patches += fast.Count() > 0;
    crowded += fast.Counts.Crowded > 0;
    rings += fast.Counts.Rings > 0;
    for (const auto& s : mesh.Splines)
      for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get()) with_hooks += p->HasHookBits();
  }
  // The random models reach what they are meant to.
  EXPECT_GT(with_patches, 300u);
  EXPECT_GT(crowded, 20u);
  EXPECT_GT(rings, 300u);
  EXPECT_GT(with_hooks, 500u);
}

// --- Polygon meshes there and back -----------------------------------------------------------

struct MeshCase {
  std::string name;
  IndexedMesh mesh;
};

// Random closed (tori, spheres) and open (sheets, tubes) meshes of triangles and quads, some
// with edges flipped at random. Their borders all have five or more segments.
std::vector<MeshCase> randomMeshes(int count) {
  std::vector<MeshCase> out;
  for (int seed = 1; seed <= count; ++seed) {
    std::mt19937 rng(seed);
    const int kind = seed % 5;
    const double quads = (rng() % 5) / 4.0;
    IndexedMesh m;
    std::string name;
    if (kind == 4) {
      m = test::octaSphere(2);
      name = "sphere";
    } else {
      const auto grid = kind == 0   ? test::GridKind::Torus
                        : kind == 1 ? test::GridKind::Sheet
                                    : test::GridKind::Tube;
      name = kind == 0 ? "torus" : kind == 1 ? "sheet" : "tube";
      m = test::gridSurface(5 + static_cast<int>(rng() % 8), 5 + static_cast<int>(rng() % 8), grid,
                            quads, rng);
    }
    // A few flips give vertices of three to eight neighbours; many more, on a mesh this
    // coarse, tangle it beyond what its wireframe tells (see LoopsAroundOtherPatches).
    if (rng() % 2) test::flipEdges(m, static_cast<int>(rng() % 20), rng);
    out.push_back({name + " " + std::to_string(seed), std::move(m)});
  }
  return out;
}

TEST(PatchRoundTrip, RandomClosedAndOpenMeshesComeBackFaceForFace) {
  std::size_t closed = 0;
  for (const MeshCase& c : randomMeshes(150)) {
    SCOPED_TRACE(c.name);
    const auto faces = c.mesh.Faces();
    const auto polys = polygonsOf(*imported(faces));
    ASSERT_EQ(test::faceSet(polys->Faces), test::patchableFaces(faces));
    EXPECT_EQ(polys->Counts.Unorientable, 0u);
    closed += polys->Counts.Holes == 0;
    // Faces that came from one surface all turn one way: the import and the export agree on
    // every shared edge.
  }
  EXPECT_GT(closed, 40u);
}

// The grids of the benchmarks (triangles in rows of eight layers), and a sheet in two layers
// of blocks of rows: each face comes back on its own layer.
TEST(PatchRoundTrip, GridsKeepTheirLayers) {
  test::ScratchDir dir;
  const std::string path = dir / "grid.dxf";
  bench::WriteDxfFile(path, 5000);
  DocumentSession session;
  session.TemplatePath = kTemplate;
  session.CurrentFile = path;
  ASSERT_EQ(session.LoadDocument().Outcome, LoadOutcome::Loaded);
  test::Step step;
  const auto read = ReadPolygonFile(path, session.Polygons, nullptr, step);
  const auto polys = polygonsOf(*session.Document);
  EXPECT_EQ(test::faceSet(polys->Faces), test::patchableFaces(read->Faces));
  EXPECT_GE(polys->Faces.size(), 5000u);

  std::mt19937 rng(3);
  IndexedMesh sheet = test::gridSurface(9, 8, test::GridKind::Sheet, 0.5, rng);
  std::vector<Mdxf_3dface> layered;
  for (std::size_t f = 0; f < sheet.faces.size(); ++f) {
    IndexedMesh one{sheet.points, {sheet.faces[f]}};
    const double y = sheet.points[sheet.faces[f][0]].y + sheet.points[sheet.faces[f][2]].y;
    layered.push_back(one.Faces(y < 8 ? "lower" : "upper")[0]);
  }
  const auto back = polygonsOf(*imported(layered));
  EXPECT_EQ(test::layerOfFaces(back->Faces, test::exact), test::layerOfFaces(layered, test::exact));

  // A layer of its own for every face: more groups than fit the bits of a word.
  std::vector<Mdxf_3dface> each = layered;
  for (std::size_t f = 0; f < each.size(); ++f) each[f].Layer = "face " + std::to_string(1000 + f);
  ASSERT_GT(each.size(), 100u);
  const auto own = polygonsOf(*imported(each));
  EXPECT_EQ(test::layerOfFaces(own->Faces, test::exact), test::layerOfFaces(each, test::exact));
}

// Connect joins the edges of each layer into long splines and Attach all and Detach all change
// how the corners are tied: the segments, and so the faces, stay.
TEST(PatchRoundTrip, FacesSurviveAttachDetachAndConnect) {
  test::ScratchDir dir;
  for (const MeshCase& c : randomMeshes(25)) {
    SCOPED_TRACE(c.name);
    const std::string path = dir / "mesh.dxf";
    Mdxf file;
    file.Faces = c.mesh.Faces("a");
    for (std::size_t f = 0; f < file.Faces.size(); f += 3) file.Faces[f].Layer = "b";
    LineList lines;
    file.WriteDxf(lines);
    WriteLinesFile(path, lines);
    test::Step step;
    const auto expected = test::patchableFaces(ReadPolygonFile(path, {}, nullptr, step)->Faces);
    for (const char* edit : {"attach", "detach", "connect", "detach+connect"}) {
      SCOPED_TRACE(edit);
      DocumentSession session;
      session.TemplatePath = kTemplate;
      session.CurrentFile = path;
      ASSERT_EQ(session.LoadDocument().Outcome, LoadOutcome::Loaded);
      const std::string e = edit;
      if (e == "attach") session.AttachAll();
      if (e.starts_with("detach")) session.DetachAll();
      if (e.ends_with("connect")) {
        // Connect joins along the groups a model file lists: those of the import once saved.
        session.SaveDocument(dir / "mesh.mdl");
        session.CurrentFile = dir / "mesh.mdl";
        ASSERT_EQ(session.LoadDocument().Outcome, LoadOutcome::Loaded);
        const std::int32_t splines = session.Shared.Counts.Splines;
        session.ConnectGroupedSplines();
        EXPECT_LT(session.Shared.Counts.Splines, splines);
      }
      EXPECT_EQ(test::faceSet(polygonsOf(*session.Document)->Faces), expected);
    }
  }
}

// --- Hostile models ---------------------------------------------------------------------------

// Every pair of 120 points joined: about 280,000 loops of three, no surface. The search gives
// up with an error instead of listing them all.
TEST(Patches, CompleteGraphIsTooTangled) {
  std::vector<std::vector<Cp>> splines;
  const int n = 120;
  int id = 1;
  for (int a = 0; a < n; ++a)
    for (int b = a + 1; b < n; ++b) {
      const auto at = [](int k) {  // on the moment curve: no three points in a line
        return std::to_string(k) + " " + std::to_string(k * k) + " " + std::to_string(k * k * k);
      };
      splines.push_back(
          {{"0 0 " + std::to_string(id), at(a)}, {"0 0 " + std::to_string(id + 1), at(b)}});
      id += 2;
    }
  const auto root = readDoc(model(splines));
  try {
    polygonsOf(*root);
    FAIL() << "no error";
  } catch (const ZevrinError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::PatchesTooTangled);
    EXPECT_EQ(e.message(false), "The splines cross each other too often to be read as patches");
  }
  // The bound on the steps of the listing holds too, whatever the loops.
  PatchLimits tight;
  tight.MinSteps = 100;
  tight.StepsPerSegment = 0;
  Progress bars;
  IndexedMesh sphere = test::octaSphere(2);
  EXPECT_THROW(FindPatches(meshOf(*imported(sphere.Faces())), bars, tight), ZevrinError);
  EXPECT_NO_THROW(FindPatches(meshOf(*imported(sphere.Faces())), bars));
}

// Two points that ten others both join: forty-five loops of four around one pair of opposite
// corners, more than any surface has. None is guessed at.
TEST(Patches, CrowdedDiagonalTakesNoQuad) {
  std::vector<std::vector<Cp>> splines;
  int id = 1;
  for (int k = 0; k < 10; ++k) {
    const std::string middle =
        std::to_string(std::cos(k * 0.6)) + " " + std::to_string(std::sin(k * 0.6)) + " 0";
    splines.push_back(
        {{"0 0 " + std::to_string(id++), "0 0 1"}, {"0 0 " + std::to_string(id++), middle}});
    splines.push_back(
        {{"0 0 " + std::to_string(id++), middle}, {"0 0 " + std::to_string(id++), "0 0 -1"}});
  }
  const auto polys = polygonsOf(*readDoc(model(splines)));
  EXPECT_EQ(polys->Counts.Faces(), 0u);
  EXPECT_EQ(polys->Counts.Tangles, 1u);
}

// Long chains of attachments and of hooks, and a point where a hundred thousand segments meet:
// walked without recursion, each chain once.
TEST(Patches, LongChainsAndCrowdedPointsAreWalkedOnce) {
  const int n = 100000;
  LineList l{"[MODELFILE]", "[MODEL]", "[MESH]", "CPs=" + std::to_string(n)};
  // One spline whose every point is attached to the one after it, each with a parameter, the
  // last a hook point of its own.
  for (int k = 1; k <= n; ++k) {
    if (k < n)
      l.insert(l.end(), {"16 1 " + std::to_string(k) + " 0.5", std::to_string(k + 1), "0", "0"});
    else
      l.insert(l.end(), {"144 0 " + std::to_string(k) + " 0.5", "1 2 3", "0", "0"});
  }
  // A star: n two-point splines from one centre.
  for (int k = 0; k < n; ++k)
    l.insert(l.end(), {"CPs=2", "0 0 " + std::to_string(2 * n + 2 * k), "5 5 5", "0", "0",
                       "0 0 " + std::to_string(2 * n + 2 * k + 1),
                       std::to_string(k) + " " + std::to_string(k % 7) + " 9", "0", "0"});
  l.insert(l.end(), {"[ENDMESH]", "[ENDMODEL]", "[ENDMODELFILE]"});
  const auto root = readDoc(l);
  Progress bars;
  const MeshPatches patches = FindPatches(meshOf(*root), bars);
  EXPECT_EQ(patches.Count(), 0u);
  EXPECT_EQ(patches.VertexOfPoint.size(), static_cast<std::size_t>(3 * n));
}

}  // namespace
}  // namespace zevrin
