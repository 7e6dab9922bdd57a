#include "platform/raster.h"

#include <algorithm>
#include <cmath>
#include <fstream>

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

namespace {

uint32_t crc32(const uint8_t* data, size_t n, uint32_t crc = 0) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void putBigEndian32(std::vector<uint8_t>& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
}

void writeChunk(std::ofstream& file, const char* type, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> chunk;
    putBigEndian32(chunk, static_cast<uint32_t>(data.size()));
    chunk.insert(chunk.end(), type, type + 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    putBigEndian32(chunk, crc32(chunk.data() + 4, chunk.size() - 4));
    file.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
}

}  // namespace

bool savePng(const RgbImage& image, const std::string& path) {
    std::ofstream file(path, std::ios::binary);
    if (!file) return false;
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    file.write(reinterpret_cast<const char*>(signature), 8);

    std::vector<uint8_t> header;
    putBigEndian32(header, static_cast<uint32_t>(image.width));
    putBigEndian32(header, static_cast<uint32_t>(image.height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
    writeChunk(file, "IHDR", header);

    // Raw scanlines (filter byte 0) in stored deflate blocks of at most 65535 bytes.
    std::vector<uint8_t> raw;
    raw.reserve(size_t(image.height) * (1 + 3 * image.width));
    for (int y = 0; y < image.height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < image.width; ++x) {
            const uint32_t p = image.at(x, y);
            raw.insert(raw.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
        }
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    for (size_t pos = 0; pos < raw.size() || pos == 0;) {
        const size_t n = std::min<size_t>(65535, raw.size() - pos);
        const bool last = pos + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.insert(z.end(), {uint8_t(n), uint8_t(n >> 8), uint8_t(~n), uint8_t(~n >> 8)});
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(pos), raw.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
        if (last) break;
    }
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    putBigEndian32(z, (b << 16) | a);
    writeChunk(file, "IDAT", z);
    writeChunk(file, "IEND", {});
    return static_cast<bool>(file);
}

}  // namespace halvex
