// A simulated device's side of device identity and its guards: its key pair
// and certificate, the keys it agrees with each tool, the challenges it
// issues, the lock-out after wrong passwords and the reset button. See
// docs/protocol.md, "Device identity" and "Guards".

#pragma once

#include <array>
#include <string>

#include "Device.h"

namespace devsim {

// Used challenges a device remembers; when one more is used the oldest is
// forgotten and every challenge issued up to it is refused from then on.
constexpr std::size_t kUsedChallenges = 1024;

// What a device answers at most (docs/protocol.md, "Answer budgets"): per
// probe source address, answers (to probes, and replies to requests) and
// among them new key agreements; for the whole device likewise; each a
// token bucket of this many a second, this many at once.
constexpr double kAnswersPerSource = 32, kAnswerBurstPerSource = 64;
constexpr double kAnswersPerDevice = 256, kAnswerBurstPerDevice = 512;
constexpr double kAgreementsPerSource = 4, kAgreementBurstPerSource = 8;
constexpr double kAgreementsPerDevice = 32, kAgreementBurstPerDevice = 64;
// Tool keys whose agreed keys a device keeps, and source addresses whose
// budgets it keeps (a new one takes the place of the least active).
constexpr std::size_t kKeyCache = 64;
constexpr std::size_t kSourcesTracked = 16;

// Whether the device answers a datagram from `source` that names tool key
// `tool`: within the answer budgets, and, when the key is not among its
// agreed ones, within the agreement budgets too (SessionFor agrees it when
// the answer goes out). Charges what it allows.
bool AllowAnswer(Device* d, std::uint32_t source, const lorvex::trust::Key& tool,
                 Clock::time_point now);

// Gives the device its key pair, derived from the maker seed and its MAC so
// that a fleet is the same on every start, the maker's certificate (left
// unsigned for a device with certified == false) and, unless the fleet file
// gave one, its setup code (DerivedSetupCode).
void Certify(Device* d, const std::array<unsigned char, 32>& makerSeed);

// The setup code of the device with this MAC when the fleet file gives
// none: 50 bits of BLAKE2b keyed by the maker seed over "setup-code" and
// the MAC's six bytes, so that a fleet keeps its codes across starts.
std::string DerivedSetupCode(const lorvex::wire::MacBytes& mac,
                             const std::array<unsigned char, 32>& makerSeed);

// The session keys with `tool`, agreed now unless kept (AllowAnswer
// budgets that); null when the tool key is unusable.
const lorvex::trust::SessionKeys* SessionFor(Device* d, const lorvex::trust::Key& tool);

// A new challenge for an answer or reply to `tool`, kept nowhere: the
// second since boot it was issued (4 bytes, big-endian) ‖ its serial (4) ‖
// the first 8 bytes of BLAKE2b keyed by the device's challenge secret over
// the tool key and those first 8 bytes. Any number of tools can hold
// challenges at once; none can push another's out.
lorvex::trust::Challenge ChallengeFor(Device* d, const lorvex::trust::Key& tool,
                                      Clock::time_point now);

// Uses up `c` when this device issued it to `tool` (its check holds), at
// most kChallengeLifeSeconds ago, and it was not used before: its serial is
// above the floor and not among the used ones.
bool TakeChallenge(Device* d, const lorvex::trust::Key& tool, const lorvex::trust::Challenge& c,
                   Clock::time_point now);

// Seconds the device still refuses requests for, 0 when not locked.
int LockSecondsLeft(const Device& d, Clock::time_point now);

// Counts a password check: a right one clears the count and the lock level;
// the kWrongPasswordsBeforeLock-th wrong one in a row locks the device for
// kFirstLockSeconds, doubling with each lock up to kLongestLockSeconds.
bool CheckPassword(Device* d, const std::string& password, Clock::time_point now);

// The result document of a configuration or activation request.
std::string ResultXml(int result, int retryAfter);
// The acknowledgement document of a restore request.
std::string RestoreXml(int result);

// Handles an opened activation request (`msg`, from `tool`, sealed with
// `challenge`, whose opened body is `body`): locked devices answer 3 before
// anything else (the caller checks), an activated device 6; a body without
// the proof of the device's setup code is a wrong try like a wrong password
// (7, or 3 when it locks the device); then the first password's strength
// (4) and 0 when it is taken.
int Activate(Device* d, const lorvex::wire::Message& msg, const lorvex::trust::Key& tool,
             const lorvex::trust::Challenge& challenge, const std::string& body,
             Clock::time_point now);

// Handles an opened identify request (locked devices answer 3 before, the
// caller checks): a device without a password answers 2; a body without
// its 2-byte time 1; a wrong password is counted (1, or 3 when it locks
// the device); a time outside 1..kIdentifyMaxSeconds is 1; else the device
// shows itself until that many seconds from `now` and answers 0.
int Identify(Device* d, const std::string& body, Clock::time_point now);

// Handles an opened snapshot token request from `source` (network order;
// locked devices answer 3 before, the caller checks): a device without a
// password answers 2; a body shorter than the token 1; a wrong password is
// counted (1, or 3 when it locks the device); a device other than an IP
// camera 1; else the camera holds this token (dropping any earlier one)
// for kSnapshotTokenSeconds and answers 0.
int GrantSnapshot(Device* d, const std::string& body, std::uint32_t source, Clock::time_point now);

// Why a snapshot token was or was not honoured.
enum class Redeem { Picture, NoToken, WrongToken, OtherHost, Expired };
// Redeems `token` presented by `host` (network order): Picture only for the
// token held, from its host, before its end; the token is spent then. A
// right token from another host or after its end is dropped too (it has
// leaked or is stale); a wrong token leaves the held one as it is.
Redeem RedeemSnapshot(Device* d, const lorvex::trust::SnapshotToken& token, std::uint32_t host,
                      Clock::time_point now);

// Handles an opened restore request: within kPresenceSeconds after the
// reset button, the device loses its password and is not activated.
int Restore(Device* d, Clock::time_point now);

} // namespace devsim
