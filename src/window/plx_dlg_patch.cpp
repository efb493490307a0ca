// The start command's version check and the patch download step of the launcher window.
#include <algorithm>
#include <cstdio>
#include <new>

#include "core/launcher_globals.h"
#include "patcher/http_text.h"
#include "patcher/update_archive.h"
#include "platform/command_line.h"
#include "platform/resources.h"
#include "settings/config_files.h"
#include "window/plx_dlg.h"

namespace {

constexpr size_t kPatchReadSize = 100000;
constexpr size_t kTokenMax = 599;
constexpr size_t kFileNameMax = 299;

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
    auto end = [this] { m_bPatchBusy = false; };
    SendMessage(kProgressMessage, 1, 0);

    std::string dir = Cut(ReadUpdateDir(GetClientFolder(), GetDefaultServerDir()), 999);
    SetBaseUrl(platform::UpdateHostRoot() + "/" + dir);
    std::string listFile = Cut(g_clientVersion + ".ldt", kFileNameMax);
    std::string sizeFile = Cut(g_clientVersion + ".siz", kFileNameMax);
    std::string versionFile = "last.ver";
    SendMessage(kProgressMessage, 1, 0);

    std::string answer;
    if (HttpGetText(*m_hInternet, answer, g_baseUrl, versionFile, 1024) == 0) {
        ReportPatchError('#');
        return end();
    }
    std::string token = FirstToken(answer, kTokenMax);
    if (token.front() != '@' && token == g_clientVersion) {
        LaunchAntiCheatClient();
        return;
    }

    if (HttpGetText(*m_hInternet, answer, g_baseUrl, sizeFile, 1024) != 0)
        ScanDecimal(answer, g_expectedSize);
    if (IsInvalidSize(g_expectedSize)) {
        ReportPatchError('$');
        return end();
    }
    std::string archiveName;
    if (HttpGetText(*m_hInternet, archiveName, g_baseUrl, listFile, static_cast<uint32_t>(g_expectedSize)) ==
        0) {
        SendMessage(kProgressMessage, 0, 0);
        return end();
    }
    std::string archiveFolder = Cut(g_baseUrl + "/dat", 999);
    g_expectedSize = 0;
    if (HttpGetText(*m_hInternet, answer, archiveFolder, sizeFile, 1024) != 0)
        ScanDecimal(answer, g_expectedSize);
    if (IsInvalidSize(g_expectedSize)) {
        ReportPatchError('$');
        return end();
    }
    if (UpdateIsReady(GetClientFolder(),
                      {archiveName, static_cast<uint32_t>(g_expectedSize), g_clientVersion})) {
        // An earlier start fetched and unpacked this very update, and its hand-over did not happen.
        end();
        SendMessage(kProgressMessage, 2, 100);
        SendMessage(kProgressMessage, 0, 1);
        return;
    }
    SendMessage(kProgressMessage, 2, 0);
    BeginPatchDownload(archiveName, GetClientFolder() + "/" + "Update.dat", archiveFolder);
    end();
}

void CPLXDlg::BeginPatchDownload(const std::string& name, const std::string& localPath,
                                 const std::string& archiveFolderUrl) {
    std::string url = Cut(archiveFolderUrl + "/" + name, 999);
    m_pPatchData.clear();
    m_nPatchSize = 0;
    g_receivedTotal = 0;
    m_bPatchActive = true;
    m_strPatchName = name;
    ForgetUpdateRecord(GetClientFolder());
    m_hPatchUrl = platform::HttpStream::Open(*m_hInternet, url);
    m_strPatchPath = localPath;
}

void CPLXDlg::EndPatchDownload() {
    m_hPatchUrl.reset();
    m_pPatchData.clear();
    m_pPatchData.shrink_to_fit();
    m_nPatchSize = 0;
    m_bPatchActive = false;
}

bool CPLXDlg::PatchDownloadStep() {
    if (!m_bPatchActive) return true;
    if (!m_hPatchUrl) return true;
    uint32_t expected = static_cast<uint32_t>(g_expectedSize);
    // Never read past the announced size (plus one byte to notice a longer answer): a broken or
    // hostile server must not fill the memory.
    size_t room = static_cast<size_t>(expected) - std::min<size_t>(expected, m_nPatchSize) + 1;
    std::vector<char> buffer(std::min(kPatchReadSize, room));
    long n = m_hPatchUrl->Read(buffer.data(), buffer.size());
    if (n < 0) n = 0;
    if (n > 0) {
        if (m_nPatchSize + static_cast<uint64_t>(n) > expected) {
            EndPatchDownload();
            return false;
        }
        try {
            m_pPatchData.insert(m_pPatchData.end(), buffer.begin(), buffer.begin() + n);
        } catch (const std::bad_alloc&) {
            EndPatchDownload();
            return false;
        }
        m_nPatchSize += static_cast<uint32_t>(n);
        g_receivedTotal += static_cast<uint32_t>(n);
    }
    double percent = static_cast<double>(g_receivedTotal) * 100.0 / static_cast<double>(expected);
    SendMessage(kProgressMessage, 2, static_cast<intptr_t>(percent));
    if (n != 0) return true;

    // The end of the data. A short answer leaves every file as it was.
    std::vector<uint8_t> archive = std::move(m_pPatchData);
    EndPatchDownload();
    if (g_receivedTotal != expected) return false;
    if (!WriteUpdateFile(m_strPatchPath, archive)) return false;
    g_receivedTotal = 0;
    std::string reason;
    switch (UnpackUpdateFile(GetClientFolder(), archive, &reason)) {
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
    WriteUpdateRecord(GetClientFolder(), {m_strPatchName, expected, g_clientVersion});
    SendMessage(kProgressMessage, 0, 1);
    return true;
}

void CPLXDlg::OnPatchDownloadFailed() {
    m_host->MessageBox(platform::LoadStringById(105), platform::ApplicationTitle(),
                       MB_OK | MB_ICONEXCLAMATION);
    SendMessage(kProgressMessage, 2, -1);
    SendMessage(kProgressMessage, 0, 0);
}
