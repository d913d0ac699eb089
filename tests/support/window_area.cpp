// Window and client rectangles from window_probe.exe, which runs inside the prefix.
#include "support/window_area.h"

#include <cstdio>
#include <sstream>

namespace tessaly::test {

std::optional<WindowArea> FindWindowArea(const WinePrefix& prefix, const std::string& windowClass,
                                         std::chrono::milliseconds timeout) {
    const CommandResult info = prefix.Run(WineBuildPath("tests/window_probe.exe"),
                                          {"info", windowClass, std::to_string(timeout.count())},
                                          timeout + std::chrono::seconds(30));
    if (!info.finished || info.exitCode != 0) {
        return std::nullopt;
    }
    WindowArea area;
    int left = 0, top = 0, right = 0, bottom = 0;
    bool haveClient = false, haveOrigin = false, haveWindow = false;
    std::istringstream lines(info.output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("title=", 0) == 0) {
            area.title = line.substr(6);
        } else if (line.rfind("client=", 0) == 0) {
            haveClient = std::sscanf(line.c_str(), "client=%dx%d", &area.client.width,
                                     &area.client.height) == 2;
        } else if (line.rfind("client-origin=", 0) == 0) {
            haveOrigin = std::sscanf(line.c_str(), "client-origin=%d,%d", &area.client.x,
                                     &area.client.y) == 2;
        } else if (line.rfind("window=", 0) == 0) {
            haveWindow =
                std::sscanf(line.c_str(), "window=%d,%d,%d,%d", &left, &top, &right, &bottom) == 4;
        }
    }
    if (!haveClient || !haveOrigin || !haveWindow) {
        return std::nullopt;
    }
    area.window = {left, top, right - left, bottom - top};
    return area;
}

}  // namespace tessaly::test
