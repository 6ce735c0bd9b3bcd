// What the window's test programs share before their QApplication: a home of their own for
// the settings, "attach_err.txt" and Qt's runtime files, and the language to run in.
#pragma once

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>
#include <string>
#include <vector>

namespace zevrin::test {

// Points the settings, the runtime folder and the working folder into `home`.
inline void MoveIntoHome(const QTemporaryDir& home) {
  setenv("XDG_CONFIG_HOME", qPrintable(home.filePath("config")), 1);
  setenv("XDG_RUNTIME_DIR", qPrintable(home.filePath("runtime")), 1);
  QDir().mkpath(home.filePath("runtime"));
  QFile::setPermissions(home.filePath("runtime"),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QDir().mkpath(home.filePath("work"));
  QDir::setCurrent(home.filePath("work"));
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.filePath("config"));
}

// The languages to run in (Japanese first): both, or the one a first argument "ja" or "en"
// names, which is then taken out of `args`.
inline std::vector<bool> TakeLanguages(std::vector<char*>& args) {
  if (args.size() > 1 && (std::string(args[1]) == "ja" || std::string(args[1]) == "en")) {
    const bool japanese = std::string(args[1]) == "ja";
    args.erase(args.begin() + 1);
    return {japanese};
  }
  return {true, false};
}

}  // namespace zevrin::test
