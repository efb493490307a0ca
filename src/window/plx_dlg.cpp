#include "window/plx_dlg.h"

#include <algorithm>

#include "core/launcher_globals.h"
#include "installer/editions.h"
#include "patcher/client_version.h"
#include "platform/files.h"
#include "window/control_ids.h"

CPLXDlg::CPLXDlg() = default;
CPLXDlg::~CPLXDlg() = default;

bool CPLXDlg::Create(IDialogHost& host) {
    m_host = &host;
    if (!m_host->CreateDialogWindow(IDD_ORL_DIALOG, this)) return false;
    OnInitDialog();
    return true;
}

bool CPLXDlg::OnInitDialog() {
    m_hInternet = std::make_unique<platform::HttpSession>("InetURL/1.0");
    std::string working = platform::GetCurrentDirectory();
    if (m_typeSettings.Load(working + "\\" + "ORLConfig.ini")) {
        m_launch.language = m_typeSettings.language;
        m_launch.server = m_typeSettings.server;
    }
    m_displaySettings.Load(GetClientFolder() + "\\" + "Config.ini");
    m_launch.curdir = working;
    m_bPatchActive = false;
    g_receivedTotal = 0;
    m_host->SetCheck(IDC_WINDOW_MODE, m_displaySettings.windowMode);
    RefreshVersionDisplay();
    return true;
}

bool CPLXDlg::IsWindowAlive() const { return m_host != nullptr && m_host->IsWindowAlive(); }

void CPLXDlg::DestroyWindow() {
    if (m_host != nullptr) m_host->DestroyWindow();
}

intptr_t CPLXDlg::WindowProc(unsigned message, intptr_t wParam, intptr_t lParam) {
    if (message == kAnsweredMessage) return 1;
    if (message != kProgressMessage) return 0;
    if (wParam != 0) {
        ShowProgress(static_cast<int>(lParam));
    } else if (lParam != 0) {
        LaunchGameUpdater();
    }
    return 1;
}

void CPLXDlg::ShowProgress(int percent) {
    std::string label = std::to_string(percent) + "%";
    if (label.size() > 5) label.resize(5);
    // The bar's factor is 5.45 in single precision, used in double: 100 % gives 544 pixels.
    int width = static_cast<int>(percent * static_cast<double>(5.45f));
    m_host->MoveControl(IDC_PROGRESS, {40, 378, std::max(width, 0), 15}, true);
    m_host->SetControlText(IDC_PERCENT, label);
    m_host->MoveControl(IDC_PERCENT, {40 + width, 380, 6 * static_cast<int>(label.size()) + 2, 13}, true);
}

void CPLXDlg::TickBanners() {
    m_bannerTime += g_frameTime;
    if (m_bannerTime < 3.0f) return;
    if (m_bannerPages.size() < 2) return;
    if (m_bannerIndex == static_cast<int32_t>(m_bannerPages.size()) - 1) {
        SelectBanner(0);
    } else {
        SelectBanner(m_bannerIndex + 1);
    }
}

void CPLXDlg::SelectBanner(int index) {
    if (index < 0 || index >= static_cast<int>(m_bannerPages.size())) return;
    m_bannerIndex = index;
    m_host->Navigate(IDC_EXPLORER_BANNER, m_bannerPages[static_cast<size_t>(index)]);
    for (size_t i = 0; i < m_dotsShown.size(); ++i) {
        const ImageSlot& slot = static_cast<int>(i) == index ? m_bmpDotOn : m_bmpDotOff;
        m_host->SetControlImage(m_dotsShown[i], slot.bitmapId);
    }
    m_bannerTime = 0.0f;
}

std::string CPLXDlg::GetClientFolder() const { return ResolveClientFolder(m_typeSettings.server); }
std::string CPLXDlg::GetFullClientPath() const { return BuildEditionPath(m_typeSettings.server, "/full"); }
std::string CPLXDlg::GetDefaultServerDir() const { return BuildServerDir(m_typeSettings.server); }
std::string CPLXDlg::GetArchiveName() const { return BuildArchiveName(m_typeSettings.server); }
std::string CPLXDlg::GetAntiCheatClientPath() const { return GetClientFolder() + "/" + "VelmoraEac.exe"; }

bool CPLXDlg::RefreshVersionDisplay() {
    std::string shown = "UNKNOWN";
    g_clientVersion.clear();
    std::string folder = GetClientFolder();
    if (auto version = ReadClientVersionFile(folder)) {
        shown = *version;
        g_clientVersion = *version;
    }
    int selected = m_host->ComboGetCurSel(IDC_SERVER);
    std::string server = selected >= 0 ? m_host->ComboItemText(IDC_SERVER, selected) : "";
    m_host->SetControlText(IDC_VERSION, "Version : " + shown + " - " + server);
    if (m_displaySettings.Load(folder + "\\" + "Config.ini")) {
        int row = FindDisplayMode(m_displaySettings.width, m_displaySettings.height);
        if (row != -1) m_host->ComboSetCurSel(IDC_RESOLUTION, row);
        m_host->SetCheck(IDC_WINDOW_MODE, m_displaySettings.windowMode);
    }
    m_host->RedrawWindow();
    return true;
}

int CPLXDlg::FindDisplayMode(int32_t width, int32_t height) const {
    for (const auto& mode : m_displayModes) {
        if (mode->width == width && mode->height == height) return mode->index;
    }
    return -1;
}

void CPLXDlg::OnMouseMove(unsigned, int, int) {}
void CPLXDlg::OnLButtonDown(unsigned, int, int) {}
void CPLXDlg::OnLButtonUp(unsigned, int, int) {}
void CPLXDlg::OnSetFocus() {}
void CPLXDlg::OnTimer(unsigned) {}
void CPLXDlg::OnCommand(int, int) {}
void CPLXDlg::OnWebNavigateComplete(int, uintptr_t, const std::string&) {}
void CPLXDlg::OnWebDocumentComplete(int, uintptr_t, const std::string&) {}

int CPLXDlg::BackgroundBitmapId() {
    return m_typeSettings.server == 0 ? IDB_BACKGROUND_ORVIN : IDB_BACKGROUND_KESSA;
}
