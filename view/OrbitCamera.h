// The camera of the shaded view: an orthographic view that turns about the model's centre
// (yaw and pitch), zooms about a point of the picture, moves with the picture and fits the
// model. Pure arithmetic, shared by every front end: the command line's software picture, the
// window's OpenGL widget and the page's WebGL 2 canvas all project with it.
//
// Directions. The model's world is right-handed (y up; the modeller's characters face +z).
// Yaw 0 and pitch 0 is the wireframe's front view: x to the right, y up, the viewer at +z.
// Yaw 90 is its left view: z to the right, y up, the viewer at -x. Pitch 90 is the top view,
// from above: x to the right and the model's front (+z) towards the bottom of the picture. The
// wireframe's top view draws z upwards, which without a mirror is the view from below; a user
// who asks a surface for its top wants to see the top, so the shaded view turns the
// wireframe's top picture upside down instead. Front and left show the wireframe's axes
// exactly, every direction is a rotation of the world, never a mirror, and a positive pitch
// raises the viewer.
//
// Coordinates. A model point p has view coordinates h = Right · (p − Centre), v = Up ·
// (p − Centre) and depth d = Toward · (p − Centre), d growing towards the viewer. Pixels:
// x = width / 2 + PanX + h · Scale, y = height / 2 + PanY − v · Scale, (0, 0) the top-left
// corner of the picture, x to the right and y downwards as on every surface of the view.
//
// Facing. The patches turn so that (b − a) × (c − a) points out of the model; a triangle faces
// the viewer when that normal has a positive component along Toward(). In OpenGL's normalised
// coordinates (y up) such a triangle runs counter-clockwise, GL's own default (GL_CCW) with
// ClipMatrix(); in pixels (y down) its signed area (x1 − x0)(y2 − y0) − (x2 − x0)(y1 − y0) is
// negative.
#pragma once

#include <array>
#include <cstdint>

#include "view/M_scr.h"

namespace zevrin {

struct CameraVec {
  double x = 0;
  double y = 0;
  double z = 0;
};

class OrbitCamera {
 public:
  // Degrees; pitch stays within [-90, 90], yaw is kept within (-180, 180].
  double Yaw = 0;
  double Pitch = 0;
  // The point the camera turns about: the centre of the model's box after Fit.
  CameraVec Centre;
  // Pixels per model unit, and the picture's shift in pixels.
  double Scale = 1;
  double PanX = 0;
  double PanY = 0;
  // Half the diagonal of the model's box: the depth range drawn is Centre ± DepthRadius (a
  // little more), so that no turn clips the model.
  double DepthRadius = 1;
  // The scale Fit chose; zooming stays within kMinZoom..kMaxZoom of it.
  double FitScale = 1;
  static constexpr double kMinZoom = 0.01;
  static constexpr double kMaxZoom = 10000.0;

  // The camera of one of the wireframe's three directions.
  static OrbitCamera ForView(ViewKind kind);

  // The unit vectors of the picture's right, up and of the way to the viewer, in model
  // coordinates.
  CameraVec Right() const;
  CameraVec Up() const;
  CameraVec Toward() const;

  // Centres the box [min, max] and scales it so that every point of it lies within the picture
  // of `width` x `height` pixels seen from the current direction, with a 10 percent margin on
  // the tighter side; the shift goes back to none. A box with a NaN or infinite corner, or an
  // empty picture, fits the unit box about the origin instead.
  void Fit(const CameraVec& min, const CameraVec& max, std::int32_t width, std::int32_t height);
  // Turns by the given degrees about the centre: yaw about the model's up axis (y), pitch
  // raising the viewer, stopping at +-90.
  void Orbit(double yaw_degrees, double pitch_degrees);
  // Zooms by `factor` about the pixel (x, y), whose model point stays under it, within the
  // limits of the fitted scale. False when the zoom stood at its limit already.
  bool ZoomAbout(double factor, double x, double y, std::int32_t width, std::int32_t height);
  // Moves the picture by (dx, dy) pixels.
  void PanBy(double dx, double dy) {
    PanX += dx;
    PanY += dy;
  }

  // Pixel x, y and depth of a model point (larger depth is nearer the viewer).
  struct Projected {
    double x = 0;
    double y = 0;
    double depth = 0;
  };
  Projected Project(const CameraVec& p, std::int32_t width, std::int32_t height) const;

  // The 4 x 4 matrix, column by column (OpenGL's order), that takes a model point to clip
  // coordinates of a viewport of `width` x `height` pixels: the picture of Project, with the
  // depth mapped so that nearer is smaller (GL_LESS) and the model's whole sphere within it.
  std::array<float, 16> ClipMatrix(std::int32_t width, std::int32_t height) const;
};

}  // namespace zevrin
