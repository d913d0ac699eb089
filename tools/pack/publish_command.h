// tessaly-pack publish: puts a built package on object storage (any rclone remote) or in a folder,
// in the order that keeps every install working while it runs: objects first, each written once
// and never overwritten, then the index last.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tessaly::pack {

extern const char PUBLISH_USAGE[];

// Runs "publish PACKAGE DEST [--dry-run]"; `args` follow the subcommand name.
int RunPublish(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tessaly::pack
