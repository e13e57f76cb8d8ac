#pragma once
// What a piece of a test costs in wall and CPU time.
#include <QElapsedTimer>

namespace rig {

// CPU seconds the calling thread has used. A check that a wait does not spin measures the
// thread that waits: other processes' load cannot push that figure up, only the wall time.
double threadCpuSeconds();

// Wall and CPU seconds of f on the calling thread.
struct Cost {
    double wall, cpu;
};
template <class F> Cost measure(F&& f) {
    QElapsedTimer t;
    t.start();
    const double c0 = threadCpuSeconds();
    f();
    return {double(t.nsecsElapsed()) / 1e9, threadCpuSeconds() - c0};
}

}  // namespace rig
