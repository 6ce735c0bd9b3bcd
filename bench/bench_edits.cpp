// The whole-model edits at scale on a half model like a converted polygon mesh: a grid of
// two-point edge splines from the plane X = 0 outwards, corners welded, a group per row.
//
//   bench_edits [MAX_POINTS=1000000]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "model/AM5_super.h"
#include "util/Ustrlib.h"

using namespace zevrin;
namespace fs = std::filesystem;

namespace {

LineList halfGrid(std::size_t points, bool groups) {
  std::size_t side = 1;
  while (4 * side * side < points) ++side;
  LineList l{"[MODELFILE]", "[MODEL]",
             "Bounds=1 1 1 1 1 0 1 0 0 1 0 1 0 1 1 0 1 0 0 0 0 0 0 1", "[MESH]"};
  std::int32_t id = 0;
  std::vector<LineList> rows(groups ? side : 0);
  const auto point = [&](std::size_t x, std::size_t y, std::size_t row) {
    ++id;
    l.push_back("0 0 " + std::to_string(id));
    l.push_back(std::to_string(x) + " " + std::to_string(y) + " 0");
    l.push_back("0");
    l.push_back("0");
    if (groups) rows[row].push_back(std::to_string(id));
  };
  for (std::size_t i = 0; i < side; ++i)
    for (std::size_t j = 0; j < side; ++j) {
      l.push_back("CPs=2");
      point(i, j, j);
      point(i + 1, j, j);
      l.push_back("CPs=2");
      point(i, j, j);
      point(i, j + 1, j);
    }
  l.push_back("[ENDMESH]");
  for (const LineList& row : rows) {
    l.insert(l.end(), {"[GROUP]", "Name=row", "Count=" + std::to_string(row.size())});
    l.insert(l.end(), row.begin(), row.end());
    l.push_back("[ENDGROUP]");
  }
  l.insert(l.end(), {"[ENDMODEL]", "[ENDMODELFILE]"});
  return l;
}

double timed(const LineList& lines, const std::function<void(M5amsuper&)>& edit) {
  M5amsuper root;
  root.ReadSection(lines, 0);
  const auto t0 = std::chrono::steady_clock::now();
  edit(root);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t max_points = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
  const fs::path dir = fs::temp_directory_path() / "zevrin-bench-edits";
  fs::create_directories(dir);
  fs::current_path(dir);  // resolving may write "attach_err.txt"
  std::printf("%10s %12s %12s %12s %12s\n", "points", "Halvejoin", "AttachAll", "DetachAll",
              "Connect");
  for (std::size_t n = 10000; n <= max_points; n *= 10) {
    const LineList plain = halfGrid(n, false);
    const LineList grouped = halfGrid(n, true);
    const double h = timed(plain, [](M5amsuper& r) { r.Halvejoin(0.001); });
    const double a = timed(plain, [](M5amsuper& r) { r.AttachAll(); });
    const double d = timed(plain, [](M5amsuper& r) {
      r.AttachAll();
      r.DetachAll();
    }) - a;
    const double c = timed(grouped, [](M5amsuper& r) { r.ConnectGroupedSplines(); });
    std::printf("%10zu %10.3f s %10.3f s %10.3f s %10.3f s\n", n, h, a, d, c);
  }
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(dir);
  return 0;
}
