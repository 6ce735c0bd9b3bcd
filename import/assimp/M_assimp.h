// The polygon formats of the Assimp library (OBJ, STL, PLY, 3DS, FBX and the rest it reads)
// as faces of the polygon model. Kept out of the core: the programs hand it to their document
// session.
//
// Assimp's parsers are not Zevrin's and were never made for hostile input, so a file is read
// by a helper program (zevrin-assimp-reader, beside the program) in a process of its own, with
// a wall-clock limit, a memory limit, no file it may write and only the pipe it answers on.
// Whatever the library does with a file (loop, crash, exhaust memory) ends in a named error.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "import/M_poly.h"
#include "import/assimp/AssimpScene.h"
#include "import/assimp/ReaderPolicy.h"

namespace zevrin {

// The helper's file name, looked for in the program's own folder.
inline constexpr const char* kAssimpReaderProgram = "zevrin-assimp-reader";

class AssimpPolygonReader : public PolygonFileReader {
 public:
  AssimpPolygonReader();

  // Every extension Assimp reads except ".mdl" and ".seg" (Animation:Master's own files,
  // which Assimp would take for Quake models) and ".dxf" and ".rok" (Zevrin's readers).
  bool Reads(std::string_view extension) const override;

  // Faces as the file has them (ReadAssimpScene), read in the reader process. Assimp's
  // refusals raise ImportFailed with its reason. A reader that passes the time limit raises
  // ReaderTimeout, one that needs more memory than it may have ReaderOutOfMemory, one ended by
  // a signal ReaderCrashed, one whose answer is malformed ReaderBadAnswer, one that ends
  // without answer ReaderExited, a helper that is not there ReaderMissing; the step's cancel
  // flag ends the reader within a few milliseconds and raises Cancelled. Every error names
  // the file.
  std::unique_ptr<Mpolycommon> Read(const std::string& path, StepContext& step) const override;

  std::string Patterns() const override;

  PolygonReaderLimits Limits;
  // Read inside this process instead, without any limit (the benchmarks measure the
  // isolation's cost against it; the tests compare the two).
  bool InProcess = false;
  // The helper; empty: kAssimpReaderProgram in the program's own folder.
  std::string HelperPath;

  // The limits for the file at `path`, the defaults filled in.
  double SecondsFor(std::uint64_t file_bytes) const;
  std::uint64_t MemoryBytesFor(std::uint64_t file_bytes) const;

 private:
  std::vector<std::string> extensions_;  // ".obj", ..., folded to lower case
};

}  // namespace zevrin
