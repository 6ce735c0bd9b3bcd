#include "import/M_poly.h"

#include <algorithm>
#include <unordered_set>

#include "model/tree/AM_step.h"
#include "util/Errors.h"
#include "util/FmxUtils.h"

namespace zevrin {

namespace {

void writeCorners(LineList& lines, const std::array<Vec3, 4>& corners) {
  for (std::size_t i = 0; i < corners.size(); ++i) {
    const std::string digit(1, static_cast<char>('0' + i));
    lines.push_back("1" + digit);
    lines.push_back(FloatToStr(corners[i].x));
    lines.push_back("2" + digit);
    lines.push_back(FloatToStr(corners[i].y));
    lines.push_back("3" + digit);
    lines.push_back(FloatToStr(corners[i].z));
  }
}

}  // namespace

void Mdxf_3dface::WriteEntity(LineList& lines) const {
  if (CornerCount <= 4 || !CornersStored()) {
    lines.insert(lines.end(), {"0", "3DFACE", "8", Layer, "62", IntToStr(Color)});
    writeCorners(lines, Corners);
    return;
  }
  // Triangle k is corners 0, k, k+1, k+1. Its first edge (0-k) lies inside the outline
  // unless k is 1, its fourth (k+1-0) unless k+1 is the last corner; the third has zero
  // length.
  const auto n = static_cast<std::size_t>(CornerCount);
  for (std::size_t k = 1; k + 1 < n; ++k) {
    int invisible = 4;
    if (k != 1) invisible |= 1;
    if (k + 2 != n) invisible |= 8;
    lines.insert(lines.end(),
                 {"0", "3DFACE", "8", Layer, "62", IntToStr(Color), "70", IntToStr(invisible)});
    writeCorners(lines, {Corner(0), Corner(k), Corner(k + 1), Corner(k + 1)});
  }
}

void Mpolycommon::LoadFile(const std::string& path, StepContext& step) {
  WithFile(path, [&] {
    const FileBuffer bytes = ReadFileBuffer(path);
    ReadText(bytes.view(), step);
  });
}

void Mpolycommon::ReadText(std::string_view bytes, StepContext& step) {
  ReadSection(SplitLines(bytes), 0, step);
}

void Mpolycommon::CollectLayers() {
  std::unordered_set<std::string> seen;
  for (const std::string& name : Layers) seen.insert(FoldedUpper(name));
  const std::string* previous = nullptr;
  for (const Mdxf_3dface& face : Faces) {
    // Neighbouring faces mostly share their layer: skip the hashing for those.
    if (previous && *previous == face.Layer) continue;
    previous = &face.Layer;
    if (seen.insert(FoldedUpper(face.Layer)).second) Layers.push_back(face.Layer);
  }
  // No two names are equal under the order, so any sort gives the one sorted list.
  std::sort(Layers.begin(), Layers.end(),
            [](const std::string& a, const std::string& b) { return KeywordLess(a, b); });
}

void Mpolycommon::WriteDxf(LineList& lines) const {
  lines.insert(lines.end(), {"0", "SECTION", "2", "ENTITIES", "999",
                             "Created using TALQ Zevrin for Windows V0.00"});
  for (const Mdxf_3dface& face : Faces) face.WriteEntity(lines);
  lines.insert(lines.end(), {"0", "ENDSEC", "0", "EOF"});
}

void Mpolycommon::CheckCornerCount(std::int32_t count) {
  if (count < 0 || count > 4) throw ZevrinError(ErrorKind::FaceCorners, IntToStr(count));
}

}  // namespace zevrin
