// Undo and redo as the window uses them: copies of a document that every later edit treats as
// the original (saved bytes, results and pictures compared after every pair of edits), undo
// that leaves no trace of the undone edit, cancelling at every move of the bars, the memory
// budget and the modified mark; and what is drawn after an edit is what a save keeps.
#include <gtest/gtest.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <atomic>
#include <functional>
#include <string>
#include <typeinfo>
#include <vector>

#include "app/session/Document.h"
#include "app/session/EditHistory.h"
#include "bench/BenchGen.h"
#include "model/AM5_segment.h"
#include "tests/RecordingSurface.h"
#include "tests/TestUtil.h"
#include "util/Errors.h"
#include "view/M_scr.h"

namespace zevrin {
namespace {

using test::ScratchDir;

std::string written(const M5amsuper& root) {
  LineList lines;
  // Writing never changes a node; the interface only takes it as it is.
  const_cast<M5amsuper&>(root).WriteSection(lines);
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

// The picture of the document as the window draws it, ids included, as the surface's log.
std::vector<std::string> drawn(M5amsuper& root) {
  test::RecordingSurface surface;
  Mscreen view;
  view.ShowCpid = true;
  view.SetCanvas(&surface, 320, 240);
  view.SetExtent(-100, 100, 100, -100);
  view.Redisplay(&root, ViewKind::Front);
  return surface.Log;
}

// Both trees have the same shape and every node the same class.
void expectSameShape(const M5amsuper& a, const M5amsuper& b) {
  std::vector<std::pair<const M5amsuper*, const M5amsuper*>> pending{{&a, &b}};
  while (!pending.empty()) {
    const auto [x, y] = pending.back();
    pending.pop_back();
    ASSERT_EQ(typeid(*x), typeid(*y)) << x->Name;
    ASSERT_NE(x, y);
    ASSERT_EQ(x->Entries.size(), y->Entries.size()) << x->Name;
    for (std::size_t i = 0; i < x->Entries.size(); ++i) {
      ASSERT_EQ(x->Entries[i].Child == nullptr, y->Entries[i].Child == nullptr);
      if (x->Entries[i].Child)
        pending.emplace_back(x->Entries[i].Child.get(), y->Entries[i].Child.get());
    }
  }
}

struct Edit {
  const char* name;
  std::function<StepResult(DocumentSession&)> run;
};

const std::vector<Edit>& edits() {
  static const std::vector<Edit> all = {
      {"Halvejoin", [](DocumentSession& s) { return s.Halvejoin(0.001); }},
      {"Connect", [](DocumentSession& s) { return s.ConnectGroupedSplines(); }},
      {"Attach", [](DocumentSession& s) { return s.AttachAll(); }},
      {"Detach", [](DocumentSession& s) { return s.DetachAll(); }},
      {"Mirror", [](DocumentSession& s) { return s.MirrorBone(0.001); }},
  };
  return all;
}

// What one edit's result shows, for comparing two runs.
std::string shown(const StepResult& r) {
  std::string out;
  for (const std::string& line : r.Memo) out += line + "|";
  out += "copied=" + std::to_string(r.BonesCopied);
  out += " out=" + std::to_string(r.LeftOut.Bones) + "," + std::to_string(r.LeftOut.Groups) + "," +
         std::to_string(r.LeftOut.Sections);
  out += " counts=" + std::to_string(r.Counts.Cps) + "," + std::to_string(r.Counts.Splines);
  if (r.AttachErrors)
    for (const std::string& line : r.AttachErrors->Lines()) out += "|" + line;
  return out;
}

class Documents : public ::testing::TestWithParam<std::string> {
 protected:
  static void SetUpTestSuite() {
    scratch_ = new ScratchDir;
    // A generated half model: attachments, hooks, groups that join splines, bones on and off
    // the plane, sections the program keeps as read.
    bench::WriteModelFile(*scratch_ / "generated.mdl", 3000);
  }
  static void TearDownTestSuite() {
    delete scratch_;
    scratch_ = nullptr;
  }
  std::string path() const {
    const std::string& p = GetParam();
    if (p == "generated") return *scratch_ / "generated.mdl";
    return p;
  }
  void open(DocumentSession& s) const {
    s.CurrentFile = path();
    s.Shared.Mirror = {MirrorRule::Append, "left", "right", "mb"};
    ASSERT_EQ(s.LoadDocument().Outcome, LoadOutcome::Loaded);
  }
  static ScratchDir* scratch_;
};

ScratchDir* Documents::scratch_ = nullptr;

INSTANTIATE_TEST_SUITE_P(Files, Documents,
                         ::testing::Values(std::string(ZEVRIN_EXAMPLES) + "/half_box.mdl",
                                           std::string(ZEVRIN_TEST_DATA) + "/halvejoin_in.mdl",
                                           std::string("generated")),
                         [](const auto& param) { return "file" + std::to_string(param.index); });

TEST_P(Documents, ACloneBehavesAsTheOriginalInEveryFollowingEdit) {
  // Every edit (or none), then a copy, then every edit again on both: the marks no file holds
  // (suppressed sections after Halvejoin, mirrored copies, resolved and flipped attachments)
  // must come along, or the second edit tells them apart.
  for (int first = -1; first < static_cast<int>(edits().size()); ++first) {
    for (const Edit& second : edits()) {
      SCOPED_TRACE(std::string(first < 0 ? "-" : edits()[first].name) + " then " + second.name);
      DocumentSession a;
      open(a);
      if (first >= 0) edits()[first].run(a);
      DocumentSession b;
      b.CurrentFile = a.CurrentFile;
      b.Shared = a.Shared;
      b.Document = a.Document->Clone();
      expectSameShape(*a.Document, *b.Document);
      EXPECT_EQ(written(*a.Document), written(*b.Document));
      const StepResult ra = second.run(a);
      const StepResult rb = second.run(b);
      EXPECT_EQ(shown(ra), shown(rb));
      EXPECT_EQ(written(*a.Document), written(*b.Document));
      EXPECT_EQ(drawn(*a.Document), drawn(*b.Document));
    }
  }
}

TEST_P(Documents, AnUndoneEditLeavesNoTraceInTheNext) {
  for (const Edit& undone : edits()) {
    for (const Edit& next : edits()) {
      SCOPED_TRACE(std::string(undone.name) + " undone, then " + next.name);
      DocumentSession plain;
      open(plain);
      const std::string opened = written(*plain.Document);
      const StepResult want = next.run(plain);

      DocumentSession s;
      open(s);
      EditHistory history;
      history.Reset();
      history.Apply(s, undone.name, {"memo of the load"}, undone.run);
      EXPECT_EQ(history.UndoName(), undone.name);
      EXPECT_EQ(history.Undo(s, {"memo of the edit"}),
                std::vector<std::string>{"memo of the load"});
      EXPECT_EQ(written(*s.Document), opened);
      EXPECT_FALSE(history.Modified());
      EXPECT_EQ(history.RedoName(), undone.name);
      const StepResult got = history.Apply(s, next.name, {}, next.run);
      EXPECT_FALSE(history.CanRedo());
      EXPECT_EQ(shown(got), shown(want));
      EXPECT_EQ(written(*s.Document), written(*plain.Document));
      EXPECT_EQ(drawn(*s.Document), drawn(*plain.Document));
    }
  }
}

TEST_P(Documents, UndoAndRedoWalkEveryEditBackAndForth) {
  DocumentSession s;
  open(s);
  EditHistory history;
  history.Reset();
  // Every edit once, Mirror bone also after Halvejoin, where only the copies are saved.
  const std::vector<int> order = {2, 3, 1, 4, 0, 4, 2};
  std::vector<std::string> bytes{written(*s.Document)};
  std::vector<MeshCounts> counts{s.Shared.Counts};
  for (std::size_t i = 0; i < order.size(); ++i) {
    const Edit& e = edits()[static_cast<std::size_t>(order[i])];
    history.Apply(s, e.name, {"memo " + std::to_string(i)}, e.run);
    bytes.push_back(written(*s.Document));
    counts.push_back(s.Shared.Counts);
    EXPECT_TRUE(history.Modified());
  }
  EXPECT_EQ(history.UndoSteps(), order.size());
  for (std::size_t i = order.size(); i-- > 0;) {
    EXPECT_EQ(history.UndoName(), edits()[static_cast<std::size_t>(order[i])].name);
    EXPECT_EQ(history.Undo(s, {}), std::vector<std::string>{"memo " + std::to_string(i)});
    EXPECT_EQ(written(*s.Document), bytes[i]) << i;
    EXPECT_EQ(s.Shared.Counts, counts[i]);
  }
  EXPECT_FALSE(history.CanUndo());
  EXPECT_FALSE(history.Modified());
  for (std::size_t i = 1; i <= order.size(); ++i) {
    history.Redo(s, {});
    EXPECT_EQ(written(*s.Document), bytes[i]) << i;
    EXPECT_EQ(s.Shared.Counts, counts[i]);
  }
  EXPECT_FALSE(history.CanRedo());
  history.MarkSaved();
  EXPECT_FALSE(history.Modified());
  history.Undo(s, {});
  EXPECT_TRUE(history.Modified());
}

// A progress window whose Cancel is pressed at the n-th move of a bar.
class CancellingProgress : public ProgressWindow {
 public:
  explicit CancellingProgress(int cancel_at) : cancel_at_(cancel_at), main_(*this), sub_(*this) {}
  void Show() override {}
  void Hide() override {}
  ProgressBar* MainBar() override { return &main_; }
  ProgressBar* SubBar() override { return &sub_; }
  const std::atomic<bool>* CancelFlag() override { return &flag_; }
  int moves = 0;

 private:
  class Bar : public BasicProgressBar {
   public:
    explicit Bar(CancellingProgress& owner) : owner_(owner) {}

   protected:
    void Changed() override {
      if (++owner_.moves == owner_.cancel_at_) owner_.flag_ = true;
    }

   private:
    CancellingProgress& owner_;
  };
  int cancel_at_;
  std::atomic<bool> flag_{false};
  Bar main_;
  Bar sub_;
};

TEST_P(Documents, CancellingAtAnyMoveLeavesTheDocumentAsItWas) {
  for (const Edit& e : edits()) {
    SCOPED_TRACE(e.name);
    // How far the bars move in a whole run.
    int total = 0;
    {
      DocumentSession s;
      open(s);
      CancellingProgress count(0);
      s.Progress = &count;
      e.run(s);
      total = count.moves;
    }
    DocumentSession s;
    open(s);
    EditHistory history;
    history.Reset();
    history.Apply(s, "Attach", {}, edits()[2].run);  // something to keep
    const std::string before = written(*s.Document);
    const MeshCounts counts = s.Shared.Counts;
    int cancelled = 0;
    // Every move of a short edit; of a long one, moves spread over it and the last ones.
    std::vector<int> moves;
    const int stride = std::max(1, total / 48);
    for (int at = 1; at <= total; at += stride) moves.push_back(at);
    for (int at = std::max(1, total - 2); at <= total; ++at) moves.push_back(at);
    for (const int at : moves) {
      CancellingProgress progress(at);
      s.Progress = &progress;
      try {
        history.Apply(s, e.name, {}, e.run);
        // Stopped after the last move: the edit is whole. Take it back for the next round.
        history.Undo(s, {});
        history.Redo(s, {});
        history.Undo(s, {});
      } catch (const ZevrinError& error) {
        ASSERT_EQ(error.kind(), ErrorKind::Cancelled);
        ++cancelled;
      }
      s.Progress = nullptr;
      ASSERT_EQ(written(*s.Document), before) << "cancelled at move " << at;
      ASSERT_EQ(s.Shared.Counts, counts);
      ASSERT_EQ(history.UndoSteps(), 1u);
      ASSERT_EQ(history.UndoName(), "Attach");
    }
    // Mirror bone moves no bar of its own (only both back to 0 before it starts): it is over
    // before a Cancel is seen. Every other edit stops.
    if (std::string(e.name) != "Mirror") {
      EXPECT_GT(cancelled, 0);
    }
  }
}

TEST(History, KeepsWhatFitsTheBudgetAndSaysWhatItDropped) {
  DocumentSession s;
  s.CurrentFile = std::string(ZEVRIN_EXAMPLES) + "/half_box.mdl";
  ASSERT_EQ(s.LoadDocument().Outcome, LoadOutcome::Loaded);
  // Attach all and Detach all keep the size of the document.
  const std::size_t step = HeldBytes(*s.Document);
  EditHistory history(2 * step + step / 2);
  history.Reset();
  const Edit& attach = edits()[2];
  const Edit& detach = edits()[3];
  history.Apply(s, "1", {}, attach.run);
  history.Apply(s, "2", {}, detach.run);
  EXPECT_EQ(history.LastDropped(), 0);
  EXPECT_EQ(history.UndoSteps(), 2u);
  history.Apply(s, "3", {}, attach.run);
  EXPECT_EQ(history.LastDropped(), 1);
  EXPECT_FALSE(history.LastNotKept());
  EXPECT_EQ(history.UndoSteps(), 2u);
  EXPECT_LE(history.HeldBytes(), history.Budget());
  history.Undo(s, {});
  history.Undo(s, {});
  EXPECT_FALSE(history.CanUndo());  // "1" was dropped: the document as opened is gone
  EXPECT_EQ(history.RedoName(), "2");

  history.SetBudget(0);
  history.Apply(s, "4", {}, detach.run);
  EXPECT_TRUE(history.LastNotKept());
  EXPECT_FALSE(history.CanUndo());
  EXPECT_FALSE(history.CanRedo());
  EXPECT_TRUE(history.Modified());
}

TEST(History, WithoutADocumentNothingIsKept) {
  DocumentSession s;
  EditHistory history;
  history.Reset();
  const StepResult r = history.Apply(s, "Halvejoin", {}, edits()[0].run);
  EXPECT_TRUE(r.Memo.empty());
  EXPECT_FALSE(history.CanUndo());
  EXPECT_FALSE(history.Modified());
}

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST(History, HeldBytesIsWhatACopyTakesFromTheHeap) {
  ScratchDir dir;
  bench::WriteModelFile(dir / "m.mdl", 100000);
  DocumentSession s;
  s.CurrentFile = dir / "m.mdl";
  ASSERT_EQ(s.LoadDocument().Outcome, LoadOutcome::Loaded);
  const std::size_t before = mallinfo2().uordblks;
  std::unique_ptr<M5amsuper> copy = s.Document->Clone();
  const auto taken = static_cast<double>(mallinfo2().uordblks - before);
  const auto estimated = static_cast<double>(HeldBytes(*copy));
  EXPECT_GT(estimated, 0.8 * taken);
  EXPECT_LT(estimated, 1.25 * taken);
}
#endif

TEST(Questions, PointsOnBothSidesAndAttachedPoints) {
  DocumentSession s;
  s.CurrentFile = std::string(ZEVRIN_EXAMPLES) + "/half_box.mdl";
  ASSERT_EQ(s.LoadDocument().Outcome, LoadOutcome::Loaded);
  EXPECT_FALSE(HasPointsOnBothSides(*s.Document, 0.001));
  EXPECT_EQ(CountAttachedPoints(*s.Document), 4);
  s.Halvejoin(0.001);
  EXPECT_TRUE(HasPointsOnBothSides(*s.Document, 0.001));
  // A tolerance wider than the box snaps everything onto the plane.
  EXPECT_FALSE(HasPointsOnBothSides(*s.Document, 11));
  s.DetachAll();
  EXPECT_EQ(CountAttachedPoints(*s.Document), 0);
  s.AttachAll();
  EXPECT_GT(CountAttachedPoints(*s.Document), 0);
}

// The bones as drawn in one fixed window: every line in a colour other than the mesh's white.
std::vector<test::RecordingSurface::Segment> drawnBones(M5amsuper& root) {
  test::RecordingSurface surface;
  Mscreen view;
  view.SetCanvas(&surface, 320, 240);
  view.SetExtent(-50, 50, 50, -50);
  view.SetPenColor({255, 255, 255});
  root.Draw(view);
  std::erase_if(surface.Segments, [](const auto& s) { return s.color == Rgb{255, 255, 255}; });
  return surface.Segments;
}

TEST_P(Documents, TheBonesDrawnAreTheBonesTheSaveKeeps) {
  // After any two edits the bones drawn are those of the saved file opened again: a bone the
  // save leaves out is not drawn (after Halvejoin none is, but Mirror bone's copies are).
  ScratchDir dir;
  for (const Edit& first : edits()) {
    for (const Edit& second : edits()) {
      SCOPED_TRACE(std::string(first.name) + " then " + second.name);
      DocumentSession s;
      open(s);
      first.run(s);
      second.run(s);
      s.SaveDocument(dir / "saved.mdl");
      DocumentSession again;
      again.CurrentFile = dir / "saved.mdl";
      ASSERT_EQ(again.LoadDocument().Outcome, LoadOutcome::Loaded);
      EXPECT_EQ(drawnBones(*s.Document), drawnBones(*again.Document));
    }
  }
}

}  // namespace
}  // namespace zevrin
