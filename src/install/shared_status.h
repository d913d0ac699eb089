// What the install worker and the installer window share, and all they share: the status line and
// its failed flag, which the worker publishes and the window paints, and the text of the notice
// the worker asks the window to show. Everything else each side owns alone: the worker its install
// context, the window its animation, DPI and picture. The process entry makes one and hands it to
// both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "install/prerequisite_check.h"

namespace tessaly {

constexpr std::size_t STATUS_TEXT_CAPACITY = 512;

struct StatusSnapshot {
    char text[STATUS_TEXT_CAPACITY];
    int failed;
};

class SharedStatus {
  public:
    // "程序正在初始化", not failed, and no notice.
    SharedStatus();
    SharedStatus(const SharedStatus&) = delete;
    SharedStatus& operator=(const SharedStatus&) = delete;

    // Publishes a status: copies `text` into `statusText`, then stores `failedValue` into `failed`.
    void SetStatus(const char* text, int failedValue);

    // One consistent copy of the pair (`statusText`, `failed`).
    StatusSnapshot ReadStatus() const;

    // The prerequisite notice. Only the worker writes it; the window reads it only through the
    // pointer that WM_INSTALL_NOTICE carries, while the worker waits in that synchronous send, so
    // it needs no lock.
    char (&NoticeText())[NOTICE_TEXT_CAPACITY] { return noticeText; }

  private:
    // The status line and its failed flag are written by the worker and read by the window; both
    // go through `statusLock` so a paint never sees a half-written text or a mismatched flag.
    mutable std::mutex statusLock;
    char statusText[STATUS_TEXT_CAPACITY];
    std::int32_t failed;
    char noticeText[NOTICE_TEXT_CAPACITY];
};

}  // namespace tessaly
