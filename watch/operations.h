#pragma once
// What the watch station asks of the main window, which owns the port and the windows.
#include "watch/book.h"

#include <QByteArray>
#include <QString>

namespace watch {

// How the modem stands, as the station's supervision sees it.
enum class Modem {
    NotWanted,   // the station does not listen: nobody expects the modem
    Ready,       // prepared and listening
    Gone,        // listening wanted, the port is not there ("Нет модема")
    Unprepared,  // the port is there, the modem does not answer its preparation
};

class Operations {
public:
    virtual ~Operations() = default;
    // Dials the number and asks its unit for a picture, as "Снимок" does (the same attempts,
    // "Отмена", panels and journal line); returns once that exchange has ended. Empty when it
    // ran; otherwise why it could not begin (another exchange holds the port, say).
    virtual QString snapshot(const QByteArray& number) = 0;
    // The same for the check of a late unit: its journal line says "проверка" in "Что".
    virtual QString check(const QByteArray& number) = 0;
    // Nothing holds the port or waits for the operator: no reception, no exchange, no dialog
    // open. A check begins only then.
    virtual bool portFree() = 0;
    virtual Modem modem() = 0;
    // Opens "Архив" with the filter, on the day of event k (the newest day when k is -1).
    virtual void openArchive(const Filter& filter, int event) = 0;
};

}  // namespace watch
