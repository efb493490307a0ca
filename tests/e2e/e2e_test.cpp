// The real orl program, driven by its --drive option under Xvfb, against a tree that orl-publish
// made from two client releases and that orl-devserver or nginx serves: the hand-overs, the update,
// the full install, and the failures that must leave the installed client as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include "platform/release_manifest.h"
#include "platform/resources.h"
#include "platform/signatures.h"
#include "support/dev_server_process.h"
#include "support/https_server.h"
#include "support/nginx_process.h"
#include "support/orl_process.h"
#include "support/substitutes.h"
#include "support/temp_folder.h"
#include "support/x_server.h"
#include "update-payload/update_payload.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUpdateArchive = "live/real/dat/1.0_to_1.1.dat";

// The published tree is plain static files: the launcher's own loopback server and a real web
// server serve it alike.
enum class TreeServer { DevServer, Nginx };

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_x.display.empty());
        Release("1.0");
        m_folder.Write("releases/1.0/data/old.txt", "retired in 1.1");
        Release("1.1");
        m_folder.Write("releases/1.1/data/events.pak", std::string(70000, 'e'));
        m_folder.Write("starter.exe", "#!/bin/sh\necho starter\n");
        std::string releases =
            " --release 1.0 " + (m_folder / "releases/1.0") + " --release 1.1 " + (m_folder / "releases/1.1");
        std::string command = std::string(ORL_PUBLISH_PATH) + " " + (m_folder / "tree") + releases +
                              " --full 1.0 --edition kessa" + releases + " --full 1.0 --starter " +
                              (m_folder / "starter.exe") + m_publishOptions + " >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        m_folder.MakeFolder("work");
        m_folder.MakeFolder("runtime");
        fs::permissions(m_folder / "runtime", fs::perms::owner_all);
    }
    void Release(const std::string& version) {
        std::string dir = "releases/" + version;
        m_folder.MakeFolder(dir);
        fs::copy_file(ORL_DEMO_GAME_PATH, m_folder / (dir + "/VelmoraEac.exe"));
        fs::copy_file(ORL_DEMO_GAME_PATH, m_folder / (dir + "/VelmoraGameUpdate.exe"));
        m_folder.Write(dir + "/data/world.pak", std::string(200000, 'w'));
        m_folder.Write(dir + "/data/patch.pak", "patch level " + version);
        if (m_bulkBytes != 0) {
            // Data that does not compress, different in every release.
            std::string bulk(m_bulkBytes, '\0');
            uint64_t x = std::hash<std::string>()(version) | 1;
            for (char& c : bulk) {
                x ^= x << 13;
                x ^= x >> 7;
                x ^= x << 17;
                c = static_cast<char>(x);
            }
            m_folder.Write(dir + "/data/bulk.bin", bulk);
        }
    }
    // Puts release version into the working folder's client of an edition, as an install would have.
    void Install(const std::string& version, const std::string& edition = "Orvin") {
        fs::copy(m_folder / ("releases/" + version), m_folder / ("work/" + edition),
                 fs::copy_options::recursive);
        auto bytes = VersionFileBytes(version);
        m_folder.Write("work/" + edition + "/List.mfm", std::string(bytes.begin(), bytes.end()));
    }
    // Runs orl in the working folder against host; what it printed.
    std::string Run(const std::string& host, const std::string& ca,
                    const std::vector<std::string>& extra = {}, const std::function<bool()>& killWhen = {}) {
        std::vector<std::string> args{"--drive", "--drive-delay", "1000"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::string out = m_folder / "orl.out";
        m_status = RunOrl(
            ORL_PATH, m_folder / "work",
            {"DISPLAY=" + m_x.display, "ORL_UPDATE_HOST=" + host, "ORL_WEB_HOST=" + host,
             "ORL_COMMUNITY_HOST=" + host, "ORL_CA_BUNDLE=" + ca, "XDG_RUNTIME_DIR=" + (m_folder / "runtime"),
             "QT_LOGGING_RULES=qt.webenginecontext=false", "ORL_TRUSTED_KEYS=" + m_trustedKeys},
            args, 150, out, killWhen);
        return m_folder.Read("orl.out");
    }
    std::string RunAgainstTree(const std::vector<std::string>& extra = {}) {
        if (m_treeServer == TreeServer::Nginx) {
            NginxProcess server(m_folder / "tree", m_folder / "state");
            EXPECT_FALSE(server.host.empty());
            return Run(server.host, server.ca, extra);
        }
        DevServerProcess server(m_folder / "tree", m_folder / "state");
        EXPECT_FALSE(server.host.empty());
        return Run(server.host, server.ca, extra);
    }
    // What the game programs of an edition's client were given.
    std::string Handovers(const std::string& edition = "Orvin") {
        std::string log = "work/" + edition + "/handover.log";
        return m_folder.Exists(log) ? m_folder.Read(log) : "";
    }
    std::string Work() { return m_folder / "work"; }
    // Every file of the client with a digest of its content, but those the launcher writes itself:
    // the downloaded archive, the settings that the start button saves and the banner file.
    std::map<std::string, size_t> ClientFiles() {
        std::map<std::string, size_t> files;
        for (const std::string& path : ListClientFiles(m_folder / "work/Orvin"))
            // A partial download stays beside its target for the next start to continue.
            if (path != "Update.dat" && path != "Config.ini" && path != "orl.ini" &&
                !path.ends_with(".part") && !path.ends_with(".part.info"))
                files[path] = std::hash<std::string>()(m_folder.Read("work/Orvin/" + path));
        return files;
    }

    XServer m_x{"1920x1080x24"};
    TempFolder m_folder;
    int m_status = -9;
    TreeServer m_treeServer = TreeServer::DevServer;
    size_t m_bulkBytes = 0;
    std::string m_publishOptions;  // more options for orl-publish
    std::string m_trustedKeys;     // the file of keys the launcher trusts, none when empty
};

class EveryServer : public EndToEnd, public ::testing::WithParamInterface<TreeServer> {
protected:
    void SetUp() override {
        m_treeServer = GetParam();
        EndToEnd::SetUp();
    }
};

TEST_P(EveryServer, CurrentClientIsTidiedAndHandedToTheGameClient) {
    Install("1.1");
    m_folder.Write("work/Orvin/Temp/data/staged.pak", "staged by the updater");
    m_folder.Write("work/Orvin/data/doomed.txt", "listed for deletion");
    m_folder.Write("work/Orvin/DeleteFiles.txt", "data\\doomed.txt\r\n");
    std::string out = RunAgainstTree();
    EXPECT_EQ(m_status, 0) << out;
    EXPECT_EQ(Handovers(), "VelmoraEac.exe started in " + Work() + "/Orvin with: [/useeac--korea]\n") << out;
    EXPECT_EQ(m_folder.Read("work/Orvin/data/staged.pak"), "staged by the updater");
    EXPECT_FALSE(m_folder.Exists("work/Orvin/Temp"));
    EXPECT_FALSE(m_folder.Exists("work/Orvin/data/doomed.txt"));
    EXPECT_FALSE(m_folder.Exists("work/Orvin/DeleteFiles.txt"));
    EXPECT_EQ(m_folder.Read("work/VelmoraORL.exe"), m_folder.Read("starter.exe"))
        << "the starter is refreshed";
}

TEST_P(EveryServer, ClientBehindDownloadsTheUpdateAndHandsItToTheUpdater) {
    Install("1.0");
    std::string out = RunAgainstTree();
    EXPECT_EQ(m_status, 0) << out;
    // The updater stand-in applies Update.dat: that it can shows the launcher unpacked it whole.
    EXPECT_EQ(Handovers(), "VelmoraGameUpdate.exe started in " + Work() +
                               "/Orvin with: [-kq7=?MZ] [curdir:" + Work() +
                               "] [language:0] [server:0]; applied the update from 1.0 to 1.1 (4 changes)\n")
        << out;
    EXPECT_EQ(m_folder.Read("work/Orvin/data/patch.pak"), "patch level 1.1");
    EXPECT_TRUE(m_folder.Exists("work/Orvin/data/events.pak"));
    EXPECT_FALSE(m_folder.Exists("work/Orvin/data/old.txt"));
    EXPECT_FALSE(m_folder.Exists("work/Orvin/Updatez.dat"));
}

TEST_P(EveryServer, KessaClientIsUpdatedFromItsOwnFolders) {
    Install("1.0", "Kessa");
    std::string out = RunAgainstTree({"language:0", "server:1"});
    EXPECT_EQ(m_status, 0) << out;
    EXPECT_EQ(Handovers("Kessa"),
              "VelmoraGameUpdate.exe started in " + Work() + "/Kessa with: [-kq7=?MZ] [curdir:" + Work() +
                  "] [language:0] [server:1]; applied the update from 1.0 to 1.1 (4 changes)\n")
        << out;
    EXPECT_FALSE(m_folder.Exists("work/Orvin/handover.log"));
}

TEST_P(EveryServer, MissingClientIsInstalledThroughThePromptAndTheCompletionBox) {
    std::string out = RunAgainstTree();
    EXPECT_EQ(m_status, 0) << out;
    size_t prompt = out.find("다운로드에 필요한 저장공간: 4.42 GB");
    size_t completed = out.find("box \"orl\": Installation has been Completed.");
    size_t second = out.find("presses the start button", completed);
    ASSERT_NE(prompt, std::string::npos) << out;
    ASSERT_NE(completed, std::string::npos) << out;
    EXPECT_LT(prompt, completed);
    EXPECT_NE(second, std::string::npos) << "the start is pressed again after the install";
    // The installed 1.0 client is then behind and updated on the second press.
    EXPECT_NE(Handovers().find("applied the update from 1.0 to 1.1"), std::string::npos) << out;
    EXPECT_FALSE(m_folder.Exists("work/Velmora_Orvin.zip"));
    EXPECT_FALSE(m_folder.Exists("work/full_index.txt"));
    EXPECT_EQ(m_folder.Read("work/Orvin/data/world.pak"), std::string(200000, 'w'));
}

INSTANTIATE_TEST_SUITE_P(Servers, EveryServer, ::testing::Values(TreeServer::DevServer, TreeServer::Nginx),
                         [](const auto& info) {
                             return std::string(info.param == TreeServer::Nginx ? "Nginx" : "DevServer");
                         });

struct KillCase {
    const char* name;
    bool installed;       // release 1.0 is installed: the update downloads; else the full client
    const char* partial;  // the download's partial file, below the test folder
};

class KillDuringDownload : public EndToEnd, public ::testing::WithParamInterface<KillCase> {
protected:
    void SetUp() override {
        m_bulkBytes = 4 << 20;
        EndToEnd::SetUp();
    }
    uint64_t PartialSize() {
        std::error_code error;
        uint64_t size = fs::file_size(m_folder / GetParam().partial, error);
        return error ? 0 : size;
    }
};

// The launcher is killed at ten points of a download. Every next start asks only for what is not
// on disk yet, and the client ends up as the publisher made it.
TEST_P(KillDuringDownload, EveryNextStartContinuesWhereTheLastStopped) {
    if (GetParam().installed) Install("1.0");
    m_folder.Write("work/ORLConfig.ini", "[Download]\r\nMaxKBps=1000\r\n");
    DevServerProcess server(m_folder / "tree", m_folder / "state");
    std::string archive =
        GetParam().installed ? std::string("/") + kUpdateArchive : "/live/VEL-KOR/full/Velmora_Orvin.zip";
    uint64_t size = fs::file_size(m_folder / ("tree" + archive));
    std::vector<uint64_t> startedAt;
    for (uint64_t point = 1; point <= 10; ++point) {
        startedAt.push_back(PartialSize());
        // The download arrives in bursts: each run is killed once its own share has arrived.
        uint64_t at = std::max(size * point / 11, startedAt.back() + 1);
        std::string out = Run(server.host, server.ca, {}, [&] { return PartialSize() >= at; });
        std::string seen;
        for (uint64_t at : startedAt) seen += std::to_string(at) + " ";
        ASSERT_EQ(m_status, kOrlKilled)
            << "point " << point << " of " << size << " bytes, from " << seen << ": " << out;
    }
    startedAt.push_back(PartialSize());
    std::string out = Run(server.host, server.ca);
    EXPECT_EQ(m_status, 0) << out;
    // The updater goes on after the launcher has ended.
    for (int i = 0; i < 1000 && Handovers().find("applied the update") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_NE(Handovers().find("applied the update from 1.0 to 1.1"), std::string::npos)
        << out << Handovers();
    for (const std::string& path : ListClientFiles(m_folder / "releases/1.1"))
        EXPECT_TRUE(m_folder.Read("work/Orvin/" + path) == m_folder.Read("releases/1.1/" + path)) << path;
    EXPECT_FALSE(m_folder.Exists("work/Orvin/data/old.txt"));
    EXPECT_FALSE(m_folder.Exists(GetParam().partial));

    std::vector<std::string> asked, expected;
    std::istringstream log(m_folder.Read("state/sent.log"));
    for (std::string path, bytes, range; log >> path >> bytes >> range;)
        if (path == archive) asked.push_back(range);
    for (uint64_t at : startedAt) expected.push_back(at == 0 ? "-" : "bytes=" + std::to_string(at) + "-");
    EXPECT_EQ(asked, expected);
}

INSTANTIATE_TEST_SUITE_P(Downloads, KillDuringDownload,
                         ::testing::Values(KillCase{"FullClient", false, "work/Velmora_Orvin.zip.part"},
                                           KillCase{"Update", true, "work/Orvin/Update.dat.part"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EndToEnd, WindowsGameClientStartsThroughWine) {
    Install("1.1");
    std::string client = InstallWindowsSubstitute(Work() + "/Orvin", "VelmoraEac.exe");
    ScopedEnvironment env({{"WINEPREFIX", ORL_TEST_WINEPREFIX}, {"ORL_WINE", ""}, {"PROTONPATH", ""}});
    std::string out = RunAgainstTree();
    EXPECT_EQ(m_status, 0) << out;
    auto runs = WaitForWindowsRuns(client, 1, 120000);
    ASSERT_EQ(runs.size(), 1u) << out;
    EXPECT_EQ(runs[0].commandLine, "\"" + WindowsPath(client) + "\" /useeac--korea");
    EXPECT_EQ(runs[0].cwd, WindowsPath(Work() + "/Orvin"));
}

TEST_F(EndToEnd, WindowsUpdaterWithoutRunnerIsToldAndTheWindowStays) {
    Install("1.0");
    m_folder.Write("work/Orvin/VelmoraGameUpdate.exe", "MZ");
    ScopedEnvironment env({{"PATH", m_folder / "empty"}, {"ORL_WINE", ""}, {"PROTONPATH", ""}});
    std::string out = RunAgainstTree();
    EXPECT_EQ(m_status, 0) << out;
    size_t box = out.find("게임을 실행할 Windows 호환 실행기(Wine)를 찾을 수 없습니다.");
    size_t stops = out.find("stops after the warning");
    ASSERT_NE(box, std::string::npos) << out;
    ASSERT_NE(stops, std::string::npos) << out;
    EXPECT_EQ(out.find("window closes"), out.find("window closes", stops)) << "only the driver closes it";
    EXPECT_TRUE(m_folder.Exists("work/Orvin/Update.ok")) << "the update is kept for the next start";
}

// A signed tree, and the launcher trusting the publisher's root key. A valid tree installs, updates
// and hands over as before; every attack on it leaves the client and the starter byte for byte as
// they were, starts nothing from the tampered files, and is told.
struct SignedCase {
    const char* name;
    int box;  // the refusal told first; 0 for a valid tree
};

class SignedTree : public EndToEnd, public ::testing::WithParamInterface<SignedCase> {
protected:
    void SetUp() override {
        for (const char* who : {"root", "online", "stranger"})
            ASSERT_EQ(
                std::system(
                    (std::string(ORL_PUBLISH_PATH) + " keygen " + (m_folder / who) + " >/dev/null").c_str()),
                0);
        std::string name = GetParam().name;
        if (name == "ValidDelegation") {
            ASSERT_EQ(std::system((std::string(ORL_PUBLISH_PATH) + " delegate " +
                                   (m_folder / "root/orl-signing.key") + " " +
                                   (m_folder / "online/orl-signing.pub") + " --expires 3 " +
                                   (m_folder / "delegation.txt") + " >/dev/null")
                                      .c_str()),
                      0);
            m_publishOptions = " --sign " + (m_folder / "online/orl-signing.key") + " --delegation " +
                               (m_folder / "delegation.txt");
        } else {
            m_publishOptions = " --sign " + (m_folder / "root/orl-signing.key");
        }
        m_trustedKeys = m_folder / "root/orl-signing.pub";
        EndToEnd::SetUp();
    }
    // Signs manifest text with the root key, as the row's attacker could not.
    void Rewrite(const std::string& folder, const std::function<void(platform::ReleaseManifest&)>& change,
                 const std::function<void(platform::ManifestSignature&)>& resign = {}) {
        std::string reason;
        auto manifest =
            platform::ParseManifest(m_folder.Read("tree/" + folder + "/orl-release.txt"), &reason);
        ASSERT_TRUE(manifest) << reason;
        change(*manifest);
        std::string text = platform::FormatManifest(*manifest);
        std::string pem = m_folder.Read("root/orl-signing.key");
        platform::ManifestSignature signature{
            *platform::PublicKeyOf(pem), *platform::SignMessage(pem, text), {}};
        if (resign) resign(signature);
        m_folder.Write("tree/" + folder + "/orl-release.txt", text);
        m_folder.Write("tree/" + folder + "/orl-release.txt.sig", platform::FormatSignature(signature));
    }
    static void FlipByte(const std::string& path) {
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekg(static_cast<std::streamoff>(fs::file_size(path) / 2));
        char c = 0;
        file.read(&c, 1);
        file.seekp(static_cast<std::streamoff>(fs::file_size(path) / 2));
        c = static_cast<char>(c ^ 0x20);
        file.write(&c, 1);
    }
};

TEST_P(SignedTree, TakesOnlyWhatThePublisherSigned) {
    const std::string name = GetParam().name;
    const std::string starter = m_folder.Read("starter.exe");
    if (name != "ValidInstall" && name != "ChangedZip") Install(name == "ChangedOrlIni" ? "1.1" : "1.0");
    m_folder.Write("work/VelmoraORL.exe", name == "ChangedStarter" ? "old starter" : starter);
    if (name == "ChangedStarter") {
        // The same bytes in another order: the same byte sum, another program.
        std::string swapped = starter;
        std::reverse(swapped.begin(), swapped.end());
        m_folder.Write("tree/orl/KOR/Starter/VelmoraORL.exe", swapped);
    }
    if (name == "ChangedZip") FlipByte(m_folder / "tree/live/VEL-KOR/full/Velmora_Orvin.zip");
    if (name == "ChangedArchive") FlipByte(m_folder / ("tree/" + std::string(kUpdateArchive)));
    if (name == "ChangedOrlIni")
        m_folder.Write("tree/orl/KOR/Starter/orl.ini", "[BannerURL]\r\n1=https://evil.example\r\n");
    if (name == "ChangedLastVer") m_folder.Write("tree/live/real/last.ver", "1.2\n");
    if (name == "Rollback") m_folder.Write("work/orl-release.ini", "[Release]\r\norvin=99999999999\r\n");
    if (name == "Expired")
        Rewrite("live/real", [](platform::ReleaseManifest& m) { m.expires = std::time(nullptr) - 60; });
    if (name == "UnknownKey") {
        ASSERT_EQ(std::system((std::string(ORL_PUBLISH_PATH) + " resign " + (m_folder / "tree") + " --sign " +
                               (m_folder / "stranger/orl-signing.key") + " >/dev/null")
                                  .c_str()),
                  0);
    }
    if (name == "DelegationExpired") {
        std::string online = m_folder.Read("online/orl-signing.key");
        Rewrite(
            "live/real", [](platform::ReleaseManifest&) {},
            [&](platform::ManifestSignature& signature) {
                std::string root = m_folder.Read("root/orl-signing.key");
                int64_t until = std::time(nullptr) - 60;
                std::string key = *platform::PublicKeyOf(online);
                signature = {
                    key, *platform::SignMessage(online, m_folder.Read("tree/live/real/orl-release.txt")), {}};
                signature.delegation = platform::Delegation{
                    key, until, *platform::PublicKeyOf(root),
                    *platform::SignMessage(root, platform::DelegationMessage(key, until))};
            });
        // The delegated key signs the manifest as written.
        std::string text = m_folder.Read("tree/live/real/orl-release.txt");
        auto signature =
            platform::ParseSignature(m_folder.Read("tree/live/real/orl-release.txt.sig"), nullptr);
        signature->signature = *platform::SignMessage(online, text);
        m_folder.Write("tree/live/real/orl-release.txt.sig", platform::FormatSignature(*signature));
    }
    if (name == "OtherEdition") {
        fs::copy_file(m_folder / "tree/live/test/orl-release.txt",
                      m_folder / "tree/live/real/orl-release.txt", fs::copy_options::overwrite_existing);
        fs::copy_file(m_folder / "tree/live/test/orl-release.txt.sig",
                      m_folder / "tree/live/real/orl-release.txt.sig", fs::copy_options::overwrite_existing);
    }
    auto before = ClientFiles();
    std::string out = RunAgainstTree();
    EXPECT_EQ(m_status, 0) << out;
    EXPECT_EQ(m_folder.Read("work/VelmoraORL.exe"), name == "ChangedStarter" ? "old starter" : starter);
    if (name.starts_with("Valid")) {
        for (int i = 0; i < 1000 && Handovers().find("applied the update") == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_NE(Handovers().find("applied the update from 1.0 to 1.1"), std::string::npos) << out;
        return;
    }
    if (name == "ChangedStarter" || name == "ChangedOrlIni") {
        // The game's own files are signed and sound: the hand-over goes on without the refused file.
        EXPECT_FALSE(m_folder.Exists("work/Orvin/orl.ini") &&
                     m_folder.Read("work/Orvin/orl.ini").find("evil") != std::string::npos);
        return;
    }
    EXPECT_EQ(ClientFiles(), before) << out;
    EXPECT_EQ(Handovers(), "") << "nothing is started";
    std::string told = platform::LoadStringById(GetParam().box);
    EXPECT_NE(out.find(told.substr(0, told.find('\n'))), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(Rows, SignedTree,
                         ::testing::Values(SignedCase{"Valid", 0}, SignedCase{"ValidInstall", 0},
                                           SignedCase{"ValidDelegation", 0}, SignedCase{"ChangedStarter", 0},
                                           SignedCase{"ChangedZip", 254}, SignedCase{"ChangedArchive", 254},
                                           SignedCase{"ChangedOrlIni", 0}, SignedCase{"ChangedLastVer", 254},
                                           SignedCase{"Rollback", 253}, SignedCase{"Expired", 252},
                                           SignedCase{"UnknownKey", 251},
                                           SignedCase{"DelegationExpired", 251},
                                           SignedCase{"OtherEdition", 251}),
                         [](const auto& info) { return std::string(info.param.name); });

struct FailureCase {
    const char* name;
    const char* message;
};

class EndToEndFailure : public EndToEnd, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(EndToEndFailure, EndsInItsMessageWithTheClientIntact) {
    Install("1.0");
    auto before = ClientFiles();
    std::string name = GetParam().name, out;
    if (name == "ServerDown") {
        out = Run("https://localhost:9", TestAuthorityFile());
    } else if (name == "DamagedArchive") {
        // The trailing magic goes; the size stays what the size files announce.
        std::fstream archive(m_folder / ("tree/" + std::string(kUpdateArchive)),
                             std::ios::in | std::ios::out | std::ios::binary);
        archive.seekp(-4, std::ios::end);
        archive.write("\0\0\0\0", 4);
        archive.close();
        out = RunAgainstTree();
    } else {
        HttpsServer server;
        for (const std::string& path : ListClientFiles(m_folder / "tree"))
            server.Serve("/" + path, m_folder.Read("tree/" + path));
        size_t size = fs::file_size(m_folder / ("tree/" + std::string(kUpdateArchive)));
        server.Fail("/" + std::string(kUpdateArchive), HttpFault::CutShort, size / 2);
        out = Run(server.Root(), TestAuthorityFile());
        EXPECT_FALSE(m_folder.Exists("work/Orvin/Update.dat")) << "a cut archive never takes the name";
    }
    EXPECT_EQ(m_status, 0) << out;
    EXPECT_NE(out.find(GetParam().message), std::string::npos) << out;
    EXPECT_NE(out.find("stops after the warning"), std::string::npos) << out;
    EXPECT_EQ(Handovers(), "") << "nothing is started";
    EXPECT_EQ(ClientFiles(), before);
}

INSTANTIATE_TEST_SUITE_P(Failures, EndToEndFailure,
                         ::testing::Values(FailureCase{"ServerDown", "버전정보가 존재하지 않습니다."},
                                           FailureCase{"DamagedArchive", "文件下載失敗"},
                                           FailureCase{"CutShortDownload", "文件下載失敗"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A fault while the toolkit starts, before any window exists, still leaves a crash record.
TEST(StartUp, AFaultWhileTheToolkitStartsLeavesACrashRecord) {
    TempFolder work;
    RunOrl(ORL_PATH, work.path(), {"QT_QPA_PLATFORM=no-such-platform", "DISPLAY="}, {}, 60, work / "orl.out");
    bool recorded = false;
    for (const auto& entry : fs::directory_iterator(work.path()))
        recorded = recorded || entry.path().filename().string().starts_with("orl.bin ");
    EXPECT_TRUE(recorded) << work.Read("orl.out");
}

}  // namespace
