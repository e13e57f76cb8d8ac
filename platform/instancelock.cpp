#include "platform/instancelock.h"

namespace plat {

InstanceLock::InstanceLock(const QString& fileName) : lock_(fileName) {
    // Held for the whole run: no age makes it stale, only an owner that is gone.
    lock_.setStaleLockTime(0);
    free_ = lock_.tryLock(0) || lock_.error() != QLockFile::LockFailedError;
}

}  // namespace plat
