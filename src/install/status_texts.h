// The status line's texts. Targets that include this header are compiled with the code page 936
// execution character set, so each literal is stored as the bytes the window converts and shows.
#pragma once

namespace tessaly {

inline constexpr char INITIAL_STATUS[] = "程序正在初始化";

}  // namespace tessaly
