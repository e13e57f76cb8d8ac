#include "platform/clock.h"
#include <chrono>

namespace plat {

std::uint32_t SystemClock::tick() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

QDateTime SystemClock::now() { return QDateTime::currentDateTime(); }

}  // namespace plat
