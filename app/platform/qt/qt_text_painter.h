// Text glyphs for the canvases, drawn with Qt.
#pragma once

#include <QImage>

#include "platform/raster.h"

namespace halvex {

class QtTextPainter : public TextPainter {
public:
    void paint(RgbImage& image, int x, int y, const std::string& text, uint32_t colour) override;
    int lineHeight() const override { return 16; }
};

// A copy of an image as a QImage.
QImage toQImage(const RgbImage& image);

}  // namespace halvex
