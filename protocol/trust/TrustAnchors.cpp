#include "TrustAnchors.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace lorvex::trust {
namespace {

bool IsFolder(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string LastName(const std::string& folder) {
    const std::size_t slash = folder.rfind('/');
    return slash == std::string::npos ? folder : folder.substr(slash + 1);
}

std::string RunningProgramFolder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return {};
    const std::string p(path, static_cast<std::size_t>(n));
    const std::size_t slash = p.rfind('/');
    return slash == std::string::npos ? std::string() : p.substr(0, slash);
}

} // namespace

AnchorFolders FindAnchorFolders(const std::string& programFolder, const char* environment) {
    AnchorFolders found;
    if (environment != nullptr && *environment != '\0')
        found.environment = environment;
    if (programFolder.empty())
        return found;
    const std::string beside = programFolder + "/trust-anchors";
    const std::string fromBinaries = programFolder + "/" + LORVEX_ANCHORS_FROM_BINDIR;
    if (IsFolder(beside))
        found.package = beside;
    else if (LastName(programFolder) == LORVEX_INSTALL_BINDIR_NAME && IsFolder(fromBinaries))
        found.package = fromBinaries;
    return found;
}

AnchorFolders FindAnchorFolders() {
    return FindAnchorFolders(RunningProgramFolder(), std::getenv("LORVEX_TRUST_DIR"));
}

} // namespace lorvex::trust
