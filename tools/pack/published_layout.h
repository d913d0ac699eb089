// What publish writes at DEST beside the package, and what gc and serve read back: the cache
// headers of objects and indexes, the copies of every published index under releases/, and the
// object names an index downloads.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "pack/rclone.h"

namespace tessaly::pack {

// The headers every stored object and every index is written with.
constexpr char OBJECT_CACHE_CONTROL[] = "public, max-age=31536000, immutable";
constexpr char INDEX_CACHE_CONTROL[] = "no-cache";

// The folder under AppData/ that keeps a copy of every index published, named by
// ReleaseCopyName, so that gc knows what older, possibly still cached, indexes name.
constexpr char RELEASES_FOLDER[] = "releases";

// "20261209T063425Z-FileList.txt" for UTC seconds `published`; names sort by time.
std::string ReleaseCopyName(std::int64_t published);
// The time in such a name; false for any other name.
bool ReadReleaseCopyName(const std::string& name, std::int64_t& published);

// The marker publish writes beside a release copy right after that index went live: an empty
// "<copy>.live", whose time at DEST (the storage's own) says when.
std::string LiveMarkerName(const std::string& copy);

// The copies of a listing of releases/ that went live, each with the time of its marker.
std::map<std::string, std::int64_t> LiveTimes(const std::vector<ListedFile>& releases);

// The copy of a listing of releases/ that publish may keep for an index of `size` bytes and MD5
// `md5`: the copy that went live last, when it holds these bytes; "" when there is none. A copy
// that never went live is not reused: its time would be that of the failed publish.
std::string ReusableCopy(const std::vector<ListedFile>& releases, std::uint64_t size,
                         const std::string& md5);

// The Download paths of an index that publish and gc handle: "objects/<sha256>", each once, in
// index order. False, with `error` naming the line, when a Download path has another form.
bool ObjectNames(const std::string& index, std::vector<std::string>& names, std::string& error);

}  // namespace tessaly::pack
