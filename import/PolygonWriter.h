// A writer of polygon files: the faces of a polygon model in the formats of a general export
// library. The core knows only this interface; the programs hand the document session a writer
// built on the library, so that the core stays free of it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zevrin {

class Mpolycommon;

// One file a writer made: its path and its bytes.
struct WrittenFile {
  std::string Path;
  std::string Bytes;
};

class PolygonFileWriter {
 public:
  virtual ~PolygonFileWriter() = default;
  // Whether files with this extension (".obj": with the dot, any ASCII case) are written.
  virtual bool Writes(std::string_view extension) const = 0;
  // Whether the format of this extension holds faces of four corners; for one that does not,
  // the caller splits every quad into triangles itself.
  virtual bool HoldsQuads(std::string_view extension) const = 0;
  // The files that `polygons` make in the format of `path`'s extension, nothing written yet:
  // the file at `path` first, then any it refers to (the buffer of a .gltf file). Each layer
  // of the faces becomes one mesh named after it, in the order the faces first use them.
  // Errors are ZevrinErrors naming `path`.
  virtual std::vector<WrittenFile> Write(const Mpolycommon& polygons,
                                         const std::string& path) const = 0;
  // The formats written, one "Description (*.ext)" filter each, for a Save dialog.
  virtual std::vector<std::string> Filters() const = 0;
};

}  // namespace zevrin
