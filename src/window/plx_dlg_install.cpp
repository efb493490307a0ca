// The full-client install: the index with the archive's size, the player's agreement, the archive's
// download under timer 0 and its extraction under timer 1, and the reinstall that deletes the client
// first. A failed download, a missing or damaged archive and an extraction that stopped are told to
// the player; none of them leaves a client that the next start takes as installed.
#include <sys/statvfs.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include "installer/decompressor.h"
#include "installer/ftp_download.h"
#include "launch/process_control.h"
#include "platform/command_line.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "platform/signatures.h"
#include "settings/config_files.h"
#include "window/plx_dlg.h"

namespace {

// Room the installed client needs beyond the archive itself.
constexpr uint64_t kInstallReserve = 4744409088ull;
constexpr unsigned kDownloadTimer = 0;
constexpr unsigned kExtractTimer = 1;
constexpr unsigned kIndexTimer = 2;
// The index is one line of a name and a size.
constexpr uint64_t kIndexMax = 64 * 1024;

std::string ReplaceFirst(std::string text, const std::string& what, const std::string& with) {
    size_t at = text.find(what);
    if (at != std::string::npos) text.replace(at, what.size(), with);
    return text;
}

// The archive's size: the second blank-separated token of the index's first line, read like
// _atoi64 (an optional sign and digits, else 0).
uint64_t ReadIndexSize(const std::string& path) {
    std::ifstream file(platform::NativePath(path));
    std::string line;
    if (!file || !std::getline(file, line)) return 0;
    std::istringstream tokens(line);
    std::string name, size;
    tokens >> name >> size;
    return static_cast<uint64_t>(std::strtoll(size.c_str(), nullptr, 10));
}

}  // namespace

std::string FormatByteSize(uint64_t bytes) {
    static const char* const kUnits[] = {" B", " KB", " MB", " GB"};
    double value = static_cast<double>(bytes);
    int divisions = 0;
    while (value >= 1024.0 && divisions < 3) {
        value /= 1024.0;
        ++divisions;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.2f%s", value, kUnits[divisions]);
    return text;
}

uint64_t GetFreeDiskSpace() {
    struct statvfs vfs;
    if (::statvfs(platform::NativePath(platform::GetCurrentDirectory()).c_str(), &vfs) != 0) {
        std::fprintf(stderr, "Failed to get disk space information. Error code: %d\n", errno);
        return 0;
    }
    return static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
}

bool CPLXDlg::InstallFullClient() {
    if (!m_downloader->IsDone()) return false;
    std::string folder = GetClientFolder();
    if (PathExists(folder + "\\" + "VelmoraEac.exe")) return true;
    if (m_indexFetch || m_bInstallTrustPending) return true;

    // The index arrives on a worker, after the edition's signed manifest when the launcher trusts a
    // publisher's key; timer 2 looks at them and goes on with the prompt.
    m_host->SetTimer(kIndexTimer, 100);
    if (!platform::TrustedKeys().empty()) {
        m_bInstallTrustPending = true;
        m_trust.Fetch(*m_hInternet, platform::UpdateHostRoot() + "/" +
                                        ReadUpdateDir(GetClientFolder(), GetDefaultServerDir()));
        return true;
    }
    FetchIndex();
    return true;
}

bool CPLXDlg::ExpectSigned(const std::string& path, platform::TransferRequest& request) {
    if (!m_trust.Verified()) return true;
    const platform::ManifestFile* expected = m_trust.Expected(path);
    if (expected == nullptr) {
        ReportUnverified(path);
        return false;
    }
    request.expectedSize = expected->size;
    request.expectedSha256 = expected->sha256;
    return true;
}

void CPLXDlg::FetchIndex() {
    std::string url = platform::UpdateHostRoot() + "/" + GetFullClientPath() + "/" + "full_index.txt";
    platform::TransferRequest request{
        .url = url, .path = platform::GetCurrentDirectory() + "/" + "full_index.txt", .maxBytes = kIndexMax};
    if (!ExpectSigned(GetFullClientPath() + "/" + "full_index.txt", request)) {
        m_host->KillTimer(kIndexTimer);
        m_bStartAfterDecline = false;
        return;
    }
    m_indexFetch = std::make_unique<platform::Transfer>(*m_hInternet, request);
}

void CPLXDlg::OfferFullClient() {
    std::string working = platform::GetCurrentDirectory();
    std::string indexPath = working + "/" + "full_index.txt";
    uint64_t needed = ReadIndexSize(indexPath) + kInstallReserve;
    uint64_t free = GetFreeDiskSpace();
    std::string prompt = platform::LoadStringById(130);
    if (!prompt.empty()) {
        prompt = ReplaceFirst(ReplaceFirst(prompt, "%s", FormatByteSize(needed)), "%s", FormatByteSize(free));
        std::printf("%s\n", prompt.c_str());
    }
    bool fromStart = m_bStartAfterDecline;
    m_bStartAfterDecline = false;
    if (m_host->MessageBox(prompt, platform::ApplicationTitle(),
                           MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2) != IDOK) {
        if (fromStart) ContinueStartSequence();
        return;
    }
    platform::DeleteFile(indexPath);

    m_downloader->ClearQueue();
    DownloadItem item{platform::UpdateHostRoot(), GetFullClientPath(), GetArchiveName(), working};
    item.maxBytesPerSecond = ReadDownloadSpeedCap(working);
    platform::TransferRequest expected;
    if (!ExpectSigned(GetFullClientPath() + "/" + GetArchiveName(), expected)) return;
    item.expectedSize = expected.expectedSize;
    item.expectedSha256 = expected.expectedSha256;
    if (!m_downloader->AddAndStart(item)) return;
    m_host->SetTimer(kDownloadTimer, 250);
}

void CPLXDlg::ReinstallClient() {
    std::string folder = GetClientFolder();
    if (platform::GetFileAttributes(folder) == platform::kInvalidAttributes) {
        m_host->MessageBox(platform::LoadStringById(243), platform::ApplicationTitle(),
                           MB_OK | MB_ICONQUESTION);
        return;
    }
    if (m_host->MessageBox(platform::LoadStringById(242), platform::ApplicationTitle(),
                           MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2) != IDOK)
        return;
    DeleteClientFolder(folder);
    InstallFullClient();
}

void CPLXDlg::DeleteClientFolder(const std::string& folder) {
    if (platform::GetFileAttributes(folder) == platform::kInvalidAttributes) return;
    for (const platform::FindData& entry : platform::FindFiles(folder + "\\" + "*.*")) {
        if (entry.name == "." || entry.name == "..") continue;
        std::string path = folder + "\\" + entry.name;
        // A link is removed as it is; what it points to is not the client's.
        bool isFolder = (entry.attributes & platform::kAttrDirectory) != 0 &&
                        (entry.attributes & platform::kAttrReparsePoint) == 0;
        if (isFolder) {
            std::printf("%s", path.c_str());
            DeleteClientFolder(path);
        } else {
            platform::DeleteFile(path);
        }
    }
    platform::RemoveDirectory(folder);
}

void CPLXDlg::OnTimer(unsigned id) {
    double percent = 0.0;
    if (id == kIndexTimer) {
        if (m_bInstallTrustPending) {
            if (!m_trust.Finished()) return;
            m_bInstallTrustPending = false;
            platform::ManifestOutcome outcome =
                m_trust.Check(platform::TrustedKeys(), ReleaseScope(), std::time(nullptr),
                              platform::GetCurrentDirectory() + "/" + "orl-release.ini");
            if (outcome != platform::ManifestOutcome::Verified) {
                m_host->KillTimer(kIndexTimer);
                m_bStartAfterDecline = false;
                m_host->MessageBox(platform::LoadStringById(platform::ManifestRefusalMessage(outcome)),
                                   platform::ApplicationTitle(), MB_OK | MB_ICONSTOP);
                return;
            }
            FetchIndex();
            return;
        }
        if (!m_indexFetch || !m_indexFetch->Finished()) return;
        m_host->KillTimer(kIndexTimer);
        platform::TransferResult index = m_indexFetch->Result();
        bool arrived = index.state == platform::TransferState::Succeeded;
        m_indexFetch.reset();
        if (index.unverified) ReportUnverified(GetFullClientPath() + "/" + "full_index.txt");
        if (!arrived) {
            // The player is told; the start ends here rather than running into the version check
            // of a client that is not there.
            m_bStartAfterDecline = false;
            m_host->MessageBox(platform::LoadStringById(244), platform::ApplicationTitle(),
                               MB_OK | MB_ICONEXCLAMATION);
            return;
        }
        OfferFullClient();
        return;
    }
    if (id == kDownloadTimer) {
        if (m_downloader->IsDone()) {
            m_host->KillTimer(kDownloadTimer);
            if (!m_downloader->AllSucceeded()) {
                if (m_downloader->AnyUnverified())
                    ReportUnverified(GetFullClientPath() + "/" + GetArchiveName());
                m_host->MessageBox(platform::LoadStringById(244), platform::ApplicationTitle(),
                                   MB_OK | MB_ICONEXCLAMATION);
            } else if (!m_extractor->Start(m_downloader->GetCurrentFile().second, GetClientFolder())) {
                m_host->MessageBox(platform::LoadStringById(245), platform::ApplicationTitle(),
                                   MB_OK | MB_ICONEXCLAMATION);
            } else {
                m_host->SetTimer(kExtractTimer, 500);
            }
        }
        percent = m_downloader->GetPercent();
    } else if (id == kExtractTimer) {
        if (m_extractor->IsDone()) {
            m_host->KillTimer(kExtractTimer);
            platform::DeleteFile(m_extractor->GetArchivePath());
            if (!m_extractor->Succeeded()) {
                // Without the game client the next start offers the install again.
                platform::DeleteFile(GetAntiCheatClientPath());
                m_host->MessageBox(platform::LoadStringById(246), platform::ApplicationTitle(),
                                   MB_OK | MB_ICONEXCLAMATION);
            } else {
                RefreshVersionDisplay();
                m_displaySettings.Save(GetClientFolder() + "\\" + "Config.ini");
                m_host->MessageBox("Installation has been Completed.", "orl", MB_OK);
                BuildBanners();
                NavigateNotice();
                RefreshVersionDisplay();
            }
        }
        percent = m_extractor->GetPercent();
    } else {
        return;
    }
    SendMessage(kProgressMessage, 2, static_cast<intptr_t>(percent + 0.5));
}
