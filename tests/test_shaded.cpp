// The shaded view in the core: the camera's arithmetic, the scene made of a document's patches
// (normals, holes, turnings) and the software picture's colours where a user looks for them.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "app/session/Document.h"
#include "import/M_dxf.h"
#include "model/ShadedModel.h"
#include "model/tree/AM_const.h"
#include "tests/PatchTestUtil.h"
#include "tests/TestUtil.h"
#include "view/M_scr.h"
#include "view/OrbitCamera.h"
#include "view/ShadedRaster.h"

namespace zevrin {
namespace {

using test::IndexedMesh;

const std::string kTemplate = std::string(ZEVRIN_EXAMPLES) + "/../data/animas_reference.mdl";
const std::string kTag = std::string(ZEVRIN_TEST_DATA) + "/tag/";

CameraVec cross(const CameraVec& a, const CameraVec& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// --- The camera ---------------------------------------------------------------------------

TEST(ShadedCamera, FixedDirectionsDrawTheWireframesAxesUnmirrored) {
  for (const ViewKind kind : {ViewKind::Front, ViewKind::Left, ViewKind::Top}) {
    SCOPED_TRACE(static_cast<int>(kind));
    OrbitCamera camera = OrbitCamera::ForView(kind);
    camera.Scale = 2;
    Mscreen wire;
    wire.SetDirection(kind);
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> any(-50, 50);
    for (int i = 0; i < 50; ++i) {
      const CameraVec p{any(rng), any(rng), any(rng)};
      wire.Project(p.x, p.y, p.z);
      const auto at = camera.Project(p, 200, 100);
      // The wireframe's h to the right, its v upwards; the top view from above has it
      // downwards.
      EXPECT_DOUBLE_EQ(at.x, 100 + 2 * wire.ProjH);
      EXPECT_DOUBLE_EQ(at.y, kind == ViewKind::Top ? 50 + 2 * wire.ProjV : 50 - 2 * wire.ProjV);
    }
    // A rotation of the right-handed world, not a mirror: right x up is the way to the viewer.
    const CameraVec r = camera.Right(), u = camera.Up(), t = camera.Toward(), ru = cross(r, u);
    EXPECT_DOUBLE_EQ(ru.x, t.x);
    EXPECT_DOUBLE_EQ(ru.y, t.y);
    EXPECT_DOUBLE_EQ(ru.z, t.z);
  }
  // Front from +z, left from -x, top from above.
  EXPECT_EQ(OrbitCamera::ForView(ViewKind::Front).Toward().z, 1);
  EXPECT_EQ(OrbitCamera::ForView(ViewKind::Left).Toward().x, -1);
  EXPECT_EQ(OrbitCamera::ForView(ViewKind::Top).Toward().y, 1);
}

TEST(ShadedCamera, TurningStaysARotationAboutTheCentre) {
  OrbitCamera camera;
  camera.Fit({-3, 1, 2}, {5, 4, 9}, 640, 480);
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> turn(-400, 400);
  for (int i = 0; i < 200; ++i) {
    camera.Orbit(turn(rng), turn(rng));
    EXPECT_GE(camera.Pitch, -90);
    EXPECT_LE(camera.Pitch, 90);
    EXPECT_GT(camera.Yaw, -180);
    EXPECT_LE(camera.Yaw, 180);
    const CameraVec r = camera.Right(), u = camera.Up(), t = camera.Toward(), ru = cross(r, u);
    EXPECT_NEAR(ru.x, t.x, 1e-12);
    EXPECT_NEAR(ru.y, t.y, 1e-12);
    EXPECT_NEAR(ru.z, t.z, 1e-12);
    const auto centre = camera.Project(camera.Centre, 640, 480);
    EXPECT_DOUBLE_EQ(centre.x, 320);
    EXPECT_DOUBLE_EQ(centre.y, 240);
  }
  // Ninety degrees of yaw from the front is the left view, ninety up from it the top view.
  OrbitCamera turned = OrbitCamera::ForView(ViewKind::Front);
  turned.Orbit(90, 0);
  EXPECT_EQ(turned.Toward().x, OrbitCamera::ForView(ViewKind::Left).Toward().x);
  turned = OrbitCamera::ForView(ViewKind::Front);
  turned.Orbit(0, 90);
  EXPECT_EQ(turned.Up().z, OrbitCamera::ForView(ViewKind::Top).Up().z);
  turned.Orbit(0, 30);  // stops at the pole
  EXPECT_EQ(turned.Pitch, 90);
}

TEST(ShadedCamera, FitHoldsEveryPointFromAnyDirection) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> coord(-1000, 1000), angle(-180, 180), size(1, 2000);
  for (int round = 0; round < 100; ++round) {
    ShadedScene scene;
    const CameraVec shift{coord(rng), coord(rng), coord(rng)};
    const double spread = size(rng);
    std::uniform_real_distribution<double> near(-spread, spread);
    for (int i = 0; i < 30; ++i) {
      const double x = shift.x + near(rng), y = shift.y + near(rng) / 3, z = shift.z + near(rng);
      scene.Positions.insert(scene.Positions.end(),
                             {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)});
    }
    scene.Min = scene.Max = {scene.Positions[0], scene.Positions[1], scene.Positions[2]};
    for (std::size_t k = 0; k < scene.Positions.size(); k += 3) {
      scene.Min = {std::min<double>(scene.Min.x, scene.Positions[k]),
                   std::min<double>(scene.Min.y, scene.Positions[k + 1]),
                   std::min<double>(scene.Min.z, scene.Positions[k + 2])};
      scene.Max = {std::max<double>(scene.Max.x, scene.Positions[k]),
                   std::max<double>(scene.Max.y, scene.Positions[k + 1]),
                   std::max<double>(scene.Max.z, scene.Positions[k + 2])};
    }
    const std::int32_t w = 100 + round * 7, h = 60 + round * 5;
    OrbitCamera by_box, by_points;
    by_box.Orbit(angle(rng), angle(rng));
    by_points = by_box;
    by_box.Fit(scene.Min, scene.Max, w, h);
    FitScene(by_points, scene, w, h);
    EXPECT_GE(by_points.Scale, by_box.Scale * (1 - 1e-9));  // the points fit at least as tight
    for (const OrbitCamera* camera : {&by_box, &by_points})
      for (std::size_t k = 0; k < scene.Positions.size(); k += 3) {
        const auto at = camera->Project(
            {scene.Positions[k], scene.Positions[k + 1], scene.Positions[k + 2]}, w, h);
        EXPECT_GE(at.x, 0);
        EXPECT_LE(at.x, w);
        EXPECT_GE(at.y, 0);
        EXPECT_LE(at.y, h);
        EXPECT_LE(std::fabs(at.depth), camera->DepthRadius * (1 + 1e-9));
      }
  }
  // Nothing to fit, a point, a box with a NaN: a finite picture all the same.
  for (const auto& [lo, hi] : std::array<std::pair<CameraVec, CameraVec>, 3>{
           {{{0, 0, 0}, {0, 0, 0}}, {{5, 5, 5}, {5, 5, 5}}, {{NAN, 0, 0}, {1, 1, 1}}}}) {
    OrbitCamera camera;
    camera.Fit(lo, hi, 300, 200);
    EXPECT_TRUE(std::isfinite(camera.Scale) && camera.Scale > 0);
    EXPECT_TRUE(std::isfinite(camera.Centre.x));
  }
}

TEST(ShadedCamera, ZoomKeepsThePointUnderThePointerAndStopsAtItsLimits) {
  OrbitCamera camera;
  camera.Orbit(30, 20);
  camera.Fit({-10, -10, -10}, {10, 10, 10}, 400, 300);
  const CameraVec p{3, -4, 7};
  const auto before = camera.Project(p, 400, 300);
  EXPECT_TRUE(camera.ZoomAbout(2.5, before.x, before.y, 400, 300));
  const auto after = camera.Project(p, 400, 300);
  EXPECT_NEAR(after.x, before.x, 1e-9);
  EXPECT_NEAR(after.y, before.y, 1e-9);
  camera.PanBy(15, -8);
  const auto moved = camera.Project(p, 400, 300);
  EXPECT_NEAR(moved.x, after.x + 15, 1e-9);
  EXPECT_NEAR(moved.y, after.y - 8, 1e-9);
  while (camera.ZoomAbout(10, 0, 0, 400, 300)) {
  }
  EXPECT_DOUBLE_EQ(camera.Scale, camera.FitScale * OrbitCamera::kMaxZoom);
  EXPECT_FALSE(camera.ZoomAbout(NAN, 0, 0, 400, 300));
  EXPECT_FALSE(camera.ZoomAbout(0, 0, 0, 400, 300));
}

TEST(ShadedCamera, ClipMatrixIsTheProjectionOfThePicture) {
  OrbitCamera camera;
  camera.Orbit(-40, 35);
  camera.Fit({-2, 0, -1}, {6, 3, 4}, 500, 300);
  camera.ZoomAbout(1.7, 120, 80, 500, 300);
  camera.PanBy(-20, 11);
  const std::array<float, 16> m = camera.ClipMatrix(500, 300);
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> coord(-1, 6);
  for (int i = 0; i < 50; ++i) {
    const CameraVec p{coord(rng), coord(rng) / 2, coord(rng)};
    const double cx = m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12];
    const double cy = m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13];
    const double cz = m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14];
    EXPECT_EQ(m[3] * p.x + m[7] * p.y + m[11] * p.z + m[15], 1);
    const auto at = camera.Project(p, 500, 300);
    EXPECT_NEAR((cx + 1) / 2 * 500, at.x, 1e-3);
    EXPECT_NEAR((1 - cy) / 2 * 300, at.y, 1e-3);
    EXPECT_NEAR(cz, -at.depth / (camera.DepthRadius * 1.01), 1e-5);  // nearer is smaller
  }
}

// --- The scene and its picture -----------------------------------------------------------

// A polygon mesh converted as a polygon file is, into the template model.
std::unique_ptr<M5amsuper> imported(const IndexedMesh& mesh) {
  auto root = std::make_unique<M5amsuper>();
  test::Step step;
  root->ReadSection(ReadFileLines(kTemplate), 0, step);
  Mdxf polygons;
  polygons.Faces = mesh.Faces();
  polygons.CollectLayers();
  root->ImportPolygons(polygons, step);
  return root;
}

ShadedScene sceneOf(const M5amsuper& root) {
  Progress bars;
  return BuildShadedScene(root, bars);
}

// The unit cube's six faces, each turned to face out; `leave_out` faces are not made.
IndexedMesh cube(int leave_out = -1) {
  IndexedMesh m;
  for (int i = 0; i < 8; ++i)
    m.points.push_back({double(i & 1), double((i >> 1) & 1), double(i >> 2)});
  const std::vector<std::vector<std::uint32_t>> faces = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                                         {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  for (int f = 0; f < 6; ++f)
    if (f != leave_out) m.faces.push_back(faces[f]);
  return m;
}

enum class Seen { Front, Back, Tinted, Hole, Other };

// By hue, so that light, shade and the blending of edges with the background do not matter;
// on a black background.
Seen seen(Rgb c) {
  if (c.r > 60 && c.g > 0.65 * c.r && c.b < 0.6 * c.g) return Seen::Hole;
  if (c.g * 1.25 < std::min(c.r, c.b)) return Seen::Tinted;
  if (c.r > 1.5 * c.b && c.g < 0.6 * c.r) return Seen::Back;
  if (c.b >= c.r && c.r > 30) return Seen::Front;
  return Seen::Other;
}

ShadedStyle onBlack(bool splines = false) {
  ShadedStyle style;
  style.BackgroundTop = style.BackgroundBottom = {0, 0, 0};
  style.DrawSplines = splines;
  return style;
}

// How many pixels of a picture of the scene from this direction show each colour.
std::array<int, 5> census(const ShadedScene& scene, double yaw, double pitch,
                          bool splines = false) {
  OrbitCamera camera;
  camera.Orbit(yaw, pitch);
  FitScene(camera, scene, 160, 120);
  const RgbaImage picture = RenderShaded(scene, camera, 160, 120, onBlack(splines));
  std::array<int, 5> n{};
  for (std::int32_t y = 0; y < 120; ++y)
    for (std::int32_t x = 0; x < 160; ++x) ++n[static_cast<int>(seen(picture.At(x, y)))];
  return n;
}

constexpr double kAround[][2] = {{0, 0}, {90, 0}, {180, 0}, {-90, 0}, {0, 89}, {0, -89}, {35, 25}};

TEST(ShadedScene, AClosedSurfaceShowsOnlyItsFrontFromEverySide) {
  const struct {
    const char* name;
    std::unique_ptr<M5amsuper> root;
  } models[] = {{"imported cube", imported(cube())},
                {"octahedron sphere", imported(test::octaSphere(2))}};
  for (const auto& m : models) {
    SCOPED_TRACE(m.name);
    const ShadedScene scene = sceneOf(*m.root);
    EXPECT_EQ(scene.Holes, 0u);
    EXPECT_EQ(scene.Unorientable, 0u);
    EXPECT_TRUE(scene.HoleLines.empty());
    for (const auto& [yaw, pitch] : kAround) {
      const auto n = census(scene, yaw, pitch);
      EXPECT_GT(n[static_cast<int>(Seen::Front)], 1000) << yaw << " " << pitch;
      EXPECT_EQ(n[static_cast<int>(Seen::Back)], 0) << yaw << " " << pitch;
      EXPECT_EQ(n[static_cast<int>(Seen::Hole)], 0) << yaw << " " << pitch;
    }
  }
  // The modeller's own lists turn the same way. Its sphere leaves a tiny ring of four points
  // open at each pole, which its list does not close.
  for (const auto& [file, holes] : {std::pair{"Cube.mdl", 0u}, std::pair{"Torus.mdl", 0u},
                                    std::pair{"8Patch_Sphere.mdl", 2u}}) {
    SCOPED_TRACE(file);
    DocumentSession session;
    session.CurrentFile = kTag + file;
    session.LoadDocument();
    const ShadedScene scene = sceneOf(*session.Document);
    EXPECT_EQ(scene.Holes, holes);
    for (const auto& [yaw, pitch] : kAround)
      EXPECT_EQ(census(scene, yaw, pitch)[static_cast<int>(Seen::Back)], 0) << yaw << " " << pitch;
  }
}

TEST(ShadedScene, AHoleIsOutlinedWhereItIsAndTheInsideShowsItsBack) {
  // The cube without its top (y = 1). An opening of four segments would be a patch to the
  // patch finder, so the rim gets a fifth point, on the edge from (0, 1, 0) to (1, 1, 0); the
  // side z = 0 becomes a quad and a triangle beside it.
  IndexedMesh open = cube(3);
  open.points.push_back({0.5, 1, 0});  // 8
  open.faces[0] = {0, 2, 8, 1};
  open.faces.push_back({8, 3, 1});
  const auto root = imported(open);
  const ShadedScene scene = sceneOf(*root);
  EXPECT_EQ(scene.Holes, 1u);
  EXPECT_EQ(scene.HoleLines.size(), 5u * 6);
  for (std::size_t k = 0; k < scene.HoleLines.size(); k += 3) EXPECT_EQ(scene.HoleLines[k + 1], 1);

  // Seen from above, the outline runs round the opening and the inside shows its back.
  OrbitCamera camera;
  camera.Orbit(20, 75);
  FitScene(camera, scene, 200, 160);
  const RgbaImage picture = RenderShaded(scene, camera, 200, 160, onBlack());
  const auto near = [&](CameraVec p, Seen what) {
    const auto at = camera.Project(p, 200, 160);
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        if (seen(picture.At(static_cast<std::int32_t>(at.x) + dx,
                            static_cast<std::int32_t>(at.y) + dy)) == what)
          return true;
    return false;
  };
  EXPECT_TRUE(near({0.5, 1, 1}, Seen::Hole));  // the middle of the near edge
  EXPECT_TRUE(near({1, 1, 0.5}, Seen::Hole));
  EXPECT_TRUE(near({0.25, 1, 0}, Seen::Hole));  // the far edge, on either side of its point
  EXPECT_TRUE(near({0.75, 1, 0}, Seen::Hole));
  EXPECT_TRUE(near({0.5, 0, 0.5}, Seen::Back));  // the floor, through the opening
  EXPECT_FALSE(near({0.5, 0, 0.5}, Seen::Hole));
  // The closed cube, from the same place: no outline, and its top's front.
  const ShadedScene closed = sceneOf(*imported(cube()));
  EXPECT_EQ(census(closed, 20, 75)[static_cast<int>(Seen::Hole)], 0);
  EXPECT_EQ(census(closed, 20, 75)[static_cast<int>(Seen::Back)], 0);
}

TEST(ShadedScene, AFlippedPatchOfAFilesOwnListShowsItsBack) {
  std::string text = test::readBytes(kTag + "Cube.mdl");
  // Turn the first quad of the list round: "flags c1 c2 c3 c4 ..." with c4 != c1.
  const std::size_t list = text.find("<PATCHES>");
  ASSERT_NE(list, std::string::npos);
  std::size_t line = text.find('\n', list) + 1;
  for (;; line = text.find('\n', line) + 1) {
    const std::size_t end = text.find('\r', line);
    ASSERT_NE(text.compare(line, 10, "</PATCHES>"), 0) << "no quad in the list";
    std::istringstream words(text.substr(line, end - line));
    std::string flags, c[4];
    words >> flags >> c[0] >> c[1] >> c[2] >> c[3];
    if (c[3] == c[0] || c[0] == c[1]) continue;  // a three-corner patch
    std::string rest;
    std::getline(words, rest);
    text.replace(line, end - line,
                 flags + " " + c[3] + " " + c[2] + " " + c[1] + " " + c[0] + rest);
    break;
  }
  DocumentSession session;
  session.LoadDocumentBytes("flipped.mdl", test::bufferOf(text));
  ASSERT_TRUE(session.Document);
  const ShadedScene scene = sceneOf(*session.Document);
  // One patch turned against the others is still a surface that can turn one way.
  EXPECT_EQ(scene.Unorientable, 0u);
  int back = 0;
  for (const auto& [yaw, pitch] : kAround)
    back += census(scene, yaw, pitch)[static_cast<int>(Seen::Back)];
  EXPECT_GT(back, 100);

  // The modeller's own Box.mdl lists three patches turned against their neighbours (the
  // modeller draws both sides): they show their backs from outside, and the box still turns.
  DocumentSession box;
  box.CurrentFile = kTag + "Box.mdl";
  box.LoadDocument();
  const ShadedScene box_scene = sceneOf(*box.Document);
  EXPECT_EQ(box_scene.Unorientable, 0u);
  EXPECT_GT(census(box_scene, -30, 25)[static_cast<int>(Seen::Back)], 100);
}

TEST(ShadedScene, ASetThatCannotTurnOneWayIsTinted) {
  const IndexedMesh strip = test::moebiusStrip();
  const ShadedScene scene = sceneOf(*imported(strip));
  EXPECT_EQ(scene.Unorientable, 1u);
  EXPECT_EQ(scene.Holes, 1u);
  for (const std::uint8_t mark : scene.Marks)
    EXPECT_EQ(mark, static_cast<std::uint8_t>(ShadeMark::Unorientable));
  const auto n = census(scene, 0, 60);
  EXPECT_GT(n[static_cast<int>(Seen::Tinted)], 500);
  EXPECT_EQ(n[static_cast<int>(Seen::Front)], 0);
}

// The normals of each triangle's three corners.
std::array<CameraVec, 3> cornerNormals(const ShadedScene& scene, std::size_t t) {
  const float* n = &scene.Normals[9 * t];
  return {CameraVec{n[0], n[1], n[2]}, CameraVec{n[3], n[4], n[5]}, CameraVec{n[6], n[7], n[8]}};
}

TEST(ShadedScene, SmoothSplinesShareNormalsAndPeakedPointsCrease) {
  // The modeller's sphere: every point smooth, so the corners at one place share one normal.
  {
    DocumentSession session;
    session.CurrentFile = kTag + "8Patch_Sphere.mdl";
    session.LoadDocument();
    const ShadedScene scene = sceneOf(*session.Document);
    std::map<std::array<float, 3>, std::array<float, 3>> normal_at;
    int shared = 0;
    for (std::size_t k = 0; k < scene.Positions.size(); k += 3) {
      const std::array<float, 3> at{scene.Positions[k], scene.Positions[k + 1],
                                    scene.Positions[k + 2]};
      const std::array<float, 3> n{scene.Normals[k], scene.Normals[k + 1], scene.Normals[k + 2]};
      const auto [it, fresh] = normal_at.emplace(at, n);
      if (!fresh) {
        ++shared;
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(it->second[c], n[c], 1e-6);
      }
    }
    EXPECT_GT(shared, 20);
  }
  // Its cube and every polygon file: peaked points, each patch flat.
  DocumentSession session;
  session.CurrentFile = kTag + "Cube.mdl";
  session.LoadDocument();
  for (const ShadedScene& scene : {sceneOf(*session.Document), sceneOf(*imported(cube())),
                                   sceneOf(*imported(test::octaSphere(1)))}) {
    ASSERT_GT(scene.Triangles(), 0u);
    for (std::size_t t = 0; t < scene.Triangles(); ++t) {
      const auto n = cornerNormals(scene, t);
      for (int c = 1; c < 3; ++c) {
        EXPECT_NEAR(n[c].x, n[0].x, 1e-5);
        EXPECT_NEAR(n[c].y, n[0].y, 1e-5);
        EXPECT_NEAR(n[c].z, n[0].z, 1e-5);
      }
    }
  }
  // Normals have unit length and point out of the cube.
  const ShadedScene box = sceneOf(*imported(cube()));
  for (std::size_t t = 0; t < box.Triangles(); ++t) {
    const float* p = &box.Positions[9 * t];
    const auto n = cornerNormals(box, t)[0];
    EXPECT_NEAR(n.x * n.x + n.y * n.y + n.z * n.z, 1, 1e-6);
    EXPECT_GT(n.x * (p[0] - 0.5 + p[3] - 0.5 + p[6] - 0.5) +
                  n.y * (p[1] - 0.5 + p[4] - 0.5 + p[7] - 0.5) +
                  n.z * (p[2] - 0.5 + p[5] - 0.5 + p[8] - 0.5),
              0);
  }
}

TEST(ShadedScene, CountsAndSplinesMatchWhatTheModelHolds) {
  // The shipped half box, then halvejoined: its two closed ends and its four openings.
  DocumentSession session;
  session.CurrentFile = std::string(ZEVRIN_EXAMPLES) + "/half_box.mdl";
  session.LoadDocument();
  ShadedScene scene = sceneOf(*session.Document);
  EXPECT_EQ(scene.Patches, 1u);
  EXPECT_EQ(scene.SplineLines.size(), (3u + 3u + 1u + 1u) * 6);
  EXPECT_EQ(scene.Min.x, 0);
  EXPECT_EQ(scene.Max.y, 10);
  session.Halvejoin(0.001);
  scene = sceneOf(*session.Document);
  EXPECT_EQ(scene.Patches, 2u);
  EXPECT_EQ(scene.Holes, 4u);
  EXPECT_EQ(scene.Min.x, -10);
  EXPECT_EQ(scene.Triangles(), 4u);
}

TEST(ShadedScene, HostileGeometryNeverBreaksThePicture) {
  // A point at NaN, one far beyond a float, a face of no area, an empty document.
  IndexedMesh m = cube();
  m.points[7] = {1e300, 1, 1};
  m.points.push_back({NAN, 0, 0});
  m.points.push_back({2, 2, 2});
  m.faces.push_back({8, 0, 9});
  m.faces.push_back({0, 0, 1, 1});
  const ShadedScene scene = sceneOf(*imported(m));
  for (const auto& [yaw, pitch] : kAround) census(scene, yaw, pitch, true);
  OrbitCamera wild;
  wild.Scale = 1e30;
  wild.PanX = -1e20;
  RenderShaded(scene, wild, 50, 40);
  wild.Scale = NAN;
  RenderShaded(scene, wild, 1, 1);
  const auto empty = std::make_unique<M5amsuper>();
  const ShadedScene none = sceneOf(*empty);
  EXPECT_EQ(none.Triangles(), 0u);
  EXPECT_EQ(RenderShaded(none, OrbitCamera(), 3, 2).Pixels.size(), 3u * 2 * 4);
}

}  // namespace
}  // namespace zevrin
