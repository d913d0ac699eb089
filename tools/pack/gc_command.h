// tessaly-pack gc: removes from a publish destination the objects that no recent index names, once
// no cache can still hand out an index that names them.
#pragma once

#include <cstdint>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "pack/rclone.h"

namespace tessaly::pack {

extern const char GC_USAGE[];

// Reads a DURATION: a whole number followed by s, m, h or d ("30d", "12h"). False for anything
// else, zero included.
bool ReadDuration(const std::string& text, std::int64_t& seconds);

// The release copies (names as ReleaseCopyName writes them; others are ignored) whose objects stay:
// the last `keep`, and every one that was replaced less than `olderThan` seconds before `now`,
// since a cache may still serve it. In name order.
std::vector<std::string> IndexesToKeep(std::vector<std::string> copies, std::size_t keep,
                                       std::int64_t now, std::int64_t olderThan);

// The objects to remove: named by none of `named` and written more than `olderThan` seconds before
// `now`.
std::vector<ListedFile> ObjectsToRemove(const std::vector<ListedFile>& objects,
                                        const std::set<std::string>& named, std::int64_t now,
                                        std::int64_t olderThan);

// Runs "gc DEST --keep N --older-than DURATION [--dry-run]".
int RunGc(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tessaly::pack
