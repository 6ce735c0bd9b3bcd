// The patches of a mesh: the faces its splines bound, found as a modeller finds them (closed
// loops of three or four spline segments) and turned the same way round, so that a model can
// leave the program as a polygon mesh.
//
// A vertex is a resolved position: every point attached to another lies where its target
// does, and a point hooked onto a segment lies on it, where the view draws it; points at
// exactly the same position are one vertex, so that Detach all, which keeps every position,
// keeps every patch. A segment joins two consecutive points of a spline (and the last to the
// first of a closed spline) when they are different vertices; a point hooked onto a segment
// splits it there. Segments between the same two vertices are one.
//
// A patch is a loop of three or four segments between different vertices that bounds a face:
// it has area, and no segment joins two of its opposite corners (a quad with a diagonal is
// two triangles). The rules below follow the patch lists the modeller itself saves in its
// later files:
// - A loop that one closed spline makes alone, no other spline running along any of its
//   segments, is a ring and no patch: the end of a tube stays open.
// - Where a segment borders more than two loops (it is crowded), some of them lie around the
//   others rather than between them and are left out; a loop is left out only while each of
//   its segments borders another loop, so a segment never loses all of its loops. Loops of a
//   polygon file's edges (each segment a spline of one segment of its own) go as a surface
//   needs, the most crowded first: the rim of a fan of triangles, the equator of an
//   octahedron, the rings of a tube four segments round are loops around other patches. Loops
//   of longer splines go as the modeller drops them, who keeps most: largest first, the rim of
//   the patches around one vertex goes; then a loop crowded on every side goes when it is the
//   largest beside all its sides but one, or when one open spline makes it alone; a loop
//   crowded on all sides but one goes when it is the largest beside every side. A loop smaller
//   than its neighbours stays (the ring of a thin tube, the walls of a slat), as the modeller
//   keeps it.
//
// Every pass runs in time linear in the model's size, up to the sorting of the crowded loops
// (hash tables by position and by vertex pair; the loops are listed with the vertices ordered
// by degree, so that a crowded vertex costs little), walks without recursion, and has a bound
// on its work that no surface comes near: splines that cross too often for it (a complete
// graph of segments) raise ErrorKind::PatchesTooTangled instead of running for hours.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "model/tree/AM_common.h"

namespace zevrin {

class M5mesh;
class Progress;

struct PatchCounts {
  std::size_t Triangles = 0;
  std::size_t Quads = 0;
  // Five-corner patches: only a file's own patch list has them.
  std::size_t Pentagons = 0;
  // Closed loops of five or more segments that no patch borders on the side facing them: the
  // openings of the surface (a five-sided loop is one, so is the border of an open sheet), and
  // the rings that closed splines make alone (with an area: the open end of a tube). A
  // loop that passes a vertex twice is split there; loops of segments that border no patch
  // at all are counted once for both their sides.
  std::size_t Holes = 0;
  // Sets of patches joined through their segments whose turning cannot agree everywhere (a
  // Moebius strip). They are written as the walk turned them.
  std::size_t Unorientable = 0;
  // Loops of three or four segments left out because they enclose no area.
  std::size_t Flat = 0;
  // Loops of three or four segments left out because they lie around other patches.
  std::size_t Crowded = 0;
  // Loops of three or four segments that one closed spline makes alone (the ring at the open
  // end of a tube), left out.
  std::size_t Rings = 0;
  // Pairs of opposite corners shared by more loops of four than a surface can have
  // (PatchLimits::QuadsOnDiagonal); none of those loops is taken.
  std::size_t Tangles = 0;

  std::size_t Faces() const { return Triangles + Quads + Pentagons; }
  PatchCounts& operator+=(const PatchCounts& other);
  friend bool operator==(const PatchCounts&, const PatchCounts&) = default;
};

// The bounds on the work of FindPatches. The defaults are far beyond any surface: a closed
// mesh of triangles lists about two loops per segment, at a few steps each.
struct PatchLimits {
  // The listing of loops may take this many steps per segment and vertex (plus MinSteps)...
  std::size_t StepsPerSegment = 64;
  std::size_t MinSteps = std::size_t{1} << 22;
  // ... and find this many loops per segment (plus MinLoops).
  std::size_t LoopsPerSegment = 8;
  std::size_t MinLoops = std::size_t{1} << 16;
  // Loops of four around one pair of opposite corners beyond which none of them is taken.
  std::size_t QuadsOnDiagonal = 8;
};

class MeshPatches {
 public:
  static constexpr std::uint32_t kNoVertex = 0xFFFFFFFFu;

  // Resolved positions, numbered in the order the points of the mesh first reach them.
  std::vector<Vec3> Vertices;
  // The vertex of each point of the mesh in list order (splines in mesh order, each chain
  // from its first point); kNoVertex for a point with a NaN coordinate, which is no vertex.
  std::vector<std::uint32_t> VertexOfPoint;
  // The corners of every patch, patch after patch, each in the patch's turning order and
  // beginning with its lowest vertex; patches ordered by that vertex. Patch i is
  // Corners[Starts[i] .. Starts[i + 1]).
  std::vector<std::uint32_t> Corners;
  std::vector<std::uint32_t> Starts;
  PatchCounts Counts;
  // The segments of the holes Counts.Holes counts, as pairs of vertices, hole after hole: what
  // a view draws as their outlines. The patch finder fills it; a file's own list leaves it empty.
  std::vector<std::uint32_t> HoleSegments;
  // The patches (by number, ascending) of the sets Counts.Unorientable counts.
  std::vector<std::uint32_t> UnorientablePatches;

  std::size_t Count() const { return Starts.empty() ? 0 : Starts.size() - 1; }
  std::span<const std::uint32_t> Patch(std::size_t i) const {
    return {Corners.data() + Starts[i], Corners.data() + Starts[i + 1]};
  }
};

// The patches of `mesh`, whose attachments are resolved (as every load and edit leaves them).
// Each connected set of patches is turned consistently across its shared segments; a set is
// then turned so that the volume it encloses is positive (its normals point out), or, when
// that is zero (a flat sheet), so that the largest coordinate of its summed normal is
// positive, or, when neither can be told (a corner at infinity), so that its patch with the
// lowest vertices keeps the turning it was found in. A quad that is not flat counts with both
// its diagonals, so that none of its corners counts as its first. The mesh is not changed. The
// bars step a few times; a set cancel flag stops the search with ErrorKind::Cancelled.
MeshPatches FindPatches(const M5mesh& mesh, Progress& bars, const PatchLimits& limits = {});

}  // namespace zevrin
