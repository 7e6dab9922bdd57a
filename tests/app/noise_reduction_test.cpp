// 3D-MORV against a plain transcription of its stages (calling the same
// kernels), the refusals before any work, Stop, and the companions' write-
// backs. The along-edge window is kept small (r = 1 or 2) so that a run
// takes well under a second.
#include <cmath>
#include <functional>

#include "app_fixture.h"
#include "platform/lumvek_binding.h"
#include "platform/number_text.h"
#include "noise_reduction/NR3D.h"
#include "phantom_model.h"

namespace halvex::testing {
namespace {

using Slices = std::vector<std::vector<int16_t>>;
constexpr size_t kPixels = kSlicePixels;

// The run as the stages read, on plain vectors: load, cubic grid, resample,
// pre-enhance, passes with mixing, output with the stamp.
Slices referenceRun(const Slices& in, const std::vector<float>& pos, float dfov, int16_t ctOffset,
                    const ProcessingParameters& p, const std::array<uint8_t, 2560>& stamp) {
    const int n = static_cast<int>(in.size());
    const float pixel = dfov / 512.0f, dz = std::fabs(pos[1] - pos[0]), sign = pos[1] < pos[0] ? -1.0f : 1.0f;
    const int P = static_cast<int>(std::floor(std::fabs(pos[n - 1] - pos[0]) / pixel + 1e-4f)) + 1;
    std::vector<int16_t> input(size_t(n) * kPixels), iso(size_t(P) * kPixels), guide(size_t(P) * kPixels), temp;
    for (int k = 0; k < n; ++k) std::copy(in[size_t(k)].begin(), in[size_t(k)].end(), input.begin() + k * kPixels);
    std::vector<float> isoPos;
    for (int h = 0; h < P; ++h) {
        const float z = static_cast<float>(std::nearbyint(double(h * pixel) * 1000.0)) / 1000.0f;
        LUMVEK(zintp)(&iso[h * kPixels], input.data(), 512, 512, n, dz, z);
        isoPos.push_back(sign * z + pos[0]);
    }
    input = iso;
    float smooth = 1.2f;
    if (p.preType == 1) {
        for (int i = 0; i < P; ++i) LUMVEK(boxfilter3dctms)(&iso[i * kPixels], input.data(), P, 1.2f, 1.2f, p.type1Enhance, i);
    } else if (p.preType == 2) {
        smooth = 1.8f;
        for (int i = 0; i < P; ++i)
            LUMVEK(ctinr2dfilter)(&input[i * kPixels], &input[i * kPixels], pixel, 0.5f, p.type2Low, 0.5f,
                          (1 - p.type2Low) * p.type2High);
        for (int i = 0; i < P; ++i) LUMVEK(boxfilter3dctzms)(&iso[i * kPixels], input.data(), P, 1.2f, p.type2ZEnhance, i);
    }
    std::vector<float> gx(kPixels), gy(kPixels), gz(kPixels);
    std::vector<int16_t> hp(kPixels), lp(kPixels);
    for (int v = 0; v < p.iterations; ++v) {
        temp = iso;
        input = iso;
        float blend = 0.75f;
        if (v == 0) {
            for (int i = 0; i < P; ++i) LUMVEK(boxfilter3dctms)(&guide[i * kPixels], input.data(), P, smooth, smooth, 0, i);
            for (int i = 0; i < P; ++i) {
                LUMVEK(vecana3dms)(gx.data(), gy.data(), gz.data(), guide.data(), 512, 512, P, 2, 3, i);
                LUMVEK(alongblfilter3dms)(iso.data(), input.data(), guide.data(), gx.data(), gy.data(), gz.data(), 512, 512, P,
                                  p.windowHalfWidth, 0.6f, 1.5f * p.rangeSigma1, i);
            }
        } else {
            float prm[10] = {0.5f * p.edgeLow, p.edgeHigh, 0, 0, 0, 1.2f * p.rangeSigma2, 0.6f, 3, 0.3f, 2};
            if (p.iterations >= 2) prm[8] = 0.2f, prm[9] = 1, blend = p.iterations == 2 ? p.blendRatio : 2 * p.blendRatio;
            for (int i = 0; i < P; ++i) {
                LUMVEK(vecana3dms)(gx.data(), gy.data(), gz.data(), guide.data(), 512, 512, P, 2, 3, i);
                LUMVEK(boxblfilter3dal1ms)(iso.data(), input.data(), guide.data(), gx.data(), gy.data(), gz.data(), 512, 512, P,
                                   p.windowHalfWidth, prm, i);
            }
        }
        for (int i = 0; i < P; ++i) LUMVEK(boxfilter3dctms)(&guide[i * kPixels], iso.data(), P, smooth, smooth, 1.2f, i);
        if (blend <= 0.05f) continue;
        input = iso;
        for (int i = 0; i < P; ++i) {
            LUMVEK(boxfilter2dctivms)(hp.data(), &temp[i * kPixels], 3.6f, 0);
            LUMVEK(boxfilter2dctms)(lp.data(), &input[i * kPixels], 3.6f, 0);
            LUMVEK(ctorgmul)(&iso[i * kPixels], hp.data(), lp.data(), blend);
        }
    }
    Slices out;
    auto stamped = [&](std::vector<int16_t> s) {
        for (int i = 0; i < 20; ++i)
            for (int j = 0; j < 128; ++j) s[size_t(492 + i) * 512 + 384 + j] = int16_t(stamp[size_t((19 - i) * 128 + j)] - ctOffset - 200);
        out.push_back(std::move(s));
    };
    if (p.zReposition == 1) {
        for (int j = 0; j < n; ++j) {
            std::vector<int16_t> s(kPixels);
            LUMVEK(zintp)(s.data(), iso.data(), 512, 512, P, pixel, std::fabs(pos[size_t(j)] - pos[0]));
            stamped(std::move(s));
        }
    } else {
        for (int i = 0; i < P; ++i) stamped(std::vector<int16_t>(iso.begin() + i * kPixels, iso.begin() + (i + 1) * kPixels));
    }
    return out;
}

// A Ui that presses Stop at its n-th event pump.
class StoppingUi : public ScriptUi {
public:
    using ScriptUi::ScriptUi;
    std::function<void()> stop;
    int stopAt = -1;
    void pumpEvents() override {
        if (--stopAt == 0 && stop) stop();
    }
};

class NoiseReductionRun : public ::testing::Test {
protected:
    NoiseReductionRun() {
        for (const char* name : {"VOXIM.INI", "NFD.BMP", "PARAM.TXT"})
            std::filesystem::copy_file(std::string(HALVEX_SOURCE_DIR) + "/resources/" + name, folder.path() + name);
        EXPECT_TRUE(ws.start(folder.path()));
        ui.stop = [this] { ws.main.STOPBTN.click(); };
    }

    // `count` phantom slices (noise 10 HU) `spacing` mm apart, DFOV 250.
    void loadPhantom(int count, float spacing) {
        phantom::SliceSampler sampler(phantom::standardPhantom(count * spacing / 2, 0, -70), 250.0,
                                      phantom::Blur{0.5, 0.5});
        std::vector<double> hu;
        for (int k = 0; k < count; ++k) {
            sampler.sliceHu(k * spacing, hu);
            phantom::addNoise(hu, 10.0, 5, k);
            phantom::toStored(hu, 1024.0, store.workImage);
            input.push_back(store.workImage);
            positions.push_back(k * spacing);
            STOREIMG(store, -1024, k * spacing, 250.0f);
            store.slices[size_t(k)].kernel = "FC13";
        }
    }

    void setBoxes(const ProcessingParameters& p) {
        CTDSPF& m = ws.main;
        m.RPTTX.setText(std::to_string(p.iterations));
        m.WNTX.setText(std::to_string(p.windowHalfWidth));
        m.PRETYPTX.setText(std::to_string(p.preType));
        m.RORGTX.setText(generalSingle(p.blendRatio));
        m.ZREINTPCK.setValue(p.zReposition);
    }

    // From, To, circular FOV, then Yes to "Process will start. ok?".
    void run(const std::string& from = "1", const std::string& to = "20") {
        for (const std::string& a : {from, to, std::string("0")}) ui.queueAnswer(a);
        ui.queueReply(Reply::Yes);
        ws.guard.run([&] { ws.main.PROC2.click(); });
    }

    Slices appendedFrom(int first) {
        Slices out;
        for (int i = first; i < store.sliceCount; ++i) {
            std::vector<int16_t> s(kPixels);
            readSlicePixels(store, store.slices[size_t(i)], s.data());
            out.push_back(std::move(s));
        }
        return out;
    }

    std::string output() const { return echo.str(); }

    TempFolder folder;
    std::ostringstream echo;
    StoppingUi ui{echo};
    Workspace ws{ui};
    ImageStore& store = ws.store;
    Slices input;
    std::vector<float> positions;
};

struct RunCase {
    int16_t preType, iterations, zReposition, r;
    float blend;
};

TEST_F(NoiseReductionRun, AppendsExactlyTheStagesResult) {
    loadPhantom(20, 0.5f);  // 9.5 mm at 0.488 mm pixels: 20 cubic slices
    for (const RunCase c : {RunCase{1, 2, 1, 2, 0.3f}, RunCase{2, 3, 0, 1, 0.2f}, RunCase{0, 1, 1, 1, 0.3f},
                            RunCase{1, 0, 0, 1, 0.3f}, RunCase{2, 2, 1, 1, 0.02f}}) {
        SCOPED_TRACE("pre " + std::to_string(c.preType) + " iterations " + std::to_string(c.iterations) + " zrepos " +
                     std::to_string(c.zReposition));
        ProcessingParameters p;
        p.preType = c.preType, p.iterations = c.iterations, p.zReposition = c.zReposition;
        p.windowHalfWidth = c.r, p.blendRatio = c.blend;
        setBoxes(p);
        const int before = store.sliceCount;
        run();
        const Slices expected = referenceRun(input, positions, 250.0f, -1024, p.limited(), store.stampBitmap);
        const Slices got = appendedFrom(before);
        ASSERT_EQ(got.size(), expected.size());
        for (size_t k = 0; k < got.size(); ++k) ASSERT_TRUE(got[k] == expected[k]) << "slice " << k;

        // Metadata from the range, positions by the grid or the inputs.
        const SliceInfo& last = store.slices[size_t(store.sliceCount - 1)];
        EXPECT_EQ(last.kernel, "FC13");
        EXPECT_EQ(last.ctOffset, -1024);
        EXPECT_FLOAT_EQ(last.position, c.zReposition == 1 ? 9.5f : 9.277f);  // 19 x 0.48828 to 0.001 mm
        // The marker shows as CT value byte - 200.
        const int16_t ct = static_cast<int16_t>(got[0][size_t(500) * 512 + 400] - 1024);
        EXPECT_EQ(ct, store.stampBitmap[size_t((19 - 8) * 128 + 16)] - 200);
        EXPECT_FALSE(std::filesystem::exists(folder.path() + "tempvv.dat"));
    }
    EXPECT_NE(output().find("caption CTDSPF \"z-interpolation & saving 19/ 19\""), std::string::npos);
    EXPECT_NE(output().find("caption CTDSPF \"pre enhancing  5/ 19\""), std::string::npos);
    EXPECT_NE(output().find("caption CTDSPF \" 7/ 19  1/ 2\""), std::string::npos);
}

TEST_F(NoiseReductionRun, RefusesBeforeAnyWork) {
    struct Case {
        const char* name;
        std::function<void()> prepare;
        std::vector<std::string> answers;  // exactly the prompts the refusal leaves
        const char* message;
    };
    loadPhantom(22, 1.0f);
    const Case cases[] = {
        {"19 slices", [] {}, {"1", "19"}, "Too few or To large number of image !"},
        {"reversed range", [] {}, {"3", "2"}, "To: the last slice must not lie before the first (3)."},
        {"negative start", [] {}, {"-4"}, "From: give a slice number from 1 to 22."},
        {"repeated positions", [&] { store.slices[1].position = 0; }, {"1", "22"},
         "The slices 1 to 22 are not evenly spaced along z (slice 3): sort the series by slice position, one series at a time."},
        {"no DFOV", [&] { for (int k = 0; k < 22; ++k) store.slices[size_t(k)].dfov = 0; }, {"1", "22"},
         "The slices have no DFOV: their pixel size is unknown."},
        {"bad parameter", [&] { ws.main.WNTX.setText("0"); }, {"1", "22"},
         "Iteration wn: the window half-width wn must be 1 or more."},
        {"unreadable slice", [&] { store.slices[5].name = "gone.dcm", store.slices[5].path = "/nonexistent/gone.dcm"; },
         {"1", "22"}, "Slice 6 can't be read from /nonexistent/gone.dcm."},
        {"no room", [&] { store.tempSlotCount = 4090; }, {"1", "22"},
         "No room for 22 more slices (at most 2048 in the list, 4095 in the stack file): clear some slices first."},
        // Spacing below 0.1 mm: a spacing given at the prompt is used; keeping it ends the run.
        {"spacing kept", [&] { for (int k = 0; k < 22; ++k) store.slices[size_t(k)].position = 0.05f * k; },
         {"1", "22", "0.05"}, "The slice spacing is 0.05 mm: the run needs slices at least 0.1 mm apart."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<SliceInfo> slices(store.slices.begin(), store.slices.begin() + 22);
        const int16_t slots = store.tempSlotCount;
        c.prepare();
        echo.str("");
        for (const std::string& a : c.answers) ui.queueAnswer(a);
        ws.main.PROC2.click();
        EXPECT_NE(output().find("message \"" + std::string(c.message) + "\""), std::string::npos) << output();
        EXPECT_EQ(store.sliceCount, 22);
        EXPECT_EQ(output().find("prompt \"circular FOV?"), std::string::npos);  // refused before any loading
        std::copy(slices.begin(), slices.end(), store.slices.begin());
        store.tempSlotCount = slots;
        ws.main.WNTX.setText("6");
    }
}

TEST_F(NoiseReductionRun, StopKeepsTheSlicesAlreadyAppended) {
    loadPhantom(20, 0.5f);
    ProcessingParameters p;
    p.windowHalfWidth = 1, p.iterations = 1, p.zReposition = 0;
    setBoxes(p);
    // 20 loads, 20 resampled, 20 pre-enhanced, then per pass 20 + 20 + 20 +
    // 20 + 20 pumps; the 3rd output slice's pump presses Stop.
    ui.stopAt = 20 * 3 + 20 * 5 + 3;
    run();
    EXPECT_EQ(store.sliceCount, 23);
    EXPECT_EQ(ws.main.caption(), "3D-MORV stopped: 3 slices appended.");
    EXPECT_FALSE(ws.noiseReduction.running());
    // Stop outside a run does nothing to the next one.
    ws.main.STOPBTN.click();
    ui.stopAt = -1;
    run();
    EXPECT_EQ(store.sliceCount, 43);
}

TEST_F(NoiseReductionRun, TestsAndProcAppendTheirSlices) {
    loadPhantom(30, 1.0f);
    ws.main.WNTX.setText("1");
    // Test1, type 1: the middle slice of the pre-enhanced slab.
    for (const char* a : {"15", "1", "2.0"}) ui.queueAnswer(a);
    ws.main.TEST1BTN.click();
    EXPECT_EQ(store.sliceCount, 31);
    EXPECT_EQ(ws.main.TYP1ENHTX.text(), "2.00");
    EXPECT_NE(output().find("message \"Measure SD in a flat area and Memorize.\""), std::string::npos);
    // Type 0 appends nothing; a target near the end stops silently.
    for (const char* a : {"15", "0"}) ui.queueAnswer(a);
    ws.main.TEST1BTN.click();
    ui.queueAnswer("29");
    ws.main.TEST1BTN.click();
    EXPECT_EQ(store.sliceCount, 31);

    // Test2: the CT scales from the SD, one slice of gradient lengths, offset 0.
    ui.queueReply(Reply::Yes);
    for (const char* a : {"15", "23"}) ui.queueAnswer(a);
    ws.main.TEST2BTN.click();
    EXPECT_EQ(ws.main.BLCT1TX.text(), "30");
    EXPECT_EQ(ws.main.BLCT2TX.text(), "20");
    ASSERT_EQ(store.sliceCount, 32);
    EXPECT_EQ(store.slices[31].ctOffset, 0);
    EXPECT_NE(output().find("message \"Measure MAX in a flat area and Memorize.\""), std::string::npos);

    // Proc 0 with rx 1.2 and enhance 1: the slice in view, stamped.
    LOADSLICE(store, 0);
    const std::vector<int16_t> shown = store.workImage;
    for (const char* a : {"0", "1.2", "1"}) ui.queueAnswer(a);
    ws.main.PROC1.click();
    ASSERT_EQ(store.sliceCount, 33);
    std::vector<int16_t> copy(kPixels);
    readSlicePixels(store, store.slices[32], copy.data());
    EXPECT_EQ(copy[size_t(100) * 512 + 100], shown[size_t(100) * 512 + 100]);
    EXPECT_NE(copy[size_t(500) * 512 + 400], shown[size_t(500) * 512 + 400]);
    // Proc 2 needs a DFOV; Proc 1 appends the range.
    store.slices[size_t(store.currentSlice)].dfov = 0;
    ui.queueAnswer("2");
    ws.main.PROC1.click();
    EXPECT_EQ(store.sliceCount, 33);
    for (const char* a : {"1", "3", "22", "1.2", "1.5"}) ui.queueAnswer(a);
    ws.main.PROC1.click();
    EXPECT_EQ(store.sliceCount, 33 + 20);
}

}  // namespace
}  // namespace halvex::testing
