// The window on a large model, as a user meets it: the time and memory of opening it, of each
// edit and its undo, and of a zoom step with and without control-point labels, on Qt's
// offscreen platform. Every figure is the wall time of the command as the window runs it (the
// step on its own thread, the picture drawn after it) and the process's resident memory after
// it, with the highest it reached during it.
//
//   bench_window [POINTS]     a generated half model of about POINTS points (default 10^6)
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/uMain.h"
#include "app/uMirrorBornDlg.h"
#include "bench/BenchGen.h"

namespace {

// VmRSS and VmHWM of this process in MiB.
std::pair<double, double> memory() {
  std::ifstream status("/proc/self/status");
  std::string line;
  double rss = 0, peak = 0;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) rss = std::atof(line.c_str() + 6) / 1024;
    if (line.rfind("VmHWM:", 0) == 0) peak = std::atof(line.c_str() + 6) / 1024;
  }
  return {rss, peak};
}

// Starts a new peak: the highest resident memory from now on.
void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

template <class F>
void measure(const char* what, F&& f) {
  resetPeak();
  QElapsedTimer timer;
  timer.start();
  f();
  const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
  const auto [rss, peak] = memory();
  std::printf("%-34s %9.0f ms %8.0f MiB %8.0f MiB\n", what, ms, rss, peak);
  std::fflush(stdout);
}

// Takes in events until the picture is another than `before`.
void waitForPicture(zevrin::TfrmMain& w, const QImage& before) {
  while (w.ImageSD->Picture() == before) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QTemporaryDir home;
  setenv("XDG_CONFIG_HOME", qPrintable(home.filePath("config")), 1);
  QDir::setCurrent(home.path());
  const std::size_t points = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  // Qt's notes about the offscreen platform are no part of the figures.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(text));
  });
  QApplication app(argc, argv);

  const QString path = home.filePath("big.mdl");
  const zevrin::bench::ModelStats stats = zevrin::bench::WriteModelFile(path.toStdString(), points);
  std::printf("model: %zu points, %zu splines, %zu bones, %.0f MB\n", stats.points, stats.splines,
              stats.bones, static_cast<double>(stats.bytes) / 1e6);
  std::printf("%-34s %12s %12s %12s\n", "step", "time", "memory", "peak");

  zevrin::TfrmMain w;
  w.KeepDesignSize();
  w.resize(1024, 768);
  w.show();
  QCoreApplication::processEvents();
  measure("after start", [] {});
  measure("open", [&] { w.OpenFile(path); });
  w.edGosa->setText(QStringLiteral("0.001"));

  // Mirror Bone asks for its rule first: OK as soon as it shows.
  QTimer ok;
  QObject::connect(&ok, &QTimer::timeout, [&] {
    if (w.dlgMirrorBorn->isVisible()) w.dlgMirrorBorn->OKBtn->click();
    // A question (a whole model before Halvejoin): go on.
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
      box->button(QMessageBox::Yes)->click();
  });
  ok.start(1);
  for (QAction* edit :
       {w.mnAttachall, w.mnDetachall, w.mnConnectGroupedSplines, w.mnMirrorBorn, w.mnHalvejoin}) {
    const std::string name = edit->text().remove('&').toStdString();
    measure(name.c_str(), [&] { edit->trigger(); });
    measure(("  undo " + name).c_str(), [&] { w.mnUndo->trigger(); });
    measure(("  redo " + name).c_str(), [&] { w.mnRedo->trigger(); });
    measure(("  undo " + name).c_str(), [&] { w.mnUndo->trigger(); });
  }
  ok.stop();

  const QPoint middle(w.ImageSD->width() / 2, w.ImageSD->height() / 2);
  const auto zoomStep = [&](int delta) {
    const QImage before = w.ImageSD->Picture();
    QWheelEvent event(middle, w.ImageSD->mapToGlobal(middle), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w.ImageSD, &event);
    waitForPicture(w, before);
  };
  measure("zoom step in (wheel)", [&] { zoomStep(120); });
  measure("zoom step in (wheel)", [&] { zoomStep(120); });
  measure("zoom step out (wheel)", [&] { zoomStep(-120); });
  measure("labels on (fitted)", [&] {
    const QImage before = w.ImageSD->Picture();
    w.mnFit->trigger();
    waitForPicture(w, before);
    w.chkDisplayCpid->click();
  });
  measure("zoom step in with labels", [&] { zoomStep(120); });
  measure("zoom step in with labels", [&] { zoomStep(120); });
  std::printf("%s\n", w.StatusNote->text().toStdString().c_str());
  w.chkDisplayCpid->setChecked(false);

  // What an undo step costs on its own: the copy every edit makes first, and its memory.
  zevrin::DocumentSession session;
  session.CurrentFile = path.toStdString();
  session.LoadDocument();
  std::unique_ptr<zevrin::M5amsuper> copy;
  measure("copy of the document (Clone)", [&] { copy = session.Document->Clone(); });
  std::printf("estimated memory of one undo step (HeldBytes): %.0f MiB\n",
              static_cast<double>(zevrin::HeldBytes(*copy)) / (1 << 20));
  return 0;
}
