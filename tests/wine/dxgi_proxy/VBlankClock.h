#pragma once

#include <cstdint>

namespace dxgiproxy
{
    // Displays refresh at this rate as far as the programs here can tell.
    constexpr int refreshRate = 60;

    // The number of the refresh that `now` falls in, on a clock of
    // `ticksPerSecond`: a vertical blank lies between two numbers.
    inline std::int64_t frameAt (std::int64_t now, std::int64_t ticksPerSecond, int rate = refreshRate)
    {
        if (ticksPerSecond <= 0 || rate <= 0 || now < 0)
            return 0;

        // now * rate would overflow after a few years of a 1 GHz counter.
        return (now / ticksPerSecond) * rate + (now % ticksPerSecond) * rate / ticksPerSecond;
    }

    // Milliseconds from `now` to the next whole multiple of 1/rate s, on a
    // clock of `ticksPerSecond`, rounded up so that a sleep of that long ends
    // past the boundary. Never 0: a caller exactly on a boundary waits for the
    // next one, as a real vertical blank would make it.
    inline std::uint32_t msUntilNextVBlank (std::int64_t now, std::int64_t ticksPerSecond, int rate = refreshRate)
    {
        if (ticksPerSecond <= 0 || rate <= 0 || now < 0)
            return 1;

        const auto frame = frameAt (now, ticksPerSecond, rate);
        // The first tick at or past the next boundary (ceiling division).
        const auto next = frame + 1;
        const auto boundary = (next / rate) * ticksPerSecond + ((next % rate) * ticksPerSecond + rate - 1) / rate;
        const auto ticksLeft = boundary - now;
        const auto ms = (ticksLeft * 1000 + ticksPerSecond - 1) / ticksPerSecond;
        return ms < 1 ? 1u : (std::uint32_t) ms;
    }
}
