// The loopback package server, over cpp-httplib's static file mount.
#include "pack/serve_command.h"

#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <ctime>
#include <filesystem>
#include <mutex>
#include <thread>

#include "pack/command.h"
#include "pack/index_writer.h"

namespace tessaly::pack {

namespace fs = std::filesystem;

const char kServeUsage[] =
    "usage: tessaly-pack serve OUT_DIR [--port N] [--bind ADDRESS]\n"
    "\n"
    "Serves the package tree that tessaly-pack build wrote to OUT_DIR over plain HTTP, for local\n"
    "tests: the installer's package base is then http://ADDRESS:N/AppData/. Logs one line per\n"
    "request and stops on Ctrl+C (SIGINT) or SIGTERM.\n"
    "\n"
    "  --port N          the port to listen on (default 8080; 0 picks a free one)\n"
    "  --bind ADDRESS    the address to listen on (default 127.0.0.1)\n"
    "\n"
    "Exit status: 0 stopped by a signal, 1 cannot serve, 2 bad usage.\n";

namespace {

std::string ClockNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
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
                         std::ostream& log, std::string& error) {
    Impl& impl = *impl_;
    // Headers and body go out as separate writes; with Nagle's algorithm on, the body would wait
    // for the client's delayed acknowledgement of the headers (tens of milliseconds a file).
    impl.server.set_tcp_nodelay(true);
    if (!impl.server.set_mount_point("/", root)) {
        error = root + " is not a folder";
        return 0;
    }
    impl.server.set_logger(
        [&impl, &log](const httplib::Request& request, const httplib::Response& response) {
            const std::string agent = request.get_header_value("User-Agent");
            std::lock_guard<std::mutex> lock(impl.logMutex);
            log << ClockNow() << ' ' << request.remote_addr << ' ' << request.method << ' '
                << request.path << ' ' << response.status << ' ' << response.body.size() << " \""
                << agent << "\"" << std::endl;
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
    if (WantsHelp(args)) {
        out << kServeUsage;
        return kExitOk;
    }
    Arguments parsed;
    std::string error;
    if (!ReadArguments(args, {"--port", "--bind"}, parsed, error)) {
        return UsageError(err, "serve", error);
    }
    if (parsed.positionals.size() != 1) {
        return UsageError(err, "serve", "expected one OUT_DIR");
    }
    const std::string root = parsed.positionals[0];
    int port = 8080;
    std::string address = "127.0.0.1";
    for (const auto& [name, value] : parsed.options) {
        if (name == "--bind") {
            address = value;
        } else if (value.empty() || value.size() > 5 ||
                   value.find_first_not_of("0123456789") != std::string::npos ||
                   std::stoi(value) > 65535) {
            return UsageError(err, "serve", "--port takes a number from 0 to 65535");
        } else {
            port = std::stoi(value);
        }
    }
    if (!fs::is_directory(root)) {
        err << root << ": is not a folder\n";
        return kExitFinding;
    }
    if (!fs::is_regular_file(fs::path(root) / kPackageFolder / kIndexName)) {
        err << root << ": has no " << kPackageFolder << "/" << kIndexName
            << "; installers will find no index\n";
    }
    // The signals are taken by sigwait below, so they must reach no other thread: block them
    // before the server starts its threads, which inherit the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    PackageServer server;
    const int bound = server.Start(root, address, port, out, error);
    if (bound == 0) {
        err << "tessaly-pack serve: " << error << '\n';
        return kExitFinding;
    }
    const std::string origin = "http://" + address + ":" + std::to_string(bound);
    out << "serving " << root << " on " << origin << "/ (package base " << origin << "/"
        << kPackageFolder << "/); Ctrl+C stops" << std::endl;
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.Stop();
    out << "stopped on " << (signal == SIGINT ? "SIGINT" : "SIGTERM") << std::endl;
    return kExitOk;
}

}  // namespace tessaly::pack
