#pragma once
#include <QString>

namespace plat {

// What the program asks of the desktop besides its own windows: the message pump and the
// message boxes. Tests replace it to record boxes instead of blocking on them.
class Ui {
public:
    virtual ~Ui() = default;
    // Handles all pending window messages, then returns.
    virtual void pump() = 0;
    // A plain message box with an OK button; returns when it is dismissed.
    virtual void message(const QString& caption, const QString& text) = 0;
    // The toolkit's error box for an error that ended a handler.
    virtual void error(const QString& text) = 0;
};

class DesktopUi final : public Ui {
public:
    void pump() override;
    void message(const QString& caption, const QString& text) override;
    void error(const QString& text) override;
};

} // namespace plat
