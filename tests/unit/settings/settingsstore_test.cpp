#include "settings/settingsstore.h"

#include "platform/decimal.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>
#include <QTemporaryDir>

using namespace settings;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetDecimalSeparator('.');
        ASSERT_TRUE(dir_.isValid());
        path_ = dir_.filePath(QStringLiteral("Kova8_Duvu.ini"));
    }

    QStringList Lines() const {
        QFile file(path_);
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        QStringDecoder decoder("windows-1251");
        const QString text = decoder.decode(file.readAll());
        return text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }

    void WriteText(const QString &text) {
        QFile file(path_);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        QStringEncoder encoder("windows-1251");
        file.write(encoder.encode(text));
    }

    QTemporaryDir dir_;
    QString path_;
};

TEST_F(SettingsStoreTest, DefaultWriterFillsAnEmptyFileWithTheTwentySixKeysInOrder) {
    TIniFile ini(path_);
    ASSERT_TRUE(WriteDefaultAppSettings(ini));
    ASSERT_TRUE(WriteDefaultModuleSettings(ini));
    const QStringList expected = {
        QStringLiteral("[Приложение. Общие]"),
        QStringLiteral("Сохранение настроек=0"),
        QStringLiteral("Top    основной панели=-1"),
        QStringLiteral("Left   основной панели=-1"),
        QStringLiteral("Источник загрузки корректировочных коэфф.=0"),
        QStringLiteral("[Приложение. Обнаружение]"),
        QStringLiteral("Серийный номер KOVA крейта="),
        QStringLiteral("Слот модуля=-1"),
        QStringLiteral("[Модуль KOVA8]"),
        QStringLiteral("АЦП. Mаксимальное время сбора данных, с=0.5"),
        QStringLiteral("АЦП. Управление источником опорного напряжения=1"),
        QStringLiteral("АЦП. Групповое управление каналами=1"),
        QStringLiteral("АЦП. Управление каналом 1=1"),
        QStringLiteral("АЦП. Управление каналом 2=1"),
        QStringLiteral("АЦП. Управление каналом 3=1"),
        QStringLiteral("АЦП. Управление каналом 4=1"),
        QStringLiteral("АЦП. Управление каналом 5=1"),
        QStringLiteral("АЦП. Управление каналом 6=1"),
        QStringLiteral("АЦП. Управление каналом 7=1"),
        QStringLiteral("АЦП. Управление каналом 8=1"),
        QStringLiteral("АЦП. Групповое управление входным диапазоном=0"),
        QStringLiteral("АЦП. Диапазон   от -80 до +80 мВ. DC precision=4"),
        QStringLiteral("АЦП. Диапазон   от -40 до +40 мВ. DC precision=4"),
        QStringLiteral("АЦП. Диапазон   от -20 до +20 мВ. DC precision=4"),
        QStringLiteral("АЦП. Диапазон   от -10 до +10 мВ. DC precision=4"),
        QStringLiteral("АЦП. Диапазон от +0.02 до +80 мВ. DC precision=4"),
        QStringLiteral("АЦП. Диапазон от +0.01 до +40 мВ. DC precision=4"),
        QStringLiteral("АЦП. Диапазон от +0.01 до +20 мВ. DC precision=4"),
        QStringLiteral("АЦП. Диапазон от +0.01 до +10 мВ. DC precision=4"),
    };
    EXPECT_EQ(Lines(), expected);
}

TEST_F(SettingsStoreTest, DefaultFileReadsBackAsTheFallbacksExceptSourceAndTime) {
    TIniFile ini(path_);
    ASSERT_TRUE(WriteDefaultAppSettings(ini));
    ASSERT_TRUE(WriteDefaultModuleSettings(ini));
    const TIniFile empty(dir_.filePath(QStringLiteral("none.ini")));
    for (const TIniFile *file : std::array<const TIniFile *, 2>{&ini, &empty}) {
        SCOPED_TRACE(file->FileName().toStdString());
        EXPECT_FALSE(ReadAutoSave(*file));
        const WindowPosition position = ReadWindowPosition(*file);
        EXPECT_EQ(position.top, -1);
        EXPECT_EQ(position.left, -1);
        const DetectionSettings detection = ReadDetectionSettings(file);
        EXPECT_TRUE(detection.crateSerial.isEmpty());
        EXPECT_EQ(detection.moduleSlot, -1);
        const StoredModuleSettings module = ReadModuleSettings(*file);
        EXPECT_TRUE(module.allChannels);
        EXPECT_EQ(module.commonRange, 0);
        EXPECT_EQ(module.referenceVoltage, 1);
        for (int i = 0; i < kChannelCount; ++i) {
            EXPECT_TRUE(module.channelEnabled[static_cast<std::size_t>(i)]);
            EXPECT_EQ(module.channelRange[static_cast<std::size_t>(i)], 0);
            EXPECT_EQ(module.displayPrecision[static_cast<std::size_t>(i)], 4);
            EXPECT_EQ(module.displayFormat[static_cast<std::size_t>(i)], QStringLiteral("0.0000"));
        }
    }
    EXPECT_EQ(ReadCoefsSource(ini), 0);
    EXPECT_EQ(ReadCoefsSource(empty), 1);
    EXPECT_DOUBLE_EQ(ReadModuleSettings(ini).maxAcquisitionTime, 0.5);
    EXPECT_DOUBLE_EQ(ReadModuleSettings(empty).maxAcquisitionTime, 0.05);
    const DetectionSettings none = ReadDetectionSettings(nullptr);
    EXPECT_TRUE(none.crateSerial.isEmpty());
    EXPECT_EQ(none.moduleSlot, -1);
}

TEST_F(SettingsStoreTest, ReaderEdgeCasesOfHandEditedValues) {
    WriteText(QStringLiteral("[Приложение. Общие]\r\n"
                             "Сохранение настроек=2\r\n"
                             "[Приложение. Обнаружение]\r\n"
                             "Слот модуля=\r\n"
                             "[Модуль KOVA8]\r\n"
                             "АЦП. Mаксимальное время сбора данных, с=0,25\r\n"
                             "АЦП. Диапазон   от -80 до +80 мВ. DC precision=9\r\n"
                             "АЦП. Диапазон   от -40 до +40 мВ. DC precision=-1\r\n"
                             "АЦП. Диапазон   от -20 до +20 мВ. DC precision=0\r\n"
                             "АЦП. Диапазон   от -10 до +10 мВ. DC precision=7\r\n"
                             "АЦП. Диапазон от +0.02 до +80 мВ. DC precision=65537\r\n"
                             "АЦП. Диапазон от +0.01 до +40 мВ. DC precision=x\r\n"));
    const TIniFile ini(path_);
    EXPECT_TRUE(ReadAutoSave(ini));
    EXPECT_EQ(ReadDetectionSettings(&ini).moduleSlot, -1);
    const StoredModuleSettings module = ReadModuleSettings(ini);
    EXPECT_DOUBLE_EQ(module.maxAcquisitionTime, 0.05);
    const std::uint16_t precision[] = {7, 7, 0, 7, 1, 4, 4, 4};
    const char *format[] = {"0.0000000", "0.0000000", "0.",     "0.0000000",
                            "0.0",       "0.0000",    "0.0000", "0.0000"};
    for (std::size_t r = 0; r < kRangeCount; ++r) {
        EXPECT_EQ(module.displayPrecision[r], precision[r]) << r;
        EXPECT_EQ(module.displayFormat[r], QLatin1String(format[r])) << r;
    }

    WriteText(QStringLiteral("[Приложение. Общие]\r\nСохранение настроек=yes\r\n"
                             "[Модуль KOVA8]\r\n"
                             "АЦП. Максимальное время сбора данных, с=0.25\r\n"));
    EXPECT_FALSE(ReadAutoSave(ini));
    EXPECT_DOUBLE_EQ(ReadModuleSettings(ini).maxAcquisitionTime, 0.05)
        << "the Cyrillic М must not stand for the Latin M";
}

TEST_F(SettingsStoreTest, CurrentWriterLeavesSerialAndSlotWithoutASelection) {
    TIniFile ini(path_);
    AppSettings saved;
    saved.crateSerial = QStringLiteral("KC-0001");
    saved.moduleSlot = 3;
    ASSERT_TRUE(WriteAppSettings(ini, saved));

    struct Case {
        const char *name;
        std::optional<QString> serial;
        std::optional<int> slot;
        QString expectSerial;
        int expectSlot;
    };
    const Case cases[] = {
        {"no crate", std::nullopt, std::nullopt, QStringLiteral("KC-0001"), 3},
        {"crate without module", QStringLiteral("KC-0002"), std::nullopt, QStringLiteral("KC-0002"),
         3},
        {"crate and module", QStringLiteral("KC-0003"), 5, QStringLiteral("KC-0003"), 5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AppSettings values;
        values.autoSave = true;
        values.windowTop = 10;
        values.windowLeft = 20;
        values.crateSerial = c.serial;
        values.moduleSlot = c.slot;
        ASSERT_TRUE(WriteAppSettings(ini, values));
        const DetectionSettings detection = ReadDetectionSettings(&ini);
        EXPECT_EQ(detection.crateSerial, c.expectSerial);
        EXPECT_EQ(detection.moduleSlot, c.expectSlot);
        EXPECT_TRUE(ReadAutoSave(ini));
        EXPECT_EQ(ReadWindowPosition(ini).top, 10);
        EXPECT_EQ(ReadWindowPosition(ini).left, 20);
    }
}

TEST_F(SettingsStoreTest, DefaultWriterAfterASaveKeepsWhatItDoesNotWrite) {
    TIniFile ini(path_);
    ModuleSettings current;
    current.allChannels = false;
    current.channelEnabled = {true, false, true, false, true, false, true, false};
    current.commonRange = -1;
    current.channelRange = {7, 6, 5, 4, 3, 2, 1, -1};
    current.referenceVoltage = 0;
    ASSERT_TRUE(WriteModuleSettings(ini, current));
    const QStringList saved = Lines();
    const QStringList savedOrder = {
        QStringLiteral("[Модуль KOVA8]"),
        QStringLiteral("АЦП. Групповое управление каналами=0"),
        QStringLiteral("АЦП. Управление каналом 1=1"),
        QStringLiteral("АЦП. Управление каналом 2=0"),
        QStringLiteral("АЦП. Управление каналом 3=1"),
        QStringLiteral("АЦП. Управление каналом 4=0"),
        QStringLiteral("АЦП. Управление каналом 5=1"),
        QStringLiteral("АЦП. Управление каналом 6=0"),
        QStringLiteral("АЦП. Управление каналом 7=1"),
        QStringLiteral("АЦП. Управление каналом 8=0"),
        QStringLiteral("АЦП. Групповое управление входным диапазоном=-1"),
        QStringLiteral("АЦП. Управление входным диапазоном канала 1=7"),
        QStringLiteral("АЦП. Управление входным диапазоном канала 2=6"),
        QStringLiteral("АЦП. Управление входным диапазоном канала 3=5"),
        QStringLiteral("АЦП. Управление входным диапазоном канала 4=4"),
        QStringLiteral("АЦП. Управление входным диапазоном канала 5=3"),
        QStringLiteral("АЦП. Управление входным диапазоном канала 6=2"),
        QStringLiteral("АЦП. Управление входным диапазоном канала 7=1"),
        QStringLiteral("АЦП. Управление входным диапазоном канала 8=-1"),
        QStringLiteral("АЦП. Управление источником опорного напряжения=0"),
    };
    EXPECT_EQ(saved, savedOrder);

    ASSERT_TRUE(WriteDefaultModuleSettings(ini));
    const StoredModuleSettings module = ReadModuleSettings(ini);
    EXPECT_EQ(module.channelRange, (std::array<int, 8>{7, 6, 5, 4, 3, 2, 1, -1}));
    EXPECT_TRUE(module.allChannels);
    EXPECT_EQ(module.commonRange, 0);
    EXPECT_EQ(module.referenceVoltage, 1);
    // The default values replace the saved ones in place; new keys follow.
    EXPECT_EQ(Lines().at(1), QStringLiteral("АЦП. Групповое управление каналами=1"));
    EXPECT_EQ(Lines().size(), savedOrder.size() + 9);
}

TEST_F(SettingsStoreTest, WriterStopsAtAFailedKeyAndReportsIt) {
    TIniFile ini(dir_.filePath(QStringLiteral("gone/Kova8_Duvu.ini")));
    EXPECT_FALSE(WriteAppSettings(ini, AppSettings{}));
    EXPECT_FALSE(WriteModuleSettings(ini, ModuleSettings{}));
    EXPECT_FALSE(WriteDefaultAppSettings(ini));
    EXPECT_FALSE(WriteDefaultModuleSettings(ini));
}

TEST(SettingsPathTest, FileBesideTheExecutableUnlessATestFolderIsSet) {
    // The program always has its application object; the executable's folder
    // comes from it.
    int argc = 1;
    char name[] = "settings_unit_tests";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    SetSettingsDirectory(QStringLiteral("/tmp/some folder"));
    EXPECT_EQ(SettingsFilePath(), QStringLiteral("/tmp/some folder/Kova8_Duvu.ini"));
    SetSettingsDirectory(QString());
    const QString exeDir = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    ASSERT_FALSE(exeDir.isEmpty());
    EXPECT_EQ(SettingsFilePath(),
              QFileInfo(exeDir).absolutePath() + QStringLiteral("/Kova8_Duvu.ini"));
}

} // namespace
