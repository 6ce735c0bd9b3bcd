#include "app/uRecentFiles.h"

#include <QFileInfo>
#include <algorithm>

#include "app/uSettings.h"

namespace zevrin {
namespace {

QString nameOf(int index) { return QStringLiteral("RecentFile%1").arg(index + 1); }

// The same file, however it was spelled: both paths name one existing file, or they are the
// same text.
bool sameFile(const QString& a, const QString& b) {
  if (a == b) return true;
  const QFileInfo fa(a), fb(b);
  return fa.exists() && fb.exists() && fa == fb;
}

}  // namespace

void RecentFiles::Load(const SettingsStore& store) {
  paths_.clear();
  for (int i = 0; i < kMax; ++i) {
    const QString path = store.ReadString(kMainSection, nameOf(i), QString());
    if (path.isEmpty()) continue;
    const bool known = std::any_of(paths_.begin(), paths_.end(),
                                   [&](const QString& p) { return sameFile(p, path); });
    if (!known) paths_.append(path);
  }
}

void RecentFiles::Save(SettingsStore& store) const {
  for (int i = 0; i < kMax; ++i)
    store.WriteString(kMainSection, nameOf(i), i < paths_.size() ? paths_[i] : QString());
}

void RecentFiles::Add(const QString& path) {
  Remove(path);
  paths_.prepend(path);
  while (paths_.size() > kMax) paths_.removeLast();
}

void RecentFiles::Remove(const QString& path) {
  paths_.removeIf([&](const QString& p) { return sameFile(p, path); });
}

}  // namespace zevrin
