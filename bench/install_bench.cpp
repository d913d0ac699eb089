// Install benchmark: the real installer under Wine against a loopback package server, beside curl
// fetching the same files one connection per file. Spans are taken from the server's own records
// (first request received to last answer finished), so Wine's start-up does not count. The
// contenders run alternately for several rounds on one server and each keeps its best round.
// Prints every figure beside its goal; it asserts nothing.
//
// It also races the keyed installer on the spread package signed, its files stored under their
// SHA-256, against the unkeyed installer on the same package unsigned, and times CNG hashing the
// same bytes once, alone, under Wine (sha256_probe): checking costs that one hash and little more.
// And it runs the keyed installer on that package three times in a row: the first install, a
// second run of the same package (which hashes what is installed and fetches only the index), and
// a run after one file changed (which fetches the index and that file).
//
// With --idle-cpu it measures only what the installer costs while it waits: the CPU share of its
// own process while the index download is pending, at 100% and at 150% display scale. --installer
// runs another build's program instead (one built for --port, the test port by default).
//
//   install_bench [--rounds N] [--large-mib N] [--profile spread|small]
//                 [--signed-only | --rerun-only]
//   install_bench --idle-cpu [--installer EXE] [--port N]
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include "pack/index_signing.h"
#include "pack/sha256.h"
#include "support/files.h"
#include "support/installer_run.h"
#include "support/loopback_server.h"
#include "support/process.h"
#include "support/virtual_screen.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;
using namespace tessaly::test;
using std::chrono::milliseconds;

namespace {

constexpr std::size_t KI_B = 1024;
constexpr std::size_t MI_B = 1024 * KI_B;

struct PackageFile {
    std::string serverPath;  // under /AppData/
    std::string local;       // under the install folder
    std::size_t size;
    std::size_t seed;  // of its bytes (Bytes)
};

struct Package {
    std::string name;
    std::vector<PackageFile> files;
    std::size_t TotalBytes() const {
        std::size_t total = 0;
        for (const PackageFile& f : files) {
            total += f.size;
        }
        return total;
    }
    std::size_t Largest() const {
        std::size_t largest = 0;
        for (const PackageFile& f : files) {
            largest = std::max(largest, f.size);
        }
        return largest;
    }
};

// `count` sizes from `smallest` to `largest` whose sum is `total`: a power curve between the two
// ends, its exponent found by bisection, the remainder put on a middle file.
std::vector<std::size_t> SpreadSizes(int count, std::size_t smallest, std::size_t largest,
                                     std::size_t total) {
    const double span = std::log2(static_cast<double>(largest) / smallest);
    auto sizesFor = [&](double exponent) {
        std::vector<std::size_t> sizes;
        for (int i = 0; i < count; ++i) {
            const double t = std::pow(static_cast<double>(i) / (count - 1), exponent);
            sizes.push_back(static_cast<std::size_t>(smallest * std::exp2(span * t)));
        }
        sizes.back() = largest;
        return sizes;
    };
    auto sum = [](const std::vector<std::size_t>& sizes) {
        std::size_t s = 0;
        for (std::size_t v : sizes) {
            s += v;
        }
        return s;
    };
    double low = 0.1;
    double high = 50.0;
    for (int i = 0; i < 100; ++i) {
        const double mid = (low + high) / 2;
        (sum(sizesFor(mid)) > total ? low : high) = mid;
    }
    std::vector<std::size_t> sizes = sizesFor(high);
    const std::size_t have = sum(sizes);
    std::size_t& middle = sizes[count / 2];
    middle = have <= total ? middle + (total - have) : middle - std::min(middle - 1, have - total);
    return sizes;
}

Package MakePackage(const std::string& name, const std::vector<std::size_t>& sizes) {
    Package package{name, {}};
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::string id = name + "-" + std::to_string(i);
        package.files.push_back({"objects/" + id, "d\\" + id + ".bin", sizes[i], i});
    }
    return package;
}

// Deterministic bytes for a file, so the installed copy can be compared without keeping one.
char ByteAt(std::size_t seed, std::size_t offset) {
    std::size_t x = (offset / 8 + 1) * 0x9E3779B97F4A7C15ull ^ seed;
    x ^= x >> 29;
    return static_cast<char>(x >> (8 * (offset % 8)));
}

std::string Bytes(std::size_t seed, std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = ByteAt(seed, i);
    }
    return bytes;
}

// The package with every file stored under the SHA-256 of its bytes, as the publisher's tool names
// them.
Package ContentAddressed(const Package& package) {
    Package addressed = package;
    for (std::size_t i = 0; i < package.files.size(); ++i) {
        const std::string bytes = Bytes(package.files[i].seed, package.files[i].size);
        addressed.files[i].serverPath =
            "objects/" + tessaly::pack::Sha256Hex(bytes.data(), bytes.size());
    }
    return addressed;
}

std::string Index(const Package& package, bool failAtEnd) {
    std::string index = "1|d|\r\n";
    for (const PackageFile& f : package.files) {
        index += "0|" + f.serverPath + "|" + f.local + "\r\n";
    }
    if (failAtEnd) {
        // Keeps the installer open (red status) after the last real file, so its memory can be
        // read before it exits.
        index += "0|missing-on-purpose|d\\missing.bin\r\n";
    }
    return index;
}

void ServeFiles(LoopbackServer& server, const Package& package) {
    for (std::size_t i = 0; i < package.files.size(); ++i) {
        server.ServeBody("/AppData/" + package.files[i].serverPath, 200,
                         Bytes(package.files[i].seed, package.files[i].size));
    }
}

void Serve(LoopbackServer& server, const Package& package, bool failAtEnd) {
    server.ServeBody("/AppData/FileList.txt", 200, Index(package, failAtEnd));
    ServeFiles(server, package);
}

// First request received to last answer finished, as the server saw them.
double ServerSpanMs(const LoopbackServer& server) {
    const std::vector<RecordedRequest> requests = server.Requests();
    if (requests.empty()) {
        return -1;
    }
    Clock::time_point first = requests.front().received;
    Clock::time_point last = requests.front().finished;
    for (const RecordedRequest& r : requests) {
        first = std::min(first, r.received);
        last = std::max(last, r.finished);
    }
    return std::chrono::duration<double, std::milli>(last - first).count();
}

class Installer {
  public:
    explicit Installer(WinePrefix& prefix, InstallerBuild build = InstallerBuild::Unkeyed)
        : prefix_(prefix) {
        installer_ = CopyInstaller(
            prefix.HostPath(build == InstallerBuild::Keyed ? "C:\\bench-keyed" : "C:\\bench"),
            build);
    }
    // `fresh`: on a machine where nothing was installed; otherwise over the previous install.
    // Wine's error lines of the run are kept under `logName`.
    std::unique_ptr<InstallerRun> Start(const std::string& logName, bool fresh = true) const {
        if (fresh) {
            prefix_.ResetInstallation();
        }
        return std::make_unique<InstallerRun>(prefix_, prefix_.Display(), installer_,
                                              "install_bench/" + logName);
    }

  private:
    WinePrefix& prefix_;
    std::string installer_;
};

bool InstalledCorrectly(const WinePrefix& prefix, const Package& package) {
    for (std::size_t i = 0; i < package.files.size(); ++i) {
        const std::string path =
            prefix.HostPath(prefix.InstallDir() + "\\" + package.files[i].local);
        if (ReadWholeFile(path) != Bytes(package.files[i].seed, package.files[i].size)) {
            std::fprintf(stderr, "  %s differs or is missing\n", path.c_str());
            return false;
        }
    }
    return true;
}

// The spans of one install, or -1 each when it failed.
struct InstallSpans {
    double serverMs = -1;  // the server's first request to its last answer
    double toExitMs = -1;  // the server's first request to the installer's exit, so the work after
                           // the last answer (writing and checking the last file) counts too
};

InstallSpans RunInstaller(const Installer& installer, LoopbackServer& server,
                          const WinePrefix& prefix, const Package& package, bool fresh = true) {
    server.ClearRequests();
    const std::unique_ptr<InstallerRun> run = installer.Start(package.name, fresh);
    const testing::AssertionResult exited = run->ToExit(std::chrono::minutes(10));
    const Clock::time_point ended = Clock::now();
    if (!exited) {
        std::fprintf(stderr, "  the installer did not finish cleanly: %s\n", exited.message());
        return {};
    }
    const std::vector<RecordedRequest> requests = server.Requests();
    if (!InstalledCorrectly(prefix, package) || requests.empty()) {
        return {};
    }
    const Clock::time_point first =
        std::min_element(requests.begin(), requests.end(),
                         [](const RecordedRequest& a, const RecordedRequest& b) {
                             return a.received < b.received;
                         })
            ->received;
    return {ServerSpanMs(server), std::chrono::duration<double, std::milli>(ended - first).count()};
}

double RunCurl(LoopbackServer& server, const Package& package) {
    server.ClearRequests();
    const std::string config = "/tmp/tessaly-bench-curl-" + std::to_string(getpid()) + ".cfg";
    {
        std::ofstream out(config);
        out << "url = \"http://127.0.0.1:" << server.Port() << "/AppData/FileList.txt\"\n"
            << "output = \"/dev/null\"\n";
        for (const PackageFile& f : package.files) {
            out << "url = \"http://127.0.0.1:" << server.Port() << "/AppData/" << f.serverPath
                << "\"\noutput = \"/dev/null\"\n";
        }
    }
    // "Connection: close" makes curl open one connection per file, as the installer does.
    const CommandResult result =
        RunCommand({"curl", "-sS", "-f", "-A", "ravavo", "-H", "Connection: close", "-K", config},
                   std::chrono::minutes(10));
    fs::remove(config);
    if (!result.finished || result.exitCode != 0) {
        std::fprintf(stderr, "  curl failed (%d)\n", result.exitCode);
        return -1;
    }
    return ServerSpanMs(server);
}

// Peak resident memory (VmHWM) of a running process, in bytes; 0 when unreadable.
std::size_t PeakResident(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stoull(line.substr(6)) * KI_B;
        }
    }
    return 0;
}

// Runs the package with a failing last entry and reads the installer's peak memory while it
// stands on its failure text.
std::size_t PeakMemory(const Installer& installer, LoopbackServer& server, const Package& package) {
    Serve(server, package, true);
    server.ClearRequests();
    const std::unique_ptr<InstallerRun> run = installer.Start("peak-memory");
    WineProgram* program = &run->Program();
    const std::string last = "/AppData/missing-on-purpose";
    const auto deadline = Clock::now() + std::chrono::minutes(10);
    while (server.RequestsFor(last).empty() && Clock::now() < deadline && program->Running()) {
        std::this_thread::sleep_for(milliseconds(100));
    }
    std::this_thread::sleep_for(milliseconds(500));
    const std::size_t peak = PeakResident(program->Pid());
    program->Kill();
    return peak;
}

struct Figures {
    double installerMs = -1;
    double curlMs = -1;
};

Figures Race(const Installer& installer, LoopbackServer& server, const WinePrefix& prefix,
             const Package& package, int rounds) {
    Serve(server, package, false);
    Figures best;
    auto keepBest = [](double& best, double ms) {
        if (ms >= 0 && (best < 0 || ms < best)) {
            best = ms;
        }
    };
    for (int round = 1; round <= rounds; ++round) {
        const double installerMs = RunInstaller(installer, server, prefix, package).serverMs;
        const double curlMs = RunCurl(server, package);
        std::printf("  round %d: installer %.0f ms, curl %.0f ms\n", round, installerMs, curlMs);
        std::fflush(stdout);
        keepBest(best.installerMs, installerMs);
        keepBest(best.curlMs, curlMs);
    }
    return best;
}

// One file of `size` bytes generated on the fly, so the server never holds it whole.
bool LargestFileInstalls(const Installer& installer, LoopbackServer& server,
                         const WinePrefix& prefix, std::size_t size, double& seconds) {
    server.ServeBody("/AppData/FileList.txt", 200, "0|objects/large|large.bin\r\n");
    server.Serve("/AppData/objects/large", [size](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(
            size, "application/octet-stream",
            [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                std::string chunk(std::min<std::size_t>(length, MI_B), '\0');
                for (std::size_t i = 0; i < chunk.size(); ++i) {
                    chunk[i] = ByteAt(7, offset + i);
                }
                return sink.write(chunk.data(), chunk.size());
            });
    });
    server.ClearRequests();
    const std::unique_ptr<InstallerRun> run = installer.Start("large-file");
    const testing::AssertionResult finished = run->ToExit(std::chrono::minutes(15));
    if (!finished) {
        std::fprintf(stderr, "  the large file's install did not finish cleanly: %s\n",
                     finished.message());
    }
    seconds = ServerSpanMs(server) / 1000;
    const std::string path = prefix.HostPath(prefix.InstallDir() + "\\large.bin");
    std::ifstream in(path, std::ios::binary);
    std::vector<char> block(MI_B);
    std::size_t offset = 0;
    bool same = static_cast<bool>(finished);
    while (same && in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        for (std::streamsize i = 0; i < in.gcount() && same; ++i, ++offset) {
            same = block[i] == ByteAt(7, offset);
        }
    }
    fs::remove(path);
    return same && offset == size;
}

struct SignedFigures {
    double signedMs = -1;    // the keyed installer, signed package
    double unsignedMs = -1;  // the unkeyed installer, the same package unsigned
    double hashMs = -1;      // CNG hashing all its bytes once, alone
};

// The least of several runs of sha256_probe over the package's bytes laid end to end, checked
// against OpenSSL's digest of them; with `fileMs`, also the least time of hashing them as the
// installer hashes an installed file (read in pieces from the disk, then hashed).
double CngHashMs(const WinePrefix& prefix, const Package& package, int rounds,
                 double* fileMs = nullptr) {
    const std::string windowsPath = "C:\\bench-keyed\\hashed.bin";
    std::string all;
    all.reserve(package.TotalBytes());
    for (std::size_t i = 0; i < package.files.size(); ++i) {
        all += Bytes(package.files[i].seed, package.files[i].size);
    }
    WriteWholeFile(prefix.HostPath(windowsPath), all);
    const std::string expected = "sha256=" + tessaly::pack::Sha256Hex(all.data(), all.size());
    double best = -1;
    for (int round = 0; round < rounds; ++round) {
        const CommandResult probe =
            prefix.Run(std::string(TESSALY_WINE_KEYED_BUILD_DIR) + "/tests/sha256_probe.exe",
                       {windowsPath}, std::chrono::minutes(5));
        const std::size_t ms = probe.output.find("ms=");
        if (probe.exitCode != 0 || probe.output.find(expected) == std::string::npos ||
            ms == std::string::npos) {
            std::fprintf(stderr, "  sha256_probe failed: %s\n", probe.output.c_str());
            continue;
        }
        const double value = std::strtod(probe.output.c_str() + ms + 3, nullptr);
        best = best < 0 ? value : std::min(best, value);
        const std::size_t fromFile = probe.output.find("file_ms=");
        if (fileMs != nullptr && fromFile != std::string::npos) {
            const double chunked = std::strtod(probe.output.c_str() + fromFile + 8, nullptr);
            *fileMs = *fileMs < 0 ? chunked : std::min(*fileMs, chunked);
        }
    }
    fs::remove(prefix.HostPath(windowsPath));
    return best;
}

// The keyed installer on the signed, content-addressed package against the unkeyed one on the same
// package unsigned, alternately, each keeping its best round. Timed to the installer's exit: the
// last file, the largest, is checked after its last byte was sent.
SignedFigures SignedRace(const Installer& unkeyed, const Installer& keyed, LoopbackServer& server,
                         const WinePrefix& prefix, const Package& package, int rounds) {
    const Package addressed = ContentAddressed(package);
    const std::string unsignedIndex = Index(addressed, false);
    std::string error;
    const tessaly::pack::SigningKey key =
        tessaly::pack::LoadPrivateKey(TESSALY_TEST_INDEX_KEY, error);
    const std::string signedIndex =
        key ? tessaly::pack::SignIndex(unsignedIndex, key.get(),
                                       static_cast<std::uint64_t>(std::time(nullptr)) + 86400,
                                       error)
            : "";
    SignedFigures best;
    if (signedIndex.empty()) {
        std::fprintf(stderr, "  cannot sign the package: %s\n", error.c_str());
        return best;
    }
    ServeFiles(server, addressed);
    auto keepBest = [](double& best, double ms) {
        if (ms >= 0 && (best < 0 || ms < best)) {
            best = ms;
        }
    };
    for (int round = 1; round <= rounds; ++round) {
        server.ServeBody("/AppData/FileList.txt", 200, unsignedIndex);
        const double unsignedMs = RunInstaller(unkeyed, server, prefix, addressed).toExitMs;
        server.ServeBody("/AppData/FileList.txt", 200, signedIndex);
        const double signedMs = RunInstaller(keyed, server, prefix, addressed).toExitMs;
        std::printf("  round %d: unsigned %.0f ms, signed %.0f ms\n", round, unsignedMs, signedMs);
        std::fflush(stdout);
        keepBest(best.unsignedMs, unsignedMs);
        keepBest(best.signedMs, signedMs);
    }
    best.hashMs = CngHashMs(prefix, package, rounds);
    return best;
}

void PrintSigned(const Package& package, const SignedFigures& figures) {
    const double allowed = (figures.unsignedMs + figures.hashMs) * 1.1;
    std::printf("%-34s %10.0f ms\n", (package.name + " unsigned (unkeyed)").c_str(),
                figures.unsignedMs);
    std::printf("%-34s %10.0f ms %12s <= %.0f ms ((unsigned + hash) + 10%%)\n",
                (package.name + " signed (keyed)").c_str(), figures.signedMs, "", allowed);
    std::printf("%-34s %10.0f ms %12s (signed - unsigned: %.0f ms)\n",
                "CNG SHA-256 of its bytes once", figures.hashMs, "",
                figures.signedMs - figures.unsignedMs);
}

struct RerunFigures {
    double firstMs = -1;    // the first install, on a machine where nothing was installed
    double againMs = -1;    // a second run of the same package
    double changedMs = -1;  // a run after one file of the package changed
    std::size_t againRequests = 0;
    std::size_t changedRequests = 0;
    double hashMs = -1;      // CNG hashing all the package's bytes once, alone, in memory
    double fileHashMs = -1;  // the same, read from the disk in pieces as the installer does
};

// `index` signed with the tests' index key for a day; empty when it cannot be.
std::string SignedForADay(const std::string& index) {
    std::string error;
    const tessaly::pack::SigningKey key =
        tessaly::pack::LoadPrivateKey(TESSALY_TEST_INDEX_KEY, error);
    const std::string text =
        key ? tessaly::pack::SignIndex(
                  index, key.get(), static_cast<std::uint64_t>(std::time(nullptr)) + 86400, error)
            : "";
    if (text.empty()) {
        std::fprintf(stderr, "  cannot sign the package: %s\n", error.c_str());
    }
    return text;
}

// The keyed installer on the signed, content-addressed package: a first install, a second run of
// the same package over it, and a run after the middle file changed, each timed from the first
// request to the installer's exit, for several rounds, each keeping its best.
RerunFigures Rerun(const Installer& keyed, LoopbackServer& server, const WinePrefix& prefix,
                   const Package& package, int rounds) {
    const Package addressed = ContentAddressed(package);
    Package changed = package;
    changed.files[package.files.size() / 2].seed += package.files.size();
    changed = ContentAddressed(changed);
    const std::string signedIndex = SignedForADay(Index(addressed, false));
    const std::string changedIndex = SignedForADay(Index(changed, false));
    RerunFigures best;
    if (signedIndex.empty() || changedIndex.empty()) {
        return best;
    }
    ServeFiles(server, addressed);
    ServeFiles(server, changed);
    auto keepBest = [](double& best, double ms) {
        if (ms >= 0 && (best < 0 || ms < best)) {
            best = ms;
        }
    };
    // A second run comes later: the disk has written what the previous run left in the page cache
    // (flushed here), and not while the run reads it back.
    auto flushed = [] { RunCommand({"sync"}, std::chrono::minutes(2)); };
    for (int round = 1; round <= rounds; ++round) {
        server.ServeBody("/AppData/FileList.txt", 200, signedIndex);
        flushed();
        const double firstMs = RunInstaller(keyed, server, prefix, addressed).toExitMs;
        flushed();
        const double againMs = RunInstaller(keyed, server, prefix, addressed, false).toExitMs;
        best.againRequests = server.Requests().size();
        server.ServeBody("/AppData/FileList.txt", 200, changedIndex);
        flushed();
        const double changedMs = RunInstaller(keyed, server, prefix, changed, false).toExitMs;
        best.changedRequests = server.Requests().size();
        std::printf(
            "  round %d: first %.0f ms, again %.0f ms (%zu requests), one file changed "
            "%.0f ms (%zu requests)\n",
            round, firstMs, againMs, best.againRequests, changedMs, best.changedRequests);
        std::fflush(stdout);
        keepBest(best.firstMs, firstMs);
        keepBest(best.againMs, againMs);
        keepBest(best.changedMs, changedMs);
    }
    best.hashMs = CngHashMs(prefix, package, rounds, &best.fileHashMs);
    return best;
}

void PrintRerun(const Package& package, const RerunFigures& figures) {
    std::printf("%-34s %10.0f ms\n", (package.name + " first install (keyed)").c_str(),
                figures.firstMs);
    std::printf("%-34s %10.0f ms %9zu req <= %.0f ms (0.35 x first) and 1 request; %.2f x first\n",
                (package.name + " second run, same package").c_str(), figures.againMs,
                figures.againRequests, 0.35 * figures.firstMs, figures.againMs / figures.firstMs);
    std::printf("%-34s %10.0f ms %9zu req (the index and the changed file)\n",
                (package.name + " run after one file changed").c_str(), figures.changedMs,
                figures.changedRequests);
    std::printf("%-34s %10.0f ms %12s (%.0f%% of the second run)\n",
                "CNG SHA-256 of its bytes once", figures.hashMs, "",
                100 * figures.hashMs / figures.againMs);
    std::printf("%-34s %10.0f ms %12s (%.0f%% of the second run)\n",
                "the same, read from disk in pieces", figures.fileHashMs, "",
                100 * figures.fileHashMs / figures.againMs);
}

// Samples the installer with perf while it installs the package and prints where its time went,
// by module.
void Profile(const Installer& installer, LoopbackServer& server, const Package& package) {
    Serve(server, package, false);
    const std::string data = "/tmp/tessaly-bench-" + std::to_string(getpid()) + ".perf";
    const std::unique_ptr<InstallerRun> run = installer.Start("profile");
    ChildProcess perf({"perf", "record", "-q", "-F", "999", "-p",
                       std::to_string(run->Program().Pid()), "-o", data},
                      CurrentEnvironment(), "");
    run->Program().Wait(std::chrono::minutes(10));
    perf.Terminate(std::chrono::seconds(10));
    const CommandResult report = RunCommand(
        {"perf", "report", "-i", data, "--stdio", "--sort", "dso", "--percent-limit", "0.5"},
        std::chrono::minutes(2));
    fs::remove(data);
    std::printf("Profile of one install of the %s package (share of samples by module):\n",
                package.name.c_str());
    std::istringstream lines(report.output);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line[0] != '#') {
            std::printf("  %s\n", line.c_str());
        }
    }
}

// The installer's CPU share of one core over `window` at display `dpi`, while its index download
// is pending: the server sends the index one byte a second, so the window keeps animating over a
// step that never ends. Measured from its first request plus a settling second, so start-up does
// not count. -1 when the installer did not get that far.
double IdleCpuShare(WinePrefix& prefix, const std::string& installer, int port, int dpi,
                    std::chrono::seconds window) {
    const CommandResult set =
        prefix.Run("reg", {"add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t",
                           "REG_DWORD", "/d", std::to_string(dpi), "/f"});
    if (!set.finished || set.exitCode != 0) {
        std::fprintf(stderr, "  reg add LogPixels failed: %s\n", set.output.c_str());
        return -1;
    }
    LoopbackServer server(port);
    server.ServeSlowly("/AppData/FileList.txt", std::string(3600, '\n'), 1,
                       std::chrono::seconds(1));
    prefix.ResetInstallation();
    std::unique_ptr<WineProgram> program = prefix.Start(installer, {});
    if (!server.WaitForRequests(1, std::chrono::seconds(60))) {
        std::fprintf(stderr, "  the installer never asked for its index\n");
        return -1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    std::string name;
    std::getline(std::ifstream("/proc/" + std::to_string(program->Pid()) + "/comm"), name);
    std::printf("  %d DPI: process %d (%s)\n", dpi, static_cast<int>(program->Pid()), name.c_str());
    // The Wine process that runs the installer, not wineserver, which serves every process.
    const double before = program->CpuSeconds();
    const Clock::time_point start = Clock::now();
    std::this_thread::sleep_for(window);
    const double after = program->CpuSeconds();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const std::vector<RecordedRequest> requests = server.Requests();
    const bool pending = program->Running() && requests.size() == 1 && !requests[0].done;
    program->Kill();
    prefix.KillAll();
    if (before < 0 || after < 0 || !pending) {
        std::fprintf(stderr, "  the installer stopped waiting before the end of the window\n");
        return -1;
    }
    return 100.0 * (after - before) / seconds;
}

int IdleCpu(const std::string& installerExe, int port) {
    VirtualScreen screen;
    WinePrefix prefix(screen.Display());
    const std::string folder = prefix.HostPath("C:\\bench-idle");
    const std::string installer =
        installerExe.empty() ? CopyInstaller(folder) : folder + "/TessalyInstaller.exe";
    if (!installerExe.empty()) {
        fs::create_directories(folder);
        fs::copy_file(installerExe, installer, fs::copy_options::overwrite_existing);
    }
    const auto window = std::chrono::seconds(12);
    std::printf("Installer %s under %s, index pending on 127.0.0.1:%d, CPU over %lld s\n",
                installerExe.empty() ? TESSALY_WINE_BUILD_DIR : installerExe.c_str(),
                TESSALY_WINE_LOADER, port, static_cast<long long>(window.count()));
    std::printf("%-34s %12s %s\n", "figure", "installer", "goal");
    for (const int dpi : {96, 144}) {
        const double share = IdleCpuShare(prefix, installer, port, dpi, window);
        std::printf("%-34s %10.1f %% %s\n",
                    ("CPU while waiting, " + std::to_string(dpi) + " DPI").c_str(), share,
                    "<= 5% of one core");
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 3;
    std::size_t largeMiB = 1536;
    bool profile = false;
    bool signedOnly = false;
    bool rerunOnly = false;
    std::string profiled = "spread";
    bool idleCpu = false;
    std::string installerExe;
    int port = TESSALY_TEST_PORT;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--rounds" && i + 1 < argc) {
            rounds = std::atoi(argv[++i]);
        } else if (arg == "--large-mib" && i + 1 < argc) {
            largeMiB = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--signed-only") {
            signedOnly = true;
        } else if (arg == "--rerun-only") {
            rerunOnly = true;
        } else if (arg == "--idle-cpu") {
            idleCpu = true;
        } else if (arg == "--installer" && i + 1 < argc) {
            installerExe = fs::absolute(argv[++i]).string();
        } else if (arg == "--port" && i + 1 < argc) {
            port = std::atoi(argv[++i]);
        } else if (arg == "--profile" && i + 1 < argc) {
            profile = true;
            profiled = argv[++i];
        } else {
            std::fprintf(
                stderr,
                "usage: install_bench [--rounds N] [--large-mib N] [--profile spread|small] "
                "[--signed-only | --rerun-only]\n"
                "       install_bench --idle-cpu [--installer EXE] [--port N]\n");
            return 2;
        }
    }
    if (idleCpu) {
        return IdleCpu(installerExe, port);
    }
    VirtualScreen screen;
    WinePrefix prefix(screen.Display());
    LoopbackServer server;
    const Installer installer(prefix);
    const Installer keyedInstaller(prefix, InstallerBuild::Keyed);
    std::printf("Installer under %s (%s build, keyed: %s), server on 127.0.0.1:%d\n",
                TESSALY_WINE_LOADER, TESSALY_WINE_BUILD_DIR, TESSALY_WINE_KEYED_BUILD_DIR,
                server.Port());

    const Package spread = MakePackage("spread", SpreadSizes(200, KI_B, 64 * MI_B, 256 * MI_B));
    std::printf(
        "Package %s signed, installed, run again, run after one file changed: %zu files, "
        "%.1f MiB\n",
        spread.name.c_str(), spread.files.size(), spread.TotalBytes() / double(MI_B));
    const RerunFigures rerunFigures = Rerun(keyedInstaller, server, prefix, spread, rounds);
    if (rerunOnly) {
        std::printf("\n");
        PrintRerun(spread, rerunFigures);
        return 0;
    }
    std::printf("Package %s signed against unsigned: %zu files, %.1f MiB\n", spread.name.c_str(),
                spread.files.size(), spread.TotalBytes() / double(MI_B));
    const SignedFigures signedFigures =
        SignedRace(installer, keyedInstaller, server, prefix, spread, rounds);
    if (signedOnly) {
        std::printf("\n");
        PrintSigned(spread, signedFigures);
        return 0;
    }
    const Package small = MakePackage("small", std::vector<std::size_t>(1000, KI_B));
    const Package single = MakePackage("single", {KI_B});

    std::vector<std::pair<const Package*, Figures>> results;
    for (const Package* package : {&spread, &small}) {
        std::printf("Package %s: %zu files, %.1f MiB, largest %.1f MiB\n", package->name.c_str(),
                    package->files.size(), package->TotalBytes() / double(MI_B),
                    package->Largest() / double(MI_B));
        results.emplace_back(package, Race(installer, server, prefix, *package, rounds));
    }
    const std::size_t basePeak = PeakMemory(installer, server, single);
    const std::size_t spreadPeak = PeakMemory(installer, server, spread);
    double largeSeconds = 0;
    const bool largeOk =
        LargestFileInstalls(installer, server, prefix, largeMiB * MI_B, largeSeconds);

    std::printf("\n%-34s %12s %12s %s\n", "figure", "installer", "curl", "goal");
    for (const auto& [package, figures] : results) {
        std::printf("%-34s %10.0f ms %10.0f ms %s\n", (package->name + " package span").c_str(),
                    figures.installerMs, figures.curlMs, "(for orientation)");
        std::printf("%-34s %10.2f ms %10.2f ms\n", (package->name + " per file").c_str(),
                    figures.installerMs / package->files.size(),
                    figures.curlMs / package->files.size());
        std::printf("%-34s %9.1f MB/s %9.1f MB/s\n", (package->name + " throughput").c_str(),
                    package->TotalBytes() / 1e3 / figures.installerMs,
                    package->TotalBytes() / 1e3 / figures.curlMs);
    }
    const double extraMiB = (static_cast<double>(spreadPeak) - basePeak) / MI_B;
    std::printf("%-34s %9.1f MiB %12s <= %.1f MiB (largest file + 8 MiB)\n",
                "peak memory above one-file run", extraMiB, "",
                spread.Largest() / double(MI_B) + 8);
    std::printf("%-34s %9zu MiB %12s %s in %.0f s (goal: 1536 MiB)\n", "largest single file",
                largeMiB, "", largeOk ? "installed byte for byte" : "FAILED", largeSeconds);
    PrintSigned(spread, signedFigures);
    PrintRerun(spread, rerunFigures);
    if (profile) {
        Profile(installer, server, profiled == "small" ? small : spread);
    }
    return 0;
}
