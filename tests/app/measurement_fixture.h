// A started workspace with the measurement window open on one slice of an
// analytic phantom (or of a constant image), for the window's tests.
#pragma once

#include <string>
#include <vector>

#include "app_fixture.h"
#include "phantom_model.h"

namespace halvex::testing {

struct PhantomSlice {
    phantom::Phantom object;
    double fov = 250;
    double sigma = 0.4;  // in-plane PSF, mm
    double noise = 0;    // HU
    uint64_t seed = 1;
};

class MeasurementTest : public WorkspaceTest {
protected:
    // Starts the workspace and opens the measurement window.
    void SetUp() override;
    // Makes the phantom's slice the one shown (stored HU + 1024, offset -1024).
    void showPhantom(const PhantomSlice& slice);
    // Makes a slice of constant CT value the one shown.
    void showConstant(int16_t ct, float fov = 250);
    // Places the ROI as a drag would.
    void setRoi(int left, int top, int width, int height);
    // Clicks a control of the measurement window with queued prompt answers.
    void click(Button& button, const std::vector<std::string>& answers = {});

    CTPSFF& mw = ws.measurement;
};

// The pixel (column or row) of a phantom coordinate in mm.
double phantomPixel(double mm, double fov);

}  // namespace halvex::testing
