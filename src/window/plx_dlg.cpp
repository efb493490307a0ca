#include "window/plx_dlg.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "core/launcher_globals.h"
#include "installer/editions.h"
#include "patcher/banner_file.h"
#include "patcher/client_version.h"
#include "platform/command_line.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "settings/server_selection.h"
#include "window/control_ids.h"

namespace {

// The system-menu entry of the about box.
constexpr int kAboutCommand = 16;
// On the launcher's command line, this token starts the start command at once.
constexpr const char* kAutoStartToken = "?4hw-@t8m";

}  // namespace

CPLXDlg::CPLXDlg() = default;
CPLXDlg::~CPLXDlg() = default;

bool CPLXDlg::Create(IDialogHost& host) {
    m_host = &host;
    if (!m_host->CreateDialogWindow(IDD_ORL_DIALOG, this)) return false;
    OnInitDialog();
    return true;
}

bool CPLXDlg::OnInitDialog() {
    std::printf("g_isStage: %s\n", "false");
    std::fflush(stdout);
    m_bannerTime = 0.0f;
    m_cbResolution.SetBackgroundColor(0x000000);
    m_cbServer.SetBackgroundColor(0x000000);
    m_host->SetControlColors(IDC_RESOLUTION, 0xFFFFFF, 0x000000);
    m_host->SetControlColors(IDC_SERVER, 0xFFFFFF, 0x000000);
    m_host->SetControlColors(IDC_PERCENT, 0xFFFFFF, 0x2A2722);
    m_host->SetControlColors(IDC_VERSION, 0xFFFFFF, kTransparent);

    std::time_t now = std::time(nullptr);
    std::tm today{};
    localtime_r(&now, &today);
    if (BannerFileIsStale(GetClientFolder(), today)) RefreshBannerFile(GetClientFolder());

    m_hInternet = std::make_unique<platform::HttpSession>("InetURL/1.0");
    m_host->SetControlRegion(IDC_EXPLORER_NOTICE, {5, 2, 327, 181});
    m_host->SetControlZOrder(IDC_EXPLORER_NOTICE, ZOrder::Top);
    m_host->MoveControl(IDC_EXPLORER_NOTICE, {414, 316 - m_yOffset, 350, 205}, true);
    NavigateNotice();
    m_bPatchBusy = false;

    auto background = platform::BitmapResourceInfo(BackgroundBitmapId());
    if (!background) return false;
    if (!m_host->SetWindowRegion(background->width, background->height)) return false;
    Size screen = m_host->ScreenSize();
    m_host->MoveWindow({screen.width / 2 - background->width / 2, screen.height / 2 - background->height / 2,
                        background->width, background->height});
    std::string about = platform::LoadStringById(101);
    if (!about.empty()) m_host->AppendSystemMenuItem(kAboutCommand, about);
    m_host->SetWindowIcon(IDR_MAINFRAME);
    PlaceControls();
    m_host->SetControlFont(IDC_VERSION, "궁서", 10);

    std::string working = platform::GetCurrentDirectory();
    if (!RunPendingFileRenames(working, *m_clock)) {
        m_host->MessageBox(platform::LoadStringById(109), platform::ApplicationTitle(), MB_OK | MB_ICONSTOP);
        return false;
    }
    // Temporaries and partial downloads that a killed run left and that cannot be continued go;
    // a partial download with its record stays for the next download to continue.
    platform::RemoveStaleTransferFiles(working);
    for (int server : {0, 1}) platform::RemoveStaleTransferFiles(ResolveClientFolder(server));
    EnumerateDisplayModes(m_modeSource);
    m_typeSettings.Load(working + "\\" + "ORLConfig.ini");
    m_launch.language = m_typeSettings.language;
    m_launch.server = m_typeSettings.server;
    m_displaySettings.Load(GetClientFolder() + "\\" + "Config.ini");
    BuildBanners();
    FillDisplayModes();
    FillServerCombo();
    if (ParseLanguageServerArguments(m_launch, platform::CommandLineArguments())) {
        m_typeSettings.language = m_launch.language;
        m_typeSettings.server = m_launch.server;
    }
    m_host->ComboSetCurSel(
        IDC_SERVER, m_typeSettings.server == 0 || m_typeSettings.server == 1 ? m_typeSettings.server : -1);
    m_launch.curdir = working;
    m_bPatchActive = false;
    g_receivedTotal = 0;
    m_host->SetCheck(IDC_WINDOW_MODE, m_displaySettings.windowMode);
    RefreshVersionDisplay();
    if (platform::CommandLineText().find(kAutoStartToken) != std::string::npos) OnBnClickedStart();
    return true;
}

void CPLXDlg::PlaceControls() {
    m_host->MoveControl(IDC_START, {619, 528 - m_yOffset, 142, 50}, true);
    SetControlImage(m_bmpStart, IDC_START, IDB_START_PRESSED);
    m_host->MoveControl(IDC_CLOSE, {735, 175 - m_yOffset, 20, 20}, true);
    m_host->MoveControl(IDC_REINSTALL, {650, 5, 67, 30}, true);
    SetControlImage(m_bmpReinstall, IDC_REINSTALL, IDB_REINSTALL);
    m_host->MoveControl(IDC_COMMUNITY, {491, 280 - m_yOffset, 67, 30}, true);
    m_host->MoveControl(IDC_RESOLUTION, {380, 569 - m_yOffset, 94, 150}, true);
    m_host->MoveControl(IDC_WINDOW_MODE, {595, 572 - m_yOffset, 14, 14}, true);
    m_host->MoveControl(IDC_SERVER, {290, 569 - m_yOffset, 74, 150}, true);
    m_host->MoveControl(IDC_PERCENT, {-8, -8 - m_yOffset, 14, 13}, true);
    m_host->MoveControl(IDC_VERSION, {31, 523 - m_yOffset, 302, 20}, true);
}

void CPLXDlg::SetControlImage(ImageSlot& slot, int controlId, int bitmapId) {
    slot.bitmapId = platform::BitmapResourceInfo(bitmapId) ? bitmapId : 0;
    m_host->SetControlImage(controlId, slot.bitmapId);
}

int CMyComboBox::AddString(const std::string& text) {
    if (text.empty() || text.front() == ' ') return m_host->ComboAddString(m_id, text);
    return m_host->ComboAddString(m_id, " " + text);
}

void CMyComboBox::SetBackgroundColor(uint32_t rgb) { m_host->ComboSetBackgroundColor(m_id, rgb); }

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

int CPLXDlg::BackgroundBitmapId() {
    return m_typeSettings.server == 0 ? IDB_BACKGROUND_ORVIN : IDB_BACKGROUND_KESSA;
}
