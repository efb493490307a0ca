#include "devcert/dev_certificate.h"

#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

#include <cstdio>
#include <stdexcept>

namespace {

void Check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("certificate: ") + what);
}

void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    Check(ext != nullptr, "extension");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

X509* MakeCertificate(EVP_PKEY* key, const std::string& commonName, X509* issuer, EVP_PKEY* issuerKey,
                      long serial) {
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 7 * 24 * 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0);
    X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer) : name);
    X509* signer = issuer ? issuer : cert;
    AddExtension(cert, signer, NID_subject_key_identifier, "hash");
    if (issuer == nullptr) {
        AddExtension(cert, signer, NID_basic_constraints, "critical,CA:TRUE");
        AddExtension(cert, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        AddExtension(cert, signer, NID_authority_key_identifier, "keyid:always");
        AddExtension(cert, signer, NID_basic_constraints, "critical,CA:FALSE");
        AddExtension(cert, signer, NID_key_usage, "critical,digitalSignature,keyEncipherment");
        AddExtension(cert, signer, NID_ext_key_usage, "serverAuth");
        AddExtension(cert, signer, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1");
    }
    Check(X509_sign(cert, issuerKey, EVP_sha256()) > 0, "sign");
    return cert;
}

}  // namespace

DevCredentials MakeDevCredentials(const std::string& authorityName) {
    DevCredentials c;
    c.caKey = EVP_EC_gen("P-256");
    c.serverKey = EVP_EC_gen("P-256");
    Check(c.caKey != nullptr && c.serverKey != nullptr, "key");
    c.caCert = MakeCertificate(c.caKey, authorityName, nullptr, c.caKey, 1);
    c.serverCert = MakeCertificate(c.serverKey, "localhost", c.caCert, c.caKey, 2);
    return c;
}

void FreeDevCredentials(DevCredentials& credentials) {
    X509_free(credentials.serverCert);
    EVP_PKEY_free(credentials.serverKey);
    X509_free(credentials.caCert);
    EVP_PKEY_free(credentials.caKey);
    credentials = {};
}

bool WriteAuthorityPem(const DevCredentials& credentials, const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return false;
    bool ok = PEM_write_X509(file, credentials.caCert) == 1;
    return std::fclose(file) == 0 && ok;
}

bool WriteServerPem(const DevCredentials& credentials, const std::string& certPath,
                    const std::string& keyPath) {
    FILE* cert = std::fopen(certPath.c_str(), "w");
    if (cert == nullptr) return false;
    bool ok = PEM_write_X509(cert, credentials.serverCert) == 1;
    ok = std::fclose(cert) == 0 && ok;
    FILE* key = std::fopen(keyPath.c_str(), "w");
    if (key == nullptr) return false;
    ::chmod(keyPath.c_str(), 0600);
    ok = PEM_write_PrivateKey(key, credentials.serverKey, nullptr, nullptr, 0, nullptr, nullptr) == 1 && ok;
    return std::fclose(key) == 0 && ok;
}
