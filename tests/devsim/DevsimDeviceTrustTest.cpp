// The simulated device's guards: activation by setup code, the lock after
// wrong tries, and the codes it is given.

#include <gtest/gtest.h>

#include <string>

#include "DeviceTrust.h"
#include "Fleet.h"

namespace {

using namespace devsim;
using lorvex::trust::Challenge;
using lorvex::trust::Key;

constexpr char kCode[] = "0J6H-B7H6-NWGR";

struct Activation : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(lorvex::trust::InitCrypto());
        device = GenerateDevice(FleetPlan{}, 4, 1700000000); // the fifth: not activated
        ASSERT_EQ(device.activated, 1);
        device.setupCode = kCode;
        device.keys = lorvex::trust::NewKeyPair();
        tool.fill(0x7D);
        challenge.fill(0xC0);
    }
    // The device's verdict on an opened activation request proving `code`.
    int Try(const std::string& code, const std::string& password) {
        lorvex::wire::Message msg;
        msg.kind = lorvex::wire::Kind::Activate;
        msg.requestId = ++id;
        msg.mac = device.mac;
        const std::size_t bodySize = lorvex::trust::kProofSize + password.size();
        msg.payload.assign(lorvex::trust::kSealOverhead + bodySize, 'x');
        const std::string header =
            lorvex::wire::EncodeHeader(msg.kind, msg.requestId, msg.mac, msg.payload.size());
        const auto proof =
            lorvex::trust::ActivationProof(code, header, tool, challenge, device.keys.publicKey);
        const std::string body =
            std::string(reinterpret_cast<const char*>(proof.data()), proof.size()) + password;
        return Activate(&device, msg, tool, challenge, body, now);
    }
    Device device;
    Key tool{};
    Challenge challenge{};
    std::uint32_t id = 0;
    Clock::time_point now = Clock::now();
};

TEST_F(Activation, OnlyTheLabelsCodeActivates) {
    EXPECT_EQ(Try("P3TK-JZC1-RRQ2", "Camera-Door-7"), lorvex::trust::RESULT_SETUP_CODE_WRONG);
    EXPECT_EQ(Try(kCode, "weak"), lorvex::trust::RESULT_WEAK_PASSWORD);
    EXPECT_EQ(device.activated, 1);
    EXPECT_EQ(Try(kCode, "Camera-Door-7"), lorvex::trust::RESULT_OK);
    EXPECT_EQ(device.activated, 0);
    EXPECT_EQ(device.password, "Camera-Door-7");
    EXPECT_EQ(device.wrongPasswords, 0) << "an activation clears the count";
    EXPECT_EQ(Try("P3TK-JZC1-RRQ2", "Camera-Door-8"), lorvex::trust::RESULT_ALREADY_ACTIVE);
    EXPECT_EQ(Try(kCode, "Camera-Door-8"), lorvex::trust::RESULT_ALREADY_ACTIVE);
    EXPECT_EQ(device.password, "Camera-Door-7");
}

// Wrong codes count like wrong passwords: the fifth in a row locks the
// device and is answered as locked; after the lock the count starts again
// and the next lock is twice as long.
TEST_F(Activation, WrongCodesLockTheDeviceLikeWrongPasswords) {
    for (int lock = 0; lock < 2; ++lock) {
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(Try("P3TK-JZC1-RRQ2", "Camera-Door-7"),
                      lorvex::trust::RESULT_SETUP_CODE_WRONG)
                << lock << " " << i;
        EXPECT_EQ(Try("P3TK-JZC1-RRQ2", "Camera-Door-7"), lorvex::trust::RESULT_LOCKED) << lock;
        EXPECT_EQ(LockSecondsLeft(device, now), 60 << lock);
        now += std::chrono::seconds(60 << lock);
        EXPECT_EQ(LockSecondsLeft(device, now), 0);
    }
    EXPECT_EQ(Try(kCode, "Camera-Door-7"), lorvex::trust::RESULT_OK);
    EXPECT_EQ(device.lockLevel, 0) << "a right try clears the doubling";
}

// An identify request is taken only from the password's holder and only
// for a time within bounds; a wrong password counts toward the lock as in a
// configuration request, and nothing a refused request carries shows.
TEST(DevsimIdentify, PasswordAndTimeDecide) {
    const Clock::time_point now = Clock::now();
    Device device = GenerateDevice(FleetPlan{}, 0, 1700000000);
    ASSERT_EQ(device.activated, 0);
    device.password = "Camera-Door-7";
    const auto body = lorvex::trust::IdentifyBody;
    struct {
        const char* what;
        std::string body;
        int result;
        int wrongTries;
    } cases[] = {
        {"no time", std::string("\x00", 1), lorvex::trust::RESULT_REFUSED, 0},
        {"wrong password", body(30, "Camera-Door-8"), lorvex::trust::RESULT_REFUSED, 1},
        {"no time at all", body(0, "Camera-Door-7"), lorvex::trust::RESULT_REFUSED, 0},
        {"too long", body(301, "Camera-Door-7"), lorvex::trust::RESULT_REFUSED, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Identify(&device, c.body, now), c.result) << c.what;
        EXPECT_EQ(device.wrongPasswords, c.wrongTries) << c.what;
        EXPECT_EQ(device.identifySeconds, 0) << c.what;
    }
    EXPECT_EQ(Identify(&device, body(300, "Camera-Door-7"), now), lorvex::trust::RESULT_OK);
    EXPECT_EQ(device.identifySeconds, 300);
    EXPECT_EQ(device.identifyUntil, now + std::chrono::seconds(300));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Identify(&device, body(5, "x"), now), lorvex::trust::RESULT_REFUSED) << i;
    EXPECT_EQ(Identify(&device, body(5, "x"), now), lorvex::trust::RESULT_LOCKED);
    EXPECT_EQ(device.identifySeconds, 300) << "refusals leave the running time alone";
    device.activated = 1;
    EXPECT_EQ(Identify(&device, body(5, "Camera-Door-7"), now),
              lorvex::trust::RESULT_NOT_ACTIVATED);
}

// A snapshot token is worth one picture, to the host that asked for it,
// within its life; a wrong password counts toward the lock as elsewhere.
TEST(DevsimSnapshotToken, OnePictureForItsHostWithinItsLife) {
    using lorvex::trust::SnapshotTokenBody;
    const Clock::time_point now = Clock::now();
    Device device = GenerateDevice(FleetPlan{}, 0, 1700000000);
    device.type = "ZVK_IPC";
    device.password = "Camera-Door-7";
    lorvex::trust::SnapshotToken token{}, other{};
    token.fill(0x11);
    other.fill(0x22);
    const std::uint32_t host = 0x0a00000a, stranger = 0x0b00000a;
    EXPECT_EQ(GrantSnapshot(&device, std::string(31, 'x'), host, now),
              lorvex::trust::RESULT_REFUSED);
    EXPECT_EQ(GrantSnapshot(&device, SnapshotTokenBody(token, "Camera-Door-8"), host, now),
              lorvex::trust::RESULT_REFUSED);
    EXPECT_EQ(device.wrongPasswords, 1);
    EXPECT_EQ(RedeemSnapshot(&device, token, host, now), Redeem::NoToken) << "refused: none held";
    const auto life = std::chrono::seconds(lorvex::trust::kSnapshotTokenSeconds);
    struct {
        const char* what;
        lorvex::trust::SnapshotToken presented;
        std::uint32_t from;
        Clock::duration after;
        Redeem first, second;
    } cases[] = {
        {"used twice", token, host, life - std::chrono::milliseconds(1), Redeem::Picture,
         Redeem::NoToken},
        {"another host", token, stranger, {}, Redeem::OtherHost, Redeem::NoToken},
        {"after its life", token, host, life, Redeem::Expired, Redeem::NoToken},
        {"a wrong token", other, host, {}, Redeem::WrongToken, Redeem::WrongToken},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(GrantSnapshot(&device, SnapshotTokenBody(token, "Camera-Door-7"), host, now),
                  lorvex::trust::RESULT_OK);
        EXPECT_EQ(RedeemSnapshot(&device, c.presented, c.from, now + c.after), c.first) << c.what;
        EXPECT_EQ(RedeemSnapshot(&device, c.presented, c.from, now + c.after), c.second) << c.what;
    }
    EXPECT_EQ(RedeemSnapshot(&device, token, host, now), Redeem::Picture)
        << "a wrong token leaves the held one";
    device.type = "ZVK_NVR";
    EXPECT_EQ(GrantSnapshot(&device, SnapshotTokenBody(token, "Camera-Door-7"), host, now),
              lorvex::trust::RESULT_REFUSED);
    EXPECT_EQ(device.wrongPasswords, 0) << "a right password ends the count";
    device.activated = 1;
    EXPECT_EQ(GrantSnapshot(&device, SnapshotTokenBody(token, "Camera-Door-7"), host, now),
              lorvex::trust::RESULT_NOT_ACTIVATED);
}

// Challenges are stateless: any number of tools hold them at once, each is
// taken once, by the tool it was issued to, within its life; the set of used
// ones is bounded, and forgetting the oldest raises a floor instead of
// opening a replay.
// The back-off's details: the count starts again at the lock, the seconds
// left are rounded up, and a restore (with the reset button) ends a running
// lock; one press covers one restore.
TEST_F(Activation, SecondsLeftRoundUpAndARestoreEndsTheLock) {
    for (int i = 0; i < 5; ++i)
        Try("P3TK-JZC1-RRQ2", "Camera-Door-7");
    ASSERT_EQ(LockSecondsLeft(device, now), 60);
    EXPECT_EQ(LockSecondsLeft(device, now + std::chrono::milliseconds(500)), 60) << "rounded up";
    EXPECT_EQ(LockSecondsLeft(device, now + std::chrono::milliseconds(59001)), 1);
    EXPECT_EQ(device.wrongPasswords, 0) << "the count starts again at the lock";
    device.resetPressedAt = now;
    EXPECT_EQ(Restore(&device, now + std::chrono::seconds(1)), lorvex::trust::RESULT_OK);
    EXPECT_EQ(LockSecondsLeft(device, now + std::chrono::seconds(1)), 0) << "the lock ended";
    EXPECT_EQ(device.lockLevel, 0);
    EXPECT_EQ(Restore(&device, now + std::chrono::seconds(2)), lorvex::trust::RESULT_NO_PRESENCE)
        << "one press, one restore";
    EXPECT_EQ(Try(kCode, "Camera-Door-7"), lorvex::trust::RESULT_OK);
}

TEST(DevsimChallenges, TakenOnceByTheirToolWithinTheirLife) {
    ASSERT_TRUE(lorvex::trust::InitCrypto());
    Device d = GenerateDevice(FleetPlan{}, 0, 0);
    Certify(&d, std::array<unsigned char, 32>{});
    const Clock::time_point t0 = d.bootAt;
    Key tool{}, other{};
    tool.fill(1);
    other.fill(2);
    std::vector<Challenge> held;
    for (int i = 0; i < 100; ++i) // a hundred other tools, then ours
        ChallengeFor(&d, Key{static_cast<unsigned char>(i)}, t0);
    const Challenge c = ChallengeFor(&d, tool, t0);
    EXPECT_FALSE(TakeChallenge(&d, other, c, t0)) << "issued to another tool";
    Challenge forged = c;
    forged[7] ^= 1; // another serial under the same check
    EXPECT_FALSE(TakeChallenge(&d, tool, forged, t0));
    EXPECT_TRUE(TakeChallenge(&d, tool, c, t0 + std::chrono::seconds(60)));
    EXPECT_FALSE(TakeChallenge(&d, tool, c, t0 + std::chrono::seconds(60))) << "used";
    const Challenge late = ChallengeFor(&d, tool, t0);
    EXPECT_FALSE(TakeChallenge(&d, tool, late, t0 + std::chrono::seconds(62))) << "too old";
    // The used set fills: the oldest used serial goes, and with it every
    // challenge issued up to it.
    const Challenge kept = ChallengeFor(&d, tool, t0), early = ChallengeFor(&d, tool, t0);
    ASSERT_TRUE(TakeChallenge(&d, tool, early, t0));
    for (std::size_t i = 0; i < kUsedChallenges; ++i)
        ASSERT_TRUE(TakeChallenge(&d, tool, ChallengeFor(&d, tool, t0), t0));
    EXPECT_EQ(d.usedChallenges.size(), kUsedChallenges);
    EXPECT_FALSE(TakeChallenge(&d, tool, early, t0)) << "forgotten, still refused";
    EXPECT_FALSE(TakeChallenge(&d, tool, kept, t0))
        << "issued before the forgotten one: refused too";
    EXPECT_TRUE(TakeChallenge(&d, tool, ChallengeFor(&d, tool, t0), t0));
    Device rebooted = d;
    Certify(&rebooted, std::array<unsigned char, 32>{});
    const Challenge before = ChallengeFor(&d, tool, t0);
    EXPECT_FALSE(TakeChallenge(&rebooted, tool, before, t0)) << "a new boot, a new secret";
}

// A device answers within budgets per source address and for itself, and
// agrees few new tool keys; budgets fill again with time.
TEST(DevsimBudgets, PerSourceDeviceWideAndNewKeys) {
    ASSERT_TRUE(lorvex::trust::InitCrypto());
    Device d = GenerateDevice(FleetPlan{}, 0, 0);
    Certify(&d, std::array<unsigned char, 32>{});
    const Clock::time_point t0 = Clock::now();
    Key tool{};
    tool.fill(9);
    ASSERT_NE(SessionFor(&d, tool), nullptr); // the installer's key, agreed before
    auto answered = [&](std::uint32_t source, int tries, bool newKeys, Clock::time_point at) {
        int n = 0;
        for (int i = 0; i < tries; ++i) {
            Key k = tool;
            if (newKeys)
                k[0] = static_cast<unsigned char>(i), k[1] = static_cast<unsigned char>(source);
            n += AllowAnswer(&d, source, k, at);
        }
        return n;
    };
    struct {
        const char* what;
        std::uint32_t source;
        int tries;
        bool newKeys;
        int answered;
    } steps[] = {
        {"a flood from one source: its burst", 1, 1000, false, int(kAnswerBurstPerSource)},
        {"another source is still answered", 2, 10, false, 10},
        {"new keys from a third: a few agreements", 3, 100, true, int(kAgreementBurstPerSource)},
        {"the installer's known key from a fourth", 4, 5, false, 5},
    };
    for (const auto& st : steps)
        EXPECT_EQ(answered(st.source, st.tries, st.newKeys, t0), st.answered) << st.what;
    EXPECT_EQ(answered(1, 100, false, t0 + std::chrono::seconds(1)), int(kAnswersPerSource))
        << "a second later, a second's worth";
    // Many sources at once meet the device-wide cap.
    int all = 0;
    for (std::uint32_t source = 100; source < 150; ++source)
        all += answered(source, 64, false, t0 + std::chrono::seconds(10));
    EXPECT_EQ(all, int(kAnswerBurstPerDevice));
    EXPECT_LE(d.budgets.size(), kSourcesTracked);
    EXPECT_LE(d.agreedKeys.size(), kKeyCache);
}

TEST(DevsimSetupCode, DerivedPerMacStableAndWellFormed) {
    ASSERT_TRUE(lorvex::trust::InitCrypto());
    std::array<unsigned char, 32> seed{};
    seed.fill(0x11);
    const lorvex::wire::MacBytes a{0x02, 0x4C, 0x56, 0, 0, 1}, b{0x02, 0x4C, 0x56, 0, 0, 2};
    const std::string codeA = DerivedSetupCode(a, seed);
    std::string canonical;
    ASSERT_TRUE(lorvex::trust::NormalizeSetupCode(codeA, &canonical));
    EXPECT_EQ(canonical, codeA);
    EXPECT_EQ(DerivedSetupCode(a, seed), codeA) << "the same on every start";
    EXPECT_NE(DerivedSetupCode(b, seed), codeA);
    seed[0] ^= 1;
    EXPECT_NE(DerivedSetupCode(a, seed), codeA) << "another maker, other codes";
    Device given = GenerateDevice(FleetPlan{}, 0, 0), derived = given;
    given.setupCode = kCode;
    Certify(&given, seed);
    Certify(&derived, seed);
    EXPECT_EQ(given.setupCode, kCode) << "the fleet file's code is kept";
    EXPECT_EQ(derived.setupCode, DerivedSetupCode(derived.mac, seed));
}

} // namespace
