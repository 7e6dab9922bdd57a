#include "measurement_fixture.h"

#include <algorithm>

namespace halvex::testing {

void MeasurementTest::SetUp() {
    start();
    win.SHOWMW.click();
    ASSERT_TRUE(mw.loaded());
}

void MeasurementTest::showPhantom(const PhantomSlice& slice) {
    phantom::SliceSampler sampler(slice.object, slice.fov, phantom::Blur{slice.sigma, 1.0});
    std::vector<double> hu;
    sampler.sliceHu(0.0, hu);
    phantom::addNoise(hu, slice.noise, slice.seed, 0);
    phantom::toStored(hu, 1024.0, store.workImage);
    store.sliceCount = 1;
    store.currentSlice = 0;
    store.slices[0].dfov = static_cast<float>(slice.fov);
    store.slices[0].kernel = "FC13";
    store.workCtOffset = -1024;
    store.currentDfov = static_cast<float>(slice.fov);
    store.pixelSize = store.currentDfov / 512.0f;
}

void MeasurementTest::showConstant(int16_t ct, float fov) {
    std::fill(store.workImage.begin(), store.workImage.end(), static_cast<int16_t>(ct + 1024));
    store.sliceCount = 1;
    store.currentSlice = 0;
    store.slices[0].dfov = fov;
    store.workCtOffset = -1024;
    store.currentDfov = fov;
    store.pixelSize = fov / 512.0f;
}

void MeasurementTest::setRoi(int left, int top, int width, int height) {
    win.placeRoi(int16_t(left), int16_t(top), int16_t(width), int16_t(height));
}

void MeasurementTest::click(Button& button, const std::vector<std::string>& answers) {
    for (const std::string& a : answers) ui.queueAnswer(a);
    button.click();
}

double phantomPixel(double mm, double fov) { return phantom::mmToPixel(mm, fov / 512.0); }

}  // namespace halvex::testing
