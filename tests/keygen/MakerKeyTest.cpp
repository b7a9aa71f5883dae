// The maker key generator: the private half only ever into a new, private
// file outside any repository; the public half as the anchor the tool reads.
#include <gtest/gtest.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "MakerKey.h"
#include "TrustWire.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

class MakeMakerKey : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/lvx-keygen-XXXXXX";
        root = mkdtemp(name);
        ASSERT_EQ(std::system(("mkdir -p " + root + "/repo/.git " + root + "/repo/deep").c_str()),
                  0);
        std::ofstream(root + "/taken") << "kept";
    }
    void TearDown() override { std::filesystem::remove_all(root); }
    std::string root;
};

// Every refusal leaves no file behind and changes none that was there.
TEST_F(MakeMakerKey, RefusalsLeaveNothingBehind) {
    const std::string pub = root + "/a.pub", key = root + "/maker.seed";
    const std::pair<std::pair<std::string, std::string>, const char*> rows[] = {
        {{pub, root + "/repo/deep/maker.seed"}, "inside a repository"},
        {{pub, pub}, "two different files"},
        {{root + "/taken", key}, "exists already"},
        {{pub, root + "/taken"}, "exists already"},
        {{root + "/missing/a.pub", key}, "a.pub"}, // after the seed was written
    };
    for (const auto& [paths, reason] : rows) {
        std::string fingerprint, error;
        EXPECT_FALSE(keygen::MakeMakerKey(paths.first, paths.second, &fingerprint, &error));
        EXPECT_NE(error.find(reason), std::string::npos) << error;
        EXPECT_NE(access(pub.c_str(), F_OK), 0) << reason;
        EXPECT_NE(access(key.c_str(), F_OK), 0) << reason;
        EXPECT_EQ(ReadAll(root + "/taken"), "kept") << reason;
    }
}

// The seed file gives the very key the anchor names, and signs certificates
// that check under it; the files have the modes a secret and a public file
// need.
TEST_F(MakeMakerKey, ThePublicHalfIsTheAnchorOfThePrivateOne) {
    const std::string key = root + "/seed";
    std::string fingerprint, error;
    ASSERT_TRUE(keygen::MakeMakerKey(root + "/repo/deep/a.pub", key, &fingerprint, &error))
        << error;
    EXPECT_EQ(ModeOf(key), 0600u);
    EXPECT_EQ(ModeOf(root + "/repo/deep/a.pub"), 0644u);
    unsigned char seed[32], derived[32];
    ASSERT_TRUE(lorvex::trust::FromHex(ReadAll(key).substr(0, 64), seed, sizeof seed));
    lorvex::trust::SecretKey maker{};
    crypto_sign_seed_keypair(derived, maker.data(), seed);
    std::vector<lorvex::trust::Key> anchors;
    lorvex::trust::LoadAnchors(root + "/repo/deep", &anchors);
    ASSERT_EQ(anchors.size(), 1u);
    EXPECT_EQ(std::vector<unsigned char>(anchors[0].begin(), anchors[0].end()),
              std::vector<unsigned char>(derived, derived + sizeof derived));
    EXPECT_EQ(fingerprint, lorvex::trust::Fingerprint(anchors[0]));
    const auto cert = lorvex::trust::SignCertificate({2, 0x4c, 0x56, 0, 0, 1}, anchors[0], maker);
    EXPECT_TRUE(lorvex::trust::VerifyCertificate(cert, anchors[0]));
}

} // namespace
