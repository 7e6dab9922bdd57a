#include "workspace/CTDSPF.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "platform/files.h"
#include "platform/lumvek_binding.h"
#include "platform/number_text.h"
#include "workspace/view_text.h"

namespace halvex {

namespace {
constexpr const char* kSettingsFile = "VOXIM.INI";
constexpr const char* kStampFile = "NFD.BMP";
constexpr int kBitmapHeaderBytes = 1078;  // file header, info header and 256-entry palette
}  // namespace

CTDSPF::CTDSPF(ImageStore& store, DICOMM& dicom, Ui& ui, CommandGuard& guard)
    : WindowLogic("CTDSPF", ui, guard), store_(store), dicom_(dicom) {
    for (Control* c : std::initializer_list<Control*>{&HS1, &Label1, &WWTX, &WCTX, &WWSET, &MEMOWWCK, &NEGACK, &BAI2CK,
                                                       &HEADBTN, &CHESTBTN, &ABDOBTN1, &ABDOBTN2, &BONEBTN, &SH1,
                                                       &LH1, &RH1, &ROIS, &SHOWMW, &EVALBTN, &DUALBTN, &DSORT, &Command3, &RAWRD, &CLRIMG, &OP1,
                                                       &SRSORTCK, &ORDER, &PRVSR, &NXTSR, &IMGAVE, &IMGAVEF, &MPRGO, &MPRORDCK, &DICOMSVBTN, &STTX, &ENTX,
                                                       &STENLBL,
                                                       &RPTTX, &WNTX, &EDGECT1TX, &EDGECT2TX, &BLCT1TX, &BLCT2TX,
                                                       &RORGTX, &ZREINTPCK, &PRETYPTX, &TYP1ENHTX, &TYP2LOWTX,
                                                       &TYP2HIGHTX, &TYP2ZENHTX, &PRELBL, &RPTLBL, &FQ1LB, &BLCT1LBL,
                                                       &RORGLB, &PARAMLD, &PARAMSV, &EASYBTN, &PROC1, &PROC2,
                                                       &TEST1BTN, &TEST2BTN, &STOPBTN})
        add(*c);
    ZREINTPCK.setValue(1);
    HS1.onChange = [this] { HS1_Change(); };
    Label1.onClick = [this] { Label1_Click(); };
    WWTX.onDoubleClick = [this] { WWDSP(); };
    WCTX.onDoubleClick = [this] { WWDSP(); };
    WWSET.onClick = [this] { WWSET_Click(); };
    HEADBTN.onClick = [this] { presetClick(Head); };
    ABDOBTN1.onClick = [this] { presetClick(Abdo1); };
    ABDOBTN2.onClick = [this] { presetClick(Abdo2); };
    CHESTBTN.onClick = [this] { presetClick(Chest); };
    BONEBTN.onClick = [this] { presetClick(Bone); };
    NEGACK.onClick = [this] { NEGACK_Click(); };
    BAI2CK.onClick = [this] { BAI2CK_Click(); };
    ROIS.onClick = [this](int index) { ROIS_Click(index); };
    DSORT.onClick = [this] { DSORT_Click(); };
    Command3.onClick = [this] { Command3_Click(); };
    RAWRD.onClick = [this] { RAWRD_Click(); };
    CLRIMG.onClick = [this] { CLRIMG_Click(); };
    ORDER.onClick = [this] { descending_ = ORDER.checked() ? 1 : 0; };
    PRVSR.onClick = [this] { PRVSR_Click(); };
    NXTSR.onClick = [this] { NXTSR_Click(); };
    STTX.onClick = [this] { STTX.setText(trimmedInt(store_.currentSlice + 1)); };
    ENTX.onClick = [this] { ENTX.setText(trimmedInt(store_.currentSlice + 1)); };
    STENLBL.onClick = [this](int index) { STENLBL_Click(index); };
    IMGAVE.onClick = [this] { IMGAVE_Click(); };
    IMGAVEF.onClick = [this] { IMGAVEF_Click(); };
    MPRGO.onClick = [this] { MPRGO_Click(); };
    store_.sliceScrollBars.push_back(&HS1);
    m_CWheel.MouseWheel = [this](int16_t direction) { wheel(direction); };
}

void CTDSPF::Form_Load(const std::string& programFolder) {
    std::error_code ec;
    std::string folder = std::filesystem::absolute(programFolder.empty() ? "." : programFolder, ec).string();
    if (folder.back() != '/') folder += '/';
    std::filesystem::current_path(folder, ec);
    store_.versionLabel = "halvex " HALVEX_VERSION;
    store_.appFolder = folder;
    const std::string stack = claimTempStack(store_);
    setGreyPalette(false);

    store_.windowWidth = 500;
    store_.windowCentre = 30;
    showWindowSetting();

    store_.fftSize = 256;
    store_.pi = 4.0f * std::atan(1.0f);
    store_.twoPi = 2.0f * store_.pi;
    // The first library call: it loads lumvek, which then stays loaded.
    LUMVEK(var2trn)(store_.referenceImage.data(), store_.workImage.data(), 1);
    store_.fftSize = 0;

    OP1.select(1);
    store_.roiWidth = 50;
    store_.roiHeight = 50;
    store_.roiLeft = 240;
    store_.roiTop = 240;
    SH1.place(240, 240, 50, 50);
    placeCornerMarks();
    zoomOriginX_ = zoomOriginY_ = 0;

    LOADINI();
    if (loadParameters) loadParameters();
    SH1.setVisible(true);
    LH1.setVisible(true);
    RH1.setVisible(true);
    std::string caption = "TessamirBasic ver." + store_.versionLabel + ": CTDSP";
    if (stack != kTempStackName)
        caption += stack.empty() ? " (stack file ATEMP not locked: another halvex may use it)"
                                 : " (stack file " + stack + ": another halvex uses ATEMP)";
    setCaption(caption);

    readAt(store_.appFolder + kStampFile, kBitmapHeaderBytes, store_.stampBitmap.data(), store_.stampBitmap.size());
    int16_t hooked = 0;
    m_CWheel.Initialize(viewHandle(), hooked);
}

void CTDSPF::Form_Unload() {
    // The folder's stack file stays on disk for the next run.
    releaseTempStack(store_);
    m_CWheel.Terminate();
}

void CTDSPF::LOADINI() {
    const std::string path = store_.appFolder + kSettingsFile;
    if (fileLength(path) < 64) {
        ui().message("ini file error!");
        return;
    }
    presets_[Head] = {70, 30};
    presets_[Abdo1] = {200, 40};
    presets_[Abdo2] = {400, 40};
    presets_[Chest] = {1500, -500};
    presets_[Bone] = {2000, 500};

    std::ifstream in(path, std::ios::binary);
    std::string label, width, centre;
    for (WindowPreset& preset : presets_) {
        if (!std::getline(in, label) || !std::getline(in, width) || !std::getline(in, centre)) break;
        const int16_t w = textToInt16(width), c = textToInt16(centre);
        if (w > 0) preset.width = w;
        if (c >= -1023) preset.centre = c;
    }
}

void CTDSPF::setGreyPalette(bool negative) {
    for (int i = 0; i < 256; ++i) {
        const int g = negative ? 255 - i : i;
        palette_[static_cast<size_t>(i)] = rgb(g, g, g);
    }
}

void CTDSPF::showWindowSetting() {
    WWTX.setText(trimmedInt(store_.windowWidth));
    WCTX.setText(trimmedInt(store_.windowCentre));
}

void CTDSPF::convertAndBlit() {
    if (store_.zoomOn)
        LUMVEK(ct2trn2x)(store_.workImage.data(), store_.displayBytes.data(), store_.windowWidth, store_.windowCentre,
                         store_.workCtOffset, zoomOriginX_, zoomOriginY_);
    else
        LUMVEK(ct2trn)(store_.workImage.data(), store_.displayBytes.data(), store_.windowWidth, store_.windowCentre,
                       store_.workCtOffset);
    PIC1.blit8(store_.displayBytes.data(), kSide, kSide, palette_);
}

void CTDSPF::WWDSP() {
    store_.windowWidth = textToInt16(WWTX.text());
    store_.windowCentre = textToInt16(WCTX.text());
    convertAndBlit();
}

void CTDSPF::IMGDSP(int16_t& index) {
    if (index == 9999) {
        LUMVEK(var2clr)(store_.workImage.data(), 0, kSlicePixels);
    } else if (index != -1) {
        if (index < 0 || index >= kMaxSlices) return;
        const SliceInfo& entry = store_.slices[static_cast<size_t>(index)];
        readSlicePixels(store_, entry, store_.workImage.data());
        store_.workCtOffset = entry.ctOffset;
    }
    convertAndBlit();
    if (index >= 0 && index < kMaxSlices) {
        const SliceInfo& entry = store_.slices[static_cast<size_t>(index)];
        store_.currentDfov = entry.dfov;
        store_.currentKv = entry.kV;
        store_.pixelSize = store_.currentDfov / 512.0f;
    }
    PIC1.makePersistent();
}

void CTDSPF::IMGREAD(int16_t& index) {
    if (index > store_.sliceCount - 1) index = static_cast<int16_t>(store_.sliceCount - 1);
    if (index < 0) return;
    const SliceInfo& entry = store_.slices[static_cast<size_t>(index)];
    store_.workCtOffset = entry.ctOffset;
    readSlicePixels(store_, entry, store_.workImage.data());
    LUMVEK(ct2trn)(store_.workImage.data(), store_.displayBytes.data(), store_.windowWidth, store_.windowCentre,
                   store_.workCtOffset);
    PIC1.blit8(store_.displayBytes.data(), kSide, kSide, palette_);
    store_.currentDfov = store_.slices[static_cast<size_t>(store_.currentSlice)].dfov;
    PIC1.makePersistent();
}

void CTDSPF::OVERLAY() {
    setCaption("No. Ser pos kV mA mAs s/rot thick kernel DFOV CTDI Pname File");
    const int i = store_.currentSlice;
    printSliceOverlay(PIC1, store_.slices[static_cast<size_t>(i)], i, roiResultText_);
}

void CTDSPF::HS1_Change() {
    if (store_.sliceCount < 2) return;
    Label1.setCaption(trimmedInt(HS1.value() + 1));
    store_.currentSlice = static_cast<int16_t>(HS1.value());
    store_.workCtOffset = store_.slices[static_cast<size_t>(store_.currentSlice)].ctOffset;
    IMGDSP(store_.currentSlice);
    ROIVALUE();
    OVERLAY();
}

void CTDSPF::Label1_Click() {
    if (store_.sliceCount <= 0) return;
    store_.currentSlice = static_cast<int16_t>(store_.sliceCount - 1);
    HS1.setValue(store_.currentSlice);
}

void CTDSPF::WWSET_Click() {
    store_.windowWidth = textToInt16(ui().prompt(" WW = ", str(store_.windowWidth)));
    store_.windowCentre = textToInt16(ui().prompt(" WC = ", str(store_.windowCentre)));
    showWindowSetting();
    ui().clearClipboard();
    WWDSP();
    ui().setClipboardImage(PIC1.image());
}

void CTDSPF::presetClick(PresetIndex index) {
    WindowPreset& preset = presets_[index];
    if (MEMOWWCK.checked()) {
        // Remembered until the program ends; the settings file is not written.
        preset.width = textToInt16(WWTX.text());
        preset.centre = textToInt16(WCTX.text());
        MEMOWWCK.setValue(0);
    }
    store_.windowWidth = preset.width;
    store_.windowCentre = preset.centre;
    showWindowSetting();
    WWDSP();
    OVERLAY();
}

void CTDSPF::NEGACK_Click() {
    setGreyPalette(NEGACK.checked());
    if (negativeChanged) negativeChanged(NEGACK.checked() ? 1 : 0);
    IMGDSP(store_.currentSlice);
}

void CTDSPF::BAI2CK_Click() {
    if (BAI2CK.checked()) {
        store_.zoomOn = 1;
        if (zoomOriginX_ == 0 && zoomOriginY_ == 0) zoomOriginX_ = zoomOriginY_ = 128;
    } else {
        store_.zoomOn = 0;
        zoomOriginX_ = zoomOriginY_ = 0;
    }
    WWDSP();
    SHDRAW(0);
}

void CTDSPF::windowDragged() {
    showWindowSetting();
    int16_t redraw = -1;
    IMGDSP(redraw);
}

void CTDSPF::panned() {
    int16_t redraw = -1;
    IMGDSP(redraw);
    SHDRAW(0);
}

void CTDSPF::page(int step) {
    if (store_.sliceCount < 2) return;
    followSlice(std::clamp(store_.currentSlice + step, 0, store_.sliceCount - 1));
}

void CTDSPF::windowMouseDown(int /*button*/, float x, float /*y*/) {
    const int count = store_.sliceCount, current = store_.currentSlice;
    if (count <= 0 || (x >= 100 && x <= 450)) return;
    auto gap = [this](int a, int b) {
        return std::fabs(store_.slices[size_t(a)].position - store_.slices[size_t(b)].position) > 10.0f;
    };
    int i;
    if (x > 450) {
        // Forward to the last slice before the next gap of more than 10 mm.
        i = current + 1;
        while (i <= count - 2 && !gap(i, i + 1)) ++i;
        if (i > count - 2 || current >= count - 1) i = count - 1;
    } else {
        // Back to the first slice after the previous gap.
        i = current - 1;
        while (i >= 1 && !gap(i, i - 1)) --i;
        i = std::max(i, 0);
    }
    followSlice(i);
}

void CTDSPF::placeCornerMarks() {
    LH1.move(SH1.left(), SH1.top());
    RH1.move(SH1.left() + SH1.width() - RH1.width(), SH1.top() + SH1.height() - RH1.height());
}

void CTDSPF::SHDRAW(int16_t mode) {
    const int f = store_.zoomOn + 1;
    if (mode == 0) {
        SH1.place((store_.roiLeft - zoomOriginX_) * f, (store_.roiTop - zoomOriginY_) * f, f * store_.roiWidth,
                  f * store_.roiHeight);
    } else {
        store_.roiLeft = roundHalfEven16(SH1.left() / f + zoomOriginX_);
        store_.roiTop = roundHalfEven16(SH1.top() / f + zoomOriginY_);
        store_.roiWidth = roundHalfEven16(SH1.width() / f);
        store_.roiHeight = roundHalfEven16(SH1.height() / f);
        roiDefined_ = 1;
        store_.newRoi = 1;
        setCaption(str(store_.roiWidth) + "x" + str(store_.roiHeight) + "pixels");
    }
    placeCornerMarks();
}

void CTDSPF::ROIS_Click(int index) {
    const int size = roundHalfEven(256.0 / std::pow(2.0, index));
    store_.fftSize = static_cast<int16_t>(size);
    store_.roiWidth = store_.roiHeight = static_cast<int16_t>(size);
    store_.roiLeft = store_.roiTop = static_cast<int16_t>(256 - size / 2);
    store_.newRoi = 1;
    SHDRAW(0);
}

}  // namespace halvex
