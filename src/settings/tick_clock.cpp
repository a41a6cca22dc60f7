#include "settings/tick_clock.h"

#include <chrono>

namespace {

TTickClock g_steadyClock;
TTickClock* g_clock = &g_steadyClock;

} // namespace

std::uint32_t TTickClock::Now() const
{
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

TTickClock& AppClock()
{
    return *g_clock;
}

void SetAppClock(TTickClock* clock)
{
    g_clock = clock ? clock : &g_steadyClock;
}
