// The main window's logic: start-up, the image view with its window setting,
// presets, negative palette and zoom, the ROI, and the slice list commands.
#pragma once

#include <array>
#include <string>

#include "platform/controls.h"
#include "platform/ports.h"
#include "platform/raster.h"
#include "platform/window_logic.h"
#include "workspace/image_store.h"

namespace halvex {

struct WindowPreset {
    int16_t width = 0;
    int16_t centre = 0;
};

class CTDSPF : public WindowLogic {
public:
    enum PresetIndex { Head = 0, Abdo1, Abdo2, Chest, Bone };

    CTDSPF(ImageStore& store, Ui& ui, CommandGuard& guard);

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

private:
    void HS1_Change();
    void Label1_Click();
    void WWSET_Click();
    void presetClick(PresetIndex preset);
    void NEGACK_Click();
    void BAI2CK_Click();
    void ROIS_Click(int index);

    void convertAndBlit();
    void setGreyPalette(bool negative);
    void showWindowSetting();
    void placeCornerMarks();

    ImageStore& store_;
    std::array<WindowPreset, 5> presets_{};
    std::array<uint32_t, 256> palette_{};
    int16_t zoomOriginX_ = 0, zoomOriginY_ = 0;
    std::string roiResultText_;
    int16_t roiDefined_ = 0;
};

}  // namespace halvex
