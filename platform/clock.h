#pragma once
#include <QDateTime>
#include <cstdint>

namespace plat {

// The 32-bit millisecond tick counter and the local clock. Time-outs are always
// computed as now - start in unsigned arithmetic, so a wrap does no harm.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::uint32_t tick() = 0;
    virtual QDateTime now() = 0;
};

class SystemClock final : public Clock {
public:
    std::uint32_t tick() override;
    QDateTime now() override;
};

}  // namespace plat
