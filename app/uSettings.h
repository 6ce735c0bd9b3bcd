// The window's settings between runs: the current user's store under the program key
// "Software\TALQ\Zevrin100" (the registry on Windows, ~/.config/TALQ/Zevrin100.conf here),
// one group per section, every value a string.
//
// Section and value names are found again whatever their letter case: one release wrote the
// tolerance as "Gosax" and read it as "GosaX". A value that is not a plain string (a list, a
// byte array, a serialised variant) or a store that cannot be read counts as absent; when the
// store cannot be written, writes do nothing. Nothing here ever raises or shows a message.
#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace zevrin {

class SettingsStore {
 public:
  // Opens the program key of the current user.
  SettingsStore();
  // Writes back what was changed.
  ~SettingsStore();
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // The stored text, or `fallback` when the section or the value is absent or not a string.
  QString ReadString(const QString& section, const QString& name, const QString& fallback) const;
  // The stored text as a decimal integer; `fallback` when absent or not an integer.
  std::int32_t ReadInteger(const QString& section, const QString& name,
                           std::int32_t fallback) const;
  // An integer as above; any value but 0 means on.
  bool ReadBool(const QString& section, const QString& name, bool fallback) const;

  // Stores `value` as the only value of that name in the section, creating the section.
  void WriteString(const QString& section, const QString& name, const QString& value);
  void WriteInteger(const QString& section, const QString& name, std::int32_t value);
  // "1" for on, "0" for off.
  void WriteBool(const QString& section, const QString& name, bool value);

  // Where the store lives, for messages and tests.
  QString Location() const { return settings_.fileName(); }

 private:
  std::optional<QString> readText(const QString& section, const QString& name) const;
  // The section's stored name when one matches ignoring case.
  std::optional<QString> findGroup(const QString& section) const;

  mutable QSettings settings_;
};

// The section names of the window and of the Mirror bone options.
inline const QString kMainSection = QStringLiteral("Main");
inline const QString kMirrorSection = QStringLiteral("Mirror_Born");

}  // namespace zevrin
