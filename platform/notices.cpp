#include "platform/notices.h"

#include <QApplication>
#include <QSystemTrayIcon>

namespace plat {

DesktopNotices::DesktopNotices() = default;
DesktopNotices::~DesktopNotices() = default;

bool DesktopNotices::active(const QWidget& window) { return window.isActiveWindow(); }

void DesktopNotices::alert(QWidget& window) { QApplication::alert(&window); }

bool DesktopNotices::trayAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void DesktopNotices::showTray(QWidget& window) {
    if (tray_) return;  // one icon for the whole run, whoever asks for it
    tray_ = std::make_unique<QSystemTrayIcon>(window.windowIcon());
    // The window is the connections' context: once it is gone, a click does nothing.
    const auto raise = [&window] {
        window.showNormal();
        window.raise();
        window.activateWindow();
    };
    QObject::connect(tray_.get(), &QSystemTrayIcon::activated, &window, raise);
    QObject::connect(tray_.get(), &QSystemTrayIcon::messageClicked, &window, raise);
    tray_->show();
}

void DesktopNotices::setTrayTip(const QString& text) {
    if (tray_) tray_->setToolTip(text);
}

void DesktopNotices::trayMessage(const QString& text) {
    if (tray_) tray_->showMessage(QApplication::applicationName(), text);
}

}  // namespace plat
