#include "app/session/EditHistory.h"

#include <cmath>
#include <utility>

#include "mesh/AM5_mesh.h"

namespace zevrin {
namespace {

// Calls f with every point of every mesh in the tree, without recursion.
template <class F>
void forEachPoint(const M5amsuper& root, F&& f) {
  std::vector<const M5amsuper*> pending{&root};
  while (!pending.empty()) {
    const M5amsuper* node = pending.back();
    pending.pop_back();
    if (const auto* mesh = dynamic_cast<const M5mesh*>(node)) {
      for (const auto& s : mesh->Splines)
        for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get())
          if (!f(*p)) return;
    }
    for (const Entry& e : node->Entries)
      if (e.Child) pending.push_back(e.Child.get());
  }
}

const std::string kNoEdit;

}  // namespace

void EditHistory::Reset() {
  undo_.clear();
  redo_.clear();
  current_ = saved_ = ++next_;
  last_dropped_ = 0;
  last_not_kept_ = false;
}

EditHistory::State EditHistory::take(DocumentSession& session, std::vector<std::string> memo,
                                     std::string edit) const {
  State state;
  state.Bytes = session.Document ? zevrin::HeldBytes(*session.Document) : 0;
  state.Document = std::move(session.Document);
  state.Counts = session.Shared.Counts;
  state.CountsBefore = session.Shared.CountsBefore;
  state.Memo = std::move(memo);
  state.Edit = std::move(edit);
  state.Generation = current_;
  return state;
}

void EditHistory::put(DocumentSession& session, State& state) {
  session.Document = std::move(state.Document);
  session.Shared.Counts = state.Counts;
  session.Shared.CountsBefore = state.CountsBefore;
  current_ = state.Generation;
}

StepResult EditHistory::Apply(DocumentSession& session, const std::string& name,
                              std::vector<std::string> memo,
                              const std::function<StepResult(DocumentSession&)>& edit) {
  last_dropped_ = 0;
  last_not_kept_ = false;
  if (!session.Document) return edit(session);
  State before = take(session, std::move(memo), name);
  try {
    session.Document = before.Document->Clone();
  } catch (...) {
    put(session, before);
    throw;
  }
  StepResult result;
  try {
    result = edit(session);
  } catch (...) {
    // The copy goes, half edited; the document was never touched.
    put(session, before);
    throw;
  }
  redo_.clear();
  undo_.push_back(std::move(before));
  current_ = ++next_;
  while (HeldBytes() > budget_ && !undo_.empty()) {
    undo_.pop_front();
    ++last_dropped_;
  }
  last_not_kept_ = undo_.empty();
  return result;
}

const std::string& EditHistory::UndoName() const {
  return undo_.empty() ? kNoEdit : undo_.back().Edit;
}
const std::string& EditHistory::RedoName() const {
  return redo_.empty() ? kNoEdit : redo_.back().Edit;
}

std::vector<std::string> EditHistory::Undo(DocumentSession& session,
                                           std::vector<std::string> memo) {
  if (undo_.empty()) return memo;
  State back = std::move(undo_.back());
  undo_.pop_back();
  redo_.push_back(take(session, std::move(memo), back.Edit));
  put(session, back);
  return std::move(back.Memo);
}

std::vector<std::string> EditHistory::Redo(DocumentSession& session,
                                           std::vector<std::string> memo) {
  if (redo_.empty()) return memo;
  State next = std::move(redo_.back());
  redo_.pop_back();
  undo_.push_back(take(session, std::move(memo), next.Edit));
  put(session, next);
  return std::move(next.Memo);
}

std::size_t EditHistory::HeldBytes() const {
  std::size_t bytes = 0;
  for (const State& s : undo_) bytes += s.Bytes;
  for (const State& s : redo_) bytes += s.Bytes;
  return bytes;
}

bool HasPointsOnBothSides(const M5amsuper& root, double tolerance) {
  bool negative = false, positive = false;
  forEachPoint(root, [&](const M5cp& p) {
    // Halvejoin snaps a point nearer than the tolerance onto the plane; such a point lies on
    // no side.
    if (p.X == 0 || std::fabs(p.X) < tolerance) return true;
    (p.X < 0 ? negative : positive) = true;
    return !(negative && positive);
  });
  return negative && positive;
}

std::int64_t CountAttachedPoints(const M5amsuper& root) {
  std::int64_t count = 0;
  forEachPoint(root, [&](const M5cp& p) {
    if (p.IsAttached()) ++count;
    return true;
  });
  return count;
}

}  // namespace zevrin
