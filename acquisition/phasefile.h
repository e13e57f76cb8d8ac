#pragma once
// temp.dat during a data phase. Every byte is appended at once, so the file always holds the
// whole phase so far, and every picture that arrived whole is on the disk at its end marker.
// A file that cannot be opened or written is given up, and filing works on fotobuf alone.
#include <QFile>

class PhaseFile {
public:
    PhaseFile();
    bool ok() const { return ok_; }
    // True once the file, still empty, is on the disk.
    bool synced();
    // Appends one byte; the file is synced at every picture's end marker.
    void append(unsigned char b);
    // Syncs and closes the file.
    void finish();

private:
    QFile file_;
    bool ok_ = false;
    qint64 written_ = 0;
    unsigned char last_ = 0;
};
