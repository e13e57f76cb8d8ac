#include "platform/durable.h"
#include "platform/trace.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace plat {

bool syncFile(QFileDevice& file) {
    if (!file.isOpen() || !file.flush()) return false;
#ifdef Q_OS_WIN
    return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()))) != 0;
#else
    // EINVAL: a file system that cannot sync; what was written stands, as on any other.
    return ::fdatasync(file.handle()) == 0 || errno == EINVAL;
#endif
}

bool syncFolder(const QString& path) {
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return true;
#else
    const QByteArray name = QFile::encodeName(path.isEmpty() ? QStringLiteral(".") : path);
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
#endif
}

qint64 appendLines(const QString& fileName, const QByteArray& lines, const QByteArray& header) {
    QFile f(fileName);
    const qint64 size = f.exists() ? f.size() : 0;
    QByteArray bytes;
    if (size == 0) {
        bytes = header;
    } else {
        char last = 0;
        if (!f.open(QIODevice::ReadOnly) || !f.seek(size - 1) || !f.getChar(&last)) return -1;
        if (last != '\n') bytes = "\r\n";
        f.close();
    }
    const qint64 at = size + bytes.size();
    bytes += lines;
    return writeAt(fileName, size, bytes) ? at : -1;
}

bool writeAt(const QString& fileName, qint64 at, const QByteArray& bytes) {
    QFile f(fileName);
    const bool existed = f.exists();
    // Unbuffered: a write that a full disk cuts short fails here, with nothing left in a
    // buffer that would keep the file from being cut back.
    if (!f.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) return false;
    const qint64 size = f.size();
    if (size < at || (size > at && !f.resize(at)) || !f.seek(at)) return false;
    if (f.write(bytes) != bytes.size() || !syncFile(f)) {
        // A short write leaves part of a line: the file is cut back to where it ended.
        f.resize(at);
        return false;
    }
    f.close();
    if (!existed) syncFolder(QFileInfo(fileName).path());
    return true;
}

bool writeFileAtomic(const QString& fileName, const QByteArray& content) {
    QSaveFile f(fileName);
    // Unbuffered: a write that a full disk cuts short must fail here, not vanish in the flush
    // at commit, which would rename a truncated file into place.
    const auto failed = [&] {
        qCInfo(lcArchive, "%s not written: %s", qUtf8Printable(fileName), qUtf8Printable(f.errorString()));
        return false;
    };
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return failed();
    if (f.write(content) != content.size()) {
        failed();
        f.cancelWriting();
        return false;
    }
    // The commit puts the new content on the disk before the rename; the folder's sync then
    // keeps the rename itself through a power cut.
    if (!f.commit()) return failed();
    syncFolder(QFileInfo(fileName).path());
    qCDebug(lcArchive, "wrote %s: %lld bytes", qUtf8Printable(fileName), qint64(content.size()));
    return true;
}

}  // namespace plat
