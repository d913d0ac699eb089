// Package building: scan and judge the staging folder, then write the objects and, last, the index.
#include "pack/build_command.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <set>
#include <system_error>

#include "format/install_entry.h"
#include "pack/command.h"
#include "pack/cp936.h"
#include "pack/entry_limits.h"
#include "pack/local_names.h"
#include "pack/package_signing.h"
#include "pack/sha256.h"
#include "pack/signature_report.h"

namespace tessaly::pack {

namespace fs = std::filesystem;

const char BUILD_USAGE[] =
    "usage: tessaly-pack build STAGING_DIR OUT_DIR [--shortcut TARGET=NAME]... [--launch "
    "TARGET]...\n"
    "                          [--sign KEY]... [--expires WHEN]\n"
    "\n"
    "Writes the package server tree for the files under STAGING_DIR:\n"
    "  OUT_DIR/AppData/objects/<sha256>   every file, named by its content\n"
    "  OUT_DIR/AppData/FileList.txt       the index: one Folder line per folder level (parents\n"
    "                                     first), the Download lines, then the Shortcut and "
    "Launch\n"
    "                                     lines in the order given\n"
    "Objects already in OUT_DIR stay, so an installer still reading the previous index finds its\n"
    "files. Publish it with tessaly-pack publish OUT_DIR DEST, which uploads the objects first\n"
    "and FileList.txt last.\n"
    "\n"
    "  --shortcut TARGET=NAME  a desktop link NAME.lnk to the staged file TARGET (a path under\n"
    "                          STAGING_DIR; the last \"=\" separates it from NAME)\n"
    "  --launch TARGET         open the staged file TARGET when the install is done\n"
    "  --sign KEY              sign the index with the private key KEY (see tessaly-pack\n"
    "                          keygen): installers built with its public key refuse any\n"
    "                          index or file that was not signed with it. Up to 8 keys, one\n"
    "                          signature line each: give the old and the new key while the\n"
    "                          signing key is being changed\n"
    "  --expires WHEN          with --sign, the end of validity: a number of days from now\n"
    "                          (1 to 3650; 90 when not given) or a UTC date YYYY-MM-DD, meaning\n"
    "                          the start of that day; re-sign before then (tessaly-pack sign)\n"
    "\n"
    "Names are written in code page 936 with backslashes. Nothing is written when anything is\n"
    "refused: an empty file, a name that code page 936 cannot hold or that holds \"|\", a line\n"
    "break or a character Windows forbids, a column longer than its field, an unsafe path, or a\n"
    "path too long for the installer under a 64-byte Program Files path.\n"
    "Exit status: 0 written, 1 refused or failed, 2 bad usage.\n";

namespace {

struct StagedItem {
    fs::path source;
    std::vector<std::string> components;  // UTF-8 names below the staging folder
    bool folder = false;
    bool usable = true;  // false once a problem was reported for it
    std::string local;   // code page 936, backslashes between the components
    std::uintmax_t size = 0;
    std::string sha256;
};

// True when `inner` is `outer` or lies below it.
bool IsWithin(const fs::path& inner, const fs::path& outer) {
    const fs::path a = fs::weakly_canonical(inner);
    const fs::path b = fs::weakly_canonical(outer);
    return std::mismatch(b.begin(), b.end(), a.begin(), a.end()).first == b.end();
}

class PackageBuilder {
  public:
    explicit PackageBuilder(const BuildOptions& options) : options_(options) {}

    BuildResult Run() {
        if (!fs::is_directory(options_.staging)) {
            Refuse(options_.staging.string(), "is not a folder");
            return std::move(result_);
        }
        if (IsWithin(options_.out, options_.staging)) {
            Refuse(options_.out.string(), "lies inside the staging folder");
            return std::move(result_);
        }
        Scan();
        if (items_.empty() && result_.problems.empty()) {
            Refuse(options_.staging.string(), "holds nothing to install");
        }
        for (const LinkRequest& link : options_.links) {
            AddLink(link);
        }
        if (!result_.problems.empty()) {
            return std::move(result_);
        }
        Write();
        return std::move(result_);
    }

  private:
    void Refuse(const std::string& what, const std::string& reason) {
        result_.problems.push_back(what + ": " + reason);
    }

    void Refuse(StagedItem& item, const std::string& reason) {
        item.usable = false;
        Refuse(item.source.string(), reason);
    }

    void Scan() {
        std::error_code failure;
        fs::recursive_directory_iterator walk(options_.staging, failure);
        for (; !failure && walk != fs::recursive_directory_iterator(); walk.increment(failure)) {
            StagedItem item;
            item.source = walk->path();
            for (const fs::path& part : item.source.lexically_relative(options_.staging)) {
                item.components.push_back(part.string());
            }
            const fs::file_status status = walk->symlink_status();
            item.folder = fs::is_directory(status);
            if (!JudgeName(item)) {
                if (item.folder) {
                    walk.disable_recursion_pending();  // its contents would repeat the problem
                }
                continue;
            }
            if (fs::is_symlink(status)) {
                Refuse(item, "is a symbolic link; stage a copy of what it points to");
            } else if (!item.folder && !fs::is_regular_file(status)) {
                Refuse(item, "is neither a regular file nor a folder");
            } else if (!item.folder) {
                JudgeFile(item);
            }
            if (item.usable) {
                for (const std::string& problem : EntryProblems(EntryOf(item))) {
                    Refuse(item, problem);
                }
            }
            items_.push_back(std::move(item));
        }
        if (failure) {
            Refuse(options_.staging.string(), "cannot be read: " + failure.message());
        }
    }

    // Checks the item's own name (its folders were checked when they were visited) and composes
    // its local path. False when the name is refused.
    bool JudgeName(StagedItem& item) {
        const std::string& name = item.components.back();
        const std::string problem = WindowsNameProblem(name);
        if (!problem.empty()) {
            Refuse(item, "the name " + problem);
            return false;
        }
        std::string encoded;  // each component in turn; the name itself once the loop is done
        for (const std::string& component : item.components) {
            if (!Utf8ToCp936(component, encoded)) {
                Refuse(item,
                       "the name is not UTF-8 or holds characters that code page 936 "
                       "cannot hold");
                return false;
            }
            item.local += (item.local.empty() ? "" : "\\") + encoded;
        }
        const std::string trailProblem = Cp936NameProblem(encoded);
        if (!trailProblem.empty()) {
            Refuse(item, "the name " + trailProblem);
            return false;
        }
        const auto [other, added] = names_.emplace(LocalPathKey(item.local), item.source.string());
        if (!added) {
            Refuse(item, "has the same Windows name as " + other->second +
                             " (Windows ignores letter case)");
            return false;
        }
        return true;
    }

    void JudgeFile(StagedItem& item) {
        std::error_code failure;
        item.size = fs::file_size(item.source, failure);
        if (failure) {
            Refuse(item, "cannot be read: " + failure.message());
        } else if (item.size == 0) {
            Refuse(item, "is empty: the installer takes an empty download for a failed one");
        } else {
            std::string error;
            if (!Sha256FileHex(item.source, item.sha256, error)) {
                Refuse(item, error);
            }
        }
    }

    static IndexEntry EntryOf(const StagedItem& item) {
        if (item.folder) {
            return {Folder, item.local, ""};
        }
        return {Download, ObjectPath(item.sha256), item.local};
    }

    // The staged file that `target` names, or null after refusing the request.
    const StagedItem* FindTarget(const LinkRequest& link) {
        std::string normalised = link.target;
        std::replace(normalised.begin(), normalised.end(), '\\', '/');
        std::vector<std::string> components;
        for (const fs::path& part : fs::path(normalised)) {
            if (!part.empty() && part != "." && part != "/") {
                components.push_back(part.string());
            }
        }
        for (const StagedItem& item : items_) {
            if (!item.folder && item.components == components) {
                return item.usable ? &item : nullptr;  // an unusable one was reported already
            }
        }
        Refuse(link.argument, link.target + " is not a file under " + options_.staging.string());
        return nullptr;
    }

    void AddLink(const LinkRequest& link) {
        const StagedItem* target = FindTarget(link);
        if (target == nullptr) {
            return;
        }
        IndexEntry entry{link.kind, target->local, ""};
        if (link.kind == Shortcut) {
            const std::string problem = WindowsNameProblem(link.name);
            if (!problem.empty()) {
                Refuse(link.argument, "the link name " + problem);
                return;
            }
            if (!Utf8ToCp936(link.name, entry.local)) {
                Refuse(link.argument,
                       "the link name is not UTF-8 or holds characters that code "
                       "page 936 cannot hold");
                return;
            }
            const std::string trailProblem = Cp936NameProblem(entry.local);
            if (!trailProblem.empty()) {
                Refuse(link.argument, "the link name " + trailProblem);
                return;
            }
            if (!linkNames_.insert(LocalPathKey(entry.local)).second) {
                Refuse(link.argument,
                       "an earlier --shortcut has the same name; its link would "
                       "be replaced");
                return;
            }
        }
        const std::vector<std::string> problems = EntryProblems(entry);
        for (const std::string& problem : problems) {
            Refuse(link.argument, problem);
        }
        if (problems.empty()) {
            links_.push_back(entry);
        }
    }

    void Write() {
        const fs::path package = options_.out / PACKAGE_FOLDER;
        const fs::path objects = package / OBJECT_FOLDER;
        std::error_code failure;
        fs::create_directories(objects, failure);
        if (failure) {
            Refuse(objects.string(), "cannot be created: " + failure.message());
            return;
        }
        std::sort(items_.begin(), items_.end(), [](const StagedItem& a, const StagedItem& b) {
            return a.components < b.components;
        });
        std::vector<IndexEntry> downloads;
        std::set<std::string> named;
        for (const StagedItem& item : items_) {
            if (item.folder) {
                result_.entries.push_back(EntryOf(item));
                ++result_.folders;
                continue;
            }
            downloads.push_back(EntryOf(item));
            ++result_.files;
            if (!named.insert(item.sha256).second) {
                continue;
            }
            std::string error;
            const ObjectStore stored = StoreObject(item.source, objects, item.sha256, error);
            if (stored == ObjectStore::Failed) {
                Refuse(item.source.string(), error);
                return;
            }
            result_.newObjects += stored == ObjectStore::Written ? 1 : 0;
        }
        result_.objects = named.size();
        result_.entries.insert(result_.entries.end(), downloads.begin(), downloads.end());
        result_.entries.insert(result_.entries.end(), links_.begin(), links_.end());
        result_.indexFile = package / INDEX_NAME;
        std::string error;
        std::string index = FormatIndex(result_.entries);
        if (!options_.signingKeys.empty()) {
            index = SignIndex(index, options_.signingKeys, options_.expires, error);
        }
        if (index.empty() || !WriteFileAtomically(result_.indexFile, index, error)) {
            Refuse(result_.indexFile.string(), error);
        }
    }

    const BuildOptions& options_;
    BuildResult result_;
    std::vector<StagedItem> items_;
    std::map<std::string, std::string> names_;  // path key -> the staged path that took it
    std::set<std::string> linkNames_;
    std::vector<IndexEntry> links_;
};

}  // namespace

BuildResult BuildPackage(const BuildOptions& options) {
    return PackageBuilder(options).Run();
}

int RunBuild(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Arguments parsed;
    if (const std::optional<int> exit =
            ReadCommandLine(args,
                            {"build",
                             BUILD_USAGE,
                             {"--shortcut", "--launch", "--sign", "--expires"},
                             {},
                             2,
                             "STAGING_DIR and OUT_DIR"},
                            parsed, out, err)) {
        return *exit;
    }
    BuildOptions options{parsed.positionals[0], parsed.positionals[1], {}};
    std::string when;
    for (const auto& [name, value] : parsed.options) {
        const std::string argument = name + " " + value;
        if (name == "--expires") {
            when = value;
            continue;
        }
        if (name == "--sign") {
            continue;  // read below
        }
        if (name == "--launch") {
            options.links.push_back({Launch, value, "", argument});
            continue;
        }
        const std::size_t equals = value.rfind('=');
        if (equals == std::string::npos || equals == 0) {
            return UsageError(err, "build", "--shortcut takes TARGET=NAME, got \"" + value + "\"");
        }
        options.links.push_back(
            {Shortcut, value.substr(0, equals), value.substr(equals + 1), argument});
    }
    std::vector<SigningKey> keys;
    if (!LoadSigningKeys(parsed, "--sign", "build", keys, err)) {
        return EXIT_USAGE;
    }
    if (!when.empty() && keys.empty()) {
        return UsageError(err, "build", "--expires needs --sign KEY");
    }
    const std::uint64_t now = static_cast<std::uint64_t>(std::time(nullptr));
    if (!keys.empty() && !ReadExpiryOption(when, now, options.expires, "build", err)) {
        return EXIT_USAGE;
    }
    options.signingKeys = KeyPointers(keys);
    const BuildResult result = BuildPackage(options);
    if (!result.problems.empty()) {
        for (const std::string& problem : result.problems) {
            err << problem << '\n';
        }
        err << "tessaly-pack build: refused ("
            << Count(result.problems.size(), "problem", "problems")
            << "); FileList.txt was not replaced\n";
        return EXIT_FINDING;
    }
    std::size_t shortcuts = 0;
    for (const LinkRequest& link : options.links) {
        shortcuts += link.kind == Shortcut ? 1 : 0;
    }
    out << result.indexFile.string() << ": " << Count(result.folders, "folder", "folders") << ", "
        << Count(result.files, "download", "downloads") << ", "
        << Count(shortcuts, "shortcut", "shortcuts") << ", "
        << Count(options.links.size() - shortcuts, "launch", "launches") << '\n';
    if (!keys.empty()) {
        out << result.indexFile.string() << ": " << SignedByText(options.signingKeys) << ", "
            << DescribeValidity(options.expires, now) << '\n';
    }
    out << (options.out / PACKAGE_FOLDER / OBJECT_FOLDER).string() << ": "
        << Count(result.objects, "object", "objects") << " named, " << result.newObjects << " new\n"
        << "Publish it with: tessaly-pack publish " << options.out.string()
        << " DEST (the objects first, " << INDEX_NAME << " last)\n";
    return EXIT_OK;
}

}  // namespace tessaly::pack
