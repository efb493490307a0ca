// Feeds arbitrary bytes to the readers of the release manifest, its signature and a delegation, as a
// hostile server could. What a reader accepts writes back to the very same text, names only plain
// relative paths, and goes through the signature check without harm.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/release_manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string reason;
    if (auto manifest = platform::ParseManifest(text, &reason)) {
        for (const platform::ManifestFile& file : manifest->files)
            if (!platform::IsPlainRelativePath(file.path)) std::abort();
        for (const platform::ClientFile& file : manifest->clients)
            if (!platform::IsPlainRelativePath(file.path)) std::abort();
        auto again = platform::ParseManifest(platform::FormatManifest(*manifest), &reason);
        if (!again || platform::FormatManifest(*again) != platform::FormatManifest(*manifest)) std::abort();
    }
    if (auto signature = platform::ParseSignature(text, &reason)) {
        auto again = platform::ParseSignature(platform::FormatSignature(*signature), &reason);
        if (!again || platform::FormatSignature(*again) != platform::FormatSignature(*signature)) std::abort();
        std::vector<std::string> trusted{signature->key};
        if (signature->delegation) trusted.push_back(signature->delegation->root);
        platform::CheckSignature(text, *signature, trusted, 0);
    }
    if (auto delegation = platform::ParseDelegation(text, &reason)) {
        auto again = platform::ParseDelegation(platform::FormatDelegation(*delegation), &reason);
        if (!again || platform::FormatDelegation(*again) != platform::FormatDelegation(*delegation)) std::abort();
    }
    return 0;
}
