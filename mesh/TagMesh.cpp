#include "mesh/TagMesh.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "mesh/AM5_cplist.h"
#include "model/tree/TagSection.h"
#include "util/Errors.h"
#include "util/FlatHash.h"

namespace zevrin {
namespace {

constexpr std::size_t kMaxWords = 16;

// The words of a line, split at spaces; false when there are more than kMaxWords.
bool splitWords(std::string_view line, std::array<std::string_view, kMaxWords>& words,
                std::size_t& count) {
  count = 0;
  const char* p = line.data();
  const char* const end = p + line.size();
  for (;;) {
    while (p != end && *p == ' ') ++p;
    if (p == end) return true;
    const char* q = p;
    while (q != end && *q != ' ') ++q;
    if (count == kMaxWords) return false;
    words[count++] = std::string_view(p, static_cast<std::size_t>(q - p));
    p = q;
  }
}

[[noreturn]] void badLine(std::string_view line) {
  throw ZevrinError(ErrorKind::TagBadLine, std::string(line));
}

// The values of a control-point line, into `p` (its links left alone).
void parsePoint(std::string_view line, M5cp& p) {
  std::array<std::string_view, kMaxWords> w;
  std::size_t n = 0;
  if (!splitWords(line, w, n) || n < 4) badLine(line);
  const std::int64_t flags = StrToInt64(w[0]);
  if (flags < 0 || flags > 4294967295LL) throw ZevrinError(ErrorKind::RangeCheck, "");
  p.Flags = static_cast<std::uint32_t>(flags);
  p.Attached = StrToInt(w[1]);
  if (p.Attached != 0 && p.Attached != 1) badLine(line);
  p.Id = StrToInt(w[2]);
  std::size_t k = 3;
  p.HookParam = 0;
  if (p.HasHookParamBits()) {
    if (k >= n) badLine(line);
    p.HookParam = StrToFloat(w[k++]);
  }
  if (p.Attached == 1) {
    if (k >= n) badLine(line);
    p.TargetId = StrToInt(w[k++]);
    p.X = p.Y = p.Z = 0;
  } else {
    if (k + 3 > n) badLine(line);
    p.TargetId = 0;
    p.X = StrToFloat(w[k]);
    p.Y = StrToFloat(w[k + 1]);
    p.Z = StrToFloat(w[k + 2]);
    k += 3;
  }
  const auto bias = [&](bool& is_default, Vec3& b) {
    if (k >= n) badLine(line);
    if (w[k] == ".") {
      is_default = true;
      b = Vec3{};
      ++k;
      return;
    }
    if (k + 3 > n) badLine(line);
    is_default = false;
    b = {StrToFloat(w[k]), StrToFloat(w[k + 1]), StrToFloat(w[k + 2])};
    k += 3;
  };
  if (k == n) {
    // A hook carries no bias fields.
    p.InBiasDefault = p.OutBiasDefault = true;
    p.InBias = p.OutBias = Vec3{};
  } else {
    bias(p.InBiasDefault, p.InBias);
    bias(p.OutBiasDefault, p.OutBias);
  }
  if (k != n) badLine(line);
  p.TagRecord = true;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool sameBits(const Vec3& a, const Vec3& b) {
  return sameBits(a.x, b.x) && sameBits(a.y, b.y) && sameBits(a.z, b.z);
}

// Whether `line` still says what the point holds, so that it can be written as read.
bool lineHolds(std::string_view line, const M5cp& p) {
  M5cp read;
  try {
    parsePoint(line, read);
  } catch (const ZevrinError&) {
    return false;
  }
  if (read.Flags != p.Flags || read.Attached != p.Attached || read.Id != p.Id) return false;
  if (p.HasHookParamBits() && !sameBits(read.HookParam, p.HookParam)) return false;
  if (p.Attached == 1 ? read.TargetId != p.TargetId
                      : !(sameBits(read.X, p.X) && sameBits(read.Y, p.Y) && sameBits(read.Z, p.Z)))
    return false;
  if (read.InBiasDefault != p.InBiasDefault || read.OutBiasDefault != p.OutBiasDefault)
    return false;
  if (!p.InBiasDefault && !sameBits(read.InBias, p.InBias)) return false;
  if (!p.OutBiasDefault && !sameBits(read.OutBias, p.OutBias)) return false;
  return true;
}

void addTagFloat(TextWriter& out, double value) { out.AddTagFloat(value); }

void writeBias(TextWriter& out, bool is_default, const Vec3& b) {
  out.AddChar(' ');
  if (is_default) {
    out.AddChar('.');
    return;
  }
  addTagFloat(out, b.x);
  out.AddChar(' ');
  addTagFloat(out, b.y);
  out.AddChar(' ');
  addTagFloat(out, b.z);
}

[[noreturn]] void throwAt(ErrorKind kind, std::int64_t value, std::int32_t line_index) {
  ZevrinError e(kind, std::to_string(value));
  if (line_index >= 0) e.setLine(line_index + 1);
  throw e;
}

}  // namespace

void TagMesh::WritePoint(TextWriter& out, const M5cp& p) {
  out.AddInt(p.Flags).AddChar(' ').AddInt(p.Attached).AddChar(' ').AddInt(p.Id);
  if (p.HasHookParamBits()) {
    out.AddChar(' ');
    addTagFloat(out, p.HookParam);
  }
  if (p.Attached == 1) {
    out.AddChar(' ').AddInt(p.TargetId);
  } else {
    out.AddChar(' ');
    addTagFloat(out, p.X);
    out.AddChar(' ');
    addTagFloat(out, p.Y);
    out.AddChar(' ');
    addTagFloat(out, p.Z);
  }
  // A hook with default biases carries no bias fields, as the modeller writes hooks.
  if (!(p.HasHookParamBits() && p.Attached == 1 && p.InBiasDefault && p.OutBiasDefault)) {
    writeBias(out, p.InBiasDefault, p.InBias);
    writeBias(out, p.OutBiasDefault, p.OutBias);
  }
  out.EndLine();
}

namespace {

void appendPatchLine(std::string& out, const TagMesh::Patch& patch) {
  AppendInt(out, patch.Flags);
  for (std::size_t k = 0; k < patch.Count; ++k) {
    out += ' ';
    AppendInt(out, patch.Corners[k]);
  }
  for (std::size_t k = 0; k < patch.Count; ++k) {
    out += ' ';
    AppendInt(out, patch.Normals[k]);
  }
  out += ' ';
  AppendInt(out, patch.Attr);
}

}  // namespace

std::string TagMesh::PatchLine(const Patch& patch) {
  std::string line;
  appendPatchLine(line, patch);
  return line;
}

void TagMesh::Write(TextWriter& out) {
  out.Line(Header);
  const std::string_view read = read_points_ ? std::string_view(*read_points_) : "";
  const std::size_t read_count = read_at_.empty() ? 0 : read_at_.size() - 1;
  std::size_t k = 0;  // the point in spline order, matched with the k-th line read
  const auto writeSplines = [&] {
    for (const auto& s : Splines) {
      out.Line("<SPLINE>");
      for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get(), ++k) {
        if (k < read_count) {
          const std::string_view line = read.substr(read_at_[k], read_at_[k + 1] - read_at_[k]);
          if (lineHolds(line, *p)) {
            out.Line(line);
            continue;
          }
        }
        WritePoint(out, *p);
      }
      out.Line("</SPLINE>");
    }
  };
  for (std::size_t i = 0; i <= Entries.size(); ++i) {
    if (i == splines_at_) writeSplines();
    if (i == Entries.size()) break;
    Entry& e = Entries[i];
    if (e.Child) {
      TagSection::WriteTree(out, *e.Child);
    } else {
      out.Line(e.Text);
    }
  }
  out.Line(Close);
}

void TagMesh::Halvejoin(double tolerance, StepContext& step) {
  if (Splines.empty()) return;
  M5mesh::Halvejoin(tolerance, step);
  if (!step.Report.Before) return;
  // The copies are the points past the renumbered originals.
  const std::int32_t originals = step.Report.Before->Cps;
  constexpr std::uint32_t kSegmentStart = 0x80;
  constexpr std::uint32_t kSegmentEnd = 0x20000;
  for (const auto& s : Splines)
    for (M5cp* p = s->FirstCp.get(); p; p = p->Next.get()) {
      if (!p->TagRecord || p->Id <= originals) continue;
      if (p->HasHookParamBits() && p->Attached == 1) p->HookParam = 1 - p->HookParam;
      const std::uint32_t bits = p->Flags & (kSegmentStart | kSegmentEnd);
      std::uint32_t swapped = 0;
      if (bits & kSegmentStart) swapped |= kSegmentEnd;
      if (bits & kSegmentEnd) swapped |= kSegmentStart;
      p->Flags = (p->Flags & ~(kSegmentStart | kSegmentEnd)) | swapped;
    }
}

void TagMesh::ReadLines(LineSource& source, std::string_view header, std::int32_t header_index,
                        StepContext& step) {
  Header = std::string(header);
  Name = std::string(TagOpened(header));
  auto points_text = std::make_shared<std::string>();
  read_at_.clear();
  std::vector<M5cp*> points;
  std::vector<std::int32_t> point_lines;  // 0-based line of each point, in spline order
  bool splines_placed = false;
  std::string_view line;
  for (;;) {
    const std::int64_t i = source.Index();
    if (!source.Next(line)) TagSection::ThrowNotClosed(Name, header_index);
    const auto index = static_cast<std::int32_t>(i);
    if (const std::string_view closed = TagClosed(line); !closed.empty()) {
      if (closed != Name) TagSection::ThrowWrongClose(line, index);
      Close = std::string(line);
      break;
    }
    const std::string_view opened = TagOpened(line);
    if (opened.empty()) {
      TagSection::AddItem(Entries, line, index);
      continue;
    }
    if (opened != "SPLINE") {
      Entries.push_back(Entry{std::string(), nullptr, index});
      Entries.back().Child =
          TagSection::ReadChild(Name, line, index, read_depth_ + 1, source, step);
      continue;
    }
    // The splines are written back where the first of them stood.
    if (!splines_placed) {
      splines_at_ = Entries.size();
      splines_placed = true;
    }
    auto spline = std::make_unique<M5spline>();
    for (;;) {
      const std::int64_t j = source.Index();
      if (!source.Next(line)) TagSection::ThrowNotClosed("SPLINE", index);
      const auto at = static_cast<std::int32_t>(j);
      if (const std::string_view c = TagClosed(line); !c.empty()) {
        if (c != "SPLINE") TagSection::ThrowWrongClose(line, at);
        break;
      }
      auto cp = std::make_unique<M5cp>();
      WithLine(at, [&] { parsePoint(line, *cp); });
      read_at_.push_back(static_cast<std::uint32_t>(points_text->size()));
      points_text->append(line);
      points.push_back(cp.get());
      point_lines.push_back(at);
      spline->AppendCp(std::move(cp));
    }
    Splines.push_back(std::move(spline));
  }
  if (!splines_placed) splines_at_ = Entries.size();
  read_at_.push_back(static_cast<std::uint32_t>(points_text->size()));
  read_points_ = std::move(points_text);

  // Ids name one point each in a tag file: every list refers to points by them.
  FlatHash<std::uint32_t> index_of_id(points.size());
  for (std::size_t k = 0; k < points.size(); ++k)
    if (!index_of_id.TryEmplace(IdKey(points[k]->Id), static_cast<std::uint32_t>(k)).second)
      throwAt(ErrorKind::TagDuplicateId, points[k]->Id, point_lines[k]);
  for (std::size_t k = 0; k < points.size(); ++k)
    if (points[k]->Attached == 1 && !index_of_id.Find(IdKey(points[k]->TargetId)))
      throwAt(ErrorKind::TagNoSuchPoint, points[k]->TargetId, point_lines[k]);

  M5amsuper::FinishRead(step);
  M5cplist list(Splines, points, step.Bars);
  list.ResolveAttachments(step);
  if (step.Report.AttachErrors && !step.Report.AttachErrors->Problems.empty()) {
    // Every target exists: what is left is a ring.
    const std::int32_t id = step.Report.AttachErrors->Problems.front().Id;
    const std::uint32_t* k = index_of_id.Find(IdKey(id));
    throwAt(ErrorKind::TagAttachRing, id, k ? point_lines[*k] : -1);
  }
  step.Report.After = MeshCounts{list.Count(), static_cast<std::int32_t>(Splines.size())};
  list.ComputeBounds(step.Bars);
  BoundsMin = {list.MinX, list.MinY, list.MinZ};
  BoundsMax = {list.MaxX, list.MaxY, list.MaxZ};

  // The patch list names points by id.
  for (const Entry& e : Entries) {
    if (!e.Child || e.Child->Name != "PATCHES") continue;
    HasPatchList = true;
    for (const Entry& item : e.Child->Entries)
      TagSection::ForEachItem(item, [&](std::string_view text, std::int32_t at) {
        WithLine(at, [&] {
          std::array<std::string_view, kMaxWords> w;
          std::size_t n = 0;
          if (!splitWords(text, w, n) || n == 0) badLine(text);
          const std::int64_t flags = StrToInt64(w[0]);
          if (flags < 0 || flags > 4294967295LL) throw ZevrinError(ErrorKind::RangeCheck, "");
          Patch patch;
          patch.Flags = static_cast<std::uint32_t>(flags);
          patch.Count = (patch.Flags & 1u) ? 5 : 4;
          if (n != 2u * patch.Count + 2) badLine(text);
          for (std::size_t c = 0; c < patch.Count; ++c) {
            patch.Corners[c] = StrToInt(w[1 + c]);
            patch.Normals[c] = StrToInt(w[1 + patch.Count + c]);
            if (!index_of_id.Find(IdKey(patch.Corners[c])))
              throw ZevrinError(ErrorKind::TagNoSuchPoint, std::to_string(patch.Corners[c]));
          }
          patch.Attr = StrToInt(w[n - 1]);
          Patches.push_back(patch);
        });
      });
  }
}

void TagMesh::SetPatchList(std::vector<Patch> patches, std::vector<Vec3> normals) {
  Entries.clear();
  splines_at_ = 0;
  const auto section = [&](const char* name, std::vector<std::string> lines) {
    auto s = std::make_unique<TagSection>();
    s->Name = name;
    s->Header = std::string("<") + name + ">";
    s->Close = std::string("</") + name + ">";
    for (std::string& l : lines) s->AddLine(std::move(l));
    return s;
  };
  std::vector<std::string> patch_lines;
  patch_lines.reserve(patches.size());
  for (const Patch& p : patches) patch_lines.push_back(PatchLine(p));
  std::vector<std::string> normal_lines;
  normal_lines.reserve(normals.size());
  for (const Vec3& n : normals)
    normal_lines.push_back(TagFloatToStr(n.x) + ' ' + TagFloatToStr(n.y) + ' ' +
                           TagFloatToStr(n.z));
  AddChild(section("PATCHES", std::move(patch_lines)));
  AddChild(section("NORMALS", std::move(normal_lines)));
  auto attrs = section("ATTRS", {});
  attrs->AddChild(section("ATTRIBUTE", {}));
  AddChild(std::move(attrs));
  Patches = std::move(patches);
  HasPatchList = true;
}

namespace {

M5amsuper* childNamed(const M5amsuper& node, std::string_view name) {
  for (const Entry& e : node.Entries)
    if (e.Child && e.Child->Name == name) return e.Child.get();
  return nullptr;
}

// A normal's line with its X negated, in the words it had: the sign of the first number
// changes (a zero becomes "-0", as the modeller writes a negative zero).
void appendMirroredNormal(std::string& out, std::string_view line) {
  if (!line.empty() && line.front() == '-') {
    out.append(line.substr(1));
  } else if (!line.empty() && line.front() == '+') {
    out.append("-").append(line.substr(1));
  } else {
    out.append("-").append(line);
  }
}

}  // namespace

namespace {

// The point at the end of the attachment chain of `p`: where it is, and which point a patch
// corner at it stands for.
const M5cp* rootOf(const M5cp* p) {
  for (std::size_t guard = 0; p->Attached == 1 && p->Target && guard < (1u << 24); ++guard)
    p = p->Target;
  return p;
}

// The points of a mesh in spline order, found by id: through a table indexed by id where the
// ids lie close together (after a renumbering they are 1..N), a hash otherwise.
class PointIndex {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  explicit PointIndex(const M5mesh& mesh) {
    std::int64_t lo = 0, hi = -1;
    for (const auto& s : mesh.Splines)
      for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get()) {
        if (hi < lo) lo = hi = p->Id;
        lo = std::min<std::int64_t>(lo, p->Id);
        hi = std::max<std::int64_t>(hi, p->Id);
        points_.push_back(p);
      }
    const std::size_t n = points_.size();
    if (hi >= lo && static_cast<std::uint64_t>(hi - lo) < 4 * std::uint64_t{n} + 1024) {
      base_ = lo;
      dense_.assign(static_cast<std::size_t>(hi - lo + 1), kNone);
      for (std::size_t k = n; k-- > 0;)
        dense_[static_cast<std::size_t>(points_[k]->Id - lo)] = static_cast<std::uint32_t>(k);
    } else {
      hash_ = FlatHash<std::uint32_t>(n);
      for (std::size_t k = 0; k < n; ++k)
        hash_.TryEmplace(IdKey(points_[k]->Id), static_cast<std::uint32_t>(k));
    }
  }
  // The first point with the id, or kNone.
  std::uint32_t Find(std::int32_t id) const {
    if (!dense_.empty()) {
      const std::int64_t at = std::int64_t{id} - base_;
      return at < 0 || at >= static_cast<std::int64_t>(dense_.size())
                 ? kNone
                 : dense_[static_cast<std::size_t>(at)];
    }
    const std::uint32_t* k = hash_.Find(IdKey(id));
    return k ? *k : kNone;
  }
  const std::vector<const M5cp*>& Points() const { return points_; }

 private:
  std::vector<const M5cp*> points_;
  std::int64_t base_ = 0;
  std::vector<std::uint32_t> dense_;
  FlatHash<std::uint32_t> hash_;
};

// Tells the patches whose corners follow spline segments from those that do not: each point
// stands for the point at the end of its attachments, and each of those knows the ones it
// shares a segment with.
class SegmentIndex {
 public:
  explicit SegmentIndex(const PointIndex& index) : index_(index) {
    const std::vector<const M5cp*>& points = index.Points();
    root_.resize(points.size());
    for (std::size_t k = 0; k < points.size(); ++k) {
      const std::uint32_t r = index.Find(rootOf(points[k])->Id);
      root_[k] = r == PointIndex::kNone ? static_cast<std::uint32_t>(k) : r;
    }
    // The segments, between roots: along each spline, and from a loop's last point to its
    // first.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> segments;
    segments.reserve(points.size());
    for (std::size_t k = 0; k < points.size(); ++k) {
      const M5cp* p = points[k];
      const M5cp* next = p->Next.get();
      if (!next && p->HasLoopBit()) {
        next = p;
        while (next->Prev) next = next->Prev;
      }
      if (next && next != p) {
        const std::uint32_t a = root_[k], b = rootAt(next);
        if (a != b) segments.emplace_back(a, b);
      }
    }
    begin_.assign(points.size() + 1, 0);
    for (const auto& [a, b] : segments) {
      ++begin_[a + 1];
      ++begin_[b + 1];
    }
    for (std::size_t k = 0; k < points.size(); ++k) begin_[k + 1] += begin_[k];
    std::vector<std::uint32_t> at(begin_.begin(), begin_.end() - 1);
    next_.resize(begin_.back());
    for (const auto& [a, b] : segments) {
      next_[at[a]++] = b;
      next_[at[b]++] = a;
    }
  }

  bool Joined(const TagMesh::Patch& patch) const {
    std::uint32_t roots[5];
    for (std::size_t c = 0; c < patch.Count; ++c) {
      const std::uint32_t k = index_.Find(patch.Corners[c]);
      if (k == PointIndex::kNone) return false;
      roots[c] = root_[k];
    }
    for (std::size_t c = 0; c < patch.Count; ++c) {
      const std::uint32_t a = roots[c];
      const std::uint32_t b = roots[(c + 1) % patch.Count];
      if (a == b) continue;
      const auto first = next_.begin() + begin_[a];
      const auto last = next_.begin() + begin_[a + 1];
      if (std::find(first, last, b) == last) return false;
    }
    return true;
  }

 private:
  std::uint32_t rootAt(const M5cp* p) const {
    const std::uint32_t k = index_.Find(p->Id);
    return k == PointIndex::kNone ? 0 : root_[k];
  }
  const PointIndex& index_;
  std::vector<std::uint32_t> root_;   // per point: its root's position
  std::vector<std::uint32_t> begin_;  // per root: where its neighbours begin in next_
  std::vector<std::uint32_t> next_;
};

}  // namespace

std::int64_t TagMesh::PatchesFollow(const TagIdMap& to, const TagIdMap* copies) {
  M5amsuper* const patch_section = childNamed(*this, "PATCHES");
  if (!HasPatchList || !patch_section) return 0;
  std::int64_t left_out = 0;
  std::vector<Patch> kept;
  kept.reserve(Patches.size() * (copies ? 2 : 1));
  for (std::size_t k = 0; k < Patches.size(); ++k) {
    const Patch& p = Patches[k];
    Patch q = p;
    bool whole = true;
    for (std::size_t c = 0; c < q.Count; ++c) {
      const std::int32_t* id = to.Find(q.Corners[c]);
      if (!id) {
        whole = false;
        break;
      }
      q.Corners[c] = *id;
    }
    if (whole) {
      kept.push_back(q);
    } else {
      ++left_out;
    }
  }
  const PointIndex index(*this);
  if (copies) {
    M5amsuper* const normal_section = childNamed(*this, "NORMALS");
    std::vector<std::string_view> normals;
    if (normal_section) normals = TagSection::ItemLines(*normal_section);
    // Each normal mirrored once, after the normals there are.
    std::vector<std::int32_t> mirror_of(normals.size(), -1);
    std::string added;
    std::size_t added_count = 0;
    const std::size_t originals = kept.size();
    for (std::size_t k = 0; k < originals; ++k) {
      const Patch p = kept[k];
      bool on_plane = true;
      for (std::size_t c = 0; c < p.Count && on_plane; ++c) {
        const std::uint32_t at = index.Find(p.Corners[c]);
        on_plane = at != PointIndex::kNone && index.Points()[at]->PosX(0) == 0;
      }
      if (on_plane) continue;  // its own mirror image
      Patch m = p;
      for (std::size_t c = 0; c < p.Count; ++c) {
        const std::size_t from = p.Count - 1 - c;
        const std::int32_t* copy = copies->Find(p.Corners[from]);
        m.Corners[c] = copy ? *copy : p.Corners[from];
        const std::int32_t n = p.Normals[from];
        if (n >= 0 && static_cast<std::size_t>(n) < normals.size()) {
          std::int32_t& mirror = mirror_of[static_cast<std::size_t>(n)];
          if (mirror < 0) {
            mirror = static_cast<std::int32_t>(normals.size() + added_count++);
            if (!added.empty()) added += "\r\n";
            appendMirroredNormal(added, normals[static_cast<std::size_t>(n)]);
          }
          m.Normals[c] = mirror;
        } else {
          m.Normals[c] = n;  // names no normal: left as it was
        }
      }
      kept.push_back(m);
    }
    if (normal_section && added_count > 0) {
      // Behind the lines there are, as an entry of their own: the rest is not copied.
      normal_section->Entries.push_back(Entry{std::move(added), nullptr, -1});
    }
  }
  const SegmentIndex segments(index);
  Patches.clear();
  for (std::size_t k = 0; k < kept.size(); ++k) {
    if (!segments.Joined(kept[k])) {
      ++left_out;
      continue;
    }
    Patches.push_back(kept[k]);
  }
  std::string text;
  text.reserve(Patches.size() * 48);
  for (const Patch& p : Patches) {
    if (!text.empty()) text += "\r\n";
    appendPatchLine(text, p);
  }
  TagSection::SetItemText(*patch_section, std::move(text), Patches.size());
  return left_out;
}

std::size_t TagMesh::OwnBytes() const {
  std::size_t bytes = M5mesh::OwnBytes() + Patches.capacity() * sizeof(Patch) +
                      read_at_.capacity() * sizeof(std::uint32_t);
  if (read_points_) bytes += read_points_->capacity();
  return bytes;
}

std::unique_ptr<M5amsuper> TagMesh::CloneNode() const {
  auto copy = std::make_unique<TagMesh>();
  CloneMeshInto(*copy);
  copy->Header = Header;
  copy->Close = Close;
  copy->Patches = Patches;
  copy->HasPatchList = HasPatchList;
  copy->read_points_ = read_points_;  // never changed once read: shared
  copy->read_at_ = read_at_;
  copy->splines_at_ = splines_at_;
  return copy;
}

MeshPatches PatchesOf(const M5mesh& mesh, Progress& bars) {
  const auto* tag = dynamic_cast<const TagMesh*>(&mesh);
  if (!tag || !tag->HasPatchList) return FindPatches(mesh, bars);
  MeshPatches out;
  // Vertices as the patch finder makes them: every point at its resolved position, points at
  // exactly the same position one vertex (minus zero equal to zero).
  std::vector<const M5cp*> points;
  for (const auto& s : mesh.Splines)
    for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get()) points.push_back(p);
  FlatHash<std::uint32_t> index_of_id(points.size());
  FlatHash<std::uint32_t> vertex_of_position(points.size());
  out.VertexOfPoint.resize(points.size());
  for (std::size_t k = 0; k < points.size(); ++k) {
    index_of_id.TryEmplace(IdKey(points[k]->Id), static_cast<std::uint32_t>(k));
    Vec3 at = points[k]->Pos(0);
    if (std::isnan(at.x) || std::isnan(at.y) || std::isnan(at.z)) {
      out.VertexOfPoint[k] = MeshPatches::kNoVertex;
      continue;
    }
    if (at.x == 0) at.x = 0;  // minus zero is zero
    if (at.y == 0) at.y = 0;
    if (at.z == 0) at.z = 0;
    std::uint32_t found = MeshPatches::kNoVertex;
    // Keys from the position; a key taken by another position passes on to the next key, so
    // that equal positions always meet on the same run of keys.
    std::uint64_t key = std::bit_cast<std::uint64_t>(at.x) ^
                        std::rotl(std::bit_cast<std::uint64_t>(at.y), 21) ^
                        std::rotl(std::bit_cast<std::uint64_t>(at.z), 42);
    for (;; ++key) {
      if (key == FlatHash<std::uint32_t>::kNoKey) key = 0;
      const std::uint32_t* v = vertex_of_position.Find(key);
      if (!v) break;
      const Vec3& q = out.Vertices[*v];
      if (q.x == at.x && q.y == at.y && q.z == at.z) {
        found = *v;
        break;
      }
    }
    if (found == MeshPatches::kNoVertex) {
      found = static_cast<std::uint32_t>(out.Vertices.size());
      out.Vertices.push_back(at);
      vertex_of_position.TryEmplace(key, found);
    }
    out.VertexOfPoint[k] = found;
  }
  bars.StepMain();
  out.Starts.push_back(0);
  for (const TagMesh::Patch& patch : tag->Patches) {
    std::uint32_t corners[5];
    std::size_t n = 0;
    bool whole = true;
    for (std::size_t c = 0; c < patch.Count; ++c) {
      const std::uint32_t* k = index_of_id.Find(IdKey(patch.Corners[c]));
      const std::uint32_t v = k ? out.VertexOfPoint[*k] : MeshPatches::kNoVertex;
      if (v == MeshPatches::kNoVertex) whole = false;
      // A corner repeated (a three-corner patch) is one corner.
      if (n == 0 || corners[n - 1] != v) corners[n++] = v;
    }
    while (n > 1 && corners[n - 1] == corners[0]) --n;
    if (!whole || n < 3) {
      ++out.Counts.Flat;
      continue;
    }
    out.Corners.insert(out.Corners.end(), corners, corners + n);
    out.Starts.push_back(static_cast<std::uint32_t>(out.Corners.size()));
    if (n == 3) {
      ++out.Counts.Triangles;
    } else if (n == 4) {
      ++out.Counts.Quads;
    } else {
      ++out.Counts.Pentagons;
    }
  }
  return out;
}

}  // namespace zevrin
