// The progress of long operations (the two bars and the pacing of the lower one) and two
// small line helpers shared by the readers.
#pragma once

#include <algorithm>
#include <atomic>
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

// The bars that one load or edit moves: the upper one directly, the lower one paced so that
// a loop of any length steps it about a hundred times. Either bar may be absent (nothing is
// shown then); a default-made one shows nothing. The bars are only ever moved from the thread
// that runs the operation.
//
// A step can be stopped: once the flag given (set from any thread) is true, the next move of
// a bar raises ErrorKind::Cancelled. Whoever sets it must put the document back as it was.
class Progress {
 public:
  Progress() = default;
  Progress(ProgressBar* main, ProgressBar* sub, const std::atomic<bool>* cancel = nullptr)
      : main_(main), sub_(sub), cancel_(cancel) {}

  ProgressBar* Main() const { return main_; }
  ProgressBar* Sub() const { return sub_; }
  const std::atomic<bool>* CancelFlag() const { return cancel_; }
  bool Cancelled() const { return cancel_ && cancel_->load(std::memory_order_relaxed); }
  // Raises ErrorKind::Cancelled when the step was stopped.
  void CheckCancel() const;

  void SetMain(std::int32_t position) {
    CheckCancel();
    if (main_) main_->SetPosition(position);
  }
  void SetMainStep(std::int32_t step) {
    if (main_) main_->SetStep(step);
  }
  void StepMain() {
    CheckCancel();
    if (main_) main_->StepIt();
  }
  // Lower bar back to 0, pacing restarted.
  void ResetSub();
  // Called once per item of a loop of `total` items: the lower bar steps once every
  // (total div 105) + 1 calls.
  void StepSub(std::int32_t total);
  // One step of the lower bar, unpaced.
  void StepSubOnce() {
    CheckCancel();
    if (sub_) sub_->StepIt();
  }

 private:
  ProgressBar* main_ = nullptr;                // not owned
  ProgressBar* sub_ = nullptr;                 // not owned
  const std::atomic<bool>* cancel_ = nullptr;  // not owned
  std::int32_t accumulator_ = 0;
};

// The same pacing for a reader that goes through a file's text without counting its lines
// first: the lower bar steps each time another 1/105 of the source has been read.
class SourceProgress {
 public:
  SourceProgress(const LineSource& source, Progress& progress)
      : source_(source),
        progress_(progress),
        stride_(std::max<std::uint64_t>(source.Extent() / 105, 1)),
        next_(stride_) {}
  // Called once per item read.
  void Update() { Update(source_.Done()); }
  // The same where the reading has come `done` bytes (or lines) in some other way.
  void Update(std::uint64_t done) {
    if (done < next_) return;
    next_ = done + stride_;
    progress_.StepSubOnce();
  }

 private:
  const LineSource& source_;
  Progress& progress_;
  std::uint64_t stride_;
  std::uint64_t next_;
};

// 1 plus the number of space bytes; every space counts, also several in a row.
std::int32_t CountWords(std::string_view text);
// Trim of the line at `index`; an index outside the list raises the index error.
std::string GetTrimmedLine(const LineList& lines, std::int64_t index);

}  // namespace zevrin
