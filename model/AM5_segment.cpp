#include "model/AM5_segment.h"

#include <cmath>
#include <typeinfo>
#include <utility>
#include <vector>

#include "model/tree/AM_const.h"
#include "view/M_scr.h"

namespace zevrin {
namespace {

// Three blank-separated reals; a missing one is the empty text, which the conversion refuses.
Vec3 takeVec3(MCommaStr& words) {
  Vec3 v;
  v.x = StrToFloat(words.NextToken());
  v.y = StrToFloat(words.NextToken());
  v.z = StrToFloat(words.NextToken());
  return v;
}

std::string vec3Line(std::string_view key, const Vec3& v) {
  return std::string(key) + "=" + FloatToStr(v.x) + " " + FloatToStr(v.y) + " " + FloatToStr(v.z);
}

Vec3 mirroredX(const Vec3& v) { return {-v.x, v.y, v.z}; }

}  // namespace

void M5segment::ReadLines(LineSource& source, std::string_view header, std::int32_t header_index,
                          StepContext& /*step*/) {
  struct Open {
    M5segment* bone;
    std::string end_line;
    std::int32_t header;  // 0-based index of the header line
  };
  // The open bones, outermost first: a file can nest bones as deep as the limit allows.
  std::vector<Open> open;

  const auto begin_bone = [&](M5segment* bone, std::string_view trimmed, std::int32_t at) {
    bone->Name = SectionNameOf(trimmed);
    // This bone is at read_depth_; each open bone adds a level for the next one.
    const std::int32_t depth = read_depth_ + static_cast<std::int32_t>(open.size());
    if (depth > kMaxSectionDepth) ThrowTooDeep(at);
    bone->read_depth_ = depth;
    open.push_back({bone, "[END" + bone->Name + "]", at});
  };

  begin_bone(this, header, header_index);
  std::string_view raw;
  while (!open.empty()) {
    Open& top = open.back();
    const std::int64_t i = source.Index();
    if (!source.Next(raw)) ThrowMissingEnd(i, top.header);
    const auto index = static_cast<std::int32_t>(i);
    const std::string_view line = TrimView(raw);
    if (SameKeyword(line, top.end_line)) {
      M5segment* finished = top.bone;
      open.pop_back();
      // A child bone is complete, fields and all, before its parent reads on.
      finished->InterpretLines();
      continue;
    }
    if (SameKeyword(line, "[SEGMENT]")) {
      auto child = std::make_unique<M5segment>();
      M5segment* c = child.get();
      top.bone->Entries.push_back(Entry{std::string(), std::move(child), index});
      begin_bone(c, line, index);
      continue;
    }
    // Everything else, nested headers of other kinds included, is a line of this bone.
    top.bone->Entries.push_back(Entry{std::string(line), nullptr, index});
  }
}

void M5segment::InterpretLines() {
  MCommaStr words;
  for (const Entry& e : Entries) {
    if (e.Child) continue;
    AtLine(e.Line, [&] {
      words.Separator = "=";
      words.SetText(e.Text);
      const std::string key = words.NextToken();
      words.Separator = " ";
      if (SameKeyword(key, "Pivot")) {
        Pivot = takeVec3(words);
      } else if (SameKeyword(key, "End")) {
        End = takeVec3(words);
      } else if (SameKeyword(key, "RollHandle")) {
        RollHandle = takeVec3(words);
      } else if (SameKeyword(key, "BoneColor")) {
        const std::int32_t red = StrToInt(words.NextToken());
        const std::int32_t green = StrToInt(words.NextToken());
        const std::int32_t blue = StrToInt(words.NextToken());
        // Each channel keeps its low 8 bits, so that a value outside 0..255 cannot spill into
        // the neighbouring channel (-1 becomes 255, 256 becomes 0). The line itself is written
        // back as read.
        const auto channel = [](std::int32_t v) { return static_cast<std::uint32_t>(v) & 0xFFu; };
        BoneColor = channel(red) | (channel(green) << 8) | (channel(blue) << 16);
      } else if (SameKeyword(key, "Name")) {
        BoneName = words.TakeRest();
      }
    });
  }
}

// The walks below go through bone nesting with a work list: the sanitizer builds cannot afford
// a stack frame or two per level at the nesting limit. Children of any other class (only ever
// put into a bone in memory) take their own virtual walk.
M5segment* M5segment::AsBone(M5amsuper* node) {
  return node && typeid(*node) == typeid(M5segment) ? static_cast<M5segment*>(node) : nullptr;
}

void M5segment::RewriteLines() {
  for (Entry& e : Entries) {
    if (e.Child) continue;
    const std::string_view key = BeforeFirst("=", e.Text);
    if (SameKeyword(key, "Pivot")) {
      e.Text = vec3Line("Pivot", Pivot);
    } else if (SameKeyword(key, "End")) {
      e.Text = vec3Line("End", End);
    } else if (SameKeyword(key, "RollHandle")) {
      e.Text = vec3Line("RollHandle", RollHandle);
    } else if (SameKeyword(key, "Name")) {
      e.Text = "Name=" + BoneName;
    }
  }
}

void M5segment::Write(TextWriter& out) {
  if (Suppressed) return;
  struct Open {
    M5segment* bone;
    std::size_t next;  // the next entry to write
  };
  std::vector<Open> open;
  const auto begin_bone = [&](M5segment* bone) {
    bone->RewriteLines();
    out.AddChar('[').Add(bone->Name).AddChar(']').EndLine();
    open.push_back({bone, 0});
  };
  begin_bone(this);
  while (!open.empty()) {
    Open& top = open.back();
    if (top.next == top.bone->Entries.size()) {
      out.Add("[END").Add(top.bone->Name).AddChar(']').EndLine();
      open.pop_back();
      continue;
    }
    Entry& e = top.bone->Entries[top.next++];
    if (!e.Child) {
      out.Line(e.Text);
    } else if (M5segment* bone = AsBone(e.Child.get())) {
      if (!bone->Suppressed) begin_bone(bone);
    } else {
      e.Child->Write(out);
    }
  }
}

void M5segment::Halvejoin(double tolerance, StepContext& step) {
  std::vector<M5amsuper*> pending{this};
  while (!pending.empty()) {
    M5amsuper* node = pending.back();
    pending.pop_back();
    M5segment* bone = AsBone(node);
    if (!bone) {
      node->Halvejoin(tolerance, step);
      continue;
    }
    bone->Suppressed = true;
    // Last entry pushed first, so that children are visited in file order.
    for (std::size_t k = bone->Entries.size(); k-- > 0;)
      if (bone->Entries[k].Child) pending.push_back(bone->Entries[k].Child.get());
  }
}

void M5segment::Draw(Mscreen& view) {
  if (Suppressed) return;
  struct Open {
    M5segment* bone;
    std::size_t next;  // the next entry to draw
  };
  std::vector<Open> open{{this, 0}};
  while (!open.empty()) {
    Open& top = open.back();
    if (top.next < top.bone->Entries.size()) {
      M5amsuper* child = top.bone->Entries[top.next++].Child.get();
      if (child && child->IsSuppressed()) {
        // Left out of the next save, with everything under it: not drawn either.
      } else if (M5segment* bone = AsBone(child)) {
        open.push_back({bone, 0});
      } else if (child) {
        child->Draw(view);
      }
      continue;
    }
    // Every child bone has been drawn: now the bone itself.
    const M5segment& b = *top.bone;
    open.pop_back();
    view.SetPenColor(Rgb{static_cast<std::uint8_t>(b.BoneColor & 0xFFu),
                         static_cast<std::uint8_t>((b.BoneColor >> 8) & 0xFFu),
                         static_cast<std::uint8_t>((b.BoneColor >> 16) & 0xFFu)});
    view.MoveTo3D(b.Pivot.x, b.Pivot.y, b.Pivot.z);
    view.LineTo3D(b.End.x, b.End.y, b.End.z);
  }
}

std::unique_ptr<M5segment> M5segment::MirroredCopyOf(double tolerance,
                                                     const MirrorSettings& rule) const {
  if (!(std::fabs(Pivot.x) > tolerance || std::fabs(End.x) > tolerance)) return nullptr;
  auto copy = std::make_unique<M5segment>();
  copy->MirroredCopy = true;
  // The copy's writer rewrites the name and position lines from its own fields; the colour
  // line and every other line stay as the source's. Child bones get copies of their own.
  for (const Entry& e : Entries)
    if (!e.Child) copy->AddLine(e.Text);
  copy->BoneColor = BoneColor;
  copy->Pivot = mirroredX(Pivot);
  copy->End = mirroredX(End);
  copy->RollHandle = mirroredX(RollHandle);
  copy->BoneName = MirrorName(BoneName, rule);
  return copy;
}

std::unique_ptr<M5amsuper> M5segment::MirrorBone(double tolerance, const MirrorSettings& rule) {
  // A copy is never mirrored again, so running the edit twice gives two copies of a bone,
  // not copies of copies.
  if (MirroredCopy) return nullptr;
  struct Open {
    M5segment* bone;
    std::unique_ptr<M5segment> copy;  // none when the bone lies on the plane
    std::size_t next;                 // entries below this one are still to visit
  };
  std::vector<Open> open;
  open.push_back({this, MirroredCopyOf(tolerance, rule), Entries.size()});
  for (;;) {
    Open& top = open.back();
    std::unique_ptr<M5amsuper> child_copy;
    if (top.next > 0) {
      // The last child first. Copies appended below lie past `next` and are never visited.
      M5amsuper* child = top.bone->Entries[--top.next].Child.get();
      M5segment* bone = AsBone(child);
      if (bone && !bone->MirroredCopy) {
        open.push_back({bone, bone->MirroredCopyOf(tolerance, rule), bone->Entries.size()});
        continue;
      }
      if (!child || bone) continue;
      child_copy = child->MirrorBone(tolerance, rule);
    } else {
      child_copy = std::move(top.copy);
      open.pop_back();
      if (open.empty()) return child_copy;
    }
    if (child_copy) {
      Open& parent = open.back();
      M5segment* owner = parent.copy ? parent.copy.get() : parent.bone;
      owner->AddChild(std::move(child_copy));
    }
  }
}

std::string MirrorName(std::string_view name, const MirrorSettings& s) {
  const std::size_t n = s.Word.size();
  // A name shorter than the word matches neither rule.
  if (name.size() >= n) {
    if (s.Rule == MirrorRule::Prefix && SameKeyword(name.substr(0, n), s.Word))
      return s.Replacement + std::string(name.substr(n));
    if (s.Rule == MirrorRule::Suffix && SameKeyword(name.substr(name.size() - n), s.Word))
      return std::string(name.substr(0, name.size() - n)) + s.Replacement;
  }
  return std::string(name) + s.Append;
}

}  // namespace zevrin
