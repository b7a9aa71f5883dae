// The simulated cameras' HTTPS side: one self-signed certificate per
// camera (named by the caller's namer from the local address a client
// connected to, so that a re-addressed camera keeps its certificate), made
// with a fresh key the first time a client connects to it after the
// simulator started. A restarted simulator thus
// shows every https camera with a new certificate, as a camera does after
// a reset: what the tool's certificate pinning is tested against.
#pragma once

#include <openssl/ssl.h>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace devsim {

class CameraTls {
public:
    CameraTls() = default;
    ~CameraTls();
    CameraTls(const CameraTls&) = delete;
    CameraTls& operator=(const CameraTls&) = delete;

    // Names the camera at a local address (host order); an empty name
    // stands for the address itself. Set before any connection.
    void SetNamer(std::function<std::string(std::uint32_t)> namer) { m_namer = std::move(namer); }

    // Makes ctx present, on each connection, the certificate of the camera
    // at the local address the client connected to. False when ctx refuses.
    bool Install(SSL_CTX* ctx);

    // "sha256//BASE64" of the public key served at address (host order),
    // making it when none was yet; empty when it cannot be made.
    std::string PinOf(std::uint32_t address);

private:
    struct Identity {
        X509* cert = nullptr;
        EVP_PKEY* key = nullptr;
    };
    static int OnCertificate(SSL* ssl, void* self);
    // Under m_mutex: the identity of address, made on first use.
    const Identity* IdentityOf(std::uint32_t address);

    std::function<std::string(std::uint32_t)> m_namer;
    std::mutex m_mutex;
    std::map<std::string, Identity> m_identities;
};

} // namespace devsim
