#pragma once
// The benchmarks that drive the window need an application object: made once,
// on the offscreen platform unless another is asked for.

#include <QApplication>

inline void EnsureBenchApplication() {
    static int argc = 1;
    static char name[] = "kova_bench";
    static char *argv[] = {name, nullptr};
    if (QCoreApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(argc, argv);
}
