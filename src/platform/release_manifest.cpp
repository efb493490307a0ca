#include "platform/release_manifest.h"

#include <algorithm>

#include "platform/signatures.h"

namespace platform {
namespace {

constexpr size_t kKeyDigits = 64;
constexpr size_t kSignatureDigits = 128;
constexpr size_t kShaDigits = 64;

// The lines of text, each without its "\n"; a text must end with one.
std::optional<std::vector<std::string_view>> Lines(std::string_view text) {
    if (text.empty() || text.back() != '\n') return std::nullopt;
    std::vector<std::string_view> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The first word of line and the rest after one blank.
std::pair<std::string_view, std::string_view> Split(std::string_view line) {
    size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return {line, {}};
    return {line.substr(0, blank), line.substr(blank + 1)};
}

// A decimal number of at most 18 digits, so it fits either integer kind.
bool Number(std::string_view text, uint64_t* value) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    *value = 0;
    for (char c : text) *value = *value * 10 + static_cast<uint64_t>(c - '0');
    return true;
}

bool Fail(std::string* reason, const std::string& why) {
    if (reason != nullptr) *reason = why;
    return false;
}

bool IsVersion(std::string_view version) {
    return !version.empty() && version.size() <= 11 &&
           std::all_of(version.begin(), version.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                      c == '.' || c == '-' || c == '_';
           });
}

// "SIZE SHA256 PATH".
bool FileFields(std::string_view rest, uint64_t* size, std::string* sha256, std::string* path) {
    auto [sizeText, tail] = Split(rest);
    auto [shaText, pathText] = Split(tail);
    if (!Number(sizeText, size) || !IsHex(shaText, kShaDigits) || !IsPlainRelativePath(pathText))
        return false;
    *sha256 = shaText;
    *path = pathText;
    return true;
}

// The "key value" lines after a header line, each key at most once and every one of keys present.
std::optional<std::vector<std::pair<std::string_view, std::string_view>>> Fields(std::string_view text,
                                                                                 std::string_view header,
                                                                                 std::string* reason) {
    auto lines = Lines(text);
    if (!lines || lines->empty() || lines->front() != header) {
        Fail(reason, "not a text that begins with \"" + std::string(header) + "\"");
        return std::nullopt;
    }
    std::vector<std::pair<std::string_view, std::string_view>> fields;
    for (size_t i = 1; i < lines->size(); ++i) {
        auto field = Split((*lines)[i]);
        for (const auto& seen : fields) {
            if (seen.first == field.first) {
                Fail(reason, "\"" + std::string(field.first) + "\" given twice");
                return std::nullopt;
            }
        }
        fields.push_back(field);
    }
    return fields;
}

}  // namespace

bool IsPlainRelativePath(std::string_view path) {
    if (path.empty() || path.size() > 4096 || path.front() == '/' || path.back() == '/') return false;
    for (char c : path) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '\\') return false;
    }
    for (size_t start = 0; start <= path.size();) {
        size_t end = std::min(path.find('/', start), path.size());
        std::string_view part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

const ManifestFile* ReleaseManifest::Find(std::string_view path) const {
    for (const ManifestFile& file : files) {
        if (file.path == path) return &file;
    }
    return nullptr;
}

std::string FormatManifest(const ReleaseManifest& manifest) {
    std::string text = "orl-manifest 1\nscope " + manifest.scope + "\nrelease " +
                       std::to_string(manifest.release) + "\nexpires " + std::to_string(manifest.expires) +
                       "\n";
    for (const ManifestFile& f : manifest.files)
        text += "file " + std::to_string(f.size) + " " + f.sha256 + " " + f.path + "\n";
    for (const ClientFile& f : manifest.clients)
        text += "client " + f.version + " " + std::to_string(f.size) + " " + f.sha256 + " " + f.path + "\n";
    return text;
}

std::optional<ReleaseManifest> ParseManifest(std::string_view text, std::string* reason) {
    auto lines = Lines(text);
    if (!lines || lines->empty() || lines->front() != "orl-manifest 1")
        return Fail(reason, "not a release manifest"), std::nullopt;
    ReleaseManifest manifest;
    bool haveScope = false, haveRelease = false, haveExpires = false;
    for (size_t i = 1; i < lines->size(); ++i) {
        auto [kind, rest] = Split((*lines)[i]);
        std::string where = "line " + std::to_string(i + 1);
        uint64_t number = 0;
        if (kind == "scope" && !haveScope && (rest == "orvin" || rest == "kessa" || rest == "starter")) {
            manifest.scope = rest;
            haveScope = true;
        } else if (kind == "release" && !haveRelease && Number(rest, &number)) {
            manifest.release = number;
            haveRelease = true;
        } else if (kind == "expires" && !haveExpires && Number(rest, &number)) {
            manifest.expires = static_cast<int64_t>(number);
            haveExpires = true;
        } else if (kind == "file") {
            ManifestFile file;
            if (!FileFields(rest, &file.size, &file.sha256, &file.path) ||
                manifest.Find(file.path) != nullptr)
                return Fail(reason, where + ": a malformed or repeated file"), std::nullopt;
            manifest.files.push_back(std::move(file));
        } else if (kind == "client") {
            auto [version, fields] = Split(rest);
            ClientFile file;
            if (!IsVersion(version) || !FileFields(fields, &file.size, &file.sha256, &file.path))
                return Fail(reason, where + ": a malformed client file"), std::nullopt;
            file.version = version;
            manifest.clients.push_back(std::move(file));
        } else {
            return Fail(reason, where + ": not understood"), std::nullopt;
        }
    }
    if (!haveScope || !haveRelease || !haveExpires)
        return Fail(reason, "scope, release or expiry missing"), std::nullopt;
    return manifest;
}

std::string DelegationMessage(std::string_view key, int64_t expires) {
    return "orl-delegation 1\nkey " + std::string(key) + "\nexpires " + std::to_string(expires) + "\n";
}

std::string FormatDelegation(const Delegation& d) {
    return DelegationMessage(d.key, d.expires) + "delegated-by " + d.root + "\nsignature " + d.signature +
           "\n";
}

std::optional<Delegation> ParseDelegation(std::string_view text, std::string* reason) {
    auto fields = Fields(text, "orl-delegation 1", reason);
    if (!fields) return std::nullopt;
    Delegation d;
    int found = 0;
    for (const auto& [key, value] : *fields) {
        uint64_t number = 0;
        if (key == "key" && IsHex(value, kKeyDigits)) {
            d.key = value;
        } else if (key == "expires" && Number(value, &number)) {
            d.expires = static_cast<int64_t>(number);
        } else if (key == "delegated-by" && IsHex(value, kKeyDigits)) {
            d.root = value;
        } else if (key == "signature" && IsHex(value, kSignatureDigits)) {
            d.signature = value;
        } else {
            return Fail(reason, "a malformed delegation field \"" + std::string(key) + "\""), std::nullopt;
        }
        ++found;
    }
    if (found != 4)
        return Fail(reason, "a delegation needs key, expires, delegated-by and signature"), std::nullopt;
    return d;
}

std::string FormatSignature(const ManifestSignature& s) {
    std::string text = "orl-signature 1\nkey " + s.key + "\nsignature " + s.signature + "\n";
    if (s.delegation) {
        text += "delegation-expires " + std::to_string(s.delegation->expires) + "\ndelegated-by " +
                s.delegation->root + "\ndelegation-signature " + s.delegation->signature + "\n";
    }
    return text;
}

std::optional<ManifestSignature> ParseSignature(std::string_view text, std::string* reason) {
    auto fields = Fields(text, "orl-signature 1", reason);
    if (!fields) return std::nullopt;
    ManifestSignature s;
    Delegation d;
    int delegationFields = 0;
    for (const auto& [key, value] : *fields) {
        uint64_t number = 0;
        if (key == "key" && IsHex(value, kKeyDigits)) {
            s.key = value;
        } else if (key == "signature" && IsHex(value, kSignatureDigits)) {
            s.signature = value;
        } else if (key == "delegation-expires" && Number(value, &number)) {
            d.expires = static_cast<int64_t>(number);
            ++delegationFields;
        } else if (key == "delegated-by" && IsHex(value, kKeyDigits)) {
            d.root = value;
            ++delegationFields;
        } else if (key == "delegation-signature" && IsHex(value, kSignatureDigits)) {
            d.signature = value;
            ++delegationFields;
        } else {
            return Fail(reason, "a malformed signature field \"" + std::string(key) + "\""), std::nullopt;
        }
    }
    if (s.key.empty() || s.signature.empty()) return Fail(reason, "key or signature missing"), std::nullopt;
    if (delegationFields != 0 && delegationFields != 3)
        return Fail(reason, "an incomplete delegation"), std::nullopt;
    if (delegationFields == 3) {
        d.key = s.key;
        s.delegation = d;
    }
    return s;
}

SignatureVerdict CheckSignature(std::string_view manifestText, const ManifestSignature& signature,
                                const std::vector<std::string>& trustedKeys, int64_t now) {
    auto trusted = [&](const std::string& key) {
        return std::find(trustedKeys.begin(), trustedKeys.end(), key) != trustedKeys.end();
    };
    if (!trusted(signature.key)) {
        const std::optional<Delegation>& d = signature.delegation;
        if (!d || d->key != signature.key || !trusted(d->root)) return SignatureVerdict::UnknownKey;
        if (!VerifySignature(d->root, DelegationMessage(d->key, d->expires), d->signature))
            return SignatureVerdict::BadSignature;
        if (d->expires <= now) return SignatureVerdict::DelegationExpired;
    }
    return VerifySignature(signature.key, manifestText, signature.signature) ? SignatureVerdict::Trusted
                                                                             : SignatureVerdict::BadSignature;
}

}  // namespace platform
