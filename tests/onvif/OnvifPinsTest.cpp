// The pin file: per endpoint, the first pin wins, forgetting drops one,
// the file is the user's alone, and what it cannot hold is refused.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "OnvifPins.h"

using namespace onvif;

namespace {

const std::string kA = "sha256//" + std::string(43, 'A') + "=";
const std::string kB = "sha256//" + std::string(43, 'B') + "=";

class PinsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/onvif-pinfile-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_folder = folder;
        setenv("XDG_DATA_HOME", (m_folder + "/data").c_str(), 1);
    }
    void TearDown() override {
        std::filesystem::remove_all(m_folder);
        unsetenv("XDG_DATA_HOME");
    }
    std::string Text() const {
        std::ifstream in(PinFilePath());
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string m_folder;
};

TEST_F(PinsTest, TheFirstPinWinsUntilForgotten) {
    EXPECT_EQ(PinFilePath(), m_folder + "/data/lorvex/camera-certificates");
    std::string pin;
    EXPECT_FALSE(LookupPin("urn:uuid:a", &pin));
    EXPECT_EQ(RememberPin("urn:uuid:a", kA), kA);
    EXPECT_EQ(RememberPin("urn:uuid:a", kB), kA); // a later key never replaces it
    EXPECT_EQ(RememberPin("urn:uuid:b c", kB), kB);
    ASSERT_TRUE(LookupPin("urn:uuid:a", &pin));
    EXPECT_EQ(pin, kA);
    ASSERT_TRUE(LookupPin("urn:uuid:b c", &pin));
    EXPECT_EQ(pin, kB);
    EXPECT_TRUE(ForgetPin("urn:uuid:a"));
    EXPECT_FALSE(ForgetPin("urn:uuid:a"));
    EXPECT_FALSE(LookupPin("urn:uuid:a", &pin));
    EXPECT_EQ(Text(), kB + " urn:uuid:b c\n");
    struct stat st {};
    ASSERT_EQ(stat(PinFilePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat((m_folder + "/data/lorvex").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(PinsTest, WhatCannotBeOneLineIsNotStoredAndBadLinesAreSkipped) {
    const struct {
        const char* name;
        std::string endpoint, pin;
    } refused[] = {
        {"empty endpoint", "", kA},
        {"newline", "urn:a\nsha256//x urn:b", kA},
        {"too long", std::string(513, 'e'), kA},
        {"not a pin", "urn:uuid:a", "sha256//short"},
        {"other hash", "urn:uuid:a", "md5//" + std::string(44, 'A')},
    };
    for (const auto& c : refused) {
        EXPECT_EQ(RememberPin(c.endpoint, c.pin), c.pin) << c.name;
        std::string pin;
        EXPECT_FALSE(LookupPin(c.endpoint, &pin)) << c.name;
    }
    // A file edited by hand: only well-formed lines count, a cut last line
    // is dropped.
    ASSERT_EQ(RememberPin("urn:uuid:ok", kA), kA);
    std::ofstream(PinFilePath(), std::ios::app) << "garbage\n"
                                                << kB << "\n"
                                                << kB << " urn:uuid:tab\there\n"
                                                << kB << " urn:uuid:cut";
    std::string pin;
    EXPECT_TRUE(LookupPin("urn:uuid:ok", &pin));
    EXPECT_FALSE(LookupPin("urn:uuid:tab\there", &pin));
    EXPECT_FALSE(LookupPin("urn:uuid:cut", &pin));
}

TEST(PinsWithoutHome, NothingIsStoredWithoutAFolder) {
    const char* home = std::getenv("HOME");
    const std::string saved = home != nullptr ? home : "";
    unsetenv("XDG_DATA_HOME");
    unsetenv("HOME");
    EXPECT_EQ(PinFilePath(), "");
    EXPECT_EQ(RememberPin("urn:uuid:a", kA), kA);
    std::string pin;
    EXPECT_FALSE(LookupPin("urn:uuid:a", &pin));
    if (home != nullptr)
        setenv("HOME", saved.c_str(), 1);
}

} // namespace
