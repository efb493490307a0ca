// The server list and the resolution list of the launcher window.
#include "platform/files.h"
#include "window/control_ids.h"
#include "window/plx_dlg.h"

void CPLXDlg::FillServerCombo() {
    m_cbServer.AddString("오르빈");
    m_cbServer.AddString("케사");
}

void CPLXDlg::OnServerSelChange() {
    if (!m_downloader->IsDone()) {
        m_host->MessageBox("Currently downloading.", "orl", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    int selected = m_host->ComboGetCurSel(IDC_SERVER);
    if (selected >= 0) {
        m_host->SetControlText(IDC_SERVER, "Server : " + m_host->ComboItemText(IDC_SERVER, selected));
        m_launch.server = selected;
        m_typeSettings.server = selected;
    }
    BuildBanners();
    NavigateNotice();
    RefreshVersionDisplay();
}

void CPLXDlg::FillDisplayModes() {
    for (const DisplayMode& row : DisplayModeRows(AdapterModes())) {
        m_displayModes.push_back(std::make_unique<DisplayMode>(row));
        m_host->ComboInsertString(IDC_RESOLUTION, row.index, DisplayModeText(row.width, row.height));
    }
    int row = FindDisplayMode(m_displaySettings.width, m_displaySettings.height);
    m_host->ComboSetCurSel(IDC_RESOLUTION, row == -1 ? 0 : row);
}

int CPLXDlg::FindDisplayMode(int32_t width, int32_t height) const {
    for (const auto& mode : m_displayModes) {
        if (mode->width == width && mode->height == height) return mode->index;
    }
    return -1;
}

void CPLXDlg::OnDisplayModeChanged() {
    int row = m_host->ComboGetCurSel(IDC_RESOLUTION);
    for (const auto& mode : m_displayModes) {
        if (mode->index == row) {
            m_displaySettings.width = mode->width;
            m_displaySettings.height = mode->height;
            break;
        }
    }
    m_displaySettings.Save(GetClientFolder() + "\\" + "Config.ini");
}
