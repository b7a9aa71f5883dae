// Where the tool's trusted maker keys (trust anchors) come from: the
// package's own folder, found from the running program's place, and the
// folder LORVEX_TRUST_DIR names, which the front ends must show whenever it
// is in force.
#pragma once

#include <string>

namespace lorvex::trust {

// The folders maker keys are read from; an empty text stands for none.
struct AnchorFolders {
    // The package's anchors: "trust-anchors" beside the program (the window,
    // installed in the package's own folder), else, for a program in a
    // folder named like the installed binary folder (lorvex-search in
    // /usr/bin), the package folder's one reached from there
    // (../lib/lorvex/trust-anchors). Only a folder that exists counts, so a
    // program in a build tree finds none.
    std::string package;
    // LORVEX_TRUST_DIR when it is set and not empty, as given.
    std::string environment;
};

// The folders for a program in `programFolder` (no final '/') with
// LORVEX_TRUST_DIR `environment` (null: unset).
AnchorFolders FindAnchorFolders(const std::string& programFolder, const char* environment);

// The folders for the running program and this process's environment.
AnchorFolders FindAnchorFolders();

} // namespace lorvex::trust
