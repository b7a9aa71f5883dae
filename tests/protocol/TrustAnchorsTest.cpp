// Where the trusted maker keys come from: the package's folder as an
// installed program finds it, never one of a build tree, and the folder the
// environment names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "SearchPeers.h"
#include "TrustAnchors.h"
#include "TrustWire.h"

namespace {

using lorvex::trust::AnchorFolders;
using lorvex::trust::FindAnchorFolders;

void MakeFolders(const std::string& path) {
    for (size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
        mkdir(path.substr(0, at).c_str(), 0755);
        if (at == std::string::npos)
            return;
    }
}

TEST(FindAnchorFolders, AnInstalledProgramFindsThePackagesAnchorsAndABuildTreeNone) {
    char base[] = "/tmp/lvx-anchors-XXXXXX";
    ASSERT_NE(mkdtemp(base), nullptr);
    const std::string root = base;
    for (const char* folder :
         {"/usr/bin", "/usr/lib/lorvex/trust-anchors", "/opt/bin", "/build/tools/cli",
          "/build/tools/lib/lorvex/trust-anchors", "/build/app/trust-anchors-not",
          "/home/u/.local/bin", "/home/u/.local/lib/lorvex/trust-anchors"})
        MakeFolders(root + folder);
    const struct Row {
        const char* program;
        const char* package; // relative to root; "" for none
    } rows[] = {
        {"/usr/lib/lorvex", "/usr/lib/lorvex/trust-anchors"}, // the window, beside it
        {"/usr/bin", "/usr/bin/../lib/lorvex/trust-anchors"}, // lorvex-search
        {"/home/u/.local/bin", "/home/u/.local/bin/../lib/lorvex/trust-anchors"},
        {"/opt/bin", ""},         // nothing installed there
        {"/build/tools/cli", ""}, // a build tree
        {"/build/app", ""},
    };
    for (const Row& r : rows) {
        const AnchorFolders found = FindAnchorFolders(root + r.program, nullptr);
        EXPECT_EQ(found.package, *r.package ? root + r.package : std::string()) << r.program;
        EXPECT_EQ(found.environment, "") << r.program;
    }
    EXPECT_EQ(FindAnchorFolders("", nullptr).package, "");
    std::system(("rm -rf " + root).c_str());
}

TEST(FindAnchorFolders, TheEnvironmentsFolderOnlyWhenSetAndNotEmpty) {
    const std::pair<const char*, const char*> rows[] = {
        {nullptr, ""}, {"", ""}, {"/srv/keys", "/srv/keys"}, {"relative", "relative"}};
    for (const auto& [value, expected] : rows)
        EXPECT_EQ(FindAnchorFolders("/nonexistent", value).environment, expected)
            << (value ? value : "(unset)");
}

// The tests' programs live in the build tree: they trust the maker's
// production key only if someone names its folder, never by accident, and
// the simulator's test key only through LORVEX_TRUST_DIR.
TEST(LoadTrustAnchors, ABuildTreeProgramTrustsOnlyWhatTheEnvironmentNames) {
    std::vector<lorvex::trust::Key> production;
    lorvex::trust::LoadAnchors(LORVEX_SOURCE_DIR "/packaging/trust-anchors", &production);
    ASSERT_FALSE(production.empty()) << "the package's anchor does not read as a key";
    std::vector<lorvex::trust::Key> test;
    lorvex::trust::LoadAnchors(LORVEX_SOURCE_DIR "/tools/devsim/keys", &test);
    ASSERT_EQ(test.size(), 1u);

    const char* saved = std::getenv("LORVEX_TRUST_DIR");
    const std::string before = saved ? saved : "";
    unsetenv("LORVEX_TRUST_DIR");
    EXPECT_TRUE(FindAnchorFolders().package.empty());
    EXPECT_TRUE(lorvex::search::LoadTrustAnchors().empty());
    setenv("LORVEX_TRUST_DIR", LORVEX_SOURCE_DIR "/tools/devsim/keys", 1);
    EXPECT_EQ(lorvex::search::LoadTrustAnchors(), test);
    if (saved)
        setenv("LORVEX_TRUST_DIR", before.c_str(), 1);
    else
        unsetenv("LORVEX_TRUST_DIR");
}

} // namespace
