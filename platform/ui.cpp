#include "platform/ui.h"
#include <QCoreApplication>
#include <QMessageBox>

namespace plat {

void DesktopUi::pump() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void DesktopUi::message(const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
    box.exec();
}

void DesktopUi::error(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(), text, QMessageBox::Ok);
    box.exec();
}

} // namespace plat
