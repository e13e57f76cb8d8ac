#include "platform/durable.h"

#include <QFile>

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

} // namespace plat
