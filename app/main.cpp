// Ravlo's entry: the real platform for the windows, then the program in the working folder.
#include "app/program.h"
#include "platform/fonts.h"
#include "platform/serial_qt.h"
#include "platform/termination.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ravlo"));
    plat::installFontFallbacks();
    plat::closeWindowsOnTermination();

    plat::SystemClock clock;
    plat::DesktopUi desktop;
    plat::QtPortSystem ports;
    plat::SettingsPortStore store;
    plat::Platform sys{clock, desktop, ports, store};

    return runProgram(sys);
}
