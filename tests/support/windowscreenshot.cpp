// The program's window as a picture, measuring: started as the program starts
// (application object, screen check, main window), it waits for the first
// discovery run to open a module, presses «С   Т   А   Р   Т», waits until
// every enabled channel has shown a few values and saves the window to the
// PNG file given. scripts/screenshot runs it against kova-crated.
//   kova_window_screenshot OUTPUT.png
// The settings go to a folder of their own; KOVA8.bio is looked up in the
// current folder, as the program does.

#include "app/startup.h"
#include "forms/kova8adcchannelframe.h"
#include "forms/mainform.h"
#include "settings/settingskeys.h"

#include <QElapsedTimer>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <set>
#include <vector>

namespace {

constexpr qint64 kTimeoutMs = 60000;
// Distinct readings per channel before the picture: the values are live.
constexpr std::size_t kReadings = 3;

bool ModuleOpenAndIdle(const TMainForm &form) {
    return form.StartupState == 3 && form.ModuleState == 2 && form.InitRequestAllowed &&
           !form.InitThreadRunning && !form.InitThreadAlive &&
           form.StartMultimeterLMDSpeedButton->isEnabled();
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kova_window_screenshot OUTPUT.png\n");
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    TKovaApplication app(argc, argv);
    QTemporaryDir settingsDir;
    settings::SetSettingsDirectory(settingsDir.path());

    int result = 1;
    QElapsedTimer clock;
    clock.start();
    bool started = false;
    std::vector<std::set<QString>> readings;
    RunMainWindow([&](TMainForm &form) {
        auto *poll = new QTimer(&form);
        QObject::connect(
            poll, &QTimer::timeout, &form,
            [&form, poll, &started, &readings, &result, &clock, &output] {
                if (clock.elapsed() > kTimeoutMs) {
                    std::fprintf(stderr,
                                 "kova_window_screenshot: no measurement within %lld s "
                                 "(module state %d, started %d)\n",
                                 static_cast<long long>(kTimeoutMs / 1000), form.ModuleState,
                                 started ? 1 : 0);
                    poll->stop();
                    form.close();
                    return;
                }
                if (!started) {
                    if (ModuleOpenAndIdle(form)) {
                        form.StartMultimeterLMDSpeedButton->click();
                        started = true;
                    }
                    return;
                }
                readings.resize(form.ChannelPanels.size());
                bool enough = true;
                for (std::size_t i = 0; i < readings.size(); ++i) {
                    const TKova8AdcChannelFrame &panel = *form.ChannelPanels[i];
                    if (!panel.ChannelNumberLMDCheckBox->isChecked())
                        continue;
                    const QString text = panel.ValueLMDEdit->text().trimmed();
                    if (!text.isEmpty())
                        readings[i].insert(text);
                    enough = enough && readings[i].size() >= kReadings;
                }
                if (!enough)
                    return;
                poll->stop();
                if (form.grab().save(output, "PNG")) {
                    result = 0;
                    std::printf("kova_window_screenshot: %s\n", output.toLocal8Bit().constData());
                } else {
                    std::fprintf(stderr, "kova_window_screenshot: cannot write %s\n",
                                 output.toLocal8Bit().constData());
                }
                form.StartMultimeterLMDSpeedButton->click();
                form.close();
            });
        poll->start(100);
    });
    return result;
}
