// The package server of the Wine tests: an HTTP server on 127.0.0.1 (cpp-httplib) with canned
// answers chosen by exact request path, which records every request it receives. The Windows
// program under test reaches it through the loopback host it was built for.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace tessaly::test {

using Clock = std::chrono::steady_clock;

// One request as the server saw it.
struct RecordedRequest {
    std::string method;
    std::string target;  // the request target as sent
    std::string path;    // decoded, without the query
    std::string userAgent;
    std::map<std::string, std::string> headers;  // as sent (the last one of a repeated name)
    Clock::time_point received;
    Clock::time_point finished;  // when the server was done with it (answered, cut or given up)
    bool done = false;           // false while the server is still answering
};

class LoopbackServer {
  public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    // Listens on 127.0.0.1:`port` (the tests' port by default) and returns once connections are
    // accepted. Throws std::runtime_error when the port cannot be bound.
    explicit LoopbackServer(int port = TESSALY_TEST_PORT);
    // Stops at once: waiting answers are released and slow bodies are cut short.
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int Port() const { return port_; }

    // Answers for one exact path (replacing an earlier one); any other path gets 404 "no such
    // path". Each answer applies to every request of the path.
    void ServeBody(const std::string& path, int status, std::string body,
                   const std::string& contentType = "application/octet-stream");
    void ServeFile(const std::string& path, const std::string& filePath, int status = 200);
    // The body in pieces of `piece` bytes, one piece every `interval`.
    void ServeSlowly(const std::string& path, std::string body, std::size_t piece,
                     std::chrono::milliseconds interval);
    // Announces the whole body, sends `before` bytes, stalls for `stall`, then sends the rest.
    void ServeStalling(const std::string& path, std::string body, std::size_t before,
                       std::chrono::milliseconds stall);
    // Announces a Content-Length of `announced`, sends `sent` bytes of it, then closes the
    // connection.
    void ServeTruncated(const std::string& path, std::size_t announced, std::size_t sent);
    // Reads the request and never answers (until the server stops).
    void ServeNoAnswer(const std::string& path);
    // `status` (301, 302, 303, 307 or 308) with a Location header.
    void ServeRedirect(const std::string& path, int status, const std::string& location);
    void Serve(const std::string& path, Handler handler);

    std::vector<RecordedRequest> Requests() const;
    std::vector<RecordedRequest> RequestsFor(const std::string& path) const;
    void ClearRequests();
    // True once at least `count` requests have arrived within `timeout`.
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

    // Sleeps up to `duration`; false when the server is stopping (the caller should give up).
    bool SleepUnlessStopping(std::chrono::milliseconds duration) const;

  private:
    void Dispatch(const httplib::Request& request, httplib::Response& response);
    void Record(const httplib::Request& request);
    void MarkDone(const httplib::Request& request);

    int port_;
    std::unique_ptr<httplib::Server> server_;
    std::thread listener_;
    std::atomic<bool> listenerEnded_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool stopping_ = false;
    std::map<std::string, Handler> handlers_;
    std::vector<RecordedRequest> requests_;
    std::map<const httplib::Request*, std::size_t> inFlight_;
};

// A port that accepts connections and never reads or answers: the raw socket stand-in for a
// server that hangs before it says anything. Accepted connections are closed on destruction.
class SilentPort {
  public:
    explicit SilentPort(int port = TESSALY_TEST_PORT);
    ~SilentPort();
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;

    int AcceptedCount() const;

  private:
    int listener_ = -1;
    int wakeup_[2] = {-1, -1};
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::vector<int> accepted_;
};

// What answers on the test port in a test of failures: nothing, a port that never reads, or the
// recording server.
enum class ServerKind { None, Silent, Http };

// The answer of one kind on the test port, from construction to destruction.
struct PortAnswer {
    explicit PortAnswer(ServerKind kind)
        : http(kind == ServerKind::Http ? std::make_unique<LoopbackServer>() : nullptr),
          silent(kind == ServerKind::Silent ? std::make_unique<SilentPort>() : nullptr) {}

    std::unique_ptr<LoopbackServer> http;
    std::unique_ptr<SilentPort> silent;
};

}  // namespace tessaly::test
