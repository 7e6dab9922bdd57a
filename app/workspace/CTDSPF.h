// The main window's logic: start-up, the image view with its window setting,
// presets, negative palette and zoom, the ROI, and the slice list commands.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "platform/controls.h"
#include "platform/ports.h"
#include "platform/raster.h"
#include "platform/window_logic.h"
#include "dicom/DICOMM.h"
#include "wheel/wheel_mouse.h"
#include "workspace/decoded_cache.h"
#include "workspace/image_store.h"
#include "workspace/view_input.h"

namespace halvex {

struct WindowPreset {
    int16_t width = 0;
    int16_t centre = 0;
};

class CTDSPF : public WindowLogic, private ViewInput::Host {
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

    // The view's pointer, keys and wheel; clicks in the window's margin
    // jump across gaps in slice position.
    void viewMouseDown(int button, float x, float y) override { input_.mouseDown(button, x, y); }
    void viewMouseMove(int button, float x, float y) override { input_.mouseMove(button, x, y); }
    void viewMouseUp(int button, float x, float y) override { input_.mouseUp(button, x, y); }
    void keyDown(int code) override { input_.keyDown(code); }
    void keyUp(int code) override { input_.keyUp(code); }
    void wheel(int direction) override { input_.wheel(direction); }
    void windowMouseDown(int button, float x, float y) override;  // Form_MouseDown
    const ViewInput& input() const { return input_; }
    const clsWheelMouse& wheelObject() const { return m_CWheel; }

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
    Button EVALBTN{"EVALBTN", "Evaluate"};  // the evaluation of a slice range (wired by the workspace)
    // Shows the comparison window (wired by the workspace).
    Button DUALBTN{"DUALBTN", "Dual Win"};
    Button DSORT{"DSORT", "Read"};
    Button Command3{"Command3", "1-File"};
    Button RAWRD{"RAWRD", "RawRead"};
    Button CLRIMG{"CLRIMG", "Clear"};
    OptionGroup OP1{"OP1", {"FileName", "SlicePos", "PatName", "Kernel"}};
    CheckBox SRSORTCK{"SRSORTCK", "Series"};
    CheckBox ORDER{"ORDER", "Order"};
    Button PRVSR{"PRVSR", "<<"};
    Button NXTSR{"NXTSR", ">>"};
    // New slices from the list: average or difference, average of the
    // start..end range, coronal or sagittal reformat (its slice order).
    Button IMGAVE{"IMGAVE", "Ave Sub"};
    Button IMGAVEF{"IMGAVEF", "Ave."};
    Button MPRGO{"MPRGO", "MPR"};
    CheckBox MPRORDCK{"MPRORDCK", "MPR order"};
    // Saves a range of slices as DICOM files (wired by the workspace).
    Button DICOMSVBTN{"DICOMSVBTN", "DICOM"};
    TextBox STTX{"STTX", "1"};
    TextBox ENTX{"ENTX", "1"};
    LabelArray STENLBL{"STENLBL", {"Start", "End"}};
    // The 3D-MORV parameters, their captions and commands.
    TextBox RPTTX{"RPTTX", "2"};
    TextBox WNTX{"WNTX", "6"};
    TextBox EDGECT1TX{"EDGECT1TX", "70"};
    TextBox EDGECT2TX{"EDGECT2TX", "150"};
    TextBox BLCT1TX{"BLCT1TX", "150"};
    TextBox BLCT2TX{"BLCT2TX", "100"};
    TextBox RORGTX{"RORGTX", "0.3"};
    CheckBox ZREINTPCK{"ZREINTPCK", "z reposi"};
    TextBox PRETYPTX{"PRETYPTX", "1"};
    TextBox TYP1ENHTX{"TYP1ENHTX", "2.5"};
    TextBox TYP2LOWTX{"TYP2LOWTX", "0.7"};
    TextBox TYP2HIGHTX{"TYP2HIGHTX", "0.3"};
    TextBox TYP2ZENHTX{"TYP2ZENHTX", "1.5"};
    Label PRELBL{"PRELBL", "type  type1 enhance type2 low  high  z-enhance "};
    Label RPTLBL{"RPTLBL", "Iteration wn"};
    Label FQ1LB{"FQ1LB", "Edge1  Edge2"};
    Label BLCT1LBL{"BLCT1LBL", "CT1    CT2"};
    Label RORGLB{"RORGLB", "Rorg"};
    Button PARAMLD{"PARAMLD", "Load"};
    Button PARAMSV{"PARAMSV", "Save"};
    Button EASYBTN{"EASYBTN", "Finish param"};
    Button PROC1{"PROC1", "Proc"};
    Button PROC2{"PROC2", "3D-MORV"};
    Button TEST1BTN{"TEST1BTN", "Test1"};
    Button TEST2BTN{"TEST2BTN", "Test2"};
    // Ends a running 3D-MORV, Test or Proc between two slices; it is the one
    // control that acts while a command runs.
    Button STOPBTN{"STOPBTN", "Stop"};

    // Told when "Nega" changes, so that the comparison view follows.
    std::function<void(int16_t negative)> negativeChanged;
    // Start-up loads the first parameter set through this.
    std::function<void()> loadParameters;

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
    void IMGAVE_Click();
    void IMGAVEF_Click();
    void MPRGO_Click();

    // Reads list entry `index` for a command that appends a result; false
    // (with a message) when it can't be read.
    bool readForArithmetic(int index, std::vector<int16_t>& pixels);
    // The mean of slices a .. b into workImage (halves to even).
    bool averageRange(int a, int b);
    // Appends workImage with the position and DFOV of entry `from`, and shows it.
    void appendResult(int16_t ctOffset, int from);

    bool askFolder(const std::string& chosenFile);
    bool listFull(int n);
    SliceInfo& entry(int n);
    void readMultiFrame(const std::string& path);
    // Compressed files: queued after their header read (a deflated one gets
    // a plain copy to read the header from), then decoded together and
    // appended from entry n in the order queued; the refused ones are named
    // in one message. appendDecoded returns the new n.
    void queueCompressed(std::vector<CompressedFile>& queue, const std::string& path);
    int appendDecoded(std::vector<CompressedFile>& queue, int n);
    // "1-File" and a window drop of a compressed file.
    void readCompressedFile(const std::string& path);
    void showNewlyRead(int oldCount, int n);
    // Notes a file whose element structure broke before its pixels (it was
    // read only as far as it held), and names such files in the caption once
    // a loader is through, so that a missing value or slice has its reason.
    static void noteIfCut(std::vector<std::string>& cut, const DicomHeader& h, const std::string& name);
    void captionCutFiles(const std::vector<std::string>& cut);
    void followSlice(int index);
    void clearRange();
    void keepDualSliceInList();

    void convertAndBlit();
    void setGreyPalette(bool negative);

    // What the view's input acts on.
    Shape& outline() override { return SH1; }
    Shape& topLeftMark() override { return LH1; }
    Shape& bottomRightMark() override { return RH1; }
    int16_t& windowWidth() override { return store_.windowWidth; }
    int16_t& windowCentre() override { return store_.windowCentre; }
    int16_t& originX() override { return zoomOriginX_; }
    int16_t& originY() override { return zoomOriginY_; }
    bool zoomed() const override { return store_.zoomOn == 1; }
    int16_t& roiLeft() override { return store_.roiLeft; }
    int16_t& roiTop() override { return store_.roiTop; }
    void windowDragged() override;
    void panned() override;
    void drawOutline(int16_t mode) override { SHDRAW(mode); }
    void measure() override { ROICLC(); }
    void overlay() override { OVERLAY(); }
    void page(int step) override;
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
    int16_t aveSubMode_ = 0;
    int16_t mprOrientation_ = 0;
    int16_t mprSlab_ = 1;  // planes one pixel thick
    ViewInput input_{*this};
    clsWheelMouse m_CWheel;
};

}  // namespace halvex
