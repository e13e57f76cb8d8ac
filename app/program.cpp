#include "app/program.h"
#include "platform/instancelock.h"

#include <QApplication>

int runProgram(plat::Platform& sys) {
    const plat::InstanceLock lock(QStringLiteral("ravlo.lock"));
    if (!lock.free()) {
        sys.ui.message(TForm1::kName, QStringLiteral("Программа уже запущена в этой папке"));
        return 0;
    }
    try {
        Program program(sys);
        program.form1.show();
        QApplication::exec();
    } catch (const std::exception& e) {
        sys.ui.error(QString::fromLocal8Bit(e.what()));
    }
    return 0;
}
