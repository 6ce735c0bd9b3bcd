#include "import/M_dxf.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <numbers>
#include <optional>
#include <thread>
#include <unordered_map>

#include "model/tree/AM_step.h"
#include "util/Errors.h"

namespace zevrin {
namespace {

// Blocks, BlockHeader, InBlock and Insert are met only when inserts are expanded.
enum class State { Outside, OtherSection, Entities, Face, Blocks, BlockHeader, InBlock, Insert };

// Where a corner code writes: the corner, the axis, and whether the code counts a corner
// (the X codes do).
struct CornerField {
  std::size_t corner;
  int axis;
};

// "10" .. "33": the corner is the second digit, the axis the first.
std::optional<CornerField> cornerField(std::string_view code) {
  if (code.size() != 2) return std::nullopt;
  const char a = code[0];
  const char c = code[1];
  if (a < '1' || a > '3' || c < '0' || c > '3') return std::nullopt;
  return CornerField{static_cast<std::size_t>(c - '0'), a - '1'};
}

double& axisOf(Vec3& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

bool sameCorner(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// An INSERT entity as read, and where it stands among the faces of its list.
struct InsertRecord {
  std::string block;
  std::string layer;
  Vec3 at{};
  Vec3 scale{1, 1, 1};
  double rotation = 0;  // degrees
  Vec3 extrusion{0, 0, 1};
  std::int32_t columns = 1, rows = 1;
  double column_spacing = 0, row_spacing = 0;
  std::size_t position = 0;  // faces of the list that come before it
  std::int32_t line = 0;     // 1-based line of its "0"/"INSERT" pair
};

struct BlockRecord {
  Vec3 base{};
  std::vector<Mdxf_3dface> faces;
  std::vector<InsertRecord> inserts;
};

// An affine map of points: rows of a 3 x 4 matrix.
struct Affine {
  double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};

  Vec3 operator()(const Vec3& p) const {
    return {m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z + m[0][3],
            m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z + m[1][3],
            m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z + m[2][3]};
  }
  // This map after `inner`.
  Affine after(const Affine& inner) const {
    Affine out;
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 4; ++c) {
        out.m[r][c] = m[r][0] * inner.m[0][c] + m[r][1] * inner.m[1][c] + m[r][2] * inner.m[2][c] +
                      (c == 3 ? m[r][3] : 0.0);
      }
    }
    return out;
  }
};

Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vec3 unit(const Vec3& v) {
  const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return length > 0 ? Vec3{v.x / length, v.y / length, v.z / length} : Vec3{0, 0, 1};
}

// Block coordinates to the coordinates of the insert's container, for one cell of the array:
// from the base point, scaled, shifted to the cell, turned, moved to the insertion point, all
// in the insert's object coordinate system, which DXF's arbitrary axis rule lays into the
// world from the extrusion direction.
Affine insertMap(const InsertRecord& ins, const Vec3& base, std::int32_t column, std::int32_t row) {
  const Vec3 n = unit(ins.extrusion);
  const Vec3 ax = unit(std::abs(n.x) < 1.0 / 64 && std::abs(n.y) < 1.0 / 64 ? cross({0, 1, 0}, n)
                                                                            : cross({0, 0, 1}, n));
  const Vec3 ay = unit(cross(n, ax));
  const double turn = ins.rotation * std::numbers::pi / 180;
  const double c = std::cos(turn), s = std::sin(turn);
  const double dx = column * ins.column_spacing, dy = row * ins.row_spacing;
  // In object coordinates: q = at + R (S (p - base) + d).
  Affine local;
  local.m[0][0] = c * ins.scale.x;
  local.m[0][1] = -s * ins.scale.y;
  local.m[0][2] = 0;
  local.m[1][0] = s * ins.scale.x;
  local.m[1][1] = c * ins.scale.y;
  local.m[1][2] = 0;
  local.m[2][0] = 0;
  local.m[2][1] = 0;
  local.m[2][2] = ins.scale.z;
  for (int r = 0; r < 3; ++r)
    local.m[r][3] = -(local.m[r][0] * base.x + local.m[r][1] * base.y + local.m[r][2] * base.z);
  local.m[0][3] += c * dx - s * dy + ins.at.x;
  local.m[1][3] += s * dx + c * dy + ins.at.y;
  local.m[2][3] += ins.at.z;
  Affine world;
  for (int r = 0; r < 3; ++r) {
    const auto pick = [r](const Vec3& v) { return r == 0 ? v.x : r == 1 ? v.y : v.z; };
    world.m[r][0] = pick(ax);
    world.m[r][1] = pick(ay);
    world.m[r][2] = pick(n);
    world.m[r][3] = 0;
  }
  return world.after(local);
}

[[noreturn]] void failAtInsert(ErrorKind kind, std::int64_t limit, std::int32_t line) {
  ZevrinError e(kind, IntToStr(limit));
  if (line > 0) e.setLine(line);
  throw e;
}

// Puts the faces of blocks in place of the inserts that name them.
class InsertExpander {
 public:
  explicit InsertExpander(const std::unordered_map<std::string, BlockRecord>& blocks)
      : blocks_(blocks) {}

  // Checks, before a face is made, that the inserts of a list form no ring, nest no deeper
  // than the limit and bring no more faces (nor array cells, which take time even for an
  // empty block) than the limit. Each block is measured once, however often it is placed.
  // The file's own faces do not count: only what the inserts add.
  void Check(const std::vector<InsertRecord>& inserts) { Measure({}, inserts, 0); }

  // `faces` and `inserts` of one list, merged in file order into `out`, mapped by `map`;
  // faces of layer "0" take `layer` when one is given.
  void Expand(const std::vector<Mdxf_3dface>& faces, const std::vector<InsertRecord>& inserts,
              const Affine* map, const std::string* layer, std::int32_t depth,
              std::vector<Mdxf_3dface>& out) {
    std::size_t next_face = 0;
    for (const InsertRecord& ins : inserts) {
      for (; next_face < ins.position && next_face < faces.size(); ++next_face)
        Emit(faces[next_face], map, layer, out);
      const auto it = blocks_.find(FoldedUpper(ins.block));
      if (it == blocks_.end()) continue;
      if (depth >= Mdxf::kMaxInsertDepth)  // Check has ruled it out; a guard all the same
        failAtInsert(ErrorKind::InsertsTooDeep, Mdxf::kMaxInsertDepth, ins.line);
      const std::string& inner_layer = layer && ins.layer == "0" ? *layer : ins.layer;
      const std::int32_t columns = std::max(ins.columns, 1), rows = std::max(ins.rows, 1);
      for (std::int32_t row = 0; row < rows; ++row) {
        for (std::int32_t column = 0; column < columns; ++column) {
          const Affine cell = insertMap(ins, it->second.base, column, row);
          const Affine whole = map ? map->after(cell) : cell;
          Expand(it->second.faces, it->second.inserts, &whole, &inner_layer, depth + 1, out);
        }
      }
    }
    for (; next_face < faces.size(); ++next_face) Emit(faces[next_face], map, layer, out);
  }

 private:
  void Emit(const Mdxf_3dface& face, const Affine* map, const std::string* layer,
            std::vector<Mdxf_3dface>& out) {
    out.push_back(face);
    Mdxf_3dface& placed = out.back();
    if (map) {
      for (Vec3& corner : placed.Corners) corner = (*map)(corner);
    }
    if (layer && placed.Layer == "0") placed.Layer = *layer;
  }

  struct Extent {
    std::int64_t faces = 0;
    std::int64_t cells = 0;
    std::int32_t height = 0;  // levels of inserts below the list
  };

  // `depth`: the levels of inserts that lead to the list. A chain of many blocks, each placing
  // the next, ends at the limit rather than in a deep recursion.
  Extent Measure(const std::vector<Mdxf_3dface>& faces, const std::vector<InsertRecord>& inserts,
                 std::int32_t depth) {
    constexpr std::int64_t limit = Mdxf::kMaxExpandedFaces;
    Extent out;
    out.faces = static_cast<std::int64_t>(faces.size());
    for (const InsertRecord& ins : inserts) {
      const auto it = blocks_.find(FoldedUpper(ins.block));
      if (it == blocks_.end()) continue;
      const BlockRecord* block = &it->second;
      if (depth + 1 > Mdxf::kMaxInsertDepth)
        failAtInsert(ErrorKind::InsertsTooDeep, Mdxf::kMaxInsertDepth, ins.line);
      const auto [memo, fresh] = measured_.try_emplace(block, Extent{-1, -1, 0});
      if (!fresh && memo->second.faces < 0)  // still being measured: the block holds itself
        failAtInsert(ErrorKind::InsertsTooDeep, Mdxf::kMaxInsertDepth, ins.line);
      if (fresh) {
        // The measure enters more blocks, which may move the table's entries: no iterator
        // is kept across it.
        const Extent measured = Measure(block->faces, block->inserts, depth + 1);
        measured_[block] = measured;
      }
      const Extent inner = measured_.at(block);
      if (depth + 1 + inner.height > Mdxf::kMaxInsertDepth)
        failAtInsert(ErrorKind::InsertsTooDeep, Mdxf::kMaxInsertDepth, ins.line);
      // Copies are below 2^62 and both counts of a block at most the limit: each product is
      // checked by division before it is formed.
      const std::int64_t copies =
          static_cast<std::int64_t>(std::max(ins.columns, 1)) * std::max(ins.rows, 1);
      if ((inner.faces > 0 && copies > limit / inner.faces) || copies > limit / (inner.cells + 1))
        failAtInsert(ErrorKind::TooManyFaces, limit, ins.line);
      out.faces += copies * inner.faces;
      out.cells += copies * (inner.cells + 1);
      if (out.faces > limit || out.cells > limit)
        failAtInsert(ErrorKind::TooManyFaces, limit, ins.line);
      out.height = std::max(out.height, inner.height + 1);
    }
    return out;
  }

  const std::unordered_map<std::string, BlockRecord>& blocks_;
  std::unordered_map<const BlockRecord*, Extent> measured_;
};

void readInsertField(InsertRecord& ins, std::string_view code, std::string_view value,
                     std::int64_t line) {
  const auto real = [&] { return WithLine(line - 1, [&] { return StrToFloat(value); }); };
  const auto count = [&] { return WithLine(line - 1, [&] { return StrToInt(value); }); };
  if (code == "2")
    ins.block.assign(value);
  else if (code == "8")
    ins.layer.assign(value);
  else if (code == "10")
    ins.at.x = real();
  else if (code == "20")
    ins.at.y = real();
  else if (code == "30")
    ins.at.z = real();
  else if (code == "41")
    ins.scale.x = real();
  else if (code == "42")
    ins.scale.y = real();
  else if (code == "43")
    ins.scale.z = real();
  else if (code == "50")
    ins.rotation = real();
  else if (code == "70")
    ins.columns = count();
  else if (code == "71")
    ins.rows = count();
  else if (code == "44")
    ins.column_spacing = real();
  else if (code == "45")
    ins.row_spacing = real();
  else if (code == "210")
    ins.extrusion.x = real();
  else if (code == "220")
    ins.extrusion.y = real();
  else if (code == "230")
    ins.extrusion.z = real();
}

}  // namespace

// One reading of DXF pairs: the state between pairs and what has been read. The file's faces
// go to `faces`; blocks and inserts are kept only while inserts are expanded.
class Mdxf::Reading {
 public:
  Reading(std::vector<Mdxf_3dface>& faces, bool expand_inserts)
      : faces_(faces), expand_(expand_inserts) {}

  enum class Stop { End, AtMark };

  // Reads pairs from `source` until the "0"/"EOF" pair or the end of the lines; or, when
  // `mark` is given, until a pair that starts exactly `mark` bytes into the text (a pair that
  // runs across the mark makes the mark pass unused). `line_base` is the 0-based line of the
  // source's first line, for the lines errors name.
  Stop Read(LineSource& source, std::int64_t line_base, SourceProgress* progress,
            std::optional<std::uint64_t> mark = std::nullopt,
            std::atomic<std::uint64_t>* done = nullptr) {
    std::string_view code_line;
    std::string_view value_line;
    std::uint32_t pairs = 0;
    // Watched while the reading has not passed it.
    bool watching = mark.has_value();
    const std::uint64_t mark_at = mark.value_or(0);
    for (;;) {
      if (watching) {
        if (source.Done() == mark_at) return Stop::AtMark;
        if (source.Done() > mark_at) watching = false;
      }
      const std::int64_t i = line_base + source.Index();  // of the code line, 0-based
      // Line indices are 32-bit throughout the program.
      if (i > std::numeric_limits<std::int32_t>::max() - 3)
        throwIndexError(std::numeric_limits<std::int32_t>::max());
      if (!source.Next(code_line)) return Stop::End;
      if (progress) progress->Update();
      if (done && (++pairs & 4095) == 0) done->store(source.Done(), std::memory_order_relaxed);
      if (!source.Next(value_line)) {
        // The code's value line is missing: the error names the code's line.
        ZevrinError e(ErrorKind::IndexOutOfRange, IntToStr(i + 1));
        e.setLine(static_cast<std::int32_t>(i + 1));
        throw e;
      }
      if (!Pair(TrimView(code_line), TrimView(value_line), i)) return Stop::End;
    }
  }

  // Whether reading may go on from a pair "0"/"3DFACE" in the ENTITIES section: the reading
  // stands between entities of that section, or inside a face that such a pair closes.
  bool BetweenEntities() const {
    return (state_ == State::Entities) || (state_ == State::Face && face_list_ == &faces_);
  }
  void StartInEntities() { state_ = State::Entities; }
  // Closes a face still open, as the next entity's pair would.
  void CloseFace() {
    if (state_ != State::Face) return;
    closeFace();
    state_ = face_back_;
  }

  // Puts the blocks' faces in place of the inserts.
  void PlaceInserts() {
    if (top_inserts_.empty()) return;
    std::vector<Mdxf_3dface> placed;
    InsertExpander expander(blocks_);
    expander.Check(top_inserts_);
    expander.Expand(faces_, top_inserts_, nullptr, nullptr, 0, placed);
    faces_ = std::move(placed);
  }

 private:
  void closeFace() {
    if (sameCorner(face_->Corners[2], face_->Corners[3])) --face_->CornerCount;
    face_list_->push_back(std::move(*face_));
    face_.reset();
  }

  // One pair; false for the "0"/"EOF" pair, which ends the reading.
  bool Pair(std::string_view code, std::string_view value, std::int64_t i) {
    if (code == "0" && SameKeyword(value, "EOF")) return false;
    // A pair that ends an entity or a block header is read again in the state it leads to.
    bool again = true;
    while (again) {
      again = false;
      switch (state_) {
        case State::Outside:
          if (code == "0" && SameKeyword(value, "SECTION")) state_ = State::OtherSection;
          break;
        case State::OtherSection:
          if (code == "0" && SameKeyword(value, "ENDSEC"))
            state_ = State::Outside;
          else if (code == "2" && SameKeyword(value, "ENTITIES"))
            state_ = State::Entities;
          else if (expand_ && code == "2" && SameKeyword(value, "BLOCKS"))
            state_ = State::Blocks;
          break;
        case State::Entities:
          if (code == "0" && SameKeyword(value, "ENDSEC")) {
            state_ = State::Outside;
          } else if (code == "0" && SameKeyword(value, "3DFACE")) {
            face_.emplace();
            face_list_ = &faces_;
            face_back_ = State::Entities;
            state_ = State::Face;
          } else if (expand_ && code == "0" && SameKeyword(value, "INSERT")) {
            insert_.emplace();
            insert_->position = faces_.size();
            insert_->line = static_cast<std::int32_t>(i + 1);
            insert_list_ = &top_inserts_;
            face_back_ = State::Entities;
            state_ = State::Insert;
          }
          break;
        case State::Blocks:
          if (code == "0" && SameKeyword(value, "ENDSEC")) {
            state_ = State::Outside;
          } else if (code == "0" && SameKeyword(value, "BLOCK")) {
            scratch_block_ = BlockRecord();
            block_name_.clear();
            state_ = State::BlockHeader;
          }
          break;
        case State::BlockHeader:
          if (code == "0") {
            // The first block of a name counts, as CAD programs keep names unique.
            const auto [it, fresh] =
                blocks_.try_emplace(FoldedUpper(block_name_), std::move(scratch_block_));
            if (fresh) {
              block_ = &it->second;
            } else {
              scratch_block_ = BlockRecord();
              block_ = &scratch_block_;
            }
            state_ = State::InBlock;
            again = true;
          } else if (code == "2") {
            block_name_.assign(value);
          } else if (const auto field = cornerField(code); field && field->corner == 0) {
            WithLine(i + 1, [&] { axisOf(scratch_block_.base, field->axis) = StrToFloat(value); });
          }
          break;
        case State::InBlock:
          if (code == "0" && SameKeyword(value, "ENDBLK")) {
            state_ = State::Blocks;
          } else if (code == "0" && SameKeyword(value, "ENDSEC")) {
            state_ = State::Outside;
          } else if (code == "0" && SameKeyword(value, "3DFACE")) {
            face_.emplace();
            face_list_ = &block_->faces;
            face_back_ = State::InBlock;
            state_ = State::Face;
          } else if (code == "0" && SameKeyword(value, "INSERT")) {
            insert_.emplace();
            insert_->position = block_->faces.size();
            insert_->line = static_cast<std::int32_t>(i + 1);
            insert_list_ = &block_->inserts;
            face_back_ = State::InBlock;
            state_ = State::Insert;
          }
          break;
        case State::Insert:
          if (code == "0") {
            insert_list_->push_back(std::move(*insert_));
            insert_.reset();
            state_ = face_back_;
            again = true;
          } else {
            readInsertField(*insert_, code, value, i + 1);
          }
          break;
        case State::Face:
          if (code == "0") {
            // Any entity or the section's end closes the face; the same pair is read again
            // between entities.
            closeFace();
            state_ = face_back_;
            again = true;
          } else if (code == "8") {
            face_->Layer.assign(value);
          } else if (code == "62") {
            face_->Color = WithLine(i + 1, [&] { return StrToInt(value); });
          } else if (const auto field = cornerField(code)) {
            WithLine(i + 1, [&] {
              axisOf(face_->Corners[field->corner], field->axis) = StrToFloat(value);
              if (field->axis == 0) CheckCornerCount(face_->CornerCount + 1);
            });
            if (field->axis == 0) ++face_->CornerCount;
          }
          break;
      }
    }
    return true;
  }

  std::vector<Mdxf_3dface>& faces_;
  const bool expand_;
  State state_ = State::Outside;
  std::optional<Mdxf_3dface> face_;
  // Where a face goes when it closes, and the state that reads on: the file's faces and the
  // ENTITIES section unless a block is being read.
  std::vector<Mdxf_3dface>* face_list_ = &faces_;
  State face_back_ = State::Entities;
  // Only while inserts are expanded.
  std::vector<InsertRecord> top_inserts_;
  std::vector<InsertRecord>* insert_list_ = &top_inserts_;
  std::unordered_map<std::string, BlockRecord> blocks_;
  BlockRecord* block_ = nullptr;
  std::string block_name_;
  BlockRecord scratch_block_;  // the header's fields land here until the name is known
  std::optional<InsertRecord> insert_;
};

namespace {

// Where the text may be cut in two for reading in parallel: the start of a line "0" that a
// line "3DFACE" follows, the first at or after the middle of the text (and not too far after
// it). Whether that line is a group code, and the pair starts an entity of ENTITIES, only the
// reading up to it can tell. None for a text without LF line ends.
std::optional<std::size_t> splitPoint(std::string_view bytes) {
  // The line that starts at `at`, and where the next one starts, as LineSource splits them.
  const auto line_at = [&](std::size_t at, std::size_t& next) {
    std::size_t end = at;
    while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r') ++end;
    next = end;
    if (next < bytes.size())
      next += bytes[next] == '\r' && next + 1 < bytes.size() && bytes[next + 1] == '\n' ? 2 : 1;
    return bytes.substr(at, end - at);
  };
  std::size_t at = bytes.size() / 2;
  const std::size_t give_up = at + std::min<std::size_t>(bytes.size() / 4, std::size_t{1} << 24);
  while (at < give_up) {
    const std::size_t lf = bytes.find('\n', at);
    if (lf == std::string_view::npos || lf + 1 >= bytes.size()) return std::nullopt;
    at = lf + 1;
    std::size_t value_at = 0;
    std::size_t after = 0;
    if (TrimView(line_at(at, value_at)) != "0" || value_at >= bytes.size()) continue;
    if (SameKeyword(TrimView(line_at(value_at, after)), "3DFACE")) return at;
  }
  return std::nullopt;
}

}  // namespace

std::int32_t Mdxf::ReadSection(const LineList& lines, std::int32_t /*start*/, StepContext& step) {
  step.Bars.ResetSub();
  LineSource source(lines, 0);
  SourceProgress progress(source, step.Bars);
  Reading reading(Faces, ExpandInserts);
  reading.Read(source, 0, &progress);
  reading.PlaceInserts();
  CollectLayers();
  return static_cast<std::int32_t>(source.Index());
}

void Mdxf::ReadText(std::string_view bytes, StepContext& step) {
  // The lines end at a NUL byte, as in every other reader.
  if (const void* nul = std::memchr(bytes.data(), 0, bytes.size()))
    bytes = bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - bytes.data()));
  // A 3DFACE takes well over a hundred bytes in any file met so far. Room reserved beyond
  // what the faces fill is never touched, so it costs address space, not memory; growing a
  // vector of a million faces instead would copy them again and again.
  Faces.reserve(Faces.size() + bytes.size() / 128);
  ReadInHalves = false;
  step.Bars.ResetSub();
  LineSource source(bytes);
  SourceProgress progress(source, step.Bars);
  Reading reading(Faces, ExpandInserts);
  // A large drawing is read in two halves at once. The second half is read from the split
  // point as if the ENTITIES section went on there; that holds, and its faces are taken,
  // only when the reading of the first half arrives exactly at the split point between two
  // entities of ENTITIES. Otherwise, and whenever the second half fails, its reading is
  // thrown away and the first reading goes on through the whole text, so that the faces, the
  // errors and their lines are always those of one reading from the start.
  const std::optional<std::size_t> split =
      !ExpandInserts && bytes.size() >= ParallelFromBytes ? splitPoint(bytes) : std::nullopt;
  if (split) {
    std::vector<Mdxf_3dface> tail_faces;
    tail_faces.reserve((bytes.size() - *split) / 128);
    std::atomic<std::uint64_t> tail_done{0};
    std::atomic<bool> tail_finished{false};
    bool tail_ok = false;
    std::int64_t tail_lines = 0;
    std::exception_ptr tail_failure;
    std::jthread tail([&] {
      try {
        LineSource tail_source(bytes.substr(*split));
        Reading tail_reading(tail_faces, false);
        tail_reading.StartInEntities();
        // A face still open at the end is dropped, as in one reading.
        tail_reading.Read(tail_source, 0, nullptr, std::nullopt, &tail_done);
        tail_lines = tail_source.Index();
        tail_ok = true;
      } catch (const ZevrinError&) {
        // The first reading meets the same error, with its true line.
      } catch (...) {
        tail_failure = std::current_exception();
      }
      tail_finished.store(true, std::memory_order_release);
    });
    const Reading::Stop stop = reading.Read(source, 0, &progress, *split);
    // The first half is done; the bar follows the second until it is.
    while (!tail_finished.load(std::memory_order_acquire)) {
      progress.Update(*split + tail_done.load(std::memory_order_relaxed));
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    tail.join();
    if (tail_failure) std::rethrow_exception(tail_failure);
    const std::int64_t head_lines = source.Index();
    if (stop == Reading::Stop::AtMark && reading.BetweenEntities() && tail_ok &&
        head_lines + tail_lines <= std::numeric_limits<std::int32_t>::max() - 3) {
      reading.CloseFace();
      ReadInHalves = true;
      Faces.insert(Faces.end(), std::make_move_iterator(tail_faces.begin()),
                   std::make_move_iterator(tail_faces.end()));
      CollectLayers();
      return;
    }
    if (stop == Reading::Stop::End) {
      CollectLayers();
      return;
    }
  }
  reading.Read(source, 0, &progress);
  reading.PlaceInserts();
  CollectLayers();
}

}  // namespace zevrin
