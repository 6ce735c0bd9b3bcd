// The files opened last, newest first, as the File menu lists them and the settings keep them
// ("RecentFile1" to "RecentFile8" in the window's section).
#pragma once

#include <QString>
#include <QStringList>

namespace zevrin {

class SettingsStore;

class RecentFiles {
 public:
  static constexpr int kMax = 8;

  void Load(const SettingsStore& store);
  void Save(SettingsStore& store) const;

  // `path` first; an older mention of the same file goes, and the ninth file with it.
  void Add(const QString& path);
  void Remove(const QString& path);
  const QStringList& Paths() const { return paths_; }

 private:
  QStringList paths_;
};

}  // namespace zevrin
