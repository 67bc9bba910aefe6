#include "platform/settings.h"

#include "platform/ini_file.h"
#include "platform/runtime_error.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace platform {

namespace {

constexpr int32_t kErrPathFileAccess = 75;

IniFile ReadIniFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return IniFile::Parse(QString::fromUtf8(file.readAll()));
}

[[noreturn]] void ThrowAccessError() {
    throw RuntimeError(kErrPathFileAccess, QStringLiteral("Path/File access error"));
}

}  // namespace

QString SettingsFolder() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Kestrane");
}

QString SettingsFile(const QString& application) {
    return SettingsFolder() + u'/' + application + QStringLiteral(".ini");
}

QString GetSetting(const QString& application, const QString& section, const QString& key,
                   const QString& defaultValue) {
    return ReadIniFile(SettingsFile(application)).Value(section, key).value_or(defaultValue);
}

void SaveSetting(const QString& application, const QString& section, const QString& key,
                 const QString& value) {
    if (!QDir().mkpath(SettingsFolder()))
        ThrowAccessError();
    const QString path = SettingsFile(application);
    // A file that exists but cannot be read is not replaced: its other settings would be lost.
    if (QFile::exists(path) && !QFile(path).open(QIODevice::ReadOnly))
        ThrowAccessError();
    IniFile ini = ReadIniFile(path);
    ini.SetValue(section, key, value);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        ThrowAccessError();
    file.write(ini.Text().toUtf8());
    if (!file.commit())
        ThrowAccessError();
}

}  // namespace platform
