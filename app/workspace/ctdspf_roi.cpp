// The ROI measurements of the main window.
#include "platform/number_text.h"
#include "workspace/CTDSPF.h"
#include "workspace/view_text.h"

namespace halvex {

void CTDSPF::ROICLC() {
    ui().clearClipboard();
    const RoiReport r = reportRoi(store_.workImage.data(), store_.roiLeft, store_.roiTop, store_.roiWidth,
                                  store_.roiHeight, store_.workCtOffset);
    if (r.outside) {
        setCaption("ROI outside the image");
        return;
    }
    setCaption(r.caption);
    ui().setClipboardText(r.clipboard);
    roiResultText_ = r.viewText;
    printRoiText(PIC1, roiResultText_);
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
    const std::string text = roiViewText(store_.workImage.data(), store_.roiLeft, store_.roiTop, store_.roiWidth,
                                         store_.roiHeight, store_.workCtOffset);
    if (!text.empty()) roiResultText_ = text;
}

}  // namespace halvex
