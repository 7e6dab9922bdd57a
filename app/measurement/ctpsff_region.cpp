// The region tools of the measurement window: the ROI's mean CT value, and
// its SD, over a slice range, and a line profile through the ROI of the
// slice on show.
#include <algorithm>
#include <cmath>

#include "measurement/CTPSFF.h"
#include "measurement/region_stats.h"
#include "platform/number_text.h"

namespace halvex {

namespace {
constexpr int kLastPaletteColour = 15;

bool roiInside(const EdgeRoi& r) {
    return r.x0 >= 0 && r.y0 >= 0 && r.w >= 0 && r.h >= 0 && r.x0 + r.w < kSide && r.y0 + r.h < kSide;
}
}  // namespace

void CTPSFF::regionValues(bool withSd) {
    CENADJ.setVisibleAt(0, false);
    CENADJ.setVisibleAt(1, false);
    FINESTP.setVisible(false);
    const EdgeRoi r = roi();
    if (!roiInside(r)) {
        ui().message("ROI error");
        return;
    }
    const auto range = askSliceRange();
    if (!range) return;
    const auto [first, last] = *range;
    const int c = store_.slices[static_cast<size_t>(first)].ctOffset;
    std::string text;
    double meanSum = 0, sdSum = 0;
    std::vector<int16_t> pixels;
    for (int i = first; i <= last; ++i) {
        setCaption(trimmedInt(i));
        if (!readListedSlice(i, pixels)) return;
        // Summed about the ROI's first pixel, which lies near its mean.
        const PixelSums sums = roiSums(pixels.data(), r, pixels[size_t(r.y0) * kSide + r.x0]);
        const double m = sums.mean();
        meanSum += m;
        text += formatFixed(store_.slices[static_cast<size_t>(i)].position, "0.000") + "\t" + formatFixed(c + m, "0.000");
        if (withSd) {
            const double s = sums.sd();
            sdSum += s;
            text += "\t" + formatFixed(s, "0.000");
        }
        text += kLineEnd;
    }
    const double k = last - first + 1, average = c + meanSum / k;
    if (withSd) {
        text += "SD ave.\t" + formatFixed(sdSum / k, "0.000") + kLineEnd;
        text += "Ave.\t" + formatFixed(average, "0.000") + kLineEnd;
        setCaption("Average SD= " + formatFixed(sdSum / k, "0.000") + " Ave.= " + formatFixed(average, "0.000"));
    } else {
        text += "ave.\t" + formatFixed(average, "0.000") + kLineEnd;
        setCaption("Ave=" + formatFixed(average, "0.000"));
    }
    ui().setClipboardText(text);
}

void CTPSFF::PROFMES_Click() {
    const EdgeRoi r = roi();
    if (store_.sliceCount <= 0) return;
    if (!roiInside(r)) {
        ui().message("ROI error");
        return;
    }
    // Down the ROI when it is taller than wide, else across; over dx by dy
    // pixels (one fewer each way than the inclusive ROI).
    const bool down = r.w < r.h;
    const int count = down ? r.h : r.w, across = down ? r.w : r.h;
    if (count < 1 || across < 1) {
        ui().message("Profile: the ROI must be at least 2 pixels wide and high.");
        return;
    }
    const int c = store_.workCtOffset;
    regionProfile_.assign(static_cast<size_t>(count), 0.0f);
    float highest = -9999.0f, lowest = 9999.0f;
    std::string text;
    for (int k = 0; k < count; ++k) {
        double sum = 0;
        for (int m = 0; m < across; ++m) {
            const int row = down ? r.y0 + k : r.y0 + m, col = down ? r.x0 + m : r.x0 + k;
            sum += store_.workImage[size_t(row) * kSide + col] + c;
        }
        const float v = static_cast<float>(sum / across);
        regionProfile_[static_cast<size_t>(k)] = v;
        highest = std::max(highest, v), lowest = std::min(lowest, v);
        text += formatFixed(v, "0.00") + kLineEnd;
    }
    setCaption(trimmedInt(count) + " points Max= " + formatFixed(highest, "0.00") +
               " Mini= " + formatFixed(lowest, "0.00"));
    ui().setClipboardText(text);

    const std::string answer = ui().prompt("Data No.= ", "1");
    if (answer.empty()) return;
    const int slot = std::clamp(textToInt(answer) - 1, 0, 6);
    const double n = count;
    // A flat profile still gets a graph of some height.
    const double span = highest > lowest ? 2.0 * (highest - lowest) : 1.0;
    if (slot == 0) {
        setUserScale(-0.15 * n, 1.25 * n, highest + 0.35 * span, -1.2 * span);
        graph_.clear();
        const uint32_t frame = paletteColour(kFrameColour);
        const double base = lowest - 0.25 * span;
        graph_.line(0, base, n, base, frame, 2);
        graph_.line(0, base, 0, base + span, frame, 2);
        graph_.setForeColour(frame);
        auto label = [this](double tx, double ty, const std::string& s) {
            graph_.setTextPosition(tx, ty);
            graph_.print(s);
        };
        label(0.1 * n, highest + 0.26 * span, "Profile");
        label(-0.09 * n, highest + 0.25 * span, formatFixed(highest + 0.25 * span, "0"));
        label(-0.09 * n, base, formatFixed(base, "0"));
        label(0.97 * n, lowest - 0.26 * span, formatFixed(n - 1, "0"));
    }
    const uint32_t colour = paletteColour(std::min(10 + slot, kLastPaletteColour));
    for (int k = 1; k < count; ++k)
        graph_.line(k - 1, regionProfile_[size_t(k - 1)], k, regionProfile_[size_t(k)], colour, 2);
}

}  // namespace halvex
