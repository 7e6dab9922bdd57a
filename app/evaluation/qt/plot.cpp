#include "evaluation/qt/plot.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <limits>

namespace halvex {

namespace {

constexpr int kLeft = 72, kRight = 18, kTop = 36, kBottom = 52;

// A step of 1, 2 or 5 times a power of ten that cuts `span` into about
// `parts` pieces.
double niceStep(double span, int parts) {
    if (!(span > 0)) return 1;
    const double raw = span / parts, power = std::pow(10.0, std::floor(std::log10(raw)));
    // A range that is a whole number of steps (1.2 in steps of 0.2) must not
    // miss its step by a rounding.
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw * (1 - 1e-9)) return m * power;
    return 10 * power;
}

QString tickText(double v, double step) {
    const int digits = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    return QString::number(std::fabs(v) < step * 1e-6 ? 0.0 : v, 'f', digits);
}

// Maps data to the pixels of the plot area.
struct Axes {
    QRectF area;
    double x0, x1, y0, y1;
    bool logY;
    QPointF at(double x, double y) const {
        const double fy = logY ? (std::log10(std::max(y, 1e-30)) - y0) / (y1 - y0) : (y - y0) / (y1 - y0);
        return {area.left() + (x - x0) / (x1 - x0) * area.width(), area.bottom() - fy * area.height()};
    }
};

void drawTitle(QPainter& p, const QString& title, int width) {
    QFont f = p.font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.15);
    p.setFont(f);
    p.drawText(QRectF(0, 4, width, kTop - 8), Qt::AlignCenter, title);
    f.setBold(false);
    f.setPointSizeF(f.pointSizeF() / 1.15);
    p.setFont(f);
}

// "10" with the exponent raised and smaller.
void drawPower(QPainter& p, const QPointF& rightMiddle, int exponent) {
    const QFontMetricsF m(p.font());
    QFont small = p.font();
    small.setPointSizeF(p.font().pointSizeF() * 0.75);
    const QString e = QString::number(exponent);
    const double ew = QFontMetricsF(small).horizontalAdvance(e), bw = m.horizontalAdvance("10");
    const double x = rightMiddle.x() - ew - bw, y = rightMiddle.y() + m.ascent() / 2 - 1;
    p.drawText(QPointF(x, y), "10");
    const QFont kept = p.font();
    p.setFont(small);
    p.drawText(QPointF(x + bw, y - m.ascent() * 0.45), e);
    p.setFont(kept);
}

void drawAxes(QPainter& p, const Axes& a, const QString& xLabel, const QString& yLabel) {
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(a.area);
    const QFontMetricsF m(p.font());
    const double xs = niceStep(a.x1 - a.x0, 6);
    for (double x = std::ceil(a.x0 / xs - 1e-9) * xs; x <= a.x1 + xs * 1e-6; x += xs) {
        const QPointF q = a.at(x, a.logY ? std::pow(10.0, a.y0) : a.y0);
        p.setPen(QPen(QColor(225, 225, 225), 1));
        p.drawLine(QPointF(q.x(), a.area.top()), QPointF(q.x(), a.area.bottom()));
        p.setPen(Qt::black);
        p.drawLine(q, q + QPointF(0, 5));
        const QString t = tickText(x, xs);
        p.drawText(QPointF(q.x() - m.horizontalAdvance(t) / 2, q.y() + 7 + m.ascent()), t);
    }
    if (a.logY) {
        for (int e = static_cast<int>(a.y0); e <= static_cast<int>(a.y1); ++e) {
            const QPointF q = a.at(a.x0, std::pow(10.0, e));
            p.setPen(QPen(QColor(225, 225, 225), 1));
            p.drawLine(QPointF(a.area.left(), q.y()), QPointF(a.area.right(), q.y()));
            p.setPen(Qt::black);
            p.drawLine(q, q - QPointF(5, 0));
            drawPower(p, q - QPointF(8, 0), e);
        }
    } else {
        const double ys = niceStep(a.y1 - a.y0, 6);
        for (double y = std::ceil(a.y0 / ys - 1e-9) * ys; y <= a.y1 + ys * 1e-6; y += ys) {
            const QPointF q = a.at(a.x0, y);
            p.setPen(QPen(QColor(225, 225, 225), 1));
            p.drawLine(QPointF(a.area.left(), q.y()), QPointF(a.area.right(), q.y()));
            p.setPen(Qt::black);
            p.drawLine(q, q - QPointF(5, 0));
            const QString t = tickText(y, ys);
            p.drawText(QPointF(q.x() - 8 - m.horizontalAdvance(t), q.y() + m.ascent() / 2 - 1), t);
        }
    }
    p.drawText(QRectF(a.area.left(), a.area.bottom() + 24, a.area.width(), m.height() + 4), Qt::AlignCenter, xLabel);
    p.save();
    p.translate(14, a.area.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-a.area.height() / 2, -m.height() / 2 - 2, a.area.height(), m.height() + 4), Qt::AlignCenter, yLabel);
    p.restore();
}

void drawLegend(QPainter& p, const QRectF& area, const std::vector<PlotCurve>& curves) {
    if (curves.size() < 2 && (curves.empty() || curves.front().label.isEmpty())) return;
    const QFontMetricsF m(p.font());
    double width = 0;
    for (const PlotCurve& c : curves) width = std::max(width, m.horizontalAdvance(c.label));
    const double row = m.height() + 2;
    const QRectF box(area.right() - width - 46, area.top() + 6, width + 40, row * curves.size() + 8);
    p.setPen(QPen(QColor(160, 160, 160), 1));
    p.setBrush(QColor(255, 255, 255, 230));
    p.drawRect(box);
    p.setBrush(Qt::NoBrush);
    for (size_t i = 0; i < curves.size(); ++i) {
        const double y = box.top() + 4 + row * (i + 0.5);
        p.setPen(QPen(curves[i].colour, 2, curves[i].dashed ? Qt::DashLine : Qt::SolidLine));
        p.drawLine(QPointF(box.left() + 6, y), QPointF(box.left() + 28, y));
        p.setPen(Qt::black);
        p.drawText(QPointF(box.left() + 34, y + m.ascent() / 2 - 1), curves[i].label);
    }
}

QImage blankImage(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return image;
}

}  // namespace

QColor curveColour(size_t index) {
    static const QColor kColours[] = {QColor(0, 114, 178), QColor(213, 94, 0), QColor(0, 158, 115),
                                      QColor(204, 121, 167), QColor(230, 159, 0), QColor(86, 180, 233),
                                      QColor(120, 120, 120)};
    return kColours[index % (sizeof kColours / sizeof kColours[0])];
}

QImage plotCurves(const PlotSpec& spec, int width, int height) {
    QImage image = blankImage(width, height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawTitle(p, spec.title, width);
    double xMin = 0, xMax = 0, yLo = std::numeric_limits<double>::max(), yHi = std::numeric_limits<double>::lowest();
    for (const PlotCurve& c : spec.curves)
        for (size_t i = 0; i < c.x.size(); ++i) {
            xMin = std::min(xMin, c.x[i]);
            xMax = std::max(xMax, c.x[i]);
            for (double v : {c.y[i], i < c.lo.size() ? c.lo[i] : c.y[i], i < c.hi.size() ? c.hi[i] : c.y[i]}) {
                if (spec.logY && !(v > 0)) continue;
                yLo = std::min(yLo, v), yHi = std::max(yHi, v);
            }
        }
    if (yLo > yHi) yLo = 0, yHi = 1;
    if (spec.yMin != 0 || spec.yMax != 0) yLo = spec.yMin, yHi = std::max(spec.yMax, yHi);
    const double xs = niceStep(xMax - xMin, 6);
    const double x0 = std::floor(xMin / xs + 1e-9) * xs;
    Axes a{QRectF(kLeft, kTop, width - kLeft - kRight, height - kTop - kBottom), x0,
           std::max(x0 + xs, std::ceil(xMax / xs - 1e-9) * xs), 0, 1, spec.logY};
    if (spec.logY) {
        a.y0 = std::floor(std::log10(yLo));
        a.y1 = std::max(a.y0 + 1, std::ceil(std::log10(yHi)));
    } else {
        const double ys = niceStep(yHi - yLo, 6);
        a.y0 = std::floor(yLo / ys) * ys;
        a.y1 = std::max(a.y0 + ys, std::ceil(yHi / ys) * ys);
    }
    drawAxes(p, a, spec.xLabel, spec.yLabel);
    // Curves and bands stay inside the plot area.
    p.save();
    p.setClipRect(a.area);
    for (const PlotCurve& c : spec.curves) {
        if (c.lo.size() == c.x.size() && c.hi.size() == c.x.size() && !c.x.empty()) {
            QPolygonF band;
            for (size_t i = 0; i < c.x.size(); ++i) band << a.at(c.x[i], c.hi[i]);
            for (size_t i = c.x.size(); i-- > 0;) band << a.at(c.x[i], c.lo[i]);
            QColor fill = c.colour;
            fill.setAlpha(c.dashed ? 40 : 60);
            p.setPen(Qt::NoPen);
            p.setBrush(fill);
            p.drawPolygon(band);
        }
    }
    p.setBrush(Qt::NoBrush);
    for (const PlotCurve& c : spec.curves) {
        QPainterPath path;
        for (size_t i = 0; i < c.x.size(); ++i) {
            if (spec.logY && !(c.y[i] > 0)) continue;
            if (path.elementCount() == 0) path.moveTo(a.at(c.x[i], c.y[i]));
            else path.lineTo(a.at(c.x[i], c.y[i]));
        }
        p.setPen(QPen(c.colour, 2, c.dashed ? Qt::DashLine : Qt::SolidLine));
        p.drawPath(path);
    }
    p.restore();
    drawLegend(p, a.area, spec.curves);
    return image;
}

QImage plotBars(const QString& title, const QString& yLabel, const std::vector<PlotBar>& bars, int width, int height) {
    QImage image = blankImage(width, height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawTitle(p, title, width);
    // The groups in their first order, and each one's bars.
    std::vector<QString> groups;
    for (const PlotBar& b : bars)
        if (std::find(groups.begin(), groups.end(), b.group) == groups.end()) groups.push_back(b.group);
    size_t perGroup = 1;
    for (const QString& g : groups)
        perGroup = std::max<size_t>(perGroup, std::count_if(bars.begin(), bars.end(), [&](const PlotBar& b) { return b.group == g; }));
    double lo = 0, hi = 0;
    for (const PlotBar& b : bars) lo = std::min({lo, b.lo, b.value}), hi = std::max({hi, b.hi, b.value});
    if (!(hi > lo)) hi = lo + 1;
    const double ys = niceStep(hi - lo, 6);
    const QFontMetricsF m(p.font());
    const QRectF area(kLeft, kTop, width - kLeft - kRight, height - kTop - kBottom - m.height());
    const Axes a{area, 0, static_cast<double>(std::max<size_t>(groups.size(), 1)), std::floor(lo / ys) * ys,
                 std::max(ys, std::ceil(hi / ys) * ys), false};
    for (double y = a.y0; y <= a.y1 + ys * 1e-6; y += ys) {
        const QPointF q = a.at(0, y);
        p.setPen(QPen(QColor(225, 225, 225), 1));
        p.drawLine(QPointF(area.left(), q.y()), QPointF(area.right(), q.y()));
        p.setPen(Qt::black);
        p.drawLine(q, q - QPointF(5, 0));
        const QString t = tickText(y, ys);
        p.drawText(QPointF(q.x() - 8 - m.horizontalAdvance(t), q.y() + m.ascent() / 2 - 1), t);
    }
    p.setPen(Qt::black);
    p.drawRect(area);
    std::vector<PlotCurve> legend;
    for (size_t g = 0; g < groups.size(); ++g) {
        size_t k = 0;
        for (const PlotBar& b : bars) {
            if (b.group != groups[g]) continue;
            // The group's bars share 80 % of its width.
            const double slot = 0.8 / perGroup, left = g + 0.1 + k * slot;
            const QPointF top = a.at(left + 0.1 * slot, b.value), base = a.at(left + 0.9 * slot, 0);
            p.fillRect(QRectF(top, base).normalized(), b.colour);
            const double mid = a.at(left + 0.5 * slot, 0).x();
            const QPointF l(mid, a.at(0, b.lo).y()), h(mid, a.at(0, b.hi).y());
            p.setPen(QPen(Qt::black, 1.5));
            p.drawLine(l, h);
            p.drawLine(QPointF(mid - 5, l.y()), QPointF(mid + 5, l.y()));
            p.drawLine(QPointF(mid - 5, h.y()), QPointF(mid + 5, h.y()));
            if (std::none_of(legend.begin(), legend.end(), [&](const PlotCurve& c) { return c.label == b.series; }))
                legend.push_back({b.series, {}, {}, {}, {}, b.colour, false});
            ++k;
        }
        p.setPen(Qt::black);
        p.drawText(QRectF(a.at(g, 0).x(), area.bottom() + 4, area.width() / groups.size(), 2 * m.height() + 4),
                   Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, groups[g]);
    }
    drawLegend(p, area, legend);
    p.save();
    p.translate(14, area.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-area.height() / 2, -m.height() / 2 - 2, area.height(), m.height() + 4), Qt::AlignCenter, yLabel);
    p.restore();
    return image;
}

QImage slicePicture(const std::vector<float>& meanHu, const std::vector<FoundObject>& objects, double width,
                    double centre, int side) {
    constexpr int kSlice = 512;
    QImage grey(kSlice, kSlice, QImage::Format_RGB32);
    for (int y = 0; y < kSlice; ++y) {
        auto* row = reinterpret_cast<QRgb*>(grey.scanLine(y));
        for (int x = 0; x < kSlice; ++x) {
            const double v = (meanHu[size_t(y) * kSlice + x] - (centre - width / 2)) / width;
            const int g = static_cast<int>(std::clamp(v, 0.0, 1.0) * 255 + 0.5);
            row[x] = qRgb(g, g, g);
        }
    }
    QImage image = grey.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = static_cast<double>(side) / kSlice;
    // Pixel (c, r) has its centre at (c + 0.5, r + 0.5) on the picture's grid.
    auto at = [s](double x, double y) { return QPointF((x + 0.5) * s, (y + 0.5) * s); };
    for (const FoundObject& o : objects) {
        QColor colour;
        switch (o.kind) {
            case ObjectKind::Body: colour = QColor(255, 215, 0); break;
            case ObjectKind::Uniform: colour = QColor(0, 200, 255); break;
            case ObjectKind::Insert: colour = QColor(255, 70, 70); break;
            case ObjectKind::Wire: colour = QColor(230, 80, 255); break;
            case ObjectKind::ZObject: colour = QColor(60, 220, 90); break;
        }
        p.setPen(QPen(colour, 1.5, o.kind == ObjectKind::ZObject ? Qt::DashLine : Qt::SolidLine));
        const QPointF c = at(o.cx, o.cy);
        const double r = std::max(o.radiusPx, o.kind == ObjectKind::Wire ? 4.0 : 0.0) * s;
        if (o.kind == ObjectKind::Uniform) p.drawRect(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r));
        else p.drawEllipse(c, r, r);
        if (o.kind == ObjectKind::Body) continue;
        p.setPen(colour);
        p.drawText(c + QPointF(r + 3, -r + 10), QString::fromStdString(o.id));
    }
    return image;
}

}  // namespace halvex
