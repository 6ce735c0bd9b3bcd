// What one load or edit works with besides the document (the progress it shows, the switches
// it is given) and what it reports back: the counts of the last mesh it read or changed, the
// attachments it could not resolve and the diagnostic dumps it was asked for. Nothing of a
// step outlives it but what the caller keeps of its report.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/tree/AM_const.h"
#include "util/Threads.h"
#include "util/Ustrlib.h"

namespace zevrin {

class SectionTable;
class M5amsuper;

// The node a tag-file reader makes for a section named `name` inside one named `parent`; none
// for a section kept as it is read.
using TagNodeMaker = std::unique_ptr<M5amsuper> (*)(std::string_view parent, std::string_view name);

// The control points and splines of one mesh.
struct MeshCounts {
  std::int32_t Cps = 0;
  std::int32_t Splines = 0;
  friend bool operator==(const MeshCounts&, const MeshCounts&) = default;
};

enum class AttachProblemKind {
  NoSuchPoint,  // the target id names no point of the mesh
  Ring,         // the point lay on a ring of attachments, which was broken there
};

// An attached point left without a target.
struct AttachProblem {
  std::int32_t Id = 0;
  std::int32_t TargetId = 0;
  AttachProblemKind Kind = AttachProblemKind::NoSuchPoint;
  friend bool operator==(const AttachProblem&, const AttachProblem&) = default;
};

// One resolution of a mesh's attachments that left points without a target (or any, while
// the diagnostic dumps are asked for): the mesh's point count and those points, in list order.
struct AttachReport {
  std::int32_t PointCount = 0;
  std::vector<AttachProblem> Problems;

  // The lines of "attach_err.txt": a header, the count, then one line per point.
  LineList Lines() const;
  static constexpr const char* kFileName = "attach_err.txt";
};

// A diagnostic dump: a file name (relative to the current folder) and its lines.
struct DumpFile {
  std::string Name;
  LineList Lines;
};

struct StepReport {
  // As the last mesh that set them left them (a step over several meshes reports the last).
  std::optional<MeshCounts> Before;
  std::optional<MeshCounts> After;
  // The last resolution that found a point without a target; none when every attachment
  // resolved.
  std::optional<AttachReport> AttachErrors;
  // Only while StepContext::DebugDump is set, in the order they were made.
  std::vector<DumpFile> Dumps;
};

// Polygon import: from this many faces on, the splines are made on a second thread. The
// tests move the threshold to run both ways.
struct ImportOptions {
  std::size_t ThreadedFromFaces = ThreadedFrom(4096);
};

class StepContext {
 public:
  StepContext() = default;
  explicit StepContext(Progress bars) : Bars(bars) {}
  StepContext(const StepContext&) = delete;
  StepContext& operator=(const StepContext&) = delete;

  Progress Bars;
  StepReport Report;
  // The diagnostic dumps go into the report.
  bool DebugDump = false;
  // The section classes a tree reader makes for the headers it meets; none: the section
  // tree's own (containers and sections kept as they are read).
  const SectionTable* Sections = nullptr;
  // The same for the sections of a tag file; none: every section is kept as it is read.
  TagNodeMaker TagNodes = nullptr;
  ImportOptions Import;
};

}  // namespace zevrin
