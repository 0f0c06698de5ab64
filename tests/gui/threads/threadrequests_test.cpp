#include "device/fakekovadevice.h"
#include "forms/mainform.h"
#include "platform/dialogs.h"
#include "settings/settingskeys.h"
#include "tests/support/waituntil.h"
#include "threads/mainthread.h"

#include <gtest/gtest.h>

#include <QSignalBlocker>
#include <QTemporaryDir>

#include <memory>

namespace {

// Counts the window messages that reach the window; swallows the discovery
// requests when told to, so a shown window starts no discovery of its own.
class MessageCounter : public QObject {
public:
    int discoveries = 0;
    int starts = 0;
    bool swallowDiscoveries = false;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == kDiscoveryRequestEvent) {
            ++discoveries;
            return swallowDiscoveries;
        }
        if (event->type() == kMeasurementStartEvent)
            ++starts;
        return false;
    }
};

class ThreadRequestsTest : public ::testing::Test {
protected:
    // The runs find no crate: a fake with an empty world rather than the
    // libraries, which would reach whatever server other tests run on 11111.
    void SetUp() override {
        ASSERT_TRUE(settingsDir.isValid());
        settings::SetSettingsDirectory(settingsDir.path());
        form = std::make_unique<TMainForm>(nullptr, &device);
        form->installEventFilter(&messages);
    }
    void TearDown() override {
        form.reset();
        TWorkerThread::RefuseStartsForTesting(0);
        settings::SetSettingsDirectory(QString());
    }

    bool DiscoveryDone() {
        return WaitUntil([&] {
            return form->InitRequestAllowed && !form->InitThreadAlive && !form->InitThreadRunning;
        });
    }

    QTemporaryDir settingsDir;
    TFakeKovaDevice device;
    platform::RecordingDialogService dialogs;
    platform::ScopedDialogService scoped{dialogs};
    MessageCounter messages;
    std::unique_ptr<TMainForm> form;
};

TEST_F(ThreadRequestsTest, TwoQuickDiscoveryRequestsStartOneRun) {
    form->RequestDiscovery(3, true);
    form->RequestDiscovery(3, true);
    ASSERT_TRUE(DiscoveryDone());
    EXPECT_EQ(messages.discoveries, 1);
    EXPECT_TRUE(form->InitThreadStarted);
    EXPECT_FALSE(form->PopupMenuAutoPopup) << "the run's first step ran";

    // Once the run is over, the next request is taken.
    form->RequestDiscovery(2, false);
    ASSERT_TRUE(DiscoveryDone());
    EXPECT_EQ(messages.discoveries, 2);
    // Whatever the runs found, they only reported through their own dialog.
    for (const platform::DialogRequest &shown : dialogs.Shown())
        EXPECT_EQ(shown.kind, platform::DialogKind::ThreadMessage);
}

TEST_F(ThreadRequestsTest, DiscoveryThreadThatCannotBeCreatedStopsFurtherRequests) {
    TWorkerThread::RefuseStartsForTesting(1);
    form->RequestDiscovery(3, true);
    ASSERT_TRUE(WaitUntil([&] { return dialogs.Count() == 1; }));
    const auto shown = dialogs.Shown();
    EXPECT_EQ(shown[0].text, QStringLiteral("Не могу открыть поток 'InitAndConfigThread'!"));
    EXPECT_EQ(shown[0].caption, QStringLiteral("Ошибка OnStartInitDevicesThread()!"));
    EXPECT_EQ(shown[0].icon, platform::MessageIcon::None);
    EXPECT_FALSE(form->InitThreadAlive);

    form->RequestDiscovery(3, true);
    QCoreApplication::processEvents();
    EXPECT_EQ(messages.discoveries, 1);
}

TEST_F(ThreadRequestsTest, MeasurementStartsOnceAndStopsOnce) {
    form->StopThread(); // no thread: nothing to do
    EXPECT_EQ(form->CurrentMainThread, nullptr);

    form->MainLMDPageControl->setCurrentWidget(form->MultimeterLMDTabSheet);
    form->StartThread();
    // StartThread returns once the thread has announced itself.
    TMainThread *thread = form->CurrentMainThread;
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(form->MainThreadRunning);
    EXPECT_TRUE(form->MainRequestAllowed);
    EXPECT_FALSE(form->MeasurementFinished);
    EXPECT_EQ(form->JobNumber, 0);

    form->StartThread();
    EXPECT_EQ(form->CurrentMainThread, thread) << "a second start while one runs does nothing";
    EXPECT_EQ(messages.starts, 1);

    form->StopThread();
    EXPECT_EQ(form->CurrentMainThread, nullptr);
    EXPECT_FALSE(form->MainThreadRunning);
    form->StopThread();
    EXPECT_EQ(form->CurrentMainThread, nullptr);

    // And a new start after the stop works.
    form->StartThread();
    EXPECT_NE(form->CurrentMainThread, nullptr);
    EXPECT_EQ(messages.starts, 2);
}

TEST_F(ThreadRequestsTest, StartFromAPageWithoutJobIsRefused) {
    {
        // Past the window's own page guard, which keeps the user on page 0.
        const QSignalBlocker quiet(form->MainLMDPageControl);
        form->MainLMDPageControl->setCurrentWidget(form->CorrectionFactorsLMDTabSheet);
    }
    form->StartThread();
    const auto shown = dialogs.Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QStringLiteral("Неизвестный номер страницы приложения!"));
    EXPECT_EQ(shown[0].caption, QStringLiteral("Ошибка StartThread()!!!"));
    EXPECT_EQ(shown[0].icon, platform::MessageIcon::Information);
    QCoreApplication::processEvents();
    EXPECT_EQ(messages.starts, 0);
    EXPECT_EQ(form->CurrentMainThread, nullptr);
    EXPECT_TRUE(form->MainRequestAllowed);
}

TEST_F(ThreadRequestsTest, MeasurementThreadThatCannotBeCreatedEndsTheWaitAndClosesTheWindow) {
    messages.swallowDiscoveries = true;
    form->show();
    ASSERT_TRUE(WaitUntil([&] { return form->StartupState == 3; }));
    form->MainLMDPageControl->setCurrentWidget(form->MultimeterLMDTabSheet);
    TWorkerThread::RefuseStartsForTesting(1);
    form->StartThread(); // must return, though requests stay disallowed
    const auto shown = dialogs.Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QStringLiteral("Не могу открыть поток 'MainThread'!"));
    EXPECT_EQ(shown[0].caption, QStringLiteral("Ошибка OnStartMainThread()!"));
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->CurrentMainThread, nullptr);
}

TEST_F(ThreadRequestsTest, ClosingStopsTheMeasurementAndWaitsForTheDiscovery) {
    // A discovery requested while a measurement thread exists waits for it
    // to go, so the measurement starts second here.
    form->RequestDiscovery(3, true);
    ASSERT_TRUE(WaitUntil([&] { return form->InitThreadAlive; }));
    form->MainLMDPageControl->setCurrentWidget(form->MultimeterLMDTabSheet);
    form->StartThread();
    ASSERT_NE(form->CurrentMainThread, nullptr);
    form->close();
    EXPECT_EQ(form->CurrentMainThread, nullptr);
    EXPECT_FALSE(form->InitThreadAlive);
    EXPECT_FALSE(form->InitThreadRunning);
    EXPECT_FALSE(form->MainThreadRunning);
}

TEST_F(ThreadRequestsTest, DiscoveryRequestedWhileAMeasurementThreadExistsRunsOnceItIsGone) {
    form->MainLMDPageControl->setCurrentWidget(form->MultimeterLMDTabSheet);
    form->StartThread();
    ASSERT_NE(form->CurrentMainThread, nullptr);
    form->RequestDiscovery(3, true);
    ASSERT_TRUE(WaitUntil([&] { return messages.discoveries == 1; }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(form->InitThreadAlive) << "the run would share the module with the worker";
    EXPECT_TRUE(form->DiscoveryDeferred);
    form->RequestDiscovery(2, false); // dropped: one request is pending
    form->StopThread();
    ASSERT_TRUE(DiscoveryDone());
    EXPECT_EQ(messages.discoveries, 2) << "the pending request, posted again";
    EXPECT_FALSE(form->DiscoveryDeferred);
    EXPECT_FALSE(form->PopupMenuAutoPopup) << "the run ran";
}

TEST_F(ThreadRequestsTest, RequestsStillQueuedWhenTheWindowClosesStartNothing) {
    form->RequestDiscovery(3, true);
    form->close();
    ASSERT_TRUE(WaitUntil([&] { return messages.discoveries == 1; }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(form->InitThreadStarted);
    EXPECT_FALSE(form->InitThreadAlive);
    EXPECT_TRUE(form->PopupMenuAutoPopup);
}

} // namespace
