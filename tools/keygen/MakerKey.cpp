#include "MakerKey.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "Secret.h"
#include "TrustWire.h"

namespace keygen {
namespace {

constexpr std::size_t kSeedBytes = crypto_sign_SEEDBYTES;

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool Exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

// Writes `size` bytes to a new file of `mode`; false, and no file, on any
// failure.
bool WriteNewFile(const std::string& path, const char* text, std::size_t size, mode_t mode,
                  std::string* error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = fchmod(fd, mode) == 0 && write(fd, text, size) == static_cast<ssize_t>(size) &&
              fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok) {
        *error = path + ": could not be written";
        unlink(path.c_str());
    }
    return ok;
}

// The seed and its hex text in locked memory that sodium_free wipes.
struct SecretBuffers {
    SecretBuffers()
        : seed(static_cast<unsigned char*>(sodium_malloc(kSeedBytes))),
          secretKey(static_cast<unsigned char*>(sodium_malloc(crypto_sign_SECRETKEYBYTES))),
          hex(static_cast<char*>(sodium_malloc(2 * kSeedBytes + 2))) {}
    ~SecretBuffers() {
        sodium_free(seed);
        sodium_free(secretKey);
        sodium_free(hex);
    }
    SecretBuffers(const SecretBuffers&) = delete;
    SecretBuffers& operator=(const SecretBuffers&) = delete;
    bool Usable() const { return seed && secretKey && hex; }

    unsigned char* seed;
    unsigned char* secretKey;
    char* hex;
};

} // namespace

bool InsideRepository(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(FolderOf(path).c_str(), resolved) == nullptr)
        return false;
    for (std::string folder = resolved;; folder = FolderOf(folder)) {
        if (Exists(folder + (folder == "/" ? ".git" : "/.git")))
            return true;
        if (folder == "/")
            return false;
    }
}

bool MakeMakerKey(const std::string& publicPath, const std::string& privatePath,
                  std::string* fingerprint, std::string* error) {
    if (publicPath.empty() || privatePath.empty() || publicPath == privatePath) {
        *error = "two different files are needed, one for each half";
        return false;
    }
    char resolved[PATH_MAX];
    if (realpath(FolderOf(privatePath).c_str(), resolved) == nullptr) {
        *error = FolderOf(privatePath) + ": no such folder";
        return false;
    }
    if (InsideRepository(privatePath)) {
        *error = privatePath + ": inside a repository; the private key never goes there";
        return false;
    }
    for (const std::string& path : {publicPath, privatePath}) {
        if (Exists(path)) {
            *error = path + ": exists already; not overwritten";
            return false;
        }
    }
    if (!lorvex::trust::InitCrypto()) {
        *error = "libsodium could not be started";
        return false;
    }
    const NonDumpableHold hold; // no core file while the seed is in memory
    SecretBuffers secret;
    if (!secret.Usable()) {
        *error = "no locked memory for the key";
        return false;
    }
    lorvex::trust::Key publicKey{};
    randombytes_buf(secret.seed, kSeedBytes);
    crypto_sign_seed_keypair(publicKey.data(), secret.secretKey, secret.seed);
    sodium_bin2hex(secret.hex, 2 * kSeedBytes + 1, secret.seed, kSeedBytes);
    secret.hex[2 * kSeedBytes] = '\n';
    if (!WriteNewFile(privatePath, secret.hex, 2 * kSeedBytes + 1, 0600, error))
        return false;
    const std::string anchor = lorvex::trust::ToHex(publicKey.data(), publicKey.size()) + "\n";
    if (!WriteNewFile(publicPath, anchor.data(), anchor.size(), 0644, error)) {
        unlink(privatePath.c_str());
        return false;
    }
    *fingerprint = lorvex::trust::Fingerprint(publicKey);
    return true;
}

} // namespace keygen
