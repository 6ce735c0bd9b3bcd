// A SEGMENT section: one bone of the model's skeleton. Its lines give the bone's pivot, its
// end, its roll handle, its colour and its name; nested SEGMENT sections are its child bones.
// Sections of other kinds inside a bone are kept as plain lines, header and end line included.
//
// Also the bone-renaming rule of Mirror bone.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "model/tree/AM5_super.h"

namespace zevrin {

// The renaming rules of Mirror bone, by the numbers the settings store them under.
enum class MirrorRule : std::int32_t {
  None = 0,
  Prefix = 1,  // a name beginning with the word gets the replacement instead
  Suffix = 2,  // a name ending with the word gets the replacement instead
  Append = 3,  // every name gets the appended text
};

// How Mirror bone names a copy. A name that the chosen rule does not match (and every name
// under the other rules) gets the appended text.
struct MirrorSettings {
  MirrorRule Rule = MirrorRule::None;
  std::string Word;
  std::string Replacement;
  std::string Append;
};

// The settings used when nothing was configured.
inline constexpr MirrorRule kDefaultMirrorRule = MirrorRule::Append;
inline constexpr const char* kDefaultMirrorWord = "left";
inline constexpr const char* kDefaultMirrorReplacement = "right";
inline constexpr const char* kDefaultMirrorAppend = "mb";

// The name of a bone's mirrored copy under `settings`.
std::string MirrorName(std::string_view name, const MirrorSettings& settings);

class M5segment : public M5amsuper {
 public:
  M5segment() { Name = "SEGMENT"; }

  std::string BoneName;     // the value of the "Name=" line
  bool Suppressed = false;  // set by Halvejoin: the bone and its children write nothing
  Vec3 Pivot;
  Vec3 End;
  Vec3 RollHandle;
  std::uint32_t BoneColor = 0;  // red in bits 0..7, green in 8..15, blue in 16..23
  bool MirroredCopy = false;    // made by MirrorBone; never mirrored again

  // Rewrites the bone's "Pivot=", "End=", "RollHandle=" and "Name=" lines (every one of them)
  // from the fields, then writes the section; the colour line stays as read.
  void Write(TextWriter& out) override;
  void Halvejoin(double tolerance, StepContext& step) override;
  bool IsSuppressed() const override { return Suppressed; }
  // The child bones first, then the bone as a line from pivot to end in its own colour.
  void Draw(Mscreen& view) override;
  // A bone off the X = 0 plane (pivot or end farther than `tolerance`) returns its copy
  // mirrored across the plane, with the copies of its child bones nested in the copy; the
  // child copies of a bone on the plane are appended to the bone itself.
  std::unique_ptr<M5amsuper> MirrorBone(double tolerance, const MirrorSettings& rule) override;

 protected:
  std::unique_ptr<M5amsuper> CloneNode() const override;
  bool ReadsNestedSections() const override { return false; }
  // Reads the bone with its child bones, nested without recursion and refused beyond
  // kMaxSectionDepth. A position or colour that is no number raises the conversion error at
  // its line.
  void ReadLines(LineSource& source, std::string_view header, std::int32_t header_index,
                 StepContext& step) override;

 private:
  // Takes the bone's fields from its plain lines, in order; a key on two lines keeps the
  // later line's values.
  void InterpretLines();
  // Puts the fields into the name and position lines.
  void RewriteLines();
  // The bone's own copy across the plane, without child bones; none when it lies on the plane.
  std::unique_ptr<M5segment> MirroredCopyOf(double tolerance, const MirrorSettings& rule) const;
  // The node when it is exactly a bone, so that the walks here may take over its part; none
  // for any other class.
  static M5segment* AsBone(M5amsuper* node);
};

}  // namespace zevrin
