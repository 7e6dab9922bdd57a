// The report's graphs, drawn with QPainter into images: curves with their
// interval bands on labelled axes with ticks at round values (a log axis
// writes its powers of ten with raised exponents), bars with error bars, and
// the mean slice with the objects outlined. The HTML and the PDF report take
// the same images.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <vector>

#include "evaluation/object_finder.h"

namespace halvex {

struct PlotCurve {
    QString label;
    std::vector<double> x, y, lo, hi;  // lo and hi may be empty: no band
    QColor colour;
    bool dashed = false;
};

struct PlotSpec {
    QString title, xLabel, yLabel;
    std::vector<PlotCurve> curves;
    bool logY = false;
    // The y range; both 0: from the data. The x range runs from 0 (or the
    // smallest x, when it is negative) to the largest x, rounded out to ticks.
    double yMin = 0, yMax = 0;
};

QImage plotCurves(const PlotSpec& spec, int width, int height);

// Bars with their intervals, side by side within groups named below them;
// the legend names each series once.
struct PlotBar {
    QString group, series;
    double value = 0, lo = 0, hi = 0;
    QColor colour;
};
QImage plotBars(const QString& title, const QString& yLabel, const std::vector<PlotBar>& bars, int width, int height);

// The mean slice (window width `width`, centre `centre`, HU) with every
// object outlined and labelled by its id.
QImage slicePicture(const std::vector<float>& meanHu, const std::vector<FoundObject>& objects, double width,
                    double centre, int side);

// The colours of the series' curves, one after the other.
QColor curveColour(size_t index);

}  // namespace halvex
