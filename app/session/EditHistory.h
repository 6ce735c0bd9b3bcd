// Undo and redo of the whole-model edits. Every edit runs on a copy of the document (Clone):
// the document as it was stays untouched until the edit has succeeded, so that an edit that
// fails or is cancelled part way leaves it exactly as it was, and it then becomes the newest
// step to undo. A step is the whole tree with every mark no file holds, so that an undone
// edit leaves no trace: an edit after an undo behaves as if the undone edit never ran.
//
// Steps are kept while they fit in a memory budget; the oldest are dropped first. The
// history also knows whether the document differs from what was last saved or opened.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/session/Document.h"

namespace zevrin {

class EditHistory {
 public:
  // What the window keeps by default: 1 GiB, a few steps of a model of millions of points.
  static constexpr std::size_t kDefaultBudget = std::size_t{1} << 30;

  explicit EditHistory(std::size_t budget = kDefaultBudget) : budget_(budget) {}

  // The memory the kept steps may take together, estimated by HeldBytes. A smaller budget
  // applies from the next edit on.
  void SetBudget(std::size_t bytes) { budget_ = bytes; }
  std::size_t Budget() const { return budget_; }

  // A new document: nothing to undo or redo, nothing changed since it was read.
  void Reset();

  // Runs `edit` on a copy of the session's document that replaces the document only when the
  // edit returns. Then the document as it was becomes the newest step to undo, named `name`
  // (the edit) and keeping `memo` (what the window showed with it); the steps to redo are
  // dropped, and the oldest steps while the kept ones exceed the budget. An error (the
  // cancelled step's too) leaves the session's document and counters as they were and is
  // raised again. Without a document `edit` runs alone and nothing is kept.
  StepResult Apply(DocumentSession& session, const std::string& name, std::vector<std::string> memo,
                   const std::function<StepResult(DocumentSession&)>& edit);

  bool CanUndo() const { return !undo_.empty(); }
  bool CanRedo() const { return !redo_.empty(); }
  // The edit that Undo or Redo would take back or do again.
  const std::string& UndoName() const;
  const std::string& RedoName() const;

  // Puts back the document of the newest step and keeps the current one, with `memo`, to
  // redo; returns the memo kept with the document put back. Nothing without a step.
  std::vector<std::string> Undo(DocumentSession& session, std::vector<std::string> memo);
  // The other way round.
  std::vector<std::string> Redo(DocumentSession& session, std::vector<std::string> memo);

  // Whether the document differs from the one last opened or saved (an undo back to that one
  // makes it unchanged again).
  bool Modified() const { return current_ != saved_; }
  void MarkSaved() { saved_ = current_; }

  // How many of the oldest steps the last Apply dropped to stay within the budget, and
  // whether that edit's own step could not be kept at all.
  std::int32_t LastDropped() const { return last_dropped_; }
  bool LastNotKept() const { return last_not_kept_; }

  std::size_t UndoSteps() const { return undo_.size(); }
  std::size_t RedoSteps() const { return redo_.size(); }
  // The estimated memory of the kept steps.
  std::size_t HeldBytes() const;

 private:
  struct State {
    std::unique_ptr<M5amsuper> Document;
    MeshCounts Counts;
    MeshCounts CountsBefore;
    std::vector<std::string> Memo;
    std::string Edit;  // the edit that leads from this state to the next one
    std::uint64_t Generation = 0;
    std::size_t Bytes = 0;
  };
  // The session's document as a state, taken from it.
  State take(DocumentSession& session, std::vector<std::string> memo, std::string edit) const;
  void put(DocumentSession& session, State& state);

  std::size_t budget_;
  std::deque<State> undo_;  // oldest first
  std::deque<State> redo_;  // the next to redo last
  std::uint64_t current_ = 0;
  std::uint64_t saved_ = 0;
  std::uint64_t next_ = 0;
  std::int32_t last_dropped_ = 0;
  bool last_not_kept_ = false;
};

// Questions the window asks before and after an edit.
//
// Whether the meshes hold points on both sides of X = 0 that Halvejoin would not snap onto
// the plane (a model already whole, which a Halvejoin would double).
bool HasPointsOnBothSides(const M5amsuper& root, double tolerance);
// The attached points of every mesh.
std::int64_t CountAttachedPoints(const M5amsuper& root);

}  // namespace zevrin
