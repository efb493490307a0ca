#include "platform/release_manifest.h"

#include <gtest/gtest.h>

#include "platform/signatures.h"

namespace {

using platform::SignatureVerdict;

constexpr int64_t kNow = 1800000000;

platform::ReleaseManifest Sample() {
    platform::ReleaseManifest m;
    m.scope = "orvin";
    m.release = 7;
    m.expires = kNow + 3600;
    m.files = {{"live/real/last.ver", 5, platform::Sha256Hex("1.1\r\n")},
               {"live/VEL-KOR/full/Velmora_Orvin.zip", 1234, std::string(64, 'a')}};
    m.clients = {{"1.1", "data/my world.pak", 9, std::string(64, 'b')}};
    return m;
}

TEST(ReleaseManifest, ReadsBackWhatItWrites) {
    platform::ReleaseManifest m = Sample();
    std::string reason;
    auto back = platform::ParseManifest(platform::FormatManifest(m), &reason);
    ASSERT_TRUE(back) << reason;
    EXPECT_EQ(platform::FormatManifest(*back), platform::FormatManifest(m));
    ASSERT_NE(back->Find("live/real/last.ver"), nullptr);
    EXPECT_EQ(back->Find("live/real/last.ver")->size, 5u);
    EXPECT_EQ(back->clients.at(0).path, "data/my world.pak") << "a path runs to the end of its line";
    EXPECT_EQ(back->Find("last.ver"), nullptr);
}

TEST(ReleaseManifest, RefusesMalformedTexts) {
    const std::string good = platform::FormatManifest(Sample());
    const std::string sha(64, 'c');
    const struct {
        const char* name;
        std::string text;
    } rows[] = {
        {"empty", ""},
        {"no final line end", good.substr(0, good.size() - 1)},
        {"other header", "orl-manifest 2\n" + good.substr(good.find('\n') + 1)},
        {"unknown scope", "orl-manifest 1\nscope other\nrelease 1\nexpires 1\n"},
        {"no expiry", "orl-manifest 1\nscope orvin\nrelease 1\n"},
        {"release twice", good + "release 9\n"},
        {"negative release", "orl-manifest 1\nscope orvin\nrelease -1\nexpires 1\n"},
        {"huge number", "orl-manifest 1\nscope orvin\nrelease 1234567890123456789\nexpires 1\n"},
        {"path going up", good + "file 1 " + sha + " live/../etc/passwd\n"},
        {"absolute path", good + "file 1 " + sha + " /etc/passwd\n"},
        {"backslash path", good + "file 1 " + sha + " live\\real\n"},
        {"short hash", good + "file 1 abc live/x\n"},
        {"upper-case hash", good + "file 1 " + std::string(64, 'A') + " live/x\n"},
        {"file twice", good + "file 5 " + sha + " live/real/last.ver\n"},
        {"bad version", good + "client 1/2 1 " + sha + " data/x\n"},
        {"unknown line", good + "comment hello\n"},
        {"carriage return", "orl-manifest 1\r\nscope orvin\nrelease 1\nexpires 1\n"},
    };
    for (const auto& row : rows) {
        std::string reason;
        EXPECT_FALSE(platform::ParseManifest(row.text, &reason)) << row.name;
        EXPECT_FALSE(reason.empty()) << row.name;
    }
}

// Who may sign: a trusted key itself, or a key a trusted root delegated to until the delegation ends.
TEST(ReleaseManifest, SignaturesAreTrustedOnlyFromTrustedKeysAndLiveDelegations) {
    auto root = platform::GenerateSigningKey();
    auto online = platform::GenerateSigningKey();
    auto stranger = platform::GenerateSigningKey();
    ASSERT_TRUE(root && online && stranger);
    const std::string text = platform::FormatManifest(Sample());
    auto signedBy = [&](const platform::SigningKeyPair& key, const std::string& what) {
        return platform::ManifestSignature{key.publicKey, *platform::SignMessage(key.privatePem, what), {}};
    };
    auto delegation = [&](int64_t expires, const platform::SigningKeyPair& by) {
        return platform::Delegation{
            online->publicKey, expires, by.publicKey,
            *platform::SignMessage(by.privatePem, platform::DelegationMessage(online->publicKey, expires))};
    };
    platform::ManifestSignature delegated = signedBy(*online, text);
    delegated.delegation = delegation(kNow + 60, *root);
    platform::ManifestSignature lapsed = delegated;
    lapsed.delegation = delegation(kNow - 60, *root);
    platform::ManifestSignature selfMade = delegated;
    selfMade.delegation = delegation(kNow + 60, *stranger);
    platform::ManifestSignature forged = delegated;
    forged.delegation->expires = kNow + 999999;
    platform::ManifestSignature otherText = signedBy(*root, text + "file 1 " + std::string(64, 'd') + " x\n");

    const std::vector<std::string> trusted{root->publicKey};
    const struct {
        const char* name;
        platform::ManifestSignature signature;
        SignatureVerdict verdict;
    } rows[] = {
        {"root", signedBy(*root, text), SignatureVerdict::Trusted},
        {"delegated", delegated, SignatureVerdict::Trusted},
        {"unknown key", signedBy(*stranger, text), SignatureVerdict::UnknownKey},
        {"delegation expired", lapsed, SignatureVerdict::DelegationExpired},
        {"delegation by an unknown root", selfMade, SignatureVerdict::UnknownKey},
        {"delegation's expiry changed", forged, SignatureVerdict::BadSignature},
        {"signature of another text", otherText, SignatureVerdict::BadSignature},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(platform::CheckSignature(text, row.signature, trusted, kNow), row.verdict) << row.name;
        std::string reason;
        auto back = platform::ParseSignature(platform::FormatSignature(row.signature), &reason);
        ASSERT_TRUE(back) << row.name << ": " << reason;
        EXPECT_EQ(platform::CheckSignature(text, *back, trusted, kNow), row.verdict)
            << row.name << ", read back";
    }
    std::string reason;
    auto record = platform::ParseDelegation(platform::FormatDelegation(*delegated.delegation), &reason);
    ASSERT_TRUE(record) << reason;
    EXPECT_EQ(record->key, online->publicKey);
    EXPECT_EQ(platform::PublicKeyOf(online->privatePem), online->publicKey);
}

}  // namespace
