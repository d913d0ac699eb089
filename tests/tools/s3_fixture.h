// An S3 server on the loopback interface for the publish tests: s3rver (npm) in a temporary
// folder, behind a small proxy of the test's own that counts the uploads that reach it and, when
// told, refuses every upload after the first few, as a server that goes away mid-publish does.
// rclone reaches it as the remote "s3test:" through RCLONE_CONFIG_S3TEST_* variables, which every
// child process inherits. Everything it starts is stopped by process id when it goes.
#pragma once

#include <httplib.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "support/process.h"

namespace tessaly::test {

class LoopbackS3 {
  public:
    // Starts s3rver and the proxy; throws std::runtime_error when either cannot be started
    // (s3rver missing is a failure, never a skip).
    LoopbackS3();
    ~LoopbackS3();
    LoopbackS3(const LoopbackS3&) = delete;
    LoopbackS3& operator=(const LoopbackS3&) = delete;

    // The rclone path of a bucket: "s3test:BUCKET".
    static std::string Remote(const std::string& bucket);
    // The port s3rver listens on (for clients that must not pass the proxy, such as a CDN).
    int OriginPort() const { return originPort_; }
    // "http://127.0.0.1:PORT/BUCKET/AppData/" through the proxy: the package base when the bucket
    // root is served.
    std::string PackageBase(const std::string& bucket) const;

    // Uploads (PUT of an object) that s3rver took for a path ("/BUCKET/AppData/objects/…"), and in
    // all.
    int Uploads(const std::string& path) const;
    int Uploads() const;
    // From now on, uploads after `allowed` more are refused with 403; a negative count lets all
    // through again.
    void RefuseUploadsAfter(int allowed);

    // GET or HEAD straight from s3rver.
    httplib::Result Fetch(const std::string& method, const std::string& path) const;

  private:
    void Forward(const httplib::Request& request, httplib::Response& response);

    std::string folder_;
    int originPort_ = 0;
    int proxyPort_ = 0;
    std::unique_ptr<ChildProcess> s3rver_;
    httplib::Server proxy_;
    std::thread proxyThread_;
    mutable std::mutex mutex_;
    std::map<std::string, int> uploads_;
    int allowed_ = -1;
};

}  // namespace tessaly::test
