// The window's shaded view: the document's surface (a ShadedScene made on a step's thread once
// per change of the document) drawn with OpenGL, turned with a left drag about the model's
// centre, zoomed about the pointer with the wheel and moved with a middle or right drag (or a
// left one with Shift held). Buttons over the picture give the three fixed directions and the
// fitted picture. Where no OpenGL context can be had, the same picture is drawn in software
// (RenderShaded), so that the view works everywhere.
#pragma once

#include <QImage>
#include <QPointF>
#include <QWidget>
#include <functional>
#include <memory>

#include "view/OrbitCamera.h"
#include "view/ShadedRaster.h"
#include "view/ShadedScene.h"

class QToolButton;

namespace zevrin {

class ShadedGlWidget;

class TShadedView : public QWidget {
 public:
  // `software`: draw without OpenGL even where it could be had.
  TShadedView(QWidget* parent, bool software);
  ~TShadedView() override;
  TShadedView(const TShadedView&) = delete;
  TShadedView& operator=(const TShadedView&) = delete;

  // Whether the picture is drawn in software (no OpenGL context could be made).
  bool InSoftware() const { return gl_ == nullptr; }

  // The scene to draw; the camera keeps its direction and fits the new scene. Uploaded to the
  // graphics memory once, at the next picture.
  void SetScene(std::shared_ptr<const ShadedScene> scene);
  const ShadedScene* Scene() const { return scene_.get(); }
  // The fitted picture from one of the three fixed directions; Home gives it back.
  void ShowDirection(ViewKind kind);
  void Fit();
  void ZoomBy(double factor);  // about the middle of the picture
  void SetSplines(bool shown);
  void SetButtonTexts(const QString& front, const QString& left, const QString& top,
                      const QString& fit);

  const OrbitCamera& Camera() const { return camera_; }
  // The picture as shown.
  QImage Picture();

  // After every change of the camera (turn, zoom, move, fit).
  std::function<void()> OnCameraChanged;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  friend class ShadedGlWidget;
  void cameraChanged();
  QImage softwarePicture() const;

  std::shared_ptr<const ShadedScene> scene_;
  OrbitCamera camera_;
  ViewKind home_ = ViewKind::Front;
  ShadedStyle style_;
  ShadedGlWidget* gl_ = nullptr;
  QToolButton* buttons_[4] = {};
  enum class Drag { None, Turn, Move } drag_ = Drag::None;
  QPointF drag_from_;
};

}  // namespace zevrin
