#pragma once
// The toolkit's errors: a file that cannot be opened or created, a missing list line, a text
// that is not a number, a picture that cannot be loaded. Only the helpers that stand in for
// the toolkit throw them; every handler is entered through guarded(), which shows the error
// in the error box and lets the program go on. No exception ever reaches Qt code.
#include "platform/ui.h"
#include <QString>
#include <exception>
#include <utility>

namespace plat {

// What the program's dialogs close with: OK, and Отмена (Escape and the close box too). The
// settings dialog closes with results of its own besides.
enum ModalResult : int { mrOk = 1, mrCancel = 2 };

class ToolkitError : public std::exception {
public:
    explicit ToolkitError(QString text) : text_(std::move(text)), utf8_(text_.toUtf8()) {}
    const QString& text() const { return text_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString text_;
    QByteArray utf8_;
};

// Runs one handler; a toolkit error ends it and is shown, anything else is shown too
// rather than let through into Qt's event machinery.
template <class F> void guarded(Ui& ui, F&& handler) {
    try {
        std::forward<F>(handler)();
    } catch (const ToolkitError& e) {
        ui.error(e.text());
    } catch (const std::exception& e) {
        ui.error(QString::fromLocal8Bit(e.what()));
    }
}

// "'%s' is not a valid integer value" for text that is not a whole number.
int strToInt(const QString& text);
// The same conversion with a default instead of the error.
int strToIntDef(const QString& text, int fallback);

}  // namespace plat
