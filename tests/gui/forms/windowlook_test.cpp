// What the user sees of the window on a 1920 × 1080 screen: the window after a
// discovery that opened a module, written out as a picture to look at.

#include "device/fakekovadevice.h"
#include "forms/mainform.h"
#include "platform/dialogs.h"
#include "settings/settingskeys.h"
#include "tests/support/waituntil.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

// A window that has run its first discovery on the fake device, in a folder
// of its own that holds the firmware file and the settings file.
class OpenWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        previousDir = QDir::currentPath();
        QDir::setCurrent(dir.path());
        QFile firmware(dir.filePath(QStringLiteral("KOVA8.bio")));
        ASSERT_TRUE(firmware.open(QIODevice::WriteOnly));
        settings::SetSettingsDirectory(dir.path());
        device.ScriptOneModule();
        form = std::make_unique<TMainForm>(nullptr, &device);
    }
    void TearDown() override {
        form.reset();
        settings::SetSettingsDirectory(QString());
        QDir::setCurrent(previousDir);
    }
    void ShowAndDiscover() {
        form->show();
        ASSERT_TRUE(WaitUntil([&] {
            return form->StartupState == 3 && !form->InitThreadRunning && !form->InitThreadAlive &&
                   form->ModuleState == 2;
        }));
    }

    QTemporaryDir dir;
    QString previousDir;
    TFakeKovaDevice device;
    platform::RecordingDialogService dialogs;
    platform::ScopedDialogService dialogScope{dialogs};
    std::unique_ptr<TMainForm> form;
};

TEST_F(OpenWindowTest, ScreenshotWithAnOpenModule) {
    ShowAndDiscover();
    EXPECT_EQ(dialogs.Count(), 0u);
    const QImage image = form->grab().toImage();
    EXPECT_EQ(image.size(), QSize(1159, 585));
    // Written beside the test executables for a look at what a user sees.
    EXPECT_TRUE(image.save(QDir(previousDir).filePath(QStringLiteral("mainform_open.png"))));
}

} // namespace
