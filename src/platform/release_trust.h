// The launcher's trust in the update server: the publisher's signed manifest of a scope of the tree is
// fetched and checked before any other file of the scope, and then gives each file's exact size and
// SHA-256, which its download must match before it is renamed into place, unpacked or started.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/release_manifest.h"
#include "platform/transfer.h"

namespace platform {

enum class ManifestOutcome {
    Verified,
    Unreachable,        // the manifest or its signature did not arrive
    Malformed,          // either text cannot be read
    Untrusted,          // signed by no trusted key, or the signature is wrong
    DelegationExpired,  // the signing key's delegation has ended
    Expired,            // the manifest is past its expiry
    Rollback,           // an older release than one accepted before
    OtherScope,         // the manifest of another edition or of the starter
};

// The string-table entry that tells the player why the update server's files were refused.
int ManifestRefusalMessage(ManifestOutcome outcome);
// The string-table entry for a file that differs from what the manifest names.
inline constexpr int kUnverifiedFileMessage = 254;

// The highest release accepted for scope, kept in statePath; 0 before the first.
uint64_t AcceptedRelease(const std::string& statePath, const std::string& scope);

class CReleaseTrust {
public:
    inline static const std::string kManifestName = "orl-release.txt";

    // Starts fetching folderUrl + "/orl-release.txt" and its signature on workers.
    void Fetch(const platform::HttpSession& session, const std::string& folderUrl);
    bool Finished() const;
    // Once both arrived: the signature against keys, the scope, the expiry at now, and the release
    // against the highest one accepted before for the scope (in statePath), which a verified manifest
    // raises.
    ManifestOutcome Check(const std::vector<std::string>& keys, const std::string& scope, int64_t now,
                          const std::string& statePath);
    // Fetch and Check on the calling thread; it gives up (Unreachable) when *stop turns true.
    ManifestOutcome FetchAndCheck(const platform::HttpSession& session, const std::string& folderUrl,
                                  const std::vector<std::string>& keys, const std::string& scope,
                                  const std::string& statePath, const std::atomic<bool>* stop = nullptr);
    // The verified manifest's entry for path, below the tree's root; nullptr when it names no such
    // file (or nothing was verified).
    const platform::ManifestFile* Expected(const std::string& path) const;
    bool Verified() const { return m_verified.has_value(); }

private:
    std::unique_ptr<platform::Transfer> m_manifest;
    std::unique_ptr<platform::Transfer> m_signature;
    std::optional<platform::ReleaseManifest> m_verified;
};

}  // namespace platform
