#include "import/assimp/M_assimp.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>

#include "import/assimp/FaceStream.h"
#include "import/assimp/ReaderProcess.h"
#include "model/tree/AM_step.h"
#include "util/Errors.h"
#include "util/FmxUtils.h"
#include "util/Ustrlib.h"

namespace zevrin {
namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

[[noreturn]] void fail(const std::string& path, ErrorKind kind, const std::string& argument) {
  ZevrinError e(kind, argument);
  e.setFile(path);
  throw e;
}

}  // namespace

AssimpPolygonReader::AssimpPolygonReader() : extensions_(AssimpExtensions()) {}

bool AssimpPolygonReader::Reads(std::string_view extension) const {
  const std::string ext = FoldedLower(extension);
  return std::find(extensions_.begin(), extensions_.end(), ext) != extensions_.end();
}

std::string AssimpPolygonReader::Patterns() const {
  std::string out;
  for (const std::string& ext : extensions_) out += (out.empty() ? "*" : " *") + ext;
  return out;
}

double AssimpPolygonReader::SecondsFor(std::uint64_t file_bytes) const {
  return Limits.Seconds > 0 ? Limits.Seconds : PolygonReaderLimits::DefaultSeconds(file_bytes);
}

std::uint64_t AssimpPolygonReader::MemoryBytesFor(std::uint64_t file_bytes) const {
  return Limits.MemoryBytes > 0 ? Limits.MemoryBytes
                                : PolygonReaderLimits::DefaultMemoryBytes(file_bytes);
}

std::unique_ptr<Mpolycommon> AssimpPolygonReader::Read(const std::string& path,
                                                       StepContext& step) const {
  if (InProcess) {
    FaceBuilder faces;
    ReadAssimpScene(path, faces);
    return faces.Finish();
  }
  std::error_code ec;
  const std::uint64_t size = std::filesystem::file_size(path, ec);
  const std::uint64_t file_bytes = ec ? 0 : size;
  ProcessLimits limits;
  limits.Seconds = SecondsFor(file_bytes);
  limits.AddressSpaceBytes = MemoryBytesFor(file_bytes);
  // The answer holds less than the scene the reader built, unless nodes place one mesh many
  // times over; past four times its memory it is taken for a runaway.
  if (limits.AddressSpaceBytes < UINT64_MAX / 4) limits.AnswerBytes = 4 * limits.AddressSpaceBytes;
  const std::uint64_t memory_mb = limits.AddressSpaceBytes / kMiB;
  const std::string helper =
      HelperPath.empty() ? (std::filesystem::path(ProgramDir()) / kAssimpReaderProgram).string()
                         : HelperPath;
  const std::atomic<bool>* cancel = step.Bars.CancelFlag();

  std::unique_ptr<ReaderProcess> child;
  try {
    child = std::make_unique<ReaderProcess>(helper, std::vector<std::string>{path}, limits);
  } catch (ZevrinError& e) {
    e.setFile(path);
    throw;
  }
  // The faces are built as the answer comes; a malformed one is refused at its first wrong
  // byte, and the reader killed.
  FaceStreamReader faces(path, memory_mb);
  const bool answered =
      child->ReadAnswer([&](const char* data, std::size_t n) { faces.Feed(data, n); }, cancel);
  const auto ended = [&](const ProcessEnd& end) {
    switch (end.How) {
      case ProcessEnd::Kind::Cancelled:
        fail(path, ErrorKind::Cancelled, "");
      case ProcessEnd::Kind::TimedOut:
        fail(path, ErrorKind::ReaderTimeout, ReaderSecondsText(limits.Seconds));
      case ProcessEnd::Kind::Signalled:
        // The CPU-time limit lies past the wall clock: a reader ended by it ran out of time.
        if (end.Code == SIGXCPU)
          fail(path, ErrorKind::ReaderTimeout, ReaderSecondsText(limits.Seconds));
        fail(path, ErrorKind::ReaderCrashed, ReaderProcess::SignalName(end.Code));
      case ProcessEnd::Kind::Exited:
        break;
    }
  };
  if (!answered) ended(child->End(cancel));
  // A whole answer is taken whatever the reader does afterwards; anything less is judged by
  // how the reader ended, first.
  if (!faces.Done()) {
    const ProcessEnd end = child->End(cancel);
    ended(end);
    if (faces.Offset() == 0) {
      if (end.Code == 127) fail(path, ErrorKind::ReaderMissing, helper);  // exec failed
      fail(path, ErrorKind::ReaderExited, IntToStr(end.Code));
    }
  }
  std::unique_ptr<Massimp> polygons = faces.Finish();
  child->End(cancel, true);
  return polygons;
}

}  // namespace zevrin
