#pragma once

#include <cstdint>

// A steady millisecond clock kept as unsigned 32 bits, like a system tick count.
// Differences are taken modulo 2^32, so the wrap of the count does no harm.
class TTickClock {
public:
    virtual ~TTickClock() = default;
    virtual std::uint32_t Now() const;
};

// The process's clock; tests install their own.
TTickClock& AppClock();
void SetAppClock(TTickClock* clock);

// Milliseconds from start to now across a wrap of the 32-bit count.
inline std::uint32_t TicksSince(std::uint32_t start, std::uint32_t now)
{
    return now - start;
}

// A clock that only moves when told to.
class TManualClock final : public TTickClock {
public:
    explicit TManualClock(std::uint32_t start = 0) : m_now(start) {}
    std::uint32_t Now() const override { return m_now; }
    void Set(std::uint32_t now) { m_now = now; }
    void Advance(std::uint32_t ms) { m_now += ms; }

private:
    std::uint32_t m_now;
};
