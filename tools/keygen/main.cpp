// lorvex-keygen --public FILE.pub --private FILE: makes the maker's key pair
// for device certificates. The public half is the trust anchor the package
// ships (packaging/trust-anchors/); the private half goes to a new file
// outside any repository, to be moved offline (a hardware security module)
// at once. Nothing of the private half is ever printed.
//
// Exit status: 0 made, 1 failed (nothing left behind), 2 bad arguments.
#include <cstdio>
#include <string>

#include "MakerKey.h"

namespace {

const char kUsage[] =
    "usage: lorvex-keygen --public FILE.pub --private FILE\n"
    "makes a maker key pair (Ed25519): the public key as 64 hex digits into FILE.pub (the\n"
    "trust anchor to ship), the private seed into FILE (new, mode 0600, never inside a\n"
    "repository). Keep the private file offline; nothing of it is printed.\n";

} // namespace

int main(int argc, char** argv) {
    std::string publicPath, privatePath;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        std::string* target = option == "--public"    ? &publicPath
                              : option == "--private" ? &privatePath
                                                      : nullptr;
        if (target == nullptr || i + 1 >= argc || !target->empty()) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        *target = argv[++i];
    }
    if (publicPath.empty() || privatePath.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::string fingerprint, error;
    if (!keygen::MakeMakerKey(publicPath, privatePath, &fingerprint, &error)) {
        std::fprintf(stderr, "lorvex-keygen: %s\n", error.c_str());
        return 1;
    }
    std::printf("trust anchor: %s\nfingerprint: %s\nprivate key: %s (keep it offline)\n",
                publicPath.c_str(), fingerprint.c_str(), privatePath.c_str());
    return 0;
}
