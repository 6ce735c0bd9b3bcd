#include "mesh/AM5_mesh.h"

#include <algorithm>

#include "mesh/AM5_cplist.h"
#include "mesh/PositionResolver.h"
#include "model/AM_const.h"
#include "util/FmxUtils.h"

namespace zevrin {

void M5mesh::FinishRead() {
  M5amsuper::FinishRead();
  Version = "2";
  const std::span<const Entry> lines(Entries);
  MCommaStr tokens;
  std::size_t i = 0;
  while (i < lines.size()) {
    tokens.Separator = "=";
    tokens.SetText(lines[i].Text);
    const std::string key = tokens.NextToken();
    if (SameKeyword(key, "Version")) {
      Version = tokens.NextToken();
      ++i;
    } else if (SameKeyword(key, "CPs")) {
      auto spline = std::make_unique<M5spline>();
      i = spline->ReadSpline(lines, i);
      Splines.push_back(std::move(spline));
    } else {
      ++i;  // "Splines=" and anything else: the count is that of the blocks read
    }
  }
  M5cplist list(Splines);
  list.ResolveAttachments();
  Shared().CpCount = list.Count();
  Shared().SplineCount = static_cast<std::int32_t>(Splines.size());
  list.ComputeBounds();
  BoundsMin = {list.MinX, list.MinY, list.MinZ};
  BoundsMax = {list.MaxX, list.MaxY, list.MaxZ};
  std::erase_if(Entries, [](const Entry& e) { return !e.Child; });
}

void M5mesh::WriteSection(LineList& lines) {
  lines.push_back("[" + Name + "]");
  lines.push_back("Version=" + Version);
  lines.push_back("Splines=" + IntToStr(static_cast<std::int64_t>(Splines.size())));
  for (const auto& s : Splines) s->WriteSpline(lines);
  lines.push_back("[END" + Name + "]");
}

void M5mesh::Draw(Mscreen& view) {
  PositionResolver resolver;
  for (const auto& s : Splines)
    if (s->NumCps > 0 && s->FirstCp) s->FirstCp->DrawChain(view, &resolver);
}

void M5mesh::Halvejoin(double tolerance) {
  if (Splines.empty()) return;
  SharedState& shared = Shared();
  SetMainProgress(20);
  std::int32_t n = 0;
  {
    M5cplist list(Splines);
    list.SnapToMirrorPlane(tolerance);
    SetMainProgress(30);
    n = list.Renumber();
    list.DumpToFile("3_cp_renumber.txt");
    DumpSplines("3_cp_renumber splines.txt");
  }
  shared.CpCountBefore = n;
  shared.SplineCountBefore = static_cast<std::int32_t>(Splines.size());
  SetMainProgress(40);
  std::vector<Mattach_correct> corrections;
  MirrorSplines(n, corrections);
  SetMainProgress(60);
  {
    M5cplist list(Splines);
    list.DumpToFile("6_sd.txt");
    DumpSplines("6_sd splines.txt");
    SetMainProgress(70);
    list.ApplyCorrections(corrections);
    list.DumpToFile("7_hook_cor.txt");
    DumpSplines("7_hook_cor splines.txt");
  }
  SetMainProgress(90);
  M5cplist list(Splines);
  list.ResolveAttachments();
  DumpSplines("9b_attach_cor splines.txt");
  shared.CpCount = list.Count();
  shared.SplineCount = static_cast<std::int32_t>(Splines.size());
}

void M5mesh::MirrorSplines(std::int32_t offset, std::vector<Mattach_correct>& corrections) {
  for (std::size_t i = Splines.size(); i-- > 0;) {
    if (auto twin = Splines[i]->MirrorHalf(offset, corrections)) Splines.push_back(std::move(twin));
  }
}

void M5mesh::AttachAll() {
  M5cplist list(Splines);
  list.AttachAll();
  list.ResolveAttachments();
}

void M5mesh::DetachAll() {
  M5cplist list(Splines);
  list.DetachAll();
}

M5spline* M5mesh::FindSplineByEndId(std::int32_t id) const {
  for (auto it = Splines.rbegin(); it != Splines.rend(); ++it)
    if ((*it)->HasEndId(id)) return it->get();
  return nullptr;
}

void M5mesh::RemoveEmptySplines() {
  std::erase_if(Splines, [](const std::unique_ptr<M5spline>& s) { return s->NumCps == 0; });
}

void M5mesh::DumpSplines(const std::string& file_name) const {
  if (!Shared().DebugDump) return;
  LineList lines{"Splines=" + IntToStr(static_cast<std::int64_t>(Splines.size()))};
  for (const auto& s : Splines) s->DumpSpline(lines);
  WriteLinesFile(file_name, lines);
}

}  // namespace zevrin
