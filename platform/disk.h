#pragma once
// How much room the disk holding a folder has left, for the station that warns before the
// archive fills it. Tests replace it with a disk of a chosen size.
#include <QString>

#include <optional>

namespace plat {

class Disk {
public:
    virtual ~Disk() = default;
    // The bytes this program may still write in the folder's file system; nothing when the
    // system cannot tell.
    virtual std::optional<qint64> freeBytes(const QString& folder) = 0;
};

class SystemDisk final : public Disk {
public:
    std::optional<qint64> freeBytes(const QString& folder) override;
};

}  // namespace plat
