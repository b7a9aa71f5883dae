#include "CameraTls.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <sys/socket.h>

namespace devsim {
namespace {

// A P-256 key and a certificate for it, signed by itself, valid a year
// from a day ago, named after the address.
bool MakeIdentity(std::uint32_t address, X509** certOut, EVP_PKEY** keyOut) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = key != nullptr ? X509_new() : nullptr;
    if (cert == nullptr) {
        EVP_PKEY_free(key);
        return false;
    }
    in_addr a{};
    a.s_addr = htonl(address);
    char name[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, name, sizeof name);
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), static_cast<long>(address & 0x7FFFFFFF));
    X509_gmtime_adj(X509_getm_notBefore(cert), -86400);
    X509_gmtime_adj(X509_getm_notAfter(cert), 365L * 86400);
    X509_NAME* subject = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(name), -1, -1, 0);
    X509_set_issuer_name(cert, subject);
    if (X509_set_pubkey(cert, key) != 1 || X509_sign(cert, key, EVP_sha256()) == 0) {
        X509_free(cert);
        EVP_PKEY_free(key);
        return false;
    }
    *certOut = cert;
    *keyOut = key;
    return true;
}

} // namespace

CameraTls::~CameraTls() {
    for (auto& [address, id] : m_identities) {
        X509_free(id.cert);
        EVP_PKEY_free(id.key);
    }
}

bool CameraTls::Install(SSL_CTX* ctx) {
    SSL_CTX_set_cert_cb(ctx, &CameraTls::OnCertificate, this);
    return true;
}

const CameraTls::Identity* CameraTls::IdentityOf(std::uint32_t address) {
    std::string name = m_namer ? m_namer(address) : std::string();
    if (name.empty())
        name = std::to_string(address);
    auto it = m_identities.find(name);
    if (it != m_identities.end())
        return &it->second;
    Identity id;
    if (!MakeIdentity(address, &id.cert, &id.key))
        return nullptr;
    return &m_identities.emplace(name, id).first->second;
}

int CameraTls::OnCertificate(SSL* ssl, void* self) {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (getsockname(SSL_get_fd(ssl), reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
        local.sin_family != AF_INET)
        return 0;
    CameraTls* tls = static_cast<CameraTls*>(self);
    std::lock_guard<std::mutex> hold(tls->m_mutex);
    const Identity* id = tls->IdentityOf(ntohl(local.sin_addr.s_addr));
    if (id == nullptr || SSL_use_certificate(ssl, id->cert) != 1 ||
        SSL_use_PrivateKey(ssl, id->key) != 1)
        return 0;
    return 1;
}

std::string CameraTls::PinOf(std::uint32_t address) {
    std::lock_guard<std::mutex> hold(m_mutex);
    const Identity* id = IdentityOf(address);
    if (id == nullptr)
        return std::string();
    unsigned char* der = nullptr;
    const int length = i2d_PUBKEY(id->key, &der);
    if (length <= 0)
        return std::string();
    unsigned char hash[32];
    unsigned int hashLength = 0;
    EVP_Digest(der, static_cast<size_t>(length), hash, &hashLength, EVP_sha256(), nullptr);
    OPENSSL_free(der);
    unsigned char text[64] = {};
    const int n = EVP_EncodeBlock(text, hash, static_cast<int>(hashLength));
    return "sha256//" + std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(n));
}

} // namespace devsim
