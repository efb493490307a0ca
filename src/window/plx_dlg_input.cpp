// Pointer input over the launcher window: the painted buttons, their pictures, the window drag, the
// start button's sequence, and the notifications of the window's controls.
#include "launch/process_control.h"
#include "platform/command_line.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "window/control_ids.h"
#include "window/plx_dlg.h"

namespace {

// A button's area on the window, bounds inclusive.
struct Area {
    int left, top, right, bottom;
    bool Contains(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
};

constexpr int kOff = 170;
constexpr Area kStartArea{619, 528 - kOff, 751, 593 - kOff};
constexpr Area kCloseArea{735, 176 - kOff, 755, 196 - kOff};
constexpr Area kReinstallArea{650, 5, 717, 35};
constexpr Area kAccountArea{414, 280 - kOff, 481, 310 - kOff};
constexpr Area kCommunityArea{491, 280 - kOff, 558, 310 - kOff};
constexpr Area kThirdArea{568, 280 - kOff, 654, 310 - kOff};

struct ButtonPictures {
    int normal, hover, pressed;
};

int PictureFor(const Area& area, const ButtonPictures& pictures, unsigned flags, int x, int y) {
    if (!area.Contains(x, y)) return pictures.normal;
    return (flags & MK_LBUTTON) != 0 ? pictures.pressed : pictures.hover;
}

constexpr int kDotIds[] = {IDC_DOT0, IDC_DOT1, IDC_DOT2, IDC_DOT3, IDC_DOT4};

// Banner links come from the update server's orl.ini: only web pages are opened, never a local file
// or a program.
bool IsWebLink(const std::string& url) {
    std::string lower;
    for (char c : url.substr(0, 8)) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.starts_with("http://") || lower.starts_with("https://");
}

}  // namespace

void CPLXDlg::UpdateButtonPictures(unsigned flags, int x, int y) {
    SetControlImage(m_bmpStart, IDC_START,
                    PictureFor(kStartArea, {IDB_START, IDB_START_HOVER, IDB_START_PRESSED}, flags, x, y));
    SetControlImage(m_bmpClose, IDC_CLOSE,
                    PictureFor(kCloseArea, {IDB_CLOSE, IDB_CLOSE_HOVER, IDB_CLOSE_PRESSED}, flags, x, y));
    SetControlImage(
        m_bmpReinstall, IDC_REINSTALL,
        PictureFor(kReinstallArea, {IDB_REINSTALL, IDB_REINSTALL_HOVER, IDB_REINSTALL_PRESSED}, flags, x, y));
    SetControlImage(
        m_bmpCommunity, IDC_COMMUNITY,
        PictureFor(kCommunityArea, {IDB_COMMUNITY, IDB_COMMUNITY_HOVER, IDB_COMMUNITY_PRESSED}, flags, x, y));
}

void CPLXDlg::OnMouseMove(unsigned flags, int x, int y) {
    if (m_dragFlag) {
        // A movement after a press on the background moves the window while the button is held.
        if ((flags & MK_LBUTTON) != 0) m_host->BeginWindowDrag();
        m_dragFlag = false;
        return;
    }
    m_dragFlag = true;
    UpdateButtonPictures(flags, x, y);
}

void CPLXDlg::OnLButtonDown(unsigned, int x, int y) {
    m_dragFlag = true;
    if (kStartArea.Contains(x, y)) {
        m_dragFlag = false;
        SetControlImage(m_bmpStart, IDC_START, IDB_START_PRESSED);
    }
    if (kCloseArea.Contains(x, y)) {
        m_dragFlag = false;
        SetControlImage(m_bmpClose, IDC_CLOSE, IDB_CLOSE_PRESSED);
    }
    if (kAccountArea.Contains(x, y) || kCommunityArea.Contains(x, y) || kThirdArea.Contains(x, y)) {
        m_dragFlag = false;
        if (kCommunityArea.Contains(x, y))
            SetControlImage(m_bmpCommunity, IDC_COMMUNITY, IDB_COMMUNITY_PRESSED);
    }
}

void CPLXDlg::OnLButtonUp(unsigned, int x, int y) {
    if (kStartArea.Contains(x, y)) {
        RunStartSequence();
        return;
    }
    if (kCloseArea.Contains(x, y)) DestroyWindow();
    if (kReinstallArea.Contains(x, y)) ReinstallClient();
    if (kAccountArea.Contains(x, y)) m_host->OpenUrl(platform::LoadStringById(111));
    if (kCommunityArea.Contains(x, y)) m_host->OpenUrl(platform::LoadStringById(112));
    // The third area's string-table entry is a message text, not a command; the area, painted as the
    // "Home" button, opens the game's web site instead.
    if (kThirdArea.Contains(x, y)) m_host->OpenUrl(platform::WebHost() + "/");
}

void CPLXDlg::RunStartSequence() {
    if (m_downloader->IsBusy()) {
        m_host->MessageBox("Already Processing, Please Waiting", platform::ApplicationTitle(), MB_OK);
        return;
    }
    m_bStartAfterDecline = true;
    bool installing = !PathExists(GetAntiCheatClientPath()) && InstallFullClient();
    m_bStartAfterDecline = installing && m_indexFetch;
    if (installing) return;
    ContinueStartSequence();
}

void CPLXDlg::ContinueStartSequence() {
    m_displaySettings.Save(GetClientFolder() + "\\" + "Config.ini");
    m_typeSettings.Save(platform::GetCurrentDirectory() + "\\" + "ORLConfig.ini");
    if (!PassInstanceCheck()) return;
    OnBnClickedStart();
}

void CPLXDlg::OnSetFocus() {
    if (m_bmpClose.bitmapId != 0) SetControlImage(m_bmpClose, IDC_CLOSE, IDB_CLOSE);
    if (m_bmpStart.bitmapId != 0) SetControlImage(m_bmpStart, IDC_START, IDB_START);
    if (m_bmpReinstall.bitmapId != 0) SetControlImage(m_bmpReinstall, IDC_REINSTALL, IDB_REINSTALL);
}

void CPLXDlg::OnCommand(int controlId, int notification) {
    if (notification == CBN_SELCHANGE) {
        if (controlId == IDC_SERVER) OnServerSelChange();
        if (controlId == IDC_RESOLUTION) OnDisplayModeChanged();
        return;
    }
    if (notification != BN_CLICKED) return;
    if (controlId == IDC_START_BUTTON) OnBnClickedStart();
    if (controlId == IDC_WINDOW_MODE) {
        m_displaySettings.windowMode = m_host->GetCheck(IDC_WINDOW_MODE);
        m_displaySettings.Save(GetClientFolder() + "\\" + "Config.ini");
    }
    for (int n = 0; n < 5; ++n) {
        if (controlId == kDotIds[n]) SelectBanner(n);
    }
    if (controlId == IDC_BANNER_LINK && m_bannerIndex >= 0 &&
        m_bannerIndex < static_cast<int32_t>(m_bannerLinks.size())) {
        const std::string& link = m_bannerLinks[static_cast<size_t>(m_bannerIndex)];
        if (IsWebLink(link)) m_host->OpenUrl(link);
    }
}
