// Start-up, settings, the stack file and the display procedures of the main window.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app_fixture.h"
#include "platform/files.h"

namespace halvex::testing {
namespace {

TEST_F(WorkspaceTest, StartUpSetsCaptionWindowAndRoi) {
    start();
    EXPECT_EQ(win.caption(), "TessamirBasic ver.halvex " HALVEX_VERSION ": CTDSP");
    EXPECT_EQ(win.WWTX.text(), "500");
    EXPECT_EQ(win.WCTX.text(), "30");
    EXPECT_EQ(store.fftSize, 0);
    EXPECT_EQ(store.appFolder, folder.path());
    EXPECT_EQ(win.OP1.selected(), 1);
    EXPECT_EQ(win.SH1.left(), 240);
    EXPECT_EQ(win.RH1.left(), 240 + 50 - win.RH1.width());
    EXPECT_EQ(win.presets()[CTDSPF::Chest].width, 1500);
    EXPECT_EQ(win.presets()[CTDSPF::Chest].centre, -500);
    // The stamp is the picture body behind the 1078-byte header.
    EXPECT_NE(std::count(store.stampBitmap.begin(), store.stampBitmap.end(), 255), 0);
    EXPECT_EQ(output().find("message"), std::string::npos);
}

TEST_F(WorkspaceTest, MissingSettingsFileIsReportedAndStartUpGoesOn) {
    start(false);
    EXPECT_NE(output().find("message \"ini file error!\""), std::string::npos);
    EXPECT_EQ(win.presets()[CTDSPF::Head].width, 0);
    EXPECT_EQ(win.caption(), "TessamirBasic ver.halvex " HALVEX_VERSION ": CTDSP");
}

class SettingsFileTest : public WorkspaceTest {
protected:
    void startWith(const std::string& text) {
        writeFile(folder.path() + "VOXIM.INI", text);
        start(false);
    }
};

TEST_F(SettingsFileTest, SixtyThreeBytesAreRejectedSixtyFourRead) {
    std::string text = "H\n71\n31\nA\n201\n41\nB\n401\n41\nC\n1501\n-501\nD\n2001\n501\n";
    text += std::string(63 - text.size(), '#');
    ASSERT_EQ(text.size(), 63u);
    startWith(text);
    EXPECT_NE(output().find("ini file error!"), std::string::npos);
    EXPECT_EQ(win.presets()[CTDSPF::Head].width, 0);
}

TEST_F(SettingsFileTest, SixtyFourBytesAreRead) {
    std::string text = "H\n71\n31\nA\n201\n41\nB\n401\n41\nC\n1501\n-501\nD\n2001\n501\n";
    text += std::string(64 - text.size(), '#');
    startWith(text);
    EXPECT_EQ(output().find("ini file error!"), std::string::npos);
    EXPECT_EQ(win.presets()[CTDSPF::Head].width, 71);
    EXPECT_EQ(win.presets()[CTDSPF::Bone].centre, 501);
}

TEST_F(SettingsFileTest, BadWidthsAndCentresKeepTheDefaults) {
    startWith("Head\n0\n-1024\nAbdo1\n-5\n-1023\nAbdo2\n400.5\n40.5 HU\nChest\nwide\n-500\nBone\n2000\n500\n");
    EXPECT_EQ(win.presets()[CTDSPF::Head].width, 70);      // 0 keeps the default
    EXPECT_EQ(win.presets()[CTDSPF::Head].centre, 30);     // -1024 keeps the default
    EXPECT_EQ(win.presets()[CTDSPF::Abdo1].width, 200);    // negative keeps the default
    EXPECT_EQ(win.presets()[CTDSPF::Abdo1].centre, -1023); // taken
    EXPECT_EQ(win.presets()[CTDSPF::Abdo2].width, 400);    // halves to even
    EXPECT_EQ(win.presets()[CTDSPF::Abdo2].centre, 40);
    EXPECT_EQ(win.presets()[CTDSPF::Chest].width, 1500);   // no number reads 0
}

TEST_F(WorkspaceTest, StoreImageWritesTheNextSlotAndAppendsAnEntry) {
    start();
    appendSlices(5, 100);
    store.tempSlotCount = 2;  // as after a clear that kept slots 0 and 1
    std::fill(store.workImage.begin(), store.workImage.end(), int16_t{1234});
    store.slices[0].kernel = "FC13";
    STOREIMG(store, -1000, 12.5f, 320.0f);
    EXPECT_EQ(store.sliceCount, 6);
    EXPECT_EQ(store.tempSlotCount, 3);
    const SliceInfo& e = store.slices[5];
    EXPECT_EQ(e.name, "ATEMP0002");
    EXPECT_EQ(e.path, folder.path() + "ATEMP0002");
    EXPECT_EQ(e.ctOffset, -1000);
    EXPECT_FLOAT_EQ(e.position, 12.5f);
    EXPECT_FLOAT_EQ(e.dfov, 320.0f);
    EXPECT_EQ(e.kernel, "FC13");
    EXPECT_EQ(win.HS1.maximum(), 5);
    int16_t pixel = 0;
    readAt(store.tempStackPath(), 1048576, &pixel, 2);
    EXPECT_EQ(pixel, 1234);
}

TEST_F(WorkspaceTest, LoadSliceReadsTempSlotsFromTheStackFileWhateverThePath) {
    start();
    appendSlices(3, 10);
    store.slices[0].name = "ATEMP0002";
    store.slices[0].path = "/nonexistent/elsewhere";
    store.slices[0].ctOffset = -7;
    LOADSLICE(store, 0);
    EXPECT_EQ(store.workImage[777], 12);
    EXPECT_EQ(store.workCtOffset, -7);
}

TEST_F(WorkspaceTest, LoadSliceLeavesTheImageAloneForLargeFiles) {
    start();
    writeFile(folder.path() + "big.dcm", std::string(600000, '\x05'));
    store.slices[0].name = "big.dcm";
    store.slices[0].path = folder.path() + "big.dcm";
    std::fill(store.workImage.begin(), store.workImage.end(), int16_t{42});
    LOADSLICE(store, 0);
    EXPECT_EQ(store.workImage[0], 42);
    writeFile(folder.path() + "big.dcm", std::string(599999, '\x01'));
    LOADSLICE(store, 0);
    EXPECT_EQ(store.workImage[0], 0x0101);
}

TEST_F(WorkspaceTest, AFullListIsRefusedWithoutChangingAnything) {
    start();
    store.sliceCount = kMaxSlices;
    EXPECT_THROW(STOREIMG(store, 0, 0, 0), WorkspaceError);
    EXPECT_EQ(store.sliceCount, kMaxSlices);
    EXPECT_EQ(store.tempSlotCount, 0);
    store.sliceCount = 0;
    store.tempSlotCount = kMaxTempSlots;
    EXPECT_THROW(STOREIMG(store, 0, 0, 0), WorkspaceError);
    EXPECT_EQ(store.sliceCount, 0);
    // Through a command the refusal becomes a message and the program goes on.
    ws.guard.run([&] { STOREIMG(store, 0, 0, 0); });
    EXPECT_NE(output().find("message \"The temporary stack file is full"), std::string::npos);
}

TEST_F(WorkspaceTest, WindowedDisplayOfAStoredSlice) {
    start();
    appendSlices(2, 1064);  // CT 40 and 41 with offset -1024
    win.WWTX.setText("400");
    win.WCTX.setText("40");
    win.HS1.setValue(1);
    win.HS1.setValue(0);
    EXPECT_EQ(store.currentSlice, 0);
    EXPECT_EQ(store.windowWidth, 500);  // the boxes count only when applied
    win.WWTX.doubleClick();
    EXPECT_EQ(store.windowWidth, 400);
    // 200/400 * 255 + 0.5 truncates to 128; the palette is a grey ramp.
    EXPECT_EQ(store.displayBytes[0], 128);
    EXPECT_EQ(win.PIC1.image().at(5, 5), rgb(128, 128, 128));
    EXPECT_EQ(win.Label1.caption(), "1");
    win.NEGACK.click();
    EXPECT_EQ(win.PIC1.image().at(5, 5), rgb(127, 127, 127));
}

TEST_F(WorkspaceTest, ImgdspBlanksOn9999AndRedrawsOnMinusOne) {
    start();
    appendSlices(1, 2000);
    int16_t index = 0;
    win.IMGDSP(index);
    EXPECT_EQ(store.workImage[0], 2000);
    EXPECT_FLOAT_EQ(store.pixelSize, 250.0f / 512);
    std::fill(store.workImage.begin(), store.workImage.end(), int16_t{-3000});
    index = -1;
    win.IMGDSP(index);
    EXPECT_EQ(store.workImage[0], -3000);
    EXPECT_EQ(store.displayBytes[0], 0);
    index = 9999;
    win.IMGDSP(index);
    EXPECT_EQ(store.workImage[100], 0);
    index = 12000;  // above 9999: nothing happens
    store.workImage[0] = 5;
    win.IMGDSP(index);
    EXPECT_EQ(store.workImage[0], 5);
}

TEST_F(WorkspaceTest, OneSliceDoesNotPage) {
    start();
    appendSlices(1, 1000);
    store.workImage[0] = 77;
    win.HS1.setValue(1);  // the maximum is 0: nothing changes
    EXPECT_EQ(store.workImage[0], 77);
    EXPECT_EQ(win.Label1.caption(), "0");
}

TEST_F(WorkspaceTest, PresetsWithAndWithoutMemorising) {
    start();
    win.ABDOBTN2.click();
    EXPECT_EQ(win.WWTX.text(), "400");
    EXPECT_EQ(win.WCTX.text(), "40");
    EXPECT_EQ(store.windowWidth, 400);
    win.WWTX.setText("350.5");
    win.WCTX.setText("-20");
    win.MEMOWWCK.setValue(1);
    win.BONEBTN.click();
    EXPECT_EQ(win.presets()[CTDSPF::Bone].width, 350);
    EXPECT_EQ(win.presets()[CTDSPF::Bone].centre, -20);
    EXPECT_EQ(win.MEMOWWCK.value(), 0);
    EXPECT_EQ(store.windowCentre, -20);
    EXPECT_EQ(win.caption(), "No. Ser pos kV mA mAs s/rot thick kernel DFOV CTDI Pname File");
}

TEST_F(WorkspaceTest, WwsetPromptsRoundsAndCopiesTheView) {
    start();
    ui.queueAnswer("400.5");
    ui.queueAnswer("");
    win.WWSET.click();
    EXPECT_EQ(store.windowWidth, 400);
    EXPECT_EQ(store.windowCentre, 0);
    EXPECT_EQ(win.WWTX.text(), "400");
    EXPECT_NE(output().find("prompt \" WW = \" default \" 500\" -> \"400.5\""), std::string::npos);
    EXPECT_TRUE(ui.clipboardHasImage());
    EXPECT_EQ(ui.clipboardImage().width, 512);
}

TEST_F(WorkspaceTest, ZoomPlacesTheOriginAndTheOutline) {
    start();
    win.BAI2CK.click();
    EXPECT_EQ(store.zoomOn, 1);
    EXPECT_EQ(win.zoomOriginX(), 128);
    // ROI 240,240 50x50 at 2x from origin 128: view (224, 224), 100 x 100.
    EXPECT_EQ(win.SH1.left(), 224);
    EXPECT_EQ(win.SH1.width(), 100);
    win.SH1.place(225, 223, 101, 99);
    win.SHDRAW(1);
    EXPECT_EQ(store.roiLeft, 240);  // 112.5 + 128 = 240.5 rounds to even 240
    EXPECT_EQ(store.roiTop, 240);   // 111.5 + 128 = 239.5 rounds to even 240
    EXPECT_EQ(store.roiWidth, 50);  // 50.5 -> 50
    EXPECT_EQ(store.roiHeight, 50); // 49.5 -> 50
    EXPECT_EQ(win.caption(), " 50x 50pixels");
    win.BAI2CK.click();
    EXPECT_EQ(win.zoomOriginX(), 0);
    EXPECT_EQ(win.SH1.left(), 240);
}

TEST_F(WorkspaceTest, OverlayMovesALongNameToItsOwnLine) {
    start();
    appendSlices(2, 1000);
    store.slices[0].name = std::string(60, 'a') + std::string(40, 'b');
    store.slices[0].ctdi = 0;
    win.OVERLAY();
    const auto& printed = win.PIC1.printed();
    ASSERT_GE(printed.size(), 3u);
    EXPECT_NE(printed[0].text.find(" NA "), std::string::npos);
    EXPECT_EQ(printed[0].text.substr(0, 3), " 1 ");
    EXPECT_EQ(printed[1].text, std::string(40, 'a') + std::string(40, 'b'));
    EXPECT_EQ(printed[2].y, 496);

    // A slice decoded from a lossy file says so, and so does one made from it.
    store.slices[0].lossy = true;
    win.PIC1.clear();
    win.OVERLAY();
    EXPECT_NE(win.PIC1.printed()[0].text.find(" NA  lossy "), std::string::npos) << win.PIC1.printed()[0].text;
    appendSlices(1, 1000);
    EXPECT_TRUE(store.slices[2].lossy);
}

}  // namespace
}  // namespace halvex::testing

namespace halvex::testing {
namespace {

// Two instances on one program folder: the second takes a stack file of its
// own, so neither overwrites the other's slots; another process sees the
// lock too.
TEST_F(WorkspaceTest, EachInstanceHasAStackFileOfItsOwn) {
    start();
    EXPECT_EQ(store.tempStackName, "ATEMP");
    appendSlices(1, 111);

    std::ostringstream echo2;
    ScriptUi ui2{echo2};
    {
        Workspace second{ui2};
        ASSERT_TRUE(second.start(folder.path()));
        EXPECT_EQ(second.store.tempStackName, "ATEMP-2");
        EXPECT_NE(second.main.caption().find("(stack file ATEMP-2: another halvex uses ATEMP)"), std::string::npos);
        std::fill(second.store.workImage.begin(), second.store.workImage.end(), int16_t(222));
        STOREIMG(second.store, 0, 0, 250);

        const std::string batch = std::string(HALVEX_TEST_BIN_DIR) + "/halvex --batch - --app-folder " + folder.path() +
                                  " > " + folder.path() + "third.txt 2>/dev/null <<< 'print caption'";
        ASSERT_EQ(std::system(("bash -c \"" + batch + "\"").c_str()), 0);
        std::ifstream third(folder.path() + "third.txt");
        const std::string seen((std::istreambuf_iterator<char>(third)), std::istreambuf_iterator<char>());
        EXPECT_NE(seen.find("(stack file ATEMP-3: another halvex uses ATEMP)"), std::string::npos) << seen;
        second.stop();
    }
    EXPECT_FALSE(std::filesystem::exists(folder.path() + "ATEMP-2"));
    std::vector<int16_t> px(kSlicePixels);
    ASSERT_TRUE(readSlicePixels(store, store.slices[0], px.data()));
    EXPECT_EQ(px[0], 111);  // the first instance's slot is untouched
}

// Where settings and the stack file go when the folder asked for, or the
// program's own, can't be used: the per-user data folder, seeded with the
// settings; the user is told whenever a request is not followed or nothing
// can be kept.
TEST(ProgramFolderTest, FallsBackToTheUserDataFolderAndSaysWhy) {
    TempFolder root;
    const std::string own = root.path() + "bin/";
    std::filesystem::create_directories(own);
    writeFile(own + "VOXIM.INI", std::string(80, ' '));
    writeFile(root.path() + "plain-file", "x");
    std::filesystem::create_directories(root.path() + "usr/bin");
    std::filesystem::create_directories(root.path() + "usr/share/halvex");
    writeFile(root.path() + "usr/share/halvex/VOXIM.INI", std::string(90, ' '));
    const std::string data = root.path() + "xdg/halvex/";
    const std::string missing = root.path() + "missing";
    // A data folder under a plain file can never be made.
    const std::string impossible = root.path() + "plain-file/xdg";
    const char* savedXdg = std::getenv("XDG_DATA_HOME");
    const std::string keptXdg = savedXdg ? savedXdg : "";

    struct Case {
        std::string xdg, executable, requested, folder, noteHas;
    };
    const Case cases[] = {
        {root.path() + "xdg", own, root.path(), root.path(), ""},
        {root.path() + "xdg", own, "", own, ""},
        {root.path() + "xdg", own, missing, data, missing + " is missing or can't be written: using " + data},
        {root.path() + "xdg", missing, "", data, ""},
        {impossible, own, missing, own, missing + " is missing or can't be written, and no folder under"},
        {impossible, missing, "", missing + "/../share/halvex/", "no folder under $XDG_DATA_HOME"},
        // An installed copy: its own folder is writable (root) but holds no
        // settings; they come from the install's data folder.
        {root.path() + "xdg-installed", root.path() + "usr/bin", "", root.path() + "xdg-installed/halvex/", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.executable + " | " + c.requested + " | " + c.xdg);
        setenv("XDG_DATA_HOME", c.xdg.c_str(), 1);
        const ProgramFolder chosen = resolveProgramFolder(c.executable, c.requested);
        EXPECT_EQ(chosen.path, c.folder);
        if (c.noteHas.empty())
            EXPECT_EQ(chosen.note, "");
        else
            EXPECT_NE(chosen.note.find(c.noteHas), std::string::npos) << chosen.note;
    }
    // The data folders were seeded from the shipped settings.
    EXPECT_EQ(fileLength(data + "VOXIM.INI"), 80);
    EXPECT_EQ(fileLength(root.path() + "xdg-installed/halvex/VOXIM.INI"), 90);

    // The program itself says so on its error output and starts from the
    // data folder's settings.
    const std::string run = "XDG_DATA_HOME=" + root.path() + "xdg " + HALVEX_TEST_BIN_DIR +
                            "/halvex --batch - --app-folder " + missing + " > " + root.path() + "out.txt 2> " +
                            root.path() + "err.txt <<< 'print caption'";
    ASSERT_EQ(std::system(("bash -c \"" + run + "\"").c_str()), 0);
    std::ifstream err(root.path() + "err.txt");
    const std::string said((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
    EXPECT_NE(said.find("halvex: The program folder " + missing + " is missing"), std::string::npos) << said;
    EXPECT_TRUE(std::filesystem::exists(data + "ATEMP"));

    if (savedXdg)
        setenv("XDG_DATA_HOME", keptXdg.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace halvex::testing
