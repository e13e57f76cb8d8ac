#pragma once
// Helpers for the tests of call control, reception and filing.
#include "jpegmaker.h"
#include "pty.h"
#include "rig.h"
#include "acquisition/archive.h"

#include "acquisition/journal.h"
#include "app/tform1.h"
#include "platform/serial_qt.h"
#include "platform/stringlist.h"

#include <QByteArray>
#include <QDir>
#include <QStringList>

namespace acq {

// What the modem says when the unit calls, up to and including its caller-number line.
inline QByteArray incomingCall() { return "\r\n+CRING: REL ASYNC\r\n\r\n+CLIP: \"+79001112233\",145,,,,0\r\n"; }
inline QByteArray connect9600() { return "\r\nCONNECT 9600\r\n"; }
inline QByteArray noCarrier() { return "\r\nNO CARRIER\r\n"; }

// A picture of the unit: a few kilobytes, different for every seed.
inline QByteArray picture(unsigned seed = 1, int w = 64, int h = 48) { return rig::makeJpeg({w, h, 75, false, seed}); }

// The rig with the windows built and the port open, as after a first Инициализ.
inline void openPort(rig::Rig& r) {
    rig::writeDefaultSettings();
    r.build();
    r.ports.line();
    if (r.form1->setdcb()) r.form1->portopen = 1;
}

// The bytes of the stored picture with the given base name (foto\...).
inline QByteArray stored(const QByteArray& baseName) { return rig::readFile(nativePath(baseName + ".jpg")); }

// The lines of a list file as written by the program.
inline QList<QByteArray> fileLines(const QString& name) { return plat::StringList::parse(rig::readFile(name)); }

// A time as the journal keeps it: to the second.
inline QDateTime toSecond(const QDateTime& t) { return t.addMSecs(-t.time().msec()); }

// The calls of the journal, in the order written; a line that does not read as a call is
// taken as an empty one, so that it fails the comparison it is in.
inline QList<journal::Call> journalCalls() {
    QList<journal::Call> out;
    const QList<QByteArray> lines = fileLines(journal::file);
    for (qsizetype i = 1; i < lines.size(); ++i) out.append(journal::parseLine(lines[i]).value_or(journal::Call{}));
    return out;
}

// Records every new text of a status panel, sampled at each pump of the waiting loops.
struct PanelLog {
    QStringList texts;
    void attach(rig::Rig& r, int panel) {
        r.ui.onPump = [this, &r, panel] {
            const QString t = r.form1->panel(panel);
            if (texts.isEmpty() || texts.last() != t) texts.append(t);
        };
    }
    // The texts, with the one left standing once the handler returned.
    QStringList withLast(rig::Rig& r, int panel) const {
        QStringList all = texts;
        if (all.isEmpty() || all.last() != r.form1->panel(panel)) all.append(r.form1->panel(panel));
        return all;
    }
};

// The windows on the scripted line with the default settings and a folder foto, the texts of
// status panel 2 recorded; with `open`, the port open as after a first Инициализ.
struct Station {
    rig::Rig r;
    fake::ScriptedLine* line = nullptr;  // the line the program holds, or will open
    PanelLog status;
    explicit Station(bool open) {
        QDir().mkdir("foto");
        if (open) {
            openPort(r);
        } else {
            rig::writeDefaultSettings();
            r.build();
        }
        line = &r.line();
        status.attach(r, 2);
    }
    TForm1& f() { return *r.form1; }
};

// The main window on the real serial layer and the system clock, its port the slave side of
// a pseudo-terminal, in a fresh working folder; the test plays the far end on pty.
struct OnPty {
    rig::WorkDir work;
    rig::Pty pty;
    plat::SystemClock clock;
    fake::Ui ui;
    plat::QtPortSystem ports;
    fake::PortStore store;
    fake::Notices notices;
    fake::Disk disk;
    plat::Platform sys{clock, ui, ports, store, notices, disk};
    TForm1 f{sys};
    OnPty() {
        f.portname = pty.slavePath();
        f.setPanel(0, f.portname);  // as the port dialog does
    }
};

}  // namespace acq
