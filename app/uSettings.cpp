#include "app/uSettings.h"

#include <QVariant>

#include "util/Errors.h"
#include "util/Ustrlib.h"

namespace zevrin {

// On Windows these names give exactly HKEY_CURRENT_USER\Software\TALQ\Zevrin100.
SettingsStore::SettingsStore()
    : settings_(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("TALQ"),
                QStringLiteral("Zevrin100")) {}

SettingsStore::~SettingsStore() = default;

std::optional<QString> SettingsStore::findGroup(const QString& section) const {
  for (const QString& group : settings_.childGroups())
    if (group.compare(section, Qt::CaseInsensitive) == 0) return group;
  return std::nullopt;
}

std::optional<QString> SettingsStore::readText(const QString& section, const QString& name) const {
  // A store that could not be parsed is not trusted in part.
  if (settings_.status() != QSettings::NoError) return std::nullopt;
  const std::optional<QString> group = findGroup(section);
  if (!group) return std::nullopt;
  settings_.beginGroup(*group);
  std::optional<QString> text;
  for (const QString& key : settings_.childKeys()) {
    if (key.compare(name, Qt::CaseInsensitive) != 0) continue;
    const QVariant value = settings_.value(key);
    if (value.typeId() == QMetaType::QString) {
      text = value.toString();
      break;
    }
  }
  settings_.endGroup();
  return text;
}

QString SettingsStore::ReadString(const QString& section, const QString& name,
                                  const QString& fallback) const {
  return readText(section, name).value_or(fallback);
}

std::int32_t SettingsStore::ReadInteger(const QString& section, const QString& name,
                                        std::int32_t fallback) const {
  const std::optional<QString> text = readText(section, name);
  if (!text) return fallback;
  try {
    return StrToInt(text->toStdString());
  } catch (const ZevrinError&) {
    return fallback;
  }
}

bool SettingsStore::ReadBool(const QString& section, const QString& name, bool fallback) const {
  return ReadInteger(section, name, fallback ? 1 : 0) != 0;
}

void SettingsStore::WriteString(const QString& section, const QString& name, const QString& value) {
  if (settings_.status() != QSettings::NoError || !settings_.isWritable()) return;
  settings_.beginGroup(findGroup(section).value_or(section));
  // The same name in another case is the same value: it is replaced, not kept beside.
  for (const QString& key : settings_.childKeys())
    if (key != name && key.compare(name, Qt::CaseInsensitive) == 0) settings_.remove(key);
  settings_.setValue(name, value);
  settings_.endGroup();
}

void SettingsStore::WriteInteger(const QString& section, const QString& name, std::int32_t value) {
  WriteString(section, name, QString::number(value));
}

void SettingsStore::WriteBool(const QString& section, const QString& name, bool value) {
  WriteString(section, name, value ? QStringLiteral("1") : QStringLiteral("0"));
}

}  // namespace zevrin
