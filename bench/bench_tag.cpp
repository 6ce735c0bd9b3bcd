// Opening a tag file against opening a bracketed model file of the same points: each shipped
// tag file (or the files named) is opened RUNS times as the session opens it, and so is a
// bracketed file written from its meshes' splines (flags without the bits that would make a
// point slide, so that both resolve the same way). Medians in milliseconds and their ratio.
//   bench_tag [--runs N] [FILE.mdl ...]     (default: tests/data/tag/*.mdl, 21 runs)
//
// With --edits, each edit instead, on the file as opened (each run opens it afresh, untimed):
// Halvejoin, Connect, Attach all, Detach all and Mirror bone (tolerance 0.05), the lists of the
// tag file carried along; medians in milliseconds and each one's ratio to the opening.
//   bench_tag --edits [--runs N] [FILE.mdl ...]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/session/Document.h"
#include "mesh/TagMesh.h"
#include "model/TagModel.h"
#include "util/FmxUtils.h"
#include "util/TextWriter.h"

namespace fs = std::filesystem;
using namespace zevrin;

namespace {

double medianOpenMs(const std::string& path, int runs) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    DocumentSession session;
    session.CurrentFile = path;
    const auto t0 = std::chrono::steady_clock::now();
    session.LoadDocument();
    const auto t1 = std::chrono::steady_clock::now();
    ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

// A bracketed model file of the tag file's meshes, one MODEL each.
void writeBracketed(const M5amsuper& tag, const std::string& path) {
  WriteFileAtomically(path, [&](const ByteSink& sink) {
    TextWriter out(sink);
    out.Line("[MODELFILE]");
    out.Line("ProductVersion=5.0");
    out.Line("[OBJECTS]");
    WalkTree(tag, [&](const M5amsuper& node) {
      const auto* mesh = dynamic_cast<const TagMesh*>(&node);
      if (!mesh) return WalkOn::Into;
      out.Line("[MODEL]");
      out.Line("Bounds=0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0");
      out.Line("[MESH]");
      out.Line("Version=2");
      out.Add("Splines=").AddInt(static_cast<std::int64_t>(mesh->Splines.size())).EndLine();
      for (const auto& s : mesh->Splines) {
        out.Add("CPs=").AddInt(s->NumCps).EndLine();
        for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get()) {
          out.AddInt(p->Flags & ~M5cp::kHookBits).AddChar(' ').AddInt(p->Attached).AddChar(' ');
          out.AddInt(p->Id);
          if (p->HasHookParamBits()) out.AddChar(' ').AddFloat(p->HookParam);
          out.EndLine();
          if (p->Attached == 1) {
            out.AddInt(p->TargetId).EndLine();
          } else {
            out.AddFloat(p->X).AddChar(' ').AddFloat(p->Y).AddChar(' ').AddFloat(p->Z).EndLine();
          }
          for (const auto& [is_default, b] :
               {std::pair{p->InBiasDefault, p->InBias}, std::pair{p->OutBiasDefault, p->OutBias}}) {
            if (is_default) {
              out.Line("0");
            } else {
              out.AddFloat(b.x).AddChar(' ').AddFloat(b.y).AddChar(' ').AddFloat(b.z).EndLine();
            }
          }
        }
      }
      out.Line("[ENDMESH]");
      out.Line("[ENDMODEL]");
      return WalkOn::Over;
    });
    out.Line("[ENDOBJECTS]");
    out.Line("[ENDMODELFILE]");
    return out.Finish();
  });
}

struct TimedEdit {
  const char* name;
  StepResult (*run)(DocumentSession&);
};

const TimedEdit kEdits[] = {
    {"halvejoin", [](DocumentSession& s) { return s.Halvejoin(0.05); }},
    {"connect", [](DocumentSession& s) { return s.ConnectGroupedSplines(); }},
    {"attach", [](DocumentSession& s) { return s.AttachAll(); }},
    {"detach", [](DocumentSession& s) { return s.DetachAll(); }},
    {"mirrorbone", [](DocumentSession& s) { return s.MirrorBone(0.05); }},
};

// The median time of `edit` alone, each run on the file opened afresh; negative when refused.
double medianEditMs(const std::string& path, const TimedEdit& edit, int runs) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    DocumentSession session;
    session.CurrentFile = path;
    session.LoadDocument();
    const auto t0 = std::chrono::steady_clock::now();
    try {
      edit.run(session);
    } catch (const std::exception&) {
      return -1;
    }
    const auto t1 = std::chrono::steady_clock::now();
    ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

void benchEdits(const std::vector<std::string>& files, int runs) {
  std::printf("%-24s %8s", "file", "open ms");
  for (const TimedEdit& e : kEdits) std::printf(" %10s %5s", e.name, "x");
  std::printf("\n");
  for (const std::string& file : files) {
    const double open = medianOpenMs(file, runs);
    std::printf("%-24s %8.3f", fs::path(file).filename().c_str(), open);
    for (const TimedEdit& e : kEdits) {
      const double ms = medianEditMs(file, e, runs);
      if (ms < 0) {
        std::printf(" %10s %5s", "refused", "");
      } else {
        std::printf(" %10.3f %5.2f", ms, open > 0 ? ms / open : 0.0);
      }
    }
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 21;
  bool edits = false;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--edits") {
      edits = true;
    } else if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) {
    for (const auto& e : fs::directory_iterator(ZEVRIN_TAG_DIR))
      if (e.path().extension() == ".mdl") files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
  }
  if (edits) {
    benchEdits(files, runs);
    return 0;
  }
  const fs::path scratch = fs::temp_directory_path() / "zevrin_bench_tag.mdl";
  std::printf("%-24s %8s %8s %10s %10s %6s\n", "file", "points", "lines", "tag ms", "v5 ms",
              "ratio");
  for (const std::string& file : files) {
    DocumentSession session;
    session.CurrentFile = file;
    session.LoadDocument();
    writeBracketed(*session.Document, scratch.string());
    DocumentSession check;
    check.CurrentFile = scratch.string();
    check.LoadDocument();
    const double tag = medianOpenMs(file, runs);
    const double v5 = medianOpenMs(scratch.string(), runs);
    const std::string bytes = ReadFileBytes(file);
    std::printf("%-24s %8d %8zu %10.3f %10.3f %6.2f\n", fs::path(file).filename().c_str(),
                check.Shared.Counts.Cps,
                static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')), tag, v5,
                v5 > 0 ? tag / v5 : 0.0);
  }
  fs::remove(scratch);
  return 0;
}
