// Errors that travel from the readers and writers to the command that started the work.
// Each carries what went wrong (a kind and the text or number it concerns) and, once known,
// the file and the 1-based line where it happened. The message is produced in either of the
// program's two languages at the moment it is shown.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace zevrin {

enum class ErrorKind {
  NotInteger,       // text to integer failed
  NotReal,          // text to real failed
  IndexOutOfRange,  // a section's end line is missing: reading ran past the last line
  RangeCheck,       // a number outside the range of its field
  CannotOpen,       // a file cannot be opened for reading
  CannotCreate,     // a file cannot be created
  CannotWrite,      // writing a file failed part way (full disk, I/O error)
  CannotRead,       // reading an open file failed part way
  NestingTooDeep,   // sections nested deeper than the reader accepts
  FileMissing,      // no file at the path to open
  WrongExtension,   // the path's extension names no file kind
  FaceCorners,      // a polygon face with a corner count it cannot have (the count)
  NoSuchRokLine,    // a ROK face names a line number the file does not list (the number)
  NoSuchRokPoint,   // a ROK line names a point number the file does not list (the number)
  TemplateNoMesh,   // the template model has no MODEL section holding a MESH section
  ImportFailed,     // a polygon file the general importer refused (its own reason)
  InsertsTooDeep,   // DXF blocks inserted into each other too deeply, or in a ring (the limit)
  TooManyFaces,     // expanding DXF inserts would give more faces than are accepted (the limit)
  Cancelled,        // the user stopped the step
  // The process that reads a polygon file for the general importer (import/assimp/):
  ReaderTimeout,      // it did not finish within the limit (the seconds)
  ReaderCrashed,      // it was ended by a signal (the signal's name)
  ReaderOutOfMemory,  // it needed more memory than it may have (the limit in MB)
  ReaderBadAnswer,    // its answer is malformed (the byte at which it goes wrong)
  ReaderExited,       // it ended without an answer (its exit status)
  ReaderMissing,      // it is not there or cannot be started (its path)

  // Splines that cross each other too often to be read as patches.
  PatchesTooTangled,
  // An export of a model whose splines close no patch.
  NoPatches,
  // The general exporter refused to write (its own reason).
  ExportFailed,
  // Tag files (the modeller's later format):
  TagNotClosed,    // a section is never closed (its tag)
  TagWrongClose,   // a closing line that closes no open section (the line)
  TagBadLine,      // a line of a list that does not have the layout of its list (the line)
  TagNoSuchPoint,  // an id that names no control point of the mesh (the id)
  TagDuplicateId,  // two control points of one mesh with the same id (the id)
  TagAttachRing,   // attachments that lead round in a ring (an id on it)
  TagFromTagOnly,  // a tag file asked to be saved in the bracketed format
};

class ZevrinError : public std::runtime_error {
 public:
  // `argument` is the offending text, path or number (already in decimal) that the
  // message names; kinds whose message names nothing ignore it.
  ZevrinError(ErrorKind kind, std::string argument);

  ErrorKind kind() const { return kind_; }
  const std::string& argument() const { return argument_; }

  // The message alone, without file or line.
  std::string message(bool japanese) const;

  // Where it happened. The line is 1-based; 0 means no line applies.
  const std::string& file() const { return file_; }
  std::int32_t line() const { return line_; }
  void setFile(const std::string& file) { file_ = file; }
  void setLine(std::int32_t line) { line_ = line; }

  // "FILE:LINE: message", "FILE: message" or the message alone, as much as is known.
  std::string describe(bool japanese) const;

 private:
  ErrorKind kind_;
  std::string argument_;
  std::string file_;
  std::int32_t line_ = 0;
};

// Convenience for "index error at line index `index`" (0-based, as the line list counts).
[[noreturn]] void throwIndexError(std::int64_t index);

// Runs `f`; an error raised inside that knows no line yet gets the 1-based line of the
// 0-based `line_index` (none when the index is negative: a line made in memory).
template <class F>
auto WithLine(std::int64_t line_index, F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (ZevrinError& e) {
    if (e.line() == 0 && line_index >= 0 && line_index < INT32_MAX)
      e.setLine(static_cast<std::int32_t>(line_index + 1));
    throw;
  }
}

// Runs `f`; an error raised inside that names no file yet gets `path`.
template <class F>
auto WithFile(const std::string& path, F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (ZevrinError& e) {
    if (e.file().empty()) e.setFile(path);
    throw;
  }
}

}  // namespace zevrin
