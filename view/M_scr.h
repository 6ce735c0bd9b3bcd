// The wireframe view: projects model coordinates onto a picture for one of three fixed
// orthographic directions, fits the document's box with a 10 percent margin, draws the grid
// and axes, and offers the 3-D primitives through which the nodes draw themselves.
#pragma once

#include <cstdint>
#include <string_view>

#include "view/LabelSpace.h"
#include "view/Surface.h"

namespace zevrin {

class Mamcommon;

// The three directions of view, by the numbers of the View menu's items and the combo box.
enum class ViewKind : std::int32_t { Front = 0, Left = 1, Top = 2 };
// The view of a menu or combo item: 0 is the front, 1 the left, any other the top.
constexpr ViewKind ViewKindOfItem(std::int32_t item) {
  return item == 0 ? ViewKind::Front : item == 1 ? ViewKind::Left : ViewKind::Top;
}

class Mscreen {
 public:
  DrawSurface* Canvas = nullptr;  // not owned
  long double Left = -100;
  long double Top = -100;
  long double Right = 100;
  long double Bottom = 100;
  std::int32_t Width = 100;
  std::int32_t Height = 100;
  long double Scale = 0;
  std::int32_t OriginX = 0;
  std::int32_t OriginY = 0;
  double ProjH = 0;
  double ProjV = 0;
  ViewKind Direction = ViewKind::Front;
  // The control points are labelled with their ids.
  bool ShowCpid = false;

  // Looking closer: a zoom factor and a shift in pixels applied on top of the fitted
  // projection. At zoom 1 without shift every pixel is the fitted picture's; the fit itself
  // (Redisplay, SetExtent) never changes them.
  long double Zoom = 1;
  long double ShiftX = 0;
  long double ShiftY = 0;
  // Beyond these the picture would show nothing more (or points would leave the pixel range).
  static constexpr long double kMinZoom = 0.01L;
  static constexpr long double kMaxZoom = 10000.0L;
  // Zooms by `factor` about the pixel (x, y), whose model point stays under it, within the
  // limits above. False when the zoom stood at its limit already.
  bool ZoomAbout(long double factor, long double x, long double y);
  // Moves the picture by (dx, dy) pixels, as far as the model's fitted window stays in reach.
  void ShiftBy(long double dx, long double dy);
  // Back to the fitted picture.
  void Fit() {
    Zoom = 1;
    ShiftX = ShiftY = 0;
  }
  bool IsFitted() const { return Zoom == 1 && ShiftX == 0 && ShiftY == 0; }

  void SetCanvas(DrawSurface* canvas, std::int32_t width, std::int32_t height);
  // Widens the window by 10 percent; an edge on the wrong side of zero becomes +-0.1.
  void SetExtent(long double left, long double top, long double right, long double bottom);
  void SetDirection(ViewKind kind) { Direction = kind; }
  void Project(long double x, long double y, long double z);

  // The primitives the nodes draw with. A pixel coordinate beyond 32 bits raises the range
  // error.
  void MoveTo3D(long double x, long double y, long double z);
  void LineTo3D(long double x, long double y, long double z);
  void TextOut3D(std::string_view text, long double x, long double y, long double z);
  void SetPenColor(Rgb color);
  // A control point's id as a label, left out when it would cover a label already in the
  // picture: the picture holds what fits, in time bounded by its size. Counted either way.
  void LabelPoint3D(std::int32_t id, long double x, long double y, long double z);
  // The labels of the picture since its last clearing: drawn, and left out for lack of room
  // (labels off the picture count as neither).
  std::int64_t LabelsShown() const { return labels_shown_; }
  std::int64_t LabelsLeftOut() const { return labels_left_out_; }

  void MoveTo2D(long double h, long double v);
  void LineTo2D(long double h, long double v);
  // A dark green 9-point label; the pen stays where it was.
  void TextOut2D(std::string_view text, long double h, long double v);
  void ClearScreen(Rgb color);
  void DrawGrid(long double step);

  // Fits the view to the document's box symmetrically about the origin, clears, draws the
  // grid and axes, then the document in white lines. Without a document nothing happens.
  void Redisplay(Mamcommon* document, ViewKind direction);

  // Pixel of a view coordinate: nearest integer, ties to even.
  std::int32_t PixelX(long double h) const;
  std::int32_t PixelY(long double v) const;

 private:
  void Recompute();
  // Pixels per model unit as drawn: the fitted scale times the zoom.
  long double DrawScale() const { return Scale * Zoom; }
  // The grid and axes over the visible part of a zoomed or shifted picture.
  void DrawGridShifted(long double step);
  // The view coordinates at the pixel column x and row y.
  long double ViewH(long double x) const;
  long double ViewV(long double y) const;

  LabelSpace labels_;
  std::int64_t labels_shown_ = 0;
  std::int64_t labels_left_out_ = 0;
  // The box of a label of 1..11 characters, measured at the first such label of a picture.
  TextExtent label_boxes_[12];
};

// Draws `document` as the window draws it at its start: the view set up as there, then a
// redisplay from `direction`, the control points labelled when `cpid` is set. For the front
// ends that draw a whole picture at once (the command line's render, the page).
void DrawAsAtStart(DrawSurface& surface, std::int32_t width, std::int32_t height,
                   Mamcommon* document, ViewKind direction, bool cpid);

}  // namespace zevrin
