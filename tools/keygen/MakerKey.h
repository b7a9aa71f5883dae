// A maker key pair for device certificates: the private half (an Ed25519
// seed) goes to a new file the maker keeps offline, the public half to a
// trust-anchor file the package ships.
#pragma once

#include <string>

namespace keygen {

// True when `path`, or a folder above it, holds ".git": a working tree of a
// repository, where a private key must never be written (a commit or a push
// would publish it). `path` need not exist; its folder must.
bool InsideRepository(const std::string& path);

// Makes a new key pair from libsodium's generator. The seed is written as
// 64 hex digits and a line break to `privatePath`, a new file (never an
// existing one or through a link) of mode 0600; the public key likewise to
// `publicPath`, a new file of mode 0644, in the form LoadAnchors reads. The
// seed lives only in locked memory that is wiped, and is never printed.
// True with the public key's fingerprint in *fingerprint; false with a
// one-line reason in *error, and then no file is left behind. Refused before
// anything is made: a private path inside a repository, a public path equal
// to it, a file that exists.
bool MakeMakerKey(const std::string& publicPath, const std::string& privatePath,
                  std::string* fingerprint, std::string* error);

} // namespace keygen
