// Ravlo's entry: builds the five windows in their order and runs the message loop.
#include "app/aboutbox.h"
#include "app/tform1.h"
#include "app/tform4.h"
#include "config/tform2.h"
#include "config/tform3.h"
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
        TForm1 form1(sys);
        TForm2 form2(form1);
        TForm4 form4(form1);
        TAboutBox about;
        TForm3 form3(form2);
        form1.attach(&form2, &form4, &about);
        form2.attach(&form3);
        form1.show();
        app.exec();
    } catch (const std::exception& e) {
        desktop.error(QString::fromLocal8Bit(e.what()));
    }
    return 0;
}
