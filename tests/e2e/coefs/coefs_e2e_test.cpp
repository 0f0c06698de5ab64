// The factory coefficient tables after a discovery against a live kova-crated
// whose modules carry explicit EEPROM codes.

#include "forms/mainform.h"
#include "platform/dialogs.h"
#include "settings/settingskeys.h"
#include "tests/support/crateserverprocess.h"
#include "threads/workerthread.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>

namespace {

// Codes of record k: distinct per block, so a read of the wrong block shows.
int OffsetCode(int block, int k) { return 8388608 + (block == 0 ? -1 : 1) * (1000 + 37 * k); }
int ScaleCode(int block, int k) { return 5848298 + (block == 0 ? 500 : -500) + 11 * k; }

std::string CodeList(int block, int (*code)(int, int)) {
    std::string out = "[";
    for (int k = 0; k < 64; ++k) {
        out += (k ? "," : "") + std::to_string(code(block, k));
    }
    return out + "]";
}

std::string Blocks() {
    std::string out = "{";
    const char *names[2] = {"\"2.5\"", "\"5.0\""};
    for (int block = 0; block < 2; ++block) {
        out += std::string(block ? "," : "") + names[block] +
               ": { \"offset_codes\": " + CodeList(block, OffsetCode) +
               ", \"scale_codes\": " + CodeList(block, ScaleCode) + " }";
    }
    return out + "}";
}

std::string World(int variant) {
    return R"({ "pacing": false, "crates": [ { "serial": "2T000002", "modules": [
        { "slot": 7, "serial": "8K000457", "variant": )" +
           std::to_string(variant) + R"(, "eeprom": )" + Blocks() + " } ] } ] }";
}

bool WaitUntil(const std::function<bool()> &done, int timeoutMs = 20000) {
    QElapsedTimer timer;
    timer.start();
    WaitPumpingEvents([&] { return done() || timer.elapsed() > timeoutMs; }, 10);
    return done();
}

class CoefsE2E : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        ASSERT_FALSE(kovatest::Listening(KOVA_SERVER_PORT)) << "port 11111 is taken";
        ASSERT_TRUE(dir.isValid());
        previousDir = QDir::currentPath();
        ASSERT_TRUE(QFile::copy(QString::fromStdString(kovatest::BinDir() + "/KOVA8.bio"),
                                dir.filePath(QStringLiteral("KOVA8.bio"))));
        QDir::setCurrent(dir.path());
        settings::SetSettingsDirectory(dir.path());
    }
    void TearDown() override {
        form.reset();
        server.reset();
        settings::SetSettingsDirectory(QString());
        QDir::setCurrent(previousDir);
    }

    QTemporaryDir dir;
    QString previousDir;
    platform::RecordingDialogService dialogs;
    platform::ScopedDialogService scope{dialogs};
    std::unique_ptr<kovatest::TCrateServerProcess> server;
    std::unique_ptr<TMainForm> form;
};

// Variant 0 reads the 5.0 V block whatever the settings say; variant 2 with
// the default settings (reference 0) reads the 2.5 V block.
TEST_P(CoefsE2E, FactoryAndWorkingTablesHoldTheModulesCodes) {
    const int variant = GetParam();
    server = std::make_unique<kovatest::TCrateServerProcess>(World(variant), KOVA_SERVER_PORT);
    form = std::make_unique<TMainForm>();
    form->show();
    ASSERT_TRUE(WaitUntil([&] { return form->StartupState == 3; }));
    ASSERT_TRUE(WaitUntil([&] {
        return form->InitRequestAllowed && !form->InitThreadRunning && !form->InitThreadAlive;
    }));
    ASSERT_EQ(form->ModuleState, 2);
    EXPECT_EQ(dialogs.Count(), 0u);

    const int reference = form->RefVoltageForClbCoeffsLMDComboBox->currentIndex();
    if (variant == 0) {
        EXPECT_EQ(reference, 1);
        EXPECT_FALSE(form->RefVoltageForClbCoeffsLMDComboBox->isEnabled());
    }
    ASSERT_TRUE(reference == 0 || reference == 1);
    for (int k = 0; k < 64; ++k) {
        const int code = k / 8;
        const int channel = k % 8;
        const TCorrectionCoefsEntry &e =
            form->FactoryCoefs.Entries[reference][RangeIndexFromModuleCode(code)][channel];
        EXPECT_EQ(e.OffsetCode, OffsetCode(reference, k)) << k;
        EXPECT_EQ(e.ScaleCode, ScaleCode(reference, k)) << k;
        EXPECT_EQ(e.Offset, OffsetFromCode(OffsetCode(reference, k), code)) << k;
        EXPECT_EQ(e.Scale, ScaleFromCode(ScaleCode(reference, k))) << k;
        const TCorrectionCoefsEntry &other =
            form->FactoryCoefs.Entries[1 - reference][RangeIndexFromModuleCode(code)][channel];
        EXPECT_EQ(other.OffsetCode, 0) << k;
        EXPECT_EQ(other.Offset, 0.0) << k;
    }
    EXPECT_EQ(std::memcmp(&form->WorkingCoefs, &form->FactoryCoefs, sizeof(TCorrectionCoefsTable)),
              0);
}

INSTANTIATE_TEST_SUITE_P(Variants, CoefsE2E, ::testing::Values(0, 2));

} // namespace
