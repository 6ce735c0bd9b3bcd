// The window's shaded view on large models: the first shaded picture against the first
// wireframe picture of the same file, the time of a frame while the model turns, and the
// memory the view adds (the scene's arrays, the buffers and the driver's copies). For OpenGL
// run it on a display, e.g. under Xvfb, where Mesa draws in software:
//
//   xvfb-run -a -s '-screen 0 1280x1024x24' env QT_QPA_PLATFORM=xcb
//     build/default/bin/bench_shaded_window [POINTS...]   (default 100000 1000000)
//
// Without a display it runs on the offscreen platform, where the view draws in software.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/uMain.h"
#include "app/uShadedView.h"
#include "bench/BenchGen.h"

namespace {

double rssMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024;
  return 0;
}

template <class F>
double ms(F&& f) {
  QElapsedTimer timer;
  timer.start();
  f();
  return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QTemporaryDir home;
  setenv("XDG_CONFIG_HOME", qPrintable(home.filePath("config")), 1);
  QDir::setCurrent(home.path());
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(text));
  });
  std::vector<std::size_t> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::strtoull(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {100000, 1000000};
  QApplication app(argc, argv);

  for (const std::size_t points : sizes) {
    const QString path = home.filePath(QStringLiteral("big%1.mdl").arg(points));
    zevrin::bench::WriteModelFile(path.toStdString(), points);
    auto w = std::make_unique<zevrin::TfrmMain>();
    w->KeepDesignSize();
    w->resize(1024, 768);
    w->show();
    QCoreApplication::processEvents();
    const double start_rss = rssMiB();
    // The first wireframe picture: open (read, fit, draw) with the wireframe chosen.
    const double wire = ms([&] {
      w->OpenFile(path);
      QCoreApplication::processEvents();
    });
    const double wire_rss = rssMiB();
    // The shaded view chosen: the surface made, uploaded and drawn once.
    const double choose = ms([&] {
      w->mnViewShaded->trigger();
      w->Shaded->Picture();
    });
    const double shaded_rss = rssMiB();
    // The first shaded picture of the file: open with the shaded view chosen.
    const double shaded = ms([&] {
      w->OpenFile(path);
      w->Shaded->Picture();
    });
    const zevrin::ShadedScene* scene = w->Shaded->Scene();
    // Turning: a drag of 10 pixels, then the frame drawn and read back.
    constexpr int kFrames = 10;
    QTest::mousePress(w->Shaded, Qt::LeftButton, {}, QPoint(100, 100));
    const double turning = ms([&] {
                             for (int i = 1; i <= kFrames; ++i) {
                               QTest::mouseMove(w->Shaded, QPoint(100 + 10 * i, 100));
                               w->Shaded->Picture();
                             }
                           }) /
                           kFrames;
    QTest::mouseRelease(w->Shaded, Qt::LeftButton, {}, QPoint(100 + 10 * kFrames, 100));
    const double scene_mib =
        scene ? static_cast<double>((scene->Positions.size() + scene->Normals.size() +
                                     scene->HoleLines.size() + scene->SplineLines.size()) *
                                        sizeof(float) +
                                    scene->Marks.size()) /
                    (1 << 20)
              : 0;
    std::printf(
        "%zu points, %zu patches, %zu triangles (%s)\n"
        "  first wireframe picture (open)        %8.0f ms\n"
        "  shaded view chosen (surface + frame)  %8.0f ms\n"
        "  first shaded picture (open)           %8.0f ms  = %.2f x the wireframe's\n"
        "  frame while turning                   %8.1f ms\n"
        "  memory: window %0.f MiB, with the document %.0f MiB, with the shaded view %.0f MiB "
        "(+%.0f MiB; the scene's arrays %.0f MiB)\n",
        points, scene ? scene->Patches : 0, scene ? scene->Triangles() : 0,
        w->Shaded->InSoftware() ? "software picture" : "OpenGL", wire, choose, shaded,
        shaded / wire, turning, start_rss, wire_rss, shaded_rss, shaded_rss - wire_rss, scene_mib);
    std::fflush(stdout);
  }
  return 0;
}
