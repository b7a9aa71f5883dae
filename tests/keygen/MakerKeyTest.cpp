// The maker key generator: the private half only ever into a new, private
// file outside any repository; the public half as the anchor the tool reads.
#include <gtest/gtest.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "MakerKey.h"
#include "TrustWire.h"

namespace {

struct TempTree {
    TempTree() {
        char name[] = "/tmp/lvx-keygen-XXXXXX";
        root = mkdtemp(name);
        mkdir((root + "/repo").c_str(), 0755);
        mkdir((root + "/repo/.git").c_str(), 0755);
        mkdir((root + "/repo/deep").c_str(), 0755);
        mkdir((root + "/offline").c_str(), 0700);
    }
    ~TempTree() { std::system(("rm -rf " + root).c_str()); }
    std::string root;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

TEST(InsideRepository, AnyFolderAboveHoldingGitCounts) {
    TempTree t;
    const std::pair<std::string, bool> rows[] = {
        {t.root + "/repo/key", true},
        {t.root + "/repo/deep/key", true},
        {t.root + "/offline/key", false},
        {t.root + "/missing/key", false}, // no such folder: judged by MakeMakerKey
    };
    for (const auto& [path, inside] : rows)
        EXPECT_EQ(keygen::InsideRepository(path), inside) << path;
}

// Every refusal leaves no file behind and changes none that was there.
TEST(MakeMakerKey, RefusalsLeaveNothingBehind) {
    TempTree t;
    const std::string pub = t.root + "/anchor.pub", key = t.root + "/offline/maker.seed";
    std::ofstream(t.root + "/taken") << "kept";
    const struct Row {
        std::string publicPath, privatePath, reason;
    } rows[] = {
        {pub, t.root + "/repo/maker.seed", "inside a repository"},
        {pub, t.root + "/repo/deep/maker.seed", "inside a repository"},
        {pub, pub, "two different files"},
        {"", key, "two different files"},
        {t.root + "/taken", key, "exists already"},
        {pub, t.root + "/taken", "exists already"},
        {pub, t.root + "/missing/maker.seed", "no such folder"},
        {t.root + "/missing/anchor.pub", key, "anchor.pub"},
    };
    for (const Row& r : rows) {
        std::string fingerprint, error;
        EXPECT_FALSE(keygen::MakeMakerKey(r.publicPath, r.privatePath, &fingerprint, &error))
            << r.reason;
        EXPECT_NE(error.find(r.reason), std::string::npos) << error;
        EXPECT_NE(access(pub.c_str(), F_OK), 0) << r.reason;
        EXPECT_NE(access(key.c_str(), F_OK), 0) << r.reason;
        EXPECT_EQ(ReadAll(t.root + "/taken"), "kept") << r.reason;
    }
}

// The seed file gives the very key the anchor names; the anchor reads as
// one; the files are the modes a private and a public file need.
TEST(MakeMakerKey, ThePublicHalfIsTheAnchorOfThePrivateOne) {
    TempTree t;
    const std::string pub = t.root + "/lorvex-production-9.pub", key = t.root + "/offline/seed";
    std::string fingerprint, error;
    ASSERT_TRUE(keygen::MakeMakerKey(pub, key, &fingerprint, &error)) << error;
    EXPECT_EQ(ModeOf(key), 0600u);
    EXPECT_EQ(ModeOf(pub), 0644u);
    std::string seedHex = ReadAll(key);
    ASSERT_EQ(seedHex.size(), 65u);
    EXPECT_EQ(seedHex.back(), '\n');
    std::array<unsigned char, 32> seed{};
    ASSERT_TRUE(lorvex::trust::FromHex(seedHex.substr(0, 64), seed.data(), seed.size()));
    unsigned char derived[crypto_sign_PUBLICKEYBYTES], secret[crypto_sign_SECRETKEYBYTES];
    crypto_sign_seed_keypair(derived, secret, seed.data());
    std::vector<lorvex::trust::Key> anchors;
    lorvex::trust::LoadAnchors(t.root, &anchors);
    ASSERT_EQ(anchors.size(), 1u);
    EXPECT_EQ(std::string(anchors[0].begin(), anchors[0].end()),
              std::string(derived, derived + sizeof derived));
    EXPECT_EQ(fingerprint, lorvex::trust::Fingerprint(anchors[0]));
    // A certificate signed with the seed checks under the anchor.
    lorvex::trust::SecretKey maker{};
    std::copy(secret, secret + sizeof secret, maker.begin());
    const lorvex::trust::Certificate cert =
        lorvex::trust::SignCertificate({2, 0x4c, 0x56, 0, 0, 1}, anchors[0], maker);
    EXPECT_TRUE(lorvex::trust::VerifyCertificate(cert, anchors[0]));
    // A second key pair is another one.
    std::string second;
    ASSERT_TRUE(keygen::MakeMakerKey(t.root + "/b.pub", t.root + "/offline/b", &second, &error));
    EXPECT_NE(second, fingerprint);
}

} // namespace
