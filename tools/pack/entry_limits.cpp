// Per-entry checks against the installer's fields, path texts and containment rule.
#include "pack/entry_limits.h"

#include <cstring>

#include "pack/cp936.h"
#include "pack/local_names.h"

namespace tessaly::pack {

namespace {

// Bytes a URL path may hold without percent-encoding.
bool IsPlainUrlByte(unsigned char byte) {
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
        (byte >= '0' && byte <= '9')) {
        return true;
    }
    return byte != '\0' && std::strchr("-._~!$&'()*+,;=:@/", byte) != nullptr;
}

class Problems {
  public:
    void Column(const char* name, const std::string& column, std::size_t limit) {
        if (column.size() > limit) {
            Add(std::string(name) + " column is " + std::to_string(column.size()) +
                " bytes; the installer's field holds " + std::to_string(limit));
        }
    }

    // False (and a problem) when the path would reach outside the folder it is joined to.
    bool Contained(const std::string& what, const std::string& cp936) {
        if (IsContainedRelativePath(cp936.c_str())) {
            return true;
        }
        Add(what + " " + Quoted(cp936) +
            " is unsafe: it is absolute, climbs out with \"..\", holds a colon or names a device");
        return false;
    }

    // A column of `column` bytes and a suffix composed under a directory into a text of
    // `capacity` bytes (terminator included).
    void Fits(const std::string& what, std::size_t directory, std::size_t column,
              std::size_t suffix, const char* text, std::size_t capacity, const char* base) {
        if (!ComposedPathFits(capacity, directory, column, suffix)) {
            Add(what + " makes a " + text + " of " + std::to_string(directory + column + suffix) +
                " bytes with " + base + "; the installer's text holds " +
                std::to_string(capacity - 1));
        }
    }

    void Add(std::string message) { messages_.push_back(std::move(message)); }
    std::vector<std::string> Take() { return std::move(messages_); }

  private:
    std::vector<std::string> messages_;
};

const std::string INSTALL_BASE =
    "a " + std::to_string(ASSUMED_INSTALL_DIR_LENGTH) + "-byte install directory";
const std::string DESKTOP_BASE =
    "a " + std::to_string(ASSUMED_DESKTOP_DIR_LENGTH) + "-byte desktop directory";

void CheckDownload(const IndexEntry& entry, Problems& problems) {
    for (const char c : entry.path) {
        if (!IsPlainUrlByte(static_cast<unsigned char>(c))) {
            problems.Add("server path " + Quoted(entry.path) +
                         " needs percent-encoding, but the installer sends it unchanged");
            break;
        }
    }
    if (entry.local.empty()) {
        problems.Add("download has no local name: the installer would write to its directory");
        return;
    }
    if (problems.Contained("local path", entry.local)) {
        problems.Fits("local path " + Quoted(entry.local), ASSUMED_INSTALL_DIR_LENGTH,
                      entry.local.size(), 0, "file path", FILE_PATH_CAPACITY, INSTALL_BASE.c_str());
    }
}

void CheckFolder(const IndexEntry& entry, Problems& problems) {
    if (problems.Contained("folder", entry.path)) {
        problems.Fits("folder " + Quoted(entry.path), ASSUMED_INSTALL_DIR_LENGTH, entry.path.size(),
                      0, "folder path", FOLDER_PATH_CAPACITY, INSTALL_BASE.c_str());
    }
}

void CheckShortcut(const IndexEntry& entry, Problems& problems) {
    if (problems.Contained("link target", entry.path)) {
        for (const auto& [text, capacity] :
             {std::pair{"target path", TARGET_PATH_CAPACITY},
              std::pair{"link object target", LINK_TARGET_CAPACITY}}) {
            problems.Fits("link target " + Quoted(entry.path), ASSUMED_INSTALL_DIR_LENGTH,
                          entry.path.size(), 0, text, capacity, INSTALL_BASE.c_str());
        }
    }
    const std::string& name = entry.local;
    if (name.empty()) {
        problems.Add("link name is empty: the link would be called \".lnk\"");
        return;
    }
    if (HasSeparator(name)) {
        problems.Add("link name " + Quoted(name) +
                     " holds a folder separator: the link would go into a desktop subfolder");
        return;
    }
    if (!problems.Contained("link name", name)) {
        return;
    }
    const std::size_t lnk = sizeof LINK_SUFFIX - 1;
    problems.Fits("link name " + Quoted(name), ASSUMED_DESKTOP_DIR_LENGTH, name.size(), lnk,
                  "link path", LINK_PATH_CAPACITY, DESKTOP_BASE.c_str());
    // The desktop directory converts to at most one UTF-16 unit per byte.
    problems.Fits("link name " + Quoted(name), ASSUMED_DESKTOP_DIR_LENGTH,
                  Cp936CharacterCount(name), lnk, "UTF-16 link path (in units)",
                  LINK_PATH_WIDE_CAPACITY, DESKTOP_BASE.c_str());
}

void CheckLaunch(const IndexEntry& entry, Problems& problems) {
    if (problems.Contained("launch path", entry.path)) {
        problems.Fits("launch path " + Quoted(entry.path), ASSUMED_INSTALL_DIR_LENGTH,
                      entry.path.size(), 0, "launch path", TARGET_PATH_CAPACITY,
                      INSTALL_BASE.c_str());
    }
}

}  // namespace

std::vector<std::string> EntryProblems(const IndexEntry& entry) {
    Problems problems;
    problems.Column("path", entry.path, PATH_COLUMN_LIMIT);
    problems.Column("local", entry.local, LOCAL_COLUMN_LIMIT);
    switch (entry.kind) {
        case Download:
            CheckDownload(entry, problems);
            break;
        case Folder:
            CheckFolder(entry, problems);
            break;
        case Shortcut:
            CheckShortcut(entry, problems);
            break;
        case Launch:
            CheckLaunch(entry, problems);
            break;
        default:
            break;
    }
    return problems.Take();
}

}  // namespace tessaly::pack
