#include "platform/disk.h"

#include <QStorageInfo>

namespace plat {

std::optional<qint64> SystemDisk::freeBytes(const QString& folder) {
    const QStorageInfo info(folder);
    if (!info.isValid() || !info.isReady()) return std::nullopt;
    // What an unprivileged program may use, not the blocks kept for the system.
    return info.bytesAvailable();
}

}  // namespace plat
