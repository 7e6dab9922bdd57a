// The ROI measurements of the main window.
#include "platform/number_text.h"
#include "workspace/CTDSPF.h"
#include "workspace/roi_measure.h"

namespace halvex {

void CTDSPF::ROICLC() {
    ui().clearClipboard();
    const int x0 = store_.roiLeft, y0 = store_.roiTop, w = store_.roiWidth, h = store_.roiHeight;
    const RoiStats s = measureRoi(store_.workImage.data(), x0, y0, w, h, store_.workCtOffset);
    if (s.pixelCount == 0) {
        setCaption("ROI outside the image");
        return;
    }
    const double meanCt = static_cast<double>(s.mean) + store_.workCtOffset;
    const int centreCt = s.centreStored + store_.workCtOffset;
    setCaption("Ave=" + formatFixed(meanCt, "0.00") + " Center=" + formatFixed(centreCt, "0") +
               " max=" + formatFixed(s.maxCt, "0") + " mini=" + formatFixed(s.minCt, "0") +
               " SD=" + formatFixed(s.sd, "0.00") + str(static_cast<int16_t>(w)) + "x" +
               str(static_cast<int16_t>(h)) + "pixels" + formatFixed(x0, " 0") + formatFixed(y0, " 0"));
    ui().setClipboardText(formatFixed(meanCt, "0.00") + "\t" + formatFixed(s.sd, "0.00"));
    roiResultText_ = "ave " + formatFixed(meanCt, "0.00") + " sd " + formatFixed(s.sd, "0.00");
    PIC1.fillRect(0, 496, 127, 511, rgb(0, 0, 0));
    PIC1.setTextPosition(0, 496);
    PIC1.print(roiResultText_);
}

void CTDSPF::placeRoi(int16_t left, int16_t top, int16_t width, int16_t height) {
    store_.roiLeft = left;
    store_.roiTop = top;
    store_.roiWidth = width;
    store_.roiHeight = height;
    store_.newRoi = 1;
    roiDefined_ = 1;
    SHDRAW(0);
    ROICLC();
}

void CTDSPF::ROIVALUE() {
    if (store_.roiWidth > 128 || store_.roiHeight > 128) return;
    const RoiStats s = measureRoi(store_.workImage.data(), store_.roiLeft, store_.roiTop, store_.roiWidth,
                                  store_.roiHeight, store_.workCtOffset);
    if (s.pixelCount == 0) return;
    roiResultText_ = "ave " + formatFixed(static_cast<double>(s.mean) + store_.workCtOffset, "0.00") + " sd " +
                     formatFixed(s.sd, "0.00");
}

}  // namespace halvex
