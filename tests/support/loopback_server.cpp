// Loopback HTTP server for the Wine tests, on cpp-httplib. Every request is recorded by the
// pre-routing handler and marked done by the logger, which httplib calls once the answer is
// written (or its writing failed); the canned answers wait on one condition variable, so that
// stopping the server ends every slow or silent answer at once.
#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <httplib.h>

namespace tessaly::test {
namespace {

constexpr std::size_t WRITE_PIECE = 64 * 1024;

using SharedBody = std::shared_ptr<const std::string>;

// Writes body[offset, end) to the sink in pieces; false when the client went away.
bool WriteRange(httplib::DataSink& sink, const std::string& body, std::size_t offset,
                std::size_t end) {
    while (offset < end) {
        const std::size_t length = std::min(WRITE_PIECE, end - offset);
        if (!sink.write(body.data() + offset, length)) {
            return false;
        }
        offset += length;
    }
    return true;
}

// Lets a listening socket take the port while connections of an earlier server (ours, or one
// with httplib's own options, which set only SO_REUSEPORT) still linger in TIME_WAIT: each
// option only makes way for sockets that carry the same one.
void AllowReuseOfThePort(int sock) {
    const int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    setsockopt(sock, SOL_SOCKET, SO_REUSEPORT, &yes, sizeof yes);
}

// SO_REUSEPORT would also let a second server share a port that another program listens on,
// splitting the connections between them: refuse a port that answers instead.
void RefuseIfSomeoneListens(int port, const std::string& who) {
    const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool answered =
        probe >= 0 && connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (probe >= 0) {
        close(probe);
    }
    if (answered) {
        throw std::runtime_error(
            who + ": another program already listens on 127.0.0.1:" + std::to_string(port));
    }
}

}  // namespace

LoopbackServer::LoopbackServer(int port) : port_(port), server_(new httplib::Server) {
    // Headers and body go out as separate writes; with Nagle's algorithm on, the body would wait
    // for the client's delayed acknowledgement of the headers (tens of milliseconds a file).
    server_->set_tcp_nodelay(true);
    RefuseIfSomeoneListens(port_, "LoopbackServer");
    server_->set_socket_options([](int sock) { AllowReuseOfThePort(sock); });
    server_->set_keep_alive_timeout(1);
    server_->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
        Record(request);
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server_->set_logger(
        [this](const httplib::Request& request, const httplib::Response&) { MarkDone(request); });
    server_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        Dispatch(request, response);
    });
    // bind_to_port also listens: connections queue from here on, before the accept loop runs.
    if (!server_->bind_to_port("127.0.0.1", port_)) {
        throw std::runtime_error("LoopbackServer: cannot listen on 127.0.0.1:" +
                                 std::to_string(port_));
    }
    listener_ = std::thread([this] {
        server_->listen_after_bind();
        listenerEnded_ = true;
    });
    // httplib's stop() does nothing until the accept loop runs, so a server stopped before
    // would never end: return only once it runs.
    while (!server_->is_running() && !listenerEnded_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (listenerEnded_) {
        listener_.join();
        throw std::runtime_error("LoopbackServer: the accept loop did not start");
    }
}

LoopbackServer::~LoopbackServer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    server_->stop();
    listener_.join();
}

void LoopbackServer::Serve(const std::string& path, Handler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    handlers_[path] = std::move(handler);
}

void LoopbackServer::ServeBody(const std::string& path, int status, std::string body,
                               const std::string& contentType) {
    SharedBody shared = std::make_shared<const std::string>(std::move(body));
    Serve(path, [status, shared, contentType](const httplib::Request&, httplib::Response& res) {
        res.status = status;
        if (shared->empty()) {
            res.set_content("", contentType);
            return;
        }
        res.set_content_provider(
            shared->size(), contentType,
            [shared](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                return WriteRange(sink, *shared, offset, offset + length);
            });
    });
}

void LoopbackServer::ServeFile(const std::string& path, const std::string& filePath, int status) {
    std::ifstream in(filePath, std::ios::binary);
    if (!in) {
        throw std::runtime_error("LoopbackServer: cannot read " + filePath);
    }
    std::ostringstream content;
    content << in.rdbuf();
    ServeBody(path, status, content.str());
}

void LoopbackServer::ServeSlowly(const std::string& path, std::string body, std::size_t piece,
                                 std::chrono::milliseconds interval) {
    SharedBody shared = std::make_shared<const std::string>(std::move(body));
    piece = std::max<std::size_t>(piece, 1);
    Serve(path, [this, shared, piece, interval](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(
            shared->size(), "application/octet-stream",
            [this, shared, piece, interval](std::size_t offset, std::size_t length,
                                            httplib::DataSink& sink) {
                if (offset > 0 && !SleepUnlessStopping(interval)) {
                    return false;
                }
                return WriteRange(sink, *shared, offset, offset + std::min(piece, length));
            });
    });
}

void LoopbackServer::ServeStalling(const std::string& path, std::string body, std::size_t before,
                                   std::chrono::milliseconds stall) {
    SharedBody shared = std::make_shared<const std::string>(std::move(body));
    before = std::min(before, shared->size());
    Serve(path, [this, shared, before, stall](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(
            shared->size(), "application/octet-stream",
            [this, shared, before, stall](std::size_t offset, std::size_t length,
                                          httplib::DataSink& sink) {
                if (offset < before) {
                    return WriteRange(sink, *shared, offset, before);
                }
                if (offset == before && !SleepUnlessStopping(stall)) {
                    return false;
                }
                return WriteRange(sink, *shared, offset, offset + length);
            });
    });
}

void LoopbackServer::ServeTruncated(const std::string& path, std::size_t announced,
                                    std::size_t sent) {
    SharedBody shared = std::make_shared<const std::string>(std::min(announced, sent), 'x');
    Serve(path, [shared, announced](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(
            announced, "application/octet-stream",
            [shared](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                // Returning false makes httplib drop the connection.
                WriteRange(sink, *shared, offset, shared->size());
                return false;
            });
    });
}

void LoopbackServer::ServeNoAnswer(const std::string& path) {
    Serve(path, [this](const httplib::Request&, httplib::Response& res) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return stopping_; });
        res.status = 503;
    });
}

void LoopbackServer::ServeRedirect(const std::string& path, int status,
                                   const std::string& location) {
    Serve(path, [status, location](const httplib::Request&, httplib::Response& res) {
        res.status = status;
        res.set_header("Location", location);
        res.set_content("moved", "text/plain");
    });
}

void LoopbackServer::Dispatch(const httplib::Request& request, httplib::Response& response) {
    Handler handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = handlers_.find(request.path);
        if (found != handlers_.end()) {
            handler = found->second;
        }
    }
    if (!handler) {
        response.status = 404;
        response.set_content("no such path", "text/plain");
        return;
    }
    handler(request, response);
}

void LoopbackServer::Record(const httplib::Request& request) {
    RecordedRequest recorded;
    recorded.method = request.method;
    recorded.target = request.target;
    recorded.path = request.path;
    recorded.userAgent = request.get_header_value("User-Agent");
    for (const auto& header : request.headers) {
        recorded.headers[header.first] = header.second;
    }
    recorded.received = Clock::now();
    recorded.finished = recorded.received;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        inFlight_[&request] = requests_.size();
        requests_.push_back(std::move(recorded));
    }
    changed_.notify_all();
}

void LoopbackServer::MarkDone(const httplib::Request& request) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = inFlight_.find(&request);
        if (found == inFlight_.end()) {
            return;
        }
        RecordedRequest& recorded = requests_[found->second];
        recorded.finished = Clock::now();
        recorded.done = true;
        inFlight_.erase(found);
    }
    changed_.notify_all();
}

std::vector<RecordedRequest> LoopbackServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<RecordedRequest> LoopbackServer::RequestsFor(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<RecordedRequest> matching;
    for (const RecordedRequest& request : requests_) {
        if (request.path == path) {
            matching.push_back(request);
        }
    }
    return matching;
}

void LoopbackServer::ClearRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
    inFlight_.clear();
}

bool LoopbackServer::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

bool LoopbackServer::SleepUnlessStopping(std::chrono::milliseconds duration) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return !changed_.wait_for(lock, duration, [this] { return stopping_; });
}

SilentPort::SilentPort(int port) {
    RefuseIfSomeoneListens(port, "SilentPort");
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0 || pipe2(wakeup_, O_CLOEXEC) != 0) {
        throw std::runtime_error("SilentPort: " + std::string(std::strerror(errno)));
    }
    AllowReuseOfThePort(listener_);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 16) != 0) {
        const std::string reason = std::strerror(errno);
        close(listener_);
        close(wakeup_[0]);
        close(wakeup_[1]);
        throw std::runtime_error("SilentPort: cannot listen on 127.0.0.1:" + std::to_string(port) +
                                 ": " + reason);
    }
    acceptor_ = std::thread([this] {
        for (;;) {
            fd_set ready;
            FD_ZERO(&ready);
            FD_SET(listener_, &ready);
            FD_SET(wakeup_[0], &ready);
            if (select(std::max(listener_, wakeup_[0]) + 1, &ready, nullptr, nullptr, nullptr) <
                0) {
                if (errno == EINTR) {
                    continue;
                }
                return;
            }
            if (FD_ISSET(wakeup_[0], &ready)) {
                return;
            }
            const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection >= 0) {
                std::lock_guard<std::mutex> lock(mutex_);
                accepted_.push_back(connection);
            }
        }
    });
}

SilentPort::~SilentPort() {
    const char stop = 0;
    (void)!write(wakeup_[1], &stop, 1);
    acceptor_.join();
    for (int connection : accepted_) {
        close(connection);
    }
    close(listener_);
    close(wakeup_[0]);
    close(wakeup_[1]);
}

int SilentPort::AcceptedCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(accepted_.size());
}

}  // namespace tessaly::test
