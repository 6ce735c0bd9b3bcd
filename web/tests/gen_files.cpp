// Writes the generated files on which the page's output is compared with the command line's:
// models of many sizes (attachments, hooks, groups, bones, a half on X = 0) and DXF grids.
//   zevrin_web_gen FOLDER COUNT
//   zevrin_web_gen --model POINTS FILE      one model of about POINTS points (the benchmark's)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/BenchGen.h"

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--model") {
    const auto stats =
        zevrin::bench::WriteModelFile(argv[3], static_cast<std::size_t>(std::atoll(argv[2])));
    std::printf("%s: %zu points, %zu bytes\n", argv[3], stats.points, stats.bytes);
    return 0;
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: zevrin_web_gen FOLDER COUNT | --model POINTS FILE\n");
    return 2;
  }
  const std::string folder = argv[1];
  const int count = std::atoi(argv[2]);
  for (int i = 0; i < count; ++i) {
    // Sizes from a few dozen to a few thousand, every one different.
    const std::size_t size = 40 + static_cast<std::size_t>(i) * 37 % 4000 + i;
    char name[64];
    if (i % 2 == 0) {
      std::snprintf(name, sizeof name, "/gen_%03d.mdl", i);
      zevrin::bench::WriteModelFile(folder + name, size);
    } else {
      std::snprintf(name, sizeof name, "/gen_%03d.dxf", i);
      zevrin::bench::WriteDxfFile(folder + name, size / 2);
    }
  }
  return 0;
}
