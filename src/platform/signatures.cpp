#include "platform/signatures.h"

#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/files.h"

namespace platform {
namespace {

constexpr size_t kKeyBytes = 32;
constexpr size_t kSignatureBytes = 64;

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Context = std::unique_ptr<EVP_MD_CTX, ContextFree>;
using Bio = std::unique_ptr<BIO, BioFree>;

std::string Hex(const unsigned char* data, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 15];
    }
    return text;
}

std::vector<unsigned char> Bytes(std::string_view hex) {
    std::vector<unsigned char> bytes(hex.size() / 2);
    auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(digit(hex[2 * i]) * 16 + digit(hex[2 * i + 1]));
    return bytes;
}

Key ReadPrivateKey(const std::string& pem) {
    Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio) return nullptr;
    Key key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519) return nullptr;
    return key;
}

std::optional<std::string> RawPublicKey(EVP_PKEY* key) {
    unsigned char raw[kKeyBytes];
    size_t size = sizeof raw;
    if (EVP_PKEY_get_raw_public_key(key, raw, &size) != 1 || size != kKeyBytes) return std::nullopt;
    return Hex(raw, size);
}

}  // namespace

bool IsHex(std::string_view text, size_t digits) {
    return text.size() == digits && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

std::optional<SigningKeyPair> GenerateSigningKey() {
    EVP_PKEY* made = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
    Key key(made);
    if (!key) return std::nullopt;
    Bio bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return std::nullopt;
    char* data = nullptr;
    long size = BIO_get_mem_data(bio.get(), &data);
    auto publicKey = RawPublicKey(key.get());
    if (!publicKey || size <= 0) return std::nullopt;
    return SigningKeyPair{std::string(data, static_cast<size_t>(size)), *publicKey};
}

std::optional<std::string> PublicKeyOf(const std::string& privatePem) {
    Key key = ReadPrivateKey(privatePem);
    if (!key) return std::nullopt;
    return RawPublicKey(key.get());
}

std::optional<std::string> SignMessage(const std::string& privatePem, std::string_view message) {
    Key key = ReadPrivateKey(privatePem);
    Context context(EVP_MD_CTX_new());
    if (!key || !context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return std::nullopt;
    unsigned char signature[kSignatureBytes];
    size_t size = sizeof signature;
    if (EVP_DigestSign(context.get(), signature, &size,
                       reinterpret_cast<const unsigned char*>(message.data()), message.size()) != 1 ||
        size != kSignatureBytes)
        return std::nullopt;
    return Hex(signature, size);
}

bool VerifySignature(std::string_view publicKey, std::string_view message, std::string_view signature) {
    if (!IsHex(publicKey, 2 * kKeyBytes) || !IsHex(signature, 2 * kSignatureBytes)) return false;
    std::vector<unsigned char> raw = Bytes(publicKey);
    Key key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, raw.data(), raw.size()));
    Context context(EVP_MD_CTX_new());
    if (!key || !context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    std::vector<unsigned char> bytes = Bytes(signature);
    return EVP_DigestVerify(context.get(), bytes.data(), bytes.size(),
                            reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
}

std::string Sha256Hex(std::string_view data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(data.data(), data.size(), digest, &size, EVP_sha256(), nullptr);
    return Hex(digest, size);
}

std::optional<std::string> Sha256OfFile(const std::string& path) {
    int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    Context context(EVP_MD_CTX_new());
    bool ok = context && EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) == 1;
    std::vector<char> buffer(size_t{1} << 20);
    while (ok) {
        ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        ok = EVP_DigestUpdate(context.get(), buffer.data(), static_cast<size_t>(n)) == 1;
    }
    ::close(fd);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!ok || EVP_DigestFinal_ex(context.get(), digest, &size) != 1) return std::nullopt;
    return Hex(digest, size);
}

std::vector<std::string> TrustedKeys() {
    std::vector<std::string> keys;
    // One key a line (or a word, for the keys built in); comments and anything else pass.
    auto add = [&](std::string_view text, char separator) {
        for (size_t start = 0; start < text.size();) {
            size_t end = std::min(text.find(separator, start), text.size());
            std::string_view line = text.substr(start, end - start);
            start = end + 1;
            while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.remove_suffix(1);
            while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front()))) line.remove_prefix(1);
            if (IsHex(line, 2 * kKeyBytes)) keys.emplace_back(line);
        }
    };
    add(ORL_BUILT_IN_KEYS, ' ');
    if (ORL_KEYS_FROM_ENV) {
        const char* file = std::getenv("ORL_TRUSTED_KEYS");
        if (file != nullptr && *file != '\0') {
            if (auto text = ReadFile(file, 1 << 20)) add(*text, '\n');
        }
    }
    return keys;
}

}  // namespace platform
