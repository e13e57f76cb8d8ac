// Ravlo's entry: the real platform for the windows, then the program in the working folder.
#include "app/program.h"
#include "platform/fonts.h"
#include "platform/language.h"
#include "platform/serial_qt.h"
#include "platform/termination.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(TForm1::kName);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/ravlo.png")));
    plat::installFontFallbacks();
    plat::installQtRussian(app);
    plat::closeWindowsOnTermination();

    plat::SystemClock clock;
    plat::DesktopUi desktop;
    plat::QtPortSystem ports;
    plat::SettingsPortStore store;
    plat::DesktopNotices notices;
    plat::SystemDisk disk;
    plat::Platform sys{clock, desktop, ports, store, notices, disk};

    return runProgram(sys);
}
