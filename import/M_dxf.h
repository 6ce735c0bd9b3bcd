// The reader of AutoCAD DXF files in their text form: every 3DFACE entity of an ENTITIES
// section becomes a face of the polygon model; everything else in the file is skipped.
#pragma once

#include "import/M_poly.h"

namespace zevrin {

class Mdxf : public Mpolycommon {
 public:
  // Reads the file's pairs of lines (a group code, then its value) from the first line up to
  // the "0"/"EOF" pair or the end of the lines. Codes and values are compared trimmed and
  // with ASCII case folded; coordinates are taken as they stand. A face still open when the
  // lines run out is dropped. Raises the conversion error for a bad colour or coordinate, the
  // index error for a code without its value line, and FaceCorners for a face with more than
  // four corner codes, each with the 1-based line.
  std::int32_t ReadSection(const LineList& lines, std::int32_t start) override;
};

}  // namespace zevrin
