// The painter reads (statusText, failed) while the worker rewrites it; every read must be one of
// the pairs that was published, never a mix. Run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "install/shared_status.h"

namespace tessaly {
namespace {

TEST(StatusSnapshot, ReaderNeverSeesAMixedPair) {
    // Different lengths, so a half-copied text would show as a mix of both.
    const std::string running(300, 'r');
    const std::string failure(40, 'f');
    SharedStatus shared;
    shared.SetStatus(running.c_str(), 0);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; i < 200000 && !stop.load(std::memory_order_relaxed); ++i) {
            if (i % 2 == 0) {
                shared.SetStatus(failure.c_str(), 1);
            } else {
                shared.SetStatus(running.c_str(), 0);
            }
        }
    });
    int mixed = 0;
    int reads = 0;
    for (; reads < 200000; ++reads) {
        const StatusSnapshot snapshot = shared.ReadStatus();
        const bool isRunning = snapshot.failed == 0 && running == snapshot.text;
        const bool isFailure = snapshot.failed == 1 && failure == snapshot.text;
        if (!isRunning && !isFailure) {
            ++mixed;
        }
    }
    stop = true;
    writer.join();
    EXPECT_EQ(mixed, 0) << "of " << reads << " reads";
}

}  // namespace
}  // namespace tessaly
