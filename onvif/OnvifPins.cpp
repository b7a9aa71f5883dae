#include "OnvifPins.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>

namespace onvif {
namespace {

constexpr std::size_t kMaxEndpointBytes = 512;
const char kFileName[] = "camera-certificates";

std::mutex& FileMutex() {
    static std::mutex m;
    return m;
}

std::string Folder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/')
        return std::string(data) + "/lorvex";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return std::string(home) + "/.local/share/lorvex";
    return std::string();
}

bool WritableLine(const std::string& text) {
    if (text.empty() || text.size() > kMaxEndpointBytes)
        return false;
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F)
            return false;
    return true;
}

bool IsPin(const std::string& text) {
    static const char kPrefix[] = "sha256//";
    if (text.compare(0, sizeof kPrefix - 1, kPrefix) != 0 || text.size() != 8 + 44)
        return false;
    for (size_t i = 8; i < text.size(); ++i) {
        const char c = text[i];
        const bool base64 = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                            (c >= '0' && c <= '9') || c == '+' || c == '/' || c == '=';
        if (!base64)
            return false;
    }
    return true;
}

// Every well-formed line of the file; a missing file is empty.
std::map<std::string, std::string> ReadPins(const std::string& path) {
    std::map<std::string, std::string> pins;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return pins;
    std::string text;
    char chunk[8192];
    ssize_t n = 0;
    while (text.size() < kMaxPinFileBytes && (n = read(fd, chunk, sizeof chunk)) > 0)
        text.append(chunk, static_cast<size_t>(n));
    close(fd);
    size_t at = 0;
    while (at < text.size() && pins.size() < kMaxPins) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            break; // a cut last line is dropped
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        const size_t blank = line.find(' ');
        if (blank == std::string::npos)
            continue;
        const std::string pin = line.substr(0, blank), endpoint = line.substr(blank + 1);
        if (IsPin(pin) && WritableLine(endpoint))
            pins.emplace(endpoint, pin);
    }
    return pins;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Replaces the file whole: a new file beside it, synced, renamed over it.
bool WritePins(const std::string& folder, const std::map<std::string, std::string>& pins) {
    std::string text;
    for (const auto& p : pins)
        text += p.second + " " + p.first + "\n";
    std::string temp = folder + "/." + kFileName + ".XXXXXX";
    const int fd = mkostemp(&temp[0], O_CLOEXEC); // mode 0600
    if (fd < 0)
        return false;
    const bool written = WriteAll(fd, text) && fsync(fd) == 0;
    close(fd);
    if (!written || rename(temp.c_str(), (folder + "/" + kFileName).c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

// Makes each missing folder of path, 0700.
bool MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            return true;
    }
}

// Holds the process's lock and the lock file beside the pins while alive.
class FileLock {
public:
    explicit FileLock(const std::string& folder) : m_hold(FileMutex()) {
        if (folder.empty() || !MakeFolders(folder))
            return;
        m_fd = open((folder + "/." + kFileName + ".lock").c_str(),
                    O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_fd >= 0 && flock(m_fd, LOCK_EX) != 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
    ~FileLock() {
        if (m_fd >= 0)
            close(m_fd); // releases the flock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Held() const { return m_fd >= 0; }

private:
    std::lock_guard<std::mutex> m_hold;
    int m_fd = -1;
};

} // namespace

std::string PinFilePath() {
    const std::string folder = Folder();
    return folder.empty() ? folder : folder + "/" + kFileName;
}

bool LookupPin(const std::string& endpoint, std::string* pin) {
    const std::string path = PinFilePath();
    if (path.empty())
        return false;
    std::lock_guard<std::mutex> hold(FileMutex());
    const auto pins = ReadPins(path);
    auto it = pins.find(endpoint);
    if (it == pins.end())
        return false;
    *pin = it->second;
    return true;
}

std::string RememberPin(const std::string& endpoint, const std::string& pin) {
    const std::string folder = Folder();
    if (!WritableLine(endpoint) || !IsPin(pin))
        return pin;
    FileLock lock(folder);
    if (!lock.Held())
        return pin;
    auto pins = ReadPins(folder + "/" + kFileName);
    auto it = pins.find(endpoint);
    if (it != pins.end())
        return it->second;
    if (pins.size() >= kMaxPins)
        return pin;
    pins.emplace(endpoint, pin);
    WritePins(folder, pins);
    return pin;
}

bool ForgetPin(const std::string& endpoint) {
    const std::string folder = Folder();
    FileLock lock(folder);
    if (!lock.Held())
        return false;
    auto pins = ReadPins(folder + "/" + kFileName);
    if (pins.erase(endpoint) == 0)
        return false;
    return WritePins(folder, pins);
}

} // namespace onvif
