// What the reader of Assimp's formats takes and may use, wherever it runs: the extensions it
// is handed, the limits it runs under and the answer it gives. The desktop's reader process
// (ReaderMain.cpp) and the page's reader worker (web/ZevrinModule.cpp) share these, so that a
// file gives the same faces, refusals and limit errors in both.
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "import/assimp/FaceStream.h"
#include "util/Errors.h"

namespace zevrin {

// What the reader may use. A zero asks for the default, which grows with the size of the file
// (DefaultSeconds, DefaultMemoryBytes).
struct PolygonReaderLimits {
  double Seconds = 0;
  std::uint64_t MemoryBytes = 0;

  // 10 s, and 1 s more per MiB of the file.
  static double DefaultSeconds(std::uint64_t file_bytes);
  // 2 GiB, and 64 bytes more per byte of the file.
  static std::uint64_t DefaultMemoryBytes(std::uint64_t file_bytes);
};

// The time limit as ReaderTimeout names it: "10", "2.5", as a user types seconds.
std::string ReaderSecondsText(double seconds);

// Every extension Assimp reads (".obj", folded to lower case) except ".mdl" and ".seg"
// (Animation:Master's own files, which Assimp would take for Quake models) and ".dxf" and
// ".rok" (Zevrin's readers).
std::vector<std::string> AssimpExtensions();

// The reader's side: once called, an allocation refused for the rest of the run is an
// out-of-memory answer, whatever the library makes of the std::bad_alloc it gets.
void AnswerRefusedAllocationsAsOutOfMemory();

// Runs `read`, which writes faces into `out` and ends the answer, and ends the answer with the
// error item when it raises: out of memory after a refused allocation, else Assimp's refusal
// with its reason.
template <class Read>
void AnswerWith(FaceStreamWriter& out, Read&& read);

// The whole answer for the file at `path` (ReadAssimpScene, then the end item).
void AnswerFile(const std::string& path, FaceStreamWriter& out);

namespace detail {
bool AllocationWasRefused();
}

template <class Read>
void AnswerWith(FaceStreamWriter& out, Read&& read) {
  try {
    read();
  } catch (const ZevrinError& e) {
    if (detail::AllocationWasRefused())
      out.Error(facestream::kOutOfMemory, "");
    else
      out.Error(facestream::kRefused, e.argument());
  } catch (const std::bad_alloc&) {
    out.Error(facestream::kOutOfMemory, "");
  } catch (const std::exception& e) {
    out.Error(facestream::kRefused, e.what());
  }
}

}  // namespace zevrin
