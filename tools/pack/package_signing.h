// Signing the index of a built package, shared by build --sign and sign: the keys and the end of
// validity as the command line gives them, and the signed index written in place.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "pack/command.h"
#include "pack/index_signing.h"

namespace tessaly::pack {

// The end of validity for "--expires WHEN" (90 days from `now` when `when` is empty), warning on
// `err` when it has passed. False, after a usage message naming `command`, for a WHEN that reads
// as neither form.
bool ReadExpiryOption(const std::string& when, std::uint64_t now, std::uint64_t& expires,
                      const std::string& command, std::ostream& err);

// The private keys of the repeated option `option` ("--sign", "--key") in `parsed`: 1 to 8
// different keys. False, after a usage message naming `command`, for a key that cannot be read,
// more than 8 or one given twice; true with `keys` empty when the option was not given.
bool LoadSigningKeys(const Arguments& parsed, const std::string& option, const std::string& command,
                     std::vector<SigningKey>& keys, std::ostream& err);

// The keys as SignIndex takes them.
std::vector<EVP_PKEY*> KeyPointers(const std::vector<SigningKey>& keys);

// "signed by key <id>" or "signed by keys <id>, <id>".
std::string SignedByText(const std::vector<EVP_PKEY*>& keys);

struct SignResult {
    std::filesystem::path indexFile;
    std::vector<Finding> refusals;  // what an installer built with a key would still refuse
    std::string error;              // the index could not be read, signed or replaced
};

// Signs PACKAGE/AppData/FileList.txt with `keys`, one line each, valid until `expires` (UTC
// seconds), replacing any signature lines it ends with. Writes nothing when the signed index would
// still be refused (a stray signature line, a Download path that is not content-addressed);
// otherwise replaces the file through a temporary file beside it.
SignResult SignPackage(const std::filesystem::path& package, const std::vector<EVP_PKEY*>& keys,
                       std::uint64_t expires);

}  // namespace tessaly::pack
