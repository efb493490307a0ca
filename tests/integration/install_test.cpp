// The full-client install: the background downloader against the loopback server, the extractor on
// real zip archives, and the install and reinstall flows through the recording host.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "core/launcher_globals.h"
#include "installer/decompressor.h"
#include "installer/ftp_download.h"
#include "platform/resources.h"
#include "support/fast_transfers.h"
#include "support/https_server.h"
#include "support/recording_host.h"
#include "support/temp_folder.h"
#include "support/zip_builder.h"
#include "window/control_ids.h"
#include "window/plx_dlg.h"

namespace fs = std::filesystem;

namespace {

void WaitDone(CFTPDownload& d) {
    for (int i = 0; i < 2000 && !d.IsDone(); ++i) usleep(10000);
}

void WaitDone(CDecompressor& d) {
    for (int i = 0; i < 2000 && !d.IsDone(); ++i) usleep(10000);
}

class Downloader : public ::testing::Test {
protected:
    DownloadItem Item(const std::string& name) {
        return {m_server.Root(), "live/full", name, m_folder.path(), {}};
    }
    HttpsServer m_server;
    TempFolder m_folder;
    FastTransfers m_limits;
};

TEST_F(Downloader, QueueArrivesWithProgress) {
    std::string big(3000000, 'b');
    m_server.Serve("/live/full/one.bin", big);
    m_server.Serve("/live/full/two.bin", "second");
    CFTPDownload d;
    EXPECT_TRUE(d.IsDone());
    ASSERT_TRUE(d.AddAndStart(Item("one.bin")));
    EXPECT_FALSE(d.IsDone());
    EXPECT_FALSE(d.AddAndStart(Item("two.bin"))) << "a running download takes nothing more";
    WaitDone(d);
    EXPECT_FALSE(d.IsBusy());
    EXPECT_TRUE(d.AllSucceeded());
    EXPECT_DOUBLE_EQ(d.GetPercent(), 100.0);
    EXPECT_EQ(m_folder.Read("one.bin"), big);
    EXPECT_EQ(d.GetCurrentFile(), (std::pair<std::string, std::string>{"one.bin", m_folder / "one.bin"}));
    d.ClearQueue();
    ASSERT_TRUE(d.AddAndStart(Item("two.bin")));
    WaitDone(d);
    EXPECT_EQ(m_folder.Read("two.bin"), "second");
}

TEST_F(Downloader, BrokenDownloadsAreReportedAndLeaveNoFile) {
    m_server.Serve("/live/full/cut.bin", std::string(500000, 'c'));
    m_server.Fail("/live/full/cut.bin", HttpFault::CutShort, 1000);
    m_server.Serve("/live/full/stall.bin", std::string(500000, 's'));
    m_server.Fail("/live/full/stall.bin", HttpFault::Stall, 1000);
    for (const char* name : {"missing.bin", "cut.bin", "stall.bin"}) {
        CFTPDownload d;
        ASSERT_TRUE(d.AddAndStart(Item(name)));
        WaitDone(d);
        EXPECT_TRUE(d.IsDone()) << name;
        EXPECT_FALSE(d.AllSucceeded()) << name;
        EXPECT_FALSE(m_folder.Exists(name)) << name;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(m_folder.path()), fs::directory_iterator()), 0);
}

class Extractor : public ::testing::Test {
protected:
    std::string Zip(const std::vector<ZipEntry>& entries) {
        std::string path = m_folder / "archive.zip";
        WriteZip(path, entries);
        return path;
    }
    // Unpacks into m_folder/D; true when every entry was unpacked.
    bool Unpack(const std::string& archive) {
        CDecompressor d;
        if (!d.Start(archive, m_folder / "D")) return false;
        WaitDone(d);
        m_percent = d.GetPercent();
        return d.Succeeded();
    }
    TempFolder m_folder;
    double m_percent = -1;
};

TEST_F(Extractor, EntriesLandWhereTheirNamesSay) {
    m_folder.Write("D/b.txt", "old content that is longer");
    m_folder.Write("D/keep.txt", "untouched");
    std::string archive = Zip({{"data/a.bin", std::string(100, 'a')},
                               {"b.txt", std::string(50, 'b'), true},
                               {"maps/", ""},
                               {"old.data/", ""},
                               {"bin/README", "readme"},
                               {"deep/er/c.dat", "c"}});
    EXPECT_EQ(SumUncompressedSizes(archive), 157u);
    ASSERT_TRUE(Unpack(archive));
    EXPECT_DOUBLE_EQ(m_percent, 100.0);
    EXPECT_EQ(m_folder.Read("D/data/a.bin"), std::string(100, 'a'));
    EXPECT_EQ(m_folder.Read("D/b.txt"), std::string(50, 'b'));
    EXPECT_EQ(m_folder.Read("D/keep.txt"), "untouched");
    EXPECT_TRUE(fs::is_directory(m_folder / "D/maps"));
    EXPECT_FALSE(fs::exists(m_folder / "D/old.data")) << "a last part with a dot is taken for a file";
    EXPECT_TRUE(fs::is_directory(m_folder / "D/bin/README")) << "a last part without a dot is a folder";
    EXPECT_EQ(m_folder.Read("D/deep/er/c.dat"), "c");
}

TEST_F(Extractor, EntriesMadeOnUnixKeepTheirExecutableBits) {
    struct Row {
        const char* name;
        unsigned mode;
        fs::perms expected;
    };
    const fs::perms plain = fs::perms::owner_read | fs::perms::owner_write;
    const Row rows[] = {
        {"game.exe", 0100755,
         plain | fs::perms::owner_exec | fs::perms::group_read | fs::perms::group_exec |
             fs::perms::others_read | fs::perms::others_exec},
        {"data.pak", 0100644, plain | fs::perms::group_read | fs::perms::others_read},
        {"setuid.exe", 0104777,
         plain | fs::perms::owner_exec | fs::perms::group_read | fs::perms::group_exec |
             fs::perms::others_read | fs::perms::others_exec},
        {"locked.txt", 0100000, plain},
    };
    std::vector<ZipEntry> entries;
    for (const Row& row : rows) entries.push_back({row.name, "x", false, row.mode});
    entries.push_back({"dos.txt", "x"});
    ASSERT_TRUE(Unpack(Zip(entries)));
    for (const Row& row : rows)
        EXPECT_EQ(fs::status(m_folder / (std::string("D/") + row.name)).permissions(), row.expected)
            << row.name;
    EXPECT_EQ(fs::status(m_folder / "D/dos.txt").permissions() & fs::perms::owner_exec, fs::perms::none);
}

TEST_F(Extractor, DamagedOrMissingArchives) {
    m_folder.Write("garbage.zip", "this is not a zip archive at all");
    CDecompressor garbage;
    ASSERT_TRUE(garbage.Start(m_folder / "garbage.zip", m_folder / "D"));
    WaitDone(garbage);
    EXPECT_TRUE(garbage.IsDone());
    EXPECT_FALSE(garbage.Succeeded());
    EXPECT_EQ(garbage.GetPercent(), 0.0);

    std::string archive = Zip({{"a.txt", std::string(20000, 'x')}, {"b.txt", "b"}});
    std::string bytes = m_folder.Read("archive.zip");
    // Damage the compressed data of the first entry.
    for (size_t i = 60; i < 200; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    m_folder.Write("archive.zip", bytes);
    EXPECT_FALSE(Unpack(archive));

    CDecompressor missing;
    EXPECT_FALSE(missing.Start(m_folder / "none.zip", m_folder / "D"));
    EXPECT_FALSE(missing.IsDone());
}

TEST_F(Extractor, EntriesOutsideTheDestinationAreRefused) {
    fs::create_directories(m_folder / "outside");
    fs::create_directories(m_folder / "D");
    fs::create_directory_symlink(m_folder / "outside", m_folder / "D/link");
    for (const std::string& name :
         {std::string("../evil.txt"), std::string("a/../../evil.txt"), (m_folder / "outside/evil.txt"),
          std::string("link/evil.txt"), std::string("..\\evil.txt"), std::string("C:/evil.txt")}) {
        std::string archive = Zip({{"fine.txt", "fine"}, {name, "evil"}});
        EXPECT_FALSE(Unpack(archive)) << name;
        EXPECT_FALSE(fs::exists(m_folder / "evil.txt")) << name;
        EXPECT_FALSE(fs::exists(m_folder / "outside/evil.txt")) << name;
    }
    std::string tooLong = std::string(300, 'n') + ".txt";
    EXPECT_FALSE(Unpack(Zip({{tooLong, "x"}})));
}

TEST(ByteSizes, TwoDecimalsAndTheUnit) {
    EXPECT_EQ(FormatByteSize(0), "0.00 B");
    EXPECT_EQ(FormatByteSize(1023), "1023.00 B");
    EXPECT_EQ(FormatByteSize(1536), "1.50 KB");
    EXPECT_EQ(FormatByteSize(9744409088ull), "9.08 GB");
    EXPECT_EQ(FormatByteSize(4744409088ull), "4.42 GB");
    EXPECT_EQ(FormatByteSize(3ull << 40), "3072.00 GB");
}

class Install : public WorkingFolderTest {
protected:
    void SetUp() override {
        WorkingFolderTest::SetUp();
        setenv("ORL_UPDATE_HOST", m_server.Root().c_str(), 1);
        m_work.Write("Orvin/orl.ini", "");
        m_host.ComboSetCurSel(IDC_SERVER, 0);
        ASSERT_TRUE(m_dlg.Create(m_host));
        m_full = "/" + m_dlg.GetFullClientPath();
    }
    void TearDown() override {
        unsetenv("ORL_UPDATE_HOST");
        WorkingFolderTest::TearDown();
    }
    void PublishClient(const std::vector<ZipEntry>& entries) {
        std::string zip = m_work / "published.zip";
        WriteZip(zip, entries);
        std::string bytes = m_work.Read("published.zip");
        fs::remove(zip);
        m_server.Serve(m_full + "/full_index.txt", m_dlg.GetArchiveName() + " 5000000000\r\n");
        m_server.Serve(m_full + "/" + m_dlg.GetArchiveName(), bytes);
    }
    // The start button over the start area, and timer 2 until the install's index has arrived.
    void PressStart(int x = 700, int y = 400) {
        m_dlg.OnLButtonUp(0, x, y);
        for (int i = 0; i < 2000 && m_host.timers.count(2) != 0; ++i) {
            m_host.FireTimer(2);
            usleep(5000);
        }
    }
    // The window's timers, fired as the host would, until both are gone.
    void RunTimers() {
        for (int i = 0; i < 4000 && !m_host.timers.empty(); ++i) {
            std::vector<unsigned> running;
            for (const auto& [id, period] : m_host.timers) running.push_back(id);
            for (unsigned id : running) m_host.FireTimer(id);
            usleep(5000);
        }
    }
    std::vector<std::string> BoxTexts() {
        std::vector<std::string> texts;
        for (const auto& b : m_host.boxes) texts.push_back(b.text);
        return texts;
    }
    std::string Prompt() {
        std::string text = platform::LoadStringById(130);
        text.replace(text.find("%s"), 2, "9.08 GB");
        return text.substr(0, text.find("%s"));
    }

    HttpsServer m_server;
    FastTransfers m_limits;
    RecordingHost m_host;
    CPLXDlg m_dlg;
    std::string m_full;
};

const std::vector<ZipEntry> kClient = {{"VelmoraEac.exe", "game"},
                                       {"List.mfm", std::string("3.1") + std::string(9, '\0')},
                                       {"data/big.dat", std::string(2000000, 'z')}};

TEST_F(Install, StartWithoutAClientInstallsIt) {
    PublishClient(kClient);
    PressStart();
    ASSERT_EQ(m_host.boxes.size(), 1u);
    EXPECT_EQ(m_host.boxes[0].text.rfind(Prompt(), 0), 0u) << m_host.boxes[0].text;
    EXPECT_EQ(m_host.boxes[0].flags, MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2);
    EXPECT_FALSE(m_work.Exists("full_index.txt"));
    EXPECT_EQ(m_host.timers.count(0), 1u);
    RunTimers();
    EXPECT_EQ(m_host.boxes.back().text, "Installation has been Completed.");
    EXPECT_EQ(m_host.boxes.back().caption, "orl");
    EXPECT_EQ(m_work.Read("Orvin/VelmoraEac.exe"), "game");
    EXPECT_EQ(m_work.Read("Orvin/data/big.dat").size(), 2000000u);
    EXPECT_FALSE(m_work.Exists(m_dlg.GetArchiveName())) << "the archive goes after the extraction";
    EXPECT_EQ(g_clientVersion, "3.1");
    EXPECT_EQ(m_host.Control(IDC_PERCENT).text, "100%");
}

TEST_F(Install, CancelAtThePromptGoesOnWithTheStart) {
    PublishClient(kClient);
    m_host.AnswerNextBoxes({IDCANCEL});
    PressStart();
    for (int i = 0; i < 2000 && m_dlg.m_bPatchBusy; ++i) {
        m_dlg.PatchDownloadStep();
        usleep(5000);
    }
    ASSERT_EQ(m_host.boxes.size(), 2u);
    EXPECT_EQ(m_host.boxes[1].text, platform::LoadStringById(114)) << "the normal start ran";
    EXPECT_TRUE(m_host.timers.empty());
}

TEST_F(Install, ReinstallDeletesTheClientFirst) {
    m_work.Write("Orvin/VelmoraEac.exe", "old");
    m_work.Write("Orvin/data/x.dat", "x");
    PublishClient(kClient);
    m_host.AnswerNextBoxes({IDOK, IDCANCEL});
    PressStart(660, 10);
    EXPECT_EQ(BoxTexts()[0], platform::LoadStringById(242));
    EXPECT_FALSE(m_work.Exists("Orvin")) << "declining the download leaves no client";
    EXPECT_TRUE(m_host.timers.empty());
    m_host.boxes.clear();
    PressStart(660, 10);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{platform::LoadStringById(243)});
}

struct FailureRow {
    const char* name;
    int message;
};

class InstallFailure : public Install, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(InstallFailure, IsToldAndLeavesNoInstalledClient) {
    std::string name = GetParam().name;
    PublishClient(kClient);
    std::string archive = m_full + "/" + m_dlg.GetArchiveName();
    if (name == "ArchiveMissing") m_server.Fail(archive, HttpFault::NotFound);
    if (name == "IndexMissing") m_server.Fail(m_full + "/full_index.txt", HttpFault::NotFound);
    if (name == "ArchiveDamaged") m_server.Serve(archive, "PK\x03\x04 but nothing that unpacks");
    if (name == "StopsPartWay") {
        // The game client arrives first; the entry after it is damaged.
        WriteZip(m_work / "p.zip", {{"VelmoraEac.exe", "game"}, {"data/big.dat", std::string(300000, 'q')}});
        std::string bytes = m_work.Read("p.zip");
        fs::remove(m_work / "p.zip");
        for (size_t i = 120; i < 400; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x33);
        m_server.Serve(archive, bytes);
    }
    if (name == "OutsideTheFolder") {
        WriteZip(m_work / "p.zip", {{"VelmoraEac.exe", "game"}, {"../escaped.txt", "x"}});
        std::string bytes = m_work.Read("p.zip");
        fs::remove(m_work / "p.zip");
        m_server.Serve(archive, bytes);
    }
    PressStart();
    RunTimers();
    auto texts = BoxTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), platform::LoadStringById(GetParam().message)),
              texts.end())
        << name;
    for (const std::string& text : BoxTexts()) EXPECT_NE(text, "Installation has been Completed.");
    EXPECT_FALSE(m_work.Exists("Orvin/VelmoraEac.exe"));
    EXPECT_FALSE(m_work.Exists("escaped.txt"));
    EXPECT_TRUE(m_host.timers.empty());
}

INSTANTIATE_TEST_SUITE_P(Failures, InstallFailure,
                         ::testing::Values(FailureRow{"IndexMissing", 244}, FailureRow{"ArchiveMissing", 244},
                                           FailureRow{"ArchiveDamaged", 246}, FailureRow{"StopsPartWay", 246},
                                           FailureRow{"OutsideTheFolder", 246}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Install, StartAndServerChangeWaitForARunningDownload) {
    m_server.Serve(m_full + "/full_index.txt", "x 10\n");
    m_server.Serve(m_full + "/" + m_dlg.GetArchiveName(), std::string(300000, 's'));
    m_server.Fail(m_full + "/" + m_dlg.GetArchiveName(), HttpFault::Stall, 1000);
    PressStart();
    ASSERT_TRUE(m_dlg.m_downloader->IsBusy());
    PressStart();
    EXPECT_EQ(BoxTexts().back(), "Already Processing, Please Waiting");
    m_dlg.OnCommand(IDC_SERVER, CBN_SELCHANGE);
    EXPECT_EQ(BoxTexts().back(), "Currently downloading.");
    RunTimers();
    EXPECT_EQ(BoxTexts().back(), platform::LoadStringById(244));
}

}  // namespace
