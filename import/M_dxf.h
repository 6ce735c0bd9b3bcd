// The reader of AutoCAD DXF files in their text form: every 3DFACE entity of an ENTITIES
// section becomes a face of the polygon model; everything else in the file is skipped, unless
// inserted blocks are asked for.
#pragma once

#include "import/M_poly.h"
#include "util/Threads.h"

namespace zevrin {

class Mdxf : public Mpolycommon {
 public:
  // Also read the blocks of the BLOCKS section and put, in place of every INSERT entity (of
  // the ENTITIES section or of a block), the 3DFACEs of the block it names: moved from the
  // block's base point to the insertion point, scaled (41/42/43), turned about Z (50), laid
  // out in the columns and rows of an array insert (70/71, 44/45) and carried into the
  // world from the insert's extrusion direction (210/220/230). A face of block layer "0"
  // takes the insert's layer. An INSERT naming no block brings nothing. Raises
  // InsertsTooDeep for blocks nested deeper than kMaxInsertDepth (or inserting themselves)
  // and TooManyFaces beyond kMaxExpandedFaces, each with the insert's line.
  bool ExpandInserts = false;
  static constexpr std::int32_t kMaxInsertDepth = 32;
  static constexpr std::int64_t kMaxExpandedFaces = 10'000'000;

  // Reads the file's pairs of lines (a group code, then its value) from the first line up to
  // the "0"/"EOF" pair or the end of the lines. Codes and values are compared trimmed and
  // with ASCII case folded; coordinates are taken as they stand. A face still open when the
  // lines run out is dropped. Raises the conversion error for a bad colour or coordinate, the
  // index error for a code without its value line, and FaceCorners for a face with more than
  // four corner codes, each with the 1-based line.
  std::int32_t ReadSection(const LineList& lines, std::int32_t start, StepContext& step) override;
  // The same from the file's text, line by line in place: a drawing of a million faces is
  // thirty million lines, which as a list of strings would take most of the memory.
  void ReadText(std::string_view bytes, StepContext& step) override;

  // Texts from this size on are read in two halves at once (see ReadText); the tests make
  // it small to run both ways.
  std::size_t ParallelFromBytes = ThreadedFrom(std::size_t{8} << 20);
  // Whether the last ReadText took the faces of its second half from the second thread.
  bool ReadInHalves = false;

 private:
  class Reading;
};

}  // namespace zevrin
