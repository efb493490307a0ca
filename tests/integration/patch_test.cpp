// The start command and the patch download against the loopback update server: the version check's
// outcomes, the download's reads and size check, the archive's unpacking and the hand-over.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "app/plx_app.h"
#include "core/launcher_globals.h"
#include "patcher/liza_encoder.h"
#include "patcher/update_archive.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/release_manifest.h"
#include "platform/resources.h"
#include "platform/signatures.h"
#include "support/fast_transfers.h"
#include "support/https_server.h"
#include "support/liza_builders.h"
#include "support/recording_host.h"
#include "support/substitutes.h"
#include "support/temp_folder.h"
#include "window/control_ids.h"
#include "window/plx_dlg.h"

namespace fs = std::filesystem;

namespace {

const std::string kDir = "/live/real";

// A host whose server list holds Orvin, selected.
void SelectOrvin(RecordingHost& host) {
    host.ComboAddString(IDC_SERVER, " 오르빈");
    host.ComboSetCurSel(IDC_SERVER, 0);
}

class Patch : public WorkingFolderTest {
protected:
    void SetUp() override {
        WorkingFolderTest::SetUp();
        setenv("ORL_UPDATE_HOST", m_server.Root().c_str(), 1);
        m_work.Write("Orvin/List.mfm", std::string("1.0") + std::string(9, '\0'));
        m_updater = InstallSubstitute(m_work / "Orvin", "VelmoraGameUpdate.exe");
        m_client = InstallSubstitute(m_work / "Orvin", "VelmoraEac.exe");
        SelectOrvin(m_host);
        g_expectedSize = 0;
        ASSERT_TRUE(m_dlg.Create(m_host));
        ASSERT_EQ(g_clientVersion, "1.0");
    }
    void TearDown() override {
        unsetenv("ORL_UPDATE_HOST");
        WorkingFolderTest::TearDown();
    }

    // The server side of an update from 1.0 to 2.0 with the given archive.
    void Publish(const std::string& archive, const std::string& announced = "") {
        m_server.Serve(kDir + "/last.ver", "2.0\r\n");
        m_server.Serve(kDir + "/1.0.siz", "64");
        m_server.Serve(kDir + "/1.0.ldt", "patch-1.0.dat");
        m_server.Serve(kDir + "/dat/1.0.siz", announced.empty() ? std::to_string(archive.size()) : announced);
        m_server.Serve(kDir + "/dat/patch-1.0.dat", archive);
    }

    // The start command and the main loop's passes until its version check has ended.
    static void Start(CPLXDlg& dlg) {
        dlg.StartPatch();
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (dlg.m_bPatchBusy && std::chrono::steady_clock::now() < end) {
            if (!dlg.PatchDownloadStep()) dlg.OnPatchDownloadFailed();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    void Start() { Start(m_dlg); }
    // The main loop's download passes, until the download ends.
    static void RunDownload(CPLXDlg& dlg) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (dlg.m_bPatchActive && std::chrono::steady_clock::now() < end) {
            if (!dlg.PatchDownloadStep()) dlg.OnPatchDownloadFailed();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    void RunDownload() { RunDownload(m_dlg); }

    std::vector<std::string> BoxTexts() {
        std::vector<std::string> texts;
        for (const auto& box : m_host.boxes) texts.push_back(box.text);
        return texts;
    }
    std::vector<std::string> Progress() { return m_host.Control(IDC_PERCENT).texts; }
    bool UpdaterRan() { return !ReadSubstituteRuns(m_updater).empty(); }

    HttpsServer m_server;
    RecordingHost m_host;
    CPLXDlg m_dlg;
    std::string m_updater;
    std::string m_client;
    FastTransfers m_limits;
};

TEST_F(Patch, CurrentClientIsHandedToTheGameClient) {
    for (const char* answer : {"1.0\n", "1.0"}) {
        m_server.Serve(kDir + "/last.ver", answer);
        m_host.Control(IDC_PERCENT).texts.clear();
        CPLXDlg dlg;
        RecordingHost host;
        SelectOrvin(host);
        ASSERT_TRUE(dlg.Create(host));
        size_t before = ReadSubstituteRuns(m_client).size();
        Start(dlg);
        auto runs = WaitForSubstituteRuns(m_client, before + 1);
        ASSERT_EQ(runs.size(), before + 1) << answer;
        EXPECT_EQ(runs.back().args, (std::vector<std::string>{m_client, "/useeac--korea"}));
        EXPECT_EQ(runs.back().cwd, fs::canonical(m_work / "Orvin").string());
        EXPECT_FALSE(host.IsWindowAlive());
        EXPECT_FALSE(dlg.m_bPatchBusy);
    }
    EXPECT_EQ(m_server.RequestCount(kDir + "/1.0.siz"), 0);
}

TEST_F(Patch, UpdateThatWasNotHandedOverIsNotFetchedAgain) {
    std::string archive = "not a LIZA container: kept as it arrived";
    Publish(archive);
    const std::string archivePath = kDir + "/dat/patch-1.0.dat";
    // A Windows updater and no runner at all.
    m_work.Write("Orvin/VelmoraGameUpdate.exe", "MZ");
    ScopedEnvironment env({{"PATH", m_work / "empty"}, {"ORL_WINE", ""}, {"PROTONPATH", ""}});
    Start();
    RunDownload();
    EXPECT_EQ(m_server.RequestCount(archivePath), 1);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{platform::LoadStringById(247)});
    EXPECT_TRUE(m_host.IsWindowAlive());
    EXPECT_FALSE(m_dlg.m_bPatchBusy);

    // Pressed again in the same run, and in the next run: the kept Update.dat is handed over at once.
    Start();
    EXPECT_FALSE(m_dlg.m_bPatchActive);
    EXPECT_EQ(m_host.boxes.size(), 2u);
    RecordingHost host;
    SelectOrvin(host);
    CPLXDlg next;
    ASSERT_TRUE(next.Create(host));
    Start(next);
    EXPECT_FALSE(next.m_bPatchActive);
    EXPECT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(m_server.RequestCount(archivePath), 1);
    EXPECT_EQ(m_work.Read("Orvin/Update.dat"), archive);

    // Once the updater can start, it gets the kept Update.dat; the next update is fetched anew.
    InstallSubstitute(m_work / "Orvin", "VelmoraGameUpdate.exe");
    RecordingHost last;
    SelectOrvin(last);
    CPLXDlg third;
    ASSERT_TRUE(third.Create(last));
    Start(third);
    EXPECT_EQ(WaitForSubstituteRuns(m_updater, 1).size(), 1u);
    EXPECT_FALSE(last.IsWindowAlive());
    EXPECT_EQ(m_server.RequestCount(archivePath), 1);
    EXPECT_FALSE(m_work.Exists("Orvin/Update.ok")) << "Update.dat is the updater's now";
}

TEST_F(Patch, KeptUpdateCountsOnlyForTheSameUpdate) {
    ASSERT_TRUE(platform::WriteFileAtomic(m_work / "Orvin/Update.dat", "abc"));
    const UpdateRecord record{"patch-1.0.dat", 64, "1.0"};
    ASSERT_TRUE(WriteUpdateRecord(m_work / "Orvin", record));
    EXPECT_TRUE(UpdateIsReady(m_work / "Orvin", record));
    for (const UpdateRecord& other :
         {UpdateRecord{"patch-1.0b.dat", 64, "1.0"}, UpdateRecord{"patch-1.0.dat", 65, "1.0"},
          UpdateRecord{"patch-1.0.dat", 64, "0.9"}})
        EXPECT_FALSE(UpdateIsReady(m_work / "Orvin", other)) << other.archiveName << other.archiveSize;
    // An Update.dat that changed since, or is gone, is no kept update.
    ASSERT_TRUE(platform::WriteFileAtomic(m_work / "Orvin/Update.dat", "ab"));
    EXPECT_FALSE(UpdateIsReady(m_work / "Orvin", record));
    fs::remove(m_work / "Orvin/Update.dat");
    EXPECT_FALSE(UpdateIsReady(m_work / "Orvin", record));
}

struct CheckCase {
    const char* name;
    std::map<std::string, std::string> files;  // below the update folder; missing ones answer 404
    int box;                                   // the string shown, 0 for none
    bool sizeFileAsked;
};

class VersionCheck : public Patch, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(VersionCheck, EndsAsTheServerAnswers) {
    for (const auto& [path, body] : GetParam().files) m_server.Serve(kDir + path, body);
    Start();
    if (GetParam().box != 0) {
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{platform::LoadStringById(GetParam().box)});
    } else {
        EXPECT_TRUE(m_host.boxes.empty());
    }
    EXPECT_EQ(m_server.RequestCount(kDir + "/1.0.siz") > 0, GetParam().sizeFileAsked);
    EXPECT_FALSE(m_dlg.m_bPatchBusy);
    EXPECT_FALSE(m_dlg.m_bPatchActive);
    EXPECT_TRUE(m_host.IsWindowAlive());
    EXPECT_FALSE(UpdaterRan());
}

const std::map<std::string, std::string> kGoodUntilArchive = {
    {"/last.ver", "2.0"}, {"/1.0.siz", "64"}, {"/1.0.ldt", "patch.dat"}};

std::map<std::string, std::string> With(std::map<std::string, std::string> files, const std::string& path,
                                        const std::string& body) {
    files[path] = body;
    return files;
}

std::map<std::string, std::string> Without(std::map<std::string, std::string> files,
                                           const std::string& path) {
    files.erase(path);
    return files;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, VersionCheck,
    ::testing::Values(
        CheckCase{"EmptyVersionFile", {{"/last.ver", ""}}, 114, false},
        CheckCase{"NoVersionFile", {}, 114, false},
        CheckCase{"OnlyWhiteSpaceIsAnotherVersion", {{"/last.ver", " \r\n\t"}}, 115, true},
        CheckCase{"AtSignIsAnotherVersion", {{"/last.ver", "@1.0"}}, 115, true},
        CheckCase{"SizeFile404", {{"/last.ver", "2.0"}, {"/1.0.siz", "404"}}, 115, true},
        CheckCase{"SizeFileBelowTen", {{"/last.ver", "2.0"}, {"/1.0.siz", "9"}}, 115, true},
        CheckCase{"SizeFileWithoutNumber", {{"/last.ver", "2.0"}, {"/1.0.siz", "size"}}, 115, true},
        CheckCase{"SizeFileMissing", {{"/last.ver", "2.0"}}, 115, true},
        CheckCase{"ListFileMissing", {{"/last.ver", "2.0"}, {"/1.0.siz", "64"}}, 0, true},
        CheckCase{"NegativeSizeIsValid", With(Without(kGoodUntilArchive, "/1.0.ldt"), "/1.0.siz", "-5"), 0,
                  true},
        CheckCase{"ArchiveSizeZero", With(kGoodUntilArchive, "/dat/1.0.siz", "0"), 115, true},
        CheckCase{"ArchiveSize404", With(kGoodUntilArchive, "/dat/1.0.siz", "404"), 115, true},
        CheckCase{"ArchiveSizeWithoutNumber", With(kGoodUntilArchive, "/dat/1.0.siz", "x7"), 115, true},
        CheckCase{"ArchiveSizeMissing", kGoodUntilArchive, 115, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Patch, OtherLetterCaseAsksForTheSizeFile) {
    m_work.Write("Orvin/List.mfm", std::string("v1") + std::string(10, '\0'));
    m_dlg.RefreshVersionDisplay();
    m_server.Serve(kDir + "/last.ver", "V1");
    Start();
    EXPECT_EQ(m_server.RequestCount(kDir + "/v1.siz"), 1);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{platform::LoadStringById(115)});
}

TEST_F(Patch, PlainArchiveArrivesInFullReadsAndIsHandedToTheUpdater) {
    std::string archive(250000, '\0');
    for (size_t i = 0; i < archive.size(); ++i) archive[i] = static_cast<char>(i * 7);
    Publish(archive);
    Start();
    ASSERT_TRUE(m_dlg.m_bPatchActive);
    EXPECT_FALSE(m_dlg.m_bPatchBusy);
    RunDownload();
    EXPECT_TRUE(m_host.boxes.empty());
    EXPECT_EQ(m_work.Read("Orvin/Update.dat"), archive);
    // The command's two progress messages, the arming one, then what arrived by each pass, up to
    // the whole.
    std::vector<std::string> progress = Progress();
    ASSERT_GE(progress.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(progress.begin(), progress.begin() + 3),
              (std::vector<std::string>{"0%", "0%", "0%"}));
    EXPECT_EQ(progress.back(), "100%");
    auto runs = WaitForSubstituteRuns(m_updater, 1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].args.at(0), m_updater);
    EXPECT_FALSE(m_host.IsWindowAlive());
    EXPECT_EQ(g_receivedTotal, 0u);
}

TEST_F(Patch, LizaArchiveIsUnpackedInPlace) {
    std::string content;
    for (int i = 0; i < 400000; ++i) content += "file " + std::to_string(i % 97) + " of the update\n";
    for (bool stored : {false, true}) {
        Bytes packed = LizaPack(BytesOf(content), stored);
        Publish(std::string(packed.begin(), packed.end()));
        RecordingHost host;
        SelectOrvin(host);
        CPLXDlg dlg;
        ASSERT_TRUE(dlg.Create(host));
        Start(dlg);
        RunDownload(dlg);
        EXPECT_TRUE(host.boxes.empty()) << stored;
        EXPECT_TRUE(m_work.Read("Orvin/Update.dat") == content) << stored;
        EXPECT_FALSE(m_work.Exists("Orvin/Updatez.dat"));
        EXPECT_EQ(WaitForSubstituteRuns(m_updater, stored ? 2 : 1).size(), stored ? 2u : 1u);
    }
}

TEST_F(Patch, DamagedLizaArchiveFailsWithoutLaunching) {
    Bytes packed = LizaPack(BytesOf(std::string(50000, 'a') + "tail of the data"));
    packed[40] ^= 0xFF;
    packed[41] ^= 0xFF;
    Publish(std::string(packed.begin(), packed.end()));
    Start();
    RunDownload();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{platform::LoadStringById(105)});
    EXPECT_FALSE(m_work.Exists("Orvin/Updatez.dat"));
    EXPECT_FALSE(UpdaterRan());
    EXPECT_TRUE(m_host.IsWindowAlive());
}

TEST_F(Patch, UnpackedFileThatCannotBeWrittenShowsItsMessage) {
    Bytes packed = LizaPack(BytesOf(std::string(5000, 'b') + "tail!"));
    Publish(std::string(packed.begin(), packed.end()));
    m_work.MakeFolder("Orvin/Updatez.dat");
    Start();
    RunDownload();
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{platform::LoadStringById(117), platform::LoadStringById(105)}));
    EXPECT_EQ(m_work.Read("Orvin/Update.dat"), std::string(packed.begin(), packed.end()));
    EXPECT_FALSE(UpdaterRan());
}

struct ShortCase {
    const char* name;
    size_t announced;
    size_t served;
    HttpFault fault;
    size_t faultAfter;
};

class FailedDownload : public Patch, public ::testing::WithParamInterface<ShortCase> {};

// Every broken answer fails with box 105, leaves no Update.dat, launches nothing, and a new start
// downloads the archive whole.
TEST_P(FailedDownload, FailsAndCanStartAgain) {
    const ShortCase& c = GetParam();
    std::string archive(c.served, 'd');
    Publish(archive, std::to_string(c.announced));
    if (c.faultAfter != 0) m_server.Fail(kDir + "/dat/patch-1.0.dat", c.fault, c.faultAfter);
    Start();
    RunDownload();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{platform::LoadStringById(105)});
    EXPECT_EQ(m_host.Control(IDC_PERCENT).text, "-1%");
    EXPECT_FALSE(m_work.Exists("Orvin/Update.dat"));
    EXPECT_FALSE(UpdaterRan());
    EXPECT_TRUE(m_host.IsWindowAlive());

    std::string good(c.announced, 'g');
    Publish(good);
    m_host.boxes.clear();
    Start();
    RunDownload();
    EXPECT_TRUE(m_host.boxes.empty());
    EXPECT_EQ(m_work.Read("Orvin/Update.dat"), good);
    EXPECT_EQ(WaitForSubstituteRuns(m_updater, 1).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, FailedDownload,
    ::testing::Values(ShortCase{"OneByteShort", 1000, 999, HttpFault::NotFound, 0},
                      ShortCase{"MoreThanAnnounced", 1000, 5000000, HttpFault::NotFound, 0},
                      ShortCase{"EndlessAnswer", 300000, 1, HttpFault::Endless, 1},
                      ShortCase{"CutInTheMiddle", 300000, 300000, HttpFault::CutShort, 150000},
                      ShortCase{"ArchiveMissing", 300000, 300000, HttpFault::NotFound, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// The launcher's resident memory in KiB.
long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

struct HostileCase {
    const char* name;
    std::string path;  // below the update folder; empty: the whole host resets every connection
    HttpFault fault;
    size_t after;
    std::string location;  // where a redirect leads
    int box;               // the string shown, 0 for none
};

class HostileServer : public Patch, public ::testing::WithParamInterface<HostileCase> {
protected:
    // Breaks the published tree as the row says; the returned listener serves the host when the row
    // resets connections.
    std::unique_ptr<ResettingListener> Break() {
        const HostileCase& c = GetParam();
        Publish(std::string(300000, 'a'));
        if (c.path.empty()) {
            auto listener = std::make_unique<ResettingListener>();
            setenv("ORL_UPDATE_HOST", listener->Root().c_str(), 1);
            return listener;
        }
        if (c.fault == HttpFault::Redirect) {
            m_server.Redirect(kDir + c.path,
                              c.location.starts_with("/") ? m_server.Root() + c.location : c.location);
        } else {
            m_server.Fail(kDir + c.path, c.fault, c.after);
        }
        return nullptr;
    }
};

// Each hostile answer ends in the outcome of a broken server, within the bounds and without the
// memory growing with what the server sends.
TEST_P(HostileServer, EndsAsABrokenServerWouldWithBoundedMemory) {
    auto listener = Break();
    long before = ResidentKiB();
    Start();
    RunDownload();
    long grown = ResidentKiB() - before;
    if (GetParam().box != 0) {
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{platform::LoadStringById(GetParam().box)});
    } else {
        EXPECT_TRUE(m_host.boxes.empty());
    }
    EXPECT_FALSE(m_dlg.m_bPatchBusy);
    EXPECT_FALSE(m_dlg.m_bPatchActive);
    EXPECT_LT(grown, 32 * 1024) << "KiB";
    EXPECT_TRUE(m_host.IsWindowAlive());
    EXPECT_FALSE(UpdaterRan());
    EXPECT_FALSE(m_work.Exists("Orvin/Update.dat"));
}

// Closing the window while the launcher waits for the server ends the loop at once: the window's
// thread never waits on the network, and what runs on workers stops when the window goes.
TEST_P(HostileServer, ClosingTheWindowDuringTheWaitEndsAtOnce) {
    auto listener = Break();
    struct Escape : platform::IKeyState {
        bool IsEscapeDown() override { return down; }
        bool down = false;
    } keys;
    RecordingHost host;
    SelectOrvin(host);
    auto app = std::make_unique<CPLXApp>(host, keys);
    ASSERT_TRUE(app->InitInstance());
    app->m_dlg.StartPatch();
    for (int pass = 0; pass < 30; ++pass) ASSERT_TRUE(app->RunPass());
    auto start = std::chrono::steady_clock::now();
    keys.down = true;
    EXPECT_EQ(app->Run(), 0);
    app.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(UpdaterRan());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HostileServer,
    ::testing::Values(
        HostileCase{"EndlessVersionFile", "/last.ver", HttpFault::Endless, 0, "", 114},
        HostileCase{"DripVersionFile", "/last.ver", HttpFault::Drip, 200, "", 114},
        HostileCase{"HugeLengthVersionFile", "/last.ver", HttpFault::HugeLength, 0, "", 114},
        HostileCase{"VersionFileToHttp", "/last.ver", HttpFault::Redirect, 0,
                    "http://localhost:9/live/real/last.ver", 114},
        HostileCase{"ResetBeforeHeaders", "", HttpFault::NotFound, 0, "", 114},
        HostileCase{"EndlessListFile", "/1.0.ldt", HttpFault::Endless, 0, "", 0},
        HostileCase{"DripListFile", "/1.0.ldt", HttpFault::Drip, 200, "", 0},
        HostileCase{"EndlessArchive", "/dat/patch-1.0.dat", HttpFault::Endless, 0, "", 105},
        HostileCase{"DripArchive", "/dat/patch-1.0.dat", HttpFault::Drip, 200, "", 105},
        HostileCase{"HugeLengthArchive", "/dat/patch-1.0.dat", HttpFault::HugeLength, 0, "", 105},
        HostileCase{"ArchiveTo404", "/dat/patch-1.0.dat", HttpFault::Redirect, 0, "/nothing", 105}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Patch, StartRequestsDuringADownloadDoNothing) {
    Publish(std::string(300000, 'p'));
    Start();
    ASSERT_TRUE(m_dlg.m_bPatchActive);
    int asked = m_server.RequestCount(kDir + "/last.ver");
    m_dlg.OnBnClickedStart();
    EXPECT_EQ(m_server.RequestCount(kDir + "/last.ver"), asked);
    RunDownload();
}

TEST_F(Patch, StartRequestWhileABoxIsOpenDoesNothing) {
    m_server.Serve(kDir + "/last.ver", "");
    int nested = 0;
    m_host.onMessageBox = [&](const RecordedMessageBox&) {
        ++nested;
        if (nested == 1) m_dlg.OnBnClickedStart();
    };
    Start();
    EXPECT_EQ(m_host.boxes.size(), 1u);
    EXPECT_EQ(m_server.RequestCount(kDir + "/last.ver"), 1);
}

// A signed release: the launcher trusts the publisher's root key and takes the update only as the
// edition's signed manifest names it. Every refusal is told, leaves no Update.dat and starts nothing.
struct SignedCase {
    const char* name;
    int box;  // the string shown first, 0 when the update is handed over
};

class SignedRelease : public Patch, public ::testing::WithParamInterface<SignedCase> {
protected:
    void SetUp() override {
        Patch::SetUp();
        m_root = *platform::GenerateSigningKey();
        m_online = *platform::GenerateSigningKey();
        m_stranger = *platform::GenerateSigningKey();
        m_work.Write("trusted.keys", "# the publisher's root\n" + m_root.publicKey + "\n");
        setenv("ORL_TRUSTED_KEYS", (m_work / "trusted.keys").c_str(), 1);
    }
    void TearDown() override {
        unsetenv("ORL_TRUSTED_KEYS");
        Patch::TearDown();
    }
    // The manifest of the files served now, signed as the row wants.
    void SignServedFiles(const std::string& name) {
        const int64_t now = std::time(nullptr);
        platform::ReleaseManifest m{name == "OtherEdition" ? "kessa" : "orvin", 5, now + 3600, {}, {}};
        if (name == "Expired") m.expires = now - 10;
        for (const char* file : {"/last.ver", "/1.0.siz", "/1.0.ldt", "/dat/1.0.siz", "/dat/patch-1.0.dat"}) {
            std::string body = m_bodies.at(file);
            m.files.push_back({"live/real" + std::string(file), body.size(), platform::Sha256Hex(body)});
        }
        std::string text = platform::FormatManifest(m);
        const platform::SigningKeyPair& signer = name == "UnknownKey"                        ? m_stranger
                                                 : name.find("Delegat") != std::string::npos ? m_online
                                                                                             : m_root;
        platform::ManifestSignature signature{
            signer.publicKey, *platform::SignMessage(signer.privatePem, text), {}};
        if (&signer == &m_online) {
            int64_t until = name == "DelegationExpired" ? now - 10 : now + 3600;
            signature.delegation = platform::Delegation{
                m_online.publicKey, until, m_root.publicKey,
                *platform::SignMessage(m_root.privatePem,
                                       platform::DelegationMessage(m_online.publicKey, until))};
        }
        m_server.Serve(kDir + "/orl-release.txt", text);
        if (name != "Unsigned")
            m_server.Serve(kDir + "/orl-release.txt.sig", platform::FormatSignature(signature));
    }
    void ServeAll(const std::string& archive) {
        m_bodies = {{"/last.ver", "2.0\r\n"},
                    {"/1.0.siz", "64"},
                    {"/1.0.ldt", "patch-1.0.dat"},
                    {"/dat/1.0.siz", std::to_string(archive.size())},
                    {"/dat/patch-1.0.dat", archive}};
        for (const auto& [path, body] : m_bodies) m_server.Serve(kDir + path, body);
    }

    platform::SigningKeyPair m_root, m_online, m_stranger;
    std::map<std::string, std::string> m_bodies;
};

TEST_P(SignedRelease, TakesTheUpdateOnlyAsSigned) {
    const std::string name = GetParam().name;
    std::string archive(200000, 'u');
    ServeAll(archive);
    SignServedFiles(name);
    if (name == "ChangedVersionFile") m_server.Serve(kDir + "/last.ver", "3.0\r\n");
    if (name == "ChangedArchive") m_server.Serve(kDir + "/dat/patch-1.0.dat", std::string(200000, 'x'));
    if (name == "Rollback") m_work.Write("orl-release.ini", "[Release]\r\norvin=6\r\n");
    Start();
    RunDownload();
    if (GetParam().box == 0) {
        EXPECT_TRUE(m_host.boxes.empty()) << (m_host.boxes.empty() ? "" : m_host.boxes[0].text);
        EXPECT_EQ(WaitForSubstituteRuns(m_updater, 1).size(), 1u);
        EXPECT_EQ(platform::GetPrivateProfileInt("Release", "orvin", 0, m_work / "orl-release.ini"), 5)
            << "the release accepted is kept";
        return;
    }
    ASSERT_FALSE(m_host.boxes.empty());
    EXPECT_EQ(m_host.boxes[0].text, platform::LoadStringById(GetParam().box));
    EXPECT_FALSE(m_work.Exists("Orvin/Update.dat"));
    EXPECT_FALSE(UpdaterRan());
    EXPECT_FALSE(m_dlg.m_bPatchBusy);
    EXPECT_TRUE(m_host.IsWindowAlive());
}

INSTANTIATE_TEST_SUITE_P(Rows, SignedRelease,
                         ::testing::Values(SignedCase{"Valid", 0}, SignedCase{"ValidDelegation", 0},
                                           SignedCase{"ChangedVersionFile", 254},
                                           SignedCase{"ChangedArchive", 254}, SignedCase{"Rollback", 253},
                                           SignedCase{"Expired", 252}, SignedCase{"UnknownKey", 251},
                                           SignedCase{"DelegationExpired", 251},
                                           SignedCase{"OtherEdition", 251}, SignedCase{"Unsigned", 250}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
