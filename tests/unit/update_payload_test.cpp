// The update payload that the game updater applies: damaged and hostile payloads are refused whole,
// and an update only applies to the version it was made from.
#include "update-payload/update_payload.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Data(const std::string& text) { return {text.begin(), text.end()}; }

UpdatePayload Sample() {
    return {"1.0",
            "1.1",
            {{PayloadEntry::Kind::File, "data/a.pak", false, Data("new a")},
             {PayloadEntry::Kind::File, "game.exe", true, Data("game")},
             {PayloadEntry::Kind::Delete, "data/old.pak", false, {}},
             {PayloadEntry::Kind::File, "List.mfm", false, VersionFileBytes("1.1")}}};
}

TEST(UpdatePayload, EveryCutAndEveryFlippedDataByteIsRefused) {
    std::vector<uint8_t> bytes = EncodePayload(Sample());
    std::string error;
    auto whole = DecodePayload(bytes, &error);
    ASSERT_TRUE(whole) << error;
    EXPECT_EQ(whole->toVersion, "1.1");
    ASSERT_EQ(whole->entries.size(), 4u);
    EXPECT_TRUE(whole->entries[1].executable);
    for (size_t n = 0; n < bytes.size(); ++n)
        EXPECT_FALSE(DecodePayload(std::span(bytes).first(n), &error)) << "cut at " << n;
    std::vector<uint8_t> longer = bytes;
    longer.push_back(0);
    EXPECT_FALSE(DecodePayload(longer, &error));
    std::vector<uint8_t> unknownFlags = bytes;
    unknownFlags[37] = 2;  // the first entry's flags
    EXPECT_FALSE(DecodePayload(unknownFlags, &error));
    std::vector<uint8_t> flipped = bytes;
    flipped[bytes.size() - 13] ^= 1;  // inside List.mfm's data
    EXPECT_FALSE(DecodePayload(flipped, &error));
    EXPECT_NE(error.find("checksum"), std::string::npos) << error;
}

TEST(UpdatePayload, PathsThatLeaveTheClientFolderAreRefused) {
    for (const char* path : {"../x.pak", "a/../../x.pak", "/etc/passwd", "a//b.pak", "./a.pak", "C:x.pak",
                             "a\\b.pak", "", "a/", "."}) {
        UpdatePayload payload{"1.0", "1.1", {{PayloadEntry::Kind::File, path, false, Data("x")}}};
        std::string error;
        EXPECT_FALSE(DecodePayload(EncodePayload(payload), &error)) << path;
    }
    for (const char* path : {"a.pak", "data/maps/b.pak", "..a.pak", "a..b/c.pak", " .pak"})
        EXPECT_TRUE(IsSafePayloadPath(path)) << path;
}

TEST(UpdatePayload, AppliesOnlyToItsVersionAndNeverThroughALink) {
    TempFolder client;
    client.Write("data/a.pak", "old a");
    client.Write("data/old.pak", "old");
    auto version = VersionFileBytes("1.0");
    client.Write("List.mfm", std::string(version.begin(), version.end()));
    std::string error;

    UpdatePayload other = Sample();
    other.fromVersion = "0.9";
    EXPECT_FALSE(ApplyPayload(other, client.path(), &error));
    EXPECT_EQ(client.Read("data/a.pak"), "old a");

    TempFolder outside;
    fs::create_directory_symlink(outside.path(), client / "linked");
    UpdatePayload escaping = Sample();
    escaping.entries.insert(escaping.entries.begin(),
                            {PayloadEntry::Kind::File, "linked/x.pak", false, Data("x")});
    EXPECT_FALSE(ApplyPayload(escaping, client.path(), &error));
    EXPECT_FALSE(outside.Exists("x.pak"));
    EXPECT_EQ(client.Read("data/a.pak"), "old a") << "nothing is written before every path is checked";

    ASSERT_TRUE(ApplyPayload(Sample(), client.path(), &error)) << error;
    EXPECT_EQ(client.Read("data/a.pak"), "new a");
    EXPECT_FALSE(client.Exists("data/old.pak"));
    EXPECT_NE(fs::status(client / "game.exe").permissions() & fs::perms::owner_exec, fs::perms::none);
    EXPECT_EQ(client.Read("List.mfm").substr(0, 3), "1.1");
}

}  // namespace
