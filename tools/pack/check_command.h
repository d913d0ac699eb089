// tessaly-pack check: lints a file index the way the installer will read it.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "pack/command.h"

namespace tessaly::pack {

extern const char kCheckUsage[];

// Every problem of the index `bytes`, in line order (findings about the whole index last): lines
// the installer skips and why, lines it keeps but never acts on, entries it cannot carry out as
// meant, downloads into folders that no earlier entry creates, links and launches of files that no
// entry installs, and an index that installs nothing.
std::vector<Finding> CheckFileList(const std::string& bytes);

// Runs "check FILE_LIST"; `args` follow the subcommand name.
int RunCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tessaly::pack
