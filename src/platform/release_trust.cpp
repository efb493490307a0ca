#include "platform/release_trust.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/profile.h"

namespace platform {
namespace {

// A manifest names every file of a client of tens of thousands of files; a signature is a few lines.
constexpr uint64_t kManifestMax = uint64_t{64} << 20;
constexpr uint64_t kSignatureMax = 4096;

}  // namespace

int ManifestRefusalMessage(ManifestOutcome outcome) {
    switch (outcome) {
        case ManifestOutcome::Verified:
            return 0;
        case ManifestOutcome::Unreachable:
        case ManifestOutcome::Malformed:
            return 250;
        case ManifestOutcome::Untrusted:
        case ManifestOutcome::DelegationExpired:
        case ManifestOutcome::OtherScope:
            return 251;
        case ManifestOutcome::Expired:
            return 252;
        case ManifestOutcome::Rollback:
            return 253;
    }
    return 251;
}

uint64_t AcceptedRelease(const std::string& statePath, const std::string& scope) {
    std::string text = GetPrivateProfileString("Release", scope, "0", 32, statePath);
    return std::strtoull(text.c_str(), nullptr, 10);
}

void CReleaseTrust::Fetch(const HttpSession& session, const std::string& folderUrl) {
    m_verified.reset();
    std::string url = folderUrl + "/" + kManifestName;
    m_manifest = std::make_unique<Transfer>(session, TransferRequest{.url = url, .maxBytes = kManifestMax});
    m_signature =
        std::make_unique<Transfer>(session, TransferRequest{.url = url + ".sig", .maxBytes = kSignatureMax});
}

bool CReleaseTrust::Finished() const {
    return (!m_manifest || m_manifest->Finished()) && (!m_signature || m_signature->Finished());
}

ManifestOutcome CReleaseTrust::Check(const std::vector<std::string>& keys, const std::string& scope,
                                     int64_t now, const std::string& statePath) {
    m_verified.reset();
    auto arrived = [](const std::unique_ptr<Transfer>& t) {
        return t && t->Result().state == TransferState::Succeeded;
    };
    if (!arrived(m_manifest) || !arrived(m_signature)) return ManifestOutcome::Unreachable;
    const std::string& text = m_manifest->Body();
    std::string reason;
    auto signature = ParseSignature(m_signature->Body(), &reason);
    if (!signature) {
        std::fprintf(stderr, "orl-release.txt.sig: %s\n", reason.c_str());
        return ManifestOutcome::Malformed;
    }
    switch (CheckSignature(text, *signature, keys, now)) {
        case SignatureVerdict::Trusted:
            break;
        case SignatureVerdict::DelegationExpired:
            return ManifestOutcome::DelegationExpired;
        case SignatureVerdict::UnknownKey:
        case SignatureVerdict::BadSignature:
            return ManifestOutcome::Untrusted;
    }
    // Only a text with a good signature is read further.
    auto manifest = ParseManifest(text, &reason);
    if (!manifest) {
        std::fprintf(stderr, "orl-release.txt: %s\n", reason.c_str());
        return ManifestOutcome::Malformed;
    }
    if (manifest->scope != scope) return ManifestOutcome::OtherScope;
    if (manifest->expires <= now) return ManifestOutcome::Expired;
    uint64_t accepted = AcceptedRelease(statePath, scope);
    if (manifest->release < accepted) return ManifestOutcome::Rollback;
    if (manifest->release > accepted)
        WritePrivateProfileString("Release", scope, std::to_string(manifest->release), statePath);
    m_verified = std::move(*manifest);
    return ManifestOutcome::Verified;
}

ManifestOutcome CReleaseTrust::FetchAndCheck(const HttpSession& session, const std::string& folderUrl,
                                             const std::vector<std::string>& keys, const std::string& scope,
                                             const std::string& statePath, const std::atomic<bool>* stop) {
    Fetch(session, folderUrl);
    m_manifest->Run(stop);
    m_signature->Run(stop);
    if (stop != nullptr && *stop) return ManifestOutcome::Unreachable;
    return Check(keys, scope, static_cast<int64_t>(std::time(nullptr)), statePath);
}

const ManifestFile* CReleaseTrust::Expected(const std::string& path) const {
    return m_verified ? m_verified->Find(path) : nullptr;
}

}  // namespace platform
