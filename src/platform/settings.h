#pragma once
// The per-user settings store: one INI file per application, $XDG_CONFIG_HOME/Kestrane/<application>.ini
// (~/.config when XDG_CONFIG_HOME is unset), a [section] per section and key=value per value.
//
// Every string reads back exactly as written (commas, quotes, "=", "#", ";" and blanks at either end
// included); a hand-written file with plain key=value lines reads as a person means it. Sections and keys
// are found without regard to letter case, as registry names are.

#include <QString>

namespace platform {

// The folder that holds the settings files.
QString SettingsFolder();

// The settings file of one application.
QString SettingsFile(const QString& application);

// Returns the value stored under application/section/key, or defaultValue when the file, the section or the
// key is missing. Never fails: an unreadable file reads as missing.
QString GetSetting(const QString& application, const QString& section, const QString& key,
                   const QString& defaultValue = {});

// Stores value under application/section/key, creating the folder and file when needed; the file is replaced
// atomically. Throws RuntimeError (75, "Path/File access error") when the file cannot be written.
void SaveSetting(const QString& application, const QString& section, const QString& key,
                 const QString& value);

}  // namespace platform
