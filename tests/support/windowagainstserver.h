#pragma once
// Fixture for the window against a live kova-crated on the program's own port
// 11111: a private working folder holding the firmware file and the settings,
// dialogs recorded instead of shown. The test starts the server and the window.

#include "forms/mainform.h"
#include "platform/dialogs.h"
#include "settings/settingskeys.h"
#include "tests/support/crateserverprocess.h"
#include "tests/support/waituntil.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

// The discovery runs of these tests take seconds; their waits allow this much.
inline constexpr int kRunTimeoutMs = 20000;

template <class Base = ::testing::Test> class TWindowAgainstServer : public Base {
protected:
    void SetUp() override {
        // Seen only without a network namespace of the test's own (see
        // KOVA_OWN_NETWORK in cmake/KovaTargets.cmake).
        ASSERT_FALSE(kovatest::Listening(KOVA_SERVER_PORT))
            << "port 11111 is taken: another program listens on 127.0.0.1:11111 (a crate "
               "server, scripts/demo); this system gives the test no network namespace of its "
               "own, so stop that program and run the test again";
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

    bool StartedUp() {
        return WaitUntil([&] { return form->StartupState == 3; }, kRunTimeoutMs);
    }
    // The window's discovery run is over and it takes requests again.
    bool RunEnded() {
        return WaitUntil(
            [&] {
                return form->InitRequestAllowed && !form->InitThreadRunning &&
                       !form->InitThreadAlive;
            },
            kRunTimeoutMs);
    }

    QTemporaryDir dir;
    QString previousDir;
    platform::RecordingDialogService dialogs;
    platform::ScopedDialogService scope{dialogs};
    std::unique_ptr<kovatest::TCrateServerProcess> server;
    std::unique_ptr<TMainForm> form;
};
