#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "SearchTracker.h"

namespace {

using namespace lorvex::search;
using lorvex::wire::MacBytes;

MacBytes Mac(unsigned n) {
    return MacBytes{0x02,
                    0x4C,
                    static_cast<unsigned char>(n >> 24),
                    static_cast<unsigned char>(n >> 16),
                    static_cast<unsigned char>(n >> 8),
                    static_cast<unsigned char>(n)};
}

std::string Answer(const std::string& name, int running) {
    return "<multicastSearchResult><productInfo><devName>" + name + "</devName><runningTime>" +
           std::to_string(running) + "</runningTime></productInfo></multicastSearchResult>";
}

TEST(AnswerFingerprint, OnlyRunningTimeIsExempt) {
    const auto base = AnswerFingerprint(Answer("cam", 10));
    EXPECT_EQ(AnswerFingerprint(Answer("cam", 99999)), base);
    EXPECT_NE(AnswerFingerprint(Answer("cam2", 10)), base);
    // Text outside the element still counts, even right next to it.
    EXPECT_NE(AnswerFingerprint("<runningTime>1</runningTime>a"),
              AnswerFingerprint("<runningTime>1</runningTime>b"));
    EXPECT_EQ(AnswerFingerprint("<runningTime>1</runningTime><x/><runningTime>5</runningTime>"),
              AnswerFingerprint("<runningTime>7</runningTime><x/><runningTime>9</runningTime>"));
    // An unclosed element hides only what follows its opening tag.
    EXPECT_NE(AnswerFingerprint("a<runningTime>1"), AnswerFingerprint("b<runningTime>1"));
    EXPECT_EQ(AnswerFingerprint("a<runningTime>1"), AnswerFingerprint("a<runningTime>2"));
}

TEST(DeviceTracker, ReportsPerRoundAsDocumented) {
    DeviceTracker t;
    EXPECT_FALSE(t.OnAnswer(Mac(1), Answer("a", 1)).report) << "no round open";
    struct Step {
        const char* what;
        bool beginAutomatic, beginAnnounce; // a new round before the answer
        std::string answer;
        bool changed, report;
    } steps[] = {
        {"new device", true, true, Answer("a", 1), false, true},
        {"same round again", false, false, Answer("b", 2), false, false},
        {"next round, unchanged", true, false, Answer("a", 5), false, false},
        {"next round, changed", true, false, Answer("b", 6), true, false},
        {"announce round, unchanged", false, true, Answer("b", 7), false, true},
        {"announce round, changed", true, true, Answer("c", 8), true, true},
    };
    bool first = true;
    for (const Step& s : steps) {
        if (first || s.beginAutomatic || s.beginAnnounce) {
            t.EndRound(true);
            t.BeginRound(s.beginAutomatic, s.beginAnnounce);
        }
        first = false;
        const Reaction r = t.OnAnswer(Mac(1), s.answer);
        EXPECT_EQ(r.changed, s.changed) << s.what;
        EXPECT_EQ(r.report, s.report) << s.what;
    }
}

TEST(DeviceTracker, GoneAfterThreeCompleteAutomaticRoundsWithoutAnswer) {
    DeviceTracker t;
    t.BeginRound(true, true);
    t.OnAnswer(Mac(1), Answer("a", 1));
    t.OnAnswer(Mac(2), Answer("b", 1));
    t.EndRound(true);
    // Rounds that do not count: cut short, or manual.
    t.BeginRound(true, false);
    EXPECT_TRUE(t.EndRound(false).empty());
    for (int i = 0; i < 5; ++i) {
        t.BeginRound(false, true);
        EXPECT_TRUE(t.EndRound(true).empty());
    }
    for (int round = 1; round <= 3; ++round) {
        t.BeginRound(true, false);
        t.OnAnswer(Mac(2), Answer("b", round)); // device 2 keeps answering
        const auto gone = t.EndRound(true);
        if (round < 3) {
            EXPECT_TRUE(gone.empty()) << round;
        } else {
            ASSERT_EQ(gone.size(), 1u);
            EXPECT_EQ(gone[0], Mac(1));
        }
    }
    EXPECT_EQ(t.Size(), 1u);
    t.BeginRound(true, false);
    EXPECT_TRUE(t.OnAnswer(Mac(1), Answer("a", 9)).report) << "a returning device is new again";
}

TEST(DeviceTracker, AnAnswerResetsTheMissCount) {
    DeviceTracker t;
    t.BeginRound(true, true);
    t.OnAnswer(Mac(1), Answer("a", 1));
    for (int round = 0; round < 10; ++round) {
        t.EndRound(true);
        t.BeginRound(true, false);
        if (round % 2)
            t.OnAnswer(Mac(1), Answer("a", round));
    }
    EXPECT_TRUE(t.EndRound(true).empty());
    EXPECT_EQ(t.Size(), 1u);
}

TEST(DeviceTracker, IgnoresNewDevicesAtTheCapUntilSomeAreGone) {
    DeviceTracker t;
    t.BeginRound(true, true);
    for (unsigned i = 0; i < kMaxDevices; ++i)
        ASSERT_TRUE(t.OnAnswer(Mac(i), "x").report);
    EXPECT_FALSE(t.OnAnswer(Mac(kMaxDevices), "x").report);
    EXPECT_EQ(t.Size(), kMaxDevices);
    for (int round = 0; round < kMissesUntilGone; ++round) {
        t.EndRound(true);
        t.BeginRound(true, false);
    }
    EXPECT_EQ(t.EndRound(true).size(), kMaxDevices);
    t.BeginRound(true, false);
    EXPECT_TRUE(t.OnAnswer(Mac(kMaxDevices), "x").report);
}

// What the engine's loss assessment and targeted probes read.
TEST(DeviceTracker, CountsRepeatedAnswersAndListsTheUnheard) {
    DeviceTracker t;
    t.BeginRound(true, true);
    for (unsigned i = 1; i <= 5; ++i)
        t.OnAnswer(Mac(i), "x");
    t.OnAnswer(Mac(1), "x");
    t.OnAnswer(Mac(1), "x"); // a third answer counts like a second
    t.OnAnswer(Mac(2), "x");
    EXPECT_EQ(t.Counts().answered, 5u);
    EXPECT_EQ(t.Counts().answeredTwice, 2u);
    EXPECT_TRUE(t.Unanswered(100).empty());
    t.EndRound(true);
    t.BeginRound(true, false);
    EXPECT_EQ(t.Counts().answered, 0u);
    t.OnAnswer(Mac(3), "x");
    t.OnAnswer(Mac(9), "x"); // new in this round: answered, not unheard
    auto unheard = t.Unanswered(100);
    std::sort(unheard.begin(), unheard.end());
    EXPECT_EQ(unheard, (std::vector<MacBytes>{Mac(1), Mac(2), Mac(4), Mac(5)}));
    EXPECT_EQ(t.Unanswered(3).size(), 3u);
    EXPECT_EQ(t.Counts().answered, 2u);
    EXPECT_EQ(t.Counts().answeredTwice, 0u);
}

} // namespace
