#pragma once
// A folder of its own for a window under test: made the current directory,
// where discovery looks for the firmware file (an empty one is put there), and
// the settings folder, so no test meets another's files.

#include "settings/settingskeys.h"
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// False when the folder or the firmware file cannot be made.
inline bool EnterWindowFolder(const QTemporaryDir &dir, QString &previousDir) {
    if (!dir.isValid())
        return false;
    previousDir = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QFile firmware(dir.filePath(QStringLiteral("KOVA8.bio")));
    if (!firmware.open(QIODevice::WriteOnly))
        return false;
    settings::SetSettingsDirectory(dir.path());
    return true;
}

inline void LeaveWindowFolder(const QString &previousDir) {
    settings::SetSettingsDirectory(QString());
    QDir::setCurrent(previousDir);
}
