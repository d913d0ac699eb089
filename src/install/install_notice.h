// The private window message through which the install worker asks the installer window to show a
// notice. It is always sent synchronously: wParam is 0 and unused, lParam points at a
// NUL-terminated ANSI text that stays valid until the send returns, which is when the user has
// closed the message box. Targets that include this header are compiled with the code page 936
// execution character set, so the caption is stored as the bytes the window converts and shows.
#pragma once

namespace tessaly {

constexpr unsigned int WM_INSTALL_NOTICE = 0x467;  // WM_USER + 103

// The caption of the message box that shows the notice.
inline constexpr char NOTICE_CAPTION[] = "安装提示：";

}  // namespace tessaly
