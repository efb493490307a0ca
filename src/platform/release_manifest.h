// The signed release manifest: what the publisher vouches for in one scope of the update server's tree
// (an edition's files, or the starter folder), with a release number that only grows and an expiry
// time; the detached signature beside it; and the delegation through which an offline root key lets
// an online signing key sign manifests for a while. docs/release-manifest.md describes the texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A file the launcher fetches, by its path below the tree's root.
struct ManifestFile {
    std::string path;
    uint64_t size = 0;
    std::string sha256;
};

// A file of an installed client of a version, by its path below the client folder.
struct ClientFile {
    std::string version;
    std::string path;
    uint64_t size = 0;
    std::string sha256;
};

struct ReleaseManifest {
    std::string scope;  // "orvin", "kessa" or "starter"
    uint64_t release = 0;
    int64_t expires = 0;  // seconds since 1970, UTC
    std::vector<ManifestFile> files;
    std::vector<ClientFile> clients;

    const ManifestFile* Find(std::string_view path) const;
};

std::string FormatManifest(const ReleaseManifest& manifest);
// The manifest of text; nothing, with a reason, when a line is malformed or a field is missing.
std::optional<ReleaseManifest> ParseManifest(std::string_view text, std::string* reason);

// A root key's word that key may sign manifests until expires.
struct Delegation {
    std::string key;
    int64_t expires = 0;
    std::string root;
    std::string signature;  // the root's signature of DelegationMessage(key, expires)
};

std::string DelegationMessage(std::string_view key, int64_t expires);
std::string FormatDelegation(const Delegation& delegation);
std::optional<Delegation> ParseDelegation(std::string_view text, std::string* reason);

// The detached signature beside a manifest: the signing key, its signature of the manifest's bytes
// and, when that key is not trusted itself, the delegation that vouches for it.
struct ManifestSignature {
    std::string key;
    std::string signature;
    std::optional<Delegation> delegation;
};

std::string FormatSignature(const ManifestSignature& signature);
std::optional<ManifestSignature> ParseSignature(std::string_view text, std::string* reason);

enum class SignatureVerdict {
    Trusted,
    UnknownKey,    // neither the key nor a delegation's root is trusted
    BadSignature,  // the manifest or the delegation was not signed by the key it names
    DelegationExpired,
};

// Whether manifestText carries a good signature by a trusted key, or by a key that a trusted root
// delegated to and whose delegation has not expired at now.
SignatureVerdict CheckSignature(std::string_view manifestText, const ManifestSignature& signature,
                                const std::vector<std::string>& trustedKeys, int64_t now);

// Whether path is a relative path of plain names: no empty, "." or ".." part, no "\", no control
// characters.
bool IsPlainRelativePath(std::string_view path);

}  // namespace platform
