#include "app/startup.h"

#include "forms/mainform.h"
#include "platform/codepage.h"
#include "platform/dialogs.h"
#include "platform/screen.h"

#include <QTimer>

#include <cstdio>
#include <exception>
#include <memory>

namespace {
const QString kTitle = QStringLiteral("KOVA8_Duvu");
}

bool ScreenLargeEnough(QSize screen) {
    return screen.width() >= kMinScreenWidth && screen.height() >= kMinScreenHeight;
}

TKovaApplication::TKovaApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool TKovaApplication::notify(QObject *receiver, QEvent *event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        ShowApplicationException(&error);
    } catch (...) {
        ShowApplicationException(nullptr);
    }
    return false;
}

void ShowApplicationException(const std::exception *error) {
    const QString text = error ? QString::fromLocal8Bit(error->what()) : QString();
    platform::ShowMessageBox(nullptr, text, QCoreApplication::applicationName());
}

int RunMainWindow(const std::function<void(TMainForm &)> &whenShown) {
    QCoreApplication::setApplicationName(kTitle);
    if (!ScreenLargeEnough(platform::ScreenSize())) {
        platform::ShowMessageBox(
            nullptr, QStringLiteral("Разрешение монитора должно быть не ниже 1280x768!"),
            QStringLiteral("Ошибка!!!"), platform::MessageIcon::None);
        return 0;
    }
    // The code page converter is checked once, before anything reads a device
    // text or the settings file; the settings side refuses to work without it.
    static_cast<void>(platform::CodePageAvailable());
    TMainForm form;
    form.show();
    if (whenShown)
        QTimer::singleShot(0, &form, [&form, &whenShown] { whenShown(form); });
    QApplication::exec();
    return 0;
}

int RunApplication(int &argc, char **argv) {
    std::unique_ptr<TKovaApplication> app;
    try {
        app = std::make_unique<TKovaApplication>(argc, argv);
        return RunMainWindow();
    } catch (const std::exception &error) {
        if (app)
            ShowApplicationException(&error);
        else
            std::fprintf(stderr, "%s\n", error.what());
    } catch (...) {
        if (app)
            ShowApplicationException(nullptr);
    }
    return 0;
}
