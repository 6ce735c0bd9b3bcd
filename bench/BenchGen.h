// Generated input for the benchmarks: model files of any size in Zevrin's own layout, DXF
// drawings of 3DFACE triangles, and the floor programs that every reader is measured against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zevrin::bench {

// What a generated model holds, as counted while it was written.
struct ModelStats {
  std::size_t points = 0;
  std::size_t splines = 0;
  std::size_t groups = 0;
  std::size_t bones = 0;
  std::size_t bytes = 0;
};

// Writes a half model of about `points` control points to `path`: a grid of row splines that
// start on the plane X = 0, column splines whose points are attached to the row points (some
// of them hooks), hooks on the rows, chains of two-point seam splines whose ends meet exactly
// with a GROUP listing each chain, a few groups that join nothing, a skeleton of bones on and
// off the plane, and sections Zevrin does not interpret. Numbers are written as Zevrin writes
// them and the layout is its own, so that a load and save gives the same bytes back.
ModelStats WriteModelFile(const std::string& path, std::size_t points);

// Writes a DXF drawing of about `faces` 3DFACE triangles on a connected grid (every inner
// edge shared by two faces), the rows spread over eight layers.
std::size_t WriteDxfFile(const std::string& path, std::size_t faces);

// A triangulated grid of `faces` (even) triangles laid out as the reading floor's generator
// (bench/perf-floor/gen_dxf.py) writes it, byte for byte: rows x cols quads, rows as near the
// square root as divides, each quad two triangles, the rows in eight bands (layers BAND0..7),
// every corner written with six decimals the same way each time it occurs. Returns the faces
// written; 0 when `faces` is odd or below 2.
std::size_t WriteGridDxf(const std::string& path, std::size_t faces);
// The same grid as a Wavefront OBJ file: one vertex per grid corner, a group per band (so the
// faces of a band form one mesh), the same triangles.
std::size_t WriteGridObj(const std::string& path, std::size_t faces);

// The floors. Each reads the whole file in one call and splits it into line views as the
// readers do (CR LF, LF or CR ends a line; a NUL byte ends the text).
struct FloorResult {
  std::size_t lines = 0;
  std::size_t numbers = 0;
  double checksum = 0;  // keeps the work from being optimised away
};
std::string ReadWhole(const std::string& path);
std::vector<std::string_view> SplitViews(std::string_view bytes);
// Read and split.
FloorResult FloorSplit(const std::string& path);
// Read, split, and parse every number: each line is cut at its first "=" and at blanks, and
// every piece that is a number is converted with std::from_chars.
FloorResult FloorParse(const std::string& path);
// A DXF read to faces, the corners welded by exact position and the shared edges merged, both
// with hash tables: what any converter of the faces into welded edge splines must do.
FloorResult FloorDxfWeldMerge(const std::string& path);

}  // namespace zevrin::bench
