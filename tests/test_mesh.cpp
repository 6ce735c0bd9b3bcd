// Control points, splines, meshes, groups and the model node, checked on the lines they write
// back and on what they draw.
#include <gtest/gtest.h>

#include <cfloat>
#include <filesystem>

#include "mesh/AM5_cplist.h"
#include "mesh/AM5_mesh.h"
#include "model/AM5_group.h"
#include "model/AM5_model.h"
#include "model/tree/AM_const.h"
#include "tests/RecordingSurface.h"
#include "tests/TestUtil.h"
#include "util/Errors.h"
#include "view/M_scr.h"

namespace zevrin {
namespace {

using test::lines;
namespace fs = std::filesystem;

// The lines read as a document; the step's report goes to `report` when given.
std::unique_ptr<M5amsuper> readDoc(const LineList& body, StepReport* report = nullptr,
                                   bool debug_dump = false) {
  auto root = std::make_unique<M5amsuper>();
  test::Step step;
  step.DebugDump = debug_dump;
  root->ReadSection(body, 0, step);
  if (report) *report = std::move(step.Report);
  return root;
}

// The lines of the attach error file a report asks for, as written; empty for none.
std::string attachErrors(const StepReport& report) {
  return report.AttachErrors ? test::crlf(report.AttachErrors->Lines()) : std::string();
}

LineList meshDoc(const LineList& mesh_lines) {
  LineList l{"[MODELFILE]", "[MODEL]", "[MESH]"};
  l.insert(l.end(), mesh_lines.begin(), mesh_lines.end());
  l.insert(l.end(), {"[ENDMESH]", "[ENDMODEL]", "[ENDMODELFILE]"});
  return l;
}

M5model& modelOf(M5amsuper& root) { return dynamic_cast<M5model&>(*root.Entries.at(0).Child); }
M5mesh& meshOf(M5amsuper& root) { return *modelOf(root).Mesh; }

LineList written(M5amsuper& node) {
  LineList out;
  node.WriteSection(out);
  return out;
}

ZevrinError errorOf(const LineList& l) {
  try {
    readDoc(l);
  } catch (const ZevrinError& e) {
    return e;
  }
  ADD_FAILURE() << "no error";
  return ZevrinError(ErrorKind::RangeCheck, "");
}

using InScratch = test::InScratchDir;

using Records = InScratch;

TEST_F(Records, ReadAndWriteBackExactly) {
  const LineList body = {"Version=3",
                         "Splines=1",
                         "CPs=5",
                         "16 0 7 0.25",
                         "1.5 -2 3",
                         "0",
                         "0",
                         "0 1 9",
                         "4",
                         "0",
                         "0",
                         "2147483648 0 4",
                         "0.0001 1E-5 -0",
                         "0 0 0",
                         "5",
                         "4096 0 5",
                         "1 2 3",
                         "0.5 0.25 1",
                         "1 1 1",
                         "4 0 6 0.5 9",
                         "0 0 0",
                         "0",
                         "0"};
  StepReport report;
  auto root = readDoc(meshDoc(body), &report);
  const LineList expected = {"[MESH]",
                             "Version=3",
                             "Splines=1",
                             "CPs=5",
                             "16 0 7 0.25",
                             "1.5 -2 3",
                             "0",
                             "0",
                             "0 1 9",
                             "4",
                             "0",
                             "0",
                             "2147483648 0 4",
                             "0.0001 1E-5 0",
                             "0 0 0",
                             "0",
                             "4096 0 5 0",
                             "1 2 3",
                             "0.5 0.25 1",
                             "1 1 1",
                             "4 0 6",
                             "0 0 0",
                             "0",
                             "0",
                             "[ENDMESH]"};
  EXPECT_EQ(written(meshOf(*root)), expected);
  const M5cp& hooked = *meshOf(*root).SplineAt(0)->FirstCp;
  EXPECT_EQ(hooked.Flags, 16u);
  EXPECT_EQ(hooked.Id, 7);
  EXPECT_EQ(hooked.HookParam, 0.25);
  EXPECT_TRUE(hooked.InBiasDefault);
  EXPECT_EQ(report.After, (MeshCounts{5, 1}));
}

// Earlier versions wrote the largest doubles as 1.79769313486232E308, a text past the range
// of a double: such a file opens, and what is saved from it opens again unchanged.
TEST_F(Records, CoordinatesAtTheEndsOfTheRangeSurviveSaving) {
  const LineList body = {"Version=3",
                         "Splines=1",
                         "CPs=1",
                         "0 0 1",
                         "1.79769313486232E308 -1.79769313486232E308 4.94065645841247E-324",
                         "0",
                         "0"};
  auto root = readDoc(meshDoc(body));
  const M5cp& cp = *meshOf(*root).SplineAt(0)->FirstCp;
  EXPECT_EQ(cp.X, DBL_MAX);
  EXPECT_EQ(cp.Y, -DBL_MAX);
  EXPECT_EQ(cp.Z, DBL_TRUE_MIN);
  const LineList saved = written(meshOf(*root));
  ASSERT_EQ(saved.size(), 9u);
  EXPECT_EQ(saved[5], "1.79769313486231E308 -1.79769313486231E308 4.94065645841247E-324");
  const LineList again(saved.begin() + 1, saved.end() - 1);
  EXPECT_EQ(written(meshOf(*readDoc(meshDoc(again)))), saved);
}

TEST_F(Records, MalformedRecordsNameTheirLine) {
  struct Case {
    LineList body;
    std::string message;
    std::int32_t line;  // 1-based in the document; the mesh starts on line 4
  };
  const Case cases[] = {
      {{"CPs=1", "-1 0 1", "0 0 0", "0", "0"}, "Range check error", 5},
      {{"CPs=1", "4294967296 0 1", "0 0 0", "0", "0"}, "Range check error", 5},
      {{"CPs=1", "0 0 x", "0 0 0", "0", "0"}, "'x' is not an integer", 5},
      {{"CPs=1", "0 0 1", "0 0", "0", "0"}, "'' is not a number", 6},
      {{"CPs=1", "0 0 1", "0 0 nan", "0", "0"}, "'nan' is not a number", 6},
      {{"CPs=1", "0 0 1", "0 0 0", "1 2", "0"}, "'' is not a number", 7},
      {{"CPs=x"}, "'x' is not an integer", 4},
      // A huge count with three lines after it fails at the missing fourth, naming the block.
      {{"CPs=2147483647", "0 0 1", "0 0 0", "0"}, "List index out of range (4)", 4},
  };
  for (const Case& c : cases) {
    const ZevrinError e = errorOf(meshDoc(c.body));
    EXPECT_EQ(e.message(false), c.message) << c.body[1 % c.body.size()];
    EXPECT_EQ(e.line(), c.line) << c.message;
  }
  EXPECT_EQ(errorOf(meshDoc({"CPs=1", "-1 0 1", "0 0 0", "0", "0"})).message(true),
            "範囲チェックエラー");
}

TEST_F(Records, MeshKeysAndLayout) {
  // No version line: "2"; keys in any case; the spline count is what was read; other lines
  // are dropped; "CPs=0" is an empty spline.
  auto root =
      readDoc(meshDoc({"splines=7", "Junk=1", "cps=0", "CPS=1", "0 0 1", "1 2 3", "0", "0"}));
  EXPECT_EQ(written(meshOf(*root)), lines({"[MESH]", "Version=2", "Splines=2", "CPs=0", "CPs=1",
                                           "0 0 1", "1 2 3", "0", "0", "[ENDMESH]"}));
  auto empty = readDoc(meshDoc({}));
  EXPECT_EQ(written(meshOf(*empty)), lines({"[MESH]", "Version=2", "Splines=0", "[ENDMESH]"}));
}

// Builds points by hand for the position rules.
std::unique_ptr<M5cp> point(std::int32_t id, double x, std::uint32_t flags = 0) {
  auto p = std::make_unique<M5cp>();
  p->InitAt(id, {x, 0, 0});
  p->Flags = flags;
  return p;
}

using Positions = InScratch;

TEST_F(Positions, AttachChainsHooksAndBrokenTargets) {
  M5spline s;
  s.AppendCp(point(1, 4));        // plain, X 4
  s.AppendCp(point(2, 0));        // attached to 1
  s.AppendCp(point(3, 0));        // attached to 2
  s.AppendCp(point(4, 0, 0x80));  // a hook at 0.25, its next is 5
  s.AppendCp(point(5, 8));
  s.AppendCp(point(6, 7));  // attached to 4, hook parameter 0.25, no hook bits
  s.AppendCp(point(7, 9));  // attached to a missing point
  M5cp* p2 = s.FirstCp->Next.get();
  M5cp* p3 = p2->Next.get();
  M5cp* hook = p3->Next.get();
  M5cp* p6 = hook->Next->Next.get();
  M5cp* p7 = p6->Next.get();
  p2->AttachTo(1);
  p3->AttachTo(2);
  hook->HookParam = 0.25;
  p6->AttachTo(4);
  p6->HookParam = 0.25;
  p7->AttachTo(99);
  M5cplist list;
  s.FirstCp->AppendChainTo(list.Items);
  test::Step step;
  list.ResolveAttachments(step);
  EXPECT_EQ(p3->PosX(0), 4);
  EXPECT_EQ(hook->PosX(0.25), 2);
  EXPECT_EQ(p6->PosX(p6->HookParam), 2);
  EXPECT_EQ(p7->PosX(0), 9);  // no target: its own coordinates
  ASSERT_TRUE(step.Report.AttachErrors);
  EXPECT_EQ(step.Report.AttachErrors->Problems,
            (std::vector<AttachProblem>{{7, 99, AttachProblemKind::NoSuchPoint}}));
}

TEST_F(Positions, RingsOfAttachmentsKeepOwnCoordinatesAndAreReported) {
  // Point 1 attached to itself; 2 -> 3 -> 2 a ring; 4 hangs on the ring.
  StepReport report;
  auto root =
      readDoc(meshDoc({"CPs=5", "0 1 1", "1", "0", "0", "0 1 2", "3", "0", "0", "0 1 3", "2", "0",
                       "0",     "0 1 4", "3", "0", "0", "0 1 5", "6", "0", "0"}),
              &report);
  M5mesh& mesh = meshOf(*root);
  for (const M5cp* p = mesh.SplineAt(0)->FirstCp.get(); p; p = p->Next.get())
    EXPECT_EQ(p->PosX(0), 0);
  EXPECT_EQ(attachErrors(report),
            test::crlf({"アタッチ先が無い", "num_of_cp=5", "cpid=1 at_cpid=1", "cpid=2 at_cpid=3",
                        "cpid=3 at_cpid=2", "cpid=5 at_cpid=6"}));
  using Kind = AttachProblemKind;
  EXPECT_EQ(
      report.AttachErrors->Problems,
      (std::vector<AttachProblem>{
          {1, 1, Kind::Ring}, {2, 3, Kind::Ring}, {3, 2, Kind::Ring}, {5, 6, Kind::NoSuchPoint}}));
  // Drawing and saving finish too.
  test::RecordingSurface surface;
  Mscreen view;
  view.SetCanvas(&surface, 100, 100);
  root->Draw(view);
  EXPECT_EQ(written(mesh).size(), 25u);
}

TEST(Points, SmallEditsOfThePoint) {
  auto p = point(3, 0.39);
  p->HookParam = 0.25;
  p->FlipHookParamOnce();
  p->FlipHookParamOnce();
  EXPECT_EQ(p->HookParam, 0.75);
  p->SnapX(0.4);
  EXPECT_EQ(p->X, 0);
  auto q = point(4, -0.4);
  q->SnapX(0.4);
  EXPECT_EQ(q->X, -0.4);
  q->SetHookBitHigh();
  EXPECT_EQ(q->Flags, 0x80000000u);
  q->AddGroupName("beta");
  q->AddGroupName("Alpha");
  q->AddGroupName("BETA");
  q->AddGroupName("_x");
  EXPECT_EQ(q->GroupNames, (std::vector<std::string>{"Alpha", "beta", "_x"}));
  EXPECT_TRUE(q->HasGroupName("ALPHA"));
  EXPECT_EQ(q->FirstGroupName(), "Alpha");
}

TEST(Points, MirrorCopiesLoopBitAndDump) {
  M5spline s;
  for (int id = 1; id <= 4; ++id) s.AppendCp(point(id, id));
  M5cp* third = s.FirstCp->Next->Next.get();
  third->AttachTo(5);
  s.FirstCp->Next->AttachTo(0);  // a broken attachment stays broken in the copy
  std::vector<std::unique_ptr<M5cp>> copies;
  s.FirstCp->MirrorCopyChain(copies, 3, 10);
  ASSERT_EQ(copies.size(), 2u);
  EXPECT_EQ(copies[0]->Id, 12);
  EXPECT_EQ(copies[0]->TargetId, 0);
  EXPECT_EQ(copies[1]->Id, 13);
  EXPECT_EQ(copies[1]->TargetId, 15);
  EXPECT_EQ(copies[1]->X, -3);
  EXPECT_TRUE(copies[1]->Mirrored);
  std::vector<std::unique_ptr<M5cp>> overflow;
  s.FirstCp->Id = INT32_MAX;
  EXPECT_THROW(s.FirstCp->MirrorCopyChain(overflow, 0, 1), ZevrinError);

  s.FirstCp->SetLoopBit();
  s.FirstCp->MoveLoopBitToEnd(false);
  EXPECT_FALSE(s.FirstCp->HasLoopBit());
  EXPECT_TRUE(s.LastCp->HasLoopBit());

  auto d = point(5, 1.5);
  d->Y = 2;
  EXPECT_EQ(d->DumpLine(true), "cpid=5     cptype=00000000  x=1.5 y=2 z=0");
  d->AttachTo(1234567);
  EXPECT_EQ(d->DumpLine(false), "cpid=5     at_cpid=123456 Invalid");
}

TEST(Splines, ReverseJoinAndEnds) {
  M5spline a;
  a.AddCpAt(1, {0, 0, 0});
  a.AddCpAt(2, {1, 0, 0});
  a.AddCpAt(3, {2, 0, 0});
  a.LastCp->SetLoopBit();
  a.ReverseSpline();
  EXPECT_EQ(a.FirstCp->Id, 3);
  EXPECT_TRUE(a.FirstCp->HasLoopBit());  // flags stay on their point
  EXPECT_EQ(a.LastCp->Id, 1);
  EXPECT_EQ(a.LastCp->Prev->Id, 2);
  EXPECT_EQ(a.PlaneEnds(), 2);
  EXPECT_EQ(a.OtherEndId(3), 1);
  EXPECT_TRUE(a.HasEndId(1));
  EXPECT_FALSE(a.HasEndId(2));

  M5spline b;  // 1 -> 5 -> 6, its first point coincides with a's last
  b.AddCpAt(1, {0, 0, 0});
  b.AddCpAt(5, {0, 1, 0});
  b.AddCpAt(6, {0, 2, 0});
  EXPECT_FALSE(a.SameEnds(b));
  a.AppendSpline(b);
  EXPECT_EQ(a.NumCps, 5);
  EXPECT_EQ(b.NumCps, 0);
  EXPECT_EQ(b.FirstCp, nullptr);
  std::vector<std::int32_t> ids;
  for (const M5cp* p = a.FirstCp.get(); p; p = p->Next.get()) ids.push_back(p->Id);
  EXPECT_EQ(ids, (std::vector<std::int32_t>{3, 2, 1, 5, 6}));
  EXPECT_EQ(a.LastCp->Prev->Prev->Id, 1);

  M5spline c;  // 9 -> 3: its last point coincides with a's first
  c.AddCpAt(9, {5, 5, 5});
  c.AddCpAt(3, {2, 0, 0});
  a.PrependSpline(c);
  EXPECT_EQ(a.NumCps, 6);
  EXPECT_EQ(a.FirstCp->Id, 9);
  EXPECT_EQ(a.FirstCp->Next->Prev, a.FirstCp.get());
  M5spline single;
  single.AddCpAt(7, {0, 0, 0});
  single.ReverseSpline();
  EXPECT_EQ(single.FirstCp.get(), single.LastCp);
}

using Drawing = InScratch;

TEST_F(Drawing, ClosedAndOpenSplinesAndIdsAtResolvedPositions) {
  auto root = readDoc(meshDoc({"CPs=3", "0 0 1", "0 0 0",   "0", "0", "0 0 2", "10 0 0", "0",
                               "0",     "4 0 3", "10 10 0", "0", "0", "CPs=2", "0 0 4",  "-5 0 0",
                               "0",     "0",     "0 1 5",   "3", "0", "0"}));
  test::RecordingSurface surface;
  Mscreen view;
  view.SetCanvas(&surface, 220, 220);
  view.SetExtent(-100, 100, 100, -100);  // one pixel per unit, origin at (110, 110)
  view.ShowCpid = true;
  root->Draw(view);
  // The labels of 3, 4 and 5 would cover those of 2 and 1 (a label takes 6 x 12 pixels per
  // digit here): they are left out, and counted.
  EXPECT_EQ(surface.Log, lines({"move 110,110", "text 110,110 #008000 9pt 1", "line 120,110",
                                "text 120,110 #008000 9pt 2", "line 120,100", "line 110,110",
                                "move 105,110", "line 120,100"}));
  EXPECT_EQ(view.LabelsShown(), 2);
  EXPECT_EQ(view.LabelsLeftOut(), 3);
}

using Lists = InScratch;

M5cplist listOf(M5spline& a, M5spline* b = nullptr) {
  M5cplist list;
  a.FirstCp->AppendChainTo(list.Items);
  if (b) b->FirstCp->AppendChainTo(list.Items);
  return list;
}

TEST_F(Lists, RenumberFollowsAttachmentsAndRepeatedIds) {
  M5spline a, b;
  a.AddCpAt(10, {});
  a.AddCpAt(20, {});
  b.AddCpAt(5, {});
  b.LastCp->AttachTo(20);
  M5cplist list = listOf(a, &b);
  EXPECT_EQ(list.Renumber(), 3);
  EXPECT_EQ(b.LastCp->Id, 3);
  EXPECT_EQ(b.LastCp->TargetId, 2);

  M5spline c;
  c.AddCpAt(7, {});
  c.AddCpAt(7, {});
  c.AddCpAt(1, {});
  c.LastCp->AttachTo(7);
  c.AddCpAt(2, {});
  c.LastCp->AttachTo(99);  // names no point: 0 afterwards
  M5cplist dup = listOf(c);
  dup.Renumber();
  EXPECT_EQ(c.FirstCp->Id, 2);
  EXPECT_EQ(c.FirstCp->Next->Id, 2);
  EXPECT_EQ(c.FirstCp->Next->Next->TargetId, 2);
  EXPECT_EQ(c.LastCp->TargetId, 0);
  EXPECT_EQ(M5cplist().Renumber(), 0);
  EXPECT_EQ(dup.GetAt(static_cast<std::size_t>(dup.Count())), nullptr);
}

TEST_F(Lists, AttachErrorFileOnlyWhenSomethingIsMissing) {
  StepReport report;
  readDoc(meshDoc({"CPs=2", "0 0 1", "0 0 0", "0", "0", "0 1 2", "1", "0", "0"}), &report);
  EXPECT_FALSE(report.AttachErrors);
  readDoc(meshDoc({"CPs=2", "0 0 1", "0 0 0", "0", "0", "0 1 2", "99", "0", "0"}), &report);
  EXPECT_EQ(attachErrors(report),
            test::crlf({"アタッチ先が無い", "num_of_cp=2", "cpid=2 at_cpid=99"}));
  readDoc(meshDoc({}), &report, /*debug_dump=*/true);
  EXPECT_EQ(attachErrors(report), test::crlf({"アタッチ先が無い", "num_of_cp=0"}));
}

TEST_F(Lists, AttachAllWeldsInListOrderExactly) {
  M5spline s;
  for (std::int32_t id : {4, 1, 3, 2}) s.AddCpAt(id, {1, 2, 3});
  s.AddCpAt(8, {1, 2, std::nextafter(3.0, 4.0)});  // differs in the last bit
  s.AddCpAt(9, {-0.0, 0, 0});
  s.AddCpAt(10, {0, 0, 0});
  s.AddCpAt(11, {1, 2, 3});
  s.LastCp->AttachTo(8);  // attached before the pass: neither target nor welded
  M5cplist list = listOf(s);
  Progress none;
  list.AttachAll(none);
  std::vector<std::int32_t> targets;
  for (const M5cp* p : list.Items) targets.push_back(p->AttachTargetId());
  EXPECT_EQ(targets, (std::vector<std::int32_t>{-1, 4, 1, 3, -1, -1, 9, 8}));
}

TEST_F(Lists, DetachAllAndBounds) {
  M5spline s;
  s.AddCpAt(1, {1, 2, 3});
  s.AddCpAt(2, {0, 0, 0});
  s.LastCp->AttachTo(1);
  M5cplist list = listOf(s);
  test::Step step;
  list.ResolveAttachments(step);
  list.DetachAll(step.Bars);
  EXPECT_FALSE(s.LastCp->IsAttached());
  EXPECT_EQ(s.LastCp->Pos(0).z, 3);

  M5spline t;
  t.AddCpAt(1, {5, 6, 7});
  t.AddCpAt(2, {5, 6, 7});
  M5cplist bounds = listOf(t);
  EXPECT_EQ(bounds.ComputeBounds(step.Bars), "5 6 7 5 6 0 5 0 0 5 0 7 0 6 7 0 6 0 0 0 0 0 0 7");
  EXPECT_EQ(bounds.MinX, 0);
  EXPECT_EQ(bounds.MaxZ, 7);

  BasicProgressBar main_bar, sub_bar;
  Progress bars(&main_bar, &sub_bar);
  main_bar.SetPosition(40);
  sub_bar.SetPosition(30);
  M5cplist().DetachAll(bars);
  EXPECT_EQ(main_bar.Position(), 40);
  EXPECT_EQ(sub_bar.Position(), 30);
}

TEST_F(Lists, Corrections) {
  {  // retarget: only the first point aiming at 3
    M5spline s;
    s.AddCpAt(1, {});
    s.LastCp->AttachTo(3);
    s.AddCpAt(2, {});
    s.LastCp->AttachTo(3);
    M5cplist list = listOf(s);
    test::Step step;
    list.ApplyCorrections({{3, 8, false, false}}, step);
    EXPECT_EQ(s.FirstCp->TargetId, 8);
    EXPECT_EQ(s.LastCp->TargetId, 3);
  }
  {  // attach: 30 joins the end of the chain hanging off 3
    M5spline s;
    s.AddCpAt(3, {});
    s.AddCpAt(4, {});
    s.LastCp->AttachTo(3);
    s.AddCpAt(30, {});
    M5cplist list = listOf(s);
    test::Step step;
    list.ApplyCorrections({{30, 3, false, true}}, step);
    EXPECT_EQ(s.LastCp->AttachTargetId(), 4);
  }
  {  // hook: 20 moves to 8 with its parameter flipped; 21 is re-pointed to 5
    M5spline s;
    s.AddCpAt(5, {});
    s.AddCpAt(8, {});
    s.AddCpAt(20, {});
    M5cp* p20 = s.LastCp;
    p20->AttachTo(5);
    p20->HookParam = 0.25;
    s.AddCpAt(21, {});
    s.LastCp->AttachTo(20);
    M5cplist list = listOf(s);
    test::Step step;
    list.ApplyCorrections({{5, 8, true, false}}, step);
    EXPECT_EQ(p20->TargetId, 8);
    EXPECT_EQ(p20->HookParam, 0.75);
    EXPECT_EQ(s.LastCp->TargetId, 5);
  }
}

using Groups = InScratch;

LineList groupDoc(const LineList& group_lines) {
  LineList l{"[MODELFILE]", "[MODEL]", "[GROUP]"};
  l.insert(l.end(), group_lines.begin(), group_lines.end());
  l.insert(l.end(), {"[ENDGROUP]", "[ENDMODEL]", "[ENDMODELFILE]"});
  return l;
}

M5group& groupOf(M5amsuper& root) { return *modelOf(root).Groups.at(0); }

TEST_F(Groups, CountDecidesWhichLinesAreIds) {
  struct Case {
    LineList in;
    LineList out;
  };
  const Case cases[] = {
      {{"Name=Top", "Count=3", "5", "6", "7"}, {"Name=Top", "Count=3", "5", "6", "7"}},
      {{"Name=Top", "Count=1", "5", "6"}, {"Name=Top", "Count=1", "5"}},
      {{"Count=0", "5", "6"}, {"Name=", "Count=1", "5"}},
      {{"Count=2", "5", "Name=Late", "6", "7"}, {"Name=Late", "Count=2", "5", "6"}},
      {{"Name=a=b=c", "Stray", "Count=1", "5"}, {"Name=a", "Count=1", "Stray"}},
  };
  for (const Case& c : cases) {
    auto root = readDoc(groupDoc(c.in));
    LineList expected{"[GROUP]"};
    expected.insert(expected.end(), c.out.begin(), c.out.end());
    expected.push_back("[ENDGROUP]");
    EXPECT_EQ(written(groupOf(*root)), expected) << c.in[0];
  }
  EXPECT_EQ(errorOf(groupDoc({"Name=x", "Count=three"})).line(), 5);
  auto root = readDoc(groupDoc({"Name=Top", "Count=1", "5"}));
  test::Step step;
  root->Halvejoin(0.1, step);
  EXPECT_TRUE(written(groupOf(*root)).empty());
}

TEST_F(Groups, FillFromPointsByName) {
  M5spline s;
  s.AddCpAt(4, {});
  s.LastCp->AddGroupName("Wing");
  s.AddCpAt(2, {});
  s.AddCpAt(9, {});
  s.LastCp->AddGroupName("WING");
  M5cplist list = listOf(s);
  M5group g;
  g.GroupName = "wing";
  g.FillFromCps(list);
  EXPECT_EQ(g.GroupIds, lines({"4", "9"}));
  M5group none;
  none.GroupName = "Tail";
  none.FillFromCps(list);
  EXPECT_EQ(written(none), lines({"[GROUP]", "Name=Tail", "Count=0", "[ENDGROUP]"}));
}

using Models = InScratch;

TEST_F(Models, BoundsLineMeshWideningAndTheSecondMesh) {
  const char* bounds = "Bounds=4 5 6 4 5 -3 4 -2 -3 4 -2 6 -1 5 6 -1 5 -3 -1 -2 -3 -1 -2 6";
  auto root = readDoc(lines({"[MODELFILE]", "[MODEL]", bounds, "[ENDMODEL]", "[ENDMODELFILE]"}));
  EXPECT_EQ(root->GetBound(3), 4);
  EXPECT_EQ(root->GetBound(4), 5);
  EXPECT_EQ(root->GetBound(5), -3);  // the second corner's z
  EXPECT_EQ(root->GetBound(0), -1);
  EXPECT_EQ(root->GetBound(2), -3);
  auto meshed = readDoc(lines({"[MODELFILE]", "[MODEL]", bounds, "[MESH]", "CPs=1", "0 0 1",
                               "100 0 0", "0", "0", "[ENDMESH]", "[MESH]", "CPs=1", "0 0 1",
                               "0 0 6", "0", "0", "[ENDMESH]", "[ENDMODEL]", "[ENDMODELFILE]"}));
  EXPECT_EQ(meshed->GetBound(5), 6);
  EXPECT_EQ(meshed->GetBound(3), 4);  // the first mesh's x of 100 is not the model's mesh
  const ZevrinError e = errorOf(
      lines({"[MODELFILE]", "[MODEL]", "Bounds=1 2 3 4 5 6", "[ENDMODEL]", "[ENDMODELFILE]"}));
  EXPECT_EQ(e.message(false), "'' is not a number");
  EXPECT_EQ(e.line(), 3);
}

TEST_F(Models, RemoveGroupsDropsThemFromEntriesAndList) {
  auto root = readDoc(lines({"[MODELFILE]", "[MODEL]", "[GROUP]", "Name=a", "Count=0", "[ENDGROUP]",
                             "Keep=1", "[GROUP]", "[ENDGROUP]", "[ENDMODEL]", "[ENDMODELFILE]"}));
  M5model& model = modelOf(*root);
  EXPECT_EQ(model.GroupCount(), 2);
  model.RemoveGroups();
  EXPECT_EQ(model.GroupCount(), 0);
  EXPECT_EQ(written(model), lines({"[MODEL]", "Keep=1", "[ENDMODEL]"}));
}

TEST_F(Models, WholeFileRoundTrip) {
  // Hooks, attachments, loop bits, bias lines, groups, bones and foreign sections together.
  const std::string file =
      "[MODELFILE]\r\nProductVersion=5.0\r\n[MODEL]\r\nName=arm\r\n"
      "Bounds=1 1 1 1 1 0 1 0 0 1 0 1 0 1 1 0 1 0 0 0 0 0 0 1\r\n[MESH]\r\nVersion=2\r\n"
      "Splines=2\r\nCPs=3\r\n0 0 1\r\n0.0 0.50 1.000\r\n0\r\n0\r\n144 0 2 0.5\r\n1 0 0\r\n"
      "1 0 0\r\n0 1 0\r\n4 0 3\r\n1 1 0\r\n0\r\n0\r\nCPs=2\r\n0 1 4\r\n1\r\n0\r\n0\r\n"
      "0 1 5\r\n3\r\n0\r\n0\r\n[ENDMESH]\r\n[GROUP]\r\nName=Tip\r\nCount=2\r\n3\r\n5\r\n"
      "[ENDGROUP]\r\n[DECALS]\r\n  Image=a.tga\r\n[ENDDECALS]\r\n[ENDMODEL]\r\n[ENDMODELFILE]\r\n";
  StepReport report;
  auto root = readDoc(SplitLines(file), &report);
  EXPECT_EQ(written(*root), lines({"[MODELFILE]",
                                   "ProductVersion=5.0",
                                   "[MODEL]",
                                   "Name=arm",
                                   "Bounds=1 1 1 1 1 0 1 0 0 1 0 1 0 1 1 0 1 0 0 0 0 0 0 1",
                                   "[MESH]",
                                   "Version=2",
                                   "Splines=2",
                                   "CPs=3",
                                   "0 0 1",
                                   "0 0.5 1",
                                   "0",
                                   "0",
                                   "144 0 2 0.5",
                                   "1 0 0",
                                   "1 0 0",
                                   "0 1 0",
                                   "4 0 3",
                                   "1 1 0",
                                   "0",
                                   "0",
                                   "CPs=2",
                                   "0 1 4",
                                   "1",
                                   "0",
                                   "0",
                                   "0 1 5",
                                   "3",
                                   "0",
                                   "0",
                                   "[ENDMESH]",
                                   "[GROUP]",
                                   "Name=Tip",
                                   "Count=2",
                                   "3",
                                   "5",
                                   "[ENDGROUP]",
                                   "[DECALS]",
                                   "Image=a.tga",
                                   "[ENDDECALS]",
                                   "[ENDMODEL]",
                                   "[ENDMODELFILE]"}));
  EXPECT_FALSE(report.AttachErrors);
  EXPECT_EQ(report.After, (MeshCounts{5, 2}));
  // The hook (flags 144 = 0x80 | 0x10) sits half way from its own X 1 to the next point's 1:
  // the box reaches x = 1, y = 1, z = 1.
  EXPECT_EQ(root->GetBound(3), 1);
  EXPECT_EQ(root->GetBound(5), 1);
}

}  // namespace
}  // namespace zevrin
