// The tag file, the format of the modeller's later versions, as a tree of tag sections: the
// file itself, its models, their meshes (mesh/TagMesh.h), groups and bones. What the program
// interprets it reads into fields; every line stays as read, so that a file opened and saved
// without an edit comes back byte for byte. Also the way from any model to a tag file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/tree/TagSection.h"

namespace zevrin {

class TagMesh;

// "<MODELFILE>": the document of a tag file. Its "FileInfoPos=" item, the byte offset of the
// last model's "<FileInfo>" line, is recomputed on every save.
class TagFile : public TagSection {
 public:
  // Lines after "</MODELFILE>", kept as read.
  std::vector<std::string> Trailer;

  TagFile() { Name = "MODELFILE"; }
  void Write(TextWriter& out) override;
  void Halvejoin(double tolerance, StepContext& step) override;
  void ConnectGroupedSplines(StepContext& step) override;
  // Mirror bone on every model of the file (MirrorTagBones); returns none.
  std::unique_ptr<M5amsuper> MirrorBone(double tolerance, const MirrorSettings& rule) override;
  // The box of all its models together: a file of several models is drawn whole.
  bool GetBounds(Vec3& min, Vec3& max) override;

 protected:
  TagFile(const TagFile& other) : TagSection(other), Trailer(other.Trailer) {}
  std::unique_ptr<M5amsuper> CloneNode() const override;
  void ReadLines(LineSource& source, std::string_view header, std::int32_t header_index,
                 StepContext& step) override;
  void WriteItem(TextWriter& out, const std::string& text) override;

 private:
  std::uint64_t file_info_at_ = 0;  // while writing
  bool file_info_found_ = false;
};

// "<GROUP>": a named set of points ("Name=", the ids of "<CPS>").
class TagGroup : public TagSection {
 public:
  std::string GroupName;

  // The id lines of CPS, trimmed; read when asked (a file's groups list tens of thousands of
  // ids that only an export looks at).
  std::vector<std::string> Ids() const;

 protected:
  std::unique_ptr<M5amsuper> CloneNode() const override;
  void FinishRead(StepContext& step) override;
};

// "<SEGMENT>": a bone, with "Name=", "BoneColor=r g b a", "Start=", "End=" and "Rotate=" (a
// quaternion x y z w); its child bones nest in it.
class TagBone : public TagSection {
 public:
  std::string BoneName;
  Vec3 Start;
  Vec3 End;
  std::uint8_t Color[3] = {255, 255, 255};
  bool MirroredCopy = false;  // made by Mirror bone; never mirrored again

  // The child bones first, then the bone as a line from its start to its end in its colour.
  void Draw(Mscreen& view) override;

 protected:
  std::unique_ptr<M5amsuper> CloneNode() const override;
  void FinishRead(StepContext& step) override;
};

// "<MODEL>": its mesh, groups and bones; its box is that of its mesh's points and its bones.
//
// The edits run on its mesh as on any mesh, and the lists that name the mesh's points follow
// them (model/TagLists.h):
// - Halvejoin: every list follows the renumbering; the patches gain their mirror images and
//   the groups the copies of their points; bones, decals and poses stay with the original half.
// - Connect: a point a join takes away is named by the point that stays at its place; the
//   groups, which here are the user's named selections, stay (they are not used up).
// - Attach all, Detach all: no id changes, and no list with them.
class TagModel : public TagSection {
 public:
  TagMesh* Mesh = nullptr;        // not owned
  std::vector<TagGroup*> Groups;  // not owned, in file order
  // List lines an edit had to leave out since the file was read (they named a point that is
  // gone); the next save will not hold them.
  std::int64_t ListLinesLeftOut = 0;

  void Halvejoin(double tolerance, StepContext& step) override;
  void ConnectGroupedSplines(StepContext& step) override;
  void CheckConnect() override;
  bool GetBounds(Vec3& min, Vec3& max) override;
  // Finds the mesh, the groups and the box again from the entries.
  void Refresh();

 protected:
  std::unique_ptr<M5amsuper> CloneNode() const override;
  void RelinkClone(const CloneMap& copies) override;
  void FinishRead(StepContext& step) override;
  bool IsModelNode() const override { return true; }
};

// The node class of each interpreted section of a tag file (for StepContext::TagNodes).
std::unique_ptr<M5amsuper> MakeTagNode(std::string_view parent, std::string_view name);

// Whether the document is a tag file.
bool IsTagDocument(const M5amsuper& root);

// ---------------------------------------------------------------------------------------------
// Mirror bone on a tag file (model/TagBones.cpp).

// What became of the point ids listed by the bones that Mirror bone copied.
struct TagBonePoints {
  std::int32_t Carried = 0;  // ids given to the copies' NONSKINNEDCPS and WEIGHTEDCPS lists
  // Ids that were not: the point lies on the plane, has no partner across it, or its partner
  // is moved by another bone already (or listed twice).
  std::int32_t LeftOut = 0;
};

// Mirror bone on every model of `file`, as it goes for a bracketed file (M5segment::MirrorBone),
// in the tag layout: each bone off the X = 0 plane gets a copy across it, named by `rule`,
// which lists the partners of its source's points in the same model's mesh. Nothing changes
// before every copy is made: a "Rotate=" that is no quaternion raises the conversion error at
// its line, a stop through `bars` ErrorKind::Cancelled, with the file as it was.
TagBonePoints MirrorTagBones(TagFile& file, double tolerance, const MirrorSettings& rule,
                             Progress& bars);

// A tag file of the models below `root` (a bracketed model file, or a polygon file imported
// into one): each model's splines (a hooked point that slides along its spline becomes a point
// of its own at its place, since a tag file's hooks lie on a point), its groups, its bones
// (the roll handle's direction as the bone's local Y axis) and a PATCHES list from the patch
// finder. What a tag file needs and no more. The document is not changed.
std::unique_ptr<TagFile> TagFileFrom(const M5amsuper& root, Progress& bars);

}  // namespace zevrin
