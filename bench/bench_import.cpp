// The polygon import at scale: a DXF drawing of a grid of quads and triangle pairs (shared
// edges, several layers) read and converted into the template model as the document open
// does it, then saved. Each size runs in a process of its own, so that its peak memory is its
// own. Where it still finishes, the literal conversion (every edge against every kept spline,
// every point against every point) is timed beside the indexed one.
//
//   bench_import [FACES...]          (default: 10000 100000 1000000)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "import/M_dxf.h"
#include "model/AM5_model.h"
#include "model/tree/AM_step.h"
#include "tests/LiteralImport.h"
#include "util/FmxUtils.h"

namespace fs = std::filesystem;
using namespace zevrin;

namespace {

// About `faces` faces on a square grid of cells: even cells are quads, odd ones two triangles.
// Rows fall into four layers, so edges between bands carry two.
std::string generate(std::size_t faces) {
  std::size_t side = 1;
  while (side * side * 3 < faces * 2) ++side;
  std::string s =
      "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1009\n  0\nENDSEC\n"
      "  0\nSECTION\n  2\nENTITIES\n";
  const auto corner = [&](int k, std::size_t i, std::size_t j) {
    const double at[3] = {static_cast<double>(i) * 0.5, static_cast<double>(j) * 0.25,
                          static_cast<double>((i * j) % 7) * 0.125};
    for (int axis = 0; axis < 3; ++axis) {
      s += ' ';
      s += static_cast<char>('1' + axis);
      s += static_cast<char>('0' + k);
      s += '\n' + FloatToStr(at[axis]) + '\n';
    }
  };
  std::size_t made = 0;
  for (std::size_t j = 0; j < side && made < faces; ++j) {
    const std::string layer = "Layer" + std::to_string(j * 4 / side);
    for (std::size_t i = 0; i < side && made < faces; ++i) {
      const auto face = [&](std::initializer_list<std::pair<std::size_t, std::size_t>> at) {
        s += "  0\n3DFACE\n  8\n" + layer + "\n 62\n7\n";
        int k = 0;
        for (const auto& [x, y] : at) corner(k++, x, y);
        if (k == 3) corner(3, (at.begin() + 2)->first, (at.begin() + 2)->second);
        ++made;
      };
      if ((i + j) % 2 == 0) {
        face({{i, j}, {i + 1, j}, {i + 1, j + 1}, {i, j + 1}});
      } else {
        face({{i, j}, {i + 1, j}, {i + 1, j + 1}});
        if (made < faces) face({{i + 1, j + 1}, {i, j + 1}, {i, j}});
      }
    }
  }
  s += "  0\nENDSEC\n  0\nEOF\n";
  return s;
}

double seconds(const std::function<void()>& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

long peakMegabytes() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024;
}

// Runs `f` in a process of its own and waits for it.
void inChild(const std::function<void()>& f) {
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    f();
    std::fflush(stdout);
    std::_Exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
}

void run(const std::string& in, const std::string& out, double megabytes) {
  // The steps of the document open, one by one.
  LineList lines;
  Mdxf dxf;
  M5amsuper root;
  StepContext step;
  step.Sections = &ModelFileSections();
  const double split = seconds([&] { lines = ReadFileLines(in); });
  const double read = seconds([&] { dxf.ReadSection(lines, 0, step); });
  LineList().swap(lines);
  const double import = seconds([&] {
    root.ReadSection(ReadFileLines(ZEVRIN_TEMPLATE), 0, step);
    root.ImportPolygons(dxf, step);
  });
  const long loaded = peakMegabytes();
  const double save = seconds([&] {
    LineList written;
    root.WriteSection(written);
    WriteLinesFile(out, written);
  });
  std::printf("%9zu %8.1f %9.3f s %9.3f s %9.3f s %9.3f s %8ld MB %8ld MB %8d\n", dxf.Faces.size(),
              megabytes, split, read, import, save, loaded, peakMegabytes(),
              step.Report.After.value_or(MeshCounts{}).Splines);

  if (dxf.Faces.size() <= 10000) {
    M5mesh indexed, plain;
    const double fast = seconds([&] { indexed.BuildFromFaces(dxf.Faces, step); });
    const double slow = seconds([&] { literal::literalBuildFromFaces(plain, dxf.Faces); });
    std::printf("          conversion alone: indexed %.3f s, literal %.3f s (%zu splines)\n", fast,
                slow, plain.Splines.size());
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::size_t> sizes;
  for (int a = 1; a < argc; ++a) sizes.push_back(std::strtoul(argv[a], nullptr, 10));
  if (sizes.empty()) sizes = {10000, 100000, 1000000};
  const fs::path dir =
      fs::temp_directory_path() / ("zevrin-bench-import-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::printf("%9s %8s %11s %11s %11s %11s %11s %11s %8s\n", "faces", "DXF MB", "read+split",
              "DXF reader", "import", "save", "peak open", "peak save", "splines");
  for (std::size_t faces : sizes) {
    const std::string in = (dir / ("grid" + std::to_string(faces) + ".dxf")).string();
    const std::string out = (dir / ("grid" + std::to_string(faces) + ".mdl")).string();
    inChild([&] {
      const std::string bytes = generate(faces);
      WriteFileAtomically(in,
                          [&](const ByteSink& sink) { return sink(bytes.data(), bytes.size()); });
    });
    const double megabytes = static_cast<double>(fs::file_size(in)) / 1048576.0;
    inChild([&] { run(in, out, megabytes); });
    fs::remove(in);
    fs::remove(out);
  }
  fs::remove_all(dir);
  return 0;
}
