// The prerequisite check before a hand-over: two runtime components of the game's compatibility
// prefix, and the client's redistributable installer, run with administrator rights on a worker thread
// while the installing box is shown.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/modal_box.h"

// Starts a program with administrator rights; no value when it cannot be started (the program is
// missing, or the elevation is refused).
class IElevation {
public:
    virtual ~IElevation() = default;
    virtual std::optional<pid_t> StartElevated(const std::string& path) = 0;
};
// pkexec with the installer's path.
IElevation& SystemElevation();

inline constexpr const char* kSharedBlockName = "/VelSharedRedistInstaller";

class CRedistributableInstaller {
public:
    explicit CRedistributableInstaller(IElevation& elevation = SystemElevation(),
                                       platform::IClock& clock = platform::SystemClock());
    virtual ~CRedistributableInstaller();
    CRedistributableInstaller(const CRedistributableInstaller&) = delete;
    CRedistributableInstaller& operator=(const CRedistributableInstaller&) = delete;

    // 0 when the worker was started, -1 when an installer is already running.
    int Start(IModalBox* box);
    // Makes sure the worker is gone.
    void StopWorker();

    std::string m_installerPath;

private:
    static void RunInstaller(CRedistributableInstaller* self);
    void WriteShared(int index, int32_t value);

    IModalBox* m_dialog = nullptr;
    std::mutex m_lock;
    bool m_finished = true;
    bool m_cancel = true;
    std::thread m_worker;
    int m_sharedFd = -1;
    int32_t* m_shared = nullptr;
    IElevation& m_elevation;
    platform::IClock& m_clock;
};

// Both components are present (always, without a compatibility prefix).
bool CheckPrerequisites();
bool ProbeLibrary(const std::string& path);
// The prefix is a 64-bit one: it has a syswow64 folder.
bool IsWow64();
