#include "compare/CTDSP2.h"

#include <algorithm>
#include <cmath>

#include "platform/lumvek_binding.h"
#include "platform/number_text.h"
#include "workspace/view_text.h"

namespace halvex {

namespace {
constexpr float kSamePosition = 0.001f;  // mm
}  // namespace

CTDSP2::CTDSP2(ImageStore& store, Ui& ui, CommandGuard& guard) : WindowLogic("CTDSP2", ui, guard), store_(store) {
    for (Control* c : std::initializer_list<Control*>{&HS1, &Label1, &WWTX, &WCTX, &WWSET, &WWLBL, &WLLBL, &SH1, &LH1,
                                                       &RH1, &REWIMG, &FFIMG, &SAMESP, &QSAMESP, &SAMEROI, &SAMEWW})
        add(*c);
    HS1.onChange = [this] { HS1_Change(); };
    WWTX.onDoubleClick = [this] { WWDSP(); };
    WCTX.onDoubleClick = [this] { WWDSP(); };
    WWSET.onClick = [this] { WWSET_Click(); };
    REWIMG.onClick = [this] { REWIMG_Click(); };
    FFIMG.onClick = [this] { FFIMG_Click(); };
    SAMESP.onClick = [this] { SAMESP_Click(); };
    QSAMESP.onClick = [this] { QSAMESP_Click(); };
    SAMEROI.onClick = [this] { SAMEROI_Click(); };
    SAMEWW.onClick = [this] { SAMEWW_Click(); };
    m_CWheel.MouseWheel = [this](int16_t direction) { wheel(direction); };
    store_.sliceScrollBars.push_back(&HS1);
}

void CTDSP2::Form_Load() {
    NEGALUT(0);
    roi_ = {240, 240, 50, 50};
    SHDRAW(0);
    SH1.setVisible(true);
    LH1.setVisible(true);
    RH1.setVisible(true);
    int16_t hooked = 0;
    m_CWheel.Initialize(viewHandle(), hooked);
    setCaption("Dual");
    loaded_ = true;
}

void CTDSP2::Form_Unload() {
    m_CWheel.Terminate();
    ui().showWindow(name(), false);
    loaded_ = false;
}

void CTDSP2::show(int16_t mainWidth, int16_t mainCentre) {
    if (!loaded_) Form_Load();
    ui().showWindow(name(), true);
    HS1.setMinimum(0);
    HS1.setMaximum(std::max(store_.sliceCount - 1, 0));
    store_.windowWidth = mainWidth;
    store_.windowCentre = mainCentre;
    WWTX.setText(trimmedInt(mainWidth));
    WCTX.setText(trimmedInt(mainCentre));
    store_.dualCurrentSlice = store_.currentSlice;
    store_.dualWindowWidth = mainWidth;
    store_.dualWindowCentre = mainCentre;
    if (store_.sliceCount <= 0) return;
    HS1.setValue(store_.dualCurrentSlice);
    IMGDSP(store_.dualCurrentSlice);
}

void CTDSP2::IMGDSP(int16_t index) {
    // -1 and 9999 only redraw.
    if (index >= 0 && index < store_.sliceCount) {
        const SliceInfo& entry = store_.slices[static_cast<size_t>(index)];
        readSlicePixels(store_, entry, workImage_.data());
        ctOffset_ = entry.ctOffset;
    }
    WWDSP();
    PIC1.makePersistent();
}

void CTDSP2::WWDSP() {
    store_.dualWindowWidth = textToInt16(WWTX.text());
    store_.dualWindowCentre = textToInt16(WCTX.text());
    if (store_.zoomOn) {
        LUMVEK(ct2trn2x)(workImage_.data(), displayBytes_.data(), store_.dualWindowWidth, store_.dualWindowCentre,
                         ctOffset_, zoomOriginX_, zoomOriginY_);
    } else {
        zoomOriginX_ = zoomOriginY_ = 0;
        LUMVEK(ct2trn)(workImage_.data(), displayBytes_.data(), store_.dualWindowWidth, store_.dualWindowCentre,
                       ctOffset_);
    }
    PIC1.blit8(displayBytes_.data(), kSide, kSide, palette_);
}

void CTDSP2::OVERLAY() {
    const int i = std::clamp<int>(store_.dualCurrentSlice, 0, kMaxSlices - 1);
    printSliceOverlay(PIC1, store_.slices[static_cast<size_t>(i)], i, roiText_);
}

void CTDSP2::placeCornerMarks() {
    LH1.move(SH1.left(), SH1.top());
    RH1.move(SH1.left() + SH1.width() - RH1.width(), SH1.top() + SH1.height() - RH1.height());
}

void CTDSP2::SHDRAW(int16_t mode) {
    const int f = store_.zoomOn + 1;
    if (mode == 0) {
        SH1.place((roi_[0] - zoomOriginX_) * f, (roi_[1] - zoomOriginY_) * f, f * roi_[2], f * roi_[3]);
    } else {
        roi_[0] = roundHalfEven16(SH1.left() / f + zoomOriginX_);
        roi_[1] = roundHalfEven16(SH1.top() / f + zoomOriginY_);
        roi_[2] = roundHalfEven16(SH1.width() / f);
        roi_[3] = roundHalfEven16(SH1.height() / f);
        roiDefined_ = 1;
        setCaption(str(roi_[2]) + "x" + str(roi_[3]) + "pixels");
    }
    placeCornerMarks();
}

void CTDSP2::ROICLC() {
    ui().clearClipboard();
    const RoiReport r = reportRoi(workImage_.data(), roi_[0], roi_[1], roi_[2], roi_[3], ctOffset_);
    if (r.outside) {
        setCaption("ROI outside the image");
        return;
    }
    setCaption(r.caption);
    ui().setClipboardText(r.clipboard);
    roiText_ = r.viewText;
    printRoiText(PIC1, roiText_);
}

void CTDSP2::ROIVALUE() {
    const std::string text = roiViewText(workImage_.data(), roi_[0], roi_[1], roi_[2], roi_[3], ctOffset_);
    if (!text.empty()) roiText_ = text;
}

void CTDSP2::NEGALUT(int16_t flag) {
    for (int i = 0; i < 256; ++i) {
        const int g = flag == 1 ? 255 - i : i;
        palette_[static_cast<size_t>(i)] = rgb(g, g, g);
    }
}

void CTDSP2::HS1_Change() {
    if (store_.sliceCount < 2) return;
    Label1.setCaption(trimmedInt(HS1.value() + 1));
    store_.dualCurrentSlice = static_cast<int16_t>(HS1.value());
    IMGDSP(store_.dualCurrentSlice);
    ROIVALUE();
    OVERLAY();
}

void CTDSP2::WWSET_Click() {
    store_.dualWindowWidth = textToInt16(ui().prompt(" WW = ", str(store_.dualWindowWidth)));
    store_.dualWindowCentre = textToInt16(ui().prompt(" WC = ", str(store_.dualWindowCentre)));
    WWTX.setText(trimmedInt(store_.dualWindowWidth));
    WCTX.setText(trimmedInt(store_.dualWindowCentre));
    WWDSP();
}

void CTDSP2::showSlice(int index) {
    store_.dualCurrentSlice = static_cast<int16_t>(index);
    HS1.setValue(index);
}

void CTDSP2::REWIMG_Click() {
    if (store_.sliceCount <= 0) return;
    const int k = store_.dualCurrentSlice / 10;
    showSlice(k < 1 ? 0 : 10 * k - 1);
}

void CTDSP2::FFIMG_Click() {
    if (store_.sliceCount <= 0) return;
    showSlice(std::min(10 * ((store_.dualCurrentSlice + 1) / 10 + 1) - 1, store_.sliceCount - 1));
}

void CTDSP2::SAMEWW_Click() {
    store_.dualWindowWidth = store_.windowWidth;
    store_.dualWindowCentre = store_.windowCentre;
    WWTX.setText(trimmedInt(store_.dualWindowWidth));
    WCTX.setText(trimmedInt(store_.dualWindowCentre));
    WWDSP();
}

void CTDSP2::SAMEROI_Click() {
    roi_ = {store_.roiLeft, store_.roiTop, store_.roiWidth, store_.roiHeight};
    roiDefined_ = 1;
    SHDRAW(0);
    ROICLC();
}

std::optional<CTDSP2::Search> CTDSP2::positionSearch() const {
    const int last = store_.sliceCount - 1;
    if (last < 1) return std::nullopt;
    Search s;
    s.from = std::clamp<int>(store_.dualCurrentSlice, 0, last);
    s.target = position(std::clamp<int>(store_.currentSlice, 0, last));
    const int c = s.from;
    if (position(c) == s.target) return std::nullopt;
    const float d = c < last ? position(c + 1) - position(c) : position(c) - position(c - 1);
    const int grows = d > 0 ? 1 : -1;
    s.upwards = s.target > position(c);
    s.step = (s.upwards ? 1 : -1) * grows;
    return s;
}

void CTDSP2::SAMESP_Click() {
    const auto s = positionSearch();
    if (!s) return;
    const int last = store_.sliceCount - 1;
    for (int k = s->from + s->step; k >= 0 && k <= last; k += s->step)
        if (std::fabs(position(k) - s->target) < kSamePosition) return showSlice(k);
}

void CTDSP2::QSAMESP_Click() {
    const auto s = positionSearch();
    if (!s) return;
    const int last = store_.sliceCount - 1, step = s->step;
    const float t = s->target;
    auto short_of = [&](int k) { return s->upwards ? position(k) < t : position(k) > t; };
    int k = s->from + step;
    while (k + step >= 0 && k + step <= last && short_of(k)) k += step;
    if (k < 0 || k > last) return;
    // The stop and its neighbour on the side of c: the nearer; on a tie the neighbour.
    const int neighbour = k - step;
    showSlice(std::fabs(position(k) - t) < std::fabs(position(neighbour) - t) ? k : neighbour);
}

void CTDSP2::windowDragged() {
    WWTX.setText(trimmedInt(store_.dualWindowWidth));
    WCTX.setText(trimmedInt(store_.dualWindowCentre));
    IMGDSP(-1);
}

void CTDSP2::panned() {
    IMGDSP(-1);
    SHDRAW(0);
}

void CTDSP2::page(int step) {
    if (store_.sliceCount < 2) return;
    showSlice(std::clamp(store_.dualCurrentSlice + step, 0, store_.sliceCount - 1));
}

}  // namespace halvex
