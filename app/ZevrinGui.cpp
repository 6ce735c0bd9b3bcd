// zevrin-gui: the desktop window.
//
//   zevrin-gui [FILE]                      the window, opening FILE once it stands
//   zevrin-gui --screenshot OUT.png [FILE] the window at its first size with FILE opened,
//                                          saved as a picture, then exit (no display needed)
#include <QApplication>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QPixmap>
#include <QWindow>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "app/uMain.h"

namespace {

bool platformAvailable() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  return platform && *platform;
}

// Whether the arguments ask for something that needs no window on a screen.
bool windowless(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--") == 0) break;
    if (std::strncmp(arg, "--screenshot", 12) == 0 || std::strcmp(arg, "--help") == 0 ||
        std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--version") == 0 ||
        std::strcmp(arg, "-v") == 0)
      return true;
  }
  return false;
}

// Qt's notes (the platform in use, a missing runtime folder) are no concern of an unattended
// picture; only its real failures are shown.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::cerr << text.toStdString() << '\n';
}

// Shows the window, opens `file`, lets it settle and saves it as a picture.
int screenshot(const QString& out, const QString& file) {
  bool failed = false;
  zevrin::TfrmMain window;
  window.KeepDesignSize();
  window.SetErrorSink([&failed](const QString& message) {
    std::cerr << message.toStdString() << '\n';
    failed = true;
  });
  window.show();
  if (!file.isEmpty() && !window.OpenFile(QFileInfo(file).absoluteFilePath())) {
    // The status line too: a file that is missing says so there as well as in its message.
    const auto* status = window.findChild<QLabel*>(QStringLiteral("StatusText"));
    if (status && status->text().startsWith(QStringLiteral("Error:")))
      std::cerr << status->text().toStdString() << '\n';
    failed = true;
  }
  // A real display maps the window some time after it was shown.
  const QDeadlineTimer deadline(3000);
  while (window.windowHandle() && !window.windowHandle()->isExposed() && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  QCoreApplication::processEvents();
  const QPixmap picture = window.grab();
  if (!picture.save(out, "PNG")) {
    std::cerr << "zevrin-gui: cannot write " << out.toStdString() << '\n';
    return 1;
  }
  return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (!platformAvailable()) {
    if (!windowless(argc, argv)) {
      std::cerr << "zevrin-gui: no display (DISPLAY and WAYLAND_DISPLAY are not set); "
                   "use the command line zevrin, or zevrin-gui --screenshot OUT.png FILE\n";
      return 1;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  if (windowless(argc, argv)) qInstallMessageHandler(quietMessages);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("zevrin-gui"));
  QApplication::setApplicationVersion(QStringLiteral("0.56"));

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Zevrin: whole-model edits for Animation:Master version-5 model files, "
                     "and DXF and RokkakuDaiou polygon files opened as models."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption screenshot_option(
      QStringLiteral("screenshot"),
      QStringLiteral("Open FILE in the window at its first size, save the whole window as the "
                     "PNG picture OUT and exit."),
      QStringLiteral("OUT.png"));
  parser.addOption(screenshot_option);
  parser.addPositionalArgument(QStringLiteral("FILE"),
                               QStringLiteral("Model (.mdl, .seg), DXF or ROK file to open."),
                               QStringLiteral("[FILE]"));
  parser.process(app);
  const QStringList files = parser.positionalArguments();
  if (files.size() > 1) {
    std::cerr << "zevrin-gui: one FILE at most\n";
    return 2;
  }
  const QString file = files.isEmpty() ? QString() : files.constFirst();
  if (parser.isSet(screenshot_option)) return screenshot(parser.value(screenshot_option), file);

  zevrin::TfrmMain window(file);
  window.show();
  return QApplication::exec();
}
