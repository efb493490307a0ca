// The notice panel and the banner panel: the banner list from orl.ini, its dots, the rotation every
// three seconds of main-loop time, and the placement once a banner page has loaded.
#include "core/launcher_globals.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "settings/config_files.h"
#include "window/control_ids.h"
#include "window/plx_dlg.h"

namespace {

constexpr int kDotIds[] = {IDC_DOT0, IDC_DOT1, IDC_DOT2, IDC_DOT3, IDC_DOT4};

std::string NoticePage() { return platform::WebHost() + "/notice/launcher_notice_new01.asp"; }
std::string BuiltInBannerPage() { return platform::WebHost() + "/launcher/new_banner_L.html"; }
std::string BuiltInBannerLink() { return platform::CommunityHost() + "/velmoraA"; }

}  // namespace

void CPLXDlg::NavigateNotice() { m_host->Navigate(IDC_EXPLORER_NOTICE, NoticePage()); }

void CPLXDlg::BuildBanners() {
    m_bannerLinks.clear();
    m_bannerPages.clear();
    m_dotsShown.clear();
    for (const BannerEntry& entry : ReadBannerEntries(GetClientFolder(), platform::GetCurrentDirectory())) {
        m_bannerLinks.push_back(entry.bannerUrl);
        m_bannerPages.push_back(entry.imageUrl);
    }
    if (!m_bannerLinks.empty()) {
        m_host->SetControlRegion(IDC_EXPLORER_BANNER, {12, 17, 382, 218});
        m_host->SetControlZOrder(IDC_EXPLORER_BANNER, ZOrder::Bottom);
        m_host->MoveControl(IDC_EXPLORER_BANNER, {3, 265 - m_yOffset, 446, 300}, true);
        m_host->SetControlZOrder(IDC_BANNER_LINK, ZOrder::Top);
        m_host->MoveControl(IDC_BANNER_LINK, {15, 282 - m_yOffset, 382, 215}, true);
        m_bannersFromFile = true;
    } else {
        m_host->SetControlRegion(IDC_EXPLORER_BANNER, {2, 5, 382, 218});
        m_host->SetControlZOrder(IDC_EXPLORER_BANNER, ZOrder::Top);
        m_host->MoveControl(IDC_EXPLORER_BANNER, {15, 281 - m_yOffset, 383, 218}, true);
        m_host->SetControlZOrder(IDC_BANNER_LINK, ZOrder::Top);
        m_host->MoveControl(IDC_BANNER_LINK, {15, 112, 382, 215}, true);
        m_host->ShowControl(IDC_BANNER_LINK, false);
        m_bannerLinks.push_back(BuiltInBannerLink());
        m_bannerPages.push_back(BuiltInBannerPage());
        m_bannersFromFile = false;
    }
    const int n = static_cast<int>(m_bannerPages.size());
    for (int id : kDotIds) {
        m_host->ShowControl(id, true);
        m_host->EnableControl(id, true);
    }
    for (int j = 0; j < n; ++j) {
        m_host->MoveControl(kDotIds[j], {211 - 13 * n + 26 * j, 502 - m_yOffset, 13, 13}, true);
        m_dotsShown.push_back(kDotIds[j]);
    }
    for (int j = n; j < 5; ++j) {
        m_host->ShowControl(kDotIds[j], false);
        m_host->EnableControl(kDotIds[j], false);
    }
    m_bmpDotOn.bitmapId = platform::BitmapResourceInfo(IDB_DOT_ON) ? IDB_DOT_ON : 0;
    m_bmpDotOff.bitmapId = platform::BitmapResourceInfo(IDB_DOT_OFF) ? IDB_DOT_OFF : 0;
    m_bannerIndex = 0;
    SelectBanner(0);
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

void CPLXDlg::OnBannerNavigated(uintptr_t browser) {
    if (m_trackedDocument == 0) m_trackedDocument = browser;
}

void CPLXDlg::OnBannerLoaded(uintptr_t browser) {
    if (m_trackedDocument == 0 || m_trackedDocument != browser) return;
    if (m_bannersFromFile) {
        m_host->SetControlZOrder(IDC_EXPLORER_BANNER, ZOrder::Bottom);
        m_host->MoveControl(IDC_EXPLORER_BANNER, {3, 265 - m_yOffset, 446, 300}, true);
    } else {
        m_host->SetControlZOrder(IDC_EXPLORER_BANNER, ZOrder::Top);
        m_host->MoveControl(IDC_EXPLORER_BANNER, {13, 277 - m_yOffset, 432, 280}, true);
    }
    m_trackedDocument = 0;
}

void CPLXDlg::OnWebNavigateComplete(int controlId, uintptr_t browser, const std::string&) {
    if (controlId == IDC_EXPLORER_BANNER) OnBannerNavigated(browser);
}

void CPLXDlg::OnWebDocumentComplete(int controlId, uintptr_t browser, const std::string&) {
    if (controlId == IDC_EXPLORER_BANNER) OnBannerLoaded(browser);
}
