// rclone as a child process: fork and exec with pipes for its output and its JSON log, a bounded
// wait, and the reading of its listings and progress reports.
#include "pack/rclone.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sstream>

extern char** environ;

namespace tessaly::pack {

namespace {

// The value of `"key":` in a JSON log line, searched from `from`: a number, or a string without
// its quotes (escapes kept as they are, which is enough for messages shown to a person).
std::string JsonField(const std::string& line, const std::string& key, std::size_t from = 0) {
    const std::string marker = "\"" + key + "\":";
    const std::size_t at = line.find(marker, from);
    if (at == std::string::npos) {
        return {};
    }
    std::size_t start = at + marker.size();
    if (start < line.size() && line[start] == '"') {
        std::size_t end = ++start;
        while (end < line.size() && line[end] != '"') {
            end += line[end] == '\\' ? 2 : 1;
        }
        return line.substr(start, end - start);
    }
    const std::size_t end = line.find_first_of(",}", start);
    return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::uint64_t JsonNumber(const std::string& line, const std::string& key, std::size_t from) {
    const std::string text = JsonField(line, key, from);
    return text.empty() || text.find_first_not_of("0123456789") != std::string::npos
               ? 0
               : std::stoull(text);
}

// One line of rclone's JSON log: progress goes to `onStats`, errors are kept.
void ReadLogLine(const std::string& line, RcloneRun& run,
                 const std::function<void(const TransferStats&)>& onStats) {
    if (line.empty() || line[0] != '{') {
        run.errors.push_back(line);
        return;
    }
    const std::size_t stats = line.find("\"stats\":{");
    if (stats != std::string::npos) {
        if (onStats) {
            // "bytes" comes first among the totals and "transfers" last, after the list of the
            // files in flight, whose entries hold a "bytes" of their own.
            TransferStats report;
            report.bytes = JsonNumber(line, "bytes", stats);
            report.totalBytes = JsonNumber(line, "totalBytes", stats);
            report.totalTransfers = JsonNumber(line, "totalTransfers", stats);
            const std::size_t last = line.rfind("\"transfers\":");
            report.transfers = last == std::string::npos ? 0 : JsonNumber(line, "transfers", last);
            onStats(report);
        }
        return;
    }
    const std::string level = JsonField(line, "level");
    if (level == "error" || level == "critical" || level == "fatal") {
        std::string message = JsonField(line, "msg");
        const std::string object = JsonField(line, "object");
        run.errors.push_back(object.empty() ? message : object + ": " + message);
    }
}

std::vector<std::string> ChildEnvironment() {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (text.rfind("AWS_CA_BUNDLE=", 0) != 0 && text.rfind("TZ=", 0) != 0) {
            env.push_back(text);
        }
    }
    env.push_back("TZ=UTC");
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// The lsf options whose output ReadListing reads: time, size, MD5 and name, tab-separated.
std::vector<std::string> ListingArguments() {
    return {"--files-only", "--format", "tshp", "--hash", "MD5", "--separator", "\t"};
}

// Reads that output; lines that do not read are left out.
std::vector<ListedFile> ReadListing(const std::string& output) {
    std::vector<ListedFile> files;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        // time, size, MD5, then the name, which may hold anything but a line break.
        const std::size_t a = line.find('\t');
        const std::size_t b = a == std::string::npos ? a : line.find('\t', a + 1);
        const std::size_t c = b == std::string::npos ? b : line.find('\t', b + 1);
        if (c == std::string::npos) {
            continue;
        }
        std::tm time{};
        const std::string size = line.substr(a + 1, b - a - 1);
        if (strptime(line.substr(0, a).c_str(), "%Y-%m-%d %H:%M:%S", &time) == nullptr ||
            size.empty() || size.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        files.push_back(
            {line.substr(c + 1), std::stoull(size), line.substr(b + 1, c - b - 1), timegm(&time)});
    }
    return files;
}

}  // namespace

const std::vector<std::string> UPLOAD_TIME_OPTIONS = {"--local-no-set-modtime",
                                                      "--sftp-set-modtime=false"};

RcloneRun RunRclone(const std::vector<std::string>& args, const std::vector<std::string>& paths,
                    int timeoutSeconds, const std::function<void(const TransferStats&)>& onStats) {
    RcloneRun run;
    std::vector<std::string> argv = {"rclone", "--use-json-log"};
    if (onStats) {
        argv.insert(argv.end(), {"--stats", "500ms", "--stats-log-level", "NOTICE"});
    }
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back("--");
    argv.insert(argv.end(), paths.begin(), paths.end());
    std::vector<std::string> env = ChildEnvironment();
    std::vector<char*> argPointers = Pointers(argv);
    std::vector<char*> envPointers = Pointers(env);

    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        run.errors.push_back(std::string("pipe: ") + std::strerror(errno));
        return run;
    }
    if (pipe2(err, O_CLOEXEC) != 0) {
        run.errors.push_back(std::string("pipe: ") + std::strerror(errno));
        close(out[0]);
        close(out[1]);
        return run;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        const int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, STDIN_FILENO);
        execvpe("rclone", argPointers.data(), envPointers.data());
        const std::string message = "{\"level\":\"error\",\"msg\":\"cannot run rclone: " +
                                    std::string(std::strerror(errno)) + "\"}\n";
        (void)!write(STDERR_FILENO, message.data(), message.size());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        run.errors.push_back(std::string("fork: ") + std::strerror(errno));
        close(out[0]);
        close(err[0]);
        return run;
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    std::string pending;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    bool timedOut = false;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        if (poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            break;
        }
        for (pollfd& fd : fds) {
            if (fd.fd < 0 || (fd.revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            char chunk[65536];
            const ssize_t count = read(fd.fd, chunk, sizeof chunk);
            if (count <= 0) {
                close(fd.fd);
                fd.fd = -1;
                --open;
                continue;
            }
            if (fd.fd == out[0]) {
                run.output.append(chunk, static_cast<std::size_t>(count));
                continue;
            }
            pending.append(chunk, static_cast<std::size_t>(count));
            std::size_t end;
            while ((end = pending.find('\n')) != std::string::npos) {
                ReadLogLine(pending.substr(0, end), run, onStats);
                pending.erase(0, end + 1);
            }
        }
    }
    for (const pollfd& fd : fds) {
        if (fd.fd >= 0) {
            close(fd.fd);
        }
    }
    if (timedOut) {
        kill(pid, SIGKILL);
        run.errors.push_back("rclone did not finish within " + std::to_string(timeoutSeconds) +
                             " s and was stopped");
    }
    if (!pending.empty()) {
        ReadLogLine(pending, run, onStats);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.exitCode = timedOut ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

bool ListFolder(const std::string& folder, bool serverTimes, std::vector<ListedFile>& files,
                std::string& error) {
    std::vector<std::string> args = {"lsf"};
    const std::vector<std::string> listing = ListingArguments();
    args.insert(args.end(), listing.begin(), listing.end());
    if (serverTimes) {
        args.push_back("--use-server-modtime");
    }
    const RcloneRun run = RunRclone(args, {folder}, 600);
    if (run.exitCode == 3) {  // directory not found
        files.clear();
        return true;
    }
    if (run.exitCode != 0) {
        error = "cannot list " + folder + ": " + RcloneFailure(run);
        return false;
    }
    files = ReadListing(run.output);
    return true;
}

std::string JoinRemote(const std::string& base, const std::string& name) {
    if (base.empty() || base.back() == ':' || base.back() == '/') {
        return base + name;
    }
    return base + "/" + name;
}

NameListFile::NameListFile(const std::vector<std::string>& names) {
    std::string pattern = "/tmp/tessaly-pack-names-XXXXXX";
    if (const char* tmp = std::getenv("TMPDIR")) {
        pattern = std::string(tmp) + "/tessaly-pack-names-XXXXXX";
    }
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
        return;
    }
    path_ = pattern;
    std::string text;
    for (const std::string& name : names) {
        text += name + "\n";
    }
    ok_ = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
}

NameListFile::~NameListFile() {
    if (!path_.empty()) {
        unlink(path_.c_str());
    }
}

std::string RcloneFailure(const RcloneRun& run) {
    if (run.errors.empty()) {
        return "rclone ended with exit status " + std::to_string(run.exitCode);
    }
    // rclone: Failed to create file system for "REMOTE:path": didn't find section in config file
    const std::string& first = run.errors.front();
    const std::size_t quote = first.find("for \"");
    if (first.find("didn't find section in config file") != std::string::npos &&
        quote != std::string::npos) {
        const std::string dest = first.substr(quote + 5);
        return "rclone has no remote named \"" + dest.substr(0, dest.find_first_of(",:")) +
               "\" (rclone listremotes lists those it has, rclone config adds one)";
    }
    return first;
}

namespace {

// Where the remote part of a DEST ends (its ":") and where its parameters begin (the first ","
// before that), each npos when there is none. Parameter values may be quoted with ' or ", and
// then hold "," and ":".
struct RemoteParts {
    std::size_t params = std::string::npos;
    std::size_t colon = std::string::npos;
};

RemoteParts ReadRemoteParts(const std::string& dest) {
    RemoteParts parts;
    char quote = 0;
    for (std::size_t i = dest.rfind(':', 0) == 0 ? 1 : 0; i < dest.size(); ++i) {
        const char c = dest[i];
        if (quote != 0) {
            quote = c == quote ? 0 : quote;
        } else if (parts.params != std::string::npos && (c == '"' || c == '\'')) {
            quote = c;
        } else if (c == '/' && parts.params == std::string::npos) {
            break;
        } else if (c == ',' && parts.params == std::string::npos) {
            parts.params = i;
        } else if (c == ':') {
            parts.colon = i;
            break;
        }
    }
    return parts;
}

}  // namespace

bool IsLocalDest(const std::string& dest) {
    return ReadRemoteParts(dest).colon == std::string::npos;
}

std::string ShownDest(const std::string& dest) {
    const RemoteParts parts = ReadRemoteParts(dest);
    if (parts.colon == std::string::npos || parts.params == std::string::npos) {
        return dest;
    }
    return dest.substr(0, parts.params) + dest.substr(parts.colon);
}

RedactingBuffer::RedactingBuffer(std::ostream& target, const std::string& dest) : target_(target) {
    const RemoteParts parts = ReadRemoteParts(dest);
    if (parts.colon != std::string::npos && parts.params != std::string::npos) {
        // As given, and as rclone quotes it in its messages and JSON logs (\" and \\ escaped).
        const std::string given = dest.substr(0, parts.colon);
        std::string quoted;
        for (const char c : given) {
            quoted += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
        }
        secrets_ = {quoted, given};
        shown_ = dest.substr(0, parts.params);
    }
}

RedactingBuffer::~RedactingBuffer() {
    sync();
}

int RedactingBuffer::overflow(int c) {
    if (c == traits_type::eof()) {
        return traits_type::not_eof(c);
    }
    line_ += static_cast<char>(c);
    if (c == '\n' || c == '\r') {
        Flush();
    }
    return c;
}

int RedactingBuffer::sync() {
    Flush();
    target_.flush();
    return 0;
}

void RedactingBuffer::Flush() {
    for (const std::string& secret : secrets_) {
        for (std::size_t at = line_.find(secret); at != std::string::npos;
             at = line_.find(secret, at + shown_.size())) {
            line_.replace(at, secret.size(), shown_);
        }
    }
    target_ << line_;
    line_.clear();
}

}  // namespace tessaly::pack
