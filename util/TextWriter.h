// Lines written one after another: into a line list, or with CR LF after each, gathered in
// large blocks, to the sink of a file being written. The section writers build each line in
// place, numbers included, so that a saved model needs no text per line.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "util/FmxUtils.h"
#include "util/Ustrlib.h"

namespace zevrin {

class TextWriter {
 public:
  // Each line becomes an element of `lines`.
  explicit TextWriter(LineList& lines);
  // Each line, followed by CR LF, goes to `sink` in blocks of about `block` bytes.
  explicit TextWriter(const ByteSink& sink, std::size_t block = std::size_t{1} << 20);
  // The writer keeps the sink: a temporary one would be gone before the first block.
  explicit TextWriter(ByteSink&& sink, std::size_t block = std::size_t{1} << 20) = delete;
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;

  // Pieces of the current line.
  TextWriter& Add(std::string_view text) {
    if (room(text.size())) {
      std::memcpy(pos_, text.data(), text.size());
      pos_ += text.size();
    }
    return *this;
  }
  TextWriter& AddChar(char c) {
    if (room(1)) *pos_++ = c;
    return *this;
  }
  TextWriter& AddInt(std::int64_t value) {
    if (room(24)) pos_ = std::to_chars(pos_, pos_ + 24, value).ptr;
    return *this;
  }
  // FloatToStr(value).
  TextWriter& AddFloat(double value) {
    if (room(kMaxFloatText)) pos_ = FormatFloat(pos_, value);
    return *this;
  }
  // TagFloatToStr(value): numbers of the modeller's tag files.
  TextWriter& AddTagFloat(double value) {
    if (room(kMaxTagFloatText)) pos_ = FormatTagFloat(pos_, value);
    return *this;
  }
  // Ends the current line.
  void EndLine() {
    if (!lines_ && !failed_ && room(2)) {
      *pos_++ = '\r';
      *pos_++ = '\n';
      if (static_cast<std::size_t>(pos_ - buf_.get()) < block_) return;
    }
    endLineSlowly();
  }
  void Line(std::string_view text) {
    Add(text);
    EndLine();
  }

  // Between lines: the bytes of the lines ended so far, each with its CR LF (as a file holds
  // them, for a writer to a list too). A format that stores offsets of its own lines needs it.
  std::uint64_t Offset() const {
    return flushed_ + (lines_ ? 0 : static_cast<std::uint64_t>(pos_ - buf_.get()));
  }

  // Hands what is gathered to the sink; false when the sink refused any block. A writer to a
  // list always succeeds.
  bool Finish();

 private:
  // Whether `n` more bytes can be written at pos_, growing the buffer when they do not fit;
  // false once the sink has refused a block (nothing more is gathered then).
  bool room(std::size_t n) { return static_cast<std::size_t>(end_ - pos_) >= n || grow(n); }
  bool grow(std::size_t n);
  // A line for the list, a full block for the sink, or the writer after a refusal.
  void endLineSlowly();

  LineList* lines_ = nullptr;
  const ByteSink* sink_ = nullptr;
  std::size_t block_ = 0;
  // The current line (list) or block (sink) is [buf_, pos_); the buffer ends at end_.
  std::unique_ptr<char[]> buf_;
  char* pos_ = nullptr;
  char* end_ = nullptr;
  bool failed_ = false;
  std::uint64_t flushed_ = 0;  // bytes handed to the sink, or of the lines in the list
};

}  // namespace zevrin
