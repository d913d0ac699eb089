// tessaly-pack publish: puts a built package on object storage (any rclone remote) or in a folder,
// in the order that keeps every install working while it runs: objects first, each written once
// and never overwritten, then the index last.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace tessaly::pack {

extern const char PUBLISH_USAGE[];

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

// Runs "publish PACKAGE DEST [--dry-run]"; `args` follow the subcommand name.
int RunPublish(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tessaly::pack
