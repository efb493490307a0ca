// CPLXDlg, the launcher's one window and the holder of nearly all of its state. Its logic runs on the
// user-interface thread against the dialog-host port.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "installer/decompressor.h"
#include "installer/ftp_download.h"
#include "launch/process_control.h"
#include "platform/clock.h"
#include "platform/display_mode_source.h"
#include "platform/release_trust.h"
#include "platform/transfer.h"
#include "prereq/redist_installer.h"
#include "settings/display_modes.h"
#include "settings/settings_records.h"
#include "window/dialog_host.h"

// The picture one image control shows; 0 when the slot is empty.
struct ImageSlot {
    int bitmapId = 0;
};

// The private window messages: the progress message and one that is only answered.
inline constexpr unsigned kProgressMessage = 0x0400 + 1;
inline constexpr unsigned kAnsweredMessage = 0x0400 + 3;

// A combo box of the window: its texts get one leading blank, its drop-down list is dark.
class CMyComboBox {
public:
    CMyComboBox(IDialogHost*& host, int id) : m_host(host), m_id(id) {}
    int AddString(const std::string& text);
    void SetBackgroundColor(uint32_t rgb);
    int Id() const { return m_id; }

private:
    IDialogHost*& m_host;
    int m_id;
};

// The New_ files of folder take the place of the files named without the prefix. A failed rename is
// retried after a second, from a budget of 11 retries for the whole pass; false when it ran out.
bool RunPendingFileRenames(const std::string& folder, platform::IClock& clock);

// A byte count with two decimals in B, KB, MB or GB.
std::string FormatByteSize(uint64_t bytes);
// The bytes free for the player where the working folder lies; 0 when that cannot be learnt.
uint64_t GetFreeDiskSpace();

class CPLXDlg : public IDialogEvents {
public:
    CPLXDlg();
    ~CPLXDlg() override;

    // Creates the window from template 102 on host; the build sequence runs inside.
    bool Create(IDialogHost& host);
    IDialogHost& Host() { return *m_host; }
    bool IsWindowAlive() const;
    void DestroyWindow();

    // The window procedure's own messages; the progress message is sent synchronously through it.
    intptr_t WindowProc(unsigned message, intptr_t wParam, intptr_t lParam);
    intptr_t SendMessage(unsigned message, intptr_t wParam, intptr_t lParam) {
        return WindowProc(message, wParam, lParam);
    }

    // The start command and the patch download.
    void OnBnClickedStart();
    void StartPatch();
    void ReportPatchError(char marker);
    void BeginPatchDownload(const std::string& name, const std::string& localPath,
                            const std::string& archiveFolderUrl);

    // The main loop's per-pass calls. The step also carries the start command's version check on:
    // its requests run on workers, and each pass takes the answer that has arrived.
    bool PatchDownloadStep();
    void VersionCheckStep();
    void OnPatchDownloadFailed();
    void TickBanners();

    // The hand-over to the game.
    void LaunchGameUpdater();
    void LaunchAntiCheatClient();
    // The Temp staging folder merged, the deletion list applied.
    void TidyClientFolder();
    // False, with the player told why, when the program a command line starts is missing or is a
    // Windows program without a runner; a Windows program's prefix is made here when it is new.
    bool ReadyForHandOver(const std::string& applicationName, const std::string& commandLine);
    // Makes the runner's prefix behind the preparing box; false when the player gave up with Escape.
    bool PrepareCompatPrefix(const GameRunner& game);
    // False, with the player told why, when the program cannot be started.
    bool StartGameProgram(const std::string& applicationName, const std::string& commandLine,
                          const std::string& folder);
    void ReportStartFailure(StartOutcome outcome, const std::string& program);
    // The instance check of the start button: false, after message 127 and with the window gone, when
    // the game clients already running reach the limit.
    bool PassInstanceCheck();
    int EnsurePrerequisites();

    // What the window waits with and lists display modes from; tests replace them.
    platform::IClock* m_clock = &platform::SystemClock();
    platform::IDisplayModeSource* m_modeSource = nullptr;

    // The pictures of the window's buttons and dots.
    void SetControlImage(ImageSlot& slot, int controlId, int bitmapId);
    void PlaceControls();

    // Pointer input and the start button.
    void RunStartSequence();
    // The start after the install check: settings saved, the instance check, the start command.
    void ContinueStartSequence();
    // The install's index is on its way for the start button: a player who declines the install
    // goes on with the start.
    bool m_bStartAfterDecline = false;
    void UpdateButtonPictures(unsigned flags, int x, int y);

    // Banners and the notice panel.
    void BuildBanners();
    void NavigateNotice();
    void OnBannerNavigated(uintptr_t browser);
    void OnBannerLoaded(uintptr_t browser);

    // The full-client install.
    // Starts the install: true when the flow took the start over (the index is on its way, or the
    // client is there), false while a download runs.
    virtual bool InstallFullClient();
    // The index has arrived: the player is asked, and the archive's download starts.
    void OfferFullClient();
    std::unique_ptr<platform::Transfer> m_indexFetch;
    // The edition's signed manifest is on its way for the install.
    bool m_bInstallTrustPending = false;
    void FetchIndex();
    // With a verified manifest: request gets the size and SHA-256 it names for path, or the player
    // is told that the file is not signed and false comes back.
    bool ExpectSigned(const std::string& path, platform::TransferRequest& request);
    void ReinstallClient();
    void DeleteClientFolder(const std::string& folder);
    std::shared_ptr<CFTPDownload> m_downloader = std::make_shared<CFTPDownload>();
    std::shared_ptr<CDecompressor> m_extractor = std::make_shared<CDecompressor>();

    // The server and display-mode lists.
    void FillServerCombo();
    void OnServerSelChange();
    void FillDisplayModes();
    void OnDisplayModeChanged();

    // Client editions and paths of the server selected now.
    std::string GetClientFolder() const;
    std::string GetFullClientPath() const;
    std::string GetDefaultServerDir() const;
    std::string GetArchiveName() const;
    std::string GetAntiCheatClientPath() const;

    bool RefreshVersionDisplay();
    int FindDisplayMode(int32_t width, int32_t height) const;
    void SelectBanner(int index);

    // IDialogEvents.
    void OnMouseMove(unsigned flags, int x, int y) override;
    void OnLButtonDown(unsigned flags, int x, int y) override;
    void OnLButtonUp(unsigned flags, int x, int y) override;
    void OnSetFocus() override;
    void OnTimer(unsigned id) override;
    void OnCommand(int controlId, int notification) override;
    void OnWebNavigateComplete(int controlId, uintptr_t browser, const std::string& url) override;
    void OnWebDocumentComplete(int controlId, uintptr_t browser, const std::string& url) override;
    int BackgroundBitmapId() override;

    // State, named as the window's parts know it.
    DisplaySettings m_displaySettings;
    TypeSettings m_typeSettings;
    LaunchSettings m_launch;
    std::vector<std::unique_ptr<DisplayMode>> m_displayModes;
    CMyComboBox m_cbResolution{m_host, 1034};
    CMyComboBox m_cbServer{m_host, 1036};

    bool m_bPatchBusy = false;
    std::unique_ptr<platform::HttpSession> m_hInternet;
    // The start command's request now running and what its answer is for.
    enum class CheckStage { None, Manifest, VersionFile, SizeFile, ListFile, ArchiveSizeFile };
    CheckStage m_checkStage = CheckStage::None;
    std::unique_ptr<platform::Transfer> m_hCheckRequest;
    std::string m_strArchiveName;
    // The update folder below the host, and the signed manifest of the edition when the launcher
    // trusts a publisher's key.
    std::string m_strUpdateDir;
    platform::CReleaseTrust m_trust;
    // The edition's scope in a signed release, and the file that keeps the releases accepted.
    std::string ReleaseScope() const;
    // Tells the player that the update server's file at path was refused.
    void ReportUnverified(const std::string& path);
    // The archive's download: it streams into Update.dat's partial file on its worker.
    std::unique_ptr<platform::Transfer> m_hPatchUrl;
    uint32_t m_nPatchSize = 0;
    intptr_t m_nPatchPercent = -1;
    bool m_bPatchActive = false;
    std::string m_strPatchPath;
    std::string m_strPatchName;  // the update archive's name on the server
    // The runner of the Windows program being handed over to; none while the game's programs are native.
    std::optional<GameRunner> m_gameRunner;

    ImageSlot m_bmpStart, m_bmpClose, m_bmpDotOn, m_bmpDotOff, m_bmpReinstall, m_bmpCommunity;
    std::vector<int> m_dotsShown;
    std::vector<std::string> m_bannerLinks;
    std::vector<std::string> m_bannerPages;
    int32_t m_bannerIndex = 0;
    float m_bannerTime = 0.0f;
    bool m_bannersFromFile = false;
    const int32_t m_yOffset = 170;
    // Movements alternate between updating the pictures and, while a press on the background is
    // held, dragging the window.
    bool m_dragFlag = false;
    // The page object of the first banner page whose navigation completed, until it has loaded.
    uintptr_t m_trackedDocument = 0;

protected:
    virtual bool OnInitDialog();

private:
    void EndPatchDownload();
    // Fetches base + "/" + name, which is the file path below the host: with a signed release it must
    // be named in it and match it, and a file it does not name counts as missing.
    void RequestCheckFile(CheckStage stage, const std::string& base, const std::string& name,
                          const std::string& path, uint64_t maxBytes);
    void EndVersionCheck();
    void ShowProgress(int percent);

    IDialogHost* m_host = nullptr;
};
