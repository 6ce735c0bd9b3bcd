// The control-point list's passes at scale, indexed against the literal scans where those
// still finish: AttachAll and ResolveAttachments over meshes like a converted polygon model
// (two-point edge splines whose ends meet at shared corners).
//
//   bench_cplist [MAX_POINTS=1000000]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "mesh/AM5_cplist.h"
#include "tests/LiteralPasses.h"

using namespace zevrin;

namespace {

// Edges of a square grid, each a spline of two points, about `points` points in all: every
// inner corner appears in four edges.
std::vector<std::unique_ptr<M5spline>> gridEdges(std::size_t points) {
  std::vector<std::unique_ptr<M5spline>> splines;
  std::size_t side = 1;
  while (4 * side * side < points) ++side;
  std::int32_t id = 1;
  const auto edge = [&](double x0, double y0, double x1, double y1) {
    auto s = std::make_unique<M5spline>();
    s->AddCpAt(id++, {x0, y0, 0});
    s->AddCpAt(id++, {x1, y1, 0});
    splines.push_back(std::move(s));
  };
  for (std::size_t i = 0; i < side && static_cast<std::size_t>(id) <= points; ++i)
    for (std::size_t j = 0; j < side && static_cast<std::size_t>(id) <= points; ++j) {
      const auto x = static_cast<double>(i);
      const auto y = static_cast<double>(j);
      edge(x, y, x + 1, y);
      edge(x, y, x, y + 1);
    }
  return splines;
}

double seconds(const std::function<void()>& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t max_points = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
  std::printf("%10s %14s %14s %14s %14s\n", "points", "AttachAll", "literal", "Resolve", "literal");
  for (std::size_t n = 10000; n <= max_points; n *= 10) {
    auto splines = gridEdges(n);
    M5cplist list(splines);
    StepContext step;
    const double attach = seconds([&] { list.AttachAll(step.Bars); });
    const double resolve = seconds([&] { list.ResolveAttachments(step); });
    double attach_literal = -1;
    double resolve_literal = -1;
    if (n <= 10000) {
      auto copy = gridEdges(n);
      M5cplist slow(copy);
      attach_literal = seconds([&] { literal::literalAttachAll(slow.Items); });
    }
    if (n <= 100000) {
      resolve_literal = seconds([&] { literal::literalResolve(list.Items); });
    }
    const auto cell = [](double s) {
      static char buf[4][32];
      static int k = 0;
      char* b = buf[k++ % 4];
      if (s < 0)
        std::snprintf(b, 32, "%14s", "-");
      else
        std::snprintf(b, 32, "%12.3f s", s);
      return b;
    };
    std::printf("%10d %s %s %s %s\n", list.Count(), cell(attach), cell(attach_literal),
                cell(resolve), cell(resolve_literal));
  }
  return 0;
}
