// The document's patches written as a polygon file, through the writer the programs hand in:
// the command line's export and the window's File > Export share it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "import/PolygonWriter.h"
#include "mesh/PatchFinder.h"

namespace zevrin {

class DocumentSession;

struct ExportOptions {
  // Every quad written as two triangles (formats that hold no quads get triangles anyway).
  bool Triangulate = false;
};

struct ExportResult {
  PatchCounts Counts;
  std::size_t FacesWritten = 0;
  // Every file written, the one asked for first.
  std::vector<std::string> Files;
  // The memo's lines: the patches, the holes and the parts that could not be turned one way.
  std::vector<std::string> Memo;
};

// Writes the patches of the open document (PatchPolygons) to `path`, in the format of its
// extension, which `writer` must write (else WrongExtension naming the path). The faces that no
// group holds whole form one mesh named after the document's file. Every existing file the
// export replaces (the one asked for, and the buffer a .gltf file refers to) is first copied
// to its full name plus ".bak", and each is replaced whole or not at all; the referenced files
// go first, so that the file asked for never refers to a buffer that failed to be written. A
// document without patches raises NoPatches naming the document's file and writes nothing;
// so does a document that is not open. The document itself is not changed.
ExportResult ExportPatches(DocumentSession& session, const std::string& path,
                           const PolygonFileWriter& writer, const ExportOptions& options = {});

// ExportPatches without touching any file: the files come back in `files` (the one asked for
// first, then those it refers to), for a front end that hands them out itself (the page).
ExportResult ExportPatchFiles(DocumentSession& session, const std::string& path,
                              const PolygonFileWriter& writer, const ExportOptions& options,
                              std::vector<WrittenFile>& files);

}  // namespace zevrin
