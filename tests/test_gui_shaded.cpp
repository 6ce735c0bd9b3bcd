// The window's shaded view driven as a user drives it: chosen from the View menu or the
// direction box, turned with a drag, zoomed with the wheel, moved with a right drag, fitted
// with Home and the direction buttons, following every edit and undo, in Japanese and English.
// Run on a virtual X display (Xvfb), where Mesa draws the OpenGL picture in software; without
// one, on Qt's offscreen platform, the view falls back to the software picture and the same
// cases hold. The window's pictures in both languages go to build/screenshots.
//
// Arguments: "ja" or "en" runs one language only; the rest goes to Qt Test.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/session/Document.h"
#include "app/uMain.h"
#include "app/uShadedView.h"
#include "model/ShadedModel.h"
#include "model/tree/AM_const.h"
#include "tests/GuiTestHome.h"
#include "view/ShadedRaster.h"

namespace zevrin {
namespace {

const QString kExamples = QStringLiteral(ZEVRIN_EXAMPLES);
const QString kTestData = QStringLiteral(ZEVRIN_TEST_DATA);
const QString kScreenshots = QStringLiteral(ZEVRIN_SCREENSHOTS);

// The scene the core makes of FILE, for the counts the note must show.
ShadedScene sceneOf(const QString& file) {
  DocumentSession session;
  session.CurrentFile = file.toStdString();
  if (session.LoadDocument().Outcome != LoadOutcome::Loaded) return {};
  Progress bars;
  return BuildShadedScene(*session.Document, bars);
}

int countPixels(const QImage& image, QRgb color) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == color ? 1 : 0;
  return n;
}

// Pixels of the surface: neither the background's grey ramp nor black.
int surfacePixels(const QImage& image) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb c = image.pixel(x, y);
      n += qBlue(c) > 100 || qRed(c) > 100 ? 1 : 0;
    }
  return n;
}

}  // namespace

class ShadedWindowTest : public QObject {
  Q_OBJECT
 public:
  explicit ShadedWindowTest(bool japanese) : japanese_(japanese) {}

 private slots:
  void init();
  void cleanup();

  void chosenFromTheMenuOrTheBoxWithCountsAndAngles();
  void dragTurnsWheelZoomsRightDragMovesHomeFits();
  void directionButtonsAndSplinesItem();
  void theSurfaceFollowsEditUndoAndRedo();
  void holesShowInTheirColour();
  void theWireframeIsUntouchedByTheShadedView();
  void withoutOpenGLTheSoftwarePictureIsShown();
  void openGlDrawsTheSoftwarePicture();
  void screenshots();

 private:
  QString tr2(const char* japanese, const char* english) const {
    return QString::fromUtf8(japanese_ ? japanese : english);
  }
  std::unique_ptr<TfrmMain> newWindow(bool software = false) {
    auto window = std::make_unique<TfrmMain>();
    window->KeepDesignSize();
    if (software) window->ForceSoftwareShading();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) return nullptr;
    return window;
  }
  QString copy(const QString& source, const QString& name) {
    const QString path = dir_->filePath(name);
    QFile::remove(path);
    QFile::copy(source, path);
    QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return path;
  }
  QString halfBox() { return copy(kExamples + "/half_box.mdl", QStringLiteral("half_box.mdl")); }
  static QString note(const TfrmMain& w) { return w.StatusNote->text(); }
  static QImage picture(TfrmMain& w) {
    QCoreApplication::processEvents();
    return w.Shaded->Picture();
  }
  QString counts(const ShadedScene& s) const {
    return tr2("パッチ=%1 穴=%2 向き付け不能=%3", "patches=%1 holes=%2 unorientable=%3")
        .arg(s.Patches)
        .arg(s.Holes)
        .arg(s.Unorientable);
  }
  QString angles(int yaw, int pitch) const {
    return tr2("ヨー %1° ピッチ %2°", "yaw %1° pitch %2°").arg(yaw).arg(pitch);
  }

  bool japanese_;
  std::unique_ptr<QTemporaryDir> dir_;
};

void ShadedWindowTest::init() {
  dir_ = std::make_unique<QTemporaryDir>();
  QVERIFY(dir_->isValid());
  QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("TALQ"),
              QStringLiteral("Zevrin100"));
  s.clear();
  s.sync();
}

void ShadedWindowTest::cleanup() { dir_.reset(); }

// The View menu's item and the box's last entry show the surface in the picture's place; the
// note counts what the core counts and gives the direction; the wireframe's items go back.
void ShadedWindowTest::chosenFromTheMenuOrTheBoxWithCountsAndAngles() {
  auto w = newWindow();
  QVERIFY(w);
  QCOMPARE(w->mnViewShaded->text(), tr2("陰影(&S)", "&Shaded"));
  QCOMPARE(w->comboDir->itemText(3), tr2("陰影", "Shaded"));
  QCOMPARE(w->mnShadedSplines->text(),
           tr2("陰影にスプラインを表示(&P)", "S&plines on the Surface"));
  QVERIFY(w->mnShadedSplines->isChecked());
  const QString box = halfBox();
  QVERIFY(w->OpenFile(box));
  QCOMPARE(w->comboDir->currentIndex(), 0);  // a file opens in the wireframe
  QVERIFY(!w->Shaded);

  w->mnViewShaded->trigger();
  QCOMPARE(w->comboDir->currentIndex(), 3);
  QVERIFY(w->ShadedShown());
  QVERIFY(w->Shaded && w->Shaded->isVisible());
  QVERIFY(!w->ImageSD->isVisible());
  const ShadedScene expected = sceneOf(box);
  QVERIFY(expected.Patches > 0);
  QVERIFY2(note(*w).contains(counts(expected)), qPrintable(note(*w)));
  QVERIFY2(note(*w).contains(angles(0, 0)), qPrintable(note(*w)));
  QVERIFY(surfacePixels(picture(*w)) > 500);

  w->mnViewHidari->trigger();
  QCOMPARE(w->comboDir->currentIndex(), 1);
  QVERIFY(!w->Shaded->isVisible());
  QVERIFY(w->ImageSD->isVisible());
  QVERIFY(!note(*w).contains(counts(expected)));
  w->comboDir->setCurrentIndex(3);
  QVERIFY(w->Shaded->isVisible());
  QVERIFY(note(*w).contains(counts(expected)));
}

void ShadedWindowTest::dragTurnsWheelZoomsRightDragMovesHomeFits() {
  auto w = newWindow();
  QVERIFY(w);
  QVERIFY(w->OpenFile(copy(kTestData + "/tag/Box.mdl", QStringLiteral("Box.mdl"))));
  w->comboDir->setCurrentIndex(3);
  TShadedView* view = w->Shaded;
  QVERIFY(view);
  const QImage fitted = picture(*w);

  // A drag 100 pixels right and 40 down: half a degree a pixel, the front turned to the right
  // and the model seen from above.
  QTest::mousePress(view, Qt::LeftButton, {}, QPoint(100, 100));
  QTest::mouseMove(view, QPoint(150, 120));
  QTest::mouseMove(view, QPoint(200, 140));
  QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(200, 140));
  QVERIFY2(note(*w).contains(angles(50, 20)), qPrintable(note(*w)));
  const QImage turned = picture(*w);
  QVERIFY(turned != fitted);

  // Home: the fitted picture of the direction chosen last, pixel for pixel.
  w->mnFit->trigger();
  QVERIFY(note(*w).contains(angles(0, 0)));
  QCOMPARE(picture(*w), fitted);

  // The wheel zooms about the pointer: the point under it stays, the picture grows.
  const QPoint at(120, 90);
  QWheelEvent wheel(at, view->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(view, &wheel);
  const QImage zoomed = picture(*w);
  QVERIFY(zoomed != fitted);
  QVERIFY(surfacePixels(zoomed) > surfacePixels(fitted));
  QCOMPARE(view->Camera().Project(view->Camera().Centre, view->width(), view->height()).x >
               view->width() / 2.0,
           at.x() < view->width() / 2.0);

  // A right drag and a Shift+left drag move the picture; the angles stay.
  w->mnFit->trigger();
  QTest::mousePress(view, Qt::RightButton, {}, QPoint(50, 50));
  QTest::mouseMove(view, QPoint(90, 50));
  QTest::mouseRelease(view, Qt::RightButton, {}, QPoint(90, 50));
  QCOMPARE(view->Camera().PanX, 40.0);
  QTest::mousePress(view, Qt::LeftButton, Qt::ShiftModifier, QPoint(50, 50));
  QTest::mouseMove(view, QPoint(50, 80));
  QTest::mouseRelease(view, Qt::LeftButton, Qt::ShiftModifier, QPoint(50, 80));
  QCOMPARE(view->Camera().PanY, 30.0);
  QVERIFY(note(*w).contains(angles(0, 0)));
  QVERIFY(picture(*w) != fitted);
  // The Fit button gives the fitted picture back too.
  view->findChild<QToolButton*>(QStringLiteral("btnShadedFit"))->click();
  QCOMPARE(picture(*w), fitted);
}

void ShadedWindowTest::directionButtonsAndSplinesItem() {
  auto w = newWindow();
  QVERIFY(w);
  QVERIFY(w->OpenFile(copy(kTestData + "/tag/Box.mdl", QStringLiteral("Box.mdl"))));
  w->mnViewShaded->trigger();
  TShadedView* view = w->Shaded;
  const QImage front = picture(*w);
  const auto button = [&](const char* name) {
    return view->findChild<QToolButton*>(QString::fromLatin1(name));
  };
  QCOMPARE(button("btnShadedFront")->text(), tr2("前", "Front"));
  QCOMPARE(button("btnShadedLeft")->text(), tr2("左", "Left"));
  QCOMPARE(button("btnShadedTop")->text(), tr2("上", "Top"));
  QCOMPARE(button("btnShadedFit")->text(), tr2("全体", "Fit"));
  button("btnShadedLeft")->click();
  QVERIFY(note(*w).contains(angles(90, 0)));
  const QImage left = picture(*w);
  QVERIFY(left != front);
  // Home keeps the direction chosen last.
  QTest::mousePress(view, Qt::LeftButton, {}, QPoint(100, 100));
  QTest::mouseMove(view, QPoint(130, 100));
  QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(130, 100));
  QVERIFY(note(*w).contains(angles(105, 0)));
  w->mnFit->trigger();
  QCOMPARE(picture(*w), left);
  button("btnShadedTop")->click();
  QVERIFY(note(*w).contains(angles(0, 90)));
  button("btnShadedFront")->click();
  QCOMPARE(picture(*w), front);

  // The splines: dark lines over the surface, gone when the item is cleared.
  const QRgb spline = qRgb(24, 26, 32);
  QVERIFY(countPixels(front, spline) > 20);
  w->mnShadedSplines->trigger();
  QVERIFY(!w->mnShadedSplines->isChecked());
  const QImage bare = picture(*w);
  QCOMPARE(countPixels(bare, spline), 0);
  w->mnShadedSplines->trigger();
  QCOMPARE(picture(*w), front);
}

// Every change of the document is a new surface: Halvejoin doubles the half box, Undo gives
// the half back pixel for pixel, Redo the whole again; the counts follow.
void ShadedWindowTest::theSurfaceFollowsEditUndoAndRedo() {
  auto w = newWindow();
  QVERIFY(w);
  const QString box = halfBox();
  QVERIFY(w->OpenFile(box));
  w->edGosa->setText(QStringLiteral("0.001"));
  w->mnViewShaded->trigger();
  const QImage half = picture(*w);
  const QString half_counts = counts(sceneOf(box));
  QVERIFY(note(*w).contains(half_counts));

  w->mnHalvejoin->trigger();
  QVERIFY(w->IsModified());
  QVERIFY(w->ShadedShown());
  const QImage whole = picture(*w);
  QVERIFY(whole != half);
  QVERIFY(surfacePixels(whole) != surfacePixels(half));
  const QString whole_counts =
      tr2("パッチ=2 穴=4 向き付け不能=0", "patches=2 holes=4 unorientable=0");
  QVERIFY2(note(*w).contains(whole_counts), qPrintable(note(*w)));

  w->mnUndo->trigger();
  QCOMPARE(picture(*w), half);
  QVERIFY(note(*w).contains(half_counts));
  w->mnRedo->trigger();
  QCOMPARE(picture(*w), whole);
  QVERIFY(note(*w).contains(whole_counts));

  // An edit made while the wireframe shows is drawn when the surface is chosen again.
  w->mnViewMae->trigger();
  w->mnUndo->trigger();
  w->mnViewShaded->trigger();
  QCOMPARE(picture(*w), half);
}

// The whole box's four openings: thick yellow lines, in the colour of the software picture.
void ShadedWindowTest::holesShowInTheirColour() {
  auto w = newWindow();
  QVERIFY(w);
  QVERIFY(w->OpenFile(halfBox()));
  w->edGosa->setText(QStringLiteral("0.001"));
  w->mnViewShaded->trigger();
  w->mnHalvejoin->trigger();
  QVERIFY2(note(*w).contains(tr2("穴=4", "holes=4")), qPrintable(note(*w)));
  QVERIFY(countPixels(picture(*w), qRgb(255, 214, 0)) > 100);
  // A closed box has none.
  w->mnSave->trigger();
  QVERIFY(w->OpenFile(copy(kTestData + "/tag/Cube.mdl", QStringLiteral("Cube.mdl"))));
  QCOMPARE(sceneOf(w->CurrentFile()).Holes, std::size_t{0});
  QCOMPARE(countPixels(picture(*w), qRgb(255, 214, 0)), 0);
}

void ShadedWindowTest::theWireframeIsUntouchedByTheShadedView() {
  auto w = newWindow();
  QVERIFY(w);
  QVERIFY(w->OpenFile(halfBox()));
  const QImage wireframe = w->ImageSD->Picture();
  w->mnViewShaded->trigger();
  QTest::mousePress(w->Shaded, Qt::LeftButton, {}, QPoint(100, 100));
  QTest::mouseMove(w->Shaded, QPoint(160, 100));
  QTest::mouseRelease(w->Shaded, Qt::LeftButton, {}, QPoint(160, 100));
  w->mnViewMae->trigger();
  QCoreApplication::processEvents();
  QCOMPARE(w->ImageSD->Picture(), wireframe);
}

// No OpenGL: the picture is RenderShaded's, exactly, and the note says how it is drawn.
void ShadedWindowTest::withoutOpenGLTheSoftwarePictureIsShown() {
  auto w = newWindow(true);
  QVERIFY(w);
  const QString box = halfBox();
  QVERIFY(w->OpenFile(box));
  w->mnViewShaded->trigger();
  QVERIFY(w->Shaded->InSoftware());
  QVERIFY2(note(*w).contains(tr2("OpenGLなし: ソフトウェアで描画", "No OpenGL: drawn in software")),
           qPrintable(note(*w)));
  QTest::mousePress(w->Shaded, Qt::LeftButton, {}, QPoint(100, 100));
  QTest::mouseMove(w->Shaded, QPoint(130, 110));
  QTest::mouseRelease(w->Shaded, Qt::LeftButton, {}, QPoint(130, 110));
  const ShadedScene scene = sceneOf(box);
  const RgbaImage expected =
      RenderShaded(scene, w->Shaded->Camera(), w->Shaded->width(), w->Shaded->height());
  const QImage want = QImage(expected.Pixels.data(), expected.Width, expected.Height,
                             expected.Width * 4, QImage::Format_RGBA8888)
                          .convertToFormat(QImage::Format_RGB32);
  QCOMPARE(picture(*w), want);
}

// OpenGL shades as the software picture does: the two pictures of a turned model differ only
// along edges, where their smoothing differs.
void ShadedWindowTest::openGlDrawsTheSoftwarePicture() {
  auto w = newWindow();
  QVERIFY(w);
  const QString thom = copy(kTestData + "/tag/Thom2.mdl", QStringLiteral("Thom2.mdl"));
  QVERIFY(w->OpenFile(thom));
  w->mnViewShaded->trigger();
  if (w->Shaded->InSoftware()) QSKIP("no OpenGL here");
  QTest::mousePress(w->Shaded, Qt::LeftButton, {}, QPoint(100, 100));
  QTest::mouseMove(w->Shaded, QPoint(40, 120));
  QTest::mouseRelease(w->Shaded, Qt::LeftButton, {}, QPoint(40, 120));
  const QImage gl = picture(*w);
  const RgbaImage soft =
      RenderShaded(sceneOf(thom), w->Shaded->Camera(), w->Shaded->width(), w->Shaded->height());
  QCOMPARE(gl.size(), QSize(soft.Width, soft.Height));
  int far = 0;
  for (int y = 0; y < gl.height(); ++y)
    for (int x = 0; x < gl.width(); ++x) {
      const Rgb s = soft.At(x, y);
      const QRgb g = gl.pixel(x, y);
      far += std::abs(qRed(g) - s.r) + std::abs(qGreen(g) - s.g) + std::abs(qBlue(g) - s.b) > 60;
    }
  QVERIFY2(far < gl.width() * gl.height() * 3 / 100, qPrintable(QString::number(far)));
  // The tiny rings the sphere of the head leaves open at its poles show in both.
  QVERIFY(countPixels(gl, qRgb(255, 214, 0)) > 0);
}

// The window with a turned model, as a user sees it, for the eye.
void ShadedWindowTest::screenshots() {
  auto w = newWindow();
  QVERIFY(w);
  w->resize(900, 700);
  QVERIFY(w->OpenFile(copy(kTestData + "/tag/Thom2.mdl", QStringLiteral("Thom2.mdl"))));
  w->mnViewShaded->trigger();
  QTest::mousePress(w->Shaded, Qt::LeftButton, {}, QPoint(300, 300));
  QTest::mouseMove(w->Shaded, QPoint(240, 320));
  QTest::mouseRelease(w->Shaded, Qt::LeftButton, {}, QPoint(240, 320));
  QCoreApplication::processEvents();
  QDir().mkpath(kScreenshots);
  const QString lang = japanese_ ? QStringLiteral("ja") : QStringLiteral("en");
  QVERIFY(w->grab().save(kScreenshots + "/shaded_" + lang + ".png"));
  QVERIFY(w->OpenFile(halfBox()));
  w->edGosa->setText(QStringLiteral("0.001"));
  w->mnHalvejoin->trigger();
  // Turned from the front as the command line's example turns it: yaw -35, pitch 20.
  w->Shaded->findChild<QToolButton*>(QStringLiteral("btnShadedFront"))->click();
  QTest::mousePress(w->Shaded, Qt::LeftButton, {}, QPoint(300, 300));
  QTest::mouseMove(w->Shaded, QPoint(230, 340));
  QTest::mouseRelease(w->Shaded, Qt::LeftButton, {}, QPoint(230, 340));
  w->mnZoomOut->trigger();
  QCoreApplication::processEvents();
  QVERIFY(w->grab().save(kScreenshots + "/shaded_box_" + lang + ".png"));
}

}  // namespace zevrin

int main(int argc, char** argv) {
  // Without a display (ctest with no Xvfb) the offscreen platform serves: no OpenGL there.
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if ((!platform || !*platform) && !std::getenv("DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QTemporaryDir home;
  if (!home.isValid()) return 1;
  zevrin::test::MoveIntoHome(home);

  std::vector<char*> args(argv, argv + argc);
  const std::vector<bool> languages = zevrin::test::TakeLanguages(args);
  int qt_argc = static_cast<int>(args.size());
  QApplication app(qt_argc, args.data());
  int failures = 0;
  for (bool japanese : languages) {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"}) unsetenv(name);
    setenv("LANG", japanese ? "ja_JP.UTF-8" : "en_US.UTF-8", 1);
    zevrin::ShadedWindowTest test(japanese);
    failures += QTest::qExec(&test, qt_argc, args.data());
  }
  return failures == 0 ? 0 : 1;
}

#include "test_gui_shaded.moc"
