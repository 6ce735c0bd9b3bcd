// What the shaded view draws: the patches as triangles, the outlines of the holes and the
// splines as line segments, in flat float arrays that an OpenGL or WebGL 2 front end hands to
// its buffers as they are (glDrawArrays, no index buffer) and the software picture
// (ShadedRaster.h) walks. Made once per change of the document (BuildShadedScene in
// model/ShadedModel.h), never per picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "view/OrbitCamera.h"

namespace zevrin {

// How a triangle is tinted beyond its facing.
enum class ShadeMark : std::uint8_t {
  Plain = 0,
  // Its patch belongs to a set of patches that cannot all turn one way (a Moebius strip).
  Unorientable = 1,
};

struct ShadedScene {
  // Three corners a triangle, x y z each: 9 floats a triangle. A triangle turns as its patch
  // does (see OrbitCamera.h for which side faces the viewer).
  std::vector<float> Positions;
  // The unit normal at each corner, 9 floats a triangle, pointing to the patch's front: the
  // mean of the patches around the point where they meet across smooth splines, the patch's
  // own where a spline through the point is peaked (a crease), where the turning of two
  // patches disagrees, and at a point where more than two patches meet along one segment.
  std::vector<float> Normals;
  // One ShadeMark a triangle.
  std::vector<std::uint8_t> Marks;
  // Line segments, two points of x y z each (6 floats a segment): the borders of the holes
  // (the openings no patch closes), and every spline segment.
  std::vector<float> HoleLines;
  std::vector<float> SplineLines;

  // The box of everything drawn (triangles and lines), for the camera's fit; an empty scene
  // has the box (0, 0, 0) to (0, 0, 0).
  CameraVec Min;
  CameraVec Max;

  // For the status line: the patches drawn, the openings and the sets of patches that cannot
  // turn one way, summed over the meshes.
  std::size_t Patches = 0;
  std::size_t Holes = 0;
  std::size_t Unorientable = 0;

  std::size_t Triangles() const { return Marks.size(); }
};

// Fits `camera` to the scene as seen from its current direction: centred on the scene's box
// (the point it turns about), scaled so that every triangle corner and line end lies within the
// picture with a 10 percent margin on the tighter side. Tighter than the box's fit for a
// turned model; linear in the scene's size, so for a fit on demand, not for every picture.
void FitScene(OrbitCamera& camera, const ShadedScene& scene, std::int32_t width,
              std::int32_t height);

}  // namespace zevrin
