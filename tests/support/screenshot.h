// Looking at the virtual screen: screenshots of the root window (ImageMagick), their pixels in
// C++, colour counts in a region, and where a window is (xdotool).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tessaly::test {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

// An RGB picture, row by row from the top left.
class Image {
  public:
    Image() = default;
    Image(int width, int height, std::vector<Rgb> pixels);

    // Reads any picture ImageMagick reads (through /usr/bin/convert). Throws std::runtime_error.
    static Image Load(const std::string& path);
    // Writes a PNG (through /usr/bin/convert), for a person to look at.
    void Save(const std::string& path) const;

    int Width() const { return width_; }
    int Height() const { return height_; }
    Rgb At(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * width_ + x]; }
    // The part inside `area`, clipped to the picture.
    Image Crop(const Rect& area) const;
    // How many pixels of `area` (clipped) satisfy `test`.
    int Count(const Rect& area, const std::function<bool(Rgb)>& test) const;

  private:
    int width_ = 0;
    int height_ = 0;
    std::vector<Rgb> pixels_;
};

// Parses a binary PPM (P6, maximum value 255). Throws std::runtime_error on anything else.
Image ParsePpm(const std::string& bytes);

// Saturated colours as the status painter uses them, with room for anti-aliasing.
bool IsBlue(Rgb pixel);
bool IsRed(Rgb pixel);

// How many pixels differ by more than `tolerance` in some channel between the same-sized areas
// `a` of `first` and `b` of `second`; -1 when the sizes differ.
int CountDifferences(const Image& first, const Rect& a, const Image& second, const Rect& b,
                     int tolerance = 0);

// Where a test keeps a picture for a person to look at: wine-artifacts/NAME under the working
// directory (the build tree's tests folder under ctest); NAME may hold folders, made when missing.
std::string ArtifactPath(const std::string& name);

// Screenshot of the whole root window of `display`, also saved as PNG at `savePath` when given.
Image TakeScreenshot(const std::string& display, const std::string& savePath = "");

// The first visible window whose name matches `name` (a regular expression for xdotool), and
// where it is on the screen: position and size of its client area.
struct WindowInfo {
    std::string id;
    std::string title;
    Rect geometry;
};
std::optional<WindowInfo> FindWindow(const std::string& display, const std::string& name);

}  // namespace tessaly::test
