// Halvejoin on seams welded by hand: no output holds a point attached to itself, a ring of
// attachments, or (for plain points) an attachment naming no point, where the input held
// none. The saved bytes of small files, the guards of the correction step one by one, and
// random welded half models against the plain reading.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/session/Document.h"
#include "mesh/AM5_cplist.h"
#include "mesh/AM5_mesh.h"
#include "model/AM5_model.h"
#include "model/tree/AM_const.h"
#include "tests/LiteralPasses.h"
#include "tests/RandomSeamModels.h"
#include "tests/TestUtil.h"

namespace zevrin {
namespace {

namespace fs = std::filesystem;
using test::lines;

std::unique_ptr<M5amsuper> readDoc(const LineList& l) {
  auto root = std::make_unique<M5amsuper>();
  root->ReadSection(l, 0, test::Step()());
  return root;
}

M5model& modelOf(M5amsuper& root) { return dynamic_cast<M5model&>(*root.Entries.at(0).Child); }

// The mesh of a file whose MESH stands in a MODEL section or straight in the file.
M5mesh& meshIn(M5amsuper& root) {
  if (auto* mesh = dynamic_cast<M5mesh*>(root.Entries.at(0).Child.get())) return *mesh;
  return *modelOf(root).Mesh;
}

LineList written(M5amsuper& node) {
  LineList out;
  node.WriteSection(out);
  return out;
}

std::string joined(const LineList& l, const char* eol) {
  std::string out;
  for (const auto& line : l) out += line + eol;
  return out;
}

// Two crossing three-point splines, mirrored as twins; the inner point 2 is welded to the
// inner point 5 on the plane, or 5 to 2.
LineList crossing(bool two_on_five) {
  return lines({"[MODELFILE]",
                "[MESH]",
                "CPs=3",
                "0 0 1",
                "1 0 0",
                "0",
                "0",
                two_on_five ? "0 1 2" : "0 0 2",
                two_on_five ? "5" : "0 1 0",
                "0",
                "0",
                "0 0 3",
                "1 2 0",
                "0",
                "0",
                "CPs=3",
                "0 0 4",
                "1 0 1",
                "0",
                "0",
                two_on_five ? "0 0 5" : "0 1 5",
                two_on_five ? "0 1 0" : "2",
                "0",
                "0",
                "0 0 6",
                "1 2 1",
                "0",
                "0",
                "[ENDMESH]",
                "[ENDMODELFILE]"});
}

class Seams : public test::InScratchDir {
 protected:
  // Opens `text` from a file, Halvejoins it and returns the saved bytes.
  std::string halvejoined(const std::string& text, double tolerance) {
    test::writeBytes(dir_ / "in.mdl", text);
    DocumentSession session;
    session.CurrentFile = dir_ / "in.mdl";
    EXPECT_EQ(session.LoadDocument().Outcome, LoadOutcome::Loaded);
    attach_errors_ = session.Halvejoin(tolerance).AttachErrors.has_value();
    session.SaveDocument(dir_ / "out.mdl");
    return test::readBytes(dir_ / "out.mdl");
  }
  bool attach_errors_ = false;  // the last Halvejoin left a point without a target
};

TEST_F(Seams, AnEarlierSeamPointAttachedToALaterOneStaysOnTheSeam) {
  // The text would attach 8 (the copy of 2) to the end of the chain hanging off 2, which is
  // 8 itself. 8 already hangs on that chain (8 -> 11 -> 2 -> 5), so it stays where it is.
  const std::string expected = test::crlf(lines({"[MODELFILE]", "[MESH]",
                                                 "Version=2",   "Splines=4",
                                                 "CPs=3",       "0 0 1",
                                                 "1 0 0",       "0",
                                                 "0",           "0 1 2",
                                                 "5",           "0",
                                                 "0",           "0 0 3",
                                                 "1 2 0",       "0",
                                                 "0",           "CPs=3",
                                                 "0 0 4",       "1 0 1",
                                                 "0",           "0",
                                                 "0 0 5",       "0 1 0",
                                                 "0",           "0",
                                                 "0 0 6",       "1 2 1",
                                                 "0",           "0",
                                                 "CPs=3",       "0 0 12",
                                                 "-1 2 1",      "0",
                                                 "0",           "0 1 11",
                                                 "2",           "0",
                                                 "0",           "0 0 10",
                                                 "-1 0 1",      "0",
                                                 "0",           "CPs=3",
                                                 "0 0 9",       "-1 2 0",
                                                 "0",           "0",
                                                 "0 1 8",       "11",
                                                 "0",           "0",
                                                 "0 0 7",       "-1 0 0",
                                                 "0",           "0",
                                                 "[ENDMESH]",   "[ENDMODELFILE]"}));
  for (const char* eol : {"\n", "\r\n"}) {
    for (const double tolerance : {0.0, 0.01}) {
      SCOPED_TRACE(std::string(eol == std::string("\n") ? "LF" : "CR LF") + " tolerance " +
                   std::to_string(tolerance));
      EXPECT_EQ(halvejoined(joined(crossing(true), eol), tolerance), expected);
      EXPECT_FALSE(attach_errors_);
      // Given coordinates of their own, the seam points all stand on the seam.
      DocumentSession session;
      session.CurrentFile = dir_ / "out.mdl";
      ASSERT_EQ(session.LoadDocument().Outcome, LoadOutcome::Loaded);
      session.DetachAll();
      const LineList after = written(*session.Document);
      for (const char* id : {"0 0 2", "0 0 5", "0 0 8", "0 0 11"}) {
        const auto at = std::find(after.begin(), after.end(), id);
        ASSERT_NE(at, after.end()) << id;
        EXPECT_EQ(at[1], "0 1 0") << id;
      }
    }
  }
}

TEST_F(Seams, TheLaterSeamPointAttachedToTheEarlierGivesTheTextsOutput) {
  // 5 attached to 2: no record meets its own chain, and the output is the plain reading's.
  for (const double tolerance : {0.0, 0.01}) {
    auto plain = readDoc(crossing(false));
    seam::literalHalvejoin(meshIn(*plain), tolerance, literal::literalCorrections);
    EXPECT_EQ(halvejoined(test::crlf(crossing(false)), tolerance), test::crlf(written(*plain)));
    EXPECT_FALSE(attach_errors_);
  }
}

TEST_F(Seams, AHookedPointHungOnItsOwnPredecessorIsNotMadeItsOwnTarget) {
  // 3 hangs on the hook 2, whose segment runs to 3 itself. The twin's first rule moves the
  // hook to 7 (the copy of 3) and asks for the first point hung on 6 to be hung on 7: that is
  // 7, which would become its own target. The record changes nothing.
  const LineList half = lines(
      {"[MODELFILE]", "[MESH]", "CPs=4", "0 0 1", "1 0 0",       "0",         "0",
       "128 0 2",     "2 0 0",  "0",     "0",     "16 1 3 0.25", "2",         "0",
       "0",           "0 0 4",  "3 1 0", "0",     "0",           "[ENDMESH]", "[ENDMODELFILE]"});
  auto text = readDoc(half);
  seam::literalHalvejoin(meshIn(*text), 0, literal::literalCorrections);
  EXPECT_EQ(seam::faultsOf(meshIn(*text).Splines).self, 1);

  const std::string saved = halvejoined(test::crlf(half), 0);
  EXPECT_FALSE(attach_errors_);
  const LineList out = SplitLines(saved);
  const LineList twin(std::find(out.begin(), out.end(), "CPs=4") + 17, out.end() - 2);
  EXPECT_EQ(twin, lines({"CPs=4", "0 0 8", "-3 1 0", "0", "0", "2147483664 1 7 0.25", "6", "0", "0",
                         "0 0 6", "-2 0 0", "0", "0", "0 0 5", "-1 0 0", "0", "0"}));
}

TEST_F(Seams, EachGuardOfTheCorrectionsChangesNothing) {
  const auto point = [](M5spline& s, std::int32_t id, std::int32_t target = 0, double t = 0) {
    s.AddCpAt(id, {});
    if (target) s.LastCp->AttachTo(target);
    s.LastCp->HookParam = t;
    return s.LastCp;
  };
  {  // an attach record whose point already hangs on the chain of NewId
    M5spline s;
    point(s, 3);
    M5cp* four = point(s, 4, 3);
    M5cp* thirty = point(s, 30, 4);
    point(s, 31, 30);
    M5cplist list;
    list.Items = {s.FirstCp.get(), four, thirty, s.LastCp};
    list.ApplyCorrections({{30, 3, false, true}}, test::Step()());
    EXPECT_EQ(thirty->TargetId, 4);
    // Off the chain it joins the chain's end, as the text says.
    thirty->ClearAttachment();
    list.ApplyCorrections({{30, 3, false, true}}, test::Step()());
    EXPECT_EQ(thirty->AttachTargetId(), 4);
  }
  {  // a retarget onto the point itself, or around a ring: nothing moves, nothing flips
    M5spline s;
    M5cp* five = point(s, 5, 0);
    M5cp* eight = point(s, 8, 5, 0.25);
    M5cp* nine = point(s, 9, 8);
    M5cplist list;
    list.Items = {five, eight, nine};
    list.ApplyCorrections({{5, 8, true, false}, {5, 9, true, false}, {5, 9, false, false}},
                          test::Step()());
    EXPECT_EQ(eight->TargetId, 5);
    EXPECT_EQ(eight->HookParam, 0.25);
    EXPECT_EQ(nine->TargetId, 8);
    list.ApplyCorrections({{5, 1, true, false}},
                          test::Step()());  // a sound one goes ahead, all of it
    EXPECT_EQ(eight->TargetId, 1);
    EXPECT_EQ(eight->HookParam, 0.75);
    EXPECT_EQ(nine->TargetId, 5);
  }
  {  // a hook record whose re-pointing of the chain would close a ring: the whole record.
     // 20 is not attached (as after Detach all), so the text retargets it all the same.
    M5spline s;
    M5cp* twenty = point(s, 20, 0, 0.25);
    twenty->TargetId = 5;
    M5cp* twenty_one = point(s, 21, 20);
    M5cp* five = point(s, 5, 21);
    M5cplist list;
    list.Items = {twenty, twenty_one, five};
    list.ApplyCorrections({{5, 8, true, false}}, test::Step()());
    EXPECT_EQ(twenty->TargetId, 5);
    EXPECT_EQ(twenty->HookParam, 0.25);
    EXPECT_FALSE(twenty->HookParamFlipped);
    EXPECT_EQ(twenty_one->TargetId, 20);
  }
}

TEST_F(Seams, CopiesOfPointsWeldedToUncopiedPointsShareThem) {
  // Copies (ids + 10) attached to 13 and 14, which name nothing: 3 and 4 were not copied.
  M5spline s;
  const auto copy = [&](std::int32_t id, std::int32_t target, double t, bool mirrored) {
    s.AddCpAt(id, {});
    s.LastCp->AttachTo(target);
    s.LastCp->HookParam = t;
    s.LastCp->Mirrored = mirrored;
    return s.LastCp;
  };
  s.AddCpAt(3, {});
  s.AddCpAt(4, {});
  M5cp* plain = copy(11, 13, 0, true);
  M5cp* hung = copy(12, 14, 0.5, true);    // hung on a hook: which segment is not its to say
  M5cp* original = copy(5, 13, 0, false);  // not a copy
  M5cp* present = copy(16, 11, 0, true);   // names a point
  M5cp* around = copy(17, 27, 0, true);    // 7 hangs on 17: attaching 17 to 7 closes a ring
  copy(7, 17, 0, false);
  M5cplist list;
  s.FirstCp->AppendChainTo(list.Items);
  list.ShareUncopiedTargets(10);
  EXPECT_EQ(plain->TargetId, 3);
  EXPECT_EQ(hung->TargetId, 14);
  EXPECT_EQ(original->TargetId, 13);
  EXPECT_EQ(present->TargetId, 11);
  EXPECT_EQ(around->TargetId, 27);
}

TEST_F(Seams, RandomWeldedHalfModelsAgainstThePlainReading) {
  // Seeds of hand-welded models, alone and after each other edit: no self-attachment or ring
  // ever; every position the plain reading gives where it made no ring is kept; a copy hung
  // on a hook is the only point left naming nothing; and the indexed edit gives the bytes of
  // the plain reading with the same guards.
  test::Step step;
  int guarded = 0, shared = 0;
  for (std::uint32_t seed = 1; seed <= 150; ++seed) {
    for (const seam::Size size : {seam::Size::kSmall, seam::Size::kMedium}) {
      for (int before = 0; before < 4; ++before) {
        const LineList half = seam::randomSeamModel(seed, size, before == 3);
        for (const double tolerance : {0.0, 0.01}) {
          SCOPED_TRACE("seed " + std::to_string(seed) + " size " + std::to_string(int(size)) +
                       " edit " + std::to_string(before) + " tolerance " +
                       std::to_string(tolerance));
          std::unique_ptr<M5amsuper> docs[3];
          for (auto& d : docs) {
            d = readDoc(half);
            if (before == 1) d->DetachAll(step);
            if (before == 2) d->AttachAll(step);
            if (before == 3) d->ConnectGroupedSplines(step);
          }
          ASSERT_FALSE(seam::faultsOf(modelOf(*docs[0]).Mesh->Splines).any());
          docs[0]->Halvejoin(tolerance, step);
          seam::literalHalvejoin(*modelOf(*docs[1]).Mesh, tolerance, literal::literalCorrections);
          seam::literalHalvejoin(
              *modelOf(*docs[2]).Mesh, tolerance,
              [](literal::Items& items, const std::vector<Mattach_correct>& records) {
                literal::literalGuardedCorrections(items, records);
              },
              &shared);
          auto& fast = modelOf(*docs[0]).Mesh->Splines;
          auto& text = modelOf(*docs[1]).Mesh->Splines;
          const seam::Faults f = seam::faultsOf(fast);
          EXPECT_EQ(f.self + f.ring, 0);
          M5cplist list(fast);
          for (const M5cp* p : list.Items) {
            if (p->Attached == 1 && !p->Target) {
              EXPECT_TRUE(p->Mirrored && p->HookParam != 0);
            }
          }
          const seam::Faults t = seam::faultsOf(text);
          if (t.self + t.ring == 0) {
            const auto a = seam::resolvedPositions(fast), b = seam::resolvedPositions(text);
            ASSERT_EQ(a.size(), b.size());
            for (std::size_t i = 0; i < b.size(); ++i) {
              if (b[i] != "-") {
                EXPECT_EQ(a[i], b[i]);
              }
            }
          } else {
            ++guarded;
          }
          ASSERT_EQ(written(*docs[0]), written(*docs[2]));
        }
      }
    }
  }
  EXPECT_GT(guarded, 300);  // the models do meet the guards
  EXPECT_GT(shared, 300);
}

}  // namespace
}  // namespace zevrin
