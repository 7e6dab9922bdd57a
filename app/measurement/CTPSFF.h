// The measurement window's logic: its menus and arrow buttons, the state
// number that decides what a click on the graph means, the settings, the MTF
// curve store with its graph and clipboard exports, and the edge MTF.
// The window's client area is the graph (`view()`), drawn in the user
// coordinates of the graph shown; clicks arrive in those coordinates.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "measurement/curve_store.h"
#include "measurement/detectability.h"
#include "measurement/edge_mtf.h"
#include "measurement/noise_spectrum.h"
#include "measurement/slice_profile.h"
#include "measurement/wire_mtf.h"
#include "platform/controls.h"
#include "platform/window_logic.h"
#include "workspace/image_store.h"

namespace halvex {

// Shared by the window's commands: clipboard lines end as on the system the
// results are pasted into; the graphs' frame and grid colours.
inline constexpr const char* kLineEnd = "\r\n";
inline constexpr int kFrameColour = 15;
inline constexpr int kGridColour = 8;

class CTPSFF : public WindowLogic {
public:
    // What the window shows, and so what a click on it means.
    enum State : int16_t {
        Idle = 0,
        LsfShown = 1,         // a left click places the baseline marker
        Zeroing = 2,          // a click zeroes the LSF tail on its side
        MtfGraph = 3,         // the arrows change the y scale
        NpsGraph = 4,
        CircularEsf = 5,      // the arrows move the circle centre
        LinearEsf = 6,        // the arrows change the edge slope
    };

    static constexpr int kGraphWidth = 640;
    static constexpr int kGraphHeight = 480;

    CTPSFF(ImageStore& store, Ui& ui, CommandGuard& guard);

    // "Measure>": loads the window when it is not loaded, and shows it.
    void show();
    bool loaded() const { return loaded_; }
    void Form_Load();

    // The frame.
    void SETTINGS();
    void MTFDSP(bool withPrompt);

    // The edge MTF.
    void PESFDSP();
    void BASESUB();
    // False (with a message) when the MTF has no sound result.
    bool MTFCALC();

    Canvas* view() override { return &graph_; }
    RgbImage composedView() override;
    // A click on the graph, in the graph's user coordinates.
    void windowMouseDown(int button, float x, float y) override;

    // The noise spectrum graph.
    void WSDSP(bool withPrompt);
    // The slice and temporal sensitivity profile graphs.
    void SSPDSP(bool withPrompt) { profileGraph(false, withPrompt); }
    void TSPDSP(bool withPrompt) { profileGraph(true, withPrompt); }

    // Called after the circle centre moved the main window's ROI, so that
    // the main window redraws its outline.
    std::function<void()> roiMoved;
    // Called after the window put a new image into the workspace's working
    // image, so that the main window shows it.
    std::function<void()> imageChanged;
    // The main window's first and last slice boxes: the defaults of the
    // slice range prompts.
    std::function<std::pair<std::string, std::string>()> rangeDefaults;

    // A menu of the window's menu bar: its caption and entries, nullptr
    // standing for a separator.
    struct Menu {
        std::string name, caption;
        std::vector<Button*> entries;
    };
    const std::vector<Menu>& menus() const { return menus_; }

    int16_t state() const { return state_; }
    const std::string& methodTag() const { return methodTag_; }
    float slope() const { return slope_; }
    float centreX() const { return centreX_; }
    float centreY() const { return centreY_; }
    float frequencyMaximum() const { return frequencyMaximum_; }
    float frequencyInterval() const { return frequencyInterval_; }
    float graphYScale() const { return graphYScale_; }
    int16_t dataNumber() const { return dataNumber_; }
    const std::vector<float>& lsf() const { return lsf_; }
    const std::vector<float>& mtf() const { return mtf_; }
    std::optional<double> peakToNoise() const { return peakToNoise_; }
    const Esf& esf() const { return esf_; }
    const CurveStore& mtfStore() const { return mtfStore_; }
    const CurveStore& npsStore() const { return npsStore_; }
    int16_t npsFrequencyBins() const { return npsFrequencyBins_; }
    float npsLogOffset() const { return npsLogOffset_; }
    int16_t slitHeightSetting() const { return slitHeight_; }
    Peak wirePeak() const { return wirePeak_; }
    int lsfCentre() const { return lsfCentre_; }
    const ProfileSlot& profileSlot(int number) const { return profileSlots_.at(size_t(number - 1)); }
    int16_t profileDataNumber() const { return profileDataNumber_; }
    const std::vector<float>& regionProfile() const { return regionProfile_; }
    const std::vector<int>& drawnSlots() const { return drawnSlots_; }

    // Controls, named as the user knows them.
    CheckBox FINESTP{"FINESTP", "fine"};
    ButtonArray CENADJ{"CENADJ", {"<", ">", "^", "v"}};
    LineShape Line1{"Line1"};

    // MTF menu.
    Button VSLIT{"VSLIT", "VirtualSlit"};
    Button RADIAL{"RADIAL", "Radial"};
    Button FFT2DMTF{"FFT2DMTF", "2D FFT"};
    Button REDGE{"REDGE", "Circular Edge"};
    Button EDGE{"EDGE", "Linear Edge"};
    Button AUTOEDGE{"AUTOEDGE", "Auto edge"};
    Button EDGEOK{"EDGEOK", "Edge_OK"};
    Button BASESET{"BASESET", "Set-Base"};
    Button MTFCLC{"MTFCLC", "MTFcalc."};
    Button MMTFCLC{"MMTFCLC", "Multi measure"};
    Button SETTING{"SETTING", "Setting"};
    Button CLIPMTF{"CLIPMTF", "Clip MTF"};
    Button LSFPUT{"LSFPUT", "Clip LSF"};
    Button COMPMTF{"COMPMTF", "Compare_MTF"};
    // Noise menu.
    Button NPSVS{"NPSVS", "Virtual Slit"};
    Button NPSRF{"NPSRF", "Radial NPS"};
    Button SETNPS{"SETNPS", "Setting"};
    Button NPSWF{"NPSWF", "Window"};
    Button NPSCLIP{"NPSCLIP", "Clip NPS "};
    Button NPSCOMP{"NPSCOMP", "Compare_NPS"};
    // Measures menu.
    Button CTVAL{"CTVAL", "CTvalue"};
    Button SDCLC{"SDCLC", "SD"};
    Button SSPMES{"SSPMES", "SSP"};
    Button SSPSET{"SSPSET", "SSP setting"};
    Button SSPCLIP{"SSPCLIP", "Clip SSP"};
    Button SSPCOMP{"SSPCOMP", "Compare SSP"};
    Button ZMTFP{"ZMTFP", "z-MTFprep"};
    Button TSPMES{"TSPMES", "TSP"};
    Button SETTSP{"SETTSP", "TSP setting"};
    Button TSPCLIP{"TSPCLIP", "Clip TSP"};
    Button TSPCOMP{"TSPCOMP", "Compare TSP"};
    Button TMTFP{"TMTFP", "t-MTFprep"};
    Button PROFMES{"PROFMES", "Profile"};
    Button CTCONV{"CTCONV", "CTscale"};
    Button DPRIME{"DPRIME", "Detectability"};
    // Pro menu.
    Button REDGEPRO{"REDGEPRO", "Circular Proc"};
    Button CLRSCREEN{"CLRSCREEN", "Close"};
    // Graph menu: the graph as a picture.
    Button SAVEGRAPH{"SAVEGRAPH", "Save graph..."};
    Button COPYGRAPH{"COPYGRAPH", "Copy graph"};
    // Evaluate menu: the automatic evaluation of a slice range (wired by the
    // workspace to its command).
    Button EVALUATE{"EVALUATE", "Evaluate..."};

    // Curves measured elsewhere (the evaluation) into the first free slot of
    // the MTF store (MTF against cycles/mm) or the NPS store (log10 of the NPS,
    // HU^2 mm^2); the slot's number, 0 when every slot holds a curve.
    int addMtfCurve(const std::string& label, const std::vector<float>& frequency, const std::vector<float>& value);
    int addNpsCurve(const std::string& label, const std::vector<float>& frequency, const std::vector<float>& log10Value);

private:
    void CENADJ_Click(int index);
    void EDGE_Click();
    void REDGE_Click();
    void AUTOEDGE_Click();
    void EDGEOK_Click();
    void BASESET_Click();
    void MTFCLC_Click();
    void COMPMTF_Click();
    void CLIPMTF_Click();
    void LSFPUT_Click();
    void CLRSCREEN_Click();
    void SAVEGRAPH_Click();
    void COPYGRAPH_Click();
    // Noise.
    void NPSVS_Click();
    void NPSRF_Click();
    void NPSWF_Click();
    void NPSCLIP_Click();
    void NPSCOMP_Click();
    // Wires.
    void VSLIT_Click();
    void RADIAL_Click();
    void FFT2DMTF_Click();
    void MMTFCLC_Click();
    // Slice and temporal sensitivity profiles.
    void measureProfile(bool temporal);
    bool askHelicalScan();
    void scaleSetting(bool temporal);
    void CLIPPROFILE(bool temporal);
    void prepareProfileLsf(bool temporal);
    void profileGraph(bool temporal, bool withPrompt);
    // The multi-slice circular edge, step by step.
    void REDGEPRO_Click();
    void smoothAround(bool end);
    void recordCentre(bool end);
    void AESFDSP();
    // A slice number answered at `prompt` (1-based), as an index; nothing
    // when cancelled or not in the list (with a message).
    std::optional<int> askSlice(const std::string& prompt, const std::string& defaultText);
    // CT value, SD and the line profile.
    void regionValues(bool withSd);
    void PROFMES_Click();
    // Detectability d' of a disc task from a stored MTF and NPS.
    void DPRIME_Click();
    // The d' settings, asked in order; false when one is cancelled or
    // refused (with a message).
    bool askDetectabilitySettings();
    void detectabilityGraph(const Detectability& d);

    // Shared by the two edge set-ups: the working image, the graph's scale
    // and the ESF; false when there is nothing to measure.
    bool setUpEdge(bool circular);
    EdgeRoi roi() const;
    bool circularEdge() const { return methodTag_ == "RE"; }
    void rebuildEsf();
    // The ESF graph's scale: the ROI's width across, its value range (of a
    // slice with the offset added) up the side.
    void scaleToEdge(const int16_t* image);
    void moveRoiToCentre();
    void plotLsf();
    // A new LSF in lsf_ peaking at `centre`: kept as the backup, nothing
    // zeroed yet.
    void startLsf(int centre);
    // Zeroes the tails up to the zero limits of the last manual zeroing.
    void zeroTails();
    void zeroTail(float x);
    // Stores mtf_ in the slot the user names ("Data No." prompt, slots up
    // to maxSlot), puts it on the clipboard and draws the MTF graph.
    void storeMtf(const std::string& prompt = "Data No.(0...cancel)=", int maxSlot = CurveStore::kSlots,
                  bool thousandths = false);
    // The PNR below which noise decides the MTF in the making.
    double pnrLimit() const;
    void drawMtfFrame();
    // The curve from its first point on, `shift` subtracted from its values.
    void drawCurve(const CurveSlot& slot, uint32_t colour, double shift = 0);
    // The slots a graph shows: the user's selection, or 1 .. the current
    // data number. Nothing when the prompt is cancelled or not understood.
    std::optional<std::vector<int>> graphSlots(bool withPrompt);

    // The working image: `pixels` plus `offset`, saturated to 16 bits.
    void takeWorkingImage(const int16_t* pixels, int offset);
    // "FOV(mm) = ": false when cancelled or not above 0 (with a message).
    bool askFov();
    // "From " / "To " as 0-based indices; nothing when cancelled or invalid
    // (with a message).
    std::optional<std::pair<int, int>> askSliceRange();
    // Reads slice `index` of the list into `pixels`; false with a message
    // when its pixels can't be read.
    bool readListedSlice(int index, std::vector<int16_t>& pixels);

    // Noise.
    bool npsRunPossible(int rows);
    // Stores the curve in slot `number`; the caption shows its label and
    // `noiseNote` (npsNoiseNote).
    void storeNps(int number, const CurvePoints& curve, const std::string& noiseNote);
    // The export lines of an NPS slot at the settings' interval, from its
    // first stored frequency to its last: f and 10^spline(f).
    void forNpsExport(const CurveSlot& slot, const std::function<void(double f, double v)>& line) const;

    // Wires.
    std::optional<WireLsf> buildWireLsf(Peak peak);
    bool wireGeometryFits(Peak peak);
    void showWireLsf(const WireLsf& lsf, int firstTail, int tailCount);
    void setUserScale(double left, double width, double top, double height);
    void dot(double x, double y, int colour);
    void showArrows(bool horizontal);

    ImageStore& store_;
    bool loaded_ = false;
    Canvas graph_{kGraphWidth, kGraphHeight};
    std::vector<Menu> menus_;

    // Window values.
    int16_t state_ = Idle;
    std::string methodTag_;
    float oversampling_ = 1;
    float frequencyMaximum_ = 1.5f;
    float frequencyInterval_ = 0.05f;
    int16_t npsFrequencyBins_ = 48;
    float graphXRange_ = 1.5f;
    float graphYScale_ = 1.0f;
    int16_t dataNumber_ = 1;
    // LSF samples 0 .. left and right .. 255 are zeroed; out of range
    // values zero nothing.
    static constexpr int16_t kNoLeftZero = -1, kNoRightZero = kLsfLength;
    int16_t leftZeroLimit_ = kNoLeftZero, rightZeroLimit_ = kNoRightZero;
    int lsfCentre_ = kLsfCentre;
    std::vector<float> lsfBackup_;
    float baseline_ = 0;
    LsfFilter filter_;
    int16_t kindChanged_ = 0;
    std::array<int16_t, 14> colourTable_{10, 11, 12, 13, 14, 15, 2, 3, 4, 5, 6, 7, 8, 9};

    // The edge.
    std::vector<int16_t> workingImage_;
    Esf esf_;
    std::vector<float> lsf_ = std::vector<float>(kLsfLength);
    std::vector<float> mtf_;
    float slope_ = 0;
    float centreX_ = 256, centreY_ = 256;

    CurveStore mtfStore_;
    std::vector<int> drawnSlots_;
    // The PNR of the LSF or point image the MTF in the making comes from;
    // nothing for the z and t profiles, whose points are means over the ROI.
    std::optional<double> peakToNoise_;
    double pointRadius_ = 0;  // the circle of the last 2D-FFT MTF

    // Noise.
    int16_t npsWindow_ = kNpsHann;
    int16_t npsSource_ = 0;  // 0: the current slice, 1: a slice range
    float npsLogOffset_ = -1.0f;
    CurveStore npsStore_;
    int lastMtfSlot_ = 1, lastNpsSlot_ = 1;  // the slots stored last: the d' defaults

    // Detectability: the answers of the last run.
    DetectabilityTask dprimeTask_;
    Observer dprimeObserver_;
    int dprimeMtfSlot_ = 0, dprimeNpsSlot_ = 0;

    // Slice and temporal sensitivity profiles.
    struct HelicalScan {
        float rotation = 0.5f;  // s/rot
        float rowWidth = 0.6f;  // mm
        int16_t rows = 64;
        float pitch = 0.8f;
    };
    struct Profile {
        std::vector<float> values;
        double interval = 0;  // mm (SSP) or s (TSP)
        double offset = 0;    // abscissa of point 0
    };
    std::array<ProfileSlot, kProfileSlots> profileSlots_{};
    std::array<int16_t, kProfileSlots> profileColours_{10, 11, 12, 13, 14, 15, 2, 3};
    Profile ssp_, tsp_;
    int16_t profileDataNumber_ = 1, profileDefaultNumber_ = 1;
    float sspScale_ = 10, tspScale_ = 1;
    HelicalScan helical_;
    // The frequency step of a z or t LSF: kept here, so that the slices'
    // field of view stays what it is.
    float profileStep_ = 0;
    std::vector<float> regionProfile_;

    // The multi-slice circular edge: the next step, the smoothing of the
    // start and end images, and the centres and slices recorded.
    struct CircularProc {
        int16_t step = 0;
        float frequency = 0.2f;  // cycles/mm
        int16_t average = 3;
        float startX = 256, startY = 256, endX = 256, endY = 256;
        int16_t startSlice = 0, endSlice = 0;
    };
    CircularProc proc_;

    // Wires.
    int16_t slitDirection_ = kProfileAlongX;
    int16_t slitHeight_ = 40;
    Peak wirePeak_;
};

}  // namespace halvex
