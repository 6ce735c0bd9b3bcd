// The shaded view at scale: on the generator's half models and on DXF grids of triangles
// imported as a polygon file is (one vertex per grid corner), of about POINTS control points
// each, the scene's making (once per change of the document) beside the opening and the
// export's patch search it builds on, then a picture of 800 x 600 from a turned camera and the
// fit. Medians of RUNS runs in milliseconds, the scene's size and its arrays' bytes.
//   bench_shaded [--runs N] [POINTS ...]       (default: 10000 100000 1000000, 3 runs)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/session/Document.h"
#include "bench/BenchGen.h"
#include "model/PatchPolygons.h"
#include "model/ShadedModel.h"
#include "model/tree/AM_const.h"
#include "view/ShadedRaster.h"

namespace fs = std::filesystem;
using namespace zevrin;

namespace {

template <class Work>
double medianMs(int runs, Work&& work) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    work();
    const auto t1 = std::chrono::steady_clock::now();
    ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

std::size_t bytesOf(const ShadedScene& s) {
  return (s.Positions.size() + s.Normals.size() + s.HoleLines.size() + s.SplineLines.size()) *
             sizeof(float) +
         s.Marks.size();
}

void measure(const char* family, std::size_t points, const std::string& path, int runs) {
  DocumentSession session;
  session.CurrentFile = path;
  session.TemplatePath = ZEVRIN_TEMPLATE;
  const double open = medianMs(1, [&] { session.LoadDocument(); });
  if (!session.Document) {
    std::printf("%-10s %9zu  could not open %s\n", family, points, path.c_str());
    return;
  }
  const double patches = medianMs(runs, [&] {
    StepContext step;
    PatchPolygonOptions options;
    PatchPolygons(*session.Document, options, step);
  });
  ShadedScene scene;
  const double build = medianMs(runs, [&] {
    Progress bars;
    scene = BuildShadedScene(*session.Document, bars);
  });
  OrbitCamera camera;
  camera.Orbit(30, 25);
  const double fit = medianMs(runs, [&] { FitScene(camera, scene, 800, 600); });
  std::size_t checksum = 0;
  const double picture = medianMs(runs, [&] {
    const RgbaImage image = RenderShaded(scene, camera, 800, 600);
    checksum += image.Pixels[image.Pixels.size() / 2];
  });
  std::printf("%-10s %9zu %10.1f %10.1f %10.1f %9.1f %8.1f %10zu %8zu %7zu %8.1f\n", family, points,
              open, patches, build, picture, fit, scene.Triangles(), scene.Holes,
              scene.Unorientable, static_cast<double>(bytesOf(scene)) / (1 << 20));
  if (checksum == SIZE_MAX) std::puts("");  // keeps the pictures from being optimised away
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 3;
  std::vector<std::size_t> sizes;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else {
      sizes.push_back(static_cast<std::size_t>(std::strtoull(arg.c_str(), nullptr, 10)));
    }
  }
  if (sizes.empty()) sizes = {10000, 100000, 1000000};
  const fs::path dir = fs::temp_directory_path() / "zevrin-bench-shaded";
  fs::create_directories(dir);
  std::printf("medians of %d runs, ms; the opening once\n", runs);
  std::printf("%-10s %9s %10s %10s %10s %9s %8s %10s %8s %7s %8s\n", "family", "points", "open",
              "patches", "scene", "picture", "fit", "triangles", "holes", "unorie", "scene MB");
  for (const std::size_t n : sizes) {
    const std::string model = (dir / ("generated_" + std::to_string(n) + ".mdl")).string();
    bench::WriteModelFile(model, n);
    measure("generated", n, model, runs);
    // A grid of 2n triangles has about n corners.
    const std::string grid = (dir / ("grid_" + std::to_string(n) + ".dxf")).string();
    bench::WriteGridDxf(grid, 2 * n);
    measure("dxf grid", n, grid, runs);
    fs::remove(model);
    fs::remove(grid);
  }
  fs::remove_all(dir);
  return 0;
}
