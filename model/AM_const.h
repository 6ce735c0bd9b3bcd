// The state that the document tree and the front ends share for the whole run: the counters
// reported after each command, the two progress bars and the pacing of the lower one, the
// display and debug switches, and the bone-renaming settings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "util/Ustrlib.h"

namespace zevrin {

// A progress bar running from 0 to 100. The window binds it to a widget, the command line to
// a terminal line, the tests to a recorder. Long operations only ever talk to this interface.
class ProgressBar {
 public:
  virtual ~ProgressBar() = default;
  virtual void SetPosition(std::int32_t position) = 0;
  virtual std::int32_t Position() const = 0;
  virtual void SetStep(std::int32_t step) = 0;
  // Advances by the step; past the maximum the bar starts again from the minimum, as the
  // platform's bars do.
  virtual void StepIt() = 0;
};

// A bar that only keeps its numbers; the base of the front ends' bars.
class BasicProgressBar : public ProgressBar {
 public:
  void SetPosition(std::int32_t position) override;
  std::int32_t Position() const override { return position_; }
  void SetStep(std::int32_t step) override { step_ = step; }
  void StepIt() override;
  std::int32_t Step() const { return step_; }

  static constexpr std::int32_t kMin = 0;
  static constexpr std::int32_t kMax = 100;

 protected:
  // Called after every change of the position.
  virtual void Changed() {}

 private:
  std::int32_t position_ = 0;
  std::int32_t step_ = 1;
};

struct SharedState {
  bool DebugDump = false;
  bool ShowCpid = false;
  std::int32_t SplineCount = 0;
  std::int32_t CpCount = 0;
  std::int32_t SplineCountBefore = 0;
  std::int32_t CpCountBefore = 0;
  // Not owned; either may be absent (nothing is shown then).
  ProgressBar* ProgressMain = nullptr;
  ProgressBar* ProgressSub = nullptr;
  std::int32_t SubProgressAccumulator = 0;
  std::string MirrorAppend;
  std::int32_t MirrorPattern = 0;
  std::string MirrorWord;
  std::string MirrorReplacement;
  // While an edit runs, the attach error file is only noted here and written once the whole
  // tree has been edited: a failed write must not stop an edit half way.
  bool DeferAttachErrors = false;
  bool AttachErrorsPending = false;
  LineList PendingAttachErrors;
};

// The one process-wide record. Everything runs on one thread.
SharedState& Shared();

// Lower bar back to 0, pacing restarted.
void ResetSubProgress();
// Called once per item of a loop of `total` items: the lower bar steps once every
// (total div 105) + 1 calls.
void StepSubProgress(std::int32_t total);
// The same pacing for a reader that goes through a file's text without counting its lines
// first: the lower bar steps each time another 1/105 of the source has been read.
class SourceProgress {
 public:
  explicit SourceProgress(const LineSource& source)
      : source_(source),
        stride_(std::max<std::uint64_t>(source.Extent() / 105, 1)),
        next_(stride_) {}
  // Called once per item read.
  void Update() { Update(source_.Done()); }
  // The same where the reading has come `done` bytes (or lines) in some other way.
  void Update(std::uint64_t done) {
    if (done < next_) return;
    next_ = done + stride_;
    if (ProgressBar* bar = Shared().ProgressSub) bar->StepIt();
  }

 private:
  const LineSource& source_;
  std::uint64_t stride_;
  std::uint64_t next_;
};

// Upper bar helpers that tolerate an absent bar.
void SetMainProgress(std::int32_t position);

// 1 plus the number of space bytes; every space counts, also several in a row.
std::int32_t CountWords(std::string_view text);
// Trim of the line at `index`; an index outside the list raises the index error.
std::string GetTrimmedLine(const LineList& lines, std::int64_t index);

}  // namespace zevrin
