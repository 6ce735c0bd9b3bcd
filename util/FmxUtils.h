// File helpers: whole-file reading, crash-safe whole-file writing, the backup copy and the
// program's own folder. Every failure raises ZevrinError naming the path.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "util/Ustrlib.h"

namespace zevrin {

// True when something other than a directory exists at `path`.
bool FileExists(const std::string& path);

// The whole content of a regular file. Anything that is not a regular file (a directory, a
// device, a pipe) is refused with CannotOpen, so that no read can block or run forever.
std::string ReadFileBytes(const std::string& path);
inline LineList ReadFileLines(const std::string& path) { return SplitLines(ReadFileBytes(path)); }

// The same content in a buffer that is not filled with zeros first (a model of millions of
// points is read this way), with the same checks and errors.
struct FileBuffer {
  std::unique_ptr<char[]> data;
  std::size_t size = 0;
  std::string_view view() const { return {data.get(), size}; }
};
FileBuffer ReadFileBuffer(const std::string& path);
// At most the first `bytes` bytes of a regular file (to tell its kind by its content), with the
// same checks and errors.
std::string ReadFileHead(const std::string& path, std::size_t bytes);

// Receives the bytes of a file being written; returns false when the bytes could not be
// written.
using ByteSink = std::function<bool(const char* data, std::size_t size)>;

// Writes to an open file in place of the C library's fwrite, returning the bytes written; the
// tests use one to make a write fail part way.
using WriteHook = std::function<std::size_t(const char* data, std::size_t size, std::FILE* f)>;

// Writes a file so that it is either replaced whole or left as it was: the content goes to a
// new temporary file in the target's own folder, every write and the close are checked, the
// target's permissions are kept, and the temporary file is renamed over the target only
// when all of it was written. `produce` is called once with a sink for the bytes; it returns
// false when the sink reported a failure. A symbolic link is followed, so the file it points
// to is replaced. Raises CannotCreate when the temporary file cannot be made and CannotWrite
// when writing or renaming fails; the temporary file is removed then, and also when
// `produce` raises anything, which goes on to the caller. `write`, when given, writes the
// bytes to the temporary file instead of fwrite.
void WriteFileAtomically(const std::string& path,
                         const std::function<bool(const ByteSink&)>& produce,
                         const WriteHook& write = {});

// Writes `lines`, each followed by CR LF, with WriteFileAtomically.
void WriteLinesFile(const std::string& path, const LineList& lines, const WriteHook& write = {});

// Copies `source` byte for byte to `destination` (into it, under the source's file name, when
// the destination is a directory), replacing the destination only once the copy is
// complete. Raises CannotOpen (source), CannotRead (source), CannotCreate or CannotWrite
// (destination).
void CopyFile(const std::string& source, const std::string& destination,
              const WriteHook& write = {});

// The folder of the running executable, or the empty text when it cannot be told.
std::string ProgramDir();

}  // namespace zevrin
