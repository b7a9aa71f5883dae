// Where the trusted maker keys come from: the package's folder as an
// installed program finds it, never one of a build tree, and the folder the
// environment names.
#include <gtest/gtest.h>

#include <filesystem>
#include <cstdlib>
#include <string>
#include <vector>

#include "SearchPeers.h"
#include "TrustAnchors.h"
#include "TrustWire.h"

namespace {

using lorvex::trust::FindAnchorFolders;

TEST(FindAnchorFolders, AnInstalledProgramFindsThePackagesAnchorsAndABuildTreeNone) {
    char base[] = "/tmp/lvx-anchors-XXXXXX";
    const std::string root = mkdtemp(base);
    ASSERT_EQ(std::system(("mkdir -p " + root + "/usr/bin " + root +
                           "/usr/lib/lorvex/trust-anchors " + root + "/opt/bin " + root +
                           "/build/tools/cli " + root + "/build/tools/lib/lorvex/trust-anchors")
                              .c_str()),
              0);
    const std::pair<const char*, const char*> rows[] = {
        {"/usr/lib/lorvex", "/usr/lib/lorvex/trust-anchors"}, // the window, beside it
        {"/usr/bin", "/usr/bin/../lib/lorvex/trust-anchors"}, // lorvex-search
        {"/opt/bin", ""},                                     // nothing installed there
        {"/build/tools/cli", ""},                             // a build tree
    };
    for (const auto& [program, package] : rows)
        EXPECT_EQ(FindAnchorFolders(root + program, nullptr).package,
                  *package ? root + package : std::string())
            << program;
    for (const auto& [value, expected] :
         {std::pair<const char*, const char*>{nullptr, ""}, {"", ""}, {"/srv/keys", "/srv/keys"}})
        EXPECT_EQ(FindAnchorFolders("/nonexistent", value).environment, expected);
    std::filesystem::remove_all(root);
}

// The tests' programs live in the build tree: they trust the maker's
// production key never by accident, and the simulator's test key only
// through LORVEX_TRUST_DIR.
TEST(LoadTrustAnchors, ABuildTreeProgramTrustsOnlyWhatTheEnvironmentNames) {
    std::vector<lorvex::trust::Key> production, test;
    lorvex::trust::LoadAnchors(LORVEX_SOURCE_DIR "/packaging/trust-anchors", &production);
    ASSERT_FALSE(production.empty()) << "the package's anchor does not read as a key";
    lorvex::trust::LoadAnchors(LORVEX_SOURCE_DIR "/tools/devsim/keys", &test);
    const char* saved = std::getenv("LORVEX_TRUST_DIR");
    const std::string before = saved ? saved : "";
    unsetenv("LORVEX_TRUST_DIR");
    EXPECT_TRUE(lorvex::search::LoadTrustAnchors().empty());
    setenv("LORVEX_TRUST_DIR", LORVEX_SOURCE_DIR "/tools/devsim/keys", 1);
    EXPECT_EQ(lorvex::search::LoadTrustAnchors(), test);
    saved ? setenv("LORVEX_TRUST_DIR", before.c_str(), 1) : unsetenv("LORVEX_TRUST_DIR");
}

} // namespace
