// The shaded picture drawn in software: a z-buffer over the scene's triangles, lit from the
// viewer, each pixel in the front colour or, where the triangle turns its back to the viewer,
// the back colour; the splines over it and the hole outlines in their colour. For the command
// line's `render --shaded` and the tests: a picture that depends on no display and no graphics
// driver. The window and the page draw the same scene with OpenGL instead.
#pragma once

#include <cstdint>
#include <vector>

#include "view/OrbitCamera.h"
#include "view/ShadedScene.h"
#include "view/Surface.h"

namespace zevrin {

struct ShadedStyle {
  // The background runs from the first colour at the top to the second at the bottom.
  Rgb BackgroundTop{72, 76, 84};
  Rgb BackgroundBottom{28, 30, 34};
  // The surface seen from its front and from its back.
  Rgb Front{190, 196, 206};
  Rgb Back{214, 92, 64};
  // Mixed half and half into the colour of a triangle of a set that cannot turn one way.
  Rgb Unorientable{200, 60, 220};
  Rgb Hole{255, 214, 0};
  // Splines over the surface, and where no surface lies behind them (a spline no patch
  // borders, or one seen against the background).
  Rgb Spline{24, 26, 32};
  Rgb SplineInTheAir{150, 156, 168};
  bool DrawSplines = true;
  // Samples each way within a pixel (1 to 4), averaged: 2 gives edges without steps at four
  // times the work.
  std::int32_t Samples = 2;
};

// An 8-bit RGBA picture, rows from the top, 4 bytes a pixel, every pixel opaque.
struct RgbaImage {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::vector<std::uint8_t> Pixels;

  Rgb At(std::int32_t x, std::int32_t y) const {
    const std::size_t at = (static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) +
                            static_cast<std::size_t>(x)) *
                           4;
    return {Pixels[at], Pixels[at + 1], Pixels[at + 2]};
  }
};

// Where the light comes from, as a unit vector in model coordinates: from the viewer, a little
// from above and the left, so that faces square to the view still differ from those that turn
// away. A pixel of base colour c whose normal n (turned to the viewer on a back) makes
// lit = max(0, n · light) is c · (0.22 + 0.78 · lit) + 60 · lit^40 in each channel; an OpenGL
// front end that shades the same way shows the same picture.
CameraVec LightDirection(const OrbitCamera& camera);

// The largest picture side drawn; a larger size is drawn at this size.
constexpr std::int32_t kMaxShadedSide = 16384;

// Draws `scene` as `camera` sees it into a picture of `width` x `height` pixels (each side at
// least 1). Triangles and lines with coordinates that are not finite, or that fall wholly off
// the picture, are left out; the work is bounded by the picture's pixels and the scene's size.
RgbaImage RenderShaded(const ShadedScene& scene, const OrbitCamera& camera, std::int32_t width,
                       std::int32_t height, const ShadedStyle& style = {});

}  // namespace zevrin
