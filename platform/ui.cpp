#include "platform/ui.h"
#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

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

bool DesktopUi::ask(const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton);
    QPushButton* yes = box.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

QString DesktopUi::saveFile(QWidget* owner, const QString& caption, const QString& suggested) {
    return QFileDialog::getSaveFileName(owner, caption, suggested, QStringLiteral("Снимки JPEG (*.jpg *.jpeg)"));
}

QString DesktopUi::folder(QWidget* owner, const QString& caption, const QString& start) {
    return QFileDialog::getExistingDirectory(owner, caption, start);
}

}  // namespace plat
