// Child processes: fork and exec with an exact environment, stdout and stderr to files, wait with a
// time-out, kill the whole process group.
#include "support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/files.h"

extern char** environ;

namespace tessaly::test {
namespace {

std::vector<char*> PointersTo(const std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (const std::string& text : texts) {
        pointers.push_back(const_cast<char*>(text.c_str()));
    }
    pointers.push_back(nullptr);
    return pointers;
}

// `program` itself when it names a path, else the first executable of that name in the PATH of
// `env` (the child's environment, not ours).
std::string ResolveProgram(const std::string& program, const std::vector<std::string>& env) {
    if (program.find('/') != std::string::npos) {
        return program;
    }
    std::string path = "/usr/local/bin:/usr/bin:/bin";
    for (const std::string& entry : env) {
        if (entry.rfind("PATH=", 0) == 0) {
            path = entry.substr(5);
        }
    }
    std::istringstream dirs(path);
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    throw std::runtime_error("program not found in PATH: " + program);
}

// The child's side of the fork: only async-signal-safe calls from here on.
[[noreturn]] void BecomeProgram(const char* file, char* const* argv, char* const* env,
                                const char* outputPath, const char* errorPath, pid_t parent) {
    setpgid(0, 0);
    // Dies with the test program, whatever ends it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) {
        _exit(127);
    }
    const int devNull = open("/dev/null", O_RDWR);
    const int out =
        outputPath[0] != '\0' ? open(outputPath, O_WRONLY | O_CREAT | O_TRUNC, 0644) : devNull;
    const int error =
        errorPath[0] != '\0' ? open(errorPath, O_WRONLY | O_CREAT | O_TRUNC, 0644) : devNull;
    dup2(devNull, STDIN_FILENO);
    dup2(out < 0 ? devNull : out, STDOUT_FILENO);
    dup2(error < 0 ? devNull : error, STDERR_FILENO);
    // No listening socket of the test program may live on in a Wine process that outlasts it.
    close_range(3, ~0U, 0);
    execve(file, argv, env);
    _exit(127);
}

int ExitCodeOf(int status) {
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return -1;
}

}  // namespace

std::vector<std::string> CurrentEnvironment() {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        env.emplace_back(*entry);
    }
    return env;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& env, const std::string& outputPath,
                           const std::string& errorPath)
    : outputPath_(outputPath), errorPath_(errorPath) {
    if (argv.empty()) {
        throw std::runtime_error("ChildProcess: no program");
    }
    const std::string file = ResolveProgram(argv[0], env);
    std::vector<char*> args = PointersTo(argv);
    std::vector<char*> envp = PointersTo(env);
    const pid_t parent = getpid();
    started_ = std::chrono::steady_clock::now();
    pid_ = fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork: " + std::string(std::strerror(errno)));
    }
    if (pid_ == 0) {
        BecomeProgram(file.c_str(), args.data(), envp.data(), outputPath_.c_str(),
                      errorPath_.c_str(), parent);
    }
    // Also from the parent's side, so that killing the group cannot race the child's setpgid.
    setpgid(pid_, pid_);
}

ChildProcess::~ChildProcess() {
    if (!reaped_) {
        Kill();
    }
}

bool ChildProcess::Reap(bool block) {
    if (reaped_) {
        return true;
    }
    int status = 0;
    pid_t result;
    do {
        result = waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == pid_) {
        reaped_ = true;
        exitCode_ = ExitCodeOf(status);
        ended_ = std::chrono::steady_clock::now();
    } else if (result < 0) {
        // Not our child any more (reaped elsewhere): nothing to wait for.
        reaped_ = true;
        ended_ = std::chrono::steady_clock::now();
    }
    return reaped_;
}

bool ChildProcess::Wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!Reap(false)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool ChildProcess::Running() {
    return !Reap(false);
}

void ChildProcess::Kill() {
    if (reaped_) {
        return;
    }
    kill(-pid_, SIGKILL);
    kill(pid_, SIGKILL);
    Reap(true);
}

void ChildProcess::Terminate(std::chrono::milliseconds grace) {
    if (reaped_) {
        return;
    }
    kill(pid_, SIGTERM);
    if (!Wait(grace)) {
        Kill();
    }
}

std::string ChildProcess::Output() const {
    return outputPath_.empty() ? std::string() : ReadWholeFile(outputPath_);
}

std::string ChildProcess::ErrorOutput() const {
    return errorPath_.empty() ? std::string() : ReadWholeFile(errorPath_);
}

std::chrono::milliseconds ChildProcess::Elapsed() const {
    const auto end = reaped_ ? ended_ : std::chrono::steady_clock::now();
    return std::chrono::duration_cast<std::chrono::milliseconds>(end - started_);
}

double ChildProcess::CpuSeconds() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
    std::string stat;
    std::getline(in, stat);
    // utime and stime are fields 14 and 15, counted after the parenthesised command name, which may
    // itself hold spaces and parentheses.
    const std::size_t nameEnd = stat.rfind(')');
    if (reaped_ || nameEnd == std::string::npos) {
        return -1;
    }
    std::istringstream fields(stat.substr(nameEnd + 1));
    std::string skipped;
    for (int field = 3; field < 14; ++field) {
        fields >> skipped;
    }
    long long user = -1;
    long long system = -1;
    fields >> user >> system;
    if (user < 0 || system < 0) {
        return -1;
    }
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

CommandResult RunCommand(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                         const std::vector<std::string>& env) {
    char outputPath[] = "/tmp/tessaly-command.XXXXXX";
    const int fd = mkstemp(outputPath);
    if (fd < 0) {
        throw std::runtime_error("mkstemp: " + std::string(std::strerror(errno)));
    }
    close(fd);
    struct RemoveFile {
        const char* path;
        ~RemoveFile() { std::remove(path); }
    } removeOutput{outputPath};
    CommandResult result;
    {
        ChildProcess child(argv, env, outputPath);
        result.finished = child.Wait(timeout);
        if (!result.finished) {
            child.Kill();
        }
        result.exitCode = child.ExitCode();
        result.output = child.Output();
        result.elapsed = child.Elapsed();
    }
    return result;
}

}  // namespace tessaly::test
