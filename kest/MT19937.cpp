#include "kest/MT19937.h"

#include "kest/ServiceSlot.h"
#include "kest/Thread.h"
#include "kest/Time.h"

namespace kest {

void CMersenneTwisterRandomNumberGenerator::Seed(uint32_t seed) {
    m_state[0] = seed;
    for (int i = 1; i < kStateSize; ++i) {
        m_state[i] = 1812433253u * (m_state[i - 1] ^ (m_state[i - 1] >> 30)) + uint32_t(i);
    }
    m_index = kStateSize;
}

void CMersenneTwisterRandomNumberGenerator::Twist() {
    constexpr int kShift = 397;
    for (int i = 0; i < kStateSize; ++i) {
        uint32_t y = (m_state[i] & 0x80000000u) | (m_state[(i + 1) % kStateSize] & 0x7FFFFFFFu);
        m_state[i] = m_state[(i + kShift) % kStateSize] ^ (y >> 1) ^ ((y & 1u) ? 0x9908B0DFu : 0u);
    }
    m_index = 0;
}

uint32_t CMersenneTwisterRandomNumberGenerator::Next() {
    if (m_index > kStateSize) Seed(5489u);
    if (m_index == kStateSize) Twist();
    uint32_t y = m_state[m_index++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
}

namespace {

// The shared generator: one state, many threads.
class CLockedGenerator : public CObject, public IRandomNumberGenerator {
public:
    explicit CLockedGenerator(uint32_t seed)
        : m_mutex(GetMutexFactory().CreateMutex()),
          m_generator(New<CMersenneTwisterRandomNumberGenerator>(seed)) {}
    uint32_t Next() override {
        CMutexLock lock(m_mutex.Get());
        return m_generator->Next();
    }

private:
    P<IMutex> m_mutex;
    P<CMersenneTwisterRandomNumberGenerator> m_generator;
};

}  // namespace

P<IRandomNumberGenerator>& GetRandomNumberGenerator() {
    static TServiceSlot<IRandomNumberGenerator> slot;
    return slot.Get([]() -> P<IRandomNumberGenerator> {
        return New<CLockedGenerator>(uint32_t(GetTimeManager()->NowMilliseconds()));
    });
}

}  // namespace kest
