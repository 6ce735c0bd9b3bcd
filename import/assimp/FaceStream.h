// The answer of the reader process: the meshes of a scene in a compact binary form, written by
// the reader (FaceStreamWriter) and turned back into the polygon model by Zevrin as it arrives
// (FaceStreamReader), which trusts none of it.
//
// Layout, every number in the machine's own byte order (both ends run on the same machine):
//   "ZVRF", u32 version
//   then items, each beginning with a u32 word w:
//     w = kMeshTag:  u32 layer length (at most kMaxLayer), layer bytes, u32 vertex count V,
//                    u32 number of faces the mesh has (room to make; no promise),
//                    V x 3 f32 (x, y, z: Assimp's own numbers, the widening is Zevrin's)
//     2 <= w < 2^31: a face of w corners of the last mesh: w x u32 vertex index (below V)
//     w = kEndTag:   u64 number of faces; nothing may follow
//     w = kErrorTag: u32 kind (kRefused or kOutOfMemory), u32 length (at most kMaxReason),
//                    reason bytes; the answer ends with it
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "import/assimp/AssimpScene.h"

namespace zevrin {

namespace facestream {
inline constexpr char kMagic[4] = {'Z', 'V', 'R', 'F'};
inline constexpr std::uint32_t kVersion = 1;
inline constexpr std::uint32_t kMeshTag = 0xFFFFFFF1u;
inline constexpr std::uint32_t kEndTag = 0xFFFFFFF2u;
inline constexpr std::uint32_t kErrorTag = 0xFFFFFFF3u;
inline constexpr std::uint32_t kRefused = 1;      // Assimp refused the file: ImportFailed
inline constexpr std::uint32_t kOutOfMemory = 2;  // the reader ran out of memory
inline constexpr std::uint32_t kMaxLayer = 1 << 16;
inline constexpr std::uint32_t kMaxReason = 1 << 20;
}  // namespace facestream

// Writes the answer through `flush`, which gets the bytes in blocks of about a megabyte and
// returns false when they could not be written (the writer then stops writing).
class FaceStreamWriter : public MeshSink {
 public:
  using Flush = std::function<bool(const char* data, std::size_t size)>;
  explicit FaceStreamWriter(Flush flush);
  void Mesh(std::string_view layer, const FloatVertex* vertices, std::uint32_t count,
            std::uint32_t faces) override;
  void Face(const std::uint32_t* indices, std::uint32_t count) override;
  // The last item: the end with the number of faces, or an error. Both flush what is left.
  bool End();
  bool Error(std::uint32_t kind, std::string_view reason);
  std::uint64_t Faces() const { return faces_; }

 private:
  void put(const void* data, std::size_t size);
  void putWord(std::uint32_t word) { put(&word, sizeof word); }
  bool flush();

  Flush flush_;
  std::string buffer_;
  std::uint64_t faces_ = 0;
  bool failed_ = false;
};

// Builds the polygon model that an answer describes, exactly as FaceBuilder builds it from the
// scene, from the bytes as they come, so that no copy of the whole answer is ever held. Memory
// grows with the bytes that came, never with what they claim. Errors name `path`: an error item
// raises what it says (ImportFailed with the reason; ReaderOutOfMemory with `memory_mb`), and
// anything malformed raises ReaderBadAnswer with the offset of the byte at which the answer
// goes wrong, as soon as the bytes show it.
class FaceStreamReader {
 public:
  FaceStreamReader(std::string path, std::uint64_t memory_mb);
  void Feed(const char* data, std::size_t size);
  // The end item has come.
  bool Done() const { return state_ == State::Done; }
  // Bytes taken so far.
  std::uint64_t Offset() const { return offset_; }
  // The faces of a whole answer; one that stopped short raises ReaderBadAnswer at its end.
  std::unique_ptr<Massimp> Finish();

 private:
  enum class State {
    Magic,
    Version,
    Tag,
    LayerSize,
    Layer,
    VertexCount,
    FaceCount,
    Vertices,
    Indices,
    EndCount,
    ErrorKind,
    ErrorSize,
    ErrorText,
    Done
  };
  [[noreturn]] void bad(std::uint64_t offset) const;
  // Enters `state`, which reads `size` bytes (fields) or items (vertices, indices, text).
  void expect(State state, std::uint64_t size);
  // The field, text or array of the state is complete.
  void complete();
  std::size_t takeField(const char* data, std::size_t size);

  std::string path_;
  std::uint64_t memory_mb_;
  FaceBuilder builder_;
  State state_ = State::Magic;
  std::uint64_t offset_ = 0;
  std::uint64_t item_ = 0;       // where the item at hand began
  std::uint64_t remaining_ = 0;  // bytes of a field, items of an array, bytes of a text
  std::uint64_t array_start_ = 0;
  unsigned char field_[16] = {};  // a field, or one vertex or index, as it comes
  std::size_t field_have_ = 0;
  std::size_t field_size_ = 0;
  std::string text_;
  std::uint32_t face_hint_ = 0;  // the faces the mesh at hand announces
  std::uint32_t vertex_count_ = 0;
  std::uint32_t error_kind_ = 0;
  std::vector<FloatVertex> vertices_;
  std::vector<std::uint32_t> indices_;
  bool have_mesh_ = false;
  std::uint64_t faces_ = 0;
};

// The polygon model of a whole answer in one piece.
std::unique_ptr<Massimp> DecodeFaceStream(std::string_view answer, const std::string& path,
                                          std::uint64_t memory_mb);

}  // namespace zevrin
