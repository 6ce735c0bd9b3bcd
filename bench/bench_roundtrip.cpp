// Load and save of a large generated model file, with the floor beside it: the time to read
// the same bytes and split them into lines, which any loader must at least spend.
//
//   bench_roundtrip [MEGABYTES=100] [RUNS=3]
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/Document.h"
#include "util/FmxUtils.h"
#include "util/Ustrlib.h"

namespace fs = std::filesystem;
using namespace zevrin;

namespace {

// A model file of about `megabytes` MB: one model with a mesh of four-line control-point
// records, groups and bones, and a few sections of other kinds.
std::string generate(std::size_t megabytes) {
  std::string s = "[MODELFILE]\r\nProductVersion=5.0\r\n[MATERIALS]\r\n[MATERIAL]\r\nName=m\r\n"
                  "[ENDMATERIAL]\r\n[ENDMATERIALS]\r\n[MODEL]\r\nName=bench\r\n"
                  "Bounds=1 1 1 1 1 0 1 0 0 1 0 1 0 1 1 0 1 0 0 0 0 0 0 1\r\n[MESH]\r\n"
                  "Version=2\r\n";
  const std::size_t target = megabytes << 20;
  std::string body;
  int id = 1;
  while (s.size() + body.size() < target) {
    body += "CPs=8\r\n";
    for (int k = 0; k < 8; ++k, ++id) {
      body += "0 0 " + std::to_string(id) + "\r\n";
      body += FloatToStr(id * 0.125) + " " + FloatToStr(k * 1.5 - 3.25) + " " +
              FloatToStr(id % 97 * 0.01) + "\r\n0\r\n0\r\n";
    }
  }
  s += "Splines=" + std::to_string((id - 1) / 8) + "\r\n" + body;
  s += "[ENDMESH]\r\n[GROUP]\r\nName=g\r\nCount=2\r\n1\r\n2\r\n[ENDGROUP]\r\n[SEGMENT]\r\n"
       "Name=bone\r\nPivot=0 0 0\r\nEnd=0 1 0\r\n[ENDSEGMENT]\r\n[ENDMODEL]\r\n[ENDMODELFILE]\r\n";
  return s;
}

double seconds(const std::function<void()>& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

long peakMegabytes() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  const fs::path dir = fs::temp_directory_path() / "zevrin-bench";
  fs::create_directories(dir);
  const std::string in = (dir / "big.mdl").string();
  const std::string out = (dir / "big_out.mdl").string();
  {
    const std::string bytes = generate(mb);
    WriteFileAtomically(in, [&](const ByteSink& sink) { return sink(bytes.data(), bytes.size()); });
    std::printf("file: %s, %.1f MB\n", in.c_str(), static_cast<double>(bytes.size()) / 1048576.0);
  }

  std::vector<double> floor, load, save;
  std::size_t line_count = 0;
  for (int r = 0; r < runs; ++r) {
    floor.push_back(seconds([&] { line_count = ReadFileLines(in).size(); }));
    DocumentSession session;
    session.CurrentFile = in;
    load.push_back(seconds([&] { session.LoadDocument(); }));
    save.push_back(seconds([&] { session.SaveDocument(out); }));
  }
  std::printf("lines: %zu\n", line_count);
  std::printf("floor (read + split into lines): %.3f s\n", median(floor));
  std::printf("load (read + section tree):      %.3f s\n", median(load));
  std::printf("save (write lines, CR LF):       %.3f s\n", median(save));
  std::printf("peak memory: %ld MB\n", peakMegabytes());
  fs::remove_all(dir);
  return 0;
}
