#include "orl-publish/signing.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/files.h"
#include "platform/release_manifest.h"
#include "platform/signatures.h"
#include "update-payload/update_payload.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kSecondsPerDay = 24 * 3600;

bool Fail(const std::string& why) {
    std::fprintf(stderr, "orl-publish: %s\n", why.c_str());
    return false;
}

std::optional<std::string> ReadText(const fs::path& path) {
    return platform::ReadFile(path.string(), 1 << 20);
}

// The first line of a public-key file.
std::optional<std::string> ReadPublicKey(const fs::path& path) {
    auto text = ReadText(path);
    if (!text) return std::nullopt;
    std::string key = text->substr(0, text->find('\n'));
    if (!platform::IsHex(key, 64)) return std::nullopt;
    return key;
}

std::optional<platform::ManifestFile> Describe(const fs::path& file, const std::string& path) {
    auto sha = platform::Sha256OfFile(file.string());
    std::error_code ec;
    uint64_t size = fs::file_size(file, ec);
    if (!sha || ec) return std::nullopt;
    return platform::ManifestFile{path, size, *sha};
}

// Signs manifest as the key of options says and writes it with its signature into folder.
bool WriteSigned(const fs::path& folder, const std::string& manifest, const SigningOptions& options) {
    auto pem = ReadText(options.keyFile);
    if (!pem) return Fail("cannot read " + options.keyFile.string());
    auto key = platform::PublicKeyOf(*pem);
    auto signature = platform::SignMessage(*pem, manifest);
    if (!key || !signature) return Fail(options.keyFile.string() + " is not an Ed25519 private key");
    platform::ManifestSignature record{*key, *signature, {}};
    if (!options.delegationFile.empty()) {
        auto text = ReadText(options.delegationFile);
        std::string reason;
        auto delegation = text ? platform::ParseDelegation(*text, &reason) : std::nullopt;
        if (!delegation)
            return Fail("cannot read the delegation " + options.delegationFile.string() + " " + reason);
        if (delegation->key != *key)
            return Fail("the delegation is for another key than " + options.keyFile.string());
        record.delegation = delegation;
    }
    return (platform::WriteFileAtomic((folder / kManifestName).string(), manifest) &&
            platform::WriteFileAtomic((folder / kSignatureName).string(),
                                      platform::FormatSignature(record))) ||
           Fail("cannot write the manifest in " + folder.string());
}

uint64_t NextRelease(uint64_t previous) {
    return std::max<uint64_t>(previous + 1, static_cast<uint64_t>(std::time(nullptr)));
}

}  // namespace

bool MakeKeyPair(const fs::path& dir) {
    auto pair = platform::GenerateSigningKey();
    if (!pair) return Fail("cannot make a key pair");
    std::error_code ec;
    fs::create_directories(dir, ec);
    platform::AtomicFile key((dir / "orl-signing.key").string(), 0600);
    if (!key.Write(pair->privatePem.data(), pair->privatePem.size()) ||
        ::fchmod(key.Descriptor(), 0600) != 0 || !key.Commit())
        return Fail("cannot write " + (dir / "orl-signing.key").string());
    if (!platform::WriteFileAtomic((dir / "orl-signing.pub").string(), pair->publicKey + "\n"))
        return Fail("cannot write " + (dir / "orl-signing.pub").string());
    std::printf("key pair: %s (private, keep it safe), %s: %s\n", (dir / "orl-signing.key").c_str(),
                (dir / "orl-signing.pub").c_str(), pair->publicKey.c_str());
    return true;
}

bool MakeDelegation(const fs::path& rootKey, const fs::path& signingPub, int64_t days, const fs::path& out) {
    auto pem = ReadText(rootKey);
    auto root = pem ? platform::PublicKeyOf(*pem) : std::nullopt;
    if (!root) return Fail(rootKey.string() + " is not an Ed25519 private key");
    auto key = ReadPublicKey(signingPub);
    if (!key) return Fail(signingPub.string() + " holds no public key");
    platform::Delegation delegation{
        *key, static_cast<int64_t>(std::time(nullptr)) + days * kSecondsPerDay, *root, {}};
    auto signature =
        platform::SignMessage(*pem, platform::DelegationMessage(delegation.key, delegation.expires));
    if (!signature) return Fail("cannot sign with " + rootKey.string());
    delegation.signature = *signature;
    if (!platform::WriteFileAtomic(out.string(), platform::FormatDelegation(delegation)))
        return Fail("cannot write " + out.string());
    std::printf("delegation: %s may sign until %lld\n", key->c_str(),
                static_cast<long long>(delegation.expires));
    return true;
}

bool SignScope(const fs::path& tree, const fs::path& previous, const SigningScope& scope,
               const SigningOptions& options) {
    platform::ReleaseManifest manifest;
    manifest.scope = scope.scope;
    uint64_t before = 0;
    if (auto text = ReadText(previous / scope.manifestFolder / kManifestName)) {
        std::string reason;
        if (auto old = platform::ParseManifest(*text, &reason)) before = old->release;
    }
    manifest.release = NextRelease(before);
    manifest.expires = static_cast<int64_t>(std::time(nullptr)) + options.expiresDays * kSecondsPerDay;
    for (const std::string& folder : scope.folders) {
        for (const std::string& path : ListClientFiles(tree / folder)) {
            std::string below = folder + "/" + path;
            if (below == scope.manifestFolder + "/" + kManifestName ||
                below == scope.manifestFolder + "/" + kSignatureName)
                continue;
            auto file = Describe(tree / below, below);
            if (!file) return Fail("cannot read " + (tree / below).string());
            manifest.files.push_back(*file);
        }
    }
    for (const SignedRelease& release : scope.releases) {
        for (const std::string& path : ListClientFiles(release.folder)) {
            if (path == "List.mfm") continue;
            auto file = Describe(release.folder / path, path);
            if (!file) return Fail("cannot read " + (release.folder / path).string());
            manifest.clients.push_back({release.version, path, file->size, file->sha256});
        }
        std::vector<uint8_t> version = VersionFileBytes(release.version);
        manifest.clients.push_back({release.version, "List.mfm", version.size(),
                                    platform::Sha256Hex(std::string_view(
                                        reinterpret_cast<const char*>(version.data()), version.size()))});
    }
    return WriteSigned(tree / scope.manifestFolder, platform::FormatManifest(manifest), options);
}

bool Resign(const fs::path& tree, const SigningOptions& options) {
    int renewed = 0;
    for (const std::string& path : ListClientFiles(tree)) {
        if (fs::path(path).filename() != kManifestName) continue;
        std::string reason;
        auto text = ReadText(tree / path);
        auto manifest = text ? platform::ParseManifest(*text, &reason) : std::nullopt;
        if (!manifest) return Fail("cannot read " + (tree / path).string() + " " + reason);
        manifest->release = NextRelease(manifest->release);
        manifest->expires = static_cast<int64_t>(std::time(nullptr)) + options.expiresDays * kSecondsPerDay;
        if (!WriteSigned((tree / path).parent_path(), platform::FormatManifest(*manifest), options))
            return false;
        std::printf("renewed %s: release %llu\n", path.c_str(),
                    static_cast<unsigned long long>(manifest->release));
        ++renewed;
    }
    return renewed > 0 || Fail("no manifest in " + tree.string());
}
