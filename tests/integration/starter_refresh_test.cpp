#include "core/starter_refresh.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "core/launcher_globals.h"
#include "patcher/banner_file.h"
#include "support/fast_transfers.h"
#include "support/https_server.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

const std::string kStarterDir = "/orl/KOR/Starter";

std::string Record(int32_t blockSize, uint64_t sum) {
    std::string r(12, '\0');
    std::memcpy(r.data(), &blockSize, 4);
    uint32_t low = static_cast<uint32_t>(sum), high = static_cast<uint32_t>(sum >> 32);
    std::memcpy(r.data() + 4, &low, 4);
    std::memcpy(r.data() + 8, &high, 4);
    return r;
}

uint64_t ByteSum(const std::string& bytes) {
    uint64_t sum = 0;
    for (unsigned char c : bytes) sum += c;
    return sum;
}

class Starter : public WorkingFolderTest {
protected:
    void SetUp() override {
        WorkingFolderTest::SetUp();
        setenv("ORL_UPDATE_HOST", m_server.Root().c_str(), 1);
        m_server.Serve(kStarterDir + "/VelmoraORL.exe", kNew);
    }
    void TearDown() override {
        unsetenv("ORL_UPDATE_HOST");
        WorkingFolderTest::TearDown();
    }
    int Downloads() { return m_server.RequestCount(kStarterDir + "/VelmoraORL.exe"); }
    int RecordRequests() { return m_server.RequestCount(kStarterDir + "/checksumdata.csd"); }

    const std::string kOld = "old starter \xff\xfe";
    const std::string kNew = "new starter \x80\x81\x82 with more bytes";
    HttpsServer m_server;
};

TEST_F(Starter, SwitchedOffMeansNoRequest) {
    m_work.Write("config_stage.ini", "[Download]\r\nEnableStarter=0\r\n");
    RefreshStarter();
    EXPECT_TRUE(m_server.Requests().empty());
    EXPECT_FALSE(m_work.Exists("VelmoraORL.exe"));
}

TEST_F(Starter, MissingStarterIsFetchedWithoutAskingForTheRecord) {
    RefreshStarter();
    EXPECT_EQ(RecordRequests(), 0);
    EXPECT_EQ(m_work.Read("VelmoraORL.exe"), kNew);
    struct stat st;
    ASSERT_EQ(::stat((m_work / "VelmoraORL.exe").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
}

struct RecordCase {
    const char* name;
    std::string record;  // "new" stands for a record of the new starter
    bool downloaded;
    bool replaced;
};

class StarterRecord : public Starter, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(StarterRecord, DecidesWhetherToReplace) {
    m_work.Write("VelmoraORL.exe", kOld);
    std::string record = GetParam().record;
    // Records naming the new starter's sum are written against it.
    if (record == "new") record = Record(4096, ByteSum(kNew));
    m_server.Serve(kStarterDir + "/checksumdata.csd", record);
    RefreshStarter();
    EXPECT_EQ(m_work.Read("VelmoraORL.exe"), GetParam().replaced ? kNew : kOld);
    EXPECT_EQ(Downloads(), GetParam().downloaded ? 1 : 0);
}

const uint64_t kOldSum = ByteSum("old starter \xff\xfe");

INSTANTIATE_TEST_SUITE_P(
    Records, StarterRecord,
    ::testing::Values(RecordCase{"RightSum", Record(4096, kOldSum), false, false},
                      RecordCase{"RightSumBlockOfOne", Record(1, kOldSum), false, false},
                      RecordCase{"RightSumOddBlock", Record(7, kOldSum), false, false},
                      RecordCase{"UnusableBlockSizeStillSums", Record(0, kOldSum), false, false},
                      // The download does not carry the recorded sum either, so it is not used.
                      RecordCase{"HighHalfDiffers", Record(4096, kOldSum + (1ull << 32)), true, false},
                      RecordCase{"ElevenBytes", Record(4096, kOldSum).substr(0, 11), true, true},
                      RecordCase{"ThirteenBytes", Record(4096, kOldSum) + "x", true, true},
                      RecordCase{"NewStarterSum", "new", true, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Starter, DifferentSumWithAWrongDownloadKeepsTheOldStarter) {
    m_work.Write("VelmoraORL.exe", kOld);
    // The record names a starter that the server does not deliver.
    m_server.Serve(kStarterDir + "/checksumdata.csd", Record(4096, 12345));
    RefreshStarter();
    EXPECT_EQ(Downloads(), 1);
    EXPECT_EQ(m_work.Read("VelmoraORL.exe"), kOld);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_work.path()), fs::directory_iterator()), 1);
}

TEST_F(Starter, FailedDownloadKeepsTheOldStarter) {
    FastTransfers limits;
    m_work.Write("VelmoraORL.exe", kOld);
    m_server.Serve(kStarterDir + "/VelmoraORL.exe", kNew);
    m_server.Fail(kStarterDir + "/VelmoraORL.exe", HttpFault::CutShort, 5);
    RefreshStarter();
    EXPECT_EQ(m_work.Read("VelmoraORL.exe"), kOld);
    m_server.Fail(kStarterDir + "/VelmoraORL.exe", HttpFault::NotFound);
    RefreshStarter();
    EXPECT_EQ(m_work.Read("VelmoraORL.exe"), kOld);
}

TEST(ByteSum, EmptyFileSumsToZeroAndBlockSizeDoesNotMatter) {
    TempFolder folder;
    folder.Write("empty", "");
    ChecksumRecord record{4096, 99};
    ASSERT_TRUE(record.ComputeFileByteSum(folder / "empty"));
    EXPECT_EQ(record.byteSum, 0u);
    std::string bytes;
    for (int i = 0; i < 10000; ++i) bytes.push_back(static_cast<char>(i * 31));
    folder.Write("data", bytes);
    for (int32_t block : {1, 7, 4096, 10000, -3}) {
        ChecksumRecord r{block, 0};
        ASSERT_TRUE(r.ComputeFileByteSum(folder / "data"));
        EXPECT_EQ(r.byteSum, ByteSum(bytes)) << block;
    }
    EXPECT_FALSE(record.ComputeFileByteSum(folder / "missing"));
}

class BannerFile : public WorkingFolderTest {
protected:
    void SetUp() override {
        WorkingFolderTest::SetUp();
        setenv("ORL_UPDATE_HOST", m_server.Root().c_str(), 1);
        SetBaseUrl("");
        m_work.MakeFolder("Orvin");
    }
    void TearDown() override {
        unsetenv("ORL_UPDATE_HOST");
        WorkingFolderTest::TearDown();
    }
    HttpsServer m_server;
};

TEST_F(BannerFile, FreshFileGoesIntoTheClientFolder) {
    m_server.Serve("/orl/KOR/Starter/orl.ini", "[BannerURL]\r\n1=https://x\r\n");
    RefreshBannerFile(m_work / "Orvin");
    EXPECT_EQ(m_work.Read("Orvin/orl.ini"), "[BannerURL]\r\n1=https://x\r\n");
    EXPECT_FALSE(m_work.Exists("orl.ini"));
    EXPECT_EQ(g_baseUrl, m_server.Root() + "/orl/KOR/Starter");
}

TEST_F(BannerFile, ErrorAnswerIsNotKept) {
    m_work.Write("Orvin/orl.ini", "old");
    m_server.Fail("/orl/KOR/Starter/orl.ini", HttpFault::NotFound);
    RefreshBannerFile(m_work / "Orvin");
    EXPECT_EQ(m_work.Read("Orvin/orl.ini"), "old");
    EXPECT_FALSE(m_work.Exists("orl.ini"));
}

TEST_F(BannerFile, ServerListChoosesTheFolderOrSwitchesTheDownloadOff) {
    m_server.Serve("/banners/here/orl.ini", "banners");
    m_work.Write("serverlist.ini",
                 "[UpdateServer]\r\ndomain=" + m_server.Root() + "\r\norldir=banners/here\r\n");
    RefreshBannerFile(m_work / "Orvin");
    EXPECT_EQ(m_work.Read("Orvin/orl.ini"), "banners");
    SetBaseUrl("");
    m_work.Write("serverlist.ini", "[UpdateServer]\r\norldir=orldir\r\n");
    size_t before = m_server.Requests().size();
    RefreshBannerFile(m_work / "Orvin");
    EXPECT_EQ(m_server.Requests().size(), before);
}

TEST_F(BannerFile, WithoutAClientFolderTheFileStaysInTheWorkingFolder) {
    m_server.Serve("/orl/KOR/Starter/orl.ini", "banners");
    RefreshBannerFile(m_work / "Kessa");
    EXPECT_EQ(m_work.Read("orl.ini"), "banners");
}

TEST_F(BannerFile, StaleByMonthOrDayButNotByYear) {
    std::time_t now = std::time(nullptr);
    std::tm today{};
    localtime_r(&now, &today);
    EXPECT_TRUE(BannerFileIsStale(m_work / "Orvin", today));
    m_work.Write("Orvin/orl.ini", "x");
    EXPECT_FALSE(BannerFileIsStale(m_work / "Orvin", today));
    std::tm nextYear = today;
    nextYear.tm_year += 1;
    EXPECT_FALSE(BannerFileIsStale(m_work / "Orvin", nextYear));
    std::tm otherDay = today;
    otherDay.tm_mday = today.tm_mday == 1 ? 2 : 1;
    EXPECT_TRUE(BannerFileIsStale(m_work / "Orvin", otherDay));
    std::tm otherMonth = today;
    otherMonth.tm_mon = (today.tm_mon + 1) % 12;
    EXPECT_TRUE(BannerFileIsStale(m_work / "Orvin", otherMonth));
}

// A hostile starter or record ends the refresh within the bounds, or at once when the launcher
// closes. A broken starter leaves the player's as it was; a broken record is no record, so the
// server's starter is fetched.
struct HostileStarter {
    const char* name;
    const char* file;
    HttpFault fault;
    size_t after;
    bool replaced;
};

class StarterFaults : public Starter, public ::testing::WithParamInterface<HostileStarter> {};

TEST_P(StarterFaults, LeaveTheStarterAsItWas) {
    FastTransfers limits;
    m_work.Write("VelmoraORL.exe", kOld);
    m_server.Serve(kStarterDir + "/checksumdata.csd", Record(4096, ByteSum(kNew)));
    m_server.Fail(kStarterDir + "/" + GetParam().file, GetParam().fault, GetParam().after);
    RefreshStarter();
    EXPECT_EQ(m_work.Read("VelmoraORL.exe"), GetParam().replaced ? kNew : kOld);

    m_work.Write("VelmoraORL.exe", kOld);
    const std::string hostile = kStarterDir + "/" + GetParam().file;
    const int asked = m_server.RequestCount(hostile);
    std::atomic<bool> stop{false};
    std::thread refresh([&] { RefreshStarter(&stop); });
    // Stopped once the hostile answer has begun.
    for (int i = 0; i < 10000 && m_server.RequestCount(hostile) == asked; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_GT(m_server.RequestCount(hostile), asked);
    auto start = std::chrono::steady_clock::now();
    stop = true;
    refresh.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    std::string starter = m_work.Read("VelmoraORL.exe");
    EXPECT_TRUE(starter == kOld || (GetParam().replaced && starter == kNew));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StarterFaults,
    ::testing::Values(HostileStarter{"EndlessStarter", "VelmoraORL.exe", HttpFault::Endless, 0, false},
                      HostileStarter{"DripStarter", "VelmoraORL.exe", HttpFault::Drip, 200, false},
                      HostileStarter{"EndlessRecord", "checksumdata.csd", HttpFault::Endless, 0, true},
                      HostileStarter{"DripRecord", "checksumdata.csd", HttpFault::Drip, 200, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
