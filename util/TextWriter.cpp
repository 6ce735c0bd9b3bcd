#include "util/TextWriter.h"

#include <algorithm>

namespace zevrin {

TextWriter::TextWriter(LineList& lines) : lines_(&lines) { grow(256); }

TextWriter::TextWriter(const ByteSink& sink, std::size_t block) : sink_(&sink), block_(block) {
  grow(block_ + 256);
}

bool TextWriter::grow(std::size_t n) {
  if (failed_) return false;
  const auto used = static_cast<std::size_t>(pos_ - buf_.get());
  const std::size_t size = static_cast<std::size_t>(end_ - buf_.get());
  const std::size_t wanted = std::max(used + n, 2 * size);
  auto bigger = std::make_unique<char[]>(wanted);
  if (used > 0) std::memcpy(bigger.get(), buf_.get(), used);
  buf_ = std::move(bigger);
  pos_ = buf_.get() + used;
  end_ = buf_.get() + wanted;
  return true;
}

void TextWriter::endLineSlowly() {
  if (lines_) {
    lines_->emplace_back(buf_.get(), pos_);
    flushed_ += static_cast<std::uint64_t>(pos_ - buf_.get()) + 2;
    pos_ = buf_.get();
    return;
  }
  if (failed_) {
    pos_ = buf_.get();  // after a refusal nothing more is gathered: the file is abandoned
    return;
  }
  // The line end is in place and the block is full.
  if (!(*sink_)(buf_.get(), static_cast<std::size_t>(pos_ - buf_.get()))) failed_ = true;
  flushed_ += static_cast<std::uint64_t>(pos_ - buf_.get());
  pos_ = buf_.get();
}

bool TextWriter::Finish() {
  if (lines_) return true;
  const auto used = static_cast<std::size_t>(pos_ - buf_.get());
  if (!failed_ && used > 0 && !(*sink_)(buf_.get(), used)) failed_ = true;
  flushed_ += used;
  pos_ = buf_.get();
  return !failed_;
}

}  // namespace zevrin
