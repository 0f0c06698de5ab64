#include "settings/settingskeys.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace settings {
namespace {

QString &SettingsDirectoryOverride() {
    static QString folder;
    return folder;
}

QString ChannelNumber(int channelIndex) {
    return QString::number(channelIndex + 1);
}

} // namespace

QString SettingsFolderFor(const QString &exeFolder) {
    // A portable copy or a build folder keeps its settings beside the program;
    // an installed program's folder is not the user's, so each user gets the
    // same file in their own configuration folder instead.
    const QDir exeDir(exeFolder);
    if (QFileInfo(exeDir.filePath(kSettingsFileName.toString())).isFile() ||
        QFileInfo(exeFolder).isWritable()) {
        return exeFolder;
    }
    // $XDG_CONFIG_HOME, else ~/.config. The settings writers do not create
    // folders, so the folder is made here.
    const QString folder =
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
            .filePath(kUserSettingsFolderName.toString());
    QDir().mkpath(folder);
    return folder;
}

QString SettingsFilePath() {
    QString folder = SettingsDirectoryOverride();
    if (folder.isEmpty()) {
        folder = SettingsFolderFor(QCoreApplication::applicationDirPath());
    }
    return QDir(folder).filePath(kSettingsFileName.toString());
}

void SetSettingsDirectory(const QString &folder) {
    SettingsDirectoryOverride() = folder;
}

QString ChannelEnableKey(int channelIndex) {
    return QStringLiteral("АЦП. Управление каналом ") + ChannelNumber(channelIndex);
}

QString ChannelRangeKey(int channelIndex) {
    return QStringLiteral("АЦП. Управление входным диапазоном канала ") +
           ChannelNumber(channelIndex);
}

QString DisplayPrecisionKey(int rangeIndex) {
    return QStringLiteral("АЦП. Диапазон ") +
           kRangeCaptions.at(static_cast<std::size_t>(rangeIndex)).toString() +
           QStringLiteral(". DC precision");
}

std::uint16_t CapDisplayPrecision(int stored) {
    return std::min(static_cast<std::uint16_t>(stored), kMaxDisplayPrecision);
}

QString DisplayFormat(std::uint16_t precision) {
    return QStringLiteral("0.") + QString(precision, QLatin1Char('0'));
}

} // namespace settings
