// Mirror bone on tag files against opening them: each file (default: the shipped tag files
// with bones) is opened RUNS times as the session opens it, and Mirror bone runs RUNS times as
// the session runs it, each time on a document opened afresh (the opening not timed). Medians
// in milliseconds and their ratio; the bones copied and the point ids given to the copies and
// left out.
//   bench_tag_bones [--runs N] [--tolerance T] [FILE.mdl ...]   (default: 21 runs, T = 0.01)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/session/Document.h"

namespace fs = std::filesystem;
using namespace zevrin;

namespace {

double median(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

double msSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 21;
  double tolerance = 0.01;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--tolerance" && i + 1 < argc) {
      tolerance = std::atof(argv[++i]);
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty())
    for (const char* name : {"Goose.mdl", "Thom2.mdl", "giraffe.mdl", "KeeKat2.mdl"})
      files.push_back(std::string(ZEVRIN_TAG_DIR) + "/" + name);
  const MirrorSettings rule{MirrorRule::Prefix, "Left", "Right", "mb"};
  std::printf("%-16s %7s %6s %9s %9s %6s %8s %8s\n", "file", "points", "copied", "open ms",
              "mirror ms", "ratio", "carried", "left out");
  for (const std::string& file : files) {
    std::vector<double> open_ms, mirror_ms;
    StepResult result;
    for (int r = 0; r < runs; ++r) {
      DocumentSession session;
      session.CurrentFile = file;
      auto t0 = std::chrono::steady_clock::now();
      session.LoadDocument();
      open_ms.push_back(msSince(t0));
      session.Shared.Mirror = rule;
      t0 = std::chrono::steady_clock::now();
      result = session.MirrorBone(tolerance);
      mirror_ms.push_back(msSince(t0));
    }
    const double open = median(open_ms);
    const double mirror = median(mirror_ms);
    std::printf("%-16s %7d %6d %9.3f %9.3f %6.2f %8d %8d\n", fs::path(file).filename().c_str(),
                result.Counts.Cps, result.BonesCopied, open, mirror, open > 0 ? mirror / open : 0.0,
                result.BonePoints ? result.BonePoints->Carried : 0,
                result.BonePoints ? result.BonePoints->LeftOut : 0);
  }
  return 0;
}
