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
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mesh/AM5_mesh.h"
#include "mesh/PatchFinder.h"

namespace zevrin {

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
  // The line of one point, as a changed point is written.
  static void WritePoint(TextWriter& out, const M5cp& p);
  // The patch list's lines ("flags c1 c2 c3 c4 n1 n2 n3 n4 attr").
  static std::string PatchLine(const Patch& patch);

  // Makes the mesh's entries from scratch for a model saved as a tag file: `patches` become
  // the PATCHES list with one normal per patch corner and one attribute.
  void SetPatchList(std::vector<Patch> patches, std::vector<Vec3> normals);

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
