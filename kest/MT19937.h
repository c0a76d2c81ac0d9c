// The 32-bit Mersenne twister MT19937: fast, well-spread numbers for names and the like; not for
// secrets.
#pragma once

#include "kest/Object.h"

#include <cstdint>

namespace kest {

class IRandomNumberGenerator : public virtual IBase {
public:
    virtual uint32_t Next() = 0;
};

class CMersenneTwisterRandomNumberGenerator : public CObject, public IRandomNumberGenerator {
public:
    // Unseeded: seeds itself with 5489, the reference seed, on first use.
    CMersenneTwisterRandomNumberGenerator() = default;
    explicit CMersenneTwisterRandomNumberGenerator(uint32_t seed) { Seed(seed); }

    void Seed(uint32_t seed);
    uint32_t Next() override;

private:
    void Twist();

    static constexpr int kStateSize = 624;
    uint32_t m_state[kStateSize] = {};
    int m_index = kStateSize + 1;  // beyond the state: not seeded yet
};

// The library's shared generator, seeded from the clock; safe to use from any thread.
P<IRandomNumberGenerator>& GetRandomNumberGenerator();

}  // namespace kest
