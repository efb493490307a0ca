// Time services: a millisecond tick count that wraps like the Windows one, a sleep, and the steady
// seconds the frame clock counts in. Flows that wait take an IClock so tests can replace the time.
#pragma once

#include <cstdint>

namespace platform {

class IClock {
public:
    virtual ~IClock() = default;
    // Milliseconds of the steady clock as unsigned 32-bit; wraps after about 49.7 days.
    virtual uint32_t TickCount() = 0;
    virtual void Sleep(uint32_t milliseconds) = 0;
};

IClock& SystemClock();

// Seconds since an arbitrary fixed moment, from the steady clock.
double SteadySeconds();

}  // namespace platform
