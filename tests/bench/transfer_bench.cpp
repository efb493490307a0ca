// The launcher's downloads beside curl in the same run, from one loopback HTTPS server (orl-devserver)
// over files in /dev/shm:
// - the full-client download and the update archive's download, each against curl's rate;
// - the whole update path of the real launcher under Xvfb, from the driven start press to the
//   hand-over, against curl plus orl-liza unpack of the same archive, with the launcher's resident
//   memory before the press and at its peak;
// - the longest gap between two passes of the main loop while each download runs, also with the
//   player's speed cap at 1000 KB/s.
//   build/bin/transfer_bench [MiB]     (default 1024)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/plx_app.h"
#include "patcher/liza.h"
#include "platform/signatures.h"
#include "support/dev_server_process.h"
#include "support/orl_process.h"
#include "support/recording_host.h"
#include "support/substitutes.h"
#include "support/x_server.h"
#include "window/control_ids.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

void WriteNoise(const fs::path& path, uint64_t bytes, uint64_t seed, const std::string& head = "",
                const std::string& tail = "") {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << head;
    std::vector<uint64_t> block(1 << 20);
    uint64_t x = seed | 1;
    for (uint64_t left = bytes; left > 0;) {
        for (uint64_t& v : block) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            v = x;
        }
        size_t n = static_cast<size_t>(std::min<uint64_t>(left, block.size() * 8));
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
        left -= n;
    }
    out << tail;
}

void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A stored LIZA container of bytes of noise: the archive the launcher unpacks before the hand-over.
void WriteStoredArchive(const fs::path& path, uint64_t bytes) {
    uint8_t header[kLizaHeaderSize] = {};
    LizaStore32(header, kLizaMagic);
    LizaStore32(header + 4, kLizaLevel);
    LizaStore32(header + 8, static_cast<uint32_t>(bytes + kLizaHeaderSize + kLizaTrailerSize));
    LizaStore32(header + 12, static_cast<uint32_t>(bytes));
    WriteNoise(path, bytes, 7, std::string(reinterpret_cast<char*>(header), sizeof header), "LIZA");
}

double Timed(const std::string& command) {
    auto start = Clock::now();
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
    return Seconds(start);
}

long ResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return 0;
}

// A client folder at version 1.0 whose game programs are scripts that end at once.
void MakeClient(const fs::path& work) {
    WriteText(work / "config_stage.ini", "[Download]\r\nEnableStarter=0\r\n");
    WriteText(work / "Orvin/List.mfm", std::string("1.0") + std::string(9, '\0'));
    for (const char* program : {"VelmoraEac.exe", "VelmoraGameUpdate.exe"}) {
        WriteText(work / "Orvin" / program, "#!/bin/sh\nexit 0\n");
        fs::permissions(work / "Orvin" / program, fs::perms::owner_all);
    }
}

// The main loop of the launcher in this process, on the recording host: the longest gap between the
// starts of two passes while running() holds. Each pass is followed by the host's idle wait.
double LongestPassGapMs(CPLXApp& app, RecordingHost& host, const auto& running, bool pollDownloader) {
    double longest = 0;
    auto last = Clock::now(), lastTimer = last;
    while (running()) {
        auto now = Clock::now();
        longest = std::max(longest, std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
        if (!app.RunPass()) break;
        if (pollDownloader && now - lastTimer >= std::chrono::milliseconds(250)) {
            host.FireTimer(0);
            lastTimer = now;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(host.pumpWaits.back()));
    }
    return longest;
}

struct NoKeys : platform::IKeyState {
    bool IsEscapeDown() override { return false; }
};

struct DrivenRun {
    double pressToHandOver = 0;
    long idleKiB = 0;
    long peakKiB = 0;
};

// The real launcher, driven, in work against host: the time from its start press to its hand-over,
// and its resident memory just before the press and at its peak after it.
DrivenRun RunDriven(const fs::path& work, const std::string& host, const std::string& ca,
                    const std::string& display) {
    std::vector<std::string> env = EnvironmentWith(
        {"DISPLAY=" + display, "ORL_UPDATE_HOST=" + host, "ORL_WEB_HOST=" + host,
         "ORL_COMMUNITY_HOST=" + host, "ORL_CA_BUNDLE=" + ca,
         "XDG_RUNTIME_DIR=" + (work / "runtime").string(), "QT_LOGGING_RULES=qt.webenginecontext=false"});
    fs::create_directories(work / "runtime");
    fs::permissions(work / "runtime", fs::perms::owner_all);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args{ORL_PATH, "--drive", "--drive-delay", "500"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int fds[2];
    if (pipe(fds) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, work.c_str());
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, ORL_PATH, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    DrivenRun run;
    if (spawned != 0) return run;
    std::string pending;
    Clock::time_point pressed{};
    bool handedOver = false;
    long lastKiB = 0;
    for (;;) {
        pollfd waiting{fds[0], POLLIN, 0};
        int ready = poll(&waiting, 1, 5);
        long kib = ResidentKiB(pid);
        if (kib != 0) lastKiB = kib;
        if (pressed != Clock::time_point{} && !handedOver) run.peakKiB = std::max(run.peakKiB, kib);
        if (ready <= 0) continue;
        char buffer[4096];
        ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
            std::string line = pending.substr(0, end);
            if (line.find("presses the start button") != std::string::npos &&
                pressed == Clock::time_point{}) {
                pressed = Clock::now();
                run.idleKiB = lastKiB;
            }
            if (line.rfind("pCommandLine", 0) == 0 && !handedOver && pressed != Clock::time_point{}) {
                run.pressToHandOver = Seconds(pressed);
                handedOver = true;
            }
        }
    }
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    const uint64_t bytes = mib << 20;
    fs::path work = fs::path("/dev/shm") / ("orl-transfer-bench-" + std::to_string(getpid()));
    fs::path tree = work / "tree";
    const std::string full = "live/VEL-KOR/full/Velmora_Orvin.zip";
    const std::string archive = "live/real/dat/1.0_to_1.1.dat";
    WriteNoise(tree / full, bytes, 3);
    WriteStoredArchive(tree / archive, bytes);
    const uint64_t archiveBytes = fs::file_size(tree / archive);
    WriteText(tree / "live/real/last.ver", "1.1\r\n");
    WriteText(tree / "live/real/1.0.siz", std::to_string(archiveBytes));
    WriteText(tree / "live/real/1.0.ldt", "1.0_to_1.1.dat");
    WriteText(tree / "live/real/dat/1.0.siz", std::to_string(archiveBytes));
    WriteText(tree / "live/VEL-KOR/full/full_index.txt",
              "Velmora_Orvin.zip " + std::to_string(bytes) + "\r\n");
    DevServerProcess server(tree, work / "state");
    if (server.host.empty()) {
        std::fprintf(stderr, "orl-devserver did not start\n");
        return 1;
    }
    setenv("ORL_CA_BUNDLE", server.ca.c_str(), 1);
    setenv("ORL_UPDATE_HOST", server.host.c_str(), 1);
    const std::string curl = "curl -s --cacert " + server.ca + " -o " + (work / "curl.out").string() + " ";
    std::printf("%llu MiB over loopback HTTPS from orl-devserver, files in /dev/shm\n",
                static_cast<unsigned long long>(mib));

    // The two downloads, each beside curl, best of two.
    fs::create_directories(work / "dl");
    const double mb = static_cast<double>(bytes) / 1e6;
    // Each figure is the best of three, the launcher and curl taking turns, every output removed
    // before the next run so that both write into the same free room.
    auto curlRun = [&](const std::string& path) {
        double seconds = Timed(curl + server.host + "/" + path);
        fs::remove(work / "curl.out");
        return seconds;
    };
    auto compare = [&](const char* what, const auto& launcher, const std::string& path) {
        double ours = 1e9, theirs = 1e9;
        for (int round = 0; round < 3; ++round) {
            ours = std::min(ours, launcher());
            theirs = std::min(theirs, curlRun(path));
        }
        std::printf("%s: launcher %.0f MB/s, curl %.0f MB/s, rate ratio %.2f (goal >= 0.95)\n", what,
                    mb / ours, mb / theirs, theirs / ours);
    };
    compare(
        "full-client download",
        [&] {
            CFTPDownload downloader;
            auto start = Clock::now();
            downloader.AddAndStart(
                {server.host, "live/VEL-KOR/full", "Velmora_Orvin.zip", (work / "dl").string()});
            while (!downloader.IsDone()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            double seconds = Seconds(start);
            fs::remove(work / "dl/Velmora_Orvin.zip");
            return seconds;
        },
        full);
    platform::HttpSession session("InetURL/1.0");
    compare(
        "update archive download",
        [&] {
            auto start = Clock::now();
            platform::Transfer transfer(session, {.url = server.host + "/" + archive,
                                                  .path = (work / "dl/Update.dat").string(),
                                                  .large = true,
                                                  .expectedSize = archiveBytes});
            transfer.Run();
            double seconds = Seconds(start);
            fs::remove(work / "dl/Update.dat");
            return seconds;
        },
        archive);
    // The cost of verifying: the same zip downloaded with and without its SHA-256 checked as it
    // streams in, taking turns.
    const std::string fullSha = *platform::Sha256OfFile((tree / full).string());
    auto fullDownload = [&](bool verify) {
        auto start = Clock::now();
        platform::Transfer transfer(session, {.url = server.host + "/" + full,
                                              .path = (work / "dl/Velmora_Orvin.zip").string(),
                                              .large = true,
                                              .expectedSize = bytes,
                                              .expectedSha256 = verify ? fullSha : ""});
        transfer.Run();
        double seconds = Seconds(start);
        fs::remove(work / "dl/Velmora_Orvin.zip");
        return seconds;
    };
    double verified = 1e9, unverified = 1e9;
    for (int round = 0; round < 3; ++round) {
        verified = std::min(verified, fullDownload(true));
        unverified = std::min(unverified, fullDownload(false));
    }
    std::printf(
        "full-client zip downloaded and verified: %.0f MB/s, unverified %.0f MB/s, rate ratio %.2f "
        "(goal >= 0.95)\n",
        mb / verified, mb / unverified, unverified / verified);
    fs::remove_all(work / "dl");

    // The longest gap between two passes of the main loop while each download runs.
    double gaps[3] = {};
    for (int which = 0; which < 3; ++which) {
        fs::path app = work / ("app" + std::to_string(which));
        MakeClient(app);
        if (which == 2) WriteText(app / "ORLConfig.ini", "[Download]\r\nMaxKBps=1000\r\n");
        fs::path previous = fs::current_path();
        fs::current_path(app);
        {
            RecordingHost host;
            host.ComboAddString(IDC_SERVER, " 오르빈");
            host.ComboSetCurSel(IDC_SERVER, 0);
            NoKeys keys;
            CPLXApp launcher(host, keys);
            launcher.InitInstance();
            CPLXDlg& dlg = launcher.m_dlg;
            if (which == 0) {
                dlg.m_downloader->AddAndStart(
                    {server.host, "live/VEL-KOR/full", "Velmora_Orvin.zip", app.string()});
                host.SetTimer(0, 250);
                gaps[0] = LongestPassGapMs(
                    launcher, host, [&] { return !dlg.m_downloader->IsDone(); }, true);
            } else {
                dlg.StartPatch();
                auto until = Clock::now() + std::chrono::seconds(3);
                gaps[which] = LongestPassGapMs(
                    launcher, host,
                    [&] {
                        bool downloading =
                            dlg.m_bPatchBusy || (dlg.m_hPatchUrl && !dlg.m_hPatchUrl->Finished());
                        return downloading && (which == 1 || Clock::now() < until);
                    },
                    false);
            }
            dlg.DestroyWindow();
            launcher.Run();
        }
        fs::current_path(previous);
        fs::remove_all(app);
    }
    std::printf(
        "longest gap between two passes of the main loop: full-client download %.1f ms, update download "
        "%.1f ms, update capped at 1000 KB/s %.1f ms (goal < 50)\n",
        gaps[0], gaps[1], gaps[2]);

    // The whole update path of the real launcher beside curl and orl-liza unpack, best of two each,
    // with only the archive left in /dev/shm so that both write into the same room.
    fs::remove(tree / full);
    fs::remove(work / "curl.out");
    XServer x("1920x1080x24");
    DrivenRun run{1e9, 0, 0};
    double tools = 1e9;
    for (int round = 0; round < 2; ++round) {
        tools =
            std::min(tools, Timed(curl + server.host + "/" + archive) +
                                Timed(std::string(ORL_LIZA_PATH) + " unpack " + (work / "curl.out").string() +
                                      " " + (work / "unpacked").string() + " >/dev/null"));
        fs::remove(work / "curl.out");
        fs::remove(work / "unpacked");
        fs::path driven = work / "driven";
        MakeClient(driven);
        DrivenRun once = RunDriven(driven, server.host, server.ca, x.display);
        fs::remove_all(driven);
        if (once.pressToHandOver > 0 && once.pressToHandOver < run.pressToHandOver) run = once;
    }
    std::printf(
        "update path, start press to hand-over: launcher %.2f s, curl + orl-liza unpack %.2f s, ratio %.2f "
        "(goal <= 1.15)\n",
        run.pressToHandOver, tools, run.pressToHandOver / tools);
    std::printf(
        "launcher memory during the update: %.0f MB before the press, %.0f MB at the peak, %.0f MB above "
        "(goal <= 100)\n",
        run.idleKiB / 1024.0, run.peakKiB / 1024.0, (run.peakKiB - run.idleKiB) / 1024.0);
    fs::remove_all(work);
    return 0;
}
