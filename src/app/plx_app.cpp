#include "app/plx_app.h"

#include "core/crash_record.h"
#include "core/launcher_globals.h"
#include "core/starter_refresh.h"

namespace {

// While no patch download runs, the drain may wait this long for the next event, so an idle launcher
// does not keep a processor core busy. A running download never waits: it reads on every pass.
constexpr int kIdleWaitMs = 10;

}  // namespace

CPLXApp::CPLXApp(IDialogHost& host, platform::IKeyState& keys) : m_host(host), m_keys(keys) {
    InstallCrashHandler();
}

CPLXApp::~CPLXApp() { RemoveCrashHandler(); }

bool CPLXApp::InitInstance() {
    RefreshStarter();
    m_dlg.Create(m_host);
    if (m_dlg.IsWindowAlive()) m_host.ShowWindow();
    InitFrameClock();
    return true;
}

bool CPLXApp::RunPass() {
    TickFrameClock();
    if (!m_host.PumpEvents(m_dlg.m_bPatchActive ? 0 : kIdleWaitMs)) return false;
    if (!m_dlg.PatchDownloadStep()) m_dlg.OnPatchDownloadFailed();
    if (m_keys.IsEscapeDown()) m_dlg.DestroyWindow();
    m_dlg.TickBanners();
    return true;
}

int CPLXApp::Run() {
    while (RunPass()) {
    }
    return 0;
}
