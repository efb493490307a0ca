// The content of an update archive once the launcher has unpacked it into Update.dat: the files
// that changed between two client versions and the files that went away, in the layout the game
// updater applies (docs/update-payload.md describes it byte by byte).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct PayloadEntry {
    enum class Kind : uint8_t { File = 1, Delete = 2 };
    Kind kind = Kind::File;
    std::string path;  // relative to the client folder, "/" between the names
    bool executable = false;
    std::vector<uint8_t> data;
    bool operator==(const PayloadEntry&) const = default;
};

struct UpdatePayload {
    std::string fromVersion;
    std::string toVersion;
    std::vector<PayloadEntry> entries;
    bool operator==(const UpdatePayload&) const = default;
};

inline constexpr char kPayloadMagic[4] = {'V', 'U', 'P', 'D'};
inline constexpr uint32_t kPayloadFormat = 1;

std::vector<uint8_t> EncodePayload(const UpdatePayload& payload);
// Nothing is returned for a payload that is damaged or names a path outside the client folder;
// error then says why.
std::optional<UpdatePayload> DecodePayload(std::span<const uint8_t> bytes, std::string* error);

// A path the updater may write: relative, "/"-separated, no empty, "." or ".." names, no
// backslash or drive.
bool IsSafePayloadPath(const std::string& path);

// The files of folder (regular files only, below it, "/"-separated), sorted by path.
std::vector<std::string> ListClientFiles(const std::filesystem::path& folder);

// What turns the client in oldFolder into the one in newFolder: every file that is new or differs,
// then every file that is gone. The version file List.mfm is not taken from the folders: the
// payload carries the one for toVersion.
std::optional<UpdatePayload> DiffClients(const std::filesystem::path& oldFolder,
                                         const std::filesystem::path& newFolder,
                                         const std::string& fromVersion, const std::string& toVersion,
                                         std::string* error);

// The 12 bytes of List.mfm for version: the text filled up with zero bytes.
std::vector<uint8_t> VersionFileBytes(const std::string& version);

// Applies the payload to the client folder in its order: each file is written beside its target and
// renamed into place, each deletion removes a file. Nothing is written when the client's List.mfm
// does not name the payload's fromVersion or a path would leave the client folder.
bool ApplyPayload(const UpdatePayload& payload, const std::filesystem::path& clientFolder,
                  std::string* error);
