// Child processes of the test drivers: started with an exact argument vector and environment,
// stdout (and, when asked, stderr) captured to files, waited for with a time-out and killed by
// process id. Every Wine program, Xvfb and command-line tool that the harness starts goes through
// here.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace tessaly::test {

// This process's environment as NAME=value entries.
std::vector<std::string> CurrentEnvironment();

// How a finished (or abandoned) command ended.
struct CommandResult {
    bool finished = false;  // false: the time-out passed and the process was killed
    int exitCode = -1;      // exit status, or 128 + signal number
    std::string output;     // everything written to stdout
    std::chrono::milliseconds elapsed{0};
};

// A running child process in a process group of its own. The destructor kills the group if the
// process still runs, and reaps it. The child is also killed when the thread that started it
// ends (PR_SET_PDEATHSIG), so that nothing outlives a crashed test program: start children from
// the test's own thread, not from a short-lived helper thread.
class ChildProcess {
  public:
    // Starts `argv[0]` (looked up in PATH) with exactly `env`; stdout goes to `outputPath` and
    // stderr to `errorPath` (nothing kept when empty). Throws std::runtime_error when the program
    // cannot be started.
    ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                 const std::string& outputPath, const std::string& errorPath = "");
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid_; }
    // True once the process ended within `timeout` (it is then reaped and ExitCode is valid).
    bool Wait(std::chrono::milliseconds timeout);
    bool Running();
    // SIGKILL to the process group, then reaps the process.
    void Kill();
    // SIGTERM, so that the program can clean up; after `grace` without an end, Kill.
    void Terminate(std::chrono::milliseconds grace);
    int ExitCode() const { return exitCode_; }
    // What the process wrote to stdout so far.
    std::string Output() const;
    // What it wrote to stderr so far.
    std::string ErrorOutput() const;
    std::chrono::milliseconds Elapsed() const;
    // User and system time of the process and all its threads so far, in seconds (as /proc counts
    // it, in clock ticks); -1 once it has been reaped.
    double CpuSeconds() const;

  private:
    bool Reap(bool block);

    pid_t pid_ = -1;
    bool reaped_ = false;
    int exitCode_ = -1;
    std::string outputPath_;
    std::string errorPath_;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point ended_;
};

// Runs a command to its end or until `timeout`, whichever comes first (then it is killed).
CommandResult RunCommand(const std::vector<std::string>& argv,
                         std::chrono::milliseconds timeout = std::chrono::seconds(60),
                         const std::vector<std::string>& env = CurrentEnvironment());

}  // namespace tessaly::test
