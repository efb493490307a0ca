#include "support/https_server.h"

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace {

struct Credentials {
    EVP_PKEY* caKey = nullptr;
    X509* caCert = nullptr;
    EVP_PKEY* serverKey = nullptr;
    X509* serverCert = nullptr;
    std::string caFile;
};

void Check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("test certificate: ") + what);
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

X509* MakeCertificate(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey, long serial) {
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 7 * 24 * 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName),
                               -1, -1, 0);
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

const Credentials& TestCredentials() {
    static const Credentials credentials = [] {
        Credentials c;
        c.caKey = EVP_EC_gen("P-256");
        c.serverKey = EVP_EC_gen("P-256");
        Check(c.caKey && c.serverKey, "key");
        c.caCert = MakeCertificate(c.caKey, "ORL test authority", nullptr, c.caKey, 1);
        c.serverCert = MakeCertificate(c.serverKey, "localhost", c.caCert, c.caKey, 2);
        char path[] = "/tmp/orl-test-ca-XXXXXX";
        int fd = mkstemp(path);
        Check(fd >= 0, "authority file");
        FILE* file = fdopen(fd, "w");
        PEM_write_X509(file, c.caCert);
        fclose(file);
        c.caFile = path;
        setenv("ORL_CA_BUNDLE", path, 1);
        // The file goes when the test program ends.
        static struct Remover {
            std::string path;
            ~Remover() { std::remove(path.c_str()); }
        } remover{path};
        return c;
    }();
    return credentials;
}

const Credentials& StrangerCredentials() {
    static const Credentials credentials = [] {
        Credentials c;
        c.caKey = EVP_EC_gen("P-256");
        Check(c.caKey != nullptr, "key");
        c.caCert = MakeCertificate(c.caKey, "Stranger", nullptr, c.caKey, 3);
        c.serverKey = EVP_EC_gen("P-256");
        c.serverCert = MakeCertificate(c.serverKey, "localhost", c.caCert, c.caKey, 4);
        return c;
    }();
    return credentials;
}

// Web pages are served as pages, everything else as bytes.
const char* ContentType(const std::string& path) {
    for (const char* page : {".html", ".htm", ".asp"}) {
        if (path.ends_with(page)) return "text/html";
    }
    return "application/octet-stream";
}

}  // namespace

const std::string& TestAuthorityFile() { return TestCredentials().caFile; }

HttpsServer::HttpsServer(Trust trust) {
    TestCredentials();
    const Credentials& c = trust == Trust::Authority ? TestCredentials() : StrangerCredentials();
    m_server = std::make_unique<httplib::SSLServer>(c.serverCert, c.serverKey);
    Check(m_server->is_valid(), "server");
    // Idle connections are dropped soon, so stopping the server never waits long for them.
    m_server->set_keep_alive_timeout(1);
    m_server->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        std::shared_ptr<const Entry> entry;
        {
            std::lock_guard lock(m_mutex);
            HttpRequestRecord record{request.path, {}};
            for (const auto& [key, value] : request.headers) record.headers[key] = value;
            m_requests.push_back(std::move(record));
            auto found = m_entries.find(request.path);
            if (found != m_entries.end()) entry = found->second;
        }
        if (!entry || (entry->failing && entry->fault == HttpFault::NotFound)) {
            response.status = 404;
            response.set_content("not found", "text/plain");
            return;
        }
        if (!entry->failing) {
            // Streamed from the entry itself: large bodies are not copied per request.
            response.set_content_provider(entry->body.size(), ContentType(request.path),
                                          [entry](size_t offset, size_t length, httplib::DataSink& sink) {
                                              size_t n = std::min<size_t>(length, size_t{1} << 20);
                                              return sink.write(entry->body.data() + offset, n);
                                          });
            return;
        }
        switch (entry->fault) {
            case HttpFault::NotFound:
                break;
            case HttpFault::ServerError:
                response.status = 500;
                response.set_content("internal error", "text/plain");
                break;
            case HttpFault::CutShort:
            case HttpFault::Stall:
                response.set_content_provider(
                    entry->body.size(), "application/octet-stream",
                    [this, entry](size_t offset, size_t, httplib::DataSink& sink) {
                        size_t stop = std::min(entry->afterBytes, entry->body.size());
                        if (offset < stop) return sink.write(entry->body.data() + offset, stop - offset);
                        if (entry->fault == HttpFault::CutShort) return false;
                        while (Pause(100)) {
                            if (!sink.is_writable()) return false;
                        }
                        return false;
                    });
                break;
            case HttpFault::Endless:
                response.set_chunked_content_provider("application/octet-stream",
                                                      [this](size_t, httplib::DataSink& sink) {
                                                          static const std::string block(65536, 'x');
                                                          std::lock_guard lock(m_mutex);
                                                          if (m_stopping) return false;
                                                          return sink.write(block.data(), block.size());
                                                      });
                break;
        }
    });
    int port = m_server->bind_to_any_port("127.0.0.1");
    Check(port > 0, "bind");
    m_root = "https://localhost:" + std::to_string(port);
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // Stopping a server that has not started listening yet would leave it listening for ever.
    while (!m_server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

HttpsServer::~HttpsServer() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_stopped.notify_all();
    m_server->stop();
    m_thread.join();
}

bool HttpsServer::Pause(int ms) {
    std::unique_lock lock(m_mutex);
    return !m_stopped.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopping; });
}

void HttpsServer::Serve(const std::string& path, std::string body) {
    auto entry = std::make_shared<Entry>();
    entry->body = std::move(body);
    std::lock_guard lock(m_mutex);
    m_entries[path] = entry;
}

void HttpsServer::Fail(const std::string& path, HttpFault fault, size_t afterBytes) {
    std::lock_guard lock(m_mutex);
    auto entry = std::make_shared<Entry>();
    auto found = m_entries.find(path);
    if (found != m_entries.end()) entry->body = found->second->body;
    entry->failing = true;
    entry->fault = fault;
    entry->afterBytes = afterBytes;
    m_entries[path] = entry;
}

void HttpsServer::Remove(const std::string& path) {
    std::lock_guard lock(m_mutex);
    m_entries.erase(path);
}

std::vector<HttpRequestRecord> HttpsServer::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

int HttpsServer::RequestCount(const std::string& path) const {
    std::lock_guard lock(m_mutex);
    int n = 0;
    for (const auto& r : m_requests) n += r.path == path;
    return n;
}
