// Screenshots and pixels. ImageMagick's import and convert are called by their full paths:
// another "convert" may come first in PATH.
#include "support/screenshot.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "support/process.h"

namespace tessaly::test {
namespace {

constexpr const char* IMPORT = "/usr/bin/import";
constexpr const char* CONVERT = "/usr/bin/convert";
constexpr const char* XDOTOOL = "/usr/bin/xdotool";

std::vector<std::string> EnvironmentWithDisplay(const std::string& display) {
    std::vector<std::string> env;
    for (const std::string& entry : CurrentEnvironment()) {
        if (entry.rfind("DISPLAY=", 0) != 0) {
            env.push_back(entry);
        }
    }
    env.push_back("DISPLAY=" + display);
    return env;
}

CommandResult RunTool(const std::vector<std::string>& argv, const std::string& display = "") {
    CommandResult result =
        RunCommand(argv, std::chrono::seconds(60),
                   display.empty() ? CurrentEnvironment() : EnvironmentWithDisplay(display));
    if (result.exitCode == 127) {
        throw std::runtime_error(argv[0] + " could not be run (is it installed?)");
    }
    return result;
}

Rect Clip(const Rect& area, int width, int height) {
    const int left = std::clamp(area.x, 0, width);
    const int top = std::clamp(area.y, 0, height);
    const int right = std::clamp(area.x + area.width, left, width);
    const int bottom = std::clamp(area.y + area.height, top, height);
    return {left, top, right - left, bottom - top};
}

// The next whitespace-separated number of a PPM header, after skipping comments.
int HeaderNumber(const std::string& bytes, std::size_t& at) {
    for (;;) {
        while (at < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[at]))) {
            ++at;
        }
        if (at < bytes.size() && bytes[at] == '#') {
            at = bytes.find('\n', at);
            continue;
        }
        break;
    }
    std::size_t end = at;
    while (end < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[end]))) {
        ++end;
    }
    if (end == at || end - at > 6) {
        throw std::runtime_error("PPM: bad header");
    }
    const int value = std::stoi(bytes.substr(at, end - at));
    at = end;
    return value;
}

}  // namespace

Image::Image(int width, int height, std::vector<Rgb> pixels)
    : width_(width), height_(height), pixels_(std::move(pixels)) {
    if (width < 0 || height < 0 ||
        pixels_.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        throw std::invalid_argument("Image: pixel count does not match the size");
    }
}

Image ParsePpm(const std::string& bytes) {
    if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '6') {
        throw std::runtime_error("PPM: not a binary PPM (P6)");
    }
    std::size_t at = 2;
    const int width = HeaderNumber(bytes, at);
    const int height = HeaderNumber(bytes, at);
    const int maximum = HeaderNumber(bytes, at);
    if (maximum != 255 || at >= bytes.size() ||
        !std::isspace(static_cast<unsigned char>(bytes[at]))) {
        throw std::runtime_error("PPM: only 8-bit samples are read");
    }
    ++at;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (bytes.size() - at < count * 3) {
        throw std::runtime_error("PPM: pixel data cut short");
    }
    std::vector<Rgb> pixels(count);
    for (std::size_t i = 0; i < count; ++i, at += 3) {
        pixels[i] = {static_cast<std::uint8_t>(bytes[at]), static_cast<std::uint8_t>(bytes[at + 1]),
                     static_cast<std::uint8_t>(bytes[at + 2])};
    }
    return Image(width, height, std::move(pixels));
}

Image Image::Load(const std::string& path) {
    const CommandResult converted = RunTool({CONVERT, path, "-depth", "8", "ppm:-"});
    if (!converted.finished || converted.exitCode != 0) {
        throw std::runtime_error("convert could not read " + path);
    }
    return ParsePpm(converted.output);
}

void Image::Save(const std::string& path) const {
    const std::string ppm =
        "P6\n" + std::to_string(width_) + " " + std::to_string(height_) + "\n255\n";
    std::string bytes = ppm;
    for (const Rgb& pixel : pixels_) {
        bytes.push_back(static_cast<char>(pixel.r));
        bytes.push_back(static_cast<char>(pixel.g));
        bytes.push_back(static_cast<char>(pixel.b));
    }
    const std::string temporary = path + ".ppm";
    {
        std::FILE* out = std::fopen(temporary.c_str(), "wb");
        if (out == nullptr) {
            throw std::runtime_error("cannot write " + temporary);
        }
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
    }
    const CommandResult converted = RunTool({CONVERT, temporary, path});
    std::remove(temporary.c_str());
    if (!converted.finished || converted.exitCode != 0) {
        throw std::runtime_error("convert could not write " + path);
    }
}

Image Image::Crop(const Rect& area) const {
    const Rect clipped = Clip(area, width_, height_);
    std::vector<Rgb> pixels;
    pixels.reserve(static_cast<std::size_t>(clipped.width) * clipped.height);
    for (int y = clipped.y; y < clipped.y + clipped.height; ++y) {
        for (int x = clipped.x; x < clipped.x + clipped.width; ++x) {
            pixels.push_back(At(x, y));
        }
    }
    return Image(clipped.width, clipped.height, std::move(pixels));
}

int Image::Count(const Rect& area, const std::function<bool(Rgb)>& test) const {
    const Rect clipped = Clip(area, width_, height_);
    int count = 0;
    for (int y = clipped.y; y < clipped.y + clipped.height; ++y) {
        for (int x = clipped.x; x < clipped.x + clipped.width; ++x) {
            count += test(At(x, y)) ? 1 : 0;
        }
    }
    return count;
}

bool IsBlue(Rgb pixel) {
    return pixel.b >= 160 && pixel.r <= 100 && pixel.g <= 100;
}

bool IsRed(Rgb pixel) {
    return pixel.r >= 160 && pixel.g <= 100 && pixel.b <= 100;
}

int CountDifferences(const Image& first, const Rect& a, const Image& second, const Rect& b,
                     int tolerance) {
    const Rect ca = Clip(a, first.Width(), first.Height());
    const Rect cb = Clip(b, second.Width(), second.Height());
    if (ca.width != cb.width || ca.height != cb.height) {
        return -1;
    }
    int differences = 0;
    for (int y = 0; y < ca.height; ++y) {
        for (int x = 0; x < ca.width; ++x) {
            const Rgb p = first.At(ca.x + x, ca.y + y);
            const Rgb q = second.At(cb.x + x, cb.y + y);
            if (std::abs(p.r - q.r) > tolerance || std::abs(p.g - q.g) > tolerance ||
                std::abs(p.b - q.b) > tolerance) {
                ++differences;
            }
        }
    }
    return differences;
}

std::string ArtifactPath(const std::string& name) {
    const std::filesystem::path path = std::filesystem::current_path() / "wine-artifacts" / name;
    std::filesystem::create_directories(path.parent_path());
    return path.string();
}

Image TakeScreenshot(const std::string& display, const std::string& savePath) {
    const CommandResult shot =
        RunTool({IMPORT, "-display", display, "-window", "root", "-depth", "8", "ppm:-"});
    if (!shot.finished || shot.exitCode != 0) {
        throw std::runtime_error("import could not take a screenshot of " + display);
    }
    Image image = ParsePpm(shot.output);
    if (!savePath.empty()) {
        image.Save(savePath);
    }
    return image;
}

std::optional<WindowInfo> FindWindow(const std::string& display, const std::string& name) {
    const CommandResult found =
        RunTool({XDOTOOL, "search", "--onlyvisible", "--name", name}, display);
    std::istringstream ids(found.output);
    std::string id;
    if (!found.finished || !(ids >> id)) {
        return std::nullopt;
    }
    WindowInfo info;
    info.id = id;
    info.title = RunTool({XDOTOOL, "getwindowname", id}, display).output;
    while (!info.title.empty() && info.title.back() == '\n') {
        info.title.pop_back();
    }
    const std::string shell =
        RunTool({XDOTOOL, "getwindowgeometry", "--shell", id}, display).output;
    const auto field = [&shell](const std::string& key) {
        std::smatch match;
        const std::regex pattern("(^|\\n)" + key + "=(-?[0-9]+)");
        return std::regex_search(shell, match, pattern) ? std::stoi(match[2]) : 0;
    };
    info.geometry = {field("X"), field("Y"), field("WIDTH"), field("HEIGHT")};
    return info;
}

}  // namespace tessaly::test
