// Pixel images and the immediate-mode drawing of a picture box.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace halvex {

// 32-bit 0xFFRRGGBB pixels, row 0 at the top.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    RgbImage() = default;
    RgbImage(int w, int h, uint32_t fill = 0xFF000000u) : width(w), height(h), pixels(size_t(w) * h, fill) {}
    uint32_t at(int x, int y) const { return pixels[size_t(y) * width + x]; }
};

// Writes an image as a compressed 8-bit RGB PNG; false when the file can't
// be written.
bool savePng(const RgbImage& image, const std::string& path);

inline constexpr uint32_t rgb(int r, int g, int b) {
    return 0xFF000000u | (uint32_t(r & 255) << 16) | (uint32_t(g & 255) << 8) | uint32_t(b & 255);
}

// The 16 standard colours of the drawing palette (0 black ... 15 bright white).
uint32_t paletteColour(int index);

// Renders text glyphs; without one the canvas only records what was printed.
class TextPainter {
public:
    virtual ~TextPainter() = default;
    virtual void paint(RgbImage& image, int x, int y, const std::string& text, uint32_t colour) = 0;
    virtual int lineHeight() const = 0;
};

// A picture box: drawing goes into `image`; makePersistent() keeps the
// current drawing as the picture that clear() returns to.
class Canvas {
public:
    Canvas(int width, int height);

    const RgbImage& image() const { return image_; }
    // Grows with every change of the drawing, so a view knows when to repaint.
    uint64_t revision() const { return revision_; }
    void setTextPainter(std::shared_ptr<TextPainter> painter) { textPainter_ = std::move(painter); }

    // User coordinates: (left, top) maps to the top-left pixel and
    // (right, bottom) to the bottom-right one.
    void setScale(double left, double top, double right, double bottom);
    void resetScale();
    // The pixel a user coordinate falls on, and the user coordinate of a
    // pixel's top-left corner.
    int toPixelX(double x) const;
    int toPixelY(double y) const;
    double toUserX(double px) const { return scaleLeft_ + px * scaleWidth_ / image_.width; }
    double toUserY(double py) const { return scaleTop_ + py * scaleHeight_ / image_.height; }

    void clear();
    void makePersistent();
    void point(double x, double y, uint32_t colour);
    void line(double x1, double y1, double x2, double y2, uint32_t colour, int width = 1, bool dotted = false);
    void fillRect(double x1, double y1, double x2, double y2, uint32_t colour);
    void setTextPosition(double x, double y);
    // Prints one line at the text position and moves it to the next line.
    void print(const std::string& text);
    void setForeColour(uint32_t colour) { foreColour_ = colour; }

    // Draws an 8-bit bottom-up bitmap through its 256-entry palette at (0, 0).
    void blit8(const uint8_t* bottomUp, int width, int height, const std::array<uint32_t, 256>& palette);

    // Every text printed since the last clear, with its pixel position.
    struct PrintedText {
        int x, y;
        std::string text;
    };
    const std::vector<PrintedText>& printed() const { return printed_; }

private:
    void plot(int x, int y, uint32_t colour);

    RgbImage image_;
    RgbImage persistent_;
    double scaleLeft_ = 0, scaleTop_ = 0, scaleWidth_, scaleHeight_;
    double textX_ = 0, textY_ = 0;
    uint32_t foreColour_ = rgb(255, 255, 255);
    std::shared_ptr<TextPainter> textPainter_;
    std::vector<PrintedText> printed_;
    uint64_t revision_ = 0;
};

}  // namespace halvex
