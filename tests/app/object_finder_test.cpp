// The object finder against the analytic phantom: every object it must find,
// where the model put it, on a clean and on a noisy low-dose series.
#include "evaluation/object_finder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "phantom_model.h"

namespace halvex {
namespace {

constexpr double kFov = 250, kPixel = kFov / 512, kSigma = 0.5, kSigmaZ = 0.5;
constexpr int kSlices = 20, kDiscSlice = 10;  // slices at z = 0, 1, ... mm; the disc at z = 10

double px(double mm) { return phantom::mmToPixel(mm, kPixel); }

struct Series {
    std::vector<std::vector<int16_t>> stored;
    std::vector<std::vector<double>> clean;  // noise-free HU
    std::vector<SliceImage> slices() const {
        std::vector<SliceImage> s;
        for (size_t k = 0; k < stored.size(); ++k) s.push_back({stored[k].data(), -1024, static_cast<float>(k)});
        return s;
    }
};

Series makeSeries(const phantom::Phantom& object, int count, double noise) {
    const phantom::SliceSampler sampler(object, kFov, {kSigma, kSigmaZ});
    Series series;
    for (int k = 0; k < count; ++k) {
        std::vector<double> hu;
        sampler.sliceHu(k, hu);
        series.clean.push_back(hu);
        phantom::addNoise(hu, noise, 21, k);
        phantom::toStored(hu, 1024.0, series.stored.emplace_back());
    }
    return series;
}

phantom::Phantom testPhantom() {
    phantom::Phantom object = phantom::standardPhantom(kDiscSlice, 0, -70);
    object.inserts = phantom::ringInserts({{300, 12}, {-100, 15}, {50, 20}});
    return object;
}

const FoundObject* nearest(const FoundObjects& found, ObjectKind kind, double x, double y) {
    const FoundObject* best = nullptr;
    for (const FoundObject& o : found.objects)
        if (o.kind == kind && (!best || std::hypot(o.cx - x, o.cy - y) < std::hypot(best->cx - x, best->cy - y))) best = &o;
    return best;
}

int countOf(const FoundObjects& found, ObjectKind kind) {
    int n = 0;
    for (const FoundObject& o : found.objects) n += o.kind == kind;
    return n;
}

// Centre and radius tolerances in pixels: 0.3 at noise 10, 0.5 at 40 (the
// fits come within 0.1 at both). The body's and the inserts' radii are
// those of the half-level contour, which the blur pulls inwards by
// sigma^2 / (2 R): under 0.05 pixel here.
struct NoiseCase {
    double noise;
    double centreTolerance, radiusTolerance, wireTolerance;
};

TEST(ObjectFinder, FindsThePhantomsObjectsOnCleanAndNoisySeries) {
    const phantom::Phantom object = testPhantom();
    for (const NoiseCase& c : {NoiseCase{10, 0.3, 0.3, 0.5}, NoiseCase{40, 0.5, 0.5, 0.5}}) {
        SCOPED_TRACE("noise " + std::to_string(c.noise));
        const Series series = makeSeries(object, kSlices, c.noise);
        const FoundObjects found = findObjects(series.slices(), static_cast<float>(kPixel));
        for (const std::string& p : found.problems) std::printf("  problem: %s\n", p.c_str());

        ASSERT_FALSE(found.objects.empty());
        const FoundObject& body = found.objects.front();
        EXPECT_EQ(body.kind, ObjectKind::Body);
        EXPECT_NEAR(body.cx, px(0), c.centreTolerance);
        EXPECT_NEAR(body.cy, px(0), c.centreTolerance);
        EXPECT_NEAR(body.radiusPx, 0.5 * object.cylinderDiameter / kPixel, c.radiusTolerance);
        EXPECT_NEAR(found.backgroundHu, 0, 1);
        EXPECT_NEAR(found.noiseSd / c.noise, 1, 0.05);

        // The rod is an insert too; the block is not, and is named.
        std::vector<phantom::Disk> inserts = object.inserts;
        inserts.push_back(object.rod);
        EXPECT_EQ(countOf(found, ObjectKind::Insert), int(inserts.size()));
        for (const phantom::Disk& d : inserts) {
            const FoundObject* o = nearest(found, ObjectKind::Insert, px(d.cx), px(d.cy));
            ASSERT_NE(o, nullptr);
            const double off = std::hypot(o->cx - px(d.cx), o->cy - px(d.cy));
            std::printf("noise %g: %s (%g HU, %g mm) centre off by %.3f px, radius by %+.3f px, contrast %.1f, CNR %.2f\n",
                        c.noise, o->id.c_str(), d.contrast, d.diameter, off, o->radiusPx - 0.5 * d.diameter / kPixel,
                        o->contrastHu, o->cnr);
            EXPECT_LT(off, c.centreTolerance) << o->id;
            EXPECT_NEAR(o->radiusPx, 0.5 * d.diameter / kPixel, c.radiusTolerance) << o->id;
            EXPECT_NEAR(o->contrastHu, d.contrast, 0.05 * std::fabs(d.contrast) + 2) << o->id;
            EXPECT_NEAR(o->cnr, std::fabs(d.contrast) / c.noise, 0.1 * std::fabs(d.contrast) / c.noise) << o->id;
        }
        bool blockNamed = false;
        for (const std::string& p : found.problems)
            blockNamed = blockNamed || (p.find("not round") != std::string::npos &&
                                        p.find("(" + std::to_string(int(px(object.block.cx)))) != std::string::npos);
        EXPECT_TRUE(blockNamed) << "the block is not named as not round";

        ASSERT_EQ(countOf(found, ObjectKind::Wire), 1);
        const FoundObject* wire = nearest(found, ObjectKind::Wire, px(object.wire.cx), px(object.wire.cy));
        const double wireOff = std::hypot(wire->cx - px(object.wire.cx), wire->cy - px(object.wire.cy));
        std::printf("noise %g: wire centre off by %.3f px\n", c.noise, wireOff);
        EXPECT_LT(wireOff, c.wireTolerance);

        // The disc: its slice, with +-4 sigma_z (2 slices) about it.
        ASSERT_EQ(countOf(found, ObjectKind::ZObject), 1);
        const FoundObject* disc = nearest(found, ObjectKind::ZObject, px(object.disc.disk.cx), px(object.disc.disk.cy));
        std::printf("noise %g: disc centre off by %.3f px, slices %d..%d\n", c.noise,
                    std::hypot(disc->cx - px(object.disc.disk.cx), disc->cy - px(object.disc.disk.cy)), disc->firstSlice,
                    disc->lastSlice);
        EXPECT_LT(std::hypot(disc->cx - px(object.disc.disk.cx), disc->cy - px(object.disc.disk.cy)), 1.0);
        EXPECT_LE(disc->firstSlice, kDiscSlice - 2);
        EXPECT_GE(disc->lastSlice, kDiscSlice + 2);
        EXPECT_LE(disc->lastSlice - disc->firstSlice, 8);

        // Five uniform ROIs of 64 pixels on plain water in every noise-free
        // slice: inside the body and off every object, the disc included.
        ASSERT_EQ(countOf(found, ObjectKind::Uniform), 5);
        for (const FoundObject& o : found.objects) {
            if (o.kind != ObjectKind::Uniform) continue;
            EXPECT_EQ(o.roiSide, 64);
            const int x0 = static_cast<int>(o.cx - 31.5), y0 = static_cast<int>(o.cy - 31.5);
            double worst = 0;
            for (const std::vector<double>& hu : series.clean)
                for (int y = y0; y < y0 + 64; ++y)
                    for (int x = x0; x < x0 + 64; ++x) worst = std::max(worst, std::fabs(hu[size_t(y * 512 + x)]));
            EXPECT_LT(worst, 0.5) << o.id << " at " << o.cx << ", " << o.cy;
        }
    }
}

TEST(ObjectFinder, AnAirSeriesHasNoBody) {
    std::vector<int16_t> air(phantom::kSliceSize, 24);  // -1000 HU with the offset -1024
    const FoundObjects found = findObjects({{air.data(), -1024, 0}, {air.data(), -1024, 1}}, 0.5f);
    EXPECT_TRUE(found.objects.empty());
    ASSERT_EQ(found.problems.size(), 1u);
    EXPECT_EQ(found.problems[0], "no phantom body (nothing above -500 HU)");
}

}  // namespace
}  // namespace halvex
