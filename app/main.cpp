// Ravlo's entry: builds the five windows in their order and runs the message loop.
#include "app/program.h"
#include "platform/fonts.h"
#include "platform/serial_qt.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ravlo"));
    plat::installFontFallbacks();

    plat::SystemClock clock;
    plat::DesktopUi desktop;
    plat::QtPortSystem ports;
    plat::SettingsPortStore store;
    plat::Platform sys{clock, desktop, ports, store};

    try {
        Program program(sys);
        program.form1.show();
        app.exec();
    } catch (const std::exception& e) {
        desktop.error(QString::fromLocal8Bit(e.what()));
    }
    return 0;
}
