// tessaly-pack check: lints a file index the way the installer will read it.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tessaly::pack {

extern const char CHECK_USAGE[];

// Runs "check FILE_LIST [--signed] [--key PUBLIC_KEY]"; `args` follow the subcommand name.
int RunCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tessaly::pack
