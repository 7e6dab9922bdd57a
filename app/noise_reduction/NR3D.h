// The 3D edge-preserving noise reduction "3D-MORV" and its companions: the
// parameter sets, "Finish param", the flat-area tests "Test1" / "Test2" and
// the single smoothing steps of "Proc". The values live in the main window's
// boxes; every run reads them once at its start and checks them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "noise_reduction/processing_parameters.h"
#include "platform/ports.h"
#include "workspace/CTDSPF.h"
#include "workspace/image_store.h"

namespace halvex {

// Stamps the marker picture (128 x 20, rows bottom-up) into workImage with
// its top-left corner at column x, row y, as CT value byte - 200.
void STAMPMARK(ImageStore& store, int16_t x, int16_t y);

// A run of slices of 512 x 512 values, one after the other.
class Volume {
public:
    // Throws WorkspaceError when the memory can't be had.
    explicit Volume(int slices = 0);
    int slices() const { return slices_; }
    int16_t* data() { return data_.data(); }
    const int16_t* data() const { return data_.data(); }
    int16_t* slice(int i) { return data_.data() + size_t(i) * kSlicePixels; }
    const int16_t* slice(int i) const { return data_.data() + size_t(i) * kSlicePixels; }

private:
    int slices_ = 0;
    std::vector<int16_t> data_;
};

// The input range of a run and its cubic-voxel grid along z.
struct RunGeometry {
    int start = 0;                       // first input slice, 0-based
    int n = 0;                           // input slices
    float dz = 0;                        // input spacing, mm
    float pixel = 0;                     // pixel size = voxel edge, mm
    float sign = 1;                      // direction of the positions
    std::vector<float> inputPositions;   // n
    std::vector<float> isoPositions;     // P
    int P() const { return static_cast<int>(isoPositions.size()); }
};

// The cubic grid for slices whose positions are `positions` (evenly spaced,
// checked by the caller) with the given pixel size: points h * pixel (to
// 0.001 mm) from the first position, as far as the last position reaches.
std::vector<float> cubicGrid(const std::vector<float>& positions, float pixel);

class NoiseReduction {
public:
    NoiseReduction(CTDSPF& main, ImageStore& store, Ui& ui);

    // 0: load set 1 without asking (start-up); 1: ask and load; 2: ask and save.
    void PARAMIO(int16_t mode);
    void EASYBTN_Click();  // "Finish param"
    void NR3D();           // "3D-MORV"
    void NRTEST1();        // "Test1"
    void NRTEST2();        // "Test2"
    void PROC1_Click();    // "Proc"

    // "Stop" and Esc: a running command ends before its next slice.
    void requestStop() { stopRequested_ = running_; }
    bool running() const { return running_; }

    // The boxes as a run reads them (limits applied).
    ProcessingParameters readBoxes() const;
    // The boxes' texts in file order, the check box as "0" or "1".
    ParameterTexts boxTexts() const;

private:
    friend class RunScope;
    struct Stopped {};

    // Lets the window repaint; ends the run when Stop was pressed.
    void yield();
    void caption(const std::string& text) { main_.setCaption(text); }
    void showSlice(const int16_t* slice);
    // Appends workImage with the metadata of input slice `source`.
    void appendSlice(int source, int16_t ctOffset, float position, float dfov);

    // The stages of a run, shared by 3D-MORV and the tests.
    bool askRange(int& start, int& end);
    std::string geometryProblem(int start, int end, RunGeometry& g) const;
    void loadRange(const RunGeometry& g, Volume& input);
    void resample(const RunGeometry& g, const Volume& input, Volume& iso);
    float preEnhance(const ProcessingParameters& p, int16_t circularFov, Volume& iso, Volume& input);
    void runPasses(const ProcessingParameters& p, float smoothSigma, Volume& iso, Volume& input, Volume& guide);
    void firstPass(const ProcessingParameters& p, float smoothSigma, const std::function<std::string(int)>& captionOf,
                   Volume& iso, Volume& input, Volume& guide, std::vector<float>& gx, std::vector<float>& gy,
                   std::vector<float>& gz);
    void saveScratch(const Volume& iso);
    void output(const ProcessingParameters& p, const RunGeometry& g, const Volume& iso);
    bool setUpSlab(RunGeometry& g, Volume& input, Volume& iso);
    std::string counter(int i, int last) const;

    CTDSPF& main_;
    ImageStore& store_;
    Ui& ui_;
    int16_t circularFov_ = 0;
    float lastProcMode_ = 0;
    bool running_ = false;
    bool stopRequested_ = false;
    int appended_ = 0;
};

// Marks a command as running for its whole length, whatever way it ends.
class RunScope {
public:
    explicit RunScope(NoiseReduction& nr) : nr_(nr) {
        nr_.running_ = true;
        nr_.stopRequested_ = false;
        nr_.appended_ = 0;
    }
    ~RunScope() {
        nr_.running_ = false;
        nr_.stopRequested_ = false;
        nr_.ui_.progress(0, 0);
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

private:
    NoiseReduction& nr_;
};

}  // namespace halvex
