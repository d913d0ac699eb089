// Publishing a built package through rclone: the package is checked, the objects that DEST lacks
// are uploaded, every object the index names is confirmed, a copy of the index is kept under
// releases/, and only then does the index go live.
#include "pack/publish_command.h"
#include "pack/published_layout.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <thread>

#include "format/content_address.h"
#include "format/index_signature.h"
#include "format/index_text.h"
#include "pack/command.h"
#include "pack/index_check.h"
#include "pack/index_writer.h"
#include "pack/rclone.h"

namespace tessaly::pack {

namespace fs = std::filesystem;

const char PUBLISH_USAGE[] =
    "usage: tessaly-pack publish PACKAGE DEST [--dry-run]\n"
    "\n"
    "Publishes PACKAGE (the OUT_DIR of tessaly-pack build) to DEST, an rclone remote path\n"
    "(remote:bucket/prefix) or a local folder, so that DEST/AppData/ is the package base:\n"
    "  1. checks PACKAGE/AppData/FileList.txt as tessaly-pack check does (check --signed for a\n"
    "     signed index) and every object's content against its name; a finding stops here;\n"
    "  2. uploads every object that DEST lacks, with Cache-Control: public, max-age=31536000,\n"
    "     immutable, never writing over one: an object of that name with other bytes stops the\n"
    "     publish;\n"
    "  3. keeps a copy of the index as AppData/releases/<UTC time>-FileList.txt (for gc);\n"
    "  4. confirms that every object the index names is at DEST with its size and MD5;\n"
    "  5. uploads AppData/FileList.txt last, with Cache-Control: no-cache (where rclone writes\n"
    "     in place, as in a folder, under a temporary name, then moved into place), and marks\n"
    "     the copy as gone live.\n"
    "A failure at any step leaves the index that was live before, and everything it names, in\n"
    "place; running the same command again completes the publish and uploads only what is\n"
    "missing. rclone does the transfers, with its own configuration and credentials\n"
    "(rclone config, or RCLONE_CONFIG_* variables); AWS_CA_BUNDLE is left out of its\n"
    "environment, which rclone 1.60's S3 client cannot take.\n"
    "\n"
    "  --dry-run  print the plan: what would be uploaded and what is there already\n"
    "\n"
    "Shows the objects and bytes uploaded so far on a terminal.\n"
    "Exit status: 0 published (or nothing to do), 1 refused or failed, 2 bad usage.\n";

namespace {

constexpr int TRANSFER_TIMEOUT_SECONDS = 6 * 3600;
constexpr int INDEX_TIMEOUT_SECONDS = 600;

// A local object: its size and digests, read in one pass.
struct LocalObject {
    std::string name;
    std::uint64_t size = 0;
    std::string md5;
};

bool DigestObject(const fs::path& file, const std::string& name, LocalObject& object,
                  std::string& error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = file.string() + ": missing from the package";
        return false;
    }
    EVP_MD_CTX* sha = EVP_MD_CTX_new();
    EVP_MD_CTX* md5 = EVP_MD_CTX_new();
    EVP_DigestInit_ex(sha, EVP_sha256(), nullptr);
    EVP_DigestInit_ex(md5, EVP_md5(), nullptr);
    object = LocalObject{name, 0, {}};
    char chunk[1 << 16];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        EVP_DigestUpdate(sha, chunk, static_cast<std::size_t>(in.gcount()));
        EVP_DigestUpdate(md5, chunk, static_cast<std::size_t>(in.gcount()));
        object.size += static_cast<std::uint64_t>(in.gcount());
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_DigestFinal_ex(sha, digest, &size);
    const std::string sha256 = HexText(digest, size);
    EVP_DigestFinal_ex(md5, digest, &size);
    object.md5 = HexText(digest, size);
    EVP_MD_CTX_free(sha);
    EVP_MD_CTX_free(md5);
    if (in.bad()) {
        error = file.string() + ": cannot be read";
        return false;
    }
    if (sha256 != name) {
        error = file.string() + ": its content does not match its name (its SHA-256 is " + sha256 +
                "); build the package again";
        return false;
    }
    return true;
}

// rclone's JSON as it prints it, indented one field a line, without the layout: "key":value.
std::string CompactJson(const std::string& text) {
    std::string json;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\n' && c != '\t' && !(c == ' ' && i > 0 && text[i - 1] == ':')) {
            json += c;
        }
    }
    return json;
}

std::string Megabytes(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

class Publisher {
  public:
    Publisher(const fs::path& package, const std::string& dest, bool dryRun, std::ostream& out,
              std::ostream& err)
        : local_(IsLocalDest(dest)),
          appData_(package / PACKAGE_FOLDER),
          remoteAppData_(JoinRemote(dest, std::string(PACKAGE_FOLDER))),
          dryRun_(dryRun),
          out_(out),
          err_(err) {}

    int Run() {
        if (local_) {
            out_ << "note: " << remoteAppData_
                 << " is a local folder (an rclone remote is written remote:bucket/prefix)\n";
        }
        if (!CheckPackage() || !PlanObjects()) {
            return EXIT_FINDING;
        }
        if (dryRun_) {
            PrintPlan();
            return EXIT_OK;
        }
        if (!UploadObjects() || !CopyIndex() || !ConfirmObjects() || !PublishIndex()) {
            err_ << "tessaly-pack publish: not published; the index that was live at "
                 << remoteAppData_ << " stays live. Run the same command again to complete it.\n";
            return EXIT_FINDING;
        }
        return EXIT_OK;
    }

  private:
    bool Fail(const std::string& message) {
        err_ << "tessaly-pack publish: " << message << '\n';
        return false;
    }

    bool CheckPackage() {
        const fs::path indexFile = appData_ / INDEX_NAME;
        if (!ReadWholeFile(indexFile, index_)) {
            return Fail(indexFile.string() +
                        ": cannot be read; PACKAGE is the OUT_DIR of tessaly-pack build: build it "
                        "first");
        }
        // A signed index is checked as check --signed does, expiry included: an index with an
        // expired line must not replace one that installs with every key.
        CheckOptions options;
        options.keyed =
            HasSignatureLine(reinterpret_cast<const unsigned char*>(index_.data()), index_.size());
        options.now = static_cast<std::uint64_t>(std::time(nullptr));
        const std::vector<Finding> findings = CheckFileList(index_, options);
        for (const Finding& finding : findings) {
            err_ << FormatFinding(indexFile.string(), finding) << '\n';
        }
        if (!findings.empty()) {
            return Fail(std::string("the index fails tessaly-pack check") +
                        (options.keyed ? " --signed" : "") + "; nothing uploaded");
        }
        std::vector<std::string> names;
        std::string error;
        if (!ObjectNames(index_, names, error)) {
            return Fail(indexFile.string() + ":" + error);
        }
        for (const std::string& name : names) {
            LocalObject object;
            if (!DigestObject(appData_ / OBJECT_FOLDER / name, name, object, error)) {
                return Fail(error + "; nothing uploaded");
            }
            objects_.push_back(object);
        }
        return true;
    }

    // The objects DEST holds, by name.
    bool ListObjects(std::map<std::string, ListedFile>& present) {
        std::vector<ListedFile> listed;
        std::string error;
        if (!ListFolder(JoinRemote(remoteAppData_, OBJECT_FOLDER), false, listed, error)) {
            return Fail(error);
        }
        for (const ListedFile& file : listed) {
            present[file.name] = file;
        }
        return true;
    }

    // Sorts the objects into those DEST holds already and those to upload; one of the right name
    // but other bytes stops everything here, before any upload.
    bool PlanObjects() {
        std::map<std::string, ListedFile> present;
        if (!ListObjects(present)) {
            return false;
        }
        if (present.empty()) {
            out_ << "note: " << remoteAppData_
                 << " holds no package yet: a first publish, or a typo in DEST\n";
        }
        bool conflict = false;
        for (const LocalObject& object : objects_) {
            const auto found = present.find(object.name);
            if (found == present.end()) {
                toUpload_.push_back(object);
                uploadBytes_ += object.size;
                continue;
            }
            if (found->second.size != object.size ||
                (!found->second.md5.empty() && found->second.md5 != object.md5)) {
                // Bytes other than the package's cannot have the SHA-256 the name says: the
                // object is damaged, typically cut short where a store keeps partial writes.
                const std::string where =
                    JoinRemote(JoinRemote(remoteAppData_, OBJECT_FOLDER), object.name);
                Fail(where + ": already there with other bytes (" +
                     std::to_string(found->second.size) + " bytes, MD5 " + found->second.md5 +
                     ", where the package has " + std::to_string(object.size) +
                     " bytes), which cannot have the SHA-256 of its name; objects are never "
                     "overwritten. Look into it, remove it (rclone deletefile " +
                     where + ") and publish again");
                conflict = true;
            }
            presentBytes_ += object.size;
        }
        if (conflict) {
            return Fail("stopped before uploading anything; the live index is untouched");
        }
        return true;
    }

    void PrintPlan() const {
        for (const LocalObject& object : toUpload_) {
            out_ << "upload " << OBJECT_FOLDER << "/" << object.name << " (" << object.size
                 << " bytes)\n";
        }
        out_ << "plan: " << Count(toUpload_.size(), "object", "objects") << " to upload ("
             << uploadBytes_ << " bytes), "
             << Count(objects_.size() - toUpload_.size(), "object", "objects") << " already at "
             << remoteAppData_ << " (" << presentBytes_ << " bytes); then " << RELEASES_FOLDER
             << "/" << ReleaseCopyName(std::time(nullptr)) << ", then " << INDEX_NAME << " last\n";
    }

    bool UploadObjects() {
        if (toUpload_.empty()) {
            out_ << "objects: all " << objects_.size() << " already at " << remoteAppData_ << "\n";
            return true;
        }
        std::vector<std::string> names;
        for (const LocalObject& object : toUpload_) {
            names.push_back(object.name);
        }
        const NameListFile list(names);
        if (!list.ok()) {
            return Fail("cannot write the list of objects to upload to a temporary file");
        }
        const bool terminal = isatty(STDOUT_FILENO) != 0;
        const auto progress = [&](const TransferStats& stats) {
            out_ << "\ruploading: " << stats.transfers << "/" << toUpload_.size() << " objects, "
                 << Megabytes(stats.bytes) << " of " << Megabytes(uploadBytes_) << "\033[K"
                 << std::flush;
        };
        std::vector<std::string> options = {"copy",
                                            "--files-from-raw",
                                            list.path(),
                                            "--no-traverse",
                                            "--immutable",
                                            "--no-update-modtime",
                                            "--header-upload",
                                            std::string("Cache-Control: ") + OBJECT_CACHE_CONTROL,
                                            "--header-upload",
                                            "Content-Type: application/octet-stream"};
        options.insert(options.end(), UPLOAD_TIME_OPTIONS.begin(), UPLOAD_TIME_OPTIONS.end());
        const RcloneRun run = RunRclone(
            options,
            {(appData_ / OBJECT_FOLDER).string(), JoinRemote(remoteAppData_, OBJECT_FOLDER)},
            TRANSFER_TIMEOUT_SECONDS,
            terminal ? std::function<void(const TransferStats&)>(progress) : nullptr);
        if (terminal) {
            out_ << "\r\033[K";
        }
        if (run.exitCode != 0) {
            for (const std::string& line : run.errors) {
                err_ << "rclone: " << line << '\n';
            }
            return Fail("uploading the objects failed: " + RcloneFailure(run));
        }
        out_ << "objects: uploaded " << Count(toUpload_.size(), "object", "objects") << " ("
             << uploadBytes_ << " bytes); " << objects_.size() - toUpload_.size()
             << " already there (" << presentBytes_ << " bytes)\n";
        return true;
    }

    bool ConfirmObjects() {
        std::map<std::string, ListedFile> present;
        if (!ListObjects(present)) {
            return false;
        }
        bool complete = true;
        for (const LocalObject& object : objects_) {
            const auto found = present.find(object.name);
            const std::string where = JoinRemote(remoteAppData_, OBJECT_FOLDER) + "/" + object.name;
            if (found == present.end()) {
                complete = Fail(where + ": missing after the upload");
            } else if (found->second.size != object.size) {
                complete = Fail(where + ": " + std::to_string(found->second.size) +
                                " bytes at DEST, " + std::to_string(object.size) + " here");
            } else if (found->second.md5.empty() ? !ConfirmByContent(where, object)
                                                 : found->second.md5 != object.md5) {
                complete = Fail(where + ": its bytes at DEST differ from the package's");
            }
        }
        if (complete) {
            out_ << "confirmed: " << Count(objects_.size(), "object", "objects")
                 << " at DEST with their sizes and hashes\n";
        }
        return complete;
    }

    // For storage that keeps no MD5: the object read back must have the SHA-256 of its name.
    bool ConfirmByContent(const std::string& where, const LocalObject& object) {
        const RcloneRun run = RunRclone({"cat"}, {where}, TRANSFER_TIMEOUT_SECONDS);
        if (run.exitCode != 0) {
            return false;
        }
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned size = 0;
        EVP_Digest(run.output.data(), run.output.size(), digest, &size, EVP_sha256(), nullptr);
        return HexText(digest, size) == object.name;
    }

    // The copy under releases/ goes up before the objects are confirmed and the index goes live:
    // gc then knows every index that may be live before it is (a copy whose index never went
    // live only keeps more objects). The copy of the last index that went live is kept when it
    // holds these bytes.
    bool CopyIndex() {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned size = 0;
        EVP_Digest(index_.data(), index_.size(), digest, &size, EVP_md5(), nullptr);
        md5_ = HexText(digest, size);
        std::vector<ListedFile> releases;
        std::string error;
        if (!ListFolder(JoinRemote(remoteAppData_, RELEASES_FOLDER), true, releases, error)) {
            return Fail(error);
        }
        copyName_ = ReusableCopy(releases, index_.size(), md5_);
        copyKept_ = !copyName_.empty();
        if (!copyKept_) {
            copyName_ = NewCopyName(releases);
            return UploadIndex(JoinRemote(JoinRemote(remoteAppData_, RELEASES_FOLDER), copyName_));
        }
        return true;
    }

    // The index goes live unless it is live already: the same bytes and, on a DEST that keeps
    // headers, Cache-Control: no-cache (an index uploaded by hand lacks it, and a CDN would keep
    // it). Then the copy's marker tells gc when.
    bool PublishIndex() {
        const std::string target = JoinRemote(remoteAppData_, INDEX_NAME);
        const RcloneRun stat = RunRclone({"lsjson", "--stat", "--metadata", "--hash"}, {target},
                                         INDEX_TIMEOUT_SECONDS);
        const std::string json = CompactJson(stat.output);
        const bool keepsHeaders = json.find("\"content-type\"") != std::string::npos;
        const bool isLive =
            stat.exitCode == 0 &&
            json.find("\"Size\":" + std::to_string(index_.size()) + ",") != std::string::npos &&
            json.find("\"md5\":\"" + md5_ + "\"") != std::string::npos &&
            (!keepsHeaders || json.find(std::string("\"cache-control\":\"") + INDEX_CACHE_CONTROL +
                                        "\"") != std::string::npos);
        if (!isLive && !UploadLiveIndex(target)) {
            return false;
        }
        const std::string marker =
            JoinRemote(JoinRemote(remoteAppData_, RELEASES_FOLDER), LiveMarkerName(copyName_));
        if (!(isLive && copyKept_)) {
            const RcloneRun run = RunRclone({"touch"}, {marker}, INDEX_TIMEOUT_SECONDS);
            if (run.exitCode != 0) {
                return Fail("the index is live, but writing " + marker +
                            " failed: " + RcloneFailure(run) +
                            " (until it is there, gc keeps the objects of older indexes longer)");
            }
        }
        out_ << "index: " << RELEASES_FOLDER << "/" << copyName_ << (copyKept_ ? " (kept)" : "")
             << ", then " << target << (isLive ? " (live already)" : " (live now)") << '\n';
        return true;
    }

    // Where rclone writes a file in place (a folder, SFTP, WebDAV: any backend that is not an
    // object store, which stores an upload whole), the index goes up under a temporary name and
    // is then moved into place, so that no installer reads half of it.
    bool UploadLiveIndex(const std::string& target) {
        const RcloneRun features =
            RunRclone({"backend", "features"}, {remoteAppData_}, INDEX_TIMEOUT_SECONDS);
        const std::string json = CompactJson(features.output);
        const bool inPlace = features.exitCode == 0
                                 ? json.find("\"BucketBased\":false") != std::string::npos &&
                                       json.find("\"Move\":true") != std::string::npos
                                 : local_;
        if (!inPlace) {
            return UploadIndex(target);
        }
        const std::string partial =
            JoinRemote(remoteAppData_, std::string(".") + INDEX_NAME + ".partial");
        if (!UploadIndex(partial)) {
            return false;
        }
        const RcloneRun run = RunRclone({"moveto"}, {partial, target}, INDEX_TIMEOUT_SECONDS);
        if (run.exitCode != 0) {
            return Fail("moving " + partial + " to " + target + " failed: " + RcloneFailure(run));
        }
        return true;
    }

    // A name no other copy has: two publishes within one second wait for the next.
    static std::string NewCopyName(const std::vector<ListedFile>& copies) {
        for (;;) {
            const std::string name = ReleaseCopyName(static_cast<std::int64_t>(std::time(nullptr)));
            if (std::none_of(copies.begin(), copies.end(),
                             [&](const ListedFile& copy) { return copy.name == name; })) {
                return name;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }

    bool UploadIndex(const std::string& target) {
        // --ignore-times: a changed index of the same size is written, never skipped.
        std::vector<std::string> options = {
            "copyto",          "--ignore-times",
            "--header-upload", std::string("Cache-Control: ") + INDEX_CACHE_CONTROL,
            "--header-upload", "Content-Type: text/plain"};
        options.insert(options.end(), UPLOAD_TIME_OPTIONS.begin(), UPLOAD_TIME_OPTIONS.end());
        const RcloneRun run =
            RunRclone(options, {(appData_ / INDEX_NAME).string(), target}, INDEX_TIMEOUT_SECONDS);
        if (run.exitCode != 0) {
            return Fail("uploading " + target + " failed: " + RcloneFailure(run));
        }
        return true;
    }

    const bool local_;
    const fs::path appData_;
    const std::string remoteAppData_;
    const bool dryRun_;
    std::ostream& out_;
    std::ostream& err_;
    std::string index_;
    std::vector<LocalObject> objects_;
    std::vector<LocalObject> toUpload_;
    std::uint64_t uploadBytes_ = 0;
    std::uint64_t presentBytes_ = 0;
    std::string md5_;
    std::string copyName_;
    bool copyKept_ = false;
};

}  // namespace

int RunPublish(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Arguments parsed;
    if (const std::optional<int> exit = ReadCommandLine(
            args, {"publish", PUBLISH_USAGE, {}, {"--dry-run"}, 2, "PACKAGE and DEST"}, parsed, out,
            err)) {
        return *exit;
    }
    const fs::path package = parsed.positionals[0];
    const std::string& dest = parsed.positionals[1];
    RedactingBuffer outBuffer(out, dest);
    RedactingBuffer errBuffer(err, dest);
    std::ostream shownOut(&outBuffer);
    std::ostream shownErr(&errBuffer);
    if (!fs::is_directory(package / PACKAGE_FOLDER)) {
        shownErr << "tessaly-pack publish: " << package.string() << " holds no built package (no "
                 << PACKAGE_FOLDER << "/ folder); build it first: tessaly-pack build STAGING "
                 << package.string() << '\n';
        return EXIT_FINDING;
    }
    return Publisher(package, dest, HasFlag(parsed, "--dry-run"), shownOut, shownErr).Run();
}

}  // namespace tessaly::pack
