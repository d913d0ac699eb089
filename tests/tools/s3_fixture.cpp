// s3rver started in a temporary folder on a free loopback port, and the counting proxy in front
// of it, forwarding every request unchanged (Host included, which the request signatures cover).
#include "tools/s3_fixture.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace tessaly::test {

namespace {

int FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        throw std::runtime_error("no free loopback port");
    }
    close(fd);
    return ntohs(address.sin_port);
}

// Headers that belong to one connection, or that httplib writes itself. Accept-Encoding stays
// behind too: s3rver would gzip text, which the proxy would have to pass on encoded.
bool HopHeader(const std::string& name) {
    for (const char* hop :
         {"Content-Length", "Transfer-Encoding", "Connection", "Keep-Alive", "Accept-Encoding",
          "REMOTE_ADDR", "REMOTE_PORT", "LOCAL_ADDR", "LOCAL_PORT"}) {
        if (strcasecmp(name.c_str(), hop) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

LoopbackS3::LoopbackS3() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tessaly-s3-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    folder_ = pattern;
    std::filesystem::create_directories(folder_ + "/data");
    originPort_ = FreeLoopbackPort();
    s3rver_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"s3rver", "-d", folder_ + "/data", "-p",
                                 std::to_string(originPort_), "-a", "127.0.0.1", "--silent"},
        CurrentEnvironment(), folder_ + "/s3rver.log", folder_ + "/s3rver.err");

    const auto forward = [this](const httplib::Request& request, httplib::Response& response) {
        Forward(request, response);
    };
    proxy_.Get(".*", forward);
    proxy_.Put(".*", forward);
    proxy_.Post(".*", forward);
    proxy_.Delete(".*", forward);
    proxyPort_ = proxy_.bind_to_any_port("127.0.0.1");
    if (proxyPort_ <= 0) {
        throw std::runtime_error("the S3 proxy cannot listen");
    }
    proxyThread_ = std::thread([this] { proxy_.listen_after_bind(); });

    // Bounded: s3rver answers within a second or two of its start.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!Fetch("GET", "/")) {
        if (!s3rver_->Running() || std::chrono::steady_clock::now() > deadline) {
            throw std::runtime_error("s3rver did not start: " + s3rver_->ErrorOutput());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const std::string endpoint = "http://127.0.0.1:" + std::to_string(proxyPort_);
    setenv("RCLONE_CONFIG_S3TEST_TYPE", "s3", 1);
    setenv("RCLONE_CONFIG_S3TEST_PROVIDER", "Other", 1);
    setenv("RCLONE_CONFIG_S3TEST_ACCESS_KEY_ID", "S3RVER", 1);
    setenv("RCLONE_CONFIG_S3TEST_SECRET_ACCESS_KEY", "S3RVER", 1);
    setenv("RCLONE_CONFIG_S3TEST_ENDPOINT", endpoint.c_str(), 1);
    // A refused upload fails at once instead of after rclone's ten tries.
    setenv("RCLONE_LOW_LEVEL_RETRIES", "1", 1);
    setenv("RCLONE_RETRIES", "1", 1);
}

LoopbackS3::~LoopbackS3() {
    proxy_.stop();
    if (proxyThread_.joinable()) {
        proxyThread_.join();
    }
    s3rver_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::string LoopbackS3::Remote(const std::string& bucket) {
    return "s3test:" + bucket;
}

std::string LoopbackS3::PackageBase(const std::string& bucket) const {
    return "http://127.0.0.1:" + std::to_string(proxyPort_) + "/" + bucket + "/AppData/";
}

int LoopbackS3::Uploads(const std::string& path) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = uploads_.find(path);
    return found == uploads_.end() ? 0 : found->second;
}

int LoopbackS3::Uploads() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    int total = 0;
    for (const auto& [path, count] : uploads_) {
        total += count;
    }
    return total;
}

void LoopbackS3::RefuseUploadsAfter(int allowed) {
    const std::lock_guard<std::mutex> lock(mutex_);
    allowed_ = allowed;
}

httplib::Result LoopbackS3::Fetch(const std::string& method, const std::string& path) const {
    httplib::Client client("127.0.0.1", originPort_);
    client.set_connection_timeout(std::chrono::seconds(2));
    client.set_read_timeout(std::chrono::seconds(10));
    return method == "HEAD" ? client.Head(path) : client.Get(path);
}

void LoopbackS3::Forward(const httplib::Request& request, httplib::Response& response) {
    // An upload puts an object: "/BUCKET/KEY". A PUT of "/BUCKET" makes a bucket.
    const bool upload = request.method == "PUT" && request.path.find('/', 1) != std::string::npos;
    if (upload) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (allowed_ == 0) {
            response.status = 403;
            response.set_content(
                "<?xml version=\"1.0\"?><Error><Code>AccessDenied</Code>"
                "<Message>uploads refused by the test</Message></Error>",
                "application/xml");
            return;
        }
        if (allowed_ > 0) {
            --allowed_;
        }
    }
    httplib::Client client("127.0.0.1", originPort_);
    client.set_read_timeout(std::chrono::seconds(30));
    httplib::Request upstream;
    upstream.method = request.method;
    upstream.path = request.target;
    upstream.body = request.body;
    for (const auto& [name, value] : request.headers) {
        if (!HopHeader(name)) {
            upstream.headers.emplace(name, value);
        }
    }
    httplib::Response answer;
    httplib::Error error = httplib::Error::Success;
    if (!client.send(upstream, answer, error)) {
        response.status = 502;
        return;
    }
    if (upload && answer.status == 200) {
        const std::string path = request.path;
        const std::lock_guard<std::mutex> lock(mutex_);
        ++uploads_[path];
    }
    response.status = answer.status;
    for (const auto& [name, value] : answer.headers) {
        // A HEAD answer has no body, so its Content-Length and Content-Type are passed on as
        // they are; a body's Content-Type goes with its content provider below.
        const bool head = request.method == "HEAD";
        if ((!HopHeader(name) && (head || strcasecmp(name.c_str(), "Content-Type") != 0)) ||
            (head && name == "Content-Length")) {
            response.headers.emplace(name, value);
        }
    }
    if (answer.body.empty()) {
        return;
    }
    // Through a provider of known length, which httplib sends as it is: a body set directly
    // would be gzipped for clients that accept it, and rclone keeps such a body encoded.
    auto body = std::make_shared<std::string>(std::move(answer.body));
    response.set_content_provider(
        body->size(), answer.get_header_value("Content-Type"),
        [body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            return sink.write(body->data() + offset, length);
        });
}

}  // namespace tessaly::test
