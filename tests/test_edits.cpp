// The whole-model edits, checked on the saved lines: Halvejoin (with a golden file worked out
// by hand), Attach all, Detach all, Connect grouped splines, and the indexed edits against
// literal ones on random models.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "app/session/Document.h"
#include "mesh/AM5_cplist.h"
#include "mesh/AM5_mesh.h"
#include "model/AM5_group.h"
#include "model/AM5_model.h"
#include "model/tree/AM_const.h"
#include "tests/LiteralConnect.h"
#include "tests/LiteralPasses.h"
#include "tests/RandomSeamModels.h"
#include "tests/TestUtil.h"
#include "util/Errors.h"

namespace zevrin {
namespace {

namespace fs = std::filesystem;
using test::lines;

std::unique_ptr<M5amsuper> readDoc(const LineList& l) {
  auto root = std::make_unique<M5amsuper>();
  test::Step step;
  root->ReadSection(l, 0, step);
  return root;
}

LineList written(M5amsuper& node) {
  LineList out;
  node.WriteSection(out);
  return out;
}

// One model holding one mesh of the given splines (each a list of "flags attached id [t]",
// "x y z or target" pairs), plus extra model lines.
LineList model(const std::vector<std::vector<std::pair<std::string, std::string>>>& splines,
               const LineList& extra = {}) {
  LineList l{"[MODELFILE]", "[MODEL]"};
  l.insert(l.end(), extra.begin(), extra.end());
  l.push_back("[MESH]");
  for (const auto& s : splines) {
    l.push_back("CPs=" + std::to_string(s.size()));
    for (const auto& [first, second] : s) l.insert(l.end(), {first, second, "0", "0"});
  }
  l.insert(l.end(), {"[ENDMESH]", "[ENDMODEL]", "[ENDMODELFILE]"});
  return l;
}

M5model& modelOf(M5amsuper& root) { return dynamic_cast<M5model&>(*root.Entries.at(0).Child); }
M5mesh& meshOf(M5amsuper& root) { return *modelOf(root).Mesh; }

// The chains of the mesh as "id@x,y,z" per point, "+L" for a loop bit, "->t" when attached.
std::vector<std::string> chains(M5mesh& mesh) {
  std::vector<std::string> out;
  for (const auto& s : mesh.Splines) {
    std::string line;
    for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get()) {
      line += std::to_string(p->Id) + "@" + FloatToStr(p->PosX(0)) + "," + FloatToStr(p->PosY(0));
      if (p->IsAttached()) line += "->" + std::to_string(p->TargetId);
      if (p->HasLoopBit()) line += "+L";
      line += " ";
    }
    out.push_back(line);
  }
  return out;
}

class Edits : public test::InScratchDir {};

TEST_F(Edits, HalvejoinGoldenFileAndItReopensCleanly) {
  DocumentSession session;
  session.CurrentFile = std::string(ZEVRIN_TEST_DATA) + "/halvejoin_in.mdl";
  ASSERT_EQ(session.LoadDocument().Outcome, LoadOutcome::Loaded);
  EXPECT_EQ(session.Halvejoin(0.01).Memo,
            lines({"Number of cp=19+11->30", "Number of spline=6+1->7"}));
  session.SaveDocument(dir_ / "out.mdl");
  EXPECT_TRUE(test::matchesGolden(test::readBytes(dir_ / "out.mdl"),
                                  std::string(ZEVRIN_TEST_DATA) + "/halvejoin_expected.mdl"));
  DocumentSession again;
  again.CurrentFile = dir_ / "out.mdl";
  const StepResult reopened = again.LoadDocument();
  ASSERT_EQ(reopened.Outcome, LoadOutcome::Loaded);
  EXPECT_FALSE(reopened.AttachErrors);
}

TEST_F(Edits, HalvejoinShapesByPlaneKind) {
  // Kind 1 (first end on the plane): 2n - 1 points symmetric about it; kind 2 likewise about
  // the last; kind 3: a loop of 2n - 2; kind 0: a reversed twin at the end of the mesh; a
  // spline wholly on the plane stays as it is.
  auto root = readDoc(model({{{"0 0 1", "0 0 0"}, {"0 0 2", "1 1 0"}, {"0 0 3", "2 2 0"}},
                             {{"0 0 4", "2 3 0"}, {"0 0 5", "0 3 0"}},
                             {{"0 0 6", "0 4 0"}, {"0 0 7", "1 4 0"}, {"0 0 8", "0 5 0"}},
                             {{"0 0 9", "1 6 0"}, {"4 0 10", "2 6 0"}},
                             {{"0 0 11", "0 7 0"}, {"0 0 12", "0 8 0"}}}));
  test::Step step;
  root->Halvejoin(0, step);
  EXPECT_EQ(chains(meshOf(*root)),
            lines({"15@-2,2 14@-1,1 1@0,0 2@1,1 3@2,2 ", "4@2,3 5@0,3 16@-2,3 ",
                   "6@0,4 7@1,4 8@0,5 19@-1,4+L ", "9@1,6 10@2,6+L ", "11@0,7 12@0,8 ",
                   "22@-2,6 21@-1,6+L "}));
  EXPECT_EQ(step.Report.Before, (MeshCounts{12, 5}));
  EXPECT_EQ(step.Report.After, (MeshCounts{18, 6}));  // 12 points, 6 copies
}

TEST_F(Edits, HalvejoinToleranceIsStrict) {
  // |X| below the tolerance snaps; equal does not; zero and negative snap nothing.
  for (const auto& [tolerance, expected] :
       std::vector<std::pair<double, std::string>>{{0.5, "4@-1,0 1@0,0 2@1,0 "},
                                                   {0.4, "1@0.4,0 2@1,0 "},
                                                   {0, "1@0.4,0 2@1,0 "},
                                                   {-1, "1@0.4,0 2@1,0 "}}) {
    auto root = readDoc(model({{{"0 0 1", "0.4 0 0"}, {"0 0 2", "1 0 0"}}}));
    test::Step step;
    root->Halvejoin(tolerance, step);
    EXPECT_EQ(chains(meshOf(*root)).front(), expected) << tolerance;
  }
}

TEST_F(Edits, HalvejoinHookedTwoPointLoopAndEmptyMesh) {
  // Both ends on the plane and a hook: nothing to copy, but the loop bit is set.
  auto root = readDoc(model({{{"128 0 1", "0 0 0"}, {"0 0 2", "0 1 0"}}}));
  test::Step step;
  root->Halvejoin(0, step);
  EXPECT_EQ(chains(meshOf(*root)), lines({"1@0,0 2@0,1+L "}));
  // A mesh without splines reports no counts: the memo keeps the ones it had.
  auto empty = readDoc(model({}));
  test::Step nothing;
  empty->Halvejoin(0, nothing);
  EXPECT_FALSE(nothing.Report.Before);
  EXPECT_FALSE(nothing.Report.After);
}

TEST_F(Edits, HalvejoinRebuildsTheBoundsLineSymmetric) {
  auto root = readDoc(lines({"[MODELFILE]", "[MODEL]",
                             "Bounds=4 5 6 4 5 -3 4 -2 -3 4 -2 6 -1 5 6 -1 5 -3 -1 -2 -3 -1 -2 6",
                             "[GROUP]", "Name=g", "Count=0", "[ENDGROUP]", "[SEGMENT]", "Name=b",
                             "[ENDSEGMENT]", "[ENDMODEL]", "[ENDMODELFILE]"}));
  test::Step step;
  root->Halvejoin(0.1, step);
  EXPECT_EQ(written(*root),
            lines({"[MODELFILE]", "[MODEL]",
                   "Bounds=4 5 6 4 5 -3 4 -2 -3 4 -2 6 -4 5 6 -4 5 -3 -4 -2 -3 -4 -2 6 ",
                   "[ENDMODEL]", "[ENDMODELFILE]"}));
  EXPECT_EQ(root->GetBound(0), -4);
  EXPECT_EQ(root->GetBound(5), 6);
}

TEST_F(Edits, FailedEditsLeaveTheDocumentAsItWas) {
  DocumentSession session;
  // 21 numbers are enough to read the box, not to rebuild it.
  test::writeBytes(
      dir_ / "short.mdl",
      test::crlf(model({{{"0 0 1", "1 0 0"}, {"0 0 2", "2 0 0"}}},
                       {"Bounds=1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21"})));
  session.CurrentFile = dir_ / "short.mdl";
  ASSERT_EQ(session.LoadDocument().Outcome, LoadOutcome::Loaded);
  const LineList before = written(*session.Document);
  try {
    session.Halvejoin(0.1);
    ADD_FAILURE() << "no error";
  } catch (const ZevrinError& e) {
    EXPECT_EQ(e.message(false), "'' is not a number");
    EXPECT_EQ(e.line(), 3);
  }
  EXPECT_EQ(written(*session.Document), before);

  test::writeBytes(
      dir_ / "group.mdl",
      test::crlf(lines({"[MODELFILE]", "[MODEL]",    "[MESH]",     "CPs=2",
                        "0 0 1",       "0 0 0",      "0",          "0",
                        "0 0 2",       "1 0 0",      "0",          "0",
                        "CPs=2",       "0 0 3",      "1 0 0",      "0",
                        "0",           "0 0 4",      "2 0 0",      "0",
                        "0",           "[ENDMESH]",  "[GROUP]",    "Name=g",
                        "Count=4",     "1",          "2",          "3",
                        "four",        "[ENDGROUP]", "[ENDMODEL]", "[ENDMODELFILE]"})));
  session.CurrentFile = dir_ / "group.mdl";
  ASSERT_EQ(session.LoadDocument().Outcome, LoadOutcome::Loaded);
  const LineList grouped = written(*session.Document);
  EXPECT_THROW(session.ConnectGroupedSplines(), ZevrinError);
  EXPECT_EQ(written(*session.Document), grouped);
}

TEST_F(Edits, AttachAllAndDetachAll) {
  auto root =
      readDoc(model({{{"0 0 7", "1 2 3"}, {"0 0 3", "1 2 3"}, {"0 0 5", "1 2 3.0000000001"}},
                     {{"0 1 9", "5"}, {"0 0 8", "1 2 3.0000000001"}, {"0 0 4", "1 2 3"}}}));
  const auto records = [&] {
    LineList l = written(meshOf(*root));
    return LineList(l.begin() + 3, l.end() - 1);
  };
  test::Step step;
  root->AttachAll(step);
  const LineList once = records();
  EXPECT_EQ(once, lines({"CPs=3",
                         "0 0 7",
                         "1 2 3",
                         "0",
                         "0",
                         "0 1 3",
                         "7",
                         "0",
                         "0",
                         "0 0 5",
                         "1 2 3.0000000001",
                         "0",
                         "0",
                         "CPs=3",
                         "0 1 9",
                         "5",
                         "0",
                         "0",
                         "0 1 8",
                         "5",
                         "0",
                         "0",
                         "0 1 4",
                         "3",
                         "0",
                         "0"}));
  root->AttachAll(step);
  EXPECT_EQ(records(), once);
  root->DetachAll(step);
  EXPECT_EQ(records(), lines({"CPs=3",
                              "0 0 7",
                              "1 2 3",
                              "0",
                              "0",
                              "0 0 3",
                              "1 2 3",
                              "0",
                              "0",
                              "0 0 5",
                              "1 2 3.0000000001",
                              "0",
                              "0",
                              "CPs=3",
                              "0 0 9",
                              "1 2 3.0000000001",
                              "0",
                              "0",
                              "0 0 8",
                              "1 2 3.0000000001",
                              "0",
                              "0",
                              "0 0 4",
                              "1 2 3",
                              "0",
                              "0"}));
}

// Two-point splines; groups of ids.
LineList connectModel(const std::vector<std::array<std::string, 4>>& splines,
                      const std::vector<LineList>& groups) {
  LineList l{"[MODELFILE]", "[MODEL]", "[MESH]"};
  for (const auto& [id1, p1, id2, p2] : splines)
    l.insert(l.end(), {"CPs=2", "0 0 " + id1, p1, "0", "0", "0 0 " + id2, p2, "0", "0"});
  l.push_back("[ENDMESH]");
  for (const LineList& g : groups) {
    l.insert(l.end(), {"[GROUP]", "Name=g", "Count=" + std::to_string(g.size())});
    l.insert(l.end(), g.begin(), g.end());
    l.push_back("[ENDGROUP]");
  }
  l.insert(l.end(), {"[ENDMODEL]", "[ENDMODELFILE]"});
  return l;
}

TEST_F(Edits, ConnectJoinsGroupedSplinesAtExactEnds) {
  // 1-2, 3-4, 5-6 form a path through (1,0) and (2,0); 7-8 touches only with one id in the
  // group; 9-10 ends near but not on (3,0).
  auto root = readDoc(connectModel({{"1", "0 0 0", "2", "1 0 0"},
                                    {"3", "1 0 0", "4", "2 0 0"},
                                    {"5", "3 0 0", "6", "2 0 0"},
                                    {"7", "3 0 0", "8", "9 9 9"},
                                    {"9", "3.0000001 0 0", "10", "4 0 0"}},
                                   {lines({"1", "2", "3", "4", "5", "6", "7", "9", "10"})}));
  test::Step step;
  root->ConnectGroupedSplines(step);
  EXPECT_EQ(chains(meshOf(*root)),
            lines({"1@0,0 2@1,0 4@2,0 5@3,0 ", "7@3,0->5 8@9,9 ", "9@3.0000001,0 10@4,0 "}));
  EXPECT_TRUE(modelOf(*root).Groups.empty());
  EXPECT_EQ(written(modelOf(*root)).end()[-2], "[ENDMESH]");  // no GROUP written
  for (const auto& s : meshOf(*root).Splines)                 // bit 0 only on the grown spline
    EXPECT_EQ((s->FirstCp->Flags & 1) != 0, s->FirstCp->Id == 1);
}

TEST_F(Edits, ConnectWithoutGroupsChangesNothing) {
  DocumentSession session;
  test::writeBytes(dir_ / "a.mdl", test::crlf(connectModel({{"1", "0 0 0", "2", "1 0 0"}}, {})));
  session.CurrentFile = dir_ / "a.mdl";
  ASSERT_EQ(session.LoadDocument().Outcome, LoadOutcome::Loaded);
  EXPECT_EQ(session.ConnectGroupedSplines().Memo,
            lines({"Number of cp=2->2", "Number of spline=1->1"}));
}

// ---- indexed edits against literal ones on random models ----

// The plain Halvejoin with the product's correction rules.
void literalHalvejoin(M5mesh& mesh, double tolerance) {
  int shared = 0;
  seam::literalHalvejoin(
      mesh, tolerance,
      [](literal::Items& items, const std::vector<Mattach_correct>& records) {
        literal::literalGuardedCorrections(items, records);
      },
      &shared);
}

LineList randomHalfModel(std::uint32_t seed, bool groups) {
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  static const char* kX[] = {"0", "0.001", "1", "2", "-0"};
  LineList l{"[MODELFILE]", "[MODEL]", "[MESH]"};
  int id = 0;
  const int spline_count = 1 + pick(8);
  for (int s = 0; s < spline_count; ++s) {
    const int n = 1 + pick(5);
    l.push_back("CPs=" + std::to_string(n));
    for (int k = 0; k < n; ++k) {
      ++id;
      std::uint32_t flags = 0;
      if (pick(5) == 0) flags |= 0x80;
      if (pick(5) == 0) flags |= 0x10;
      if (pick(8) == 0) flags |= 0x4;
      const bool attached = pick(4) == 0 && id > 1;
      std::string first = std::to_string(flags) + (attached ? " 1 " : " 0 ") + std::to_string(id);
      if (flags & 0x10) first += pick(2) ? " 0.25" : " 0";
      l.push_back(first);
      l.push_back(attached ? std::to_string(1 + pick(id + 2))
                           : std::string(kX[pick(5)]) + " " + std::to_string(pick(3)) + " " +
                                 std::to_string(pick(2)));
      l.insert(l.end(), {"0", "0"});
    }
  }
  l.push_back("[ENDMESH]");
  if (groups) {
    for (int g = 0; g < 1 + pick(3); ++g) {
      const int count = 1 + pick(id);
      l.insert(l.end(), {"[GROUP]", "Name=g", "Count=" + std::to_string(count)});
      for (int k = 0; k < count; ++k) l.push_back(std::to_string(1 + pick(id)));
      l.push_back("[ENDGROUP]");
    }
  }
  l.insert(l.end(), {"[ENDMODEL]", "[ENDMODELFILE]"});
  return l;
}

// Short splines between a few positions, so that ends meet often, and groups naming most ids
// in random order, some twice.
LineList randomConnectModel(std::uint32_t seed) {
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  LineList l{"[MODELFILE]", "[MODEL]", "[MESH]"};
  int id = 0;
  for (int s = 0, n = 2 + pick(12); s < n; ++s) {
    const int points = pick(10) == 0 ? 0 : 2 + pick(2);
    l.push_back("CPs=" + std::to_string(points));
    for (int k = 0; k < points; ++k) {
      ++id;
      l.insert(l.end(), {"0 0 " + std::to_string(id),
                         std::to_string(pick(2)) + " " + std::to_string(pick(3)) + " 0", "0", "0"});
    }
  }
  l.push_back("[ENDMESH]");
  for (int g = 0, n = 1 + pick(3); g < n && id > 0; ++g) {
    std::vector<int> ids;
    for (int k = 1; k <= id; ++k)
      if (pick(5) != 0) ids.push_back(k);
    if (pick(4) == 0 && !ids.empty())
      ids.push_back(ids[static_cast<std::size_t>(pick(static_cast<int>(ids.size())))]);
    std::shuffle(ids.begin(), ids.end(), rng);
    l.insert(l.end(), {"[GROUP]", "Name=g", "Count=" + std::to_string(ids.size())});
    for (int v : ids) l.push_back(std::to_string(v));
    l.push_back("[ENDGROUP]");
  }
  l.insert(l.end(), {"[ENDMODEL]", "[ENDMODELFILE]"});
  return l;
}

TEST_F(Edits, IndexedHalvejoinAndConnectEqualLiteralOnRandomModels) {
  std::size_t joins = 0;
  for (std::uint32_t seed = 1; seed <= 1500; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const LineList half = randomHalfModel(seed, false);
    auto fast = readDoc(half);
    auto slow = readDoc(half);
    test::Step step;
    meshOf(*fast).Halvejoin(0.01, step);
    literalHalvejoin(meshOf(*slow), 0.01);
    ASSERT_EQ(written(meshOf(*fast)), written(meshOf(*slow)));
    ASSERT_EQ(chains(meshOf(*fast)), chains(meshOf(*slow)));

    const LineList grouped = seed % 2 ? randomHalfModel(seed, true) : randomConnectModel(seed);
    auto a = readDoc(grouped);
    auto b = readDoc(grouped);
    const std::size_t splines_before = meshOf(*a).Splines.size();
    modelOf(*a).ConnectGroupedSplines(step);
    joins += splines_before - meshOf(*a).Splines.size();
    literal::literalConnect(modelOf(*b));
    ASSERT_EQ(written(*a), written(*b));
    ASSERT_EQ(chains(meshOf(*a)), chains(meshOf(*b)));
  }
  EXPECT_GT(joins, 1000u);  // the random models do exercise the joining
}

}  // namespace
}  // namespace zevrin
