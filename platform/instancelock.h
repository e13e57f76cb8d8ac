#pragma once
// One program per working folder: a second one would hold the archive lists as they were at
// its start and write them back at its close, dropping every picture the first one filed.
#include <QLockFile>

namespace plat {

class InstanceLock {
public:
    // Takes the lock file in the working folder, held until the object goes.
    explicit InstanceLock(const QString& fileName);
    // False only when a program that still runs holds the lock. A lock left by one that was
    // killed or lost its power (its process is gone, or the machine started since) is taken
    // over, and a folder where no lock can be made at all (read-only) keeps nobody out.
    bool free() const { return free_; }

private:
    QLockFile lock_;
    bool free_ = true;
};

}  // namespace plat
