// The lint of a file index the way the installer will read it: check, publish and sign judge an
// index by it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pack/command.h"
#include "pack/index_signing.h"

namespace tessaly::pack {

struct CheckOptions {
    bool keyed = false;       // also report what an installer built with a key refuses
    EVP_PKEY* key = nullptr;  // with `keyed`, also verify the signature with this public key
    std::uint64_t now = 0;    // UTC seconds, for the signature's expiry
};

// Every problem of the index `bytes`, in line order (findings about the whole index last): lines
// the installer skips and why, lines it keeps but never acts on, entries it cannot carry out as
// meant, downloads into folders that no earlier entry creates, links and launches of files that no
// entry installs, and an index that installs nothing. A good signature line at the end is no
// problem: an installer built without a key skips it as it should.
std::vector<Finding> CheckFileList(const std::string& bytes, const CheckOptions& options = {});

// What an installer built with a key refuses in `bytes` before it verifies anything: no signature
// line, or one that is not last, repeated or malformed, and Download paths that do not end in the
// SHA-256 of their content.
std::vector<Finding> KeyedRefusals(const std::string& bytes);

}  // namespace tessaly::pack
