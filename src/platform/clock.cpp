#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace platform {
namespace {

class SteadyClock final : public IClock {
public:
    uint32_t TickCount() override {
        auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    }
    void Sleep(uint32_t milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

}  // namespace

IClock& SystemClock() {
    static SteadyClock clock;
    return clock;
}

double SteadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace platform
