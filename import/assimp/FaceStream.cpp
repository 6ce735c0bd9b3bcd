#include "import/assimp/FaceStream.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "util/Errors.h"
#include "util/Ustrlib.h"

namespace zevrin {

using namespace facestream;

namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;

}  // namespace

FaceStreamWriter::FaceStreamWriter(Flush flush) : flush_(std::move(flush)) {
  buffer_.reserve(kBlock + 64);
  put(kMagic, sizeof kMagic);
  putWord(kVersion);
}

void FaceStreamWriter::put(const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  // A block or more (the vertices of a large mesh) goes out as it is, without a copy.
  if (size >= kBlock) {
    if (flush() && !flush_(bytes, size)) failed_ = true;
    return;
  }
  while (size > 0) {
    const std::size_t room = kBlock - std::min(buffer_.size(), kBlock);
    if (room == 0) {
      flush();
      continue;
    }
    const std::size_t n = std::min(room, size);
    buffer_.append(bytes, n);
    bytes += n;
    size -= n;
  }
}

bool FaceStreamWriter::flush() {
  if (!failed_ && !buffer_.empty() && !flush_(buffer_.data(), buffer_.size())) failed_ = true;
  buffer_.clear();
  return !failed_;
}

void FaceStreamWriter::Mesh(std::string_view layer, const FloatVertex* vertices,
                            std::uint32_t count, std::uint32_t faces) {
  putWord(kMeshTag);
  layer = layer.substr(0, kMaxLayer);
  putWord(static_cast<std::uint32_t>(layer.size()));
  put(layer.data(), layer.size());
  putWord(count);
  putWord(faces);
  static_assert(sizeof(FloatVertex) == 3 * sizeof(float));
  put(vertices, std::size_t{count} * sizeof(FloatVertex));
}

void FaceStreamWriter::Face(const std::uint32_t* indices, std::uint32_t count) {
  putWord(count);
  put(indices, std::size_t{count} * sizeof(std::uint32_t));
  ++faces_;
}

bool FaceStreamWriter::End() {
  putWord(kEndTag);
  put(&faces_, sizeof faces_);
  return flush();
}

bool FaceStreamWriter::Error(std::uint32_t kind, std::string_view reason) {
  putWord(kErrorTag);
  putWord(kind);
  reason = reason.substr(0, kMaxReason);
  putWord(static_cast<std::uint32_t>(reason.size()));
  put(reason.data(), reason.size());
  return flush();
}

namespace {

// Room made ahead for what an answer announces, at most: beyond it, room grows as bytes come.
constexpr std::uint32_t kVerticesAhead = 1u << 24;
constexpr std::uint32_t kFacesAhead = 1u << 22;
constexpr std::uint32_t kIndicesAhead = 1u << 16;

std::uint32_t wordOf(const unsigned char* bytes) {
  std::uint32_t w = 0;
  std::memcpy(&w, bytes, sizeof w);
  return w;
}

}  // namespace

FaceStreamReader::FaceStreamReader(std::string path, std::uint64_t memory_mb)
    : path_(std::move(path)), memory_mb_(memory_mb) {
  expect(State::Magic, sizeof kMagic);
}

void FaceStreamReader::bad(std::uint64_t offset) const {
  ZevrinError e(ErrorKind::ReaderBadAnswer, IntToStr(static_cast<std::int64_t>(offset)));
  e.setFile(path_);
  throw e;
}

void FaceStreamReader::expect(State state, std::uint64_t size) {
  state_ = state;
  remaining_ = size;
  field_have_ = 0;
  field_size_ = static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof field_));
  if (size == 0) complete();
}

std::size_t FaceStreamReader::takeField(const char* data, std::size_t size) {
  const std::size_t n = std::min(field_size_ - field_have_, size);
  std::memcpy(field_ + field_have_, data, n);
  field_have_ += n;
  offset_ += n;
  if (field_have_ == field_size_) complete();
  return n;
}

namespace {

// Appends whole items of `data` to `out`, the bytes of one that comes in pieces gathered in
// `partial` first. Returns the bytes taken; `remaining` counts the items still to come.
template <class T>
std::size_t takeItems(const char* data, std::size_t size, std::vector<T>& out,
                      unsigned char* partial, std::size_t& have, std::uint64_t& remaining) {
  constexpr std::size_t kSize = sizeof(T);
  if (have > 0 || size < kSize) {
    const std::size_t n = std::min(kSize - have, size);
    std::memcpy(partial + have, data, n);
    have += n;
    if (have == kSize) {
      T item;
      std::memcpy(&item, partial, kSize);
      out.push_back(item);
      have = 0;
      --remaining;
    }
    return n;
  }
  const std::size_t count =
      static_cast<std::size_t>(std::min<std::uint64_t>(size / kSize, remaining));
  const std::size_t had = out.size();
  out.resize(had + count);
  std::memcpy(out.data() + had, data, count * kSize);
  remaining -= count;
  return count * kSize;
}

}  // namespace

void FaceStreamReader::Feed(const char* data, std::size_t size) {
  while (size > 0) {
    std::size_t used = 0;
    switch (state_) {
      case State::Done:
        bad(offset_);
      case State::Vertices:
      case State::Indices:
        used = state_ == State::Vertices
                   ? takeItems(data, size, vertices_, field_, field_have_, remaining_)
                   : takeItems(data, size, indices_, field_, field_have_, remaining_);
        offset_ += used;
        if (remaining_ == 0) complete();
        break;
      case State::Layer:
      case State::ErrorText:
        used = static_cast<std::size_t>(std::min<std::uint64_t>(size, remaining_));
        text_.append(data, used);
        remaining_ -= used;
        offset_ += used;
        if (remaining_ == 0) complete();
        break;
      default:
        used = takeField(data, size);
        break;
    }
    data += used;
    size -= used;
  }
}

void FaceStreamReader::complete() {
  const std::uint32_t word = wordOf(field_);
  const std::uint64_t field_at = offset_ - field_size_;
  const auto nextItem = [this] {
    item_ = offset_;
    expect(State::Tag, sizeof(std::uint32_t));
  };
  switch (state_) {
    case State::Magic:
      if (std::memcmp(field_, kMagic, sizeof kMagic) != 0) bad(0);
      expect(State::Version, sizeof(std::uint32_t));
      return;
    case State::Version:
      if (word != kVersion) bad(field_at);
      nextItem();
      return;
    case State::Tag:
      if (word == kMeshTag) {
        expect(State::LayerSize, sizeof(std::uint32_t));
      } else if (word == kEndTag) {
        expect(State::EndCount, sizeof(std::uint64_t));
      } else if (word == kErrorTag) {
        expect(State::ErrorKind, sizeof(std::uint32_t));
      } else if (word >= 2 && word < 0x80000000u && have_mesh_) {
        array_start_ = offset_;
        indices_.clear();
        indices_.reserve(std::min(word, kIndicesAhead));
        expect(State::Indices, word);
      } else {
        bad(item_);
      }
      return;
    case State::LayerSize:
      if (word > kMaxLayer) bad(field_at);
      text_.clear();
      expect(State::Layer, word);
      return;
    case State::Layer:
      expect(State::VertexCount, sizeof(std::uint32_t));
      return;
    case State::VertexCount:
      vertex_count_ = word;
      expect(State::FaceCount, sizeof(std::uint32_t));
      return;
    case State::FaceCount:
      face_hint_ = word;
      vertices_.clear();
      vertices_.reserve(std::min(vertex_count_, kVerticesAhead));
      array_start_ = offset_;
      expect(State::Vertices, vertex_count_);
      return;
    case State::Vertices:
      builder_.Mesh(text_, vertices_.data(), vertex_count_, std::min(face_hint_, kFacesAhead));
      have_mesh_ = true;
      nextItem();
      return;
    case State::Indices: {
      const auto count = static_cast<std::uint32_t>(indices_.size());
      for (std::uint32_t c = 0; c < count; ++c)
        if (indices_[c] >= vertices_.size()) bad(array_start_ + std::uint64_t{c} * 4);
      builder_.Face(indices_.data(), count);
      ++faces_;
      nextItem();
      return;
    }
    case State::EndCount: {
      std::uint64_t total = 0;
      std::memcpy(&total, field_, sizeof total);
      if (total != faces_) bad(field_at);
      state_ = State::Done;
      return;
    }
    case State::ErrorKind:
      if (word != kRefused && word != kOutOfMemory) bad(field_at);
      error_kind_ = word;
      expect(State::ErrorSize, sizeof(std::uint32_t));
      return;
    case State::ErrorSize:
      if (word > kMaxReason) bad(field_at);
      text_.clear();
      expect(State::ErrorText, word);
      return;
    case State::ErrorText: {
      ZevrinError e = error_kind_ == kRefused
                          ? ZevrinError(ErrorKind::ImportFailed, text_)
                          : ZevrinError(ErrorKind::ReaderOutOfMemory,
                                        IntToStr(static_cast<std::int64_t>(memory_mb_)));
      e.setFile(path_);
      throw e;
    }
    case State::Done:
      return;
  }
}

std::unique_ptr<Massimp> FaceStreamReader::Finish() {
  if (state_ != State::Done) bad(offset_);
  return builder_.Finish();
}

std::unique_ptr<Massimp> DecodeFaceStream(std::string_view answer, const std::string& path,
                                          std::uint64_t memory_mb) {
  FaceStreamReader reader(path, memory_mb);
  reader.Feed(answer.data(), answer.size());
  return reader.Finish();
}

}  // namespace zevrin
