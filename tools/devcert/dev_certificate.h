// A certificate authority of its own and a "localhost" server certificate signed by it, made on the
// spot for loopback servers (tests, the demo): clients trust the authority through ORL_CA_BUNDLE.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string>

struct DevCredentials {
    EVP_PKEY* caKey = nullptr;
    X509* caCert = nullptr;
    EVP_PKEY* serverKey = nullptr;
    X509* serverCert = nullptr;
};

// A fresh authority named authorityName and a server certificate for localhost and 127.0.0.1, valid
// for a week. Throws std::runtime_error when OpenSSL fails.
DevCredentials MakeDevCredentials(const std::string& authorityName);
void FreeDevCredentials(DevCredentials& credentials);
// Writes the authority's certificate as PEM; false when the file cannot be written.
bool WriteAuthorityPem(const DevCredentials& credentials, const std::string& path);
// Writes the server's certificate and key as PEM files (the key readable by the owner only).
bool WriteServerPem(const DevCredentials& credentials, const std::string& certPath,
                    const std::string& keyPath);
