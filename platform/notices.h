#pragma once
// What the program asks of the desktop to draw the operator's eye to new pictures: the
// window's attention request, and a tray icon where the desktop has a system tray. Tests
// replace it to record what was asked.
#include <QString>
#include <QWidget>

#include <memory>

class QSystemTrayIcon;

namespace plat {

class Notices {
public:
    virtual ~Notices() = default;
    // Whether the window is the one the operator works in.
    virtual bool active(const QWidget& window) = 0;
    // Asks the window manager to mark the window (its task-bar entry, say).
    virtual void alert(QWidget& window) = 0;
    virtual bool trayAvailable() = 0;
    // Shows the tray icon for as long as the program runs (once shown, asking again does
    // nothing); a click on it or on one of its messages raises the window.
    virtual void showTray(QWidget& window) = 0;
    virtual void setTrayTip(const QString& text) = 0;
    virtual void trayMessage(const QString& text) = 0;
};

class DesktopNotices final : public Notices {
public:
    DesktopNotices();
    ~DesktopNotices() override;
    bool active(const QWidget& window) override;
    void alert(QWidget& window) override;
    bool trayAvailable() override;
    void showTray(QWidget& window) override;
    void setTrayTip(const QString& text) override;
    void trayMessage(const QString& text) override;

private:
    std::unique_ptr<QSystemTrayIcon> tray_;
};

}  // namespace plat
