#include "app/plx_app.h"

#include <cstdio>

#include "core/crash_record.h"
#include "core/launcher_globals.h"
#include "core/starter_refresh.h"
#include "platform/signatures.h"

namespace {

// The drain may wait this long for the next event, so the launcher does not keep a processor core
// busy. Downloads run on workers; a pass only looks at how far they are.
constexpr int kIdleWaitMs = 10;

}  // namespace

CPLXApp::CPLXApp(IDialogHost& host, platform::IKeyState& keys) : m_host(host), m_keys(keys) {
    InstallCrashHandler();
}

CPLXApp::~CPLXApp() {
    StopStarterRefresh();
    RemoveCrashHandler();
}

void CPLXApp::StopStarterRefresh() {
    m_stopStarterRefresh = true;
    if (m_starterRefresh.joinable()) m_starterRefresh.join();
}

bool CPLXApp::InitInstance() {
    if (platform::TrustedKeys().empty()) {
        std::printf("Downloads are not verified: this launcher trusts no publisher's key.\n");
        std::fflush(stdout);
    }
    m_dlg.Create(m_host);
    if (m_dlg.IsWindowAlive()) m_host.ShowWindow();
    m_starterRefresh = std::thread([this] { RefreshStarter(&m_stopStarterRefresh); });
    InitFrameClock();
    return true;
}

bool CPLXApp::RunPass() {
    TickFrameClock();
    if (!m_host.PumpEvents(kIdleWaitMs)) return false;
    if (!m_dlg.PatchDownloadStep()) m_dlg.OnPatchDownloadFailed();
    if (m_keys.IsEscapeDown()) m_dlg.DestroyWindow();
    m_dlg.TickBanners();
    return true;
}

int CPLXApp::Run() {
    while (RunPass()) {
    }
    StopStarterRefresh();
    return 0;
}
