#include "import/M_rok.h"

#include <limits>

#include "model/tree/AM_step.h"
#include "util/Errors.h"

namespace zevrin {
namespace {

// Raises `kind` naming `argument` at the 0-based line index `line`.
[[noreturn]] void failAt(ErrorKind kind, std::int64_t argument, std::int64_t line) {
  ZevrinError e(kind, IntToStr(argument));
  e.setLine(static_cast<std::int32_t>(line + 1));
  throw e;
}

// The lines of one record: each field trimmed and converted, a missing line an index error at
// the record's first line.
class RecordReader {
 public:
  RecordReader(const LineList& lines, std::size_t start) : lines_(lines), start_(start) {}

  std::string_view Text(std::size_t offset) const {
    const std::size_t at = start_ + offset;
    if (at >= lines_.size())
      failAt(ErrorKind::IndexOutOfRange, static_cast<std::int64_t>(at),
             static_cast<std::int64_t>(start_));
    return TrimView(lines_[at]);
  }
  std::int32_t Int(std::size_t offset) const {
    const std::string_view text = Text(offset);
    return WithLine(static_cast<std::int64_t>(start_ + offset), [&] { return StrToInt(text); });
  }
  double Real(std::size_t offset) const {
    const std::string_view text = Text(offset);
    return WithLine(static_cast<std::int64_t>(start_ + offset), [&] { return StrToFloat(text); });
  }

 private:
  const LineList& lines_;
  std::size_t start_;
};

// A line record as taken into a face's corner loop: in its own direction or reversed.
struct TakenEdge {
  const RokLine3D* record;
  bool reversed;
  std::int32_t From() const { return reversed ? record->ToId : record->FromId; }
  std::int32_t To() const { return reversed ? record->FromId : record->ToId; }
  // 0-based file line of the id that From() or To() gives.
  std::int64_t FromLine() const { return record->FileLine + (reversed ? 1 : 0); }
  std::int64_t ToLine() const { return record->FileLine + (reversed ? 0 : 1); }
};

}  // namespace

const RokPoint3D* Mrok::FindPoint(std::int32_t id) const {
  for (; points_indexed_ < Points.size(); ++points_indexed_)
    point_index_.try_emplace(Points[points_indexed_].PointId, points_indexed_);
  const auto it = point_index_.find(id);
  return it == point_index_.end() ? nullptr : &Points[it->second];
}

const RokLine3D* Mrok::LineAt(std::int32_t n) const {
  if (n < 1 || static_cast<std::size_t>(n) > Lines.size()) return nullptr;
  return &Lines[static_cast<std::size_t>(n) - 1];
}

std::int32_t Mrok::ReadSection(const LineList& lines, std::int32_t /*start*/, StepContext& step) {
  if (lines.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() - 8))
    throwIndexError(std::numeric_limits<std::int32_t>::max());
  std::int32_t stop = 0;
  ReadRecords(lines, stop, step.Bars);

  std::vector<Mdxf_3dface> faces;
  faces.reserve(RokFaces.size());
  for (const RokFace3D& record : RokFaces) faces.push_back(MakeFace(record));
  Faces.insert(Faces.end(), std::make_move_iterator(faces.begin()),
               std::make_move_iterator(faces.end()));
  CollectLayers();
  return stop;
}

void Mrok::ReadRecords(const LineList& lines, std::int32_t& stop, Progress& progress) {
  enum { kPreamble, kPoints, kLines, kFaces } state = kPreamble;
  progress.ResetSub();
  const auto total = static_cast<std::int32_t>(lines.size());
  std::size_t p = 0;
  while (p < lines.size()) {
    progress.StepSub(total);
    const std::string_view line = TrimView(lines[p]);
    const RecordReader record(lines, p);
    const auto here = static_cast<std::int32_t>(p);
    // The end marker ends the file wherever a record would start, so that a file whose
    // sections stop early (no lines, no faces) still reads.
    if (state != kPreamble && SameKeyword(line, "END00")) {
      stop = here + 1;
      return;
    }
    switch (state) {
      case kPreamble:
        ++p;
        if (SameKeyword(line, "POINT")) state = kPoints;
        break;
      case kPoints:
        if (SameKeyword(line, "LINE0")) {
          state = kLines;
          ++p;
          break;
        }
        Points.push_back(RokPoint3D{record.Int(0), record.Int(1), record.Real(5), record.Real(6),
                                    record.Real(7), here});
        p += 8;
        break;
      case kLines:
        if (SameKeyword(line, "FACE0")) {
          state = kFaces;
          ++p;
          break;
        }
        Lines.push_back(RokLine3D{record.Int(0), record.Int(1), record.Int(2), here});
        p += 4;  // the fourth line is not used
        break;
      case kFaces: {
        RokFace3D face;
        face.FileLine = here;
        face.EdgeCount = record.Int(0);
        if (face.EdgeCount < 1 || face.EdgeCount > 4)
          failAt(ErrorKind::FaceCorners, face.EdgeCount, here);
        face.Unused = {record.Int(1), record.Int(2)};
        for (std::size_t k = 0; k < static_cast<std::size_t>(face.EdgeCount); ++k)
          face.Edges[k] = record.Int(3 + k);
        RokFaces.push_back(face);
        p += 3 + static_cast<std::size_t>(face.EdgeCount);
        break;
      }
    }
  }
  stop = static_cast<std::int32_t>(p);
}

Mdxf_3dface Mrok::MakeFace(const RokFace3D& record) const {
  Mdxf_3dface face;
  face.CornerCount = record.EdgeCount;
  const auto count = static_cast<std::size_t>(record.EdgeCount);  // 1 to 4, checked on reading

  std::vector<const RokLine3D*> remaining;
  for (std::size_t k = 0; k < count; ++k) {
    const RokLine3D* edge = LineAt(record.Edges[k]);
    if (!edge)
      failAt(ErrorKind::NoSuchRokLine, record.Edges[k],
             static_cast<std::int64_t>(record.FileLine) + 3 + static_cast<std::int64_t>(k));
    remaining.push_back(edge);
  }

  // Walk the loop from the start of the last listed line: each step takes the first remaining
  // line that touches the current point, turned so that it leaves from it.
  std::vector<TakenEdge> ordered;
  std::int32_t v = remaining.back()->FromId;
  for (std::size_t step = 0; step < count; ++step) {
    for (auto it = remaining.begin(); it != remaining.end(); ++it) {
      const RokLine3D* edge = *it;
      if (edge->FromId != v && edge->ToId != v) continue;
      const TakenEdge taken{edge, edge->FromId != v};
      ordered.push_back(taken);
      remaining.erase(it);
      v = taken.To();
      break;
    }
  }

  const auto pointOf = [&](std::int32_t id, std::int64_t line) -> const RokPoint3D& {
    const RokPoint3D* p = FindPoint(id);
    if (!p) failAt(ErrorKind::NoSuchRokPoint, id, line);
    return *p;
  };
  for (std::size_t i = 0; i < ordered.size(); ++i) {
    const RokPoint3D& p = pointOf(ordered[i].To(), ordered[i].ToLine());
    face.Corners[i] = Vec3{p.X, p.Y, p.Z};
  }
  if (ordered.size() == 3) face.Corners[3] = face.Corners[2];
  // The first step always takes a line: the last listed one touches the start point.
  const RokPoint3D& start = pointOf(ordered.front().From(), ordered.front().FromLine());
  face.Layer = IntToStr(start.GroupNo);
  return face;
}

}  // namespace zevrin
