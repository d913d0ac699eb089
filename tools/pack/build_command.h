// tessaly-pack build: turns a staging folder into a package tree for the package server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "pack/index_signing.h"
#include "pack/index_writer.h"

namespace tessaly::pack {

extern const char BUILD_USAGE[];

// A Shortcut or Launch entry asked for on the command line.
struct LinkRequest {
    int kind;              // Shortcut or Launch
    std::string target;    // a file under the staging folder, "/" or "\" between its components
    std::string name;      // the link name (UTF-8, without ".lnk"); empty for a launch
    std::string argument;  // the option as given, for messages
};

struct BuildOptions {
    std::filesystem::path staging;
    std::filesystem::path out;
    std::vector<LinkRequest> links;        // in the order given
    std::vector<EVP_PKEY*> signingKeys{};  // each signs the index, one line each, when given
    std::uint64_t expires = 0;             // the signatures' end of validity, UTC seconds
};

struct BuildResult {
    std::vector<std::string> problems;  // "WHAT: reason", one each; the index was not replaced
    std::vector<IndexEntry> entries;    // the index written
    std::size_t folders = 0;
    std::size_t files = 0;
    std::size_t objects = 0;     // distinct contents among the files
    std::size_t newObjects = 0;  // objects that were not on disk yet
    std::filesystem::path indexFile;
};

// Checks everything first and writes nothing when anything is refused; otherwise stores every
// file under OUT/AppData/objects/<sha256> (keeping objects already there) and replaces
// OUT/AppData/FileList.txt last: Folder lines (parents first), Download lines, then the links, and
// the signature lines when signing.
BuildResult BuildPackage(const BuildOptions& options);

// Runs "build STAGING_DIR OUT_DIR [--shortcut TARGET=NAME]... [--launch TARGET]... [--sign KEY]...
// [--expires WHEN]".
int RunBuild(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tessaly::pack
