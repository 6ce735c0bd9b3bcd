// Every reader, writer and edit at scale, beside the floors: the time to read a file and split
// it into lines, and to split it and parse every number in it. Each step runs in a process of
// its own, several times; the table shows medians and the highest resident memory of the step.
//
//   bench_scale [--points 10000,100000,1000000] [--faces 10000,100000,1000000] [--runs 5]
//               [--steps load,save,...] [--dir DIR] [--keep] [--obj-sides 1000]
//   bench_scale gen-model POINTS FILE | gen-dxf FACES FILE
//   bench_scale time STEP FILE        one run of split, parse, dxf-floor, load or import:
//                                     prints seconds and peak kB (for scripts/bench_peers.sh)
//
// --points 0 or --faces 0 leaves that part out. 10^7 points need about 4 GB of memory.
// --obj-sides N: the N x N quad grid as OBJ, read through Assimp in this process and in the
// reader process (obj-in-process, obj-child); 0 leaves it out.
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/session/Document.h"
#include "bench/BenchGen.h"
#include "import/assimp/M_assimp.h"
#include "model/AM5_segment.h"
#include "model/tree/AM_const.h"

namespace fs = std::filesystem;
using namespace zevrin;
using namespace zevrin::bench;

namespace {

// ---- one step in a process of its own ----

struct Sample {
  bool ok = false;
  double seconds = 0;
  long peak_kb = 0;       // highest resident memory while the step ran
  double per_point = 0;   // heap bytes held per control point after a load
  long points = 0;        // control points of the document afterwards
};

long statusKb(const char* key) {
  std::ifstream f("/proc/self/status");
  std::string line;
  const std::size_t n = std::strlen(key);
  while (std::getline(f, line))
    if (line.compare(0, n, key) == 0) return std::atol(line.c_str() + n);
  return 0;
}

// Resets the high-water mark of resident memory to the present size.
void resetPeak() {
  if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
}

std::size_t heapInUse() {
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Runs prepare() and then the timed step() in a child process; the peak covers step() alone.
// `points` tells the control points the document has afterwards.
Sample inChild(const std::function<void()>& prepare, const std::function<double()>& step,
               const std::function<std::int32_t()>& points = {}) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    Sample s;
    try {
      prepare();
      malloc_trim(0);
      resetPeak();
      const double t0 = now();
      s.per_point = step();
      s.seconds = now() - t0;
      s.peak_kb = statusKb("VmHWM:");
      s.points = points ? points() : 0;
      s.ok = true;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "step failed: %s\n", e.what());
    }
    if (write(fds[1], &s, sizeof s) != static_cast<ssize_t>(sizeof s)) std::_Exit(1);
    std::_Exit(0);  // the document is not destroyed: that is no part of any step
  }
  close(fds[1]);
  Sample s;
  if (read(fds[0], &s, sizeof s) != static_cast<ssize_t>(sizeof s)) s = {};
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return s;
}

struct Result {
  std::vector<Sample> runs;
  double median() const {
    std::vector<double> t;
    for (const Sample& s : runs)
      if (s.ok) t.push_back(s.seconds);
    if (t.empty()) return NAN;
    std::sort(t.begin(), t.end());
    return t.size() % 2 ? t[t.size() / 2] : (t[t.size() / 2 - 1] + t[t.size() / 2]) / 2;
  }
  double min() const {
    double m = INFINITY;
    for (const Sample& s : runs)
      if (s.ok) m = std::min(m, s.seconds);
    return m;
  }
  long peakMb() const {
    long p = 0;
    for (const Sample& s : runs) p = std::max(p, s.peak_kb);
    return p / 1024;
  }
  double perPoint() const {
    std::vector<double> v;
    for (const Sample& s : runs)
      if (s.ok) v.push_back(s.per_point);
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  }
};

// ---- the steps ----

// ---- polygon files through Assimp: in this process, and in the reader process ----

// The N x N grid of quads of scripts/bench_assimp.sh, as OBJ. Returns the faces.
std::size_t writeObjGrid(const std::string& path, std::size_t n) {
  std::ofstream obj(path, std::ios::binary);
  std::string text = "g grid\n";
  for (std::size_t y = 0; y <= n; ++y)
    for (std::size_t x = 0; x <= n; ++x)
      text += "v " + std::to_string(x) + " " + std::to_string(y) + " 0\n";
  for (std::size_t y = 0; y < n; ++y) {
    for (std::size_t x = 0; x < n; ++x) {
      const std::size_t a = y * (n + 1) + x + 1;
      text += "f " + std::to_string(a) + " " + std::to_string(a + 1) + " " +
              std::to_string(a + n + 2) + " " + std::to_string(a + n + 1) + "\n";
    }
    obj << text;
    text.clear();
  }
  obj << text;
  return n * n;
}

// Seconds of CPU this process and the children it has waited for have used.
double cpuSeconds() {
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  struct rusage self {};
  struct rusage children {};
  getrusage(RUSAGE_SELF, &self);
  getrusage(RUSAGE_CHILDREN, &children);
  return seconds(self.ru_utime) + seconds(self.ru_stime) + seconds(children.ru_utime) +
         seconds(children.ru_stime);
}

// A load of a polygon file into the template model, Assimp in this process ("obj-in-process")
// or in the reader process ("obj-child"). The step's number is the CPU time of the load, the
// reader's included (less disturbed by a busy machine than the clock); its count of points is
// the reader's peak resident memory in kB (0 in-process), which the peak of the step leaves out.
Sample assimpStep(const std::string& step, const std::string& file) {
  auto reader = std::make_shared<AssimpPolygonReader>();
  reader->InProcess = step == "obj-in-process";
  auto session = std::make_shared<DocumentSession>();
  session->CurrentFile = file;
  session->PolygonReader = reader.get();
  const auto load = [&] {
    const double before = cpuSeconds();
    if (session->LoadDocument().Outcome != LoadOutcome::Loaded)
      throw std::runtime_error("not loaded");
    return cpuSeconds() - before;
  };
  const auto reader_peak = [] {
    struct rusage children {};
    getrusage(RUSAGE_CHILDREN, &children);
    return static_cast<std::int32_t>(children.ru_maxrss);
  };
  return inChild([&] { session->TemplatePath = ZEVRIN_TEMPLATE; }, load, reader_peak);
}

const std::vector<std::string> kModelSteps = {"load",    "save",    "halvejoin", "attach",
                                              "detach",  "connect", "mirror"};

// A step on a model file: the load, or an edit or save of the loaded document.
Sample modelStep(const std::string& step, const std::string& file, const std::string& out) {
  auto session = std::make_shared<DocumentSession>();
  session->CurrentFile = file;
  session->Shared.Mirror = MirrorSettings{kDefaultMirrorRule, kDefaultMirrorWord,
                                          kDefaultMirrorReplacement, kDefaultMirrorAppend};
  const auto points = [&] { return session->Shared.Counts.Cps; };
  if (step == "obj-in-process" || step == "obj-child") return assimpStep(step, file);
  if (step == "split") return inChild([] {}, [&] { return FloorSplit(file).checksum * 0; });
  if (step == "parse") return inChild([] {}, [&] { return FloorParse(file).checksum * 0; });
  if (step == "dxf-floor")
    return inChild([] {}, [&] { return FloorDxfWeldMerge(file).checksum * 0; });
  if (step == "load" || step == "import") {
    return inChild([&] { session->TemplatePath = ZEVRIN_TEMPLATE; }, [&] {
      const std::size_t before = heapInUse();
      if (session->LoadDocument().Outcome != LoadOutcome::Loaded)
        throw std::runtime_error("not loaded");
      const double count = std::max(1, session->Shared.Counts.Cps);
      return static_cast<double>(heapInUse() - before) / count;
    }, points);
  }
  const auto load = [&] {
    if (session->LoadDocument().Outcome != LoadOutcome::Loaded)
      throw std::runtime_error("not loaded");
  };
  std::function<void()> edit;
  // A save to a new file: replacing one would copy the old file to its ".bak" first.
  if (step == "save") edit = [&] { session->SaveDocument(out); };
  if (step == "halvejoin") edit = [&] { session->Halvejoin(0.001); };
  if (step == "attach") edit = [&] { session->AttachAll(); };
  if (step == "detach") edit = [&] { session->DetachAll(); };
  if (step == "connect") edit = [&] { session->ConnectGroupedSplines(); };
  if (step == "mirror") edit = [&] { session->MirrorBone(0.001); };
  if (!edit) throw std::runtime_error("no step " + step);
  const auto prepare = [&] {
    load();
    std::error_code ignore;
    fs::remove(out, ignore);
    fs::remove(out + ".bak", ignore);
  };
  return inChild(prepare, [&] {
    edit();
    return 0.0;
  }, points);
}

Result measure(const std::string& step, const std::string& file, const std::string& out,
               int runs) {
  Result r;
  for (int k = 0; k < runs; ++k) r.runs.push_back(modelStep(step, file, out));
  return r;
}

std::vector<std::size_t> sizeList(const std::string& text) {
  std::vector<std::size_t> v;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ','))
    if (const auto n = std::strtoull(item.c_str(), nullptr, 10)) v.push_back(n);
  return v;
}

void printRow(const std::string& step, const Result& r, double floor) {
  std::printf("  %-20s %9.3f s %9.3f s %8ld MB", step.c_str(), r.median(), r.min(), r.peakMb());
  if (floor > 0) std::printf(" %8.2fx", r.median() / floor);
  std::printf("\n");
}

struct Goal {
  std::string text;
  double value;
  double limit;
  bool at_most;
};

// The isolation's cost on grids of sides x sides quads. The runs of the two ways alternate, so
// that a change in the machine's load falls on both alike.
void benchAssimp(const std::vector<std::size_t>& sides, int runs, const fs::path& dir, bool keep,
                 std::vector<Goal>& goals) {
  for (std::size_t n : sides) {
    const std::string file = (dir / ("grid_" + std::to_string(n) + ".obj")).string();
    inChild([] {},
            [&] {
              writeObjGrid(file, n);
              return 0.0;
            });
    std::printf("\nOBJ grid of %zu quads through Assimp (%.1f MB)\n", n * n,
                static_cast<double>(fs::file_size(file)) / 1048576.0);
    std::printf("  %-20s %11s %11s %11s %9s\n", "step", "median", "min", "peak", "/in-proc");
    Result here;
    Result child;
    for (int k = 0; k < runs; ++k) {
      here.runs.push_back(assimpStep("obj-in-process", file));
      child.runs.push_back(assimpStep("obj-child", file));
    }
    printRow("obj-in-process", here, here.median());
    printRow("obj-child", child, here.median());
    std::printf("  %-20s CPU time %.3f s in-process, %.3f s with the reader (%.2fx)\n", "",
                here.perPoint(), child.perPoint(), child.perPoint() / here.perPoint());
    std::printf("  %-20s reader process peak %.0f MB\n", "",
                child.runs.empty() ? 0.0 : static_cast<double>(child.runs[0].points) / 1024.0);
    if (n == 1000)
      goals.push_back({"OBJ in the reader process <= 1.1x in-process (10^6 faces)",
                       child.median() / here.median(), 1.1, true});
    if (!keep) fs::remove(file);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 3 && args[0] == "gen-model") {
    const ModelStats s = WriteModelFile(args[2], std::strtoull(args[1].c_str(), nullptr, 10));
    std::printf("%zu points, %zu splines, %zu groups, %zu bones, %zu bytes\n", s.points, s.splines,
                s.groups, s.bones, s.bytes);
    return 0;
  }
  if (args.size() == 3 && args[0] == "gen-dxf") {
    std::printf("%zu faces\n", WriteDxfFile(args[2], std::strtoull(args[1].c_str(), nullptr, 10)));
    return 0;
  }
  if (args.size() == 3 && args[0] == "time") {
    const Sample s = modelStep(args[1], args[2], "");
    if (!s.ok) return 1;
    std::printf("%.3f %ld\n", s.seconds, s.peak_kb);
    return 0;
  }

  std::vector<std::size_t> points = {10000, 100000, 1000000};
  std::vector<std::size_t> faces = {10000, 100000, 1000000};
  std::vector<std::string> steps = kModelSteps;
  std::vector<std::size_t> obj_sides = {1000};
  int runs = 5;
  std::string dir_arg;
  bool keep = false;
  for (std::size_t a = 0; a < args.size(); ++a) {
    const auto value = [&]() -> std::string {
      if (a + 1 >= args.size()) {
        std::fprintf(stderr, "%s needs a value\n", args[a].c_str());
        std::exit(2);
      }
      return args[++a];
    };
    if (args[a] == "--points") {
      points = sizeList(value());
    } else if (args[a] == "--faces") {
      faces = sizeList(value());
    } else if (args[a] == "--runs") {
      runs = std::max(1, std::atoi(value().c_str()));
    } else if (args[a] == "--steps") {
      steps.clear();
      std::stringstream in(value());
      std::string s;
      while (std::getline(in, s, ',')) steps.push_back(s);
    } else if (args[a] == "--dir") {
      dir_arg = value();
    } else if (args[a] == "--keep") {
      keep = true;
    } else if (args[a] == "--obj-sides") {
      obj_sides = sizeList(value());
    } else {
      std::fprintf(stderr, "usage: see the head of bench/bench_scale.cpp\n");
      return 2;
    }
  }
  const fs::path dir = dir_arg.empty() ? fs::temp_directory_path() /
                                             ("zevrin-bench-scale-" + std::to_string(getpid()))
                                       : fs::path(dir_arg);
  fs::create_directories(dir);

  std::printf("Medians of %d runs, each in a process of its own; peak: highest resident memory "
              "during the step.\n",
              runs);
  std::map<std::string, std::map<std::size_t, double>> times;  // step -> points -> median
  std::map<std::size_t, std::size_t> actual;                   // points asked -> points made
  std::vector<Goal> goals;
  for (std::size_t n : points) {
    const std::string file = (dir / ("model_" + std::to_string(n) + ".mdl")).string();
    const std::string out = (dir / ("model_" + std::to_string(n) + "_out.mdl")).string();
    inChild([] {}, [&] {
      WriteModelFile(file, n);
      return 0.0;
    });
    std::printf("\nModel of about %zu control points (%.1f MB)\n", n,
                static_cast<double>(fs::file_size(file)) / 1048576.0);
    std::printf("  %-20s %11s %11s %11s %9s\n", "step", "median", "min", "peak", "/parse");
    const Result split = measure("split", file, out, runs);
    const Result parse = measure("parse", file, out, runs);
    printRow("floor: split", split, parse.median());
    printRow("floor: split+parse", parse, parse.median());
    times["split"][n] = split.median();
    times["parse"][n] = parse.median();
    double per_point = 0;
    for (const std::string& step : steps) {
      const Result r = measure(step, file, out, runs);
      printRow(step, r, parse.median());
      times[step][n] = r.median();
      if (step == "load") {
        per_point = r.perPoint();
        if (!r.runs.empty()) std::printf("  %-20s %ld control points\n", "", r.runs[0].points);
      }
    }
    if (per_point > 0) std::printf("  heap held after load: %.0f bytes per control point\n", per_point);
    if (n == 1000000) {
      const auto t = [&](const char* s) { return times.count(s) ? times[s][n] : NAN; };
      goals.push_back({"load + save <= 3x split+parse (10^6 points)",
                       (t("load") + t("save")) / t("parse"), 3, true});
      for (const char* e : {"halvejoin", "attach", "connect"})
        goals.push_back({std::string(e) + " <= 2x load (10^6 points)", t(e) / t("load"), 2, true});
      goals.push_back({"heap bytes per control point held <= 200", per_point, 200, true});
    }
    if (!keep) fs::remove(file), fs::remove(out);
  }
  std::map<std::string, std::map<std::size_t, double>> dxf_times;
  for (std::size_t n : faces) {
    const std::string file = (dir / ("grid_" + std::to_string(n) + ".dxf")).string();
    inChild([] {}, [&] {
      WriteDxfFile(file, n);
      return 0.0;
    });
    std::printf("\nDXF of about %zu triangles (%.1f MB)\n", n,
                static_cast<double>(fs::file_size(file)) / 1048576.0);
    std::printf("  %-20s %11s %11s %11s %9s\n", "step", "median", "min", "peak", "/weld");
    const Result split = measure("split", file, "", runs);
    const Result parse = measure("parse", file, "", runs);
    const Result weld = measure("dxf-floor", file, "", runs);
    const Result import = measure("import", file, "", runs);
    printRow("floor: split", split, weld.median());
    printRow("floor: split+parse", parse, weld.median());
    printRow("floor+weld+merge", weld, weld.median());
    printRow("import", import, weld.median());
    if (!import.runs.empty())
      std::printf("  %-20s %ld control points; heap held: %.0f bytes per control point\n", "",
                  import.runs[0].points, import.perPoint());
    dxf_times["import"][n] = import.median();
    dxf_times["dxf-floor"][n] = weld.median();
    if (n == 1000000) {
      goals.push_back({"DXF import <= 2x floor+weld+merge (10^6 faces)",
                       import.median() / weld.median(), 2, true});
      goals.push_back({"DXF import peak memory < 1024 MB (10^6 faces)",
                       static_cast<double>(import.peakMb()), 1024, true});
    }
    if (!keep) fs::remove(file);
  }

  benchAssimp(obj_sides, runs, dir, keep, goals);

  // Growth from 10^5 to 10^6.
  const auto growth = [&](const std::map<std::string, std::map<std::size_t, double>>& table,
                          const std::string& prefix) {
    for (const auto& [step, by_size] : table) {
      // The floors are what the operations are measured against, not operations; a step
      // that takes a few milliseconds at 10^6 (Mirror bone works on the bones, whose number
      // does not grow with the points) has no growth a timer can show.
      if (step == "split" || step == "parse" || step == "dxf-floor") continue;
      const auto a = by_size.find(100000);
      const auto b = by_size.find(1000000);
      if (a == by_size.end() || b == by_size.end()) continue;
      if (b->second < 0.01) {
        std::printf("  (%s%s: %.4f s at 10^6, too short for a growth figure)\n", prefix.c_str(),
                    step.c_str(), b->second);
        continue;
      }
      goals.push_back({prefix + step + ": 10^6 / 10^5 time <= 12", b->second / a->second, 12, true});
    }
  };
  growth(times, "growth, ");
  growth(dxf_times, "growth, DXF ");
  if (!goals.empty()) {
    std::printf("\nGoals\n");
    for (const Goal& g : goals) {
      const bool met = g.at_most ? g.value <= g.limit : g.value >= g.limit;
      std::printf("  %-52s %9.2f  %s\n", g.text.c_str(), g.value, met ? "met" : "MISSED");
    }
  }
  if (!keep && dir_arg.empty()) fs::remove_all(dir);
  return 0;
}
