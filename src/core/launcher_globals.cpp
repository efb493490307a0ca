#include "core/launcher_globals.h"

#include <chrono>
#include <thread>

std::string g_baseUrl;
std::string g_clientVersion;
int32_t g_expectedSize = 0;
uint32_t g_receivedTotal = 0;

double g_secondsPerTick = 0.0;
int64_t g_clockBase = 0;
float g_clockNow = 0.0f;
float g_clockLast = 0.0f;
float g_frameTime = 0.0f;
float g_frameRate = 0.0f;
float g_runTime = 0.0f;

namespace {

int64_t ReadCounter() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

}  // namespace

void AppendBaseUrl(const std::string& text) {
    g_baseUrl += text;
    if (g_baseUrl.size() > kBaseUrlMax) g_baseUrl.resize(kBaseUrlMax);
}

void SetBaseUrl(const std::string& text) {
    g_baseUrl.clear();
    AppendBaseUrl(text);
}

int InitFrameClock() {
    using Period = std::chrono::steady_clock::period;
    g_secondsPerTick = static_cast<double>(Period::num) / static_cast<double>(Period::den);
    g_clockBase = ReadCounter();
    g_clockLast = static_cast<float>(ReadClockSeconds());
    return 1;
}

double ReadClockSeconds() { return static_cast<double>(ReadCounter() - g_clockBase) * g_secondsPerTick; }

void TickFrameClock() {
    // The pass waits until the single-precision time moves on. That step grows with the running time
    // (about 8 ms after a day), so the wait sleeps in short slices instead of keeping a core busy.
    for (;;) {
        g_clockNow = static_cast<float>(ReadClockSeconds());
        if (g_clockNow != g_clockLast) break;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    g_frameTime = g_clockNow - g_clockLast;
    g_clockLast = g_clockNow;
    g_frameRate = 1.0f / g_frameTime;
    g_runTime += g_frameTime;
}
