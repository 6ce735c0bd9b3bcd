// The copy of a mesh for the section tree's Clone: every point with all its fields, and the
// links between points (chains, resolved targets) pointing at the copies.
#include <algorithm>
#include <cassert>
#include <cstdint>
#include <vector>

#include "mesh/AM5_mesh.h"
#include "util/FlatHash.h"

namespace zevrin {
namespace {

// Everything of a point but its links.
std::unique_ptr<M5cp> copyPoint(const M5cp& p) {
  // A field added to the point must be copied here, or an undo would lose it.
#if defined(__GLIBCXX__) && UINTPTR_MAX == UINT64_MAX
  static_assert(sizeof(M5cp) == 136, "copy the new field of M5cp in copyPoint");
#endif
  auto c = std::make_unique<M5cp>();
  c->Flags = p.Flags;
  c->Attached = p.Attached;
  c->TargetId = p.TargetId;
  c->Id = p.Id;
  c->HookParam = p.HookParam;
  c->X = p.X;
  c->Y = p.Y;
  c->Z = p.Z;
  c->InBias = p.InBias;
  c->OutBias = p.OutBias;
  c->GroupNames = p.GroupNames;
  c->HookParamFlipped = p.HookParamFlipped;
  c->InBiasDefault = p.InBiasDefault;
  c->OutBiasDefault = p.OutBiasDefault;
  c->Mirrored = p.Mirrored;
  c->TagRecord = p.TagRecord;
  return c;
}

}  // namespace

std::unique_ptr<M5amsuper> M5mesh::CloneNode() const {
  auto copy = std::make_unique<M5mesh>();
  CloneMeshInto(*copy);
  return copy;
}

void M5mesh::CloneMeshInto(M5mesh& into) const {
  const M5mesh& other = *this;
  M5mesh* copy = &into;
  copy->CopyNodeFrom(other);
  copy->Version = other.Version;
  copy->NextId = other.NextId;
  copy->BoundsText = other.BoundsText;
  std::vector<std::unique_ptr<M5spline>>& out = copy->Splines;
#if defined(__GLIBCXX__) && UINTPTR_MAX == UINT64_MAX
  static_assert(sizeof(M5spline) == 24, "copy the new field of M5spline here");
  static_assert(sizeof(M5mesh) == sizeof(M5amsuper) + 104, "copy the new field of M5mesh here");
#endif
  std::size_t points = 0;
  for (const auto& s : other.Splines) points += static_cast<std::size_t>(std::max(s->NumCps, 0));
  // Every point and its copy, in list order.
  std::vector<const M5cp*> sources;
  std::vector<M5cp*> copies;
  sources.reserve(points);
  copies.reserve(points);
  out.reserve(other.Splines.size());
  for (const auto& s : other.Splines) {
    auto spline = std::make_unique<M5spline>();
    spline->NumCps = s->NumCps;
    M5cp* last = nullptr;
    for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get()) {
      std::unique_ptr<M5cp> c = copyPoint(*p);
      M5cp* raw = c.get();
      sources.push_back(p);
      copies.push_back(raw);
      c->Prev = last;
      if (last) {
        last->Next = std::move(c);
      } else {
        spline->FirstCp = std::move(c);
      }
      last = raw;
    }
    spline->LastCp = last;
    out.push_back(std::move(spline));
  }
  // Every copy under its source's address, then the targets: a target lies in the same mesh
  // (the control-point list of the mesh resolved it). At a million points nearly every probe
  // of the table waits for memory, so each slot is asked for some probes ahead.
  constexpr std::size_t kAhead = 16;
  FlatHash<M5cp*> copy_of(sources.size());
  for (std::size_t i = 0; i < sources.size(); ++i) {
    if (i + kAhead < sources.size()) copy_of.Prefetch(PointerKey(sources[i + kAhead]));
    copy_of.TryEmplace(PointerKey(sources[i]), copies[i]);
  }
  for (std::size_t i = 0; i < sources.size(); ++i) {
    if (i + kAhead < sources.size() && sources[i + kAhead]->Target)
      copy_of.Prefetch(PointerKey(sources[i + kAhead]->Target));
    if (!sources[i]->Target) continue;
    M5cp* const* target = copy_of.Find(PointerKey(sources[i]->Target));
    assert(target);
    copies[i]->Target = target ? *target : nullptr;
  }
}

std::size_t M5mesh::OwnBytes() const {
  std::size_t bytes = M5amsuper::OwnBytes() + HeapBytesOf(Version) + HeapBytesOf(BoundsText);
  if (Splines.capacity() > 0) bytes += HeapBytes(Splines.capacity() * sizeof(Splines[0]));
  for (const auto& s : Splines)
    bytes += HeapBytes(sizeof(M5spline)) +
             static_cast<std::size_t>(std::max(s->NumCps, 0)) * HeapBytes(sizeof(M5cp));
  return bytes;
}

}  // namespace zevrin
