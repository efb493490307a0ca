// The few process-wide values that the version check, the patch download and the settings code share,
// and the frame clock that the main loop advances on every pass. Used on the user-interface thread only.
#pragma once

#include <cstdint>
#include <string>

inline constexpr size_t kBaseUrlMax = 999;       // the update folder URL's buffer holds 1000 bytes
inline constexpr size_t kClientVersionMax = 12;  // List.mfm holds at most 12 characters of version

extern std::string g_baseUrl;
extern std::string g_clientVersion;
extern int32_t g_expectedSize;
extern uint32_t g_receivedTotal;

extern double g_secondsPerTick;
extern int64_t g_clockBase;
extern float g_clockNow;
extern float g_clockLast;
extern float g_frameTime;
extern float g_frameRate;
extern float g_runTime;

// Appends text to g_baseUrl, cut where the buffer would end.
void AppendBaseUrl(const std::string& text);
void SetBaseUrl(const std::string& text);

int InitFrameClock();
double ReadClockSeconds();
void TickFrameClock();
