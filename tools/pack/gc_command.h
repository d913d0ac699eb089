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

// The release copies whose objects stay, from a listing of releases/ with the storage's times:
// the copies, and the markers of those that went live. A copy that went live stays when it is
// among the last `keep` to go live, or when the next one went live less than `olderThan` seconds
// before `now`, since a cache may still serve it. A copy without a marker (a publish that failed,
// or one from before the markers) may have been live at any time after its upload: it stays until
// a copy that went live after that upload has been live for `olderThan`. In name order.
std::vector<std::string> IndexesToKeep(const std::vector<ListedFile>& releases, std::size_t keep,
                                       std::int64_t now, std::int64_t olderThan);

// The objects to remove: named by none of `named` and written more than `olderThan` seconds before
// `now`.
std::vector<ListedFile> ObjectsToRemove(const std::vector<ListedFile>& objects,
                                        const std::set<std::string>& named, std::int64_t now,
                                        std::int64_t olderThan);

// True when two listings hold the same files, with the same sizes, hashes and times.
bool SameListing(const std::vector<ListedFile>& a, const std::vector<ListedFile>& b);

// Runs "gc DEST --keep N --older-than DURATION [--dry-run]".
int RunGc(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tessaly::pack
