// rclone, the transfer engine of publish and gc: run as a child process with an argument vector,
// its listings read, its progress followed. tessaly-pack decides what goes where; rclone moves the
// bytes, with the publisher's own remotes, credentials, retries and multipart uploads.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace tessaly::pack {

// What rclone reports while it copies: bytes and files done, of the totals it knows so far.
struct TransferStats {
    std::uint64_t bytes = 0;
    std::uint64_t totalBytes = 0;
    std::uint64_t transfers = 0;
    std::uint64_t totalTransfers = 0;
};

struct RcloneRun {
    int exitCode = -1;   // -1: not started, or stopped at the time-out; 127: no rclone to run
    std::string output;  // standard output, whole
    std::vector<std::string> errors;  // its error lines, as rclone wrote them
};

// Runs `rclone ARGS... -- PATHS...` (no shell) and waits for it, at most `timeoutSeconds` (then it
// is killed). The "--" keeps a path that begins with "-" from being read as an option. Its logs are
// read as JSON lines: errors are kept, and when `onStats` is given, every progress report rclone
// makes (twice a second) is handed to it. AWS_CA_BUNDLE is removed from rclone's environment only:
// rclone 1.60's S3 client fails every call when it is set. TZ is UTC, so that listed times read as
// UTC.
RcloneRun RunRclone(const std::vector<std::string>& args, const std::vector<std::string>& paths,
                    int timeoutSeconds,
                    const std::function<void(const TransferStats&)>& onStats = {});

// The options every upload is given: on backends that would keep the source file's modification
// time (a local folder, SFTP), the file keeps the time it was written at DEST instead, so that
// every object's age is when it reached DEST.
extern const std::vector<std::string> UPLOAD_TIME_OPTIONS;

// One file of a listing.
struct ListedFile {
    std::string name;
    std::uint64_t size = 0;
    std::string md5;            // lower-case hex; empty when the storage keeps no MD5
    std::int64_t modified = 0;  // UTC seconds
};

// Lists the files directly in `folder`. A folder that does not exist lists empty (local folders
// and buckets that do not exist yet make rclone exit 3). False, with `error` set, on any other
// failure. With `serverTimes`, the times are the storage's own (when each object was written)
// rather than those rclone kept from the source files.
bool ListFolder(const std::string& folder, bool serverTimes, std::vector<ListedFile>& files,
                std::string& error);

// "remote:bucket/prefix" + "AppData" = "remote:bucket/prefix/AppData"; "remote:" + "x" =
// "remote:x".
std::string JoinRemote(const std::string& base, const std::string& name);

// A temporary file naming files one a line, for rclone's --files-from-raw; removed with the object.
class NameListFile {
  public:
    explicit NameListFile(const std::vector<std::string>& names);
    ~NameListFile();
    NameListFile(const NameListFile&) = delete;
    NameListFile& operator=(const NameListFile&) = delete;

    bool ok() const { return ok_; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    bool ok_ = false;
};

// The first error rclone wrote, or its exit status when it wrote none. A remote that rclone does
// not know is named as such, with where to look.
std::string RcloneFailure(const RcloneRun& run);

// True when rclone takes `dest` as a local folder: no "remote:" before the first "/".
bool IsLocalDest(const std::string& dest);

// `dest` as it may be shown: a connection string's parameters ("remote,key=value:path",
// ":backend,key=value:path"), which may hold credentials, removed ("remote:path", ":backend:path").
std::string ShownDest(const std::string& dest);

// An output stream's buffer that writes each line (up to "\n" or "\r") to `target` with every
// occurrence of DEST's connection string replaced by ShownDest's form. publish and gc write all
// their output through it, rclone's passed-on messages included.
class RedactingBuffer : public std::streambuf {
  public:
    RedactingBuffer(std::ostream& target, const std::string& dest);
    ~RedactingBuffer() override;

  protected:
    int overflow(int c) override;
    int sync() override;

  private:
    void Flush();

    std::ostream& target_;
    // The remote part of DEST with its parameters, as given and as rclone quotes it; none when
    // DEST has no parameters.
    std::vector<std::string> secrets_;
    std::string shown_;
    std::string line_;
};

}  // namespace tessaly::pack
