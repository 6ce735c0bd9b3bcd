#include "mesh/AM5_mesh.h"

#include <algorithm>

#include "mesh/AM5_cplist.h"
#include "mesh/PositionResolver.h"
#include "util/Errors.h"

namespace zevrin {

// The blocks of a MESH section, taken line by line: "Version=", "CPs=" and the four-line
// records of each block. Errors are noted, not raised, so that the section reads on to its
// end as the entries would have; FinishRead raises the first one.
class M5mesh::Reading {
 public:
  explicit Reading(M5mesh& mesh) : mesh_(mesh), splines_before_(mesh.Splines.size()) {}

  void Take(std::string_view text, std::int32_t line) {
    ++entries_;
    if (failed_) return;
    try {
      if (remaining_ > 0) {
        record_[filled_++] = RecordLine{text, line};
        if (filled_ < 4) return;
        filled_ = 0;
        auto cp = std::make_unique<M5cp>();
        cp->ReadRecord(record_);
        points_.push_back(cp.get());
        spline_->AppendCp(std::move(cp));
        if (--remaining_ == 0) mesh_.Splines.push_back(std::move(spline_));
        return;
      }
      TokenView tokens(text);
      const std::string_view key = tokens.Next('=');
      if (SameKeyword(key, "Version")) {
        mesh_.Version = std::string(tokens.Next('='));
      } else if (SameKeyword(key, "CPs")) {
        const std::int32_t count = WithLine(line, [&] { return StrToInt(AfterFirst("=", text)); });
        spline_ = std::make_unique<M5spline>();
        if (count <= 0) {
          mesh_.Splines.push_back(std::move(spline_));
        } else {
          remaining_ = count;
          head_line_ = line;
        }
      }
      // "Splines=" and anything else: the count is that of the blocks read.
    } catch (const ZevrinError& e) {
      failed_ = true;
      error_ = std::make_unique<ZevrinError>(e);
      spline_.reset();  // a block that failed is no spline of the mesh
    }
  }

  // The error noted, or the index error when the lines ran out inside a block (at the
  // block's line, naming the count of the section's entries).
  void Finish() {
    if (error_) throw *error_;
    if (remaining_ > 0)
      WithLine(head_line_, [&] { throwIndexError(static_cast<std::int64_t>(entries_)); });
  }

  // The list of the mesh's points, gathered in order while they were read.
  M5cplist List(Progress& progress) {
    if (splines_before_ > 0) return M5cplist(mesh_.Splines, progress);
    return M5cplist(mesh_.Splines, std::move(points_), progress);
  }

 private:
  M5mesh& mesh_;
  std::size_t splines_before_;  // splines the mesh had already: none when read from a file
  std::vector<M5cp*> points_;   // the points read, in the order of the splines' chains
  std::size_t entries_ = 0;     // lines and nested sections taken
  std::unique_ptr<M5spline> spline_;
  std::int32_t remaining_ = 0;  // records of the block still to come
  std::int32_t head_line_ = -1;
  RecordLine record_[4];
  int filled_ = 0;
  bool failed_ = false;
  std::unique_ptr<ZevrinError> error_;
};

M5mesh::M5mesh() = default;
M5mesh::~M5mesh() = default;

void M5mesh::TakeEntry(std::string_view text, std::unique_ptr<M5amsuper> child, std::int32_t line) {
  if (!reading_) {
    Version = "2";
    reading_ = std::make_unique<Reading>(*this);
  }
  if (child) {
    Entries.push_back(Entry{std::string(), std::move(child), line});
    text = {};
  }
  reading_->Take(text, line);
}

void M5mesh::FinishRead(StepContext& step) {
  M5amsuper::FinishRead(step);
  M5cplist list;
  if (reading_) {
    const std::unique_ptr<Reading> reading = std::move(reading_);
    reading->Finish();
    list = reading->List(step.Bars);
  } else {
    Version = "2";
    list = M5cplist(Splines, step.Bars);
  }
  list.ResolveAttachments(step);
  step.Report.After = MeshCounts{list.Count(), static_cast<std::int32_t>(Splines.size())};
  list.ComputeBounds(step.Bars);
  BoundsMin = {list.MinX, list.MinY, list.MinZ};
  BoundsMax = {list.MaxX, list.MaxY, list.MaxZ};
  std::erase_if(Entries, [](const Entry& e) { return !e.Child; });
}

void M5mesh::Write(TextWriter& out) {
  out.AddChar('[').Add(Name).AddChar(']').EndLine();
  out.Add("Version=").Add(Version).EndLine();
  out.Add("Splines=").AddInt(static_cast<std::int64_t>(Splines.size())).EndLine();
  for (const auto& s : Splines) s->WriteSpline(out);
  out.Add("[END").Add(Name).AddChar(']').EndLine();
}

void M5mesh::Draw(Mscreen& view) {
  PositionResolver resolver;
  for (const auto& s : Splines)
    if (s->NumCps > 0 && s->FirstCp) s->FirstCp->DrawChain(view, &resolver);
}

void M5mesh::Halvejoin(double tolerance, StepContext& step) {
  if (Splines.empty()) return;
  Progress& bars = step.Bars;
  bars.SetMain(20);
  std::int32_t n = 0;
  {
    M5cplist list(Splines, bars);
    list.SnapToMirrorPlane(tolerance);
    bars.SetMain(30);
    n = list.Renumber();
    list.DumpToFile("3_cp_renumber.txt", step);
    DumpSplines("3_cp_renumber splines.txt", step);
  }
  step.Report.Before = MeshCounts{n, static_cast<std::int32_t>(Splines.size())};
  bars.SetMain(40);
  std::vector<Mattach_correct> corrections;
  MirrorSplines(n, corrections);
  bars.SetMain(60);
  std::vector<M5cp*> points;
  {
    M5cplist list(Splines, bars);
    list.DumpToFile("6_sd.txt", step);
    DumpSplines("6_sd splines.txt", step);
    bars.SetMain(70);
    list.ApplyHalvejoinCorrections(corrections, n, step);
    list.DumpToFile("7_hook_cor.txt", step);
    DumpSplines("7_hook_cor splines.txt", step);
    points = std::move(list.Items);
  }
  bars.SetMain(90);
  // The corrections change attachments only: the chains, and so the list, are as they were.
  M5cplist list(Splines, std::move(points), bars);
  list.ResolveAttachments(step);
  DumpSplines("9b_attach_cor splines.txt", step);
  step.Report.After = MeshCounts{list.Count(), static_cast<std::int32_t>(Splines.size())};
}

void M5mesh::MirrorSplines(std::int32_t offset, std::vector<Mattach_correct>& corrections) {
  for (std::size_t i = Splines.size(); i-- > 0;) {
    if (auto twin = Splines[i]->MirrorHalf(offset, corrections)) Splines.push_back(std::move(twin));
  }
}

void M5mesh::AttachAll(StepContext& step) {
  M5cplist list(Splines, step.Bars);
  list.AttachAll(step.Bars);
  list.ResolveAttachments(step);
}

void M5mesh::DetachAll(StepContext& step) {
  M5cplist list(Splines, step.Bars);
  list.DetachAll(step.Bars);
}

M5spline* M5mesh::FindSplineByEndId(std::int32_t id) const {
  for (auto it = Splines.rbegin(); it != Splines.rend(); ++it)
    if ((*it)->HasEndId(id)) return it->get();
  return nullptr;
}

void M5mesh::RemoveEmptySplines() {
  std::erase_if(Splines, [](const std::unique_ptr<M5spline>& s) { return s->NumCps == 0; });
}

void M5mesh::DumpSplines(const std::string& file_name, StepContext& step) const {
  if (!step.DebugDump) return;
  LineList lines{"Splines=" + IntToStr(static_cast<std::int64_t>(Splines.size()))};
  for (const auto& s : Splines) s->DumpSpline(lines);
  step.Report.Dumps.push_back({file_name, std::move(lines)});
}

}  // namespace zevrin
