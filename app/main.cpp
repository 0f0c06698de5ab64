#include "platform/version.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KOVA8_Duvu"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("KOVA8_duvu - ") + platform::ProgramVersion());
    window.setCentralWidget(new QLabel(QStringLiteral("KOVA8"), &window));
    window.resize(1196, 661);
    window.show();
    return QApplication::exec();
}
