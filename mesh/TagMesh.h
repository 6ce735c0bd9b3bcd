// The MESH section of a tag file: its splines, one control point a line
// ("flags attached id [hookT] (x y z | targetId) inBias outBias", a bias "." or three numbers),
// read into the points and splines the bracketed mesh has, and the modeller's own patch list
// (PATCHES, with NORMALS and ATTRS kept as read).
//
// What no edit touches is written back as read: each point line is kept, and a point whose
// values still are those of its line is written as that line. A changed number is written as
// these files write numbers (TagFloatToStr).
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mesh/AM5_mesh.h"
#include "mesh/PatchFinder.h"
#include "util/FlatHash.h"

namespace zevrin {

// Where the ids of an edit go: old id to new id. An id it does not hold names a point the edit
// took away. Ids in the range given at the start sit in a table indexed by id (a mesh's ids
// mostly lie close together), any others in a hash.
class TagIdMap {
 public:
  // For `count` ids from `lo` to `hi`: the table when they lie close enough together that it
  // is no larger than a few entries an id.
  explicit TagIdMap(std::int64_t lo = 0, std::int64_t hi = -1, std::size_t count = 0) {
    if (hi >= lo && static_cast<std::uint64_t>(hi - lo) < 4 * std::uint64_t{count} + 1024) {
      base_ = lo;
      dense_.assign(static_cast<std::size_t>(hi - lo + 1), kNone);
    }
  }
  void Set(std::int32_t from, std::int32_t to) {
    if (std::int32_t* slot = denseSlot(from)) {
      *slot = to;
      return;
    }
    const auto [value, fresh] = others_.TryEmplace(IdKey(from), to);
    if (!fresh) *value = to;
  }
  // The new id, or none.
  const std::int32_t* Find(std::int32_t from) const {
    if (const std::int32_t* slot = const_cast<TagIdMap*>(this)->denseSlot(from))
      return *slot == kNone ? nullptr : slot;
    return others_.size() == 0 ? nullptr : others_.Find(IdKey(from));
  }

 private:
  // No id is this one (it is the lowest 32-bit number, which no edit gives out).
  static constexpr std::int32_t kNone = INT32_MIN;
  std::int32_t* denseSlot(std::int32_t id) {
    const std::int64_t at = std::int64_t{id} - base_;
    if (at < 0 || at >= static_cast<std::int64_t>(dense_.size())) return nullptr;
    return &dense_[static_cast<std::size_t>(at)];
  }
  std::int64_t base_ = 0;
  std::vector<std::int32_t> dense_;
  FlatHash<std::int32_t> others_;
};

class TagMesh : public M5mesh {
 public:
  // One line of the PATCHES list: 3-corner patches repeat a corner; 5 corners when bit 0x1 of
  // the flags is set.
  struct Patch {
    std::uint32_t Flags = 0;
    std::uint8_t Count = 4;  // 4 or 5
    std::array<std::int32_t, 5> Corners{};
    std::array<std::int32_t, 5> Normals{};
    std::int32_t Attr = 0;
  };

  std::string Header = "<MESH>";
  std::string Close = "</MESH>";
  // The PATCHES list, as read (or as made for a model saved as a tag file).
  std::vector<Patch> Patches;
  bool HasPatchList = false;

  TagMesh() { Name = "MESH"; }

  // The point lines as a tag file holds them, in spline order.
  void Write(TextWriter& out) override;
  // The mesh's Halvejoin; then each copy of a hook measures its parameter from the other end
  // (the copies run the other way), and the two bits that mark a segment at its two ends
  // (0x80 at its start, 0x20000 at its end) change places on the copies for the same reason.
  void Halvejoin(double tolerance, StepContext& step) override;
  // The line of one point, as a changed point is written.
  static void WritePoint(TextWriter& out, const M5cp& p);
  // The patch list's lines ("flags c1 c2 c3 c4 n1 n2 n3 n4 attr").
  static std::string PatchLine(const Patch& patch);

  // Makes the mesh's entries from scratch for a model saved as a tag file: `patches` become
  // the PATCHES list with one normal per patch corner and one attribute.
  void SetPatchList(std::vector<Patch> patches, std::vector<Vec3> normals);

  // The patch list after an edit that renumbered or merged points: every corner through `to`,
  // a patch naming a point that is gone left out. With `copies` (the id of each point's mirror
  // copy, for the points that have one), each patch not lying wholly on X = 0 gains its mirror
  // image at the end of the list: the corners' copies in reverse order, so that it faces
  // outward, each with a copy of its normal negated in X, and the same attributes. A corner
  // without a copy lies on the seam and is shared. Returns how many patches were left out.
  //
  // A patch whose corners do not follow one another along spline segments (a corner standing
  // for the point at the end of its attachments; three-corner patches repeat one) is left
  // out too: the modeller has no patch there. A join that makes a closed spline part of an
  // open one takes such patches away.
  std::int64_t PatchesFollow(const TagIdMap& to, const TagIdMap* copies);

  std::size_t OwnBytes() const override;

 protected:
  std::unique_ptr<M5amsuper> CloneNode() const override;
  bool ReadsNestedSections() const override { return false; }
  // Reads the splines and the other sections to "</MESH>"; then checks that every attachment
  // and every patch corner names a point (TagNoSuchPoint), that no id is used twice
  // (TagDuplicateId) and that no attachments go round in a ring (TagAttachRing), each at the
  // line that shows it. Reports the counts and sets the box.
  void ReadLines(LineSource& source, std::string_view header, std::int32_t header_index,
                 StepContext& step) override;

 private:
  // The point lines as read, one after another, and where each begins (one more at the end).
  std::shared_ptr<const std::string> read_points_;
  std::vector<std::uint32_t> read_at_;
  // How many entries come before the splines.
  std::size_t splines_at_ = 0;

  void parsePatches(const std::vector<std::int32_t>& point_lines, StepContext& step);
};

// The patches of a mesh: the file's own list where a tag file has one (in the file's order and
// turning, five-corner patches included; a listed patch with fewer than three distinct corners
// counts as flat), the patch finder's otherwise.
MeshPatches PatchesOf(const M5mesh& mesh, Progress& bars);

}  // namespace zevrin
