// The start command and the patch download against the loopback update server: the version check's
// outcomes, the download's reads and size check, the archive's unpacking and the hand-over.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "core/launcher_globals.h"
#include "patcher/liza_encoder.h"
#include "patcher/update_archive.h"
#include "platform/resources.h"
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

class Patch : public WorkingFolderTest {
protected:
    void SetUp() override {
        WorkingFolderTest::SetUp();
        setenv("ORL_UPDATE_HOST", m_server.Root().c_str(), 1);
        m_work.Write("Orvin/List.mfm", std::string("1.0") + std::string(9, '\0'));
        m_updater = InstallSubstitute(m_work / "Orvin", "VelmoraGameUpdate.exe");
        m_client = InstallSubstitute(m_work / "Orvin", "VelmoraEac.exe");
        m_host.ComboAddString(IDC_SERVER, " 오르빈");
        m_host.ComboSetCurSel(IDC_SERVER, 0);
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

    // The main loop's download passes, until the download ends.
    void RunDownload() {
        for (int pass = 0; m_dlg.m_bPatchActive && pass < 100000; ++pass) {
            if (!m_dlg.PatchDownloadStep()) m_dlg.OnPatchDownloadFailed();
        }
    }

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
};

TEST_F(Patch, CurrentClientIsHandedToTheGameClient) {
    for (const char* answer : {"1.0\n", "1.0"}) {
        m_server.Serve(kDir + "/last.ver", answer);
        m_host.Control(IDC_PERCENT).texts.clear();
        CPLXDlg dlg;
        RecordingHost host;
        host.ComboAddString(IDC_SERVER, " 오르빈");
        host.ComboSetCurSel(IDC_SERVER, 0);
        ASSERT_TRUE(dlg.Create(host));
        size_t before = ReadSubstituteRuns(m_client).size();
        dlg.StartPatch();
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
    m_dlg.StartPatch();
    RunDownload();
    EXPECT_EQ(m_server.RequestCount(archivePath), 1);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{platform::LoadStringById(247)});
    EXPECT_TRUE(m_host.IsWindowAlive());
    EXPECT_FALSE(m_dlg.m_bPatchBusy);

    // Pressed again in the same run, and in the next run: the kept Update.dat is handed over at once.
    m_dlg.StartPatch();
    EXPECT_FALSE(m_dlg.m_bPatchActive);
    EXPECT_EQ(m_host.boxes.size(), 2u);
    RecordingHost host;
    host.ComboAddString(IDC_SERVER, " 오르빈");
    host.ComboSetCurSel(IDC_SERVER, 0);
    CPLXDlg next;
    ASSERT_TRUE(next.Create(host));
    next.StartPatch();
    EXPECT_FALSE(next.m_bPatchActive);
    EXPECT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(m_server.RequestCount(archivePath), 1);
    EXPECT_EQ(m_work.Read("Orvin/Update.dat"), archive);

    // Once the updater can start, it gets the kept Update.dat; the next update is fetched anew.
    InstallSubstitute(m_work / "Orvin", "VelmoraGameUpdate.exe");
    RecordingHost last;
    last.ComboAddString(IDC_SERVER, " 오르빈");
    last.ComboSetCurSel(IDC_SERVER, 0);
    CPLXDlg third;
    ASSERT_TRUE(third.Create(last));
    third.StartPatch();
    EXPECT_EQ(WaitForSubstituteRuns(m_updater, 1).size(), 1u);
    EXPECT_FALSE(last.IsWindowAlive());
    EXPECT_EQ(m_server.RequestCount(archivePath), 1);
    EXPECT_FALSE(m_work.Exists("Orvin/Update.ok")) << "Update.dat is the updater's now";
}

TEST_F(Patch, KeptUpdateCountsOnlyForTheSameUpdate) {
    ASSERT_TRUE(WriteUpdateFile(m_work / "Orvin/Update.dat", {'a', 'b', 'c'}));
    const UpdateRecord record{"patch-1.0.dat", 64, "1.0"};
    ASSERT_TRUE(WriteUpdateRecord(m_work / "Orvin", record));
    EXPECT_TRUE(UpdateIsReady(m_work / "Orvin", record));
    for (const UpdateRecord& other :
         {UpdateRecord{"patch-1.0b.dat", 64, "1.0"}, UpdateRecord{"patch-1.0.dat", 65, "1.0"},
          UpdateRecord{"patch-1.0.dat", 64, "0.9"}})
        EXPECT_FALSE(UpdateIsReady(m_work / "Orvin", other)) << other.archiveName << other.archiveSize;
    // An Update.dat that changed since, or is gone, is no kept update.
    ASSERT_TRUE(WriteUpdateFile(m_work / "Orvin/Update.dat", {'a', 'b'}));
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
    m_dlg.StartPatch();
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
    m_dlg.StartPatch();
    EXPECT_EQ(m_server.RequestCount(kDir + "/v1.siz"), 1);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{platform::LoadStringById(115)});
}

TEST_F(Patch, PlainArchiveArrivesInFullReadsAndIsHandedToTheUpdater) {
    std::string archive(250000, '\0');
    for (size_t i = 0; i < archive.size(); ++i) archive[i] = static_cast<char>(i * 7);
    Publish(archive);
    m_dlg.StartPatch();
    ASSERT_TRUE(m_dlg.m_bPatchActive);
    EXPECT_FALSE(m_dlg.m_bPatchBusy);
    RunDownload();
    EXPECT_TRUE(m_host.boxes.empty());
    EXPECT_EQ(m_work.Read("Orvin/Update.dat"), archive);
    // The command's two progress messages, the arming one, then one per read: 100000, 100000, 50000
    // and the last read of nothing.
    EXPECT_EQ(Progress(), (std::vector<std::string>{"0%", "0%", "0%", "40%", "80%", "100%", "100%"}));
    auto runs = WaitForSubstituteRuns(m_updater, 1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].args.at(0), m_updater);
    EXPECT_FALSE(m_host.IsWindowAlive());
    EXPECT_EQ(g_receivedTotal, 0u);
}

TEST_F(Patch, LizaArchiveIsUnpackedInPlace) {
    std::string content;
    for (int i = 0; i < 20000; ++i) content += "file " + std::to_string(i % 97) + " of the update\n";
    Bytes packed = LizaPack(BytesOf(content));
    Publish(std::string(packed.begin(), packed.end()));
    m_dlg.StartPatch();
    RunDownload();
    EXPECT_TRUE(m_host.boxes.empty());
    EXPECT_EQ(m_work.Read("Orvin/Update.dat"), content);
    EXPECT_FALSE(m_work.Exists("Orvin/Updatez.dat"));
    EXPECT_EQ(WaitForSubstituteRuns(m_updater, 1).size(), 1u);
}

TEST_F(Patch, DamagedLizaArchiveFailsWithoutLaunching) {
    Bytes packed = LizaPack(BytesOf(std::string(50000, 'a') + "tail of the data"));
    packed[40] ^= 0xFF;
    packed[41] ^= 0xFF;
    Publish(std::string(packed.begin(), packed.end()));
    m_dlg.StartPatch();
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
    m_dlg.StartPatch();
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
// downloads again from the first byte.
TEST_P(FailedDownload, FailsAndCanStartAgain) {
    const ShortCase& c = GetParam();
    std::string archive(c.served, 'd');
    Publish(archive, std::to_string(c.announced));
    if (c.faultAfter != 0) m_server.Fail(kDir + "/dat/patch-1.0.dat", c.fault, c.faultAfter);
    m_dlg.StartPatch();
    RunDownload();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{platform::LoadStringById(105)});
    EXPECT_EQ(m_host.Control(IDC_PERCENT).text, "-1%");
    EXPECT_FALSE(m_work.Exists("Orvin/Update.dat"));
    EXPECT_FALSE(UpdaterRan());
    EXPECT_TRUE(m_host.IsWindowAlive());
    EXPECT_LE(m_dlg.m_pPatchData.capacity(), c.announced + 1);

    std::string good(c.announced, 'g');
    Publish(good);
    m_host.boxes.clear();
    m_dlg.StartPatch();
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

TEST_F(Patch, StartRequestsDuringADownloadDoNothing) {
    Publish(std::string(300000, 'p'));
    m_dlg.StartPatch();
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
    m_dlg.StartPatch();
    EXPECT_EQ(m_host.boxes.size(), 1u);
    EXPECT_EQ(m_server.RequestCount(kDir + "/last.ver"), 1);
}

}  // namespace
