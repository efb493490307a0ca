#include "core/crash_record.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <regex>

#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

void NoCoreFiles() {
    struct rlimit none {
        0, 0
    };
    ::setrlimit(RLIMIT_CORE, &none);
}

// Runs body in a child whose working folder is folder; returns the child's wait status.
template <typename Body>
int RunChild(const std::string& folder, Body body) {
    pid_t pid = ::fork();
    if (pid == 0) {
        NoCoreFiles();
        if (::chdir(folder.c_str()) != 0) ::_exit(99);
        body();
        ::_exit(98);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

std::vector<fs::path> Records(const std::string& folder) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() == ".dmp") found.push_back(entry.path());
    }
    return found;
}

TEST(CrashRecord, NameFollowsTheDateRuleWithoutLeadingZeros) {
    std::tm local{};
    local.tm_year = 2024 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 7;
    local.tm_hour = 9;
    local.tm_min = 5;
    local.tm_sec = 3;
    EXPECT_EQ(CrashRecordName(local), "orl.bin 2024-3-7 9_5_3.dmp");
}

TEST(CrashRecord, FaultWritesRecordInWorkingFolderAndEndsQuietly) {
    TempFolder folder;
    void* page = ::mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(page, MAP_FAILED);
    std::time_t before = std::time(nullptr);
    int status = RunChild(folder.path(), [page] {
        InstallCrashHandler();
        *static_cast<volatile int*>(page) = 1;
    });
    std::time_t after = std::time(nullptr);
    ::munmap(page, 4096);

    ASSERT_TRUE(WIFEXITED(status)) << "the system's crash handling ran: status " << status;
    auto records = Records(folder.path());
    ASSERT_EQ(records.size(), 1u);

    std::smatch parts;
    std::string name = records[0].filename().string();
    ASSERT_TRUE(
        std::regex_match(name, parts, std::regex(R"(orl\.bin (\d{4})-(\d+)-(\d+) (\d+)_(\d+)_(\d+)\.dmp)")))
        << name;
    bool matchesClock = false;
    for (std::time_t t = before; t <= after; ++t) {
        std::tm local{};
        localtime_r(&t, &local);
        matchesClock |= CrashRecordName(local) == name;
    }
    EXPECT_TRUE(matchesClock) << name;

    std::string content = folder.Read(name);
    EXPECT_NE(content.find("signal: 11 (SIGSEGV)"), std::string::npos);
    char address[32];
    snprintf(address, sizeof address, "fault address: %p", page);
    EXPECT_NE(content.find(address), std::string::npos) << content.substr(0, 200);
    EXPECT_NE(content.find("backtrace"), std::string::npos);
    EXPECT_NE(content.find("(+0x"), std::string::npos) << "backtrace lines carry module offsets";
    EXPECT_NE(content.find("memory map:"), std::string::npos);
    EXPECT_NE(content.find("[stack]"), std::string::npos);
}

TEST(CrashRecord, AbortIsRecordedToo) {
    TempFolder folder;
    int status = RunChild(folder.path(), [] {
        InstallCrashHandler();
        std::abort();
    });
    ASSERT_TRUE(WIFEXITED(status));
    auto records = Records(folder.path());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_NE(folder.Read(records[0].filename().string()).find("(SIGABRT)"), std::string::npos);
}

TEST(CrashRecord, UnwritableFolderLetsThePreviousDispositionRun) {
    TempFolder folder;
    std::string doomed = folder / "gone";
    fs::create_directory(doomed);
    int status = RunChild(doomed, [&] {
        InstallCrashHandler();
        ::rmdir(doomed.c_str());
        std::abort();
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
}

void MarkerHandler(int) {}

TEST(CrashRecord, RemovingPutsThePreviousHandlerBack) {
    struct sigaction marker {
    }, saved{}, now{};
    marker.sa_handler = MarkerHandler;
    sigemptyset(&marker.sa_mask);
    ::sigaction(SIGBUS, &marker, &saved);
    InstallCrashHandler();
    ::sigaction(SIGBUS, nullptr, &now);
    EXPECT_NE(now.sa_handler, MarkerHandler);
    RemoveCrashHandler();
    ::sigaction(SIGBUS, nullptr, &now);
    EXPECT_EQ(now.sa_handler, MarkerHandler);
    ::sigaction(SIGBUS, &saved, nullptr);
}

// The handler takes the local time at the moment of the fault: across a summer-time change after its
// installation the record's name keeps the zone's offset of that moment.
TEST(CrashRecord, OffsetFollowsTheTimeZoneAtTheMomentOfTheFault) {
    const char* saved = std::getenv("TZ");
    std::string previous = saved != nullptr ? saved : "";
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    RemoveCrashHandler();
    InstallCrashHandler();
    std::time_t now = std::time(nullptr);
    int changes = 0;
    long last = CrashUtcOffsetAt(now);
    for (std::time_t t = now; t < now + 2 * 366 * 86400; t += 3 * 3600) {
        std::tm local{};
        localtime_r(&t, &local);
        EXPECT_EQ(CrashUtcOffsetAt(t), local.tm_gmtoff) << t;
        changes += CrashUtcOffsetAt(t) != last;
        last = CrashUtcOffsetAt(t);
    }
    EXPECT_GE(changes, 3) << "two years hold summer and winter time twice";
    RemoveCrashHandler();
    if (saved != nullptr) {
        setenv("TZ", previous.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

}  // namespace
