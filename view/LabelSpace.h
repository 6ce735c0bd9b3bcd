// Where the labels of one picture already stand, so that a label that would cover another is
// left out: one bit per pixel. Asking costs time bounded by the label's box, whatever number
// of labels came before, so that labelling a model of millions of points costs little more
// than drawing it, and the picture holds at most as many labels as fit on it.
#pragma once

#include <cstdint>
#include <vector>

namespace zevrin {

class LabelSpace {
 public:
  enum class Outcome {
    Outside,   // the box lies wholly off the picture
    Taken,     // the box was free and is now taken
    Overlaps,  // the box covers a pixel of a label already there
  };

  // An empty picture of `width` x `height` pixels.
  void Reset(std::int32_t width, std::int32_t height);
  // Takes the pixels of the box from (x0, y0) up to but excluding (x1, y1), as far as it lies
  // on the picture, when none of them is taken yet.
  Outcome Take(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1);
  // Whether the pixel (x, y) of the picture is taken: then every box with its corner there
  // overlaps, whatever its size. False off the picture.
  bool IsTaken(std::int64_t x, std::int64_t y) const {
    if (bits_.empty() || x < 0 || y < 0 || x >= width_ || y >= height_) return false;
    const std::uint64_t word = bits_[static_cast<std::size_t>(y) * words_per_row_ + x / kWordBits];
    return (word >> (x % kWordBits)) & 1;
  }

 private:
  static constexpr int kWordBits = 64;
  // Whether any pixel of row `y` from x0 up to x1 is taken (`set`: and take them all).
  bool anyInRow(std::int32_t y, std::int32_t x0, std::int32_t x1) const;
  void setRow(std::int32_t y, std::int32_t x0, std::int32_t x1);

  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  std::int32_t words_per_row_ = 0;
  std::vector<std::uint64_t> bits_;  // made on the first label of a picture
};

}  // namespace zevrin
