#include "import/M_dxf.h"

#include <limits>
#include <optional>

#include "model/AM_const.h"
#include "util/Errors.h"

namespace zevrin {
namespace {

enum class State { Outside, OtherSection, Entities, Face };

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

}  // namespace

std::int32_t Mdxf::ReadSection(const LineList& lines, std::int32_t /*start*/) {
  if (lines.empty()) return 0;
  // Line indices are 32-bit throughout the program.
  if (lines.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() - 2))
    throwIndexError(std::numeric_limits<std::int32_t>::max());
  ResetSubProgress();
  const auto total = static_cast<std::int32_t>(lines.size());
  State state = State::Outside;
  std::optional<Mdxf_3dface> face;
  std::size_t i = 0;
  while (i < lines.size()) {
    StepSubProgress(total);
    const std::string_view code = TrimView(lines[i]);
    if (i + 1 >= lines.size()) {
      // The code's value line is missing: the error names the code's line.
      ZevrinError e(ErrorKind::IndexOutOfRange, IntToStr(static_cast<std::int64_t>(i + 1)));
      e.setLine(static_cast<std::int32_t>(i + 1));
      throw e;
    }
    const std::string_view value = TrimView(lines[i + 1]);
    std::size_t next = i + 2;
    if (code == "0" && SameKeyword(value, "EOF")) {
      i = next;
      break;
    }
    switch (state) {
      case State::Outside:
        if (code == "0" && SameKeyword(value, "SECTION")) state = State::OtherSection;
        break;
      case State::OtherSection:
        if (code == "0" && SameKeyword(value, "ENDSEC"))
          state = State::Outside;
        else if (code == "2" && SameKeyword(value, "ENTITIES"))
          state = State::Entities;
        break;
      case State::Entities:
        if (code == "0" && SameKeyword(value, "ENDSEC")) {
          state = State::Outside;
        } else if (code == "0" && SameKeyword(value, "3DFACE")) {
          face.emplace();
          state = State::Face;
        }
        break;
      case State::Face:
        if (code == "0") {
          // Any entity or the section's end closes the face; the same pair is read again
          // between entities.
          if (sameCorner(face->Corners[2], face->Corners[3])) --face->CornerCount;
          Faces.push_back(std::move(*face));
          face.reset();
          state = State::Entities;
          next = i;
        } else if (code == "8") {
          face->Layer.assign(value);
        } else if (code == "62") {
          face->Color = WithLine(static_cast<std::int64_t>(i + 1), [&] { return StrToInt(value); });
        } else if (const auto field = cornerField(code)) {
          WithLine(static_cast<std::int64_t>(i + 1), [&] {
            axisOf(face->Corners[field->corner], field->axis) = StrToFloat(value);
            if (field->axis == 0) CheckCornerCount(face->CornerCount + 1);
          });
          if (field->axis == 0) ++face->CornerCount;
        }
        break;
    }
    i = next;
  }
  CollectLayers();
  return static_cast<std::int32_t>(i);
}

}  // namespace zevrin
