// tessaly-pack serve: a static package server for local use.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace tessaly::pack {

extern const char SERVE_USAGE[];

// Serves the files under a folder over plain HTTP, on a thread of its own, logging one line per
// request.
class PackageServer {
  public:
    PackageServer();
    ~PackageServer();
    PackageServer(const PackageServer&) = delete;
    PackageServer& operator=(const PackageServer&) = delete;

    // Serves `root` on `address`:`port` (port 0: a free one), each file's body at `rate` bytes a
    // second (0: as fast as possible), writing each request's log line to `log`. Returns the port
    // it listens on, or 0 with `error` set.
    int Start(const std::string& root, const std::string& address, int port, std::uint64_t rate,
              std::ostream& log, std::string& error);
    // Stops listening and waits for the serving thread. Safe to call when not started.
    void Stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Runs "serve OUT_DIR [--port N] [--bind ADDRESS] [--rate BYTES_PER_SECOND]" until SIGINT or
// SIGTERM.
int RunServe(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tessaly::pack
