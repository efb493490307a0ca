// The publisher's keys and the signed release manifests of a published tree.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct SigningOptions {
    std::filesystem::path keyFile;         // the private key that signs
    int64_t expiresDays = 14;              // how long a manifest is good for
    std::filesystem::path delegationFile;  // the root's delegation to the key, when it has one
};

// A release whose client files the manifest names: the folder as published, with its List.mfm.
struct SignedRelease {
    std::string version;
    std::filesystem::path folder;
};

// What one manifest covers: every file below folders of the tree, and the files of the releases.
struct SigningScope {
    std::string scope;                 // "orvin", "kessa" or "starter"
    std::string manifestFolder;        // below the tree, where orl-release.txt and its .sig go
    std::vector<std::string> folders;  // below the tree
    std::vector<SignedRelease> releases;
};

inline constexpr const char* kManifestName = "orl-release.txt";
inline constexpr const char* kSignatureName = "orl-release.txt.sig";

// Writes DIR/orl-signing.key (readable by the owner only) and DIR/orl-signing.pub.
bool MakeKeyPair(const std::filesystem::path& dir);
// Writes to out the root key's delegation to the public key in signingPub, good for days.
bool MakeDelegation(const std::filesystem::path& rootKey, const std::filesystem::path& signingPub,
                    int64_t days, const std::filesystem::path& out);
// Writes and signs the manifest of scope in tree. Its release number is above that of the manifest
// the same scope has in previous (an earlier tree), and never below the time in seconds.
bool SignScope(const std::filesystem::path& tree, const std::filesystem::path& previous,
               const SigningScope& scope, const SigningOptions& options);
// Renews every manifest of tree: a later expiry and a higher release number, signed again.
bool Resign(const std::filesystem::path& tree, const SigningOptions& options);
