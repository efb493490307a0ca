// The prerequisite check before a hand-over: two runtime components of the game's compatibility
// prefix, and the client's redistributable installer, run through the compatibility runner in that
// prefix on a worker thread while the installing box is shown. A prefix belongs to the player, so the
// installer needs no administrator rights.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "launch/process_control.h"
#include "platform/clock.h"
#include "platform/modal_box.h"
#include "platform/shared_memory.h"

inline constexpr const char* kSharedBlockName = "/VelSharedRedistInstaller";

class CRedistributableInstaller {
public:
    explicit CRedistributableInstaller(platform::IClock& clock = platform::SystemClock());
    virtual ~CRedistributableInstaller();
    CRedistributableInstaller(const CRedistributableInstaller&) = delete;
    CRedistributableInstaller& operator=(const CRedistributableInstaller&) = delete;

    // 0 when the worker was started, -1 when an installer is already running.
    int Start(IModalBox* box);
    // Makes sure the worker is gone.
    void StopWorker();

    std::string m_installerPath;
    // How the installer is started; a Windows installer needs the runner.
    GameRunner m_runner;

private:
    static void RunInstaller(CRedistributableInstaller* self);
    void WriteShared(int index, int32_t value);

    IModalBox* m_dialog = nullptr;
    std::mutex m_lock;
    bool m_finished = true;
    bool m_cancel = true;
    std::thread m_worker;
    std::unique_ptr<platform::SharedBlock> m_shared;
    platform::IClock& m_clock;
};

// Both components are present in the prefix whose Windows folder is given; always when there is none
// (the game's programs are native). A component that the prefix's Wine provides as a built-in counts as
// present: Wine lends its own library to every program that looks for one.
bool CheckPrerequisites(const std::string& windowsFolder);
bool ProbeLibrary(const std::string& path);
// The library at path is Wine's own: its file carries Wine's built-in marker.
bool IsWineBuiltin(const std::string& path);
// The prefix is a 64-bit one: it has a syswow64 folder.
bool IsWow64(const std::string& windowsFolder);
