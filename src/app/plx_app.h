// CPLXApp, the application object: the start-up order, the main loop and the ending of the launcher.
#pragma once

#include <atomic>
#include <thread>

#include "platform/key_state.h"
#include "window/dialog_host.h"
#include "window/plx_dlg.h"

class CPLXApp {
public:
    // The crash record is armed for as long as the application object lives.
    CPLXApp(IDialogHost& host, platform::IKeyState& keys);
    ~CPLXApp();
    CPLXApp(const CPLXApp&) = delete;
    CPLXApp& operator=(const CPLXApp&) = delete;

    // Refreshes the starter, creates and shows the window, starts the frame clock. Always true.
    bool InitInstance();
    // The main loop; returns the process exit code.
    int Run();
    // One pass of the loop; false when the quit request ended it.
    bool RunPass();

    CPLXDlg m_dlg;

private:
    void StopStarterRefresh();

    IDialogHost& m_host;
    platform::IKeyState& m_keys;
    // The starter refresh runs beside the window, so a slow update server never holds up the
    // window or its closing.
    std::atomic<bool> m_stopStarterRefresh{false};
    std::thread m_starterRefresh;
};
