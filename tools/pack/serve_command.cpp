// The loopback package server, over cpp-httplib's static file mount, optionally paced like a
// link of a given speed.
#include "pack/serve_command.h"

#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <limits>
#include <mutex>
#include <thread>

#include "pack/command.h"
#include "pack/index_writer.h"
#include "pack/published_layout.h"

namespace tessaly::pack {

namespace fs = std::filesystem;

const char SERVE_USAGE[] =
    "usage: tessaly-pack serve OUT_DIR [--port N] [--bind ADDRESS] [--rate BYTES_PER_SECOND]\n"
    "\n"
    "Serves the package tree that tessaly-pack build wrote to OUT_DIR over plain HTTP, for local\n"
    "tests: the installer's package base is then http://ADDRESS:N/AppData/. Logs one line per\n"
    "request and stops on Ctrl+C (SIGINT) or SIGTERM.\n"
    "\n"
    "  --port N          the port to listen on (default 8080; 0 picks a free one)\n"
    "  --bind ADDRESS    the address to listen on (default 127.0.0.1)\n"
    "  --rate BYTES_PER_SECOND\n"
    "                    send each file no faster than this, as a link of that speed would:\n"
    "                    the headers at once, the body paced (default 0: as fast as possible)\n"
    "\n"
    "Exit status: 0 stopped by a signal, 1 cannot serve, 2 bad usage.\n";

namespace {

constexpr std::size_t CLOCK_TEXT_CAPACITY = 16;  // "HH:MM:SS"

std::string ClockNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[CLOCK_TEXT_CAPACITY];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

// Replaces a file's body with one sent at `rate` bytes a second: from the moment the headers are
// out, each piece goes when a link of that speed would have carried everything up to its end.
// A piece is a twentieth of a second's worth (at most 64 KiB), so that the bytes flow evenly and a
// stopping server, which ends a body between pieces, is not held up.
void PaceBody(httplib::Response& response, std::uint64_t rate) {
    using Clock = std::chrono::steady_clock;
    struct Pace {
        std::string body;
        Clock::time_point start;
        std::uint64_t sent = 0;
    };
    auto pace = std::make_shared<Pace>();
    pace->body = std::move(response.body);
    response.body.clear();
    const std::size_t piece =
        static_cast<std::size_t>(std::clamp<std::uint64_t>(rate / 20, 1, 64 << 10));
    // The file's headers stay as they are: set_content_provider would add a Content-Type.
    httplib::Headers headers = response.headers;
    response.set_content_provider(
        pace->body.size(), "",
        [pace, rate, piece](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            if (pace->sent == 0) {
                pace->start = Clock::now();
            }
            const std::size_t size = std::min(length, piece);
            pace->sent += size;
            std::this_thread::sleep_until(
                pace->start +
                std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                    static_cast<double>(pace->sent) / static_cast<double>(rate))));
            return sink.write(pace->body.data() + offset, size);
        });
    response.headers = std::move(headers);
}

}  // namespace

struct PackageServer::Impl {
    httplib::Server server;
    std::thread thread;
    std::mutex logMutex;
};

PackageServer::PackageServer() : impl_(std::make_unique<Impl>()) {}

PackageServer::~PackageServer() {
    Stop();
}

int PackageServer::Start(const std::string& root, const std::string& address, int port,
                         std::uint64_t rate, std::ostream& log, std::string& error) {
    Impl& impl = *impl_;
    // Headers and body go out as separate writes; with Nagle's algorithm on, the body would wait
    // for the client's delayed acknowledgement of the headers (tens of milliseconds a file).
    impl.server.set_tcp_nodelay(true);
    if (!impl.server.set_mount_point("/", root)) {
        error = root + " is not a folder";
        return 0;
    }
    // The cache headers a CDN needs in production (see publish), so that verify finds none
    // missing here either.
    impl.server.set_file_request_handler([rate](const httplib::Request& request,
                                                httplib::Response& response) {
        const std::string name = std::string("/") + INDEX_NAME;
        const bool index =
            request.path.size() >= name.size() &&
            request.path.compare(request.path.size() - name.size(), name.size(), name) == 0;
        response.set_header("Cache-Control", index ? INDEX_CACHE_CONTROL : OBJECT_CACHE_CONTROL);
        if (rate > 0) {
            PaceBody(response, rate);
        }
    });
    impl.server.set_logger([&impl, &log](const httplib::Request& request,
                                         const httplib::Response& response) {
        const std::string agent = request.get_header_value("User-Agent");
        // A paced body is not held in the response: its length is in the header.
        const std::uint64_t bytes = response.body.empty()
                                        ? response.get_header_value<std::uint64_t>("Content-Length")
                                        : response.body.size();
        std::lock_guard<std::mutex> lock(impl.logMutex);
        log << ClockNow() << ' ' << request.remote_addr << ' ' << request.method << ' '
            << request.path << ' ' << response.status << ' ' << bytes << " \"" << agent << "\""
            << std::endl;
    });
    const int bound = port == 0 ? impl.server.bind_to_any_port(address)
                                : (impl.server.bind_to_port(address, port) ? port : -1);
    if (bound <= 0) {
        error = "cannot listen on " + address + ":" + std::to_string(port);
        return 0;
    }
    impl.thread = std::thread([&impl] { impl.server.listen_after_bind(); });
    return bound;
}

void PackageServer::Stop() {
    if (impl_->thread.joinable()) {
        impl_->server.stop();
        impl_->thread.join();
    }
}

int RunServe(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Arguments parsed;
    if (const std::optional<int> exit = ReadCommandLine(
            args, {"serve", SERVE_USAGE, {"--port", "--bind", "--rate"}, {}, 1, "one OUT_DIR"},
            parsed, out, err)) {
        return *exit;
    }
    const std::string root = parsed.positionals[0];
    std::uint64_t port = 8080;
    std::string address = "127.0.0.1";
    std::uint64_t rate = 0;
    for (const auto& [name, value] : parsed.options) {
        if (name == "--bind") {
            address = value;
        } else if (name == "--rate") {
            if (!ReadNumber(value, std::numeric_limits<std::uint64_t>::max(), rate)) {
                return UsageError(err, "serve",
                                  "--rate takes a number of bytes per second (0: unpaced)");
            }
        } else if (!ReadNumber(value, 65535, port)) {
            return UsageError(err, "serve", "--port takes a number from 0 to 65535");
        }
    }
    if (!fs::is_directory(root)) {
        err << root << ": is not a folder\n";
        return EXIT_FINDING;
    }
    if (!fs::is_regular_file(fs::path(root) / PACKAGE_FOLDER / INDEX_NAME)) {
        err << root << ": has no " << PACKAGE_FOLDER << "/" << INDEX_NAME
            << "; installers will find no index\n";
    }
    // The signals are taken by sigwait below, so they must reach no other thread: block them
    // before the server starts its threads, which inherit the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::string error;
    PackageServer server;
    const int bound = server.Start(root, address, static_cast<int>(port), rate, out, error);
    if (bound == 0) {
        err << "tessaly-pack serve: " << error << '\n';
        return EXIT_FINDING;
    }
    const std::string origin = "http://" + address + ":" + std::to_string(bound);
    out << "serving " << root << " on " << origin << "/ (package base " << origin << "/"
        << PACKAGE_FOLDER << "/)";
    if (rate > 0) {
        out << ", each file at " << rate << " bytes per second";
    }
    out << "; Ctrl+C stops" << std::endl;
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.Stop();
    out << "stopped on " << (signal == SIGINT ? "SIGINT" : "SIGTERM") << std::endl;
    return EXIT_OK;
}

}  // namespace tessaly::pack
