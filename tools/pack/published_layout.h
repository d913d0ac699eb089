// What publish writes at DEST beside the package, and what gc and serve read back: the cache
// headers of objects and indexes, the copies of every published index under releases/, and the
// object names an index downloads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// The Download paths of an index that publish and gc handle: "objects/<sha256>", each once, in
// index order. False, with `error` naming the line, when a Download path has another form.
bool ObjectNames(const std::string& index, std::vector<std::string>& names, std::string& error);

}  // namespace tessaly::pack
