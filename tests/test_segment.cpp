// Bones: their lines read and saved, drawing, Halvejoin, and Mirror bone with its renaming.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "model/AM5_segment.h"
#include "model/tree/AM_const.h"
#include "tests/TestUtil.h"
#include "util/Errors.h"
#include "view/M_scr.h"

namespace zevrin {
namespace {

using test::lines;

std::unique_ptr<M5amsuper> read(const LineList& l) {
  auto root = std::make_unique<M5amsuper>();
  test::Step step;
  root->ReadSection(l, 0, step);
  return root;
}

LineList write(M5amsuper& node) {
  LineList out;
  node.WriteSection(out);
  return out;
}

ZevrinError readError(const LineList& l) {
  try {
    read(l);
  } catch (const ZevrinError& e) {
    return e;
  }
  ADD_FAILURE() << "no error";
  return ZevrinError(ErrorKind::RangeCheck, "");
}

M5segment& boneAt(M5amsuper& parent, std::size_t k) {
  return dynamic_cast<M5segment&>(*parent.Entries.at(k).Child);
}

// The opening lines of a bone at x = `x`, as its writer puts them.
LineList open(const std::string& name, int x) {
  const std::string xs = std::to_string(x);
  return {"[SEGMENT]", "Name=" + name, "Pivot=" + xs + " 0 0", "End=" + xs + " 1 0"};
}
const LineList kEnd = {"[ENDSEGMENT]"};

LineList cat(std::initializer_list<LineList> parts) {
  LineList out;
  for (const LineList& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

const MirrorSettings kDefaults{kDefaultMirrorRule, kDefaultMirrorWord, kDefaultMirrorReplacement,
                               kDefaultMirrorAppend};

class Bones : public ::testing::Test {
 protected:
  test::Step step;
};

TEST_F(Bones, LinesAreRewrittenInTheProgramsNumbersAndTheCopyMirrorsThem) {
  auto root = read(lines({"[MODELFILE]", "[SEGMENT]", "  Name=  upper arm  ", "Pivot=0.0 1.50 -2",
                          "end=1e1  2 3", "RollHandle=+4 5 6 7", "BoneColor=255 128 0", "Other=1.0",
                          "[ENDSEGMENT]", "[ENDMODELFILE]"}));
  EXPECT_EQ(boneAt(*root, 0).BoneColor, 33023u);
  EXPECT_EQ(write(*root), lines({"[MODELFILE]", "[SEGMENT]", "Name=upper arm", "Pivot=0 1.5 -2",
                                 "End=10 2 3", "RollHandle=4 5 6", "BoneColor=255 128 0",
                                 "Other=1.0", "[ENDSEGMENT]", "[ENDMODELFILE]"}));
  auto copy = root->Entries[0].Child->MirrorBone(0, kDefaults);
  ASSERT_TRUE(copy);
  EXPECT_EQ(write(*copy),
            lines({"[SEGMENT]", "Name=upper armmb", "Pivot=0 1.5 -2", "End=-10 2 3",
                   "RollHandle=-4 5 6", "BoneColor=255 128 0", "Other=1.0", "[ENDSEGMENT]"}));
}

TEST_F(Bones, OtherSectionsInsideABoneAreItsLinesAndBonesAreChildren) {
  auto root = read(lines({"[MODELFILE]", "[SEGMENT]", "Pivot=1 1 1", "BoneColor=-1 256 2", "[FOO]",
                          "Name=inner", "Pivot=2 2 2", "A=1", "[ENDFOO]", "[segment]", "Name=child",
                          "[ENDSEGMENT]", "[ENDSEGMENT]", "[ENDMODELFILE]"}));
  M5segment& b = boneAt(*root, 0);
  EXPECT_EQ(b.BoneColor, 0x0200FFu);  // each channel keeps its low 8 bits
  EXPECT_EQ(b.BoneName, "inner");
  EXPECT_EQ(boneAt(b, 7).BoneName, "child");
  b.Pivot = {0.25, 0, -1};  // the later line won; both lines now carry the bone's values
  EXPECT_EQ(write(b), lines({"[SEGMENT]", "Pivot=0.25 0 -1", "BoneColor=-1 256 2", "[FOO]",
                             "Name=inner", "Pivot=0.25 0 -1", "A=1", "[ENDFOO]", "[segment]",
                             "Name=child", "[ENDsegment]", "[ENDSEGMENT]"}));
}

TEST_F(Bones, BadNumbersAndMissingEndLinesStopTheReadAtTheirLine) {
  for (const auto& [line, message] : {std::pair{"Pivot=1 2", "'' is not a number"},
                                      {"End=1 x 3", "'x' is not a number"},
                                      {"BoneColor=1 2 3.5", "'3.5' is not an integer"}}) {
    const ZevrinError e = readError(
        lines({"[MODELFILE]", "[SEGMENT]", "Name=a", line, "[ENDSEGMENT]", "[ENDMODELFILE]"}));
    EXPECT_EQ(e.message(false), message);
    EXPECT_EQ(e.line(), 4) << line;
  }
  const ZevrinError e = readError(lines({"[MODELFILE]", "[SEGMENT]", "[SEGMENT]", "[ENDSEGMENT]"}));
  EXPECT_EQ(e.message(false), "List index out of range (4)");
  EXPECT_EQ(e.line(), 2);  // the outer bone is the one left open
}

struct Recorder : DrawSurface {
  std::vector<std::string> calls;
  void add(const char* what, int a, int b, int c = -1) {
    calls.push_back(what + (" " + std::to_string(a)) + " " + std::to_string(b) +
                    (c < 0 ? "" : " " + std::to_string(c)));
  }
  void SetPenColor(Rgb c) override { add("pen", c.r, c.g, c.b); }
  void MoveTo(std::int32_t x, std::int32_t y) override { add("move", x, y); }
  void LineTo(std::int32_t x, std::int32_t y) override { add("line", x, y); }
  void TextOut(std::int32_t, std::int32_t, std::string_view, Rgb, std::int32_t) override {}
  void FillRect(std::int32_t, std::int32_t, std::int32_t, std::int32_t, Rgb) override {}
};

TEST_F(Bones, ChildBonesAreDrawnFirstEachInItsOwnColour) {
  auto root = read(lines({"[MODELFILE]", "[SEGMENT]", "BoneColor=255 0 0", "Pivot=1 2 3",
                          "End=4 5 6", "[SEGMENT]", "BoneColor=0 0 255", "End=1 1 1",
                          "[ENDSEGMENT]", "[ENDSEGMENT]", "[ENDMODELFILE]"}));
  Recorder rec;
  Mscreen view;
  view.SetCanvas(&rec, 200, 200);  // one pixel per unit, origin at (100, 100)
  root->Draw(view);
  EXPECT_EQ(rec.calls, (std::vector<std::string>{"pen 0 0 255", "move 100 100", "line 101 99",
                                                 "pen 255 0 0", "move 101 98", "line 104 95"}));
}

TEST(MirrorNames, EachRuleWithItsWord) {
  using Case = std::tuple<MirrorRule, const char*, const char*, const char*>;
  for (const auto& [rule, word, name, expected] : {
           Case{MirrorRule::Prefix, "left", "leftArm", "rightArm"},
           Case{MirrorRule::Prefix, "left", "LEFTarm", "rightarm"},
           Case{MirrorRule::Prefix, "left", "arm", "armmb"},
           Case{MirrorRule::Prefix, "", "arm", "rightarm"},
           Case{MirrorRule::Suffix, "left", "arm_left", "arm_right"},
           Case{MirrorRule::Suffix, "left", "lef", "lefmb"},
           Case{MirrorRule::Append, "left", "leftArm", "leftArmmb"},
           Case{MirrorRule::None, "left", "leftArm", "leftArmmb"},
       }) {
    EXPECT_EQ(MirrorName(name, MirrorSettings{rule, word, "right", "mb"}), expected)
        << static_cast<int>(rule) << " " << name;
  }
}

TEST_F(Bones, OnlyBonesStrictlyBeyondTheToleranceAreCopied) {
  using Case = std::tuple<double, double, double, bool>;  // pivot x, end x, tolerance, copied
  for (const auto& [pivot_x, end_x, tolerance, copied] :
       {Case{0, 0, 0, false}, Case{0, 0.5, 0, true}, Case{1, -1, 1, false},
        Case{-1.5, 0, 1, true}}) {
    M5segment b;
    b.Pivot.x = pivot_x;
    b.End.x = end_x;
    EXPECT_EQ(b.MirrorBone(tolerance, kDefaults) != nullptr, copied) << pivot_x << " " << end_x;
  }
}

TEST_F(Bones, CopiesLandBeforeTheLastBoneOrAtTheEndOfAnOnPlaneBone) {
  auto root = read(cat({{"[MODELFILE]", "[MODEL]"},
                        open("arm", 2),
                        open("hand", 3),
                        kEnd,
                        kEnd,
                        open("spine", 0),
                        open("c1", 1),
                        kEnd,
                        open("neck", 0),
                        open("head", 0),
                        kEnd,
                        kEnd,
                        open("c2", 1),
                        kEnd,
                        kEnd,
                        {"[ENDMODEL]", "[ENDMODELFILE]"}}));
  EXPECT_EQ(root->MirrorBone(0.5, kDefaults), nullptr);
  EXPECT_EQ(write(*root), cat({{"[MODELFILE]", "[MODEL]"},
                               open("arm", 2),
                               open("hand", 3),
                               kEnd,
                               kEnd,
                               open("armmb", -2),
                               open("handmb", -3),
                               kEnd,
                               kEnd,
                               open("spine", 0),
                               open("c1", 1),
                               kEnd,
                               open("neck", 0),
                               open("head", 0),
                               kEnd,
                               kEnd,
                               open("c2", 1),
                               kEnd,
                               open("c2mb", -1),
                               kEnd,
                               open("c1mb", -1),
                               kEnd,
                               kEnd,
                               {"[ENDMODEL]", "[ENDMODELFILE]"}}));

  // Copies are never copied again: a second run adds one more copy of each source.
  root->MirrorBone(0.5, kDefaults);
  const LineList twice = write(*root);
  EXPECT_EQ(std::count(twice.begin(), twice.end(), "Name=armmb"), 2);
  EXPECT_EQ(std::count(twice.begin(), twice.end(), "Name=c1mb"), 2);
  EXPECT_EQ(std::count(twice.begin(), twice.end(), "Name=armmbmb"), 0);
}

TEST_F(Bones, AfterHalvejoinOnlyCopiesOutsideSuppressedBonesAreSaved) {
  auto root = read(cat({{"[MODELFILE]"},
                        open("arm", 2),
                        open("hand", 3),
                        kEnd,
                        kEnd,
                        open("spine", 0),
                        open("c1", 1),
                        kEnd,
                        kEnd,
                        {"Keep=1", "[ENDMODELFILE]"}}));
  root->Halvejoin(0.5, step);
  EXPECT_EQ(write(*root), lines({"[MODELFILE]", "Keep=1", "[ENDMODELFILE]"}));
  root->MirrorBone(0.5, kDefaults);
  EXPECT_EQ(write(*root), cat({{"[MODELFILE]"},
                               open("armmb", -2),
                               open("handmb", -3),
                               kEnd,
                               kEnd,
                               {"Keep=1", "[ENDMODELFILE]"}}));
}

// `bones` bones nested in a file's root, each one unit off the plane.
LineList boneChain(int bones) {
  LineList l = {"[MODELFILE]"};
  for (int k = 0; k < bones; ++k) l.insert(l.end(), {"[SEGMENT]", "Pivot=1 0 0"});
  l.insert(l.end(), static_cast<std::size_t>(bones), "[ENDSEGMENT]");
  l.push_back("[ENDMODELFILE]");
  return l;
}

TEST_F(Bones, NestedToTheLimitTheyGoThroughEveryWalk) {
  const int bones = kMaxSectionDepth - 1;  // the root takes the first level
  const LineList file = boneChain(bones);
  auto root = read(file);
  EXPECT_EQ(write(*root), file);
  Recorder rec;
  Mscreen view;
  view.SetCanvas(&rec, 200, 200);
  root->Draw(view);
  EXPECT_EQ(rec.calls.size(), 3u * bones);
  root->MirrorBone(0.5, kDefaults);
  const LineList mirrored = write(*root);
  ASSERT_EQ(mirrored.size(), 2 * file.size() - 2);
  EXPECT_EQ(mirrored[2], "Pivot=-1 0 0");
  EXPECT_EQ(mirrored[3 * bones + 2], "Pivot=1 0 0");  // the source chain follows its copy
  root->Halvejoin(0.5, step);
  EXPECT_EQ(write(*root), lines({"[MODELFILE]", "[ENDMODELFILE]"}));
  root.reset();

  const ZevrinError e = readError(boneChain(bones + 1));
  EXPECT_EQ(e.kind(), ErrorKind::NestingTooDeep);
  EXPECT_EQ(e.line(), 2 * kMaxSectionDepth);  // the header of the bone one level too deep
}

}  // namespace
}  // namespace zevrin
