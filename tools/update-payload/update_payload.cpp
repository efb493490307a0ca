#include "update_payload.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/files.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kVersionField = 12;
constexpr const char* kVersionFileName = "List.mfm";

void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Put64(std::vector<uint8_t>& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t Crc(std::span<const uint8_t> data) {
    uLong crc = crc32(0L, Z_NULL, 0);
    size_t at = 0;
    while (at < data.size()) {
        uInt n = static_cast<uInt>(std::min<size_t>(data.size() - at, 1u << 30));
        crc = crc32(crc, data.data() + at, n);
        at += n;
    }
    return static_cast<uint32_t>(crc);
}

// Reads the fields of a payload in order; any read past the end marks it damaged.
class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
    bool Has(size_t n) const { return m_bytes.size() - m_at >= n; }
    uint64_t Get(int width) {
        if (!Has(static_cast<size_t>(width))) {
            m_failed = true;
            return 0;
        }
        uint64_t v = 0;
        for (int i = 0; i < width; ++i) v |= static_cast<uint64_t>(m_bytes[m_at + i]) << (8 * i);
        m_at += static_cast<size_t>(width);
        return v;
    }
    std::span<const uint8_t> Take(uint64_t n) {
        if (!Has(n)) {
            m_failed = true;
            return {};
        }
        auto part = m_bytes.subspan(m_at, static_cast<size_t>(n));
        m_at += static_cast<size_t>(n);
        return part;
    }
    bool failed() const { return m_failed; }
    bool AtEnd() const { return m_at == m_bytes.size(); }

private:
    std::span<const uint8_t> m_bytes;
    size_t m_at = 0;
    bool m_failed = false;
};

std::string VersionField(std::span<const uint8_t> field) {
    auto end = std::find(field.begin(), field.end(), uint8_t{0});
    return std::string(field.begin(), end);
}

bool ReadWhole(const fs::path& path, std::vector<uint8_t>* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool IsExecutable(const fs::path& path) {
    std::error_code ec;
    auto perms = fs::status(path, ec).permissions();
    return !ec && (perms & fs::perms::owner_exec) != fs::perms::none;
}

bool Fail(std::string* error, const std::string& why) {
    if (error != nullptr) *error = why;
    return false;
}

// True when no name on the way from folder to folder/path is a link, so a write or a deletion
// cannot leave the client folder.
bool NoLinksOnTheWay(const fs::path& folder, const std::string& path) {
    fs::path at = folder;
    for (const auto& name : fs::path(path)) {
        at /= name;
        std::error_code ec;
        auto status = fs::symlink_status(at, ec);
        if (ec) return true;  // nothing more exists below here
        if (fs::is_symlink(status)) return false;
    }
    return true;
}

bool WriteReplacing(const fs::path& target, std::span<const uint8_t> data, bool executable,
                    std::string* error) {
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    platform::AtomicFile out(target.string());
    if (!out.Write(data.data(), data.size()) || ::fchmod(out.Descriptor(), executable ? 0755 : 0644) != 0)
        return Fail(error, "cannot write " + target.string());
    if (!out.Commit()) return Fail(error, "cannot replace " + target.string());
    return true;
}

}  // namespace

bool IsSafePayloadPath(const std::string& path) {
    if (path.empty() || path.size() > 0xFFFF || path.front() == '/' || path.back() == '/') return false;
    if (path.find('\\') != std::string::npos || path.find('\0') != std::string::npos) return false;
    if (path.size() >= 2 && path[1] == ':') return false;
    size_t start = 0;
    for (;;) {
        size_t end = path.find('/', start);
        std::string name = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (name.empty() || name == "." || name == "..") return false;
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

std::vector<uint8_t> VersionFileBytes(const std::string& version) {
    std::vector<uint8_t> bytes(kVersionField, 0);
    std::copy_n(version.begin(), std::min(version.size(), kVersionField), bytes.begin());
    return bytes;
}

std::vector<uint8_t> EncodePayload(const UpdatePayload& payload) {
    std::vector<uint8_t> out(std::begin(kPayloadMagic), std::end(kPayloadMagic));
    Put32(out, kPayloadFormat);
    auto from = VersionFileBytes(payload.fromVersion), to = VersionFileBytes(payload.toVersion);
    out.insert(out.end(), from.begin(), from.end());
    out.insert(out.end(), to.begin(), to.end());
    Put32(out, static_cast<uint32_t>(payload.entries.size()));
    for (const PayloadEntry& entry : payload.entries) {
        out.push_back(static_cast<uint8_t>(entry.kind));
        out.push_back(entry.executable ? 1 : 0);
        Put16(out, static_cast<uint16_t>(entry.path.size()));
        out.insert(out.end(), entry.path.begin(), entry.path.end());
        if (entry.kind == PayloadEntry::Kind::File) {
            Put64(out, entry.data.size());
            Put32(out, Crc(entry.data));
            out.insert(out.end(), entry.data.begin(), entry.data.end());
        }
    }
    return out;
}

std::optional<UpdatePayload> DecodePayload(std::span<const uint8_t> bytes, std::string* error) {
    auto damaged = [&](const std::string& why) -> std::optional<UpdatePayload> {
        Fail(error, why);
        return std::nullopt;
    };
    Reader in(bytes);
    auto magic = in.Take(4);
    if (in.failed() || !std::equal(magic.begin(), magic.end(), std::begin(kPayloadMagic)))
        return damaged("not an update payload");
    if (in.Get(4) != kPayloadFormat) return damaged("unknown payload format");
    UpdatePayload payload;
    payload.fromVersion = VersionField(in.Take(kVersionField));
    payload.toVersion = VersionField(in.Take(kVersionField));
    uint64_t count = in.Get(4);
    if (in.failed()) return damaged("payload header cut short");
    for (uint64_t i = 0; i < count; ++i) {
        PayloadEntry entry;
        uint64_t kind = in.Get(1);
        uint64_t flags = in.Get(1);
        auto path = in.Take(in.Get(2));
        if (in.failed()) return damaged("payload entry cut short");
        if (kind != 1 && kind != 2) return damaged("unknown entry kind " + std::to_string(kind));
        if (flags > 1) return damaged("unknown entry flags " + std::to_string(flags));
        entry.kind = static_cast<PayloadEntry::Kind>(kind);
        entry.executable = (flags & 1) != 0;
        entry.path.assign(path.begin(), path.end());
        if (!IsSafePayloadPath(entry.path)) return damaged("unsafe path in payload: " + entry.path);
        if (entry.kind == PayloadEntry::Kind::File) {
            uint64_t size = in.Get(8);
            uint32_t crc = static_cast<uint32_t>(in.Get(4));
            auto data = in.Take(size);
            if (in.failed()) return damaged("payload data cut short: " + entry.path);
            if (Crc(data) != crc) return damaged("checksum mismatch: " + entry.path);
            entry.data.assign(data.begin(), data.end());
        }
        payload.entries.push_back(std::move(entry));
    }
    if (!in.AtEnd()) return damaged("bytes after the last payload entry");
    return payload;
}

std::vector<std::string> ListClientFiles(const fs::path& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file(ec) && !it->is_symlink(ec))
            files.push_back(fs::relative(it->path(), folder).generic_string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::optional<UpdatePayload> DiffClients(const fs::path& oldFolder, const fs::path& newFolder,
                                         const std::string& fromVersion, const std::string& toVersion,
                                         std::string* error) {
    UpdatePayload payload{fromVersion, toVersion, {}};
    auto oldFiles = ListClientFiles(oldFolder), newFiles = ListClientFiles(newFolder);
    for (const std::string& path : newFiles) {
        if (path == kVersionFileName) continue;
        if (!IsSafePayloadPath(path)) {
            Fail(error, "cannot publish the file name " + path);
            return std::nullopt;
        }
        PayloadEntry entry{PayloadEntry::Kind::File, path, IsExecutable(newFolder / path), {}};
        if (!ReadWhole(newFolder / path, &entry.data)) {
            Fail(error, "cannot read " + (newFolder / path).string());
            return std::nullopt;
        }
        std::vector<uint8_t> before;
        bool same = std::binary_search(oldFiles.begin(), oldFiles.end(), path) &&
                    ReadWhole(oldFolder / path, &before) && before == entry.data &&
                    IsExecutable(oldFolder / path) == entry.executable;
        if (!same) payload.entries.push_back(std::move(entry));
    }
    for (const std::string& path : oldFiles) {
        if (path != kVersionFileName && !std::binary_search(newFiles.begin(), newFiles.end(), path) &&
            IsSafePayloadPath(path))
            payload.entries.push_back({PayloadEntry::Kind::Delete, path, false, {}});
    }
    // The version file goes last: an update cut short leaves the old version, so it runs again.
    payload.entries.push_back(
        {PayloadEntry::Kind::File, kVersionFileName, false, VersionFileBytes(toVersion)});
    return payload;
}

bool ApplyPayload(const UpdatePayload& payload, const fs::path& clientFolder, std::string* error) {
    std::vector<uint8_t> version;
    if (!ReadWhole(clientFolder / kVersionFileName, &version) || version.size() < kVersionField ||
        VersionField(std::span(version).first(kVersionField)) != payload.fromVersion)
        return Fail(error,
                    "the client in " + clientFolder.string() + " is not version " + payload.fromVersion);
    for (const PayloadEntry& entry : payload.entries) {
        if (!IsSafePayloadPath(entry.path) || !NoLinksOnTheWay(clientFolder, entry.path))
            return Fail(error, "refusing the path " + entry.path);
    }
    // In the payload's order: the version file comes last, so an update cut short runs again.
    for (const PayloadEntry& entry : payload.entries) {
        std::error_code ec;
        fs::path target = clientFolder / entry.path;
        if (entry.kind == PayloadEntry::Kind::File) {
            if (!WriteReplacing(target, entry.data, entry.executable, error)) return false;
        } else if (fs::is_regular_file(fs::symlink_status(target, ec))) {
            fs::remove(target, ec);
        }
    }
    return true;
}
