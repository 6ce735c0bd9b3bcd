#include "view/LabelSpace.h"

#include <algorithm>

namespace zevrin {
namespace {

// The bits from `from` up to but excluding `to` of one word, 0 <= from < to <= 64.
std::uint64_t bitRange(int from, int to) {
  const std::uint64_t upper = to == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << to) - 1;
  return upper & ~((std::uint64_t{1} << from) - 1);
}

}  // namespace

void LabelSpace::Reset(std::int32_t width, std::int32_t height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  words_per_row_ = (width_ + kWordBits - 1) / kWordBits;
  bits_.clear();
}

bool LabelSpace::anyInRow(std::int32_t y, std::int32_t x0, std::int32_t x1) const {
  const std::uint64_t* row = bits_.data() + static_cast<std::size_t>(y) * words_per_row_;
  for (std::int32_t w = x0 / kWordBits; w * kWordBits < x1; ++w) {
    const int from = std::max(x0 - w * kWordBits, 0);
    const int to = std::min(x1 - w * kWordBits, kWordBits);
    if (row[w] & bitRange(from, to)) return true;
  }
  return false;
}

void LabelSpace::setRow(std::int32_t y, std::int32_t x0, std::int32_t x1) {
  std::uint64_t* row = bits_.data() + static_cast<std::size_t>(y) * words_per_row_;
  for (std::int32_t w = x0 / kWordBits; w * kWordBits < x1; ++w) {
    const int from = std::max(x0 - w * kWordBits, 0);
    const int to = std::min(x1 - w * kWordBits, kWordBits);
    row[w] |= bitRange(from, to);
  }
}

LabelSpace::Outcome LabelSpace::Take(std::int64_t x0, std::int64_t y0, std::int64_t x1,
                                     std::int64_t y1) {
  const auto left = static_cast<std::int32_t>(std::max<std::int64_t>(x0, 0));
  const auto top = static_cast<std::int32_t>(std::max<std::int64_t>(y0, 0));
  const auto right = static_cast<std::int32_t>(std::min<std::int64_t>(x1, width_));
  const auto bottom = static_cast<std::int32_t>(std::min<std::int64_t>(y1, height_));
  if (left >= right || top >= bottom) return Outcome::Outside;
  if (bits_.empty()) bits_.assign(static_cast<std::size_t>(words_per_row_) * height_, 0);
  // The label's corner first: in a crowded picture it is nearly always the pixel that is
  // taken, and one test settles it.
  const std::uint64_t corner =
      bits_[static_cast<std::size_t>(top) * words_per_row_ + left / kWordBits];
  if (corner & (std::uint64_t{1} << (left % kWordBits))) return Outcome::Overlaps;
  for (std::int32_t y = top; y < bottom; ++y)
    if (anyInRow(y, left, right)) return Outcome::Overlaps;
  for (std::int32_t y = top; y < bottom; ++y) setRow(y, left, right);
  return Outcome::Taken;
}

}  // namespace zevrin
