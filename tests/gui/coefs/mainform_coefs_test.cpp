// The window's coefficient tables loaded from a scripted module's EEPROM.

#include "forms/mainform.h"
#include "platform/dialogs.h"

#include "device/fakekovadevice.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <cstring>

namespace {

bool AllZero(const void *data, std::size_t size) {
    const auto *p = static_cast<const unsigned char *>(data);
    for (std::size_t i = 0; i < size; ++i) {
        if (p[i] != 0)
            return false;
    }
    return true;
}

void PutRecord(std::array<std::uint8_t, 1024> &eeprom, std::uint16_t address, int code,
               int channel, std::uint32_t offset, std::uint32_t scale) {
    std::uint8_t *p = eeprom.data() + address + 6 * (8 * code + channel);
    for (int i = 0; i < 3; ++i) {
        p[i] = static_cast<std::uint8_t>(offset >> (8 * i));
        p[3 + i] = static_cast<std::uint8_t>(scale >> (8 * i));
    }
}

class MainFormCoefsTest : public ::testing::Test {
protected:
    void OpenModule(std::uint8_t variant) {
        device_.ScriptOneModule();
        TFakeModule &module = device_.Crates[0].Modules[0];
        module.Variant = variant;
        module.UseDefaultEeprom = false;
        // Different codes in the two blocks, so a read of the wrong one shows.
        PutRecord(module.Eeprom, 100, 0, 0, 8388609, 5848298);
        PutRecord(module.Eeprom, 100, 4, 7, 16777215, 1);
        PutRecord(module.Eeprom, 600, 0, 0, 8388608, 2924149);
        PutRecord(module.Eeprom, 600, 3, 2, 0, 16777215);
        form_ = std::make_unique<TMainForm>(nullptr, &device_);
        ASSERT_EQ(device_.KOVA8_Init(&form_->Descriptor), 0);
        ASSERT_EQ(device_.KOVA8_Open(&form_->Descriptor, 0x7F000001u, 11111, "2T000001", 3,
                                     "KOVA8.bio"),
                  0);
        form_->ModuleState = 2;
    }

    void SelectReference(int index) {
        form_->Busy = true;
        form_->RefVoltageForClbCoeffsLMDComboBox->setCurrentIndex(index);
        form_->Busy = false;
    }

    bool Load() {
        ini_ = std::make_unique<TIniFile>(dir_.filePath(QStringLiteral("coefs.ini")));
        return form_->LoadCorrectionCoefs(ini_.get());
    }

    TFakeKovaDevice device_;
    QTemporaryDir dir_;
    std::unique_ptr<TIniFile> ini_;
    std::unique_ptr<TMainForm> form_;
};

TEST_F(MainFormCoefsTest, TwoPointFiveVoltReferenceReadsItsBlockIntoItsHalf) {
    OpenModule(1);
    SelectReference(0);
    ASSERT_TRUE(Load());
    EXPECT_EQ(device_.LastEepromAddress, 600);
    EXPECT_EQ(device_.LastEepromLength, 384);

    const TCorrectionCoefsEntry &first = form_->FactoryCoefs.Entries[0][3][0];
    EXPECT_EQ(first.OffsetCode, 8388608);
    EXPECT_EQ(first.Offset, 0.0);
    EXPECT_EQ(first.ScaleCode, 2924149);
    const TCorrectionCoefsEntry &low = form_->FactoryCoefs.Entries[0][0][2];
    EXPECT_EQ(low.OffsetCode, 0);
    EXPECT_EQ(low.Offset, -111.54743194580078);
    EXPECT_EQ(low.ScaleCode, 16777215);

    EXPECT_TRUE(AllZero(&form_->FactoryCoefs.Entries[1], sizeof form_->FactoryCoefs.Entries[1]));
    EXPECT_TRUE(AllZero(&form_->WorkingCoefs.Entries[1], sizeof form_->WorkingCoefs.Entries[1]));
    EXPECT_EQ(std::memcmp(&form_->WorkingCoefs, &form_->FactoryCoefs, sizeof(TCorrectionCoefsTable)),
              0);
    EXPECT_TRUE(AllZero(&form_->UserCoefs, sizeof form_->UserCoefs));
    EXPECT_TRUE(form_->RefVoltageForClbCoeffsLMDComboBox->isEnabled());
    // Absent key: the source reads as 1.
    EXPECT_EQ(form_->CoefsSource, 1);
}

TEST_F(MainFormCoefsTest, VariantZeroSwitchesToFiveVoltsAndLocksTheSelection) {
    OpenModule(0);
    SelectReference(0);
    form_->Busy = true; // the settings load holds the flag around this
    ASSERT_TRUE(Load());
    EXPECT_TRUE(form_->Busy) << "the load must not release the caller's busy flag";
    form_->Busy = false;

    EXPECT_EQ(device_.LastEepromAddress, 100);
    EXPECT_EQ(form_->RefVoltageForClbCoeffsLMDComboBox->currentIndex(), 1);
    EXPECT_FALSE(form_->RefVoltageForClbCoeffsLMDComboBox->isEnabled());
    EXPECT_FALSE(form_->RefVoltageForClbCoeffsLMDLabel->isEnabled());

    const TCorrectionCoefsEntry &first = form_->FactoryCoefs.Entries[1][3][0];
    EXPECT_EQ(first.OffsetCode, 8388609);
    EXPECT_EQ(first.Offset, 1.662186264184129e-06);
    EXPECT_EQ(first.Scale, 1.0);
    const TCorrectionCoefsEntry &last = form_->FactoryCoefs.Entries[1][7][7];
    EXPECT_EQ(last.OffsetCode, 16777215);
    EXPECT_EQ(last.Offset, OffsetFromCode(16777215, 4));
    EXPECT_TRUE(AllZero(&form_->FactoryCoefs.Entries[0], sizeof form_->FactoryCoefs.Entries[0]));
}

TEST_F(MainFormCoefsTest, FailedReadConvertsTheUntouchedBuffer) {
    OpenModule(1);
    device_.Crates[0].Modules[0].EepromFail = true;
    SelectReference(1);
    ASSERT_TRUE(Load());
    EXPECT_EQ(device_.LastEepromAddress, 100);
    EXPECT_EQ(form_->FactoryCoefs.Entries[1][3][0].OffsetCode, 0);
    EXPECT_EQ(form_->FactoryCoefs.Entries[1][3][0].Offset, -13.943428993225098);
    EXPECT_EQ(form_->WorkingCoefs.Entries[1][0][0].Offset, -111.54743194580078);
    EXPECT_EQ(form_->WorkingCoefs.Entries[1][0][0].Scale, 0.0);
}

TEST_F(MainFormCoefsTest, NoFileObjectLeavesTheTablesAsTheyWere) {
    OpenModule(1);
    SelectReference(1);
    ASSERT_TRUE(Load());
    const TCorrectionCoefsTable before = form_->WorkingCoefs;
    device_.ClearCalls();
    EXPECT_FALSE(form_->LoadCorrectionCoefs(nullptr));
    EXPECT_EQ(device_.CallCount("KOVA8_ReadEeprom"), 0);
    EXPECT_EQ(std::memcmp(&before, &form_->WorkingCoefs, sizeof before), 0);
}

TEST_F(MainFormCoefsTest, SettingsLoadReadsTheTablesOnlyForAnOpenModule) {
    OpenModule(1);
    const QString path = dir_.filePath(QStringLiteral("load.ini"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        QStringEncoder encoder("windows-1251");
        file.write(encoder.encode(QStringLiteral(
            "[Приложение. Общие]\r\nИсточник загрузки корректировочных коэфф.=5\r\n")));
    }
    platform::RecordingDialogService dialogs;
    platform::ScopedDialogService scoped(dialogs);
    const TIniFile ini(path);

    form_->ModuleState = 1;
    form_->LoadIniFile(&ini);
    EXPECT_EQ(device_.CallCount("KOVA8_ReadEeprom"), 0);
    EXPECT_EQ(form_->CoefsSource, 0);

    form_->ModuleState = 2;
    form_->LoadIniFile(&ini);
    EXPECT_EQ(device_.CallCount("KOVA8_ReadEeprom"), 1);
    EXPECT_EQ(form_->CoefsSource, 5);
}

} // namespace
