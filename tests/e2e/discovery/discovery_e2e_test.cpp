// The window's discovery against a live kova-crated on 127.0.0.1:11111, with
// the production crate and module libraries.

#include "forms/mainform.h"
#include "platform/colors.h"
#include "platform/dialogs.h"
#include "settings/settingskeys.h"
#include "tests/support/crateserverprocess.h"
#include "threads/workerthread.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace {

const char *const kWorld = R"({ "pacing": false, "crates": [
  { "serial": "2T000001", "modules": [ { "slot": 2, "id": 4660 } ] },
  { "serial": "2T000002", "modules": [
      { "slot": 3, "serial": "8K000123", "variant": 0, "firmware_version": "1.07" },
      { "slot": 7, "serial": "8K000457", "variant": 2, "firmware_version": "2.01" } ] } ] })";

bool WaitUntil(const std::function<bool()> &done, int timeoutMs = 20000) {
    QElapsedTimer timer;
    timer.start();
    WaitPumpingEvents([&] { return done() || timer.elapsed() > timeoutMs; }, 10);
    return done();
}

class DiscoveryE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(kovatest::Listening(KOVA_SERVER_PORT)) << "port 11111 is taken";
        ASSERT_TRUE(dir.isValid());
        previousDir = QDir::currentPath();
        // The firmware file is looked up in the current folder.
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
    void StartServer() {
        server = std::make_unique<kovatest::TCrateServerProcess>(kWorld, KOVA_SERVER_PORT);
    }
    bool RunEnded() {
        return WaitUntil([&] {
            return form->InitRequestAllowed && !form->InitThreadRunning && !form->InitThreadAlive;
        });
    }

    QTemporaryDir dir;
    QString previousDir;
    platform::RecordingDialogService dialogs;
    platform::ScopedDialogService scope{dialogs};
    std::unique_ptr<kovatest::TCrateServerProcess> server;
    std::unique_ptr<TMainForm> form;
};

TEST_F(DiscoveryE2E, StartsDiscoversLosesTheServerAndRecovers) {
    StartServer();
    form = std::make_unique<TMainForm>();
    form->show();
    ASSERT_TRUE(WaitUntil([&] { return form->StartupState == 3; }));
    ASSERT_TRUE(RunEnded());

    EXPECT_EQ(dialogs.Count(), 0u);
    EXPECT_EQ(form->ModuleState, 2);
    EXPECT_EQ(form->KovaCratesComboBox->count(), 1);
    EXPECT_EQ(form->KovaCratesComboBox->itemText(0), QStringLiteral("1: 2T000002"));
    EXPECT_EQ(form->ModulesComboBox->itemText(0), QStringLiteral("Слот 3: KOVA8M-3"));
    EXPECT_EQ(form->ModulesComboBox->itemText(1), QStringLiteral("Слот 7: KOVA8M-2"));
    EXPECT_EQ(form->ModuleSerialNumberLMDLabel->text(), QStringLiteral("8K000123"));
    EXPECT_EQ(form->ModuleFirmwareVersionLMDLabel->text(), QStringLiteral("1.07"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("KOVA8_duvu - 1.0.0"));
    // What a user sees with a module open, beside the test executables.
    EXPECT_TRUE(form->grab().save(QStringLiteral("%1/mainform_discovered.png")
                                      .arg(QString::fromStdString(kovatest::BinDir()))));

    // Choosing the other module reopens with its identity.
    form->ModulesComboBox->setCurrentIndex(1);
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(form->ModuleSerialNumberLMDLabel->text(), QStringLiteral("8K000457"));
    EXPECT_EQ(form->ModuleFirmwareVersionLMDLabel->text(), QStringLiteral("2.01"));
    EXPECT_TRUE(form->ReferenceVoltageLMDComboBox->isEnabled());

    // The server goes away: the next discovery finds no crate.
    server->Kill();
    form->FindDeviceLMDButton->click();
    ASSERT_TRUE(RunEnded());
    ASSERT_EQ(dialogs.Count(), 1u);
    EXPECT_EQ(dialogs.Shown()[0].text, QStringLiteral("Не могу найти ни одного KOVA крейта!"));
    const QColor red = platform::ColorFromWin(0x0000FF);
    EXPECT_EQ(form->KovaCrateStatusLed->BrushColor(), red);
    EXPECT_EQ(form->ModuleStatusLed->BrushColor(), red);
    EXPECT_EQ(form->ModuleState, 0);

    // Back again: the same button recovers, with the module chosen before.
    StartServer();
    form->FindDeviceLMDButton->click();
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(dialogs.Count(), 1u);
    EXPECT_EQ(form->ModuleState, 2);
    EXPECT_EQ(form->ModuleSerialNumberLMDLabel->text(), QStringLiteral("8K000457"));
    EXPECT_EQ(form->ModuleStatusLed->BrushColor(), platform::ColorFromWin(0x00FF00));

    // Closing closes the module; the server sees the connection go.
    form->close();
    EXPECT_NE(form->Device->KOVA8_IsOpened(&form->Descriptor), 0);
}

} // namespace
