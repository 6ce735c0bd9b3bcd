#include "import/M_poly.h"

#include <algorithm>
#include <unordered_set>

#include "util/Errors.h"
#include "util/FmxUtils.h"

namespace zevrin {
namespace {

std::string folded(std::string_view name) {
  std::string out(name);
  for (char& c : out) c = static_cast<char>(UpperAscii(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

void Mdxf_3dface::WriteEntity(LineList& lines) const {
  lines.insert(lines.end(), {"0", "3DFACE", "8", Layer, "62", IntToStr(Color)});
  for (std::size_t i = 0; i < Corners.size(); ++i) {
    const std::string digit(1, static_cast<char>('0' + i));
    lines.push_back("1" + digit);
    lines.push_back(FloatToStr(Corners[i].x));
    lines.push_back("2" + digit);
    lines.push_back(FloatToStr(Corners[i].y));
    lines.push_back("3" + digit);
    lines.push_back(FloatToStr(Corners[i].z));
  }
}

void Mpolycommon::LoadFile(const std::string& path) {
  try {
    const LineList lines = ReadFileLines(path);
    ReadSection(lines, 0);
  } catch (ZevrinError& e) {
    if (e.file().empty()) e.setFile(path);
    throw;
  }
}

void Mpolycommon::CollectLayers() {
  std::unordered_set<std::string> seen;
  for (const std::string& name : Layers) seen.insert(folded(name));
  const std::string* previous = nullptr;
  for (const Mdxf_3dface& face : Faces) {
    // Neighbouring faces mostly share their layer: skip the hashing for those.
    if (previous && *previous == face.Layer) continue;
    previous = &face.Layer;
    if (seen.insert(folded(face.Layer)).second) Layers.push_back(face.Layer);
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
