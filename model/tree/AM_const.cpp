#include "model/tree/AM_const.h"

#include <algorithm>

#include "util/Errors.h"

namespace zevrin {

void BasicProgressBar::SetPosition(std::int32_t position) {
  position_ = std::clamp(position, kMin, kMax);
  Changed();
}

void BasicProgressBar::StepIt() {
  std::int64_t next = static_cast<std::int64_t>(position_) + step_;
  if (next > kMax) next = kMin + (next - kMax - 1) % (kMax - kMin + 1);
  position_ = static_cast<std::int32_t>(std::clamp<std::int64_t>(next, kMin, kMax));
  Changed();
}

void Progress::CheckCancel() const {
  if (Cancelled()) throw ZevrinError(ErrorKind::Cancelled, "");
}

void Progress::ResetSub() {
  accumulator_ = 0;
  if (sub_) sub_->SetPosition(0);
}

void Progress::StepSub(std::int32_t total) {
  // Saturate instead of wrapping: the accumulator is reset long before in any real loop.
  if (accumulator_ <= INT32_MAX - 105) accumulator_ += 105;
  if (total < accumulator_) {
    accumulator_ = 0;
    CheckCancel();
    if (sub_) sub_->StepIt();
  }
}

std::int32_t CountWords(std::string_view text) {
  return 1 + static_cast<std::int32_t>(std::count(text.begin(), text.end(), ' '));
}

std::string GetTrimmedLine(const LineList& lines, std::int64_t index) {
  if (index < 0 || static_cast<std::uint64_t>(index) >= lines.size()) throwIndexError(index);
  return Trim(lines[static_cast<std::size_t>(index)]);
}

}  // namespace zevrin
