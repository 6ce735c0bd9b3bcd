#include "app/uShadedView.h"

#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLBuffer>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLWidget>
#include <QPainter>
#include <QSurfaceFormat>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <vector>

namespace zevrin {
namespace {

// One notch of the wheel: a quarter closer or farther, as in the wireframe.
constexpr double kZoomStep = 1.25;
// Degrees turned per pixel dragged: a drag across a 400-pixel picture turns the model 200.
constexpr double kDegreesPerPixel = 0.5;

// The shaders keep to what OpenGL 2.1 (GLSL 1.10) and OpenGL ES 2 (GLSL ES 1.00) share:
// attributes, varyings, gl_FrontFacing and gl_FragColor, no vertex array objects. Debian's
// Qt 6.4 on xcb asks GLX for a compatibility context by default; under Xvfb Mesa's llvmpipe
// answers with a desktop context that runs them, and a build of Qt on OpenGL ES (or ANGLE)
// runs them unchanged. Nothing here needs more, so the view runs wherever Qt finds any GL.
constexpr const char* kSurfaceVertex = R"(
attribute vec3 a_pos;
attribute vec3 a_normal;
attribute float a_mark;
uniform mat4 u_clip;
varying vec3 v_normal;
varying float v_mark;
void main() {
  v_normal = a_normal;
  v_mark = a_mark;
  gl_Position = u_clip * vec4(a_pos, 1.0);
}
)";

// The software picture's shading (view/ShadedRaster.h): the base colour by facing, tinted half
// and half for a set that cannot turn one way, times 0.22 + 0.78 lit, plus 60 lit^40.
constexpr const char* kSurfaceFragment = R"(
#ifdef GL_ES
precision highp float;
#endif
uniform vec3 u_light;
uniform vec3 u_front;
uniform vec3 u_back;
uniform vec3 u_tint;
varying vec3 v_normal;
varying float v_mark;
void main() {
  vec3 base = gl_FrontFacing ? u_front : u_back;
  if (v_mark > 0.5) base = floor((base * 255.0 + u_tint * 255.0) * 0.5) / 255.0;
  vec3 n = normalize(v_normal);
  if (!gl_FrontFacing) n = -n;
  float lit = max(0.0, dot(n, u_light));
  gl_FragColor = vec4(base * (0.22 + 0.78 * lit) + vec3(60.0 / 255.0) * pow(lit, 40.0), 1.0);
}
)";

// Lines and the background: a colour from the top to the bottom of what is drawn, and lines
// pulled towards the viewer by a little, so that those on the surface are not hidden by it.
constexpr const char* kFlatVertex = R"(
attribute vec3 a_pos;
attribute float a_shade;
uniform mat4 u_clip;
uniform float u_bias;
uniform float u_point;
varying float v_shade;
void main() {
  v_shade = a_shade;
  gl_PointSize = u_point;
  gl_Position = u_clip * vec4(a_pos, 1.0);
  gl_Position.z -= u_bias * gl_Position.w;
}
)";

constexpr const char* kFlatFragment = R"(
#ifdef GL_ES
precision highp float;
#endif
uniform vec3 u_top;
uniform vec3 u_bottom;
varying float v_shade;
void main() { gl_FragColor = vec4(mix(u_top, u_bottom, v_shade), 1.0); }
)";

// Desktop OpenGL takes the point size from the shader only when asked to; ES always does.
constexpr GLenum kProgramPointSize = 0x8642;  // GL_PROGRAM_POINT_SIZE

QVector3D colour(Rgb c) { return QVector3D(c.r / 255.0f, c.g / 255.0f, c.b / 255.0f); }

QVector3D vec(const CameraVec& v) {
  return QVector3D(static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z));
}

QSurfaceFormat viewFormat(bool smooth) {
  QSurfaceFormat format = QSurfaceFormat::defaultFormat();
  format.setDepthBufferSize(24);
  // Where a spline has surface behind it: dark over it, light against the background.
  format.setStencilBufferSize(8);
  // Smooth edges, as the software picture's samples give them, where a graphics card draws.
  format.setSamples(smooth ? 4 : 0);
  return format;
}

// Whether a context can be made at all (not on Qt's offscreen platform without a display, nor
// where the driver refuses), and whether it draws on the processor: Mesa's llvmpipe under Xvfb
// takes about three times as long a frame with four samples a pixel, so it draws without them.
struct GlProbe {
  bool available = false;
  bool on_processor = false;
};

GlProbe probeOpenGl() {
  GlProbe probe;
  QOpenGLContext context;
  context.setFormat(viewFormat(false));
  if (!context.create() || !context.isValid()) return probe;
  probe.available = true;
  QOffscreenSurface surface;
  surface.setFormat(context.format());
  surface.create();
  if (context.makeCurrent(&surface)) {
    const auto* renderer =
        reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
    const QByteArray name = QByteArray(renderer ? renderer : "").toLower();
    probe.on_processor =
        name.contains("llvmpipe") || name.contains("softpipe") || name.contains("swrast");
    context.doneCurrent();
  }
  return probe;
}

}  // namespace

class ShadedGlWidget : public QOpenGLWidget, protected QOpenGLFunctions {
 public:
  ShadedGlWidget(TShadedView* owner, bool smooth) : QOpenGLWidget(owner), owner_(owner) {
    setFormat(viewFormat(smooth));
    // The events go to the view around it.
    setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  ~ShadedGlWidget() override {
    makeCurrent();
    for (QOpenGLBuffer* b : {&positions_, &normals_, &marks_, &holes_, &splines_, &background_})
      b->destroy();
    doneCurrent();
  }
  ShadedGlWidget(const ShadedGlWidget&) = delete;
  ShadedGlWidget& operator=(const ShadedGlWidget&) = delete;

  // The scene is uploaded at the next picture; the arrays stay with the view.
  void SceneChanged() {
    upload_pending_ = true;
    update();
  }
  bool Failed() const { return failed_; }

 protected:
  void initializeGL() override {
    initializeOpenGLFunctions();
    failed_ =
        !(surface_.addShaderFromSourceCode(QOpenGLShader::Vertex, kSurfaceVertex) &&
          surface_.addShaderFromSourceCode(QOpenGLShader::Fragment, kSurfaceFragment) &&
          surface_.link() && flat_.addShaderFromSourceCode(QOpenGLShader::Vertex, kFlatVertex) &&
          flat_.addShaderFromSourceCode(QOpenGLShader::Fragment, kFlatFragment) && flat_.link());
    if (failed_) return;
    // The background: two triangles over the whole picture, top shade 0, bottom shade 1.
    const float quad[] = {-1, 1, 0, 0, -1, -1, 0, 1, 1, 1,  0, 0,
                          1,  1, 0, 0, -1, -1, 0, 1, 1, -1, 0, 1};
    background_.create();
    background_.bind();
    background_.allocate(quad, sizeof quad);
    background_.release();
    upload_pending_ = true;
  }

  void paintGL() override {
    if (failed_) {
      glClearColor(0, 0, 0, 1);
      glClear(GL_COLOR_BUFFER_BIT);
      return;
    }
    if (upload_pending_) upload();
    const ShadedStyle& style = owner_->style_;
    const qreal ratio = devicePixelRatioF();
    glViewport(0, 0, static_cast<GLsizei>(width() * ratio), static_cast<GLsizei>(height() * ratio));
    glClearDepthf(1);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);

    const int flat_pos = flat_.attributeLocation("a_pos");
    const int flat_shade = flat_.attributeLocation("a_shade");
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_CULL_FACE);
    flat_.bind();
    QMatrix4x4 identity;
    flat_.setUniformValue("u_clip", identity);
    flat_.setUniformValue("u_bias", 0.0f);
    flat_.setUniformValue("u_point", 1.0f);
    flat_.setUniformValue("u_top", colour(style.BackgroundTop));
    flat_.setUniformValue("u_bottom", colour(style.BackgroundBottom));
    background_.bind();
    flat_.enableAttributeArray(flat_pos);
    flat_.enableAttributeArray(flat_shade);
    flat_.setAttributeBuffer(flat_pos, GL_FLOAT, 0, 3, 4 * sizeof(float));
    flat_.setAttributeBuffer(flat_shade, GL_FLOAT, 3 * sizeof(float), 1, 4 * sizeof(float));
    glDrawArrays(GL_TRIANGLES, 0, 6);
    flat_.disableAttributeArray(flat_shade);
    background_.release();

    const OrbitCamera& camera = owner_->camera_;
    const std::array<float, 16> m = camera.ClipMatrix(std::max(1, width()), std::max(1, height()));
    const QMatrix4x4 clip = QMatrix4x4(m.data()).transposed();  // QMatrix4x4 takes rows

    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(GL_ALWAYS, 1, 0xFF);
    glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
    if (vertices_ > 0) {
      surface_.bind();
      surface_.setUniformValue("u_clip", clip);
      surface_.setUniformValue("u_light", vec(LightDirection(camera)));
      surface_.setUniformValue("u_front", colour(style.Front));
      surface_.setUniformValue("u_back", colour(style.Back));
      surface_.setUniformValue("u_tint", colour(style.Unorientable));
      const int pos = surface_.attributeLocation("a_pos");
      const int normal = surface_.attributeLocation("a_normal");
      const int mark = surface_.attributeLocation("a_mark");
      surface_.enableAttributeArray(pos);
      surface_.enableAttributeArray(normal);
      surface_.enableAttributeArray(mark);
      positions_.bind();
      surface_.setAttributeBuffer(pos, GL_FLOAT, 0, 3);
      normals_.bind();
      surface_.setAttributeBuffer(normal, GL_FLOAT, 0, 3);
      marks_.bind();
      surface_.setAttributeBuffer(mark, GL_UNSIGNED_BYTE, 0, 1);
      marks_.release();
      glDrawArrays(GL_TRIANGLES, 0, vertices_);
      surface_.disableAttributeArray(pos);
      surface_.disableAttributeArray(normal);
      surface_.disableAttributeArray(mark);
      surface_.release();
    }

    // The software picture lets a line show where it is not behind the surface by more than
    // 0.004 of the model's radius; the depth runs over 1.01 radii each way.
    flat_.bind();
    flat_.setUniformValue("u_clip", clip);
    flat_.setUniformValue("u_bias", static_cast<float>(0.004 / 1.01));
    glDepthFunc(GL_LEQUAL);
    // The surface's attributes may share the locations of these: enabled again after it.
    flat_.enableAttributeArray(flat_pos);
    flat_.disableAttributeArray(flat_shade);
    glVertexAttrib1f(flat_shade, 0);
    const auto lines = [&](QOpenGLBuffer& buffer, int count, Rgb c, float line_width) {
      if (count <= 0) return;
      flat_.setUniformValue("u_top", colour(c));
      buffer.bind();
      flat_.setAttributeBuffer(flat_pos, GL_FLOAT, 0, 3);
      glLineWidth(line_width * static_cast<float>(ratio));
      glDrawArrays(GL_LINES, 0, count);
      buffer.release();
    };
    if (owner_->style_.DrawSplines) {
      glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
      glStencilFunc(GL_EQUAL, 1, 0xFF);
      lines(splines_, spline_vertices_, style.Spline, 1);
      glStencilFunc(GL_EQUAL, 0, 0xFF);
      lines(splines_, spline_vertices_, style.SplineInTheAir, 1);
    }
    glDisable(GL_STENCIL_TEST);
    lines(holes_, hole_vertices_, style.Hole, 2);
    // A hole smaller than a pixel (the rings a sphere leaves open at its poles) draws no line:
    // its corners as dots show it, as the software picture's thick line ends do.
    if (hole_vertices_ > 0) {
      if (!context()->isOpenGLES()) glEnable(kProgramPointSize);
      flat_.setUniformValue("u_point", static_cast<float>(2 * ratio));
      holes_.bind();
      flat_.setAttributeBuffer(flat_pos, GL_FLOAT, 0, 3);
      glDrawArrays(GL_POINTS, 0, hole_vertices_);
      holes_.release();
      flat_.setUniformValue("u_point", 1.0f);
    }
    glLineWidth(1);
    flat_.disableAttributeArray(flat_pos);
    flat_.release();
  }

 private:
  // Every array of the scene into its buffer, once per scene.
  void upload() {
    upload_pending_ = false;
    const ShadedScene* scene = owner_->scene_.get();
    const std::size_t triangles = scene
                                      ? std::min({scene->Marks.size(), scene->Positions.size() / 9,
                                                  scene->Normals.size() / 9})
                                      : 0;
    const auto fill = [](QOpenGLBuffer& buffer, const void* from, std::size_t bytes) {
      if (!buffer.isCreated()) buffer.create();
      buffer.bind();
      buffer.allocate(from, static_cast<int>(bytes));
      buffer.release();
    };
    // One vertex a corner for glDrawArrays; a draw of more than GLsizei's range is not made.
    const std::size_t limit = static_cast<std::size_t>(std::numeric_limits<GLsizei>::max()) / 36;
    const std::size_t drawn = std::min(triangles, limit);
    std::vector<std::uint8_t> marks(drawn * 3);
    for (std::size_t t = 0; t < drawn; ++t)
      marks[3 * t] = marks[3 * t + 1] = marks[3 * t + 2] = scene->Marks[t];
    fill(positions_, drawn ? scene->Positions.data() : nullptr, drawn * 36);
    fill(normals_, drawn ? scene->Normals.data() : nullptr, drawn * 36);
    fill(marks_, marks.data(), marks.size());
    vertices_ = static_cast<GLsizei>(drawn * 3);
    const auto segments = [&](QOpenGLBuffer& buffer, const std::vector<float>* list) {
      const std::size_t n = list ? std::min(list->size() / 6, limit) : 0;
      fill(buffer, n ? list->data() : nullptr, n * 24);
      return static_cast<GLsizei>(n * 2);
    };
    hole_vertices_ = segments(holes_, scene ? &scene->HoleLines : nullptr);
    spline_vertices_ = segments(splines_, scene ? &scene->SplineLines : nullptr);
  }

  TShadedView* owner_;
  QOpenGLShaderProgram surface_;
  QOpenGLShaderProgram flat_;
  QOpenGLBuffer positions_, normals_, marks_, holes_, splines_, background_;
  GLsizei vertices_ = 0, hole_vertices_ = 0, spline_vertices_ = 0;
  bool upload_pending_ = true;
  bool failed_ = false;
};

TShadedView::TShadedView(QWidget* parent, bool software) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setFocusPolicy(Qt::WheelFocus);
  camera_ = OrbitCamera::ForView(home_);
  const GlProbe probe = software ? GlProbe{} : probeOpenGl();
  if (probe.available) {
    gl_ = new ShadedGlWidget(this, !probe.on_processor);
    gl_->setGeometry(rect());
  }
  for (QToolButton*& button : buttons_) {
    button = new QToolButton(this);
    button->setAutoRaise(false);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(QStringLiteral(
        "QToolButton { color: #e8ecf2; background: rgba(20, 22, 26, 170); border: 1px solid "
        "#5a606c; border-radius: 3px; padding: 2px 8px; }"
        "QToolButton:hover { background: rgba(70, 76, 88, 200); }"));
  }
  connect(buttons_[0], &QToolButton::clicked, this, [this] { ShowDirection(ViewKind::Front); });
  connect(buttons_[1], &QToolButton::clicked, this, [this] { ShowDirection(ViewKind::Left); });
  connect(buttons_[2], &QToolButton::clicked, this, [this] { ShowDirection(ViewKind::Top); });
  connect(buttons_[3], &QToolButton::clicked, this, [this] { Fit(); });
  buttons_[0]->setObjectName(QStringLiteral("btnShadedFront"));
  buttons_[1]->setObjectName(QStringLiteral("btnShadedLeft"));
  buttons_[2]->setObjectName(QStringLiteral("btnShadedTop"));
  buttons_[3]->setObjectName(QStringLiteral("btnShadedFit"));
}

TShadedView::~TShadedView() = default;

void TShadedView::SetButtonTexts(const QString& front, const QString& left, const QString& top,
                                 const QString& fit) {
  const QString texts[4] = {front, left, top, fit};
  int x = 6;
  for (int i = 0; i < 4; ++i) {
    buttons_[i]->setText(texts[i]);
    buttons_[i]->adjustSize();
    buttons_[i]->move(x, 6);
    buttons_[i]->raise();
    x += buttons_[i]->width() + 4;
  }
}

void TShadedView::SetScene(std::shared_ptr<const ShadedScene> scene) {
  scene_ = std::move(scene);
  if (scene_) FitScene(camera_, *scene_, std::max(1, width()), std::max(1, height()));
  if (gl_) gl_->SceneChanged();
  cameraChanged();
}

void TShadedView::ShowDirection(ViewKind kind) {
  home_ = kind;
  camera_ = OrbitCamera::ForView(kind);
  Fit();
}

void TShadedView::Fit() {
  const OrbitCamera home = OrbitCamera::ForView(home_);
  camera_.Yaw = home.Yaw;
  camera_.Pitch = home.Pitch;
  if (scene_) FitScene(camera_, *scene_, std::max(1, width()), std::max(1, height()));
  cameraChanged();
}

void TShadedView::ZoomBy(double factor) {
  if (camera_.ZoomAbout(factor, width() / 2.0, height() / 2.0, width(), height())) cameraChanged();
}

void TShadedView::SetSplines(bool shown) {
  style_.DrawSplines = shown;
  cameraChanged();
}

void TShadedView::cameraChanged() {
  if (gl_) {
    gl_->update();
  } else {
    update();
  }
  if (OnCameraChanged) OnCameraChanged();
}

QImage TShadedView::softwarePicture() const {
  const int w = std::max(1, width()), h = std::max(1, height());
  if (!scene_) {
    QImage blank(w, h, QImage::Format_RGB32);
    blank.fill(
        QColor(style_.BackgroundBottom.r, style_.BackgroundBottom.g, style_.BackgroundBottom.b));
    return blank;
  }
  const RgbaImage picture = RenderShaded(*scene_, camera_, w, h, style_);
  return QImage(picture.Pixels.data(), picture.Width, picture.Height, picture.Width * 4,
                QImage::Format_RGBA8888)
      .convertToFormat(QImage::Format_RGB32);
}

QImage TShadedView::Picture() {
  if (gl_) return gl_->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
  return softwarePicture();
}

void TShadedView::paintEvent(QPaintEvent*) {
  if (gl_) return;
  QPainter painter(this);
  painter.drawImage(0, 0, softwarePicture());
}

void TShadedView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (gl_) gl_->setGeometry(rect());
  // Another size is another fitted picture, from the direction the view has.
  if (scene_) FitScene(camera_, *scene_, std::max(1, width()), std::max(1, height()));
  cameraChanged();
}

void TShadedView::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  if (delta == 0) {
    QWidget::wheelEvent(event);
    return;
  }
  // 120 is one notch; finer wheels and touch pads send parts of one.
  const QPointF at = event->position();
  if (camera_.ZoomAbout(std::pow(kZoomStep, delta / 120.0), at.x(), at.y(), width(), height()))
    cameraChanged();
  event->accept();
}

void TShadedView::mousePressEvent(QMouseEvent* event) {
  const bool move = event->button() == Qt::MiddleButton || event->button() == Qt::RightButton ||
                    (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier));
  if (move) {
    drag_ = Drag::Move;
  } else if (event->button() == Qt::LeftButton) {
    drag_ = Drag::Turn;
  } else {
    QWidget::mousePressEvent(event);
    return;
  }
  drag_from_ = event->position();
  setCursor(drag_ == Drag::Move ? Qt::ClosedHandCursor : Qt::SizeAllCursor);
  event->accept();
}

void TShadedView::mouseMoveEvent(QMouseEvent* event) {
  if (drag_ == Drag::None) {
    QWidget::mouseMoveEvent(event);
    return;
  }
  const QPointF delta = event->position() - drag_from_;
  drag_from_ = event->position();
  if (drag_ == Drag::Turn) {
    // Dragging right turns the model's front to the right; dragging down shows it from above.
    camera_.Orbit(delta.x() * kDegreesPerPixel, delta.y() * kDegreesPerPixel);
  } else {
    camera_.PanBy(delta.x(), delta.y());
  }
  cameraChanged();
  event->accept();
}

void TShadedView::mouseReleaseEvent(QMouseEvent* event) {
  if (drag_ == Drag::None) {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  if (event->buttons() == Qt::NoButton) {
    drag_ = Drag::None;
    unsetCursor();
  }
  event->accept();
}

}  // namespace zevrin
