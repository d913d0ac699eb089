// Walks of drive C before and after an installer run.
#include "support/drive_changes.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace tessaly::test {

DriveTree WalkTree(const fs::path& root) {
    DriveTree tree;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_symlink(error)) {
            tree[it->path().string() + "@"] = {0, {}};
        } else if (it->is_regular_file(error)) {
            tree[it->path().string()] = {it->file_size(error), it->last_write_time(error)};
        } else if (it->is_directory(error)) {
            tree[it->path().string() + "/"] = {0, {}};
        }
    }
    return tree;
}

std::vector<std::string> ChangesOutside(const DriveTree& before, const DriveTree& after,
                                        const std::vector<std::string>& allowed) {
    auto isAllowed = [&](const std::string& path) {
        return std::any_of(allowed.begin(), allowed.end(),
                           [&](const std::string& a) { return path.rfind(a + "/", 0) == 0; });
    };
    std::vector<std::string> changes;
    for (const auto& [path, info] : after) {
        const auto old = before.find(path);
        if ((old == before.end() || old->second != info) && !isAllowed(path)) {
            changes.push_back(path);
        }
    }
    for (const auto& [path, info] : before) {
        if (after.count(path) == 0 && !isAllowed(path)) {
            changes.push_back(path);
        }
    }
    return changes;
}

}  // namespace tessaly::test
