#include "workspace/view_text.h"

#include "platform/number_text.h"
#include "workspace/roi_measure.h"

namespace halvex {

namespace {
constexpr uint32_t kBlack = rgb(0, 0, 0);
constexpr int kBottomLine = 496;

std::string meanAndSd(const RoiStats& s, int ctOffset) {
    return "ave " + formatFixed(static_cast<double>(s.mean) + ctOffset, "0.00") + " sd " + formatFixed(s.sd, "0.00");
}
}  // namespace

RoiReport reportRoi(const int16_t* image, int x0, int y0, int w, int h, int ctOffset) {
    const RoiStats s = measureRoi(image, x0, y0, w, h, ctOffset);
    RoiReport r;
    if (s.pixelCount == 0) {
        r.outside = true;
        return r;
    }
    const double meanCt = static_cast<double>(s.mean) + ctOffset;
    const int centreCt = s.centreStored + ctOffset;
    r.caption = "Ave=" + formatFixed(meanCt, "0.00") + " Center=" + formatFixed(centreCt, "0") +
                " max=" + formatFixed(s.maxCt, "0") + " mini=" + formatFixed(s.minCt, "0") +
                " SD=" + formatFixed(s.sd, "0.00") + str(static_cast<int16_t>(w)) + "x" +
                str(static_cast<int16_t>(h)) + "pixels" + formatFixed(x0, " 0") + formatFixed(y0, " 0");
    r.clipboard = formatFixed(meanCt, "0.00") + "\t" + formatFixed(s.sd, "0.00");
    r.viewText = meanAndSd(s, ctOffset);
    return r;
}

std::string roiViewText(const int16_t* image, int x0, int y0, int w, int h, int ctOffset) {
    if (w > 128 || h > 128) return {};
    const RoiStats s = measureRoi(image, x0, y0, w, h, ctOffset);
    return s.pixelCount == 0 ? std::string() : meanAndSd(s, ctOffset);
}

void printSliceOverlay(Canvas& view, const SliceInfo& e, int index, const std::string& roiText) {
    view.point(0, 0, kBlack);
    const std::string line = str(index + 1) + str(e.series) + " " + formatFixed(e.position, "0.00") + str(e.kV) +
                             strSingle(e.mA) + str(e.mAs) + formatFixed(e.rotationTime, " 0.00") +
                             formatFixed(e.thickness, " 0.0") + " " + e.kernel + formatFixed(e.dfov, " 0.0") +
                             (e.ctdi != 0 ? strSingle(e.ctdi) : std::string(" NA")) + " " + e.patientName +
                             lossyMark(e) + " ";
    if (line.size() + e.name.size() < 80) {
        view.print(line + e.name);
    } else {
        view.print(line);
        view.print(e.name.size() > 80 ? e.name.substr(e.name.size() - 80) : e.name);
    }
    view.point(0, kBottomLine, kBlack);
    view.print(roiText);
}

void printRoiText(Canvas& view, const std::string& roiText) {
    view.fillRect(0, kBottomLine, 127, 511, kBlack);
    view.setTextPosition(0, kBottomLine);
    view.print(roiText);
}

}  // namespace halvex
