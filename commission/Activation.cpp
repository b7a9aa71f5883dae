#include "Activation.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sodium.h>
#include <unistd.h>

#include "Csv.h"
#include "Secret.h"
#include "TrustWire.h"

namespace commission {

const char kGeneratedPasswordAlphabet[] = "acdefhjkmnprtwxy"
                                          "ACDEFHJKLMNPRTWXY"
                                          "347";

const char* const kSecretColumns[] = {"mac", "devName", "productSeries", "ipAddr", "password"};
const size_t kSecretColumnCount = sizeof kSecretColumns / sizeof kSecretColumns[0];

namespace {

constexpr size_t kAlphabetSize = sizeof kGeneratedPasswordAlphabet - 1;

bool HasEveryClass(const std::string& p) {
    bool lower = false, upper = false, digit = false;
    for (char c : p) {
        lower |= c >= 'a' && c <= 'z';
        upper |= c >= 'A' && c <= 'Z';
        digit |= c >= '0' && c <= '9';
    }
    return lower && upper && digit;
}

// Every character of a generated password stands for itself in a CSV cell.
bool PlainCell(const std::string& text) {
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            return false;
    return !text.empty();
}

} // namespace

std::string GeneratePassword(std::string_view mac, std::string_view deviceName) {
    if (!lorvex::trust::InitCrypto())
        return std::string();
    std::string password(kGeneratedPasswordLength, '\0');
    // Drawing again until all three classes show costs a few draws at most
    // (a 14-character draw lacks one with a chance of about 1 in 10) and
    // keeps every character uniform.
    for (;;) {
        for (char& c : password)
            c = kGeneratedPasswordAlphabet[randombytes_uniform(kAlphabetSize)];
        if (HasEveryClass(password) && lorvex::trust::CheckPasswordStrength(
                                           password, mac, deviceName) == lorvex::trust::PASSWORD_OK)
            return password;
    }
}

bool NeedsActivation(const SEARCH_INFO& record) { return record.deviceActivated == 1; }

std::vector<PlanEntry> ActivationPlan(const std::vector<SEARCH_INFO>& selected) {
    std::vector<PlanEntry> plan;
    for (const SEARCH_INFO& record : selected) {
        PlanEntry e;
        e.device = PlanDeviceOf(record);
        e.ip = e.device.ip;
        e.mask = e.device.mask;
        e.gateway = e.device.gateway;
        plan.push_back(std::move(e));
    }
    return plan;
}

bool GeneratePasswords(std::vector<PlanEntry>* plan, const std::vector<bool>& needs) {
    bool ok = true;
    for (size_t i = 0; i < plan->size() && ok; ++i) {
        PlanEntry& e = (*plan)[i];
        WipeSecret(&e.password);
        if (i < needs.size() && needs[i]) {
            e.password = GeneratePassword(e.device.mac, e.device.name);
            ok = !e.password.empty();
        }
    }
    if (!ok)
        for (PlanEntry& e : *plan)
            WipeSecret(&e.password);
    return ok;
}

std::string SecretPasswordsCsv(const std::vector<PlanEntry>& plan) {
    std::string text =
        "\xEF\xBB\xBF" +
        CsvLine(std::vector<std::string>(kSecretColumns, kSecretColumns + kSecretColumnCount));
    for (const PlanEntry& e : plan) {
        if (e.password.empty())
            continue;
        std::string line = CsvLine({e.device.mac, e.device.name, e.device.type, e.device.ip});
        line.resize(line.size() - 2); // the CRLF; the password cell follows
        line += ',';
        if (PlainCell(e.password)) {
            line += e.password;
        } else {
            std::string cell = CsvCell(e.password);
            line += cell;
            WipeSecret(&cell);
        }
        line += "\r\n";
        text += line;
        WipeSecret(&line);
    }
    return text;
}

bool WriteSecretPasswordsFile(const std::string& path, const std::vector<PlanEntry>& plan,
                              std::string* error) {
    // O_EXCL refuses any existing name, a dangling link included, so the
    // passwords never land in a file someone else prepared or can read.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = errno == EEXIST ? path + ": exists already; not overwritten"
                                 : path + ": " + std::strerror(errno);
        return false;
    }
    std::string text = SecretPasswordsCsv(plan);
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += static_cast<size_t>(n);
    }
    const bool ok = written == text.size() && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    WipeSecret(&text);
    if (!ok) {
        ::unlink(path.c_str());
        *error = path + ": " + std::strerror(savedErrno ? savedErrno : EIO);
    }
    return ok;
}

bool GeneratePlanPasswords(std::vector<PlanEntry>* plan,
                           const std::function<bool(const PlanEntry&)>& takesOne,
                           const std::string& path, size_t* count, std::string* error) {
    std::vector<PlanEntry> generated;
    *count = 0;
    for (PlanEntry& e : *plan) {
        if (!e.generatePassword || e.setupCode.empty() || !takesOne(e))
            continue;
        e.password = GeneratePassword(e.device.mac, e.device.name);
        if (e.password.empty())
            return *error = "no random source", false;
        generated.push_back(e);
        WipeSecret(&generated.back().setupCode);
    }
    if (generated.empty())
        return true;
    const bool written = WriteSecretPasswordsFile(path, generated, error);
    for (PlanEntry& e : generated)
        WipeSecret(&e.password);
    *count = written ? generated.size() : 0;
    return written;
}

} // namespace commission
