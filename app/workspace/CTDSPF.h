// The main window's logic: start-up, the image view with its window setting,
// presets, negative palette and zoom, the ROI, and the slice list commands.
#pragma once

#include <array>
#include <string>

#include "platform/controls.h"
#include "platform/ports.h"
#include "platform/raster.h"
#include "platform/window_logic.h"
#include "dicom/DICOMM.h"
#include "workspace/image_store.h"

namespace halvex {

struct WindowPreset {
    int16_t width = 0;
    int16_t centre = 0;
};

class CTDSPF : public WindowLogic {
public:
    enum PresetIndex { Head = 0, Abdo1, Abdo2, Chest, Bone };

    CTDSPF(ImageStore& store, DICOMM& dicom, Ui& ui, CommandGuard& guard);

    // Start-up with the given program folder (the settings and the stack file
    // live there); shut-down.
    void Form_Load(const std::string& programFolder);
    void Form_Unload();

    // Display.
    void WWDSP();
    void IMGDSP(int16_t& index);
    void IMGREAD(int16_t& index);
    void OVERLAY();
    void SHDRAW(int16_t mode);
    void LOADINI();

    // ROI measurement.
    void ROICLC();
    void ROIVALUE();
    // Places the ROI as a drag on the view would, and measures it.
    void placeRoi(int16_t left, int16_t top, int16_t width, int16_t height);

    // Series loading and organisation.
    void SSORT(int16_t first, int16_t last);
    void FSORT(int16_t first, int16_t last, int16_t keyMode);
    void dropOnView(const std::vector<std::string>& paths) override;    // PIC1_OLEDragDrop
    void dropOnWindow(const std::vector<std::string>& paths) override;  // Form_OLEDragDrop

    Canvas* view() override { return &PIC1; }
    std::vector<const Shape*> viewShapes() const override { return {&SH1, &LH1, &RH1}; }

    const std::array<WindowPreset, 5>& presets() const { return presets_; }
    const std::array<uint32_t, 256>& palette() const { return palette_; }
    int zoomOriginX() const { return zoomOriginX_; }
    int zoomOriginY() const { return zoomOriginY_; }
    const std::string& roiResultText() const { return roiResultText_; }
    bool roiDefined() const { return roiDefined_ != 0; }
    ImageStore& store() const { return store_; }

    // Controls, named as the user knows them.
    Canvas PIC1{kSide, kSide};
    ScrollBar HS1{"HS1"};
    Label Label1{"Label1", "0"};
    TextBox WWTX{"WWTX"};
    TextBox WCTX{"WCTX"};
    Button WWSET{"WWSET", "WW"};
    CheckBox MEMOWWCK{"MEMOWWCK", "Memo"};
    CheckBox NEGACK{"NEGACK", "Nega"};
    CheckBox BAI2CK{"BAI2CK", "x2"};
    Button HEADBTN{"HEADBTN", "Head"};
    Button CHESTBTN{"CHESTBTN", "Chest"};
    Button ABDOBTN1{"ABDOBTN1", "Abdo1"};
    Button ABDOBTN2{"ABDOBTN2", "Abdo2"};
    Button BONEBTN{"BONEBTN", "Bone"};
    Shape SH1{"SH1", 50, 50};
    Shape LH1{"LH1", 8, 8};
    Shape RH1{"RH1", 8, 8};
    OptionGroup ROIS{"ROIS", {"256roi", "128roi", "64 roi"}};
    Button SHOWMW{"SHOWMW", "Measure>"};
    Button DSORT{"DSORT", "Read"};
    Button Command3{"Command3", "1-File"};
    Button RAWRD{"RAWRD", "RawRead"};
    Button CLRIMG{"CLRIMG", "Clear"};
    OptionGroup OP1{"OP1", {"FileName", "SlicePos", "PatName", "Kernel"}};
    CheckBox SRSORTCK{"SRSORTCK", "Series"};
    CheckBox ORDER{"ORDER", "Order"};
    Button PRVSR{"PRVSR", "<<"};
    Button NXTSR{"NXTSR", ">>"};
    TextBox STTX{"STTX", "1"};
    TextBox ENTX{"ENTX", "1"};
    LabelArray STENLBL{"STENLBL", {"Start", "End"}};

private:
    void HS1_Change();
    void Label1_Click();
    void WWSET_Click();
    void presetClick(PresetIndex preset);
    void NEGACK_Click();
    void BAI2CK_Click();
    void ROIS_Click(int index);
    void DSORT_Click();
    void Command3_Click();
    void RAWRD_Click();
    void CLRIMG_Click();
    void PRVSR_Click();
    void NXTSR_Click();
    void STENLBL_Click(int index);

    bool askFolder(const std::string& chosenFile);
    bool listFull(int n);
    SliceInfo& entry(int n);
    void readMultiFrame(const std::string& path);
    void showNewlyRead(int oldCount, int n);
    void followSlice(int index);
    void clearRange();

    void convertAndBlit();
    void setGreyPalette(bool negative);
    void showWindowSetting();
    void placeCornerMarks();

    ImageStore& store_;
    DICOMM& dicom_;
    std::array<WindowPreset, 5> presets_{};
    std::array<uint32_t, 256> palette_{};
    int16_t zoomOriginX_ = 0, zoomOriginY_ = 0;
    std::string roiResultText_;
    int16_t roiDefined_ = 0;
    std::string folderText_;
    int16_t descending_ = 0;
    float lastClearAnswer_ = 0;
};

}  // namespace halvex
