#include "DeviceTrust.h"

#include <sodium.h>

#include <algorithm>

namespace devsim {
namespace {

using lorvex::trust::Challenge;
using lorvex::trust::Key;

// Wipes a secret text on every way out of a scope.
class SecretWipe {
public:
    explicit SecretWipe(std::string* s) : m_s(s) {}
    ~SecretWipe() {
        if (!m_s->empty())
            sodium_memzero(m_s->data(), m_s->size());
        m_s->clear();
    }
    SecretWipe(const SecretWipe&) = delete;
    SecretWipe& operator=(const SecretWipe&) = delete;

private:
    std::string* m_s;
};

std::uint32_t SecondsSinceBoot(const Device& d, Clock::time_point now) {
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::seconds>(now - d.bootAt).count());
}

void PutBigEndian(std::uint32_t v, unsigned char* out) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

std::uint32_t GetBigEndian(const unsigned char* in) {
    return (std::uint32_t{in[0]} << 24) | (std::uint32_t{in[1]} << 16) |
           (std::uint32_t{in[2]} << 8) | in[3];
}

// The last 8 bytes of a challenge whose first 8 are given.
void ChallengeCheck(const Device& d, const Key& tool, const unsigned char first[8],
                    unsigned char out[8]) {
    crypto_generichash_state st;
    crypto_generichash_init(&st, d.challengeSecret.data(), d.challengeSecret.size(), 8);
    crypto_generichash_update(&st, tool.data(), tool.size());
    crypto_generichash_update(&st, first, 8);
    crypto_generichash_final(&st, out, 8);
}

} // namespace

void Certify(Device* d, const std::array<unsigned char, 32>& makerSeed) {
    std::array<unsigned char, 32> seed{};
    crypto_generichash(seed.data(), seed.size(), d->mac.data(), d->mac.size(), makerSeed.data(),
                       makerSeed.size());
    d->keys = lorvex::trust::SeedKeyPair(seed);
    sodium_memzero(seed.data(), seed.size());
    randombytes_buf(d->challengeSecret.data(), d->challengeSecret.size()); // new at every boot
    d->bootAt = Clock::now();
    if (d->setupCode.empty())
        d->setupCode = DerivedSetupCode(d->mac, makerSeed);
    if (!d->certified) {
        d->cert = lorvex::trust::Certificate{d->mac, d->keys.publicKey, {}};
        return;
    }
    lorvex::trust::SecretKey maker{};
    Key makerPublic{};
    crypto_sign_seed_keypair(makerPublic.data(), maker.data(), makerSeed.data());
    d->cert = lorvex::trust::SignCertificate(d->mac, d->keys.publicKey, maker);
    sodium_memzero(maker.data(), maker.size());
}

std::string DerivedSetupCode(const lorvex::wire::MacBytes& mac,
                             const std::array<unsigned char, 32>& makerSeed) {
    static const unsigned char kLabel[] = {'s', 'e', 't', 'u', 'p', '-', 'c', 'o', 'd', 'e'};
    unsigned char hash[8];
    crypto_generichash_state st;
    crypto_generichash_init(&st, makerSeed.data(), makerSeed.size(), sizeof hash);
    crypto_generichash_update(&st, kLabel, sizeof kLabel);
    crypto_generichash_update(&st, mac.data(), mac.size());
    crypto_generichash_final(&st, hash, sizeof hash);
    std::uint64_t bits = 0;
    for (unsigned char b : hash)
        bits = (bits << 8) | b;
    sodium_memzero(hash, sizeof hash);
    return lorvex::trust::SetupCodeFromBits(bits);
}

namespace {

// A token bucket filled up to now: true when it holds a token.
bool Has(Device::Bucket* b, double rate, double burst, Clock::time_point now) {
    if (b->tokens < 0)
        b->tokens = burst;
    else
        b->tokens =
            std::min(burst, b->tokens + rate * std::chrono::duration<double>(now - b->at).count());
    b->at = now;
    return b->tokens >= 1;
}

Device::AgreedKey* Agreed(Device* d, const Key& tool) {
    for (Device::AgreedKey& k : d->agreedKeys)
        if (k.tool == tool)
            return &k;
    return nullptr;
}

Device::SourceBudget* BudgetOf(Device* d, std::uint32_t source) {
    for (Device::SourceBudget& b : d->budgets)
        if (b.source == source)
            return &b;
    if (d->budgets.size() >= kSourcesTracked) {
        // The least active source gives its place: its answer bucket is the
        // fullest. A source that comes back starts full, as a new one would.
        auto fullest =
            std::max_element(d->budgets.begin(), d->budgets.end(),
                             [](const Device::SourceBudget& a, const Device::SourceBudget& b) {
                                 return a.answers.tokens < b.answers.tokens;
                             });
        d->budgets.erase(fullest);
    }
    d->budgets.push_back({source, {}, {}});
    return &d->budgets.back();
}

} // namespace

bool AllowAnswer(Device* d, std::uint32_t source, const Key& tool, Clock::time_point now) {
    Device::SourceBudget* b = BudgetOf(d, source);
    const bool known = Agreed(d, tool) != nullptr;
    if (!Has(&b->answers, kAnswersPerSource, kAnswerBurstPerSource, now) ||
        !Has(&d->answersAll, kAnswersPerDevice, kAnswerBurstPerDevice, now))
        return false;
    if (!known && (!Has(&b->agreements, kAgreementsPerSource, kAgreementBurstPerSource, now) ||
                   !Has(&d->agreementsAll, kAgreementsPerDevice, kAgreementBurstPerDevice, now)))
        return false;
    b->answers.tokens -= 1;
    d->answersAll.tokens -= 1;
    if (known)
        return true;
    b->agreements.tokens -= 1; // the agreement itself is made when the answer goes out
    d->agreementsAll.tokens -= 1;
    return true;
}

const lorvex::trust::SessionKeys* SessionFor(Device* d, const Key& tool) {
    if (Device::AgreedKey* k = Agreed(d, tool)) {
        k->used = Clock::now();
        return &k->keys;
    }
    Device::AgreedKey fresh;
    fresh.tool = tool;
    fresh.used = Clock::now();
    if (!lorvex::trust::DeviceSessionKeys(d->keys, tool, &fresh.keys))
        return nullptr;
    if (d->agreedKeys.size() >= kKeyCache)
        d->agreedKeys.erase(
            std::min_element(d->agreedKeys.begin(), d->agreedKeys.end(),
                             [](const Device::AgreedKey& a, const Device::AgreedKey& b) {
                                 return a.used < b.used;
                             }));
    d->agreedKeys.push_back(std::move(fresh));
    return &d->agreedKeys.back().keys;
}

Challenge ChallengeFor(Device* d, const Key& tool, Clock::time_point now) {
    Challenge c{};
    PutBigEndian(SecondsSinceBoot(*d, now), c.data());
    PutBigEndian(d->nextSerial++, c.data() + 4);
    ChallengeCheck(*d, tool, c.data(), c.data() + 8);
    return c;
}

bool TakeChallenge(Device* d, const Key& tool, const Challenge& c, Clock::time_point now) {
    unsigned char want[8];
    ChallengeCheck(*d, tool, c.data(), want);
    if (sodium_memcmp(want, c.data() + 8, sizeof want) != 0)
        return false; // not issued to this tool by this boot of the device
    const std::uint32_t issued = GetBigEndian(c.data());
    const std::uint32_t serial = GetBigEndian(c.data() + 4);
    const std::uint32_t second = SecondsSinceBoot(*d, now);
    if (issued > second || second - issued > lorvex::trust::kChallengeLifeSeconds)
        return false;
    if (serial <= d->challengeFloor || !d->usedChallenges.insert(serial).second)
        return false;
    if (d->usedChallenges.size() > kUsedChallenges) {
        // The oldest used one goes; no challenge issued up to it is taken any
        // more, so forgetting it opens no way to replay it.
        d->challengeFloor = *d->usedChallenges.begin();
        d->usedChallenges.erase(d->usedChallenges.begin());
    }
    return true;
}

int LockSecondsLeft(const Device& d, Clock::time_point now) {
    if (now >= d.lockedUntil)
        return 0;
    // Whole seconds, rounded up: a device that says 0 would be taken at its
    // word and refuse the very next try.
    return static_cast<int>(std::chrono::ceil<std::chrono::seconds>(d.lockedUntil - now).count());
}

namespace {

// One more wrong try in a row (a password or a setup code); the
// kWrongPasswordsBeforeLock-th locks the device and starts the count again.
void CountWrongTry(Device* d, Clock::time_point now) {
    if (++d->wrongPasswords >= lorvex::trust::kWrongPasswordsBeforeLock) {
        const int seconds = std::min(lorvex::trust::kFirstLockSeconds << std::min(d->lockLevel, 10),
                                     lorvex::trust::kLongestLockSeconds);
        d->lockedUntil = now + std::chrono::seconds(seconds);
        d->wrongPasswords = 0;
        ++d->lockLevel;
    }
}

} // namespace

bool CheckPassword(Device* d, const std::string& password, Clock::time_point now) {
    const bool right = !d->password.empty() && password.size() == d->password.size() &&
                       sodium_memcmp(password.data(), d->password.data(), password.size()) == 0;
    if (right) {
        d->wrongPasswords = 0;
        d->lockLevel = 0;
        return true;
    }
    CountWrongTry(d, now);
    return false;
}

std::string ResultXml(int result, int retryAfter) {
    std::string x =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><multicastSearchResult><setIPResult>" +
        std::to_string(result) + "</setIPResult>";
    if (result == lorvex::trust::RESULT_LOCKED)
        x += "<retryAfter>" + std::to_string(retryAfter) + "</retryAfter>";
    if (result == lorvex::trust::RESULT_OK)
        x += "<portsTaken>1</portsTaken>";
    return x + "</multicastSearchResult>";
}

std::string RestoreXml(int result) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><multicastSearchResult><restoreResult>" +
           std::to_string(result) + "</restoreResult></multicastSearchResult>";
}

int Activate(Device* d, const lorvex::wire::Message& msg, const Key& tool,
             const Challenge& challenge, const std::string& body, Clock::time_point now) {
    if (d->activated == 0)
        return lorvex::trust::RESULT_ALREADY_ACTIVE;
    std::string password;
    password.reserve(body.size() + 1); // on the heap: wiped below, never copied
    if (!lorvex::trust::OpenActivation(d->setupCode, msg, tool, challenge, d->keys.publicKey, body,
                                       &password)) {
        CountWrongTry(d, now);
        return LockSecondsLeft(*d, now) > 0 ? lorvex::trust::RESULT_LOCKED
                                            : lorvex::trust::RESULT_SETUP_CODE_WRONG;
    }
    const SecretWipe wipe(&password);
    if (lorvex::trust::CheckPasswordStrength(password, lorvex::wire::FormatMac(d->mac),
                                             d->devName) != lorvex::trust::PASSWORD_OK)
        return lorvex::trust::RESULT_WEAK_PASSWORD;
    d->password = password;
    d->activated = 0;
    d->wrongPasswords = 0;
    d->lockLevel = 0;
    return lorvex::trust::RESULT_OK;
}

int Identify(Device* d, const std::string& body, Clock::time_point now) {
    if (d->activated != 0)
        return lorvex::trust::RESULT_NOT_ACTIVATED;
    int seconds = 0;
    std::string password;
    password.reserve(body.size() + 1); // on the heap: wiped below, never copied
    const SecretWipe wipe(&password);
    if (!lorvex::trust::ReadIdentifyBody(body, &seconds, &password))
        return lorvex::trust::RESULT_REFUSED;
    if (!CheckPassword(d, password, now))
        return LockSecondsLeft(*d, now) > 0 ? lorvex::trust::RESULT_LOCKED
                                            : lorvex::trust::RESULT_REFUSED;
    if (seconds < lorvex::trust::kIdentifyMinSeconds ||
        seconds > lorvex::trust::kIdentifyMaxSeconds)
        return lorvex::trust::RESULT_REFUSED;
    d->identifySeconds = seconds;
    d->identifyUntil = now + std::chrono::seconds(seconds);
    return lorvex::trust::RESULT_OK;
}

int GrantSnapshot(Device* d, const std::string& body, std::uint32_t source, Clock::time_point now) {
    if (d->activated != 0)
        return lorvex::trust::RESULT_NOT_ACTIVATED;
    lorvex::trust::SnapshotToken token{};
    std::string password;
    password.reserve(body.size() + 1); // on the heap: wiped below, never copied
    const SecretWipe wipe(&password);
    if (!lorvex::trust::ReadSnapshotTokenBody(body, &token, &password))
        return lorvex::trust::RESULT_REFUSED;
    if (!CheckPassword(d, password, now))
        return LockSecondsLeft(*d, now) > 0 ? lorvex::trust::RESULT_LOCKED
                                            : lorvex::trust::RESULT_REFUSED;
    if (d->type != "ZVK_IPC")
        return lorvex::trust::RESULT_REFUSED;
    d->snapshotToken = token;
    d->snapshotHost = source;
    d->snapshotUntil = now + std::chrono::seconds(lorvex::trust::kSnapshotTokenSeconds);
    return lorvex::trust::RESULT_OK;
}

Redeem RedeemSnapshot(Device* d, const lorvex::trust::SnapshotToken& token, std::uint32_t host,
                      Clock::time_point now) {
    if (!d->snapshotToken)
        return Redeem::NoToken;
    if (sodium_memcmp(d->snapshotToken->data(), token.data(), token.size()) != 0)
        return Redeem::WrongToken;
    d->snapshotToken.reset();
    if (host != d->snapshotHost)
        return Redeem::OtherHost;
    return now < d->snapshotUntil ? Redeem::Picture : Redeem::Expired;
}

int Restore(Device* d, Clock::time_point now) {
    const auto window = std::chrono::seconds(lorvex::trust::kPresenceSeconds);
    if (!d->resetPressedAt || now - *d->resetPressedAt > window)
        return lorvex::trust::RESULT_NO_PRESENCE;
    if (!d->password.empty())
        sodium_memzero(d->password.data(), d->password.size());
    d->password.clear();
    d->activated = 1;
    d->resetPressedAt.reset();
    d->wrongPasswords = 0;
    d->lockLevel = 0;
    d->lockedUntil = Clock::time_point{};
    return lorvex::trust::RESULT_OK;
}

} // namespace devsim
