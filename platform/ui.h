#pragma once
#include <QString>

class QWidget;

namespace plat {

// What the program asks of the desktop besides its own windows: the message pump, the
// message boxes and the file dialogs. Tests replace it to record boxes and answer dialogs
// instead of blocking on them.
class Ui {
public:
    virtual ~Ui() = default;
    // Handles all pending window messages, then returns.
    virtual void pump() = 0;
    // A plain message box with an OK button; returns when it is dismissed.
    virtual void message(const QString& caption, const QString& text) = 0;
    // The toolkit's error box for an error that ended a handler.
    virtual void error(const QString& text) = 0;
    // A question with the answers "Да" and "Нет", "Нет" the default (Enter and Escape give it);
    // true for "Да".
    virtual bool ask(const QString& caption, const QString& text) = 0;
    // The dialog for the file to save a picture as, over `owner`, proposing `suggested` (a
    // path); the path chosen, or an empty string when the operator cancelled. The dialog
    // asks before a file is replaced.
    virtual QString saveFile(QWidget* owner, const QString& caption, const QString& suggested) = 0;
    // The dialog for a folder, starting in `start`; the folder chosen or an empty string.
    virtual QString folder(QWidget* owner, const QString& caption, const QString& start) = 0;
};

class DesktopUi final : public Ui {
public:
    void pump() override;
    void message(const QString& caption, const QString& text) override;
    void error(const QString& text) override;
    bool ask(const QString& caption, const QString& text) override;
    QString saveFile(QWidget* owner, const QString& caption, const QString& suggested) override;
    QString folder(QWidget* owner, const QString& caption, const QString& start) override;
};

}  // namespace plat
