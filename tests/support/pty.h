#pragma once
// A pseudo-terminal pair for end-to-end tests: the program opens the slave path through the
// real serial layer; the test (or a peer thread) talks on the master side.
#include <QByteArray>
#include <QString>

namespace rig {

// Reads from `fd` until `until` has been seen or timeoutMs passed; returns all it read. An
// empty `until` reads for the whole time.
QByteArray readUntil(int fd, const QByteArray& until, int timeoutMs);

class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return master_ >= 0; }
    QString slavePath() const { return slave_; }
    int masterFd() const { return master_; }
    // Writes everything to the master side, waiting at most timeoutMs for room; false (and a
    // warning) when not all of it went.
    bool write(const QByteArray& bytes, int timeoutMs = 10000);
    // Reads what the program wrote until `until` has been seen or timeoutMs passed.
    QByteArray readUntil(const QByteArray& until, int timeoutMs);
    void closeMaster();

private:
    int master_ = -1;
    QString slave_;
};

}  // namespace rig
