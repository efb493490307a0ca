// The start command's version check and the patch download step of the launcher window.
#include <cstdio>
#include <ctime>

#include "core/launcher_globals.h"
#include "patcher/http_text.h"
#include "patcher/update_archive.h"
#include "platform/command_line.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "platform/signatures.h"
#include "settings/config_files.h"
#include "window/plx_dlg.h"

namespace {

constexpr size_t kTokenMax = 599;
constexpr size_t kFileNameMax = 299;
constexpr uint32_t kTextChunk = 1024;
// The version and size files are read into one chunk's buffer; a longer answer is not what the
// server should send. The list file names the archive inside a URL of at most 999 characters.
constexpr uint64_t kTextMax = kTextChunk;
constexpr uint64_t kListFileMax = 999;

std::string Cut(std::string text, size_t max) {
    if (text.size() > max) text.resize(max);
    return text;
}

}  // namespace

void CPLXDlg::OnBnClickedStart() { StartPatch(); }

void CPLXDlg::ReportPatchError(char marker) {
    int id = marker == '#' ? 114 : marker == '$' ? 115 : marker == '%' ? 116 : 117;
    m_host->MessageBox(platform::LoadStringById(id), platform::ApplicationTitle(),
                       MB_OK | MB_ICONEXCLAMATION);
}

void CPLXDlg::StartPatch() {
    if (m_bPatchActive) return;
    if (m_bPatchBusy) return;
    m_bPatchBusy = true;
    SendMessage(kProgressMessage, 1, 0);

    m_strUpdateDir = Cut(ReadUpdateDir(GetClientFolder(), GetDefaultServerDir()), 999);
    SetBaseUrl(platform::UpdateHostRoot() + "/" + m_strUpdateDir);
    SendMessage(kProgressMessage, 1, 0);
    // With a publisher's key to trust, the edition's signed manifest comes first.
    if (!platform::TrustedKeys().empty()) {
        m_checkStage = CheckStage::Manifest;
        m_trust.Fetch(*m_hInternet, g_baseUrl);
        return;
    }
    RequestCheckFile(CheckStage::VersionFile, g_baseUrl, "last.ver", m_strUpdateDir + "/last.ver", kTextMax);
}

std::string CPLXDlg::ReleaseScope() const { return m_typeSettings.server == 1 ? "kessa" : "orvin"; }

void CPLXDlg::ReportUnverified(const std::string& path) {
    std::fprintf(stderr, "%s: not the file the publisher signed\n", path.c_str());
    m_host->MessageBox(platform::LoadStringById(platform::kUnverifiedFileMessage),
                       platform::ApplicationTitle(), MB_OK | MB_ICONSTOP);
}

void CPLXDlg::RequestCheckFile(CheckStage stage, const std::string& base, const std::string& name,
                               const std::string& path, uint64_t maxBytes) {
    m_checkStage = stage;
    if (!m_trust.Verified()) {
        m_hCheckRequest = StartTextRequest(*m_hInternet, base, Cut(name, kFileNameMax), maxBytes);
        return;
    }
    const platform::ManifestFile* expected = m_trust.Expected(path);
    m_hCheckRequest = expected == nullptr ? nullptr
                                          : StartTextRequest(*m_hInternet, base, Cut(name, kFileNameMax),
                                                             maxBytes, expected->size, expected->sha256);
}

void CPLXDlg::EndVersionCheck() {
    m_hCheckRequest.reset();
    m_checkStage = CheckStage::None;
    m_bPatchBusy = false;
}

void CPLXDlg::VersionCheckStep() {
    if (m_checkStage == CheckStage::None) return;
    if (m_checkStage == CheckStage::Manifest) {
        if (!m_trust.Finished()) return;
        platform::ManifestOutcome outcome =
            m_trust.Check(platform::TrustedKeys(), ReleaseScope(), std::time(nullptr),
                          platform::GetCurrentDirectory() + "/" + "orl-release.ini");
        if (outcome != platform::ManifestOutcome::Verified) {
            m_host->MessageBox(platform::LoadStringById(platform::ManifestRefusalMessage(outcome)),
                               platform::ApplicationTitle(), MB_OK | MB_ICONSTOP);
            return EndVersionCheck();
        }
        return RequestCheckFile(CheckStage::VersionFile, g_baseUrl, "last.ver", m_strUpdateDir + "/last.ver",
                                kTextMax);
    }
    // A file that the signed release does not name was not asked for: it reads as missing.
    if (m_hCheckRequest && !m_hCheckRequest->Finished()) return;
    std::unique_ptr<platform::Transfer> request = std::move(m_hCheckRequest);
    if (request && request->Result().unverified) {
        ReportUnverified(m_strUpdateDir);
        return EndVersionCheck();
    }
    auto take = [&request](std::string& out, uint32_t chunk) -> uint32_t {
        if (!request) {
            out.clear();
            return 0;
        }
        return TakeText(*request, out, chunk);
    };
    std::string answer;
    const std::string sizeFile = g_clientVersion + ".siz";
    switch (m_checkStage) {
        case CheckStage::None:
        case CheckStage::Manifest:
            return;
        case CheckStage::VersionFile: {
            if (take(answer, kTextChunk) == 0) {
                ReportPatchError('#');
                return EndVersionCheck();
            }
            std::string token = FirstToken(answer, kTokenMax);
            if (token.front() != '@' && token == g_clientVersion) {
                m_checkStage = CheckStage::None;
                LaunchAntiCheatClient();
                return;
            }
            return RequestCheckFile(CheckStage::SizeFile, g_baseUrl, sizeFile,
                                    m_strUpdateDir + "/" + sizeFile, kTextMax);
        }
        case CheckStage::SizeFile:
            if (take(answer, kTextChunk) != 0) ScanDecimal(answer, g_expectedSize);
            if (IsInvalidSize(g_expectedSize)) {
                ReportPatchError('$');
                return EndVersionCheck();
            }
            return RequestCheckFile(CheckStage::ListFile, g_baseUrl, g_clientVersion + ".ldt",
                                    m_strUpdateDir + "/" + g_clientVersion + ".ldt", kListFileMax);
        case CheckStage::ListFile:
            if (take(m_strArchiveName, static_cast<uint32_t>(g_expectedSize)) == 0) {
                SendMessage(kProgressMessage, 0, 0);
                return EndVersionCheck();
            }
            g_expectedSize = 0;
            return RequestCheckFile(CheckStage::ArchiveSizeFile, Cut(g_baseUrl + "/dat", 999), sizeFile,
                                    m_strUpdateDir + "/dat/" + sizeFile, kTextMax);
        case CheckStage::ArchiveSizeFile:
            if (take(answer, kTextChunk) != 0) ScanDecimal(answer, g_expectedSize);
            if (IsInvalidSize(g_expectedSize)) {
                ReportPatchError('$');
                return EndVersionCheck();
            }
            if (UpdateIsReady(GetClientFolder(),
                              {m_strArchiveName, static_cast<uint32_t>(g_expectedSize), g_clientVersion})) {
                // An earlier start fetched and unpacked this very update, and its hand-over did not
                // happen.
                EndVersionCheck();
                SendMessage(kProgressMessage, 2, 100);
                SendMessage(kProgressMessage, 0, 1);
                return;
            }
            SendMessage(kProgressMessage, 2, 0);
            BeginPatchDownload(m_strArchiveName, GetClientFolder() + "/" + "Update.dat",
                               Cut(g_baseUrl + "/dat", 999));
            return EndVersionCheck();
    }
}

void CPLXDlg::BeginPatchDownload(const std::string& name, const std::string& localPath,
                                 const std::string& archiveFolderUrl) {
    std::string url = Cut(archiveFolderUrl + "/" + name, 999);
    platform::TransferRequest request{
        .url = url,
        .path = localPath,
        .large = true,
        .expectedSize = static_cast<uint32_t>(g_expectedSize),
        .maxBytesPerSecond = ReadDownloadSpeedCap(platform::GetCurrentDirectory())};
    if (m_trust.Verified()) {
        // The signed release must name the archive, with the size the size files gave.
        const platform::ManifestFile* expected = m_trust.Expected(m_strUpdateDir + "/dat/" + name);
        if (expected == nullptr || expected->size != request.expectedSize) {
            ReportUnverified(m_strUpdateDir + "/dat/" + name);
            return;
        }
        request.expectedSha256 = expected->sha256;
    }
    m_nPatchSize = 0;
    m_nPatchPercent = -1;
    g_receivedTotal = 0;
    m_bPatchActive = true;
    m_strPatchName = name;
    ForgetUpdateRecord(GetClientFolder());
    // The archive streams to disk beside Update.dat and takes its name only when exactly the
    // announced size arrived; a broken connection is continued where it stopped.
    m_hPatchUrl = std::make_unique<platform::Transfer>(*m_hInternet, request);
    m_strPatchPath = localPath;
}

void CPLXDlg::EndPatchDownload() {
    m_hPatchUrl.reset();
    m_nPatchSize = 0;
    m_bPatchActive = false;
}

bool CPLXDlg::PatchDownloadStep() {
    VersionCheckStep();
    if (!m_bPatchActive) return true;
    if (!m_hPatchUrl) return true;
    // Only what arrived since the last pass is looked at; the pass never waits for more.
    uint32_t received = static_cast<uint32_t>(m_hPatchUrl->Received());
    bool finished = m_hPatchUrl->Finished();
    g_receivedTotal = received;
    m_nPatchSize = received;
    // The bar moves when its percentage does: a repaint per pass would take the processor from the
    // download.
    auto percent = static_cast<intptr_t>(static_cast<double>(g_receivedTotal) * 100.0 /
                                         static_cast<double>(static_cast<uint32_t>(g_expectedSize)));
    if (percent != m_nPatchPercent || finished) {
        m_nPatchPercent = percent;
        SendMessage(kProgressMessage, 2, percent);
    }
    if (!finished) return true;

    platform::TransferResult result = m_hPatchUrl->Result();
    EndPatchDownload();
    if (result.unverified) ReportUnverified(m_strPatchPath);
    if (result.state != platform::TransferState::Succeeded) {
        fprintf(stderr, "Update.dat: %s\n", result.error.c_str());
        return false;
    }
    g_receivedTotal = 0;
    std::string reason;
    switch (UnpackUpdateFile(GetClientFolder(), &reason)) {
        case UnpackOutcome::NotLiza:
        case UnpackOutcome::Unpacked:
            break;
        case UnpackOutcome::NoMemory:
            ReportPatchError('%');
            return false;
        case UnpackOutcome::CannotWrite:
            ReportPatchError('^');
            return false;
        case UnpackOutcome::Damaged:
            fprintf(stderr, "Update.dat: %s\n", reason.c_str());
            return false;
    }
    WriteUpdateRecord(GetClientFolder(),
                      {m_strPatchName, static_cast<uint32_t>(g_expectedSize), g_clientVersion});
    SendMessage(kProgressMessage, 0, 1);
    return true;
}

void CPLXDlg::OnPatchDownloadFailed() {
    m_host->MessageBox(platform::LoadStringById(105), platform::ApplicationTitle(),
                       MB_OK | MB_ICONEXCLAMATION);
    SendMessage(kProgressMessage, 2, -1);
    SendMessage(kProgressMessage, 0, 0);
}
