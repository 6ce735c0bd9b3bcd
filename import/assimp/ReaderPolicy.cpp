#include "import/assimp/ReaderPolicy.h"

#include <assimp/Importer.hpp>
#include <cmath>
#include <new>
#include <string_view>

#include "import/assimp/AssimpScene.h"
#include "util/Ustrlib.h"

namespace zevrin {
namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

// Set when an allocation was refused: an error after that is the memory limit's.
volatile bool g_out_of_memory = false;

void refusedAllocation() {
  g_out_of_memory = true;
  throw std::bad_alloc();
}

}  // namespace

double PolygonReaderLimits::DefaultSeconds(std::uint64_t file_bytes) {
  return 10.0 + static_cast<double>((file_bytes + kMiB - 1) / kMiB);
}

std::uint64_t PolygonReaderLimits::DefaultMemoryBytes(std::uint64_t file_bytes) {
  const std::uint64_t per_byte = 64;
  const std::uint64_t base = std::uint64_t{2} << 30;
  if (file_bytes > (UINT64_MAX - base) / per_byte) return UINT64_MAX;
  return base + per_byte * file_bytes;
}

std::string ReaderSecondsText(double seconds) {
  if (seconds == std::floor(seconds) && seconds < 1e15)
    return IntToStr(static_cast<std::int64_t>(seconds));
  return FloatToStr(seconds);
}

std::vector<std::string> AssimpExtensions() {
  std::vector<std::string> out;
  std::string list;  // "*.3ds;*.obj;..."
  Assimp::Importer().GetExtensionList(list);
  std::size_t begin = 0;
  while (begin < list.size()) {
    std::size_t end = list.find(';', begin);
    if (end == std::string::npos) end = list.size();
    std::string_view item = std::string_view(list).substr(begin, end - begin);
    if (item.starts_with("*")) item.remove_prefix(1);
    const std::string ext = FoldedLower(item);
    if (ext.size() > 1 && ext != ".mdl" && ext != ".seg" && ext != ".dxf" && ext != ".rok")
      out.push_back(ext);
    begin = end + 1;
  }
  return out;
}

void AnswerRefusedAllocationsAsOutOfMemory() { std::set_new_handler(refusedAllocation); }

bool detail::AllocationWasRefused() { return g_out_of_memory; }

void AnswerFile(const std::string& path, FaceStreamWriter& out) {
  AnswerWith(out, [&] {
    ReadAssimpScene(path, out);
    out.End();
  });
}

}  // namespace zevrin
