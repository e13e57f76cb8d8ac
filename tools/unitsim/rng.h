#pragma once
// A small deterministic random source (splitmix64). The standard distributions differ between
// library implementations; this one gives the same sequence for a seed everywhere, so a soak
// run can be replayed from its seed.
#include <cstdint>

namespace unitsim {

class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [lo, hi]; lo <= hi. The modulo bias is far below anything a test can see.
    std::uint64_t between(std::uint64_t lo, std::uint64_t hi) { return lo + next() % (hi - lo + 1); }
    // True with probability p.
    bool chance(double p) { return double(next() >> 11) * 0x1.0p-53 < p; }

private:
    std::uint64_t state_;
};

}  // namespace unitsim
