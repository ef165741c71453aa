#pragma once

#include <cstdint>

namespace dxgiproxy
{
    // Displays refresh at this rate as far as the programs here can tell.
    constexpr int refreshRate = 60;

    // Milliseconds from `now` to the next whole multiple of 1/rate s, on a
    // clock of `ticksPerSecond`, rounded up so that a sleep of that long ends
    // past the boundary. Never 0: a caller exactly on a boundary waits for the
    // next one, as a real vertical blank would make it.
    inline std::uint32_t msUntilNextVBlank (std::int64_t now, std::int64_t ticksPerSecond, int rate = refreshRate)
    {
        if (ticksPerSecond <= 0 || rate <= 0 || now < 0)
            return 1;

        const auto frame = now * rate / ticksPerSecond;
        // The first tick at or past the next boundary (ceiling division).
        const auto boundary = ((frame + 1) * ticksPerSecond + rate - 1) / rate;
        const auto ticksLeft = boundary - now;
        const auto ms = (ticksLeft * 1000 + ticksPerSecond - 1) / ticksPerSecond;
        return ms < 1 ? 1u : (std::uint32_t) ms;
    }
}
