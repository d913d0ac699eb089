// What a run changed on disk: a walk of a folder before and after, and the changes that fall
// outside the folders the run may write to.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tessaly::test {

// Every file and directory under a folder, with size and modification time. Directories end in
// "/", symbolic links (listed, not followed) in "@".
using DriveTree = std::map<std::string, std::pair<std::uintmax_t, std::filesystem::file_time_type>>;

DriveTree WalkTree(const std::filesystem::path& root);

// Paths added, removed or changed between two walks, other than those inside the `allowed`
// folders.
std::vector<std::string> ChangesOutside(const DriveTree& before, const DriveTree& after,
                                        const std::vector<std::string>& allowed);

}  // namespace tessaly::test
