// The orl-publish program on real client folders: the tree it writes, read back with the launcher's
// own readers, and its refusals of bad input.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "core/starter_refresh.h"
#include "installer/decompressor.h"
#include "patcher/client_version.h"
#include "patcher/liza.h"
#include "platform/release_manifest.h"
#include "platform/signatures.h"
#include "settings/config_files.h"
#include "support/temp_folder.h"
#include "update-payload/update_payload.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class Publish : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder.Write("v1.0/VelmoraEac.exe", "eac 1.0");
        m_folder.Write("v1.0/data/maps.pak", std::string(50000, 'm'));
        m_folder.Write("v1.0/data/old.pak", "going away");
        m_folder.Write("v1.0/List.mfm", "stale version file that must not be published");
        m_folder.Write("v1.1/VelmoraEac.exe", "eac 1.1");
        m_folder.Write("v1.1/data/maps.pak", std::string(50000, 'm'));
        m_folder.Write("v1.1/data/new.pak", std::string(30000, 'n'));
        fs::permissions(m_folder / "v1.0/VelmoraEac.exe", fs::perms::owner_exec, fs::perm_options::add);
        fs::permissions(m_folder / "v1.1/VelmoraEac.exe", fs::perms::owner_exec, fs::perm_options::add);
        m_folder.Write("starter.exe", "#!/bin/sh\necho starter\n");
        m_folder.Write(
            "orl.ini",
            "[BannerURL]\r\n1=https://shop.example/1\r\n[ImageURL]\r\n1=https://web.example/b1.html\r\n");
        m_folder.Write("web/notice/launcher_notice_new01.asp", "<html>notice</html>");
    }
    // Runs orl-publish OUT args; its exit status, with its standard error in err.
    int Run(const std::string& args, std::string* err = nullptr) {
        std::string command = std::string(ORL_PUBLISH_PATH) + " " + Out() + " " + args + " >" +
                              (m_folder / "stdout") + " 2>" + (m_folder / "stderr");
        int status = std::system(command.c_str());
        if (err) *err = m_folder.Read("stderr");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Out() { return m_folder / "out"; }
    std::string Both() {
        std::string releases =
            "--release 1.0 " + (m_folder / "v1.0") + " --release 1.1 " + (m_folder / "v1.1") + " --full 1.0";
        return releases + " --edition kessa " + releases + " --starter " + (m_folder / "starter.exe") +
               " --orl-ini " + (m_folder / "orl.ini") + " --web " + (m_folder / "web");
    }
    TempFolder m_folder;
};

TEST_F(Publish, EveryFileReadsAsTheLauncherReadsIt) {
    ASSERT_EQ(Run(Both()), 0) << m_folder.Read("stderr");
    struct Edition {
        std::string updateDir, fullDir, archive;
    };
    for (const Edition& e : {Edition{"out/live/real", "out/live/VEL-KOR/full", "Velmora_Orvin.zip"},
                             Edition{"out/live/test", "out/live/VEL-KOR-KESSA/full", "Velmora_Kessa.zip"}}) {
        SCOPED_TRACE(e.updateDir);
        EXPECT_EQ(m_folder.Read(e.updateDir + "/last.ver"), "1.1\n");
        EXPECT_FALSE(m_folder.Exists(e.updateDir + "/1.1.siz")) << "the current version needs no update";
        // The list file names the archive without a line break; both size files give its exact size.
        std::string name = m_folder.Read(e.updateDir + "/1.0.ldt");
        ASSERT_EQ(name.find_first_of("\r\n/"), std::string::npos);
        std::string archive = m_folder / (e.updateDir + "/dat/" + name);
        std::string size = std::to_string(fs::file_size(archive));
        EXPECT_EQ(m_folder.Read(e.updateDir + "/1.0.siz"), size);
        EXPECT_EQ(m_folder.Read(e.updateDir + "/dat/1.0.siz"), size);

        // The archive unpacks with the launcher's decoder, and its payload turns 1.0 into 1.1.
        std::vector<uint8_t> container = Bytes(archive);
        std::vector<uint8_t> unpacked(LizaGetUnpackedSize(container) + 65500);
        LizaResult result = LizaUnpack(container, unpacked);
        ASSERT_TRUE(result.ok) << result.reason;
        unpacked.resize(LizaGetUnpackedSize(container));
        std::string error;
        auto payload = DecodePayload(unpacked, &error);
        ASSERT_TRUE(payload) << error;
        fs::remove_all(m_folder / "client");
        fs::copy(m_folder / "v1.0", m_folder / "client", fs::copy_options::recursive);
        auto v10 = VersionFileBytes("1.0");
        std::ofstream(m_folder / "client/List.mfm", std::ios::binary)
            .write(reinterpret_cast<char*>(v10.data()), 12);
        ASSERT_TRUE(ApplyPayload(*payload, m_folder / "client", &error)) << error;
        EXPECT_EQ(ReadClientVersionFile(m_folder / "client"), "1.1");
        EXPECT_EQ(m_folder.Read("client/VelmoraEac.exe"), "eac 1.1");
        EXPECT_EQ(m_folder.Read("client/data/new.pak"), std::string(30000, 'n'));
        EXPECT_FALSE(m_folder.Exists("client/data/old.pak"));
        size_t unchanged = 0;
        for (const auto& entry : payload->entries) unchanged += entry.path == "data/maps.pak";
        EXPECT_EQ(unchanged, 0u) << "a file that did not change is not carried";

        // The index's second token is the zip's size; the zip unpacks into release 1.0 and its
        // version file, with the game program still executable.
        std::string index = m_folder.Read(e.fullDir + "/full_index.txt");
        std::string zip = m_folder / (e.fullDir + "/" + e.archive);
        EXPECT_EQ(index, e.archive + " " + std::to_string(fs::file_size(zip)) + "\n");
        fs::remove_all(m_folder / "installed");
        CDecompressor extractor;
        ASSERT_TRUE(extractor.Start(zip, m_folder / "installed"));
        while (!extractor.IsDone()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(extractor.Succeeded());
        EXPECT_EQ(ReadClientVersionFile(m_folder / "installed"), "1.0");
        EXPECT_EQ(m_folder.Read("installed/data/old.pak"), "going away");
        EXPECT_EQ(ListClientFiles(m_folder / "installed").size(), 4u);
        EXPECT_NE(fs::status(m_folder / "installed/VelmoraEac.exe").permissions() & fs::perms::owner_exec,
                  fs::perms::none);
    }

    // The starter's record holds the byte sum that the launcher computes over the starter.
    std::string starter = m_folder / "out/orl/KOR/Starter/VelmoraORL.exe";
    EXPECT_EQ(m_folder.Read("out/orl/KOR/Starter/VelmoraORL.exe"), m_folder.Read("starter.exe"));
    std::vector<uint8_t> record = Bytes(m_folder / "out/orl/KOR/Starter/checksumdata.csd");
    ASSERT_EQ(record.size(), 12u);
    ChecksumRecord local{4096, 0};
    ASSERT_TRUE(local.ComputeFileByteSum(starter));
    uint64_t published = 0;
    for (int i = 0; i < 8; ++i) published |= static_cast<uint64_t>(record[4 + i]) << (8 * i);
    EXPECT_EQ(published, local.byteSum);
    EXPECT_GT(record[0] | record[1] << 8, 0);
    auto banners = ReadBannerEntries(m_folder / "out/orl/KOR/Starter", m_folder / "nowhere");
    ASSERT_EQ(banners.size(), 1u);
    EXPECT_EQ(m_folder.Read("out/notice/launcher_notice_new01.asp"), "<html>notice</html>");
}

TEST_F(Publish, BadInputIsRefusedAndTheEarlierTreeStays) {
    ASSERT_EQ(Run(Both()), 0) << m_folder.Read("stderr");
    m_folder.Write("v1.1/bin/README", "a name without a dot");
    m_folder.Write("v2/VelmoraEac.exe", "2");
    std::string starter = " --starter " + (m_folder / "starter.exe");
    struct Row {
        const char* what;
        std::string args;
        const char* message;
    };
    const Row rows[] = {
        {"long version", "--release 1234567890ab " + (m_folder / "v2") + starter, "up to 11"},
        {"blank in version", "--release '1 0' " + (m_folder / "v2") + starter, "up to 11"},
        {"missing folder", "--release 3.0 " + (m_folder / "none") + starter, "is not a folder"},
        {"twice", "--release 2 " + (m_folder / "v2") + " --release 2 " + (m_folder / "v2") + starter,
         "twice"},
        {"unknown full", "--release 2 " + (m_folder / "v2") + " --full 9" + starter, "names no release"},
        {"no starter", "--release 2 " + (m_folder / "v2"), "--starter"},
        {"unknown edition", "--edition nova --release 2 " + (m_folder / "v2") + starter, "unknown edition"},
        {"file unpacked as folder", "--release 1.1 " + (m_folder / "v1.1") + starter, "bin/README"},
    };
    for (const Row& row : rows) {
        std::string err;
        EXPECT_NE(Run(row.args, &err), 0) << row.what;
        EXPECT_NE(err.find(row.message), std::string::npos) << row.what << ": " << err;
        EXPECT_EQ(m_folder.Read("out/live/real/last.ver"), "1.1\n") << row.what;
        EXPECT_TRUE(m_folder.Exists("out/live/test/dat/1.0.siz")) << row.what;
        EXPECT_FALSE(m_folder.Exists("out.publishing")) << row.what;
    }
}

// A signed tree: each scope's manifest is signed by the publisher's key and names every file the
// launcher fetches there with its true size and hash; a renewal raises the release number and moves
// the expiry without touching the files; a delegated key signs for the root.
TEST_F(Publish, SignedManifestsVouchForEveryFetchedFileAndCanBeRenewed) {
    std::string keys = m_folder / "keys", online = m_folder / "online";
    std::string tool = ORL_PUBLISH_PATH;
    ASSERT_EQ(std::system((tool + " keygen " + keys + " >/dev/null").c_str()), 0);
    ASSERT_EQ(std::system((tool + " keygen " + online + " >/dev/null").c_str()), 0);
    EXPECT_EQ(fs::status(keys + "/orl-signing.key").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    std::string root = m_folder.Read("keys/orl-signing.pub").substr(0, 64);
    ASSERT_EQ(Run(Both() + " --sign " + keys + "/orl-signing.key --expires 3"), 0);

    const int64_t now = std::time(nullptr);
    auto check = [&](const std::string& folder, const std::string& scope, int64_t days = 3) {
        std::string reason;
        std::string text = m_folder.Read("out/" + folder + "/orl-release.txt");
        auto manifest = platform::ParseManifest(text, &reason);
        auto signature =
            platform::ParseSignature(m_folder.Read("out/" + folder + "/orl-release.txt.sig"), &reason);
        EXPECT_TRUE(manifest && signature) << folder << ": " << reason;
        if (!manifest || !signature) return platform::ReleaseManifest{};
        EXPECT_EQ(platform::CheckSignature(text, *signature, {root}, now),
                  platform::SignatureVerdict::Trusted)
            << folder;
        EXPECT_EQ(manifest->scope, scope);
        EXPECT_GT(manifest->expires, now + (days - 1) * 86400);
        EXPECT_LE(manifest->expires, now + days * 86400 + 60);
        for (const platform::ManifestFile& file : manifest->files) {
            EXPECT_EQ(platform::Sha256OfFile(Out() + "/" + file.path), file.sha256) << file.path;
            EXPECT_EQ(fs::file_size(Out() + "/" + file.path), file.size) << file.path;
        }
        return *manifest;
    };
    auto orvin = check("live/real", "orvin");
    for (const char* path : {"live/real/last.ver", "live/real/1.0.siz", "live/real/1.0.ldt",
                             "live/real/dat/1.0.siz", "live/real/dat/1.0_to_1.1.dat",
                             "live/VEL-KOR/full/full_index.txt", "live/VEL-KOR/full/Velmora_Orvin.zip"})
        EXPECT_NE(orvin.Find(path), nullptr) << path;
    EXPECT_EQ(orvin.clients.size(), 8u) << "three files in 1.0 and three in 1.1, and List.mfm of each";
    check("live/test", "kessa");
    auto starter = check("orl/KOR/Starter", "starter");
    for (const char* path :
         {"orl/KOR/Starter/VelmoraORL.exe", "orl/KOR/Starter/checksumdata.csd", "orl/KOR/Starter/orl.ini"})
        EXPECT_NE(starter.Find(path), nullptr) << path;

    std::string zip = m_folder.Read("out/live/VEL-KOR/full/Velmora_Orvin.zip");
    std::string delegation = m_folder / "delegation.txt";
    ASSERT_EQ(std::system((tool + " delegate " + keys + "/orl-signing.key " + online +
                           "/orl-signing.pub --expires 30 " + delegation + " >/dev/null")
                              .c_str()),
              0);
    ASSERT_EQ(std::system((tool + " resign " + Out() + " --sign " + online +
                           "/orl-signing.key --delegation " + delegation + " --expires 5 >/dev/null")
                              .c_str()),
              0);
    auto renewed = check("live/real", "orvin", 5);
    EXPECT_GT(renewed.release, orvin.release);
    EXPECT_GT(renewed.expires, orvin.expires);
    EXPECT_TRUE(m_folder.Read("out/live/VEL-KOR/full/Velmora_Orvin.zip") == zip);
    // Publishing again never goes back to a lower release.
    ASSERT_EQ(Run(Both() + " --sign " + keys + "/orl-signing.key"), 0);
    EXPECT_GT(check("live/real", "orvin", 14).release, renewed.release);
}

}  // namespace
