#include "platform/raster.h"

#include <png.h>

#include <algorithm>
#include <cmath>

namespace halvex {

uint32_t paletteColour(int index) {
    static constexpr std::array<uint32_t, 16> colours = {
        rgb(0, 0, 0),     rgb(0, 0, 128),   rgb(0, 128, 0),   rgb(0, 128, 128),
        rgb(128, 0, 0),   rgb(128, 0, 128), rgb(128, 128, 0), rgb(192, 192, 192),
        rgb(128, 128, 128), rgb(0, 0, 255), rgb(0, 255, 0),   rgb(0, 255, 255),
        rgb(255, 0, 0),   rgb(255, 0, 255), rgb(255, 255, 0), rgb(255, 255, 255)};
    return colours[static_cast<size_t>(index) & 15];
}

Canvas::Canvas(int width, int height)
    : image_(width, height), persistent_(width, height), scaleWidth_(width), scaleHeight_(height) {}

void Canvas::setScale(double left, double top, double right, double bottom) {
    scaleLeft_ = left;
    scaleTop_ = top;
    scaleWidth_ = right - left;
    scaleHeight_ = bottom - top;
    if (scaleWidth_ == 0) scaleWidth_ = 1;
    if (scaleHeight_ == 0) scaleHeight_ = 1;
}

void Canvas::resetScale() { setScale(0, 0, image_.width, image_.height); }

int Canvas::toPixelX(double x) const {
    return static_cast<int>(std::floor((x - scaleLeft_) / scaleWidth_ * image_.width));
}
int Canvas::toPixelY(double y) const {
    return static_cast<int>(std::floor((y - scaleTop_) / scaleHeight_ * image_.height));
}

void Canvas::plot(int x, int y, uint32_t colour) {
    ++revision_;
    if (x >= 0 && y >= 0 && x < image_.width && y < image_.height) image_.pixels[size_t(y) * image_.width + x] = colour;
}

void Canvas::clear() {
    image_ = persistent_;
    ++revision_;
    textX_ = textY_ = 0;
    printed_.clear();
}

void Canvas::makePersistent() { persistent_ = image_; }

void Canvas::point(double x, double y, uint32_t colour) {
    plot(toPixelX(x), toPixelY(y), colour);
    textX_ = x;
    textY_ = y;
}

void Canvas::line(double x1, double y1, double x2, double y2, uint32_t colour, int width, bool dotted) {
    int px1 = toPixelX(x1), py1 = toPixelY(y1), px2 = toPixelX(x2), py2 = toPixelY(y2);
    const int steps = std::max(std::abs(px2 - px1), std::abs(py2 - py1));
    const int half = std::max(width, 1) / 2;
    for (int i = 0; i <= steps; ++i) {
        if (dotted && (i / 2) % 2 == 1) continue;
        const int x = steps ? px1 + (px2 - px1) * i / steps : px1;
        const int y = steps ? py1 + (py2 - py1) * i / steps : py1;
        for (int dy = -half; dy <= half - (width % 2 == 0 ? 1 : 0); ++dy)
            for (int dx = -half; dx <= half - (width % 2 == 0 ? 1 : 0); ++dx) plot(x + dx, y + dy, colour);
    }
    textX_ = x2;
    textY_ = y2;
}

void Canvas::fillRect(double x1, double y1, double x2, double y2, uint32_t colour) {
    int ax = toPixelX(x1), ay = toPixelY(y1), bx = toPixelX(x2), by = toPixelY(y2);
    if (ax > bx) std::swap(ax, bx);
    if (ay > by) std::swap(ay, by);
    for (int y = std::max(ay, 0); y <= std::min(by, image_.height - 1); ++y)
        for (int x = std::max(ax, 0); x <= std::min(bx, image_.width - 1); ++x) plot(x, y, colour);
}

void Canvas::setTextPosition(double x, double y) {
    textX_ = x;
    textY_ = y;
}

void Canvas::print(const std::string& text) {
    const int x = toPixelX(textX_), y = toPixelY(textY_);
    printed_.push_back({x, y, text});
    ++revision_;
    if (textPainter_) textPainter_->paint(image_, x, y, text, foreColour_);
    const int lineHeight = textPainter_ ? textPainter_->lineHeight() : 16;
    // The next line starts at the left edge, one line further down.
    textX_ = scaleLeft_;
    textY_ += lineHeight * scaleHeight_ / image_.height;
}

void Canvas::blit8(const uint8_t* bottomUp, int width, int height, const std::array<uint32_t, 256>& palette) {
    const int w = std::min(width, image_.width), h = std::min(height, image_.height);
    ++revision_;
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = bottomUp + size_t(height - 1 - y) * width;
        uint32_t* out = &image_.pixels[size_t(y) * image_.width];
        for (int x = 0; x < w; ++x) out[x] = palette[row[x]];
    }
}

bool savePng(const RgbImage& image, const std::string& path) {
    std::vector<uint8_t> rgbRows;
    rgbRows.reserve(image.pixels.size() * 3);
    for (uint32_t p : image.pixels) rgbRows.insert(rgbRows.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});

    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    // libpng removes a file it could not finish, so a full disk leaves no
    // half-written picture behind.
    const bool written = png_image_write_to_file(&png, path.c_str(), 0, rgbRows.data(), 0, nullptr) != 0;
    png_image_free(&png);
    return written;
}

}  // namespace halvex
