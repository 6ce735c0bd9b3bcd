// Every reader, writer and edit at scale, on the models users bring, beside the floors. Each
// step runs in a process of its own, several times; the tables show medians of the wall time
// and of the processor time (a steadier figure on a machine others share), the highest
// resident memory of the step and the heap held per control point after it.
//
// Families of models, at each size:
//   generated  half models of Zevrin's own generator (attachments, hooks, groups, bones)
//   dxf        a DXF grid of triangles on eight layers, imported and saved as a model file
//   obj        the same grid as an OBJ file, imported through Assimp and saved
//   connected  the imported DXF model after Connect grouped splines: long splines, every
//              point attached
// For the polygon files the import itself is timed beside the reading floor (floor_parse,
// bench/perf-floor, with and without --weld) and Assimp's bare ReadFile of the same file, and
// so is the user's whole path: import, save, open, Connect, Halvejoin, save.
//
//   bench_scale [--families generated,dxf,obj,connected] [--points 10000,100000,1000000]
//               [--faces 10000,100000,1000000] [--runs 5] [--timeout 300]
//               [--steps load,save,...] [--dir DIR] [--keep]
//   bench_scale gen-model POINTS FILE | gen-dxf FACES FILE | gen-grid FACES FILE.dxf|FILE.obj
//   bench_scale time STEP FILE        one run of split, parse, dxf-floor, load or import:
//                                     prints seconds and peak kB (for scripts/bench_peers.sh)
//
// --points 0 or --faces 0 leaves that part out. 10^7 points need about 4 GB of memory. A step
// still running after --timeout seconds is stopped and shown as such.
//   [--assimp-faces 1000000]  an OBJ grid read through Assimp in this process and in the
//                             reader process (obj-in-process, obj-child), in alternating runs;
//                             0 leaves it out.
#include <malloc.h>
#include <signal.h>
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
  bool timed_out = false;
  double seconds = 0;
  double cpu = 0;          // processor time of the step (user and system)
  long peak_kb = 0;        // highest resident memory while the step ran
  double per_point = 0;    // heap bytes held per control point after the step
  long points = 0;         // control points of the document afterwards
  long child_peak_kb = 0;  // highest resident memory of a child process the step waited for
};

int g_timeout = 300;

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

// Processor time of this process and of the children it has waited for (the reader process
// of the Assimp formats).
double cpuNow() {
  double t = 0;
  for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    struct rusage u {};
    getrusage(who, &u);
    t += static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
  }
  return t;
}

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Reads the child's sample from the pipe and reaps it; a child killed by the alarm timed out.
// The session whose document the running step loaded last, for the sample's counts.
const DocumentSession* g_loaded = nullptr;

Sample collect(int fd, pid_t child) {
  Sample s;
  if (read(fd, &s, sizeof s) != static_cast<ssize_t>(sizeof s)) s = {};
  close(fd);
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) s.timed_out = true;
  return s;
}

// Runs prepare() and then the timed step() in a child process; the peak covers step() alone.
// step() returns whether the heap held per point should be measured (a document is open).
Sample inChild(const std::function<void()>& prepare, const std::function<bool()>& step) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    Sample s;
    try {
      alarm(static_cast<unsigned>(g_timeout));
      prepare();
      malloc_trim(0);
      resetPeak();
      const double t0 = now();
      const double c0 = cpuNow();
      const bool document = step();
      s.seconds = now() - t0;
      s.cpu = cpuNow() - c0;
      {
        struct rusage children {};
        getrusage(RUSAGE_CHILDREN, &children);
        s.child_peak_kb = children.ru_maxrss;
      }
      s.peak_kb = statusKb("VmHWM:");
      s.points = g_loaded ? g_loaded->Shared.Counts.Cps : 0;
      if (document) s.per_point = static_cast<double>(heapInUse()) / std::max<long>(1, s.points);
      s.ok = true;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "step failed: %s\n", e.what());
    }
    if (write(fds[1], &s, sizeof s) != static_cast<ssize_t>(sizeof s)) std::_Exit(1);
    std::_Exit(0);  // the document is not destroyed: that is no part of any step
  }
  close(fds[1]);
  return collect(fds[0], child);
}

// Runs a program as a whole process: wall time and its own peak resident memory.
Sample program(const std::vector<std::string>& argv) {
  std::fflush(stdout);
  const double t0 = now();
  const pid_t child = fork();
  if (child == 0) {
    alarm(static_cast<unsigned>(g_timeout));
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (std::FILE* devnull = std::freopen("/dev/null", "w", stdout)) (void)devnull;
    if (std::FILE* devnull = std::freopen("/dev/null", "w", stderr)) (void)devnull;
    execv(args[0], args.data());
    std::_Exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  Sample s;
  s.seconds = now() - t0;
  s.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
          static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
  s.peak_kb = usage.ru_maxrss;
  s.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  s.timed_out = WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM;
  return s;
}

struct Result {
  std::vector<Sample> runs;
  bool timedOut() const {
    return std::any_of(runs.begin(), runs.end(), [](const Sample& s) { return s.timed_out; });
  }
  // The median of the runs that finished; infinite when one was stopped, NaN when one failed.
  double median() const {
    std::vector<double> t;
    for (const Sample& s : runs)
      if (s.ok) t.push_back(s.seconds);
    if (timedOut()) return INFINITY;
    if (t.size() != runs.size() || t.empty()) return NAN;
    std::sort(t.begin(), t.end());
    return t.size() % 2 ? t[t.size() / 2] : (t[t.size() / 2 - 1] + t[t.size() / 2]) / 2;
  }
  double cpuMedian() const {
    std::vector<double> t;
    for (const Sample& s : runs)
      if (s.ok) t.push_back(s.cpu);
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
  long points() const {
    for (const Sample& s : runs)
      if (s.ok) return s.points;
    return 0;
  }
};

// Runs a step `runs` times; a step stopped by the timeout is not tried again.
template <class Step>
Result repeat(int runs, Step&& step) {
  Result r;
  for (int k = 0; k < runs; ++k) {
    r.runs.push_back(step());
    if (r.runs.back().timed_out) break;
  }
  return r;
}

// ---- the steps ----

const std::vector<std::string> kModelSteps = {"load",
                                              "save",
                                              "halvejoin",
                                              "attach",
                                              "detach",
                                              "connect",
                                              "mirror",
                                              "halvejoin+connect",
                                              "connect+halvejoin+save"};

// Loads the session's file for a step, with the settings every step uses; its counts are
// the sample's.
void loadOrThrow(DocumentSession& session) {
  static const AssimpPolygonReader assimp_reader;
  session.PolygonReader = &assimp_reader;
  session.Shared.Mirror = MirrorSettings{kDefaultMirrorRule, kDefaultMirrorWord,
                                         kDefaultMirrorReplacement, kDefaultMirrorAppend};
  if (session.LoadDocument().Outcome != LoadOutcome::Loaded) throw std::runtime_error("not loaded");
  g_loaded = &session;
}

// One edit of the document by name; a name of several edits joined by "+" runs them in turn.
void edit(DocumentSession& session, const std::string& steps, const std::string& out) {
  std::stringstream in(steps);
  std::string step;
  while (std::getline(in, step, '+')) {
    if (step == "save") {
      session.SaveDocument(out);
    } else if (step == "save2") {  // a second save, to a file of its own (no backup copy)
      session.SaveDocument(out + "2.mdl");
    } else if (step == "halvejoin") {
      session.Halvejoin(0.001);
    } else if (step == "attach") {
      session.AttachAll();
    } else if (step == "detach") {
      session.DetachAll();
    } else if (step == "connect") {
      session.ConnectGroupedSplines();
    } else if (step == "mirror") {
      session.MirrorBone(0.001);
    } else if (step == "reopen") {  // open the file just saved, as the user does next
      session.CurrentFile = out;
      loadOrThrow(session);
    } else {
      throw std::runtime_error("no step " + step);
    }
  }
}

// A step on a file: a floor, the load or import, or edits of the loaded document.
Sample fileStep(const std::string& step, const std::string& file, const std::string& out) {
  auto session = std::make_shared<DocumentSession>();
  session->CurrentFile = file;
  session->TemplatePath = ZEVRIN_TEMPLATE;
  const auto clean = [&] {
    std::error_code ignore;
    for (const std::string& f : {out, out + ".bak", out + "2.mdl"}) fs::remove(f, ignore);
  };
  if (step == "split") return inChild([] {}, [&] { return FloorSplit(file).checksum < 0; });
  if (step == "parse") return inChild([] {}, [&] { return FloorParse(file).checksum < 0; });
  if (step == "dxf-floor")
    return inChild([] {}, [&] { return FloorDxfWeldMerge(file).checksum < 0; });
  if (step == "floor_parse") return program({ZEVRIN_FLOOR_PARSE, file});
  if (step == "floor_parse --weld") return program({ZEVRIN_FLOOR_PARSE, file, "--weld"});
  if (step == "assimp ReadFile") return program({ZEVRIN_ASSIMP_READ, file});
  if (step == "load" || step == "import") {
    return inChild([] {},
                   [&] {
                     loadOrThrow(*session);
                     return true;
                   });
  }
  // The user's path from a polygon file: import, save, open the saved model, edits, save.
  if (step.rfind("import+", 0) == 0) {
    return inChild(clean, [&] {
      loadOrThrow(*session);
      edit(*session, step.substr(7), out);
      return true;
    });
  }
  return inChild(
      [&] {
        loadOrThrow(*session);
        clean();
      },
      [&] {
        edit(*session, step, out);
        return true;
      });
}

std::vector<std::size_t> sizeList(const std::string& text) {
  std::vector<std::size_t> v;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ','))
    if (const auto n = std::strtoull(item.c_str(), nullptr, 10)) v.push_back(n);
  return v;
}

std::vector<std::string> nameList(const std::string& text) {
  std::vector<std::string> v;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) v.push_back(item);
  return v;
}

void printHeader(const char* ratio) {
  std::printf("  %-30s %10s %10s %10s %9s %9s %9s\n", "step", "median", "min", "cpu", "peak",
              "B/cp", ratio);
}

void printRow(const std::string& step, const Result& r, double base) {
  if (r.timedOut()) {
    std::printf("  %-30s   > %4d s (stopped)\n", step.c_str(), g_timeout);
    return;
  }
  std::printf("  %-30s %8.3f s %8.3f s %8.3f s %6ld MB", step.c_str(), r.median(), r.min(),
              r.cpuMedian(), r.peakMb());
  if (r.perPoint() > 0) {
    std::printf(" %9.0f", r.perPoint());
  } else {
    std::printf(" %9s", "");
  }
  if (base > 0) std::printf(" %8.2fx", r.median() / base);
  std::printf("\n");
}

struct Goal {
  std::string text;
  double value;
  double limit;
  bool at_most;
  double cpu = NAN;  // the same ratio of processor times, where it is one
};

// ---- polygon files through Assimp: in this process, and in the reader process ----

// A load of a polygon file into the template model, Assimp in this process ("obj-in-process")
// or in the reader process ("obj-child").
Sample assimpStep(const std::string& step, const std::string& file) {
  auto reader = std::make_shared<AssimpPolygonReader>();
  reader->InProcess = step == "obj-in-process";
  auto session = std::make_shared<DocumentSession>();
  session->CurrentFile = file;
  session->TemplatePath = ZEVRIN_TEMPLATE;
  session->PolygonReader = reader.get();
  return inChild([] {},
                 [&] {
                   if (session->LoadDocument().Outcome != LoadOutcome::Loaded)
                     throw std::runtime_error("not loaded");
                   return false;
                 });
}

// The isolation's cost on an OBJ grid of `faces` quads. The runs of the two ways alternate, so
// that a change in the machine's load falls on both alike.
std::string sizeName(std::size_t n) {
  int e = 0;
  std::size_t m = n;
  while (m >= 10 && m % 10 == 0) m /= 10, ++e;
  return m == 1 ? "10^" + std::to_string(e) : std::to_string(n);
}

void benchAssimp(std::size_t faces, int runs, const fs::path& dir, bool keep,
                 std::vector<Goal>& goals) {
  const std::string file = (dir / ("assimp_grid_" + std::to_string(faces) + ".obj")).string();
  inChild([] {},
          [&] {
            WriteGridObj(file, faces);
            return false;
          });
  std::printf("\n[assimp] the OBJ grid of %s faces through Assimp (%.1f MB)\n",
              sizeName(faces).c_str(), static_cast<double>(fs::file_size(file)) / 1048576.0);
  printHeader("/in-proc");
  Result here;
  Result child;
  for (int k = 0; k < runs; ++k) {
    here.runs.push_back(assimpStep("obj-in-process", file));
    child.runs.push_back(assimpStep("obj-child", file));
  }
  printRow("obj-in-process", here, 0);
  printRow("obj-child", child, here.median());
  long reader_peak = 0;
  for (const Sample& s : child.runs) reader_peak = std::max(reader_peak, s.child_peak_kb);
  std::printf("  %-30s processor time, the reader's included: %.2fx; reader's peak %ld MB\n", "",
              child.cpuMedian() / here.cpuMedian(), reader_peak / 1024);
  goals.push_back(
      {"OBJ through the reader process <= 1.1x in-process (" + sizeName(faces) + " faces)",
       child.median() / here.median(), 1.1, true, child.cpuMedian() / here.cpuMedian()});
  if (!keep) fs::remove(file);
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
  if (args.size() == 3 && args[0] == "gen-grid") {
    const std::size_t n = std::strtoull(args[1].c_str(), nullptr, 10);
    const bool obj = args[2].size() > 4 && args[2].substr(args[2].size() - 4) == ".obj";
    std::printf("%zu faces\n", obj ? WriteGridObj(args[2], n) : WriteGridDxf(args[2], n));
    return 0;
  }
  if (args.size() == 3 && args[0] == "time") {
    const Sample s = fileStep(args[1], args[2], "");
    if (!s.ok) return 1;
    std::printf("%.3f %ld\n", s.seconds, s.peak_kb);
    return 0;
  }

  std::vector<std::string> families = {"generated", "dxf", "obj", "connected"};
  std::vector<std::size_t> points = {10000, 100000, 1000000};
  std::vector<std::size_t> faces = {10000, 100000, 1000000};
  std::vector<std::string> steps = kModelSteps;
  int runs = 5;
  std::size_t assimp_faces = 1000000;
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
    if (args[a] == "--families") {
      families = nameList(value());
    } else if (args[a] == "--points") {
      points = sizeList(value());
    } else if (args[a] == "--faces") {
      faces = sizeList(value());
    } else if (args[a] == "--runs") {
      runs = std::max(1, std::atoi(value().c_str()));
    } else if (args[a] == "--timeout") {
      g_timeout = std::max(1, std::atoi(value().c_str()));
    } else if (args[a] == "--steps") {
      steps = nameList(value());
    } else if (args[a] == "--dir") {
      dir_arg = value();
    } else if (args[a] == "--keep") {
      keep = true;
    } else if (args[a] == "--assimp-faces") {
      assimp_faces = std::strtoull(value().c_str(), nullptr, 10);
    } else {
      std::fprintf(stderr, "usage: see the head of bench/bench_scale.cpp\n");
      return 2;
    }
  }
  const auto wanted = [&](const std::string& family) {
    return std::find(families.begin(), families.end(), family) != families.end();
  };
  const fs::path dir = dir_arg.empty() ? fs::temp_directory_path() /
                                             ("zevrin-bench-scale-" + std::to_string(getpid()))
                                       : fs::path(dir_arg);
  fs::create_directories(dir);
  const auto path = [&](const std::string& name) { return (dir / name).string(); };
  const auto megabytes = [](const std::string& file) {
    return static_cast<double>(fs::file_size(file)) / 1048576.0;
  };

  std::printf(
      "Medians of %d runs, each in a process of its own; cpu: processor time of the "
      "step; peak: highest resident memory during the step; B/cp: heap bytes held per "
      "control point after it. Ratios and goals are of wall times.\n",
      runs);
  // family -> step -> size -> median
  std::map<std::string, std::map<std::string, std::map<std::size_t, double>>> times;
  std::map<std::string, std::map<std::string, std::map<std::size_t, double>>> cpu_times;
  std::vector<Goal> goals;

  // The edits of one model file; `base` (the load) is what the ratios are taken against.
  const auto modelRows = [&](const std::string& family, std::size_t n, const std::string& file) {
    const std::string out = path(family + "_" + std::to_string(n) + "_out.mdl");
    double load = 0, load_cpu = 0;
    for (const std::string& step : steps) {
      const Result r = repeat(runs, [&] { return fileStep(step, file, out); });
      if (step == "load") load = r.median(), load_cpu = r.cpuMedian();
      if (step == "load" && family == "generated" && n == 1000000)
        goals.push_back(
            {"generated: heap bytes per control point after load <= 200", r.perPoint(), 200, true});
      printRow(step, r, step == "load" ? 0 : load);
      times[family][step][n] = r.median();
      cpu_times[family][step][n] = r.cpuMedian();
      if (step == "load") std::printf("  %-30s %ld control points\n", "", r.points());
      if (step == "halvejoin" && family == "dxf" && n == 1000000)
        goals.push_back({"dxf: Halvejoin peak memory < 1024 MB (10^6 faces)",
                         static_cast<double>(r.peakMb()), 1024, true});
    }
    if (n != 1000000) return;
    for (const std::string& step : steps) {
      if (step == "load" || step == "save" || step.find('+') != std::string::npos) continue;
      // Mirror bone works on the bones alone; a model without bones has nothing to time.
      if (step == "mirror" && family != "generated") continue;
      goals.push_back({family + ": " + step + " <= 1.5x load (10^6)", times[family][step][n] / load,
                       1.5, true, cpu_times[family][step][n] / load_cpu});
    }
  };

  for (std::size_t n : wanted("generated") ? points : std::vector<std::size_t>{}) {
    const std::string file = path("model_" + std::to_string(n) + ".mdl");
    inChild([] {},
            [&] {
              WriteModelFile(file, n);
              return false;
            });
    std::printf("\n[generated] half model of about %s control points (%.1f MB)\n",
                sizeName(n).c_str(), megabytes(file));
    printHeader("/load");
    const std::string out = path("model_out.mdl");
    const Result split = repeat(runs, [&] { return fileStep("split", file, out); });
    const Result parse = repeat(runs, [&] { return fileStep("parse", file, out); });
    printRow("floor: split", split, 0);
    printRow("floor: split+parse", parse, 0);
    modelRows("generated", n, file);
    if (n == 1000000) {
      const auto t = [&](const char* s) { return times["generated"][s][n]; };
      const auto c = [&](const char* s) { return cpu_times["generated"][s][n]; };
      goals.push_back({"generated: load + save <= 3x split+parse (10^6)",
                       (t("load") + t("save")) / parse.median(), 3, true,
                       (c("load") + c("save")) / parse.cpuMedian()});
    }
    if (!keep) fs::remove(file), fs::remove(out);
  }

  for (std::size_t n : faces) {
    const bool dxf = wanted("dxf") || wanted("connected");
    const std::string grid = path("grid_" + std::to_string(n) + ".dxf");
    const std::string obj = path("grid_" + std::to_string(n) + ".obj");
    const std::string imported = path("dxf_" + std::to_string(n) + ".mdl");
    const std::string connected = path("connected_" + std::to_string(n) + ".mdl");
    const std::string out = path("import_out.mdl");
    if (dxf) {
      inChild([] {}, [&] { return WriteGridDxf(grid, n) == 0; });
      std::printf("\n[dxf] grid of %s triangles on 8 layers (%.1f MB)\n", sizeName(n).c_str(),
                  megabytes(grid));
      printHeader("/weld");
      const Result floor = repeat(runs, [&] { return fileStep("floor_parse", grid, out); });
      const Result weld = repeat(runs, [&] { return fileStep("floor_parse --weld", grid, out); });
      const Result assimp = repeat(runs, [&] { return fileStep("assimp ReadFile", grid, out); });
      const Result import = repeat(runs, [&] { return fileStep("import", grid, out); });
      const Result path_ = repeat(
          runs, [&] { return fileStep("import+save+reopen+connect+halvejoin+save2", grid, out); });
      const double w = weld.median();
      printRow("floor_parse (whole process)", floor, w);
      printRow("floor_parse --weld (process)", weld, w);
      printRow("Assimp ReadFile (process)", assimp, w);
      printRow("import", import, w);
      std::printf("  %-30s %ld control points\n", "", import.points());
      printRow("import, save, open, connect,", path_, w);
      std::printf("  %-30s   (halvejoin, save): %.2fx import\n", "",
                  path_.median() / import.median());
      times["dxf"]["import"][n] = import.median();
      times["dxf"]["import path"][n] = path_.median();
      cpu_times["dxf"]["import"][n] = import.cpuMedian();
      cpu_times["dxf"]["import path"][n] = path_.cpuMedian();
      if (n == 1000000) {
        goals.push_back({"DXF import <= 2x floor_parse --weld (10^6 faces)", import.median() / w, 2,
                         true, import.cpuMedian() / weld.cpuMedian()});
        goals.push_back({"DXF import peak memory < 1024 MB (10^6 faces)",
                         static_cast<double>(import.peakMb()), 1024, true});
        goals.push_back({"Assimp ReadFile / DXF import >= 1.5 (10^6 faces)",
                         assimp.median() / import.median(), 1.5, false,
                         assimp.cpuMedian() / import.cpuMedian()});
        goals.push_back({"dxf: import..Halvejoin..save <= 4x import (10^6 faces)",
                         path_.median() / import.median(), 4, true,
                         path_.cpuMedian() / import.cpuMedian()});
      }
      // The imported model, saved as a user saves it.
      inChild([] {},
              [&] {
                DocumentSession session;
                session.CurrentFile = grid;
                session.TemplatePath = ZEVRIN_TEMPLATE;
                loadOrThrow(session);
                session.SaveDocument(imported);
                return false;
              });
    }
    if (wanted("dxf")) {
      std::printf("\n[dxf] the imported model of %s faces (%.1f MB)\n", sizeName(n).c_str(),
                  megabytes(imported));
      printHeader("/load");
      modelRows("dxf", n, imported);
    }
    if (wanted("obj")) {
      inChild([] {}, [&] { return WriteGridObj(obj, n) == 0; });
      std::printf("\n[obj] the same grid as OBJ, through Assimp (%.1f MB)\n", megabytes(obj));
      printHeader("/import");
      const Result assimp = repeat(runs, [&] { return fileStep("assimp ReadFile", obj, out); });
      const Result import = repeat(runs, [&] { return fileStep("import", obj, out); });
      const Result path_ = repeat(
          runs, [&] { return fileStep("import+save+reopen+connect+halvejoin+save2", obj, out); });
      printRow("Assimp ReadFile (process)", assimp, import.median());
      printRow("import", import, 0);
      printRow("import, save, open, connect,", path_, import.median());
      times["obj"]["import"][n] = import.median();
      times["obj"]["import path"][n] = path_.median();
      cpu_times["obj"]["import"][n] = import.cpuMedian();
      cpu_times["obj"]["import path"][n] = path_.cpuMedian();
      if (n == 1000000)
        goals.push_back({"obj: import..Halvejoin..save <= 4x import (10^6 faces)",
                         path_.median() / import.median(), 4, true,
                         path_.cpuMedian() / import.cpuMedian()});
      const std::string obj_model = path("obj_" + std::to_string(n) + ".mdl");
      inChild([] {},
              [&] {
                DocumentSession session;
                session.CurrentFile = obj;
                session.TemplatePath = ZEVRIN_TEMPLATE;
                loadOrThrow(session);
                session.SaveDocument(obj_model);
                return false;
              });
      std::printf("\n[obj] the imported model (%.1f MB)\n", megabytes(obj_model));
      printHeader("/load");
      modelRows("obj", n, obj_model);
      if (!keep) fs::remove(obj), fs::remove(obj_model);
    }
    if (wanted("connected")) {
      const Sample made = inChild([] {},
                                  [&] {
                                    DocumentSession session;
                                    session.CurrentFile = imported;
                                    loadOrThrow(session);
                                    session.ConnectGroupedSplines();
                                    session.SaveDocument(connected);
                                    return false;
                                  });
      if (made.ok) {
        std::printf("\n[connected] the imported model after Connect (%.1f MB)\n",
                    megabytes(connected));
        printHeader("/load");
        modelRows("connected", n, connected);
      } else {
        std::printf("\n[connected] not made: Connect did not finish in %d s\n", g_timeout);
      }
    }
    if (!keep) {
      std::error_code ignore;
      for (const std::string& f : {grid, imported, connected, out, out + ".bak"})
        fs::remove(f, ignore);
    }
  }

  if (assimp_faces > 0) benchAssimp(assimp_faces, runs, dir, keep, goals);

  // Growth from 10^5 to 10^6 points or faces, of every step on every family.
  for (const auto& [family, by_step] : times) {
    for (const auto& [step, by_size] : by_step) {
      const auto a = by_size.find(100000);
      const auto b = by_size.find(1000000);
      if (a == by_size.end() || b == by_size.end()) continue;
      // A step of a few milliseconds at 10^6 (Mirror bone works on the bones, whose number
      // does not grow with the points) has no growth a timer can show.
      if (b->second < 0.01) {
        std::printf("  (%s %s: %.4f s at 10^6, too short for a growth figure)\n", family.c_str(),
                    step.c_str(), b->second);
        continue;
      }
      auto& cpu = cpu_times[family][step];
      goals.push_back({family + ": " + step + " 10^6 / 10^5 <= 12", b->second / a->second, 12, true,
                       cpu[1000000] / cpu[100000]});
    }
  }
  if (!goals.empty()) {
    std::printf("\nGoals (wall time; the same ratio of processor times beside it)\n");
    for (const Goal& g : goals) {
      const auto met = [&](double v) { return g.at_most ? v <= g.limit : v >= g.limit; };
      std::printf("  %-58s %9.2f  %-6s", g.text.c_str(), g.value, met(g.value) ? "met" : "MISSED");
      if (g.cpu == g.cpu) std::printf(" cpu %6.2f  %s", g.cpu, met(g.cpu) ? "met" : "MISSED");
      std::printf("\n");
    }
  }
  if (!keep && dir_arg.empty()) fs::remove_all(dir);
  return 0;
}
