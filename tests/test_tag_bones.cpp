// Mirror bone on tag files: the copies' exact lines (mirrored ends and rotation, the new name,
// the lists of the points across the plane), their nesting and order, what is left out, and
// on real rigs with one side removed, that the copies give that side back.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

#include "app/session/Document.h"
#include "mesh/PositionResolver.h"
#include "mesh/TagMesh.h"
#include "model/AM5_segment.h"
#include "model/TagModel.h"
#include "tests/TestUtil.h"
#include "util/Errors.h"

namespace zevrin {
namespace {

using test::bufferOf;
using test::crlf;
using test::readBytes;

const std::string kTagDir = std::string(ZEVRIN_TEST_DATA) + "/tag";
const MirrorSettings kLeftToRight{MirrorRule::Prefix, "Left", "Right", "mb"};

void openBytes(DocumentSession& session, const std::string& bytes) {
  ASSERT_EQ(session.LoadDocumentBytes("bones.mdl", bufferOf(bytes)).Outcome, LoadOutcome::Loaded);
}

std::string saved(const M5amsuper& root) {
  std::string out;
  const ByteSink sink = [&](const char* d, std::size_t n) {
    out.append(d, n);
    return true;
  };
  TextWriter writer(sink);
  const_cast<M5amsuper&>(root).Write(writer);
  writer.Finish();
  return out;
}

// The lines from "<BONES>" to "</BONES>" of a saved file.
std::string bonesOf(const std::string& file) {
  const std::size_t begin = file.find("<BONES>\r\n");
  const std::string close = "</BONES>\r\n";
  const std::size_t end = file.find(close);
  if (begin == std::string::npos || end == std::string::npos) return {};
  return file.substr(begin, end + close.size() - begin);
}

// A small model: points on the plane, pairs across it (two of them shared by an attached point
// each), a point without a partner, one with a partner 0.005 away; bones on the plane, off it,
// with lists of both kinds, settings, a null below a bone, bones below a null.
const std::vector<std::string> kMesh = {"<MODELFILE>",
                                        "ProductVersion=17",
                                        "<OBJECTS>",
                                        "<MODEL>",
                                        "<MESH>",
                                        "<SPLINE>",
                                        "1 0 1 0 0 0 . .",
                                        "1 0 2 1 0 0 . .",
                                        "1 0 3 -1 0 0 . .",
                                        "1 0 4 2 1 0 . .",
                                        "1 0 5 -2 1 0 . .",
                                        "1 1 8 4 . .",
                                        "1 1 7 5 . .",
                                        "1 0 6 3 0 0 . .",
                                        "</SPLINE>",
                                        "<SPLINE>",
                                        "1 0 9 -3 -1 0 . .",
                                        "1 0 10 3 -1 0 . .",
                                        "1 0 11 4 2 0 . .",
                                        "1 0 12 -4 2 0 . .",
                                        "1 0 13 5.005 0 0 . .",
                                        "1 0 14 -5 0 0 . .",
                                        "</SPLINE>",
                                        "</MESH>"};
const std::vector<std::string> kSpineToArm = {"<BONES>",    "<SEGMENT>",
                                              "Name=Spine", "BoneColor=255 255 255 255",
                                              "End=0 10 0", "Rotate=-0.707107 0 0 0.707107",
                                              "Length=10"};
const std::vector<std::string> kLeftArm = {"<SEGMENT>",
                                           "Name=Left Arm",
                                           "<NONSKINNEDCPS>",
                                           "2",
                                           "4",
                                           "8",
                                           "6",
                                           "1",
                                           "99",
                                           "x",
                                           "</NONSKINNEDCPS>",
                                           "BoneColor=255 0 0 255",
                                           "Hidden=TRUE",
                                           "Start=1 10 0",
                                           "End=5 10 -0.5",
                                           "Rotate=0.1 0.2 -0.3 0.927362",
                                           "Length=4.03113",
                                           "<LimitManipulators>",
                                           "Value=TRUE",
                                           "AllowXTranslate=FALSE",
                                           "</LimitManipulators>",
                                           "<NULLOBJECT>",
                                           "Name=Left Target",
                                           "Start=5 0 0",
                                           "End=5 0 1",
                                           "</NULLOBJECT>",
                                           "<SEGMENT>",
                                           "Name=Left Hand",
                                           "<WEIGHTEDCPS>",
                                           "11 0.75",
                                           "13 0.5",
                                           "</WEIGHTEDCPS>",
                                           "End=7 10 -0.5",
                                           "Rotate=0 -0.707107 0 0.707107",
                                           "Length=2",
                                           "Chained=TRUE",
                                           "</SEGMENT>",
                                           "</SEGMENT>"};
const std::vector<std::string> kLegs = {"</SEGMENT>",
                                        "<SEGMENT>",
                                        "Name=Left Leg",
                                        "<NONSKINNEDCPS>",
                                        "10",
                                        "</NONSKINNEDCPS>",
                                        "BoneColor=0 0 255 255",
                                        "Start=0.5 0 0",
                                        "End=0.5 -10 0",
                                        "Rotate=0.707107 0 0 0.707107",
                                        "Length=10",
                                        "</SEGMENT>"};
const std::vector<std::string> kRightLeg = {
    "<SEGMENT>",      "Name=Right Leg", "<NONSKINNEDCPS>", "9",         "</NONSKINNEDCPS>",
    "Start=-0.5 0 0", "End=-0.5 -10 0", "Length=10",       "</SEGMENT>"};
const std::vector<std::string> kBalance = {"<NULLOBJECT>",  "Name=Balance",     "<SEGMENT>",
                                           "Name=Left Toe", "Start=0.01 -10 0", "End=0.02 -10 2",
                                           "Length=2",      "</SEGMENT>"};
const std::vector<std::string> kHeelToEnd = {"<SEGMENT>",       "Name=Heel", "Start=0 -10 0",
                                             "End=0.01 -10 -1", "Length=1",  "</SEGMENT>",
                                             "</NULLOBJECT>",   "</BONES>"};
const std::vector<std::string> kEnd = {"</MODEL>", "</OBJECTS>", "</MODELFILE>"};

std::vector<std::string> joined(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

std::string smallModel() {
  return crlf(joined({kMesh, kSpineToArm, kLeftArm, kLegs, kRightLeg, kBalance, kHeelToEnd, kEnd}));
}

std::int32_t copiesIn(const M5amsuper& root) {
  std::int32_t n = 0;
  WalkTree(root, [&](const M5amsuper& node) {
    if (const auto* b = dynamic_cast<const TagBone*>(&node); b && b->MirroredCopy) ++n;
    return WalkOn::Into;
  });
  return n;
}

TEST(TagBones, ACopyIsItsSourceMirroredListingThePartnersOfItsPoints) {
  DocumentSession session;
  openBytes(session, smallModel());
  session.Shared.Mirror = kLeftToRight;
  const StepResult r = session.MirrorBone(0.01);

  // Copies of child bones nest in the copy (appended, last child first), or in the bone on the
  // plane; a container's copies go before its last bone. "Heel" lies within the tolerance, so
  // do the unmoved points 1 (on the plane), 6 (no partner) and 99 (no point); "x" is no id.
  // Points 4 and 8 share a place, and so do their partners 5 and 7. The legs' partners are
  // each other's: a point another bone moves is not taken.
  const std::vector<std::string> right_arm = {"<SEGMENT>",
                                              "Name=Right Arm",
                                              "<NONSKINNEDCPS>",
                                              "3",
                                              "5",
                                              "7",
                                              "</NONSKINNEDCPS>",
                                              "BoneColor=255 0 0 255",
                                              "Hidden=TRUE",
                                              "Start=-1 10 0",
                                              "End=-5 10 -0.5",
                                              "Rotate=0.1 -0.2 0.3 0.927362",
                                              "Length=4.03113",
                                              "<LimitManipulators>",
                                              "Value=TRUE",
                                              "AllowXTranslate=FALSE",
                                              "</LimitManipulators>",
                                              "<SEGMENT>",
                                              "Name=Right Hand",
                                              "<WEIGHTEDCPS>",
                                              "12 0.75",
                                              "14 0.5",
                                              "</WEIGHTEDCPS>",
                                              "End=-7 10 -0.5",
                                              "Rotate=0 0.707107 0 0.707107",
                                              "Length=2",
                                              "Chained=TRUE",
                                              "</SEGMENT>",
                                              "</SEGMENT>"};
  const std::vector<std::string> leg_copies = {
      "<SEGMENT>",      "Name=Right Legmb", "Start=0.5 0 0",
      "End=0.5 -10 0",  "Length=10",        "</SEGMENT>",
      "<SEGMENT>",      "Name=Right Leg",   "BoneColor=0 0 255 255",
      "Start=-0.5 0 0", "End=-0.5 -10 0",   "Rotate=0.707107 0 0 0.707107",
      "Length=10",      "</SEGMENT>"};
  const std::vector<std::string> right_toe = {"<SEGMENT>",         "Name=Right Toe",
                                              "Start=-0.01 -10 0", "End=-0.02 -10 2",
                                              "Length=2",          "</SEGMENT>"};
  const std::string expected =
      bonesOf(crlf(joined({kSpineToArm, kLeftArm, right_arm, kLegs, leg_copies, kRightLeg, kBalance,
                           right_toe, kHeelToEnd})));
  const std::string after = saved(*session.Document);
  EXPECT_EQ(bonesOf(after), expected);
  EXPECT_EQ(after.substr(0, after.find("<BONES>")), crlf(kMesh));

  EXPECT_EQ(r.BonesCopied, 5);
  ASSERT_TRUE(r.BonePoints);
  EXPECT_EQ(r.BonePoints->Carried, 5);
  EXPECT_EQ(r.BonePoints->LeftOut, 6);
  EXPECT_EQ(r.BonePointsLine, "Number of cp given to copied bones=5 (left out=6)");

  // The saved file opens again as it was saved.
  DocumentSession again;
  openBytes(again, after);
  EXPECT_EQ(saved(*again.Document), after);

  // A second run copies the sources again, never the copies: their points are the first
  // copies' now, but weights do not hold a point.
  const auto undo = session.Document->Clone();
  const StepResult second = session.MirrorBone(0.01);
  EXPECT_EQ(second.BonesCopied, 5);
  EXPECT_EQ(copiesIn(*session.Document), 10);
  ASSERT_TRUE(second.BonePoints);
  EXPECT_EQ(second.BonePoints->Carried, 2);
  EXPECT_EQ(second.BonePoints->LeftOut, 9);
  // The undo's copy knows its copies too.
  Progress quiet;
  MirrorTagBones(dynamic_cast<TagFile&>(*undo), 0.01, kLeftToRight, quiet);
  EXPECT_EQ(saved(*undo), saved(*session.Document));
}

TEST(TagBones, TheToleranceDecidesWhichBonesAndPointsAreCopied) {
  struct Case {
    double tolerance;
    std::int32_t bones, carried, left_out;
  };
  // 0: "Heel" and "Left Toe" copied too, point 13 without a partner (5.005 against 5); 5: only
  // the hand reaches beyond, and of its points only 13; 10: no bone; -1: every bone, and no
  // point is within the tolerance of any.
  for (const Case c : {Case{0, 6, 4, 7}, Case{5, 1, 1, 1}, Case{10, 0, 0, 0}, Case{-1, 7, 0, 11}}) {
    SCOPED_TRACE(c.tolerance);
    DocumentSession session;
    openBytes(session, smallModel());
    const StepResult r = session.MirrorBone(c.tolerance);
    EXPECT_EQ(r.BonesCopied, c.bones);
    ASSERT_TRUE(r.BonePoints);
    EXPECT_EQ(r.BonePoints->Carried, c.carried);
    EXPECT_EQ(r.BonePoints->LeftOut, c.left_out);
  }
  // A bracketed file's memo stays as it was.
  DocumentSession bracketed;
  bracketed.CurrentFile = std::string(ZEVRIN_EXAMPLES) + "/half_box.mdl";
  ASSERT_EQ(bracketed.LoadDocument().Outcome, LoadOutcome::Loaded);
  const StepResult r = bracketed.MirrorBone(0.01);
  EXPECT_FALSE(r.BonePoints);
  EXPECT_FALSE(r.BonePointsLine);
}

TEST(TagBones, BadInputFailsBeforeAnythingChangesOrIsLeftOut) {
  // A rotation that is no quaternion: the error at its line, the file as it was.
  std::string bad = smallModel();
  const std::string turn = "Rotate=0.1 0.2 -0.3 0.927362";
  bad.replace(bad.find(turn), turn.size(), "Rotate=0.1 0.2");
  DocumentSession session;
  openBytes(session, bad);
  try {
    session.MirrorBone(0.01);
    ADD_FAILURE() << "no error";
  } catch (const ZevrinError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::NotReal);
    EXPECT_EQ(e.line(),
              1 + std::count(bad.begin(), bad.begin() + bad.find("Rotate=0.1 0.2"), '\n'));
  }
  EXPECT_EQ(saved(*session.Document), bad);
  EXPECT_EQ(copiesIn(*session.Document), 0);

  // A stopped edit changes nothing either.
  DocumentSession stopped;
  openBytes(stopped, smallModel());
  std::atomic<bool> stop{true};
  Progress bars(nullptr, nullptr, &stop);
  try {
    MirrorTagBones(dynamic_cast<TagFile&>(*stopped.Document), 0.01, kLeftToRight, bars);
    ADD_FAILURE() << "not stopped";
  } catch (const ZevrinError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::Cancelled);
  }
  EXPECT_EQ(saved(*stopped.Document), smallModel());

  // Bones nested as deep as a file may nest them, outside any model, listing no point of
  // any mesh: every bone copied, each copy in its source's copy, without recursion.
  constexpr int kDepth = 3000;
  std::string deep = "<MODELFILE>\r\n<BONES>\r\n";
  for (int k = 0; k < kDepth; ++k)
    deep += "<SEGMENT>\r\nName=b\r\nEnd=1 0 0\r\n<NONSKINNEDCPS>\r\n7\r\n</NONSKINNEDCPS>\r\n";
  for (int k = 0; k < kDepth; ++k) deep += "</SEGMENT>\r\n";
  deep += "</BONES>\r\n</MODELFILE>\r\n";
  DocumentSession nested;
  openBytes(nested, deep);
  nested.Shared.Mirror = kLeftToRight;
  const StepResult r = nested.MirrorBone(0.01);
  EXPECT_EQ(r.BonesCopied, kDepth);
  EXPECT_EQ(r.BonePoints->Carried, 0);
  EXPECT_EQ(r.BonePoints->LeftOut, kDepth);
  const std::string out = saved(*nested.Document);
  EXPECT_EQ(out.substr(0, 66),
            "<MODELFILE>\r\n<BONES>\r\n<SEGMENT>\r\nName=bmb\r\nEnd=-1 0 0\r\n<SEGMENT>\r\n");
  EXPECT_EQ(
      out.size(),
      deep.size() +
          kDepth * std::string("<SEGMENT>\r\nName=bmb\r\nEnd=-1 0 0\r\n</SEGMENT>\r\n").size());
}

// ---------------------------------------------------------------------------------------------
// Real rigs: each file's "Right" bones removed, its "Left" bones mirrored give them back.

struct Bone {
  const TagBone* node;
  std::vector<std::int32_t> moved;     // NONSKINNEDCPS
  std::vector<std::int32_t> weighted;  // WEIGHTEDCPS
};

struct RigModel {
  std::map<std::int32_t, Vec3> at;  // the mesh's points by id
  std::vector<Bone> bones;
};

std::vector<RigModel> rigsOf(const M5amsuper& root) {
  std::vector<RigModel> models;
  WalkTree(root, [&](const M5amsuper& node) {
    if (const auto* m = dynamic_cast<const TagModel*>(&node)) {
      models.emplace_back();
      if (m->Mesh) {
        PositionResolver resolver;
        for (const auto& s : m->Mesh->Splines)
          for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get())
            models.back().at.emplace(p->Id, resolver.Pos(*p, 0));
      }
    }
    const auto* bone = dynamic_cast<const TagBone*>(&node);
    if (!bone || models.empty()) return WalkOn::Into;
    Bone b{bone, {}, {}};
    for (const Entry& e : bone->Entries) {
      if (!e.Child || (e.Child->Name != "NONSKINNEDCPS" && e.Child->Name != "WEIGHTEDCPS"))
        continue;
      auto& list = e.Child->Name == "NONSKINNEDCPS" ? b.moved : b.weighted;
      for (const Entry& line : e.Child->Entries)
        TagSection::ForEachItem(line, [&](std::string_view text, std::int32_t) {
          list.push_back(StrToInt(text.substr(0, text.find(' '))));
        });
    }
    models.back().bones.push_back(b);
    return WalkOn::Into;
  });
  return models;
}

// The quaternion x y z w of a bone's "Rotate=" turns +Z onto its axis.
bool turnsOntoItsAxis(const TagBone& b) {
  const auto rotate = b.Value("Rotate");
  if (!rotate) return false;
  double q[4];
  std::string_view rest = *rotate;
  for (double& v : q) {
    const std::size_t space = rest.find(' ');
    v = StrToFloat(rest.substr(0, space));
    rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
  }
  const auto [x, y, z, w] = q;
  const Vec3 turned{2 * (x * z + w * y), 2 * (y * z - w * x), 1 - 2 * (x * x + y * y)};
  const Vec3 axis{b.End.x - b.Start.x, b.End.y - b.Start.y, b.End.z - b.Start.z};
  const double len = std::sqrt(axis.x * axis.x + axis.y * axis.y + axis.z * axis.z);
  if (!(len > 0)) return false;
  return std::fabs(turned.x - axis.x / len) < 2e-3 && std::fabs(turned.y - axis.y / len) < 2e-3 &&
         std::fabs(turned.z - axis.z / len) < 2e-3;
}

void removeRightBones(M5amsuper& root) {
  std::vector<M5amsuper*> pending{&root};
  while (!pending.empty()) {
    M5amsuper* node = pending.back();
    pending.pop_back();
    std::erase_if(node->Entries, [](const Entry& e) {
      const auto* b = dynamic_cast<const TagBone*>(e.Child.get());
      return b && b->BoneName.rfind("Right ", 0) == 0;
    });
    for (Entry& e : node->Entries)
      if (e.Child) pending.push_back(e.Child.get());
  }
}

// Mirrors the left side of `file`'s rig back onto the right: the copies' lists name points of
// their own model's mesh, each the partner of a source point in the source's order, none taken
// from another bone or listed twice, and they give back at least `agreement` of the removed
// bones' points. Their rotations turn +Z onto their axes as their sources' do.
void checkRightSideRestored(const std::string& file, double tolerance, double agreement) {
  SCOPED_TRACE(file);
  const std::string bytes = readBytes(kTagDir + "/" + file);
  DocumentSession original;
  openBytes(original, bytes);
  DocumentSession session;
  openBytes(session, bytes);
  removeRightBones(*session.Document);
  session.Shared.Mirror = kLeftToRight;
  const StepResult r = session.MirrorBone(tolerance);
  ASSERT_GT(r.BonesCopied, 10);
  ASSERT_TRUE(r.BonePoints);

  const std::vector<RigModel> before = rigsOf(*original.Document);
  const std::vector<RigModel> after = rigsOf(*session.Document);
  ASSERT_EQ(before.size(), after.size());
  std::int32_t carried = 0, given_back = 0, removed = 0, turns = 0;
  for (std::size_t m = 0; m < after.size(); ++m) {
    const RigModel& model = after[m];
    std::map<std::string, const Bone*> source_of;
    std::multiset<std::int32_t> moved_by_any;
    for (const Bone& b : model.bones) {
      if (!b.node->MirroredCopy) source_of[MirrorName(b.node->BoneName, kLeftToRight)] = &b;
      moved_by_any.insert(b.moved.begin(), b.moved.end());
    }
    for (const Bone& copy : model.bones) {
      if (!copy.node->MirroredCopy) continue;
      SCOPED_TRACE(copy.node->BoneName);
      const Bone* source = source_of.at(copy.node->BoneName);
      if (turnsOntoItsAxis(*source->node)) {
        EXPECT_TRUE(turnsOntoItsAxis(*copy.node));
        ++turns;
      }
      for (const auto& [from, to] :
           {std::pair{&source->moved, &copy.moved}, std::pair{&source->weighted, &copy.weighted}}) {
        EXPECT_EQ(std::set<std::int32_t>(to->begin(), to->end()).size(), to->size());
        std::size_t k = 0;
        for (const std::int32_t id : *from) {
          if (k == to->size()) break;
          const Vec3 p = model.at.at(id);
          const auto q = model.at.find((*to)[k]);
          ASSERT_NE(q, model.at.end()) << (*to)[k];
          const double dx = q->second.x + p.x, dy = q->second.y - p.y, dz = q->second.z - p.z;
          if (std::sqrt(dx * dx + dy * dy + dz * dz) <= tolerance) ++k;
        }
        EXPECT_EQ(k, to->size()) << "a point that is no source's partner, or out of order";
        carried += static_cast<std::int32_t>(to->size());
      }
      for (const std::int32_t id : copy.moved) EXPECT_EQ(moved_by_any.count(id), 1u) << id;
    }
    // What the removed bones moved, and what their copies move now.
    std::map<std::string, std::set<std::int32_t>> now;
    for (const Bone& b : model.bones)
      if (b.node->MirroredCopy) now[b.node->BoneName].insert(b.moved.begin(), b.moved.end());
    for (const Bone& b : before[m].bones) {
      if (b.node->BoneName.rfind("Right ", 0) != 0) continue;
      removed += static_cast<std::int32_t>(b.moved.size());
      for (const std::int32_t id : b.moved) given_back += now[b.node->BoneName].count(id);
    }
  }
  EXPECT_EQ(carried, r.BonePoints->Carried);
  EXPECT_GT(turns, 10);
  EXPECT_GT(removed, 300);
  EXPECT_GE(given_back, agreement * removed) << given_back << " of " << removed;
  // The edited file opens again and saves back byte for byte.
  std::string out;
  ASSERT_TRUE(session.WriteDocument([&](const char* d, std::size_t n) {
    out.append(d, n);
    return true;
  }));
  DocumentSession again;
  openBytes(again, out);
  EXPECT_EQ(saved(*again.Document), out);
}

TEST(TagBones, MirroringTheLeftSideOfARealRigGivesBackItsRightSide) {
  checkRightSideRestored("Thom2.mdl", 0.05, 0.99);
  // Two models whose point ids overlap: each bone's points are its own model's.
  checkRightSideRestored("KeeKat2.mdl", 0.05, 0.85);
}

}  // namespace
}  // namespace zevrin
