// The comparison window: a second view of the same slice list beside the
// main window, with its own working image, offset, window setting, ROI and
// slice, so that a processed slice can be compared with the original at the
// same position, window and ROI.
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "platform/controls.h"
#include "platform/raster.h"
#include "platform/window_logic.h"
#include "wheel/wheel_mouse.h"
#include "workspace/image_store.h"
#include "workspace/view_input.h"

namespace halvex {

class CTDSP2 : public WindowLogic, private ViewInput::Host {
public:
    CTDSP2(ImageStore& store, Ui& ui, CommandGuard& guard);

    void Form_Load();
    void Form_Unload();
    bool loaded() const { return loaded_; }

    // "Dual Win": shows the window at the main window's slice, with the main
    // window's width and centre (its boxes' values).
    void show(int16_t mainWidth, int16_t mainCentre);

    void IMGDSP(int16_t index);
    void WWDSP();
    void OVERLAY();
    void SHDRAW(int16_t mode);
    void ROICLC();
    void ROIVALUE();
    // 1: negative grey palette; else the plain one.
    void NEGALUT(int16_t flag);

    void viewMouseDown(int button, float x, float y) override { input_.mouseDown(button, x, y); }
    void viewMouseMove(int button, float x, float y) override { input_.mouseMove(button, x, y); }
    void viewMouseUp(int button, float x, float y) override { input_.mouseUp(button, x, y); }
    void keyDown(int code) override { input_.keyDown(code); }
    void keyUp(int code) override { input_.keyUp(code); }
    void wheel(int direction) override { input_.wheel(direction); }

    Canvas* view() override { return &PIC1; }
    std::vector<const Shape*> viewShapes() const override { return {&SH1, &LH1, &RH1}; }

    const std::vector<int16_t>& workImage() const { return workImage_; }
    int16_t ctOffset() const { return ctOffset_; }
    int16_t roiLeftValue() const { return roi_[0]; }
    int16_t roiTopValue() const { return roi_[1]; }
    int16_t roiWidthValue() const { return roi_[2]; }
    int16_t roiHeightValue() const { return roi_[3]; }
    const std::array<uint32_t, 256>& palette() const { return palette_; }

    // Controls, named as the user knows them.
    Canvas PIC1{kSide, kSide};
    ScrollBar HS1{"HS1"};
    Label Label1{"Label1", "0"};
    TextBox WWTX{"WWTX"};
    TextBox WCTX{"WCTX"};
    Button WWSET{"WWSET", "WW"};
    Label WWLBL{"WWLBL", "WW"};
    Label WLLBL{"WLLBL", "WL"};
    Shape SH1{"SH1", 50, 50};
    Shape LH1{"LH1", 8, 8};
    Shape RH1{"RH1", 8, 8};
    Button REWIMG{"REWIMG", "<<"};
    Button FFIMG{"FFIMG", ">>"};
    Button SAMESP{"SAMESP", "SameSP"};
    Button QSAMESP{"QSAMESP", "_SameSP"};
    Button SAMEROI{"SAMEROI", "SameROI"};
    Button SAMEWW{"SAMEWW", "SameWW"};

private:
    void HS1_Change();
    void WWSET_Click();
    void REWIMG_Click();
    void FFIMG_Click();
    void SAMESP_Click();
    void QSAMESP_Click();
    void SAMEROI_Click();
    void SAMEWW_Click();
    void showSlice(int index);
    // A search of "SameSP"/"_SameSP": from the comparison slice, towards the
    // main window's position `target`, stepping by `step` (the direction in
    // which positions grow there, signed towards the target). Nothing with
    // fewer than two slices or when the position is already the target's.
    struct Search {
        int from = 0, step = 0;
        float target = 0;
        bool upwards = false;  // the target lies above the start's position
    };
    std::optional<Search> positionSearch() const;
    float position(int index) const { return store_.slices[static_cast<size_t>(index)].position; }
    void placeCornerMarks();

    Shape& outline() override { return SH1; }
    Shape& topLeftMark() override { return LH1; }
    Shape& bottomRightMark() override { return RH1; }
    int16_t& windowWidth() override { return store_.dualWindowWidth; }
    int16_t& windowCentre() override { return store_.dualWindowCentre; }
    int16_t& originX() override { return zoomOriginX_; }
    int16_t& originY() override { return zoomOriginY_; }
    bool zoomed() const override { return store_.zoomOn == 1; }
    int16_t& roiLeft() override { return roi_[0]; }
    int16_t& roiTop() override { return roi_[1]; }
    void windowDragged() override;
    void panned() override;
    void drawOutline(int16_t mode) override { SHDRAW(mode); }
    void measure() override { ROICLC(); }
    void overlay() override { OVERLAY(); }
    void page(int step) override;

    ImageStore& store_;
    bool loaded_ = false;
    std::vector<int16_t> workImage_ = std::vector<int16_t>(kSlicePixels);
    std::vector<uint8_t> displayBytes_ = std::vector<uint8_t>(kSlicePixels);
    int16_t ctOffset_ = 0;
    int16_t zoomOriginX_ = 0, zoomOriginY_ = 0;
    std::array<int16_t, 4> roi_{240, 240, 50, 50};  // left, top, width, height
    int16_t roiDefined_ = 0;
    std::string roiText_;
    std::array<uint32_t, 256> palette_{};
    ViewInput input_{*this};
    clsWheelMouse m_CWheel;
};

}  // namespace halvex
