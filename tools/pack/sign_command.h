// tessaly-pack keygen and sign: the publisher's key pair, and a fresh signature on a package's
// index without building the package again.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tessaly::pack {

extern const char KEYGEN_USAGE[];
extern const char SIGN_USAGE[];

// Runs "keygen KEY".
int RunKeygen(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Runs "sign PACKAGE --key KEY [--key KEY]... [--expires WHEN]".
int RunSign(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tessaly::pack
