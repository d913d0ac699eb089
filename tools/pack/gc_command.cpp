// Removing retired objects: the live index and the copies that publish keeps under releases/ say
// what is still named; rclone lists what is stored, with the time it was written, and deletes.
#include "pack/gc_command.h"

#include <algorithm>
#include <ctime>
#include <iterator>
#include <map>
#include <utility>

#include "pack/command.h"
#include "pack/index_writer.h"
#include "pack/published_layout.h"

namespace tessaly::pack {

const char GC_USAGE[] =
    "usage: tessaly-pack gc DEST --keep N --older-than DURATION [--dry-run]\n"
    "\n"
    "Removes from DEST/AppData/objects/ (DEST as for publish) every object that none of the\n"
    "last N published indexes names (the copies publish keeps under AppData/releases/) and\n"
    "that was written more than DURATION ago. An object that the live index names, or that an\n"
    "index replaced less than DURATION ago names, is never removed. DURATION is a number with\n"
    "s, m, h or d (\"7d\"); make it longer than any cache in front of DEST keeps an index.\n"
    "An index is replaced when the next one goes live, as the marker publish writes beside\n"
    "its copy says; all times are DEST's own. Never run gc while a publish to the same DEST\n"
    "may run.\n"
    "\n"
    "  --keep N              how many of the latest indexes keep their objects (at least 1)\n"
    "  --older-than DURATION only objects written longer ago than this go\n"
    "  --dry-run             list what would be removed, and remove nothing\n"
    "\n"
    "Exit status: 0 done, 1 failed (nothing is removed when DEST has no live index or an\n"
    "index cannot be read), 2 bad usage.\n";

namespace {

constexpr int TIMEOUT_SECONDS = 3600;

// The object names of the index at `file`, added to `named`.
bool AddNamed(const std::string& file, std::set<std::string>& named, std::string& error) {
    const RcloneRun run = RunRclone({"cat"}, {file}, TIMEOUT_SECONDS);
    if (run.exitCode != 0) {
        error = "cannot read " + file + ": " + RcloneFailure(run);
        return false;
    }
    std::vector<std::string> names;
    if (!ObjectNames(run.output, names, error)) {
        error = file + ":" + error;
        return false;
    }
    // Whatever reads as no index at all (a page of the storage, an encoded body) must not leave
    // its objects unprotected.
    if (names.empty()) {
        error = file + ": names no objects/<sha256> file; not an index of a package";
        return false;
    }
    named.insert(names.begin(), names.end());
    return true;
}

int Fail(std::ostream& err, const std::string& message) {
    err << "tessaly-pack gc: " << message << "; nothing removed\n";
    return EXIT_FINDING;
}

// What DEST says now about what is named: the listing of releases/ and the live index's entry,
// each with the storage's times. gc reads them before it decides and again right before it
// deletes; a publish in between changes one of them.
struct Named {
    std::vector<ListedFile> releases;
    std::vector<ListedFile> index;
};

bool ListNamed(const std::string& appData, Named& named, std::string& error) {
    std::vector<ListedFile> top;
    if (!ListFolder(appData, true, top, error) ||
        !ListFolder(JoinRemote(appData, RELEASES_FOLDER), true, named.releases, error)) {
        return false;
    }
    named.index.clear();
    std::copy_if(top.begin(), top.end(), std::back_inserter(named.index),
                 [](const ListedFile& file) { return file.name == INDEX_NAME; });
    return true;
}

int Collect(const std::string& dest, std::size_t keep, std::int64_t olderThan, bool dryRun,
            std::ostream& out, std::ostream& err) {
    const std::string appData = JoinRemote(dest, std::string(PACKAGE_FOLDER));
    const std::string objectFolder = JoinRemote(appData, OBJECT_FOLDER);
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));

    Named before;
    std::string error;
    if (!ListNamed(appData, before, error)) {
        return Fail(err, error);
    }
    if (before.index.empty()) {
        return Fail(err, "no live index at " + JoinRemote(appData, INDEX_NAME));
    }
    // The live index names what installers fetch now, whether or not a release copy holds it.
    std::set<std::string> named;
    if (!AddNamed(JoinRemote(appData, INDEX_NAME), named, error)) {
        return Fail(err, error);
    }
    const std::vector<std::string> kept = IndexesToKeep(before.releases, keep, now, olderThan);
    for (const std::string& name : kept) {
        if (!AddNamed(JoinRemote(JoinRemote(appData, RELEASES_FOLDER), name), named, error)) {
            return Fail(err, error);
        }
    }
    std::int64_t published = 0;
    const std::size_t copies = static_cast<std::size_t>(std::count_if(
        before.releases.begin(), before.releases.end(),
        [&](const ListedFile& file) { return ReadReleaseCopyName(file.name, published); }));
    std::vector<ListedFile> objects;
    if (!ListFolder(objectFolder, true, objects, error)) {
        return Fail(err, error);
    }
    const std::vector<ListedFile> remove = ObjectsToRemove(objects, named, now, olderThan);
    if (!remove.empty() && !dryRun) {
        // A publish that ran meanwhile may have confirmed one of these objects for its index.
        Named after;
        if (!ListNamed(appData, after, error)) {
            return Fail(err, error);
        }
        if (!SameListing(before.releases, after.releases) ||
            !SameListing(before.index, after.index)) {
            return Fail(err, "the live index or " + std::string(RELEASES_FOLDER) +
                                 "/ changed while gc ran (a publish to the same DEST?); run gc "
                                 "again once no publish runs");
        }
    }
    std::uint64_t bytes = 0;
    std::vector<std::string> names;
    for (const ListedFile& object : remove) {
        out << (dryRun ? "would remove " : "remove ") << OBJECT_FOLDER << "/" << object.name << " ("
            << object.size << " bytes)\n";
        bytes += object.size;
        names.push_back(object.name);
    }
    if (!remove.empty() && !dryRun) {
        const NameListFile list(names);
        const RcloneRun run = list.ok() ? RunRclone({"delete", "--files-from-raw", list.path()},
                                                    {objectFolder}, TIMEOUT_SECONDS)
                                        : RcloneRun{};
        if (run.exitCode != 0) {
            err << "tessaly-pack gc: removing failed: "
                << (list.ok() ? RcloneFailure(run) : "cannot write a temporary file") << '\n';
            return EXIT_FINDING;
        }
    }
    out << "gc: " << kept.size() << " of " << copies << " published indexes and the live one name "
        << named.size() << " objects; " << (dryRun ? "would remove " : "removed ") << remove.size()
        << " of " << objects.size() << " objects (" << bytes << " bytes)\n";
    return EXIT_OK;
}

}  // namespace

bool ReadDuration(const std::string& text, std::int64_t& seconds) {
    if (text.size() < 2) {
        return false;
    }
    const std::string units = "smhd";
    const std::int64_t factors[] = {1, 60, 3600, 86400};
    const std::size_t unit = units.find(text.back());
    std::uint64_t number = 0;
    if (unit == std::string::npos ||
        !ReadNumber(text.substr(0, text.size() - 1), 1000000, number) || number == 0) {
        return false;
    }
    seconds = static_cast<std::int64_t>(number) * factors[unit];
    return true;
}

std::vector<std::string> IndexesToKeep(const std::vector<ListedFile>& releases, std::size_t keep,
                                       std::int64_t now, std::int64_t olderThan) {
    const std::map<std::string, std::int64_t> live = LiveTimes(releases);
    std::vector<std::pair<std::int64_t, std::string>> order;
    for (const auto& [copy, time] : live) {
        order.emplace_back(time, copy);
    }
    std::sort(order.begin(), order.end());
    std::vector<std::string> kept;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (order.size() - i <= keep || order[i + 1].first > now - olderThan) {
            kept.push_back(order[i].second);
        }
    }
    std::int64_t published = 0;
    for (const ListedFile& copy : releases) {
        if (!ReadReleaseCopyName(copy.name, published) || live.count(copy.name) != 0) {
            continue;
        }
        const bool replaced = std::any_of(order.begin(), order.end(), [&](const auto& next) {
            return next.first > copy.modified && next.first <= now - olderThan;
        });
        if (!replaced) {
            kept.push_back(copy.name);
        }
    }
    std::sort(kept.begin(), kept.end());
    return kept;
}

std::vector<ListedFile> ObjectsToRemove(const std::vector<ListedFile>& objects,
                                        const std::set<std::string>& named, std::int64_t now,
                                        std::int64_t olderThan) {
    std::vector<ListedFile> remove;
    for (const ListedFile& object : objects) {
        if (named.count(object.name) == 0 && object.modified < now - olderThan) {
            remove.push_back(object);
        }
    }
    return remove;
}

bool SameListing(const std::vector<ListedFile>& a, const std::vector<ListedFile>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const ListedFile& x, const ListedFile& y) {
                          return x.name == y.name && x.size == y.size && x.md5 == y.md5 &&
                                 x.modified == y.modified;
                      });
}

int RunGc(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Arguments parsed;
    if (const std::optional<int> exit = ReadCommandLine(
            args, {"gc", GC_USAGE, {"--keep", "--older-than"}, {"--dry-run"}, 1, "one DEST"},
            parsed, out, err)) {
        return *exit;
    }
    std::uint64_t keep = 0;
    std::int64_t olderThan = 0;
    for (const auto& [name, value] : parsed.options) {
        if (name == "--keep" && (!ReadNumber(value, 1000000, keep) || keep == 0)) {
            return UsageError(err, "gc", "--keep takes a number of indexes, at least 1");
        }
        if (name == "--older-than" && !ReadDuration(value, olderThan)) {
            return UsageError(err, "gc", "--older-than takes a DURATION such as 7d, 12h or 90m");
        }
    }
    if (keep == 0 || olderThan == 0) {
        return UsageError(err, "gc", "both --keep and --older-than are needed");
    }
    RedactingBuffer outBuffer(out, parsed.positionals[0]);
    RedactingBuffer errBuffer(err, parsed.positionals[0]);
    std::ostream shownOut(&outBuffer);
    std::ostream shownErr(&errBuffer);
    return Collect(parsed.positionals[0], keep, olderThan, HasFlag(parsed, "--dry-run"), shownOut,
                   shownErr);
}

}  // namespace tessaly::pack
