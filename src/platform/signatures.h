// Ed25519 signatures and SHA-256 on OpenSSL: the publisher signs what it publishes, the launcher checks
// it against public keys it trusts. Keys and signatures travel as lower-case hex: a public key is 64
// digits (32 bytes), a signature 128 (64 bytes). A private key is kept as a PEM (PKCS #8) text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct SigningKeyPair {
    std::string privatePem;
    std::string publicKey;
};

std::optional<SigningKeyPair> GenerateSigningKey();
// The public key of a private key's PEM text; nothing when it is not an Ed25519 key.
std::optional<std::string> PublicKeyOf(const std::string& privatePem);
// The signature of message, in hex; nothing when the key cannot be used.
std::optional<std::string> SignMessage(const std::string& privatePem, std::string_view message);
// Whether signature is publicKey's signature of message. Malformed keys and signatures are refused.
bool VerifySignature(std::string_view publicKey, std::string_view message, std::string_view signature);

std::string Sha256Hex(std::string_view data);
// The SHA-256 of a file's content, read in large blocks; nothing when it cannot be read.
std::optional<std::string> Sha256OfFile(const std::string& path);

// The public keys the launcher trusts: those it was built with and, in a build that allows it, those
// in the file that ORL_TRUSTED_KEYS names (one a line; lines that hold no key, comments among them,
// are passed over). Empty when it trusts none.
std::vector<std::string> TrustedKeys();

// Whether text is exactly digits lower-case hex digits.
bool IsHex(std::string_view text, size_t digits);

}  // namespace platform
