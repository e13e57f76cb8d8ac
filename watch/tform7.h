#pragma once
// "Объект": one unit of the book, its number, name, comment, interval and check by a call.
// The dialog hands what was typed to the board, which writes it into the book; a unit the book
// refuses is named in a message box, and the dialog stays open with what was typed, so that
// the operator mends it or gives up with "Отмена".
#include "watch/book.h"

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class TForm7;
}
namespace plat {
class Ui;
}

class TForm7 : public QDialog {
    Q_OBJECT
public:
    // Writes the unit; returns why it was not written, empty when it was.
    using Writer = std::function<QString(const watch::Unit&)>;

    TForm7(plat::Ui& desktop, QWidget* owner);
    ~TForm7() override;

    // Opens the dialog over its owner with the unit's fields and returns at once; "ОК" hands
    // the typed unit to `write`. `fixedNumber`: the number cannot be changed here (the unit of
    // the settings, whose number the settings dialog keeps).
    void edit(const watch::Unit& unit, Writer write, bool fixedNumber = false);
    // The unit as typed.
    watch::Unit typed() const;
    // "ОК": the unit is written and the dialog closes, or the refusal is shown and it stays.
    void Button1Click();

    std::unique_ptr<Ui::TForm7> ui;

private:
    plat::Ui& desktop_;
    Writer write_;
};
