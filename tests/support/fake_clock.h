// A clock for tests: its sleeps return at once and move its time on.
#pragma once

#include <cstdint>

#include "platform/clock.h"

class FakeClock : public platform::IClock {
public:
    uint32_t TickCount() override { return now; }
    void Sleep(uint32_t ms) override {
        now += ms;
        ++sleeps;
    }
    uint32_t now = 0;
    int sleeps = 0;
};
