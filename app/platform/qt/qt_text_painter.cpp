#include "platform/qt/qt_text_painter.h"

#include <QFont>
#include <QPainter>

namespace halvex {

void QtTextPainter::paint(RgbImage& image, int x, int y, const std::string& text, uint32_t colour) {
    // Paint straight into the canvas pixels.
    QImage target(reinterpret_cast<uchar*>(image.pixels.data()), image.width, image.height, image.width * 4,
                  QImage::Format_RGB32);
    QPainter painter(&target);
    QFont font("Monospace");
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(10);  // an 80-character information line fits the 512-pixel view
    painter.setFont(font);
    painter.setPen(QColor::fromRgb(colour));
    painter.drawText(QRect(x, y, image.width - x, lineHeight()), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromStdString(text));
}

QImage toQImage(const RgbImage& image) {
    return QImage(reinterpret_cast<const uchar*>(image.pixels.data()), image.width, image.height, image.width * 4,
                  QImage::Format_RGB32)
        .copy();
}

}  // namespace halvex
