// The section tree: reading, writing back, the walks, and hostile nesting.
#include <gtest/gtest.h>

#include <typeinfo>

#include "mesh/AM5_mesh.h"
#include "model/AM5_group.h"
#include "model/AM5_model.h"
#include "model/AM5_segment.h"
#include "model/tree/AM5_nodata.h"
#include "model/tree/AM5_nosection.h"
#include "model/tree/AM5_super.h"
#include "tests/TestUtil.h"
#include "util/Errors.h"

namespace zevrin {
namespace {

using test::lines;

std::unique_ptr<M5amsuper> read(const LineList& l) {
  auto root = std::make_unique<M5amsuper>();
  test::Step step;
  root->ReadSection(l, 0, step);
  return root;
}

LineList write(M5amsuper& root) {
  LineList out;
  root.WriteSection(out);
  return out;
}

LineList roundTrip(std::string_view bytes) {
  auto root = read(SplitLines(bytes));
  return write(*root);
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

TEST(RoundTrip, UninterpretedSectionsComeBackAsTrimmedLines) {
  const LineList expected =
      lines({"[MODELFILE]", "ProductVersion=5.0", "", "[OBJECTS]", "[THING]", "Key=a b  c", "",
             "[MODEL]", "Name=m", "[ENDMODEL]", "[ENDTHING]", "[ENDOBJECTS]", "[ENDMODELFILE]"});
  // The same file with leading and trailing blanks, tabs and blank lines.
  const std::string body =
      "[MODELFILE]\n  ProductVersion=5.0\t\n   \n [OBJECTS]\n\t[THING]\nKey=a b  c   \n\n"
      "[MODEL]\nName=m\n[ENDMODEL]\n[ENDTHING]\n[ENDOBJECTS]\n[ENDMODELFILE]";
  for (const char* eol : {"\n", "\r\n", "\r"}) {
    std::string text;
    for (char c : body) {
      if (c == '\n')
        text += eol;
      else
        text += c;
    }
    EXPECT_EQ(roundTrip(text), expected) << "line end " << (eol[0] == '\r' ? "CR.." : "LF");
    EXPECT_EQ(roundTrip(text + eol), expected);
  }
}

TEST(RoundTrip, NothingAfterTheRootsEndLineSurvives) {
  EXPECT_EQ(roundTrip("[MODELFILE]\r\nA=1\r\n[ENDMODELFILE]\r\nTrailing=1\r\n[X]\r\n"),
            lines({"[MODELFILE]", "A=1", "[ENDMODELFILE]"}));
}

TEST(RoundTrip, LowerCaseHeadersKeepTheirCaseAndClassAndAcceptAnyEndCase) {
  auto root = read(lines({"[MODELFILE]", "  [mesh]", "Version=2", "[ENDMESH]", "[Segment]",
                          "[endsegment]", "[ENDMODELFILE]"}));
  ASSERT_EQ(root->Entries.size(), 2u);
  auto* mesh = root->Entries[0].Child.get();
  EXPECT_EQ(typeid(*mesh), typeid(M5mesh));
  EXPECT_EQ(mesh->Name, "mesh");
  EXPECT_EQ(typeid(*root->Entries[1].Child), typeid(M5segment));
  EXPECT_EQ(write(*root), lines({"[MODELFILE]", "[mesh]", "Version=2", "Splines=0", "[ENDmesh]",
                                 "[Segment]", "[ENDSegment]", "[ENDMODELFILE]"}));
}

TEST(RoundTrip, HeaderTableChoosesTheNodeClass) {
  const std::pair<const char*, const std::type_info*> table[] = {
      {"[MODELFILE]", &typeid(M5amsuper)}, {"[objects]", &typeid(M5amsuper)},
      {"[MODEL]", &typeid(M5model)},       {"[MESH]", &typeid(M5mesh)},
      {"[MATERIALS]", &typeid(M5nodata)},  {"[Patchs]", &typeid(M5nodata)},
      {"[ACTIONS]", &typeid(M5nodata)},    {"[CHOREOGRAPHIES]", &typeid(M5nodata)},
      {"[GROUP]", &typeid(M5group)},       {"[SEGMENT]", &typeid(M5segment)},
      {"[MODELS]", &typeid(M5nosection)},  {"[PATCHES]", &typeid(M5nosection)},
      {"[", &typeid(M5nosection)},
  };
  for (const auto& [header, type] : table) {
    auto node = ModelFileSections().Create(header);
    EXPECT_EQ(typeid(*node), *type) << header;
  }
  // The section tree alone knows its containers and data sections; the rest are kept as read.
  EXPECT_EQ(typeid(*SectionTable::TreeOnly().Create("[Objects]")), typeid(M5amsuper));
  EXPECT_EQ(typeid(*SectionTable::TreeOnly().Create("[materials]")), typeid(M5nodata));
  EXPECT_EQ(typeid(*SectionTable::TreeOnly().Create("[MESH]")), typeid(M5nosection));
}

TEST(RoundTrip, NameIsTheHeaderWithoutItsFirstAndLastByte) {
  // No check of the brackets: "[AB" names the section "A", closed by "[ENDA]".
  auto root = read(lines({"[MODELFILE]", "[AB", "x", "[ENDA]", "[]", "[END]", "[ENDMODELFILE]"}));
  ASSERT_EQ(root->Entries.size(), 2u);
  EXPECT_EQ(root->Entries[0].Child->Name, "A");
  EXPECT_EQ(root->Entries[1].Child->Name, "");
  EXPECT_EQ(write(*root),
            lines({"[MODELFILE]", "[A]", "x", "[ENDA]", "[]", "[END]", "[ENDMODELFILE]"}));
}

TEST(ReadErrors, MissingEndLineIsTheIndexErrorAtTheOpenSectionsHeader) {
  // The innermost open section is the MESH on line 3; the reader runs past line 5.
  const ZevrinError e = readError(lines({"[MODELFILE]", "[MODEL]", "[MESH]", "Version=2"}));
  EXPECT_EQ(e.kind(), ErrorKind::IndexOutOfRange);
  EXPECT_EQ(e.message(false), "List index out of range (4)");
  EXPECT_EQ(e.message(true), "リストのインデックスが範囲を超えています (4)");
  EXPECT_EQ(e.line(), 3);
}

TEST(ReadErrors, EmptyFileAndHeaderlessFile) {
  const ZevrinError empty = readError({});
  EXPECT_EQ(empty.message(false), "List index out of range (0)");
  // A first line that is no header still opens a section, whose end line never comes.
  EXPECT_EQ(readError(lines({"hello", "world"})).message(false), "List index out of range (2)");
}

TEST(ReadErrors, AStrayEndLineOpensASectionThatNeverCloses) {
  // "[ENDMESH]" opens a section closed only by "[ENDENDMESH]"; the end lines after it open
  // sections of their own, the last of which is the innermost when the lines run out.
  const ZevrinError e =
      readError(lines({"[MODELFILE]", "[GROUP]", "[ENDMESH]", "[ENDGROUP]", "[ENDMODELFILE]"}));
  EXPECT_EQ(e.kind(), ErrorKind::IndexOutOfRange);
  EXPECT_EQ(e.message(false), "List index out of range (5)");
  EXPECT_EQ(e.line(), 5);
}

TEST(ReadErrors, PartialTreeKeepsWhatWasReadAndIsDestroyedCleanly) {
  M5amsuper root;
  test::Step step;
  EXPECT_THROW(root.ReadSection(lines({"[MODELFILE]", "a", "[X]", "b", "[Y]"}), 0, step),
               ZevrinError);
  ASSERT_EQ(root.Entries.size(), 2u);
  EXPECT_EQ(root.Entries[0].Text, "a");
  ASSERT_TRUE(root.Entries[1].Child);
  EXPECT_EQ(root.Entries[1].Child->Entries.size(), 2u);
}

LineList nested(int depth) {
  LineList l;
  for (int k = 0; k < depth; ++k) l.push_back("[S]");
  l.push_back("x=1");
  for (int k = 0; k < depth; ++k) l.push_back("[ENDS]");
  return l;
}

TEST(ReadErrors, DeepNestingUpToTheLimitWorksInEveryWalk) {
  const LineList l = nested(kMaxSectionDepth);
  auto root = read(l);
  EXPECT_EQ(write(*root), l);
  Vec3 lo, hi;
  EXPECT_FALSE(root->GetBounds(lo, hi));
  test::Step step;
  root->AttachAll(step);
  root->DetachAll(step);
  root->ConnectGroupedSplines(step);
  root->Halvejoin(0.1, step);  // every nested section is suppressed
  EXPECT_EQ(write(*root), lines({"[S]", "[ENDS]"}));
}

TEST(ReadErrors, NestingBeyondTheLimitIsRefusedAtItsLine) {
  const ZevrinError e = readError(nested(kMaxSectionDepth + 1));
  EXPECT_EQ(e.kind(), ErrorKind::NestingTooDeep);
  EXPECT_EQ(e.line(), kMaxSectionDepth + 1);
  EXPECT_EQ(e.message(false),
            "Sections nested too deeply (at most " + std::to_string(kMaxSectionDepth) + " levels)");
}

TEST(Walks, HalvejoinDropsUninterpretedSectionsAndNestedSectionsOfDataSections) {
  auto root = read(lines({"[MODELFILE]", "[MATERIALS]", "Count=1", "[MATERIAL]", "Name=a",
                          "[ENDMATERIAL]", "Tail=1", "[ENDMATERIALS]", "[DECALS]", "[MESH]",
                          "[ENDMESH]", "[ENDDECALS]", "Keep=1", "[ENDMODELFILE]"}));
  const LineList before = write(*root);
  EXPECT_EQ(before.size(), 16u);  // the mesh writes its version and spline count
  test::Step step;
  root->Halvejoin(0.5, step);
  EXPECT_EQ(write(*root), lines({"[MODELFILE]", "[MATERIALS]", "Count=1", "Tail=1",
                                 "[ENDMATERIALS]", "Keep=1", "[ENDMODELFILE]"}));
}

TEST(Walks, BoundsAreZeroWithoutAModelAndAnyOtherIndexGives100) {
  auto root = read(lines({"[MODELFILE]", "[X]", "[ENDX]", "[ENDMODELFILE]"}));
  for (std::uint32_t i = 0; i < 6; ++i) EXPECT_EQ(root->GetBound(i), 0.0) << i;
  EXPECT_EQ(root->GetBound(6), 100.0);
  EXPECT_EQ(root->GetBound(0xffffffffu), 100.0);
}

TEST(Walks, MirrorBoneOfContainersWithoutBonesChangesNothing) {
  auto root = read(lines({"[MODELFILE]", "[MODEL]", "[ENDMODEL]", "[ENDMODELFILE]"}));
  EXPECT_EQ(root->MirrorBone(0.1, MirrorSettings{}), nullptr);
  EXPECT_EQ(write(*root).size(), 4u);
}

}  // namespace
}  // namespace zevrin
