// The DICOM writer: the layout of the files, saved slices read back by our
// reader, pydicom and dcmtk, dciodvfy's verdict, the UIDs, the image
// position, and the refusals that leave the folder and the workspace as they were.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "app_fixture.h"
#include "dicom/dicom_elements.h"
#include "dicom/slice_file.h"
#include "saving/dicom_save.h"
#include "dicom_test_files.h"
#include "dicom_write.h"
#include "platform/files.h"
#include "platform/number_text.h"

namespace halvex::testing {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using dicom_test::framePattern;

std::string runOutput(const std::string& command) {
    std::string out;
    if (FILE* p = popen((command + " 2>&1").c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        pclose(p);
    }
    return out;
}

uint32_t le(const Bytes& f, size_t at, int count) {
    uint32_t v = 0;
    for (int i = count - 1; i >= 0; --i) v = v << 8 | f.at(at + size_t(i));
    return v;
}

struct Element {
    uint32_t tag;
    size_t at, valueAt, length;
};

// The elements of a saved file up to Pixel Data, in file order: the meta
// group in explicit VR, the data set in implicit VR.
std::vector<Element> elementsOf(const Bytes& f) {
    std::vector<Element> elements;
    for (size_t at = 132; at + 8 <= f.size();) {
        Element e{le(f, at, 2) << 16 | le(f, at + 2, 2), at, at + 8, le(f, at + 4, 4)};
        if (e.tag >> 16 == 0x0002) {
            const bool ob = f[at + 4] == 'O' && f[at + 5] == 'B';
            e.length = ob ? le(f, at + 8, 4) : le(f, at + 6, 2);
            e.valueAt = at + (ob ? 12 : 8);
        }
        elements.push_back(e);
        if (e.tag == 0x7FE00010 || e.valueAt + e.length > f.size()) break;
        at = e.valueAt + e.length;
    }
    return elements;
}

std::map<uint32_t, std::string> valuesOf(const Bytes& f) {
    std::map<uint32_t, std::string> values;
    for (const Element& e : elementsOf(f))
        if (e.valueAt + e.length <= f.size())
            values[e.tag] = std::string(reinterpret_cast<const char*>(&f[e.valueAt]), e.length);
    return values;
}

std::string name(int k) { return formatFixed(k + 1, "0000") + ".dcm"; }

TEST(DicomElementWriters, CodePageTextsEmptyTextsAndNoWritePastTheEnd) {
    HeaderBuffer b(32);
    PUTTEXT(b, 0x00100010, "\xC3\xA9");  // the reader hands Latin-1 over as UTF-8
    PUTTEXT(b, 0x00100020, "");
    EXPECT_EQ(std::string(b.written().begin(), b.written().end()),
              std::string("\x10\x00\x10\x00\x02\x00\x00\x00\xE9 \x10\x00\x20\x00\x00\x00\x00\x00", 18));
    PUTTEXT(b, 0x00100030, "12345678");  // 16 bytes, 14 left
    EXPECT_TRUE(b.overflowed());
    EXPECT_EQ(b.position(), 18u);
}

TEST(DicomWriterUids, ComponentsStampsAndLengths) {
    for (auto [in, out] : {std::pair{"099", "99"}, {"000", "0"}, {"093000", "93000"}, {"12", "12"}})
        EXPECT_EQ(uidComponent(in), out);
    for (const std::string& good : std::vector<std::string>{"0", "1.2.840.10008.1.2", "1.0.3", std::string(64, '1')})
        EXPECT_TRUE(isValidUid(good)) << good;
    for (const std::string& bad :
         std::vector<std::string>{"", "1.02", "1..2", "1.2.", "1.a", "1.2 ", std::string(65, '1')})
        EXPECT_FALSE(isValidUid(bad)) << bad;
    EXPECT_EQ(stampComponents(" 20240131.093000 "), std::make_pair(std::string("20240131"), std::string("93000")));
    for (const char* bad : {"", "20240131", "2024-01-31.0930", "20240131.", ".0930", "2024.01.31", "1e3.5"})
        EXPECT_FALSE(stampComponents(bad)) << bad;

    // The machine number loses its top bit and keeps its last 8 digits.
    const auto u = makeSaveUids(0x80000000u | 123456789u, "20240131", "93000", 3, 3, 1234567);
    ASSERT_TRUE(u);
    EXPECT_EQ(u->study, "1.2.999.700123.1900.1.99.23456789.0.20240131.93000");
    EXPECT_EQ(u->series, "1.2.999.700123.1900.1.99.23456789.1.20240131.93000.3");
    EXPECT_EQ(u->instance(0), "1.2.999.700123.1900.1.99.23456789.2.20240131.93000.3.1.234567");
    // Long stamps and series numbers shorten the save's token, or are refused.
    for (auto [series, time] : {std::pair{999, "235959"}, {9, "12345678"}}) {
        const auto v = makeSaveUids(99999999, "20240131", time, series, 2048, 987654321);
        ASSERT_TRUE(v) << time;
        EXPECT_TRUE(isValidUid(v->instance(2047))) << v->instance(2047);
        EXPECT_GE(v->saveToken.size(), 3u);
    }
    EXPECT_FALSE(makeSaveUids(99999999, "20240131", "235959", 9999, 2048, 1));
}

class DicomSaveTest : public WorkspaceTest {
protected:
    void SetUp() override {
        start();
        fs::create_directories(out);
    }

    // `count` slices with pixels framePattern(k) at z = location = first + k,
    // read with "Read" (a multi-frame file: as one file).
    void readSeries(const std::string& dirName, phantom::FileForm form, int count, double first = 0) {
        const std::string dir = folder.path() + dirName + "/";
        fs::create_directories(dir);
        phantom::SeriesHeader header;
        header.uidRoot = phantom::uidRootFromText(dirName);
        std::vector<double> z;
        for (int k = 0; k < count; ++k) z.push_back(first + k);
        if (form == phantom::FileForm::MultiFrame) {
            Bytes bytes = phantom::multiFrameHead(header, z);
            for (int k = 0; k < count; ++k) phantom::appendPixels(bytes, framePattern(k), false);
            writeFile(dir + "PH0001.dcm", std::string(bytes.begin(), bytes.end()));
        }
        for (int k = 0; k < count && form != phantom::FileForm::MultiFrame; ++k) {
            Bytes bytes = phantom::sliceFileHead(header, form, k + 1, z[size_t(k)]);
            phantom::appendPixels(bytes, framePattern(k), false);
            writeFile(dir + "PH" + name(k), std::string(bytes.begin(), bytes.end()));
        }
        ui.queueFile(dir + "PH0001.dcm");
        if (form != phantom::FileForm::MultiFrame) ui.queueAnswer(dir);
        ws.guard.run([&] { win.DSORT.click(); });
    }

    // "DICOM" with the output folder, the info file for the multi-frame
    // writer, and the answers.
    void save(std::initializer_list<std::string> answers, const std::string& infoFile = "") {
        ui.queueFolder(out);
        if (!infoFile.empty()) ui.queueFile(infoFile);
        for (const std::string& a : answers) ui.queueAnswer(a);
        ws.guard.run([&] { win.DICOMSVBTN.click(); });
    }

    std::vector<std::string> outFiles() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(out)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    void expectValidCtImages() {
        for (const std::string& file : outFiles()) {
            const std::string verdict = runOutput("dciodvfy " + out + file);
            EXPECT_EQ(verdict.find("Error"), std::string::npos) << file << "\n" << verdict;
        }
    }

    std::string out = folder.path() + "out/";
};

TEST_F(DicomSaveTest, LaysOutFilesElementByElement) {
    ASSERT_EQ(std::system("command -v dciodvfy >/dev/null"), 0) << "dicom3tools' dciodvfy is needed (scripts/setup.sh)";
    readSeries("series", phantom::FileForm::ImplicitLittle, 12, -5);
    save({"1", "10", "12", "3", "20240131.093000"});
    ASSERT_EQ(outFiles(), (std::vector<std::string>{"0001.dcm", "0002.dcm", "0003.dcm"}));
    EXPECT_EQ(win.caption(), "dcmsave is done");
    expectValidCtImages();

    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const Bytes f = readHead(out + name(k), 1u << 24);
        ASSERT_GT(f.size(), 1000u);
        EXPECT_EQ(std::string(f.begin(), f.begin() + 132), std::string(128, '\0') + "DICM");
        const std::vector<Element> elements = elementsOf(f);
        ASSERT_EQ(elements.back().tag, 0x7FE00010u);
        EXPECT_EQ(elements.back().length, uint32_t(kSliceBytes));
        EXPECT_EQ(f.size(), elements.back().at + 8 + kSliceBytes);  // header + pixel element + slice
        // (0002,0000) at 140 counts from 144 to the end of (0002,0013).
        ASSERT_EQ(elements[6].tag, 0x00020013u);
        EXPECT_EQ(le(f, 140, 4) + 144, elements[6].valueAt + elements[6].length);
        uint32_t last = 0;
        size_t groupEnd = 0;
        for (const Element& e : elements) {
            EXPECT_GT(e.tag, last) << std::hex << e.tag;
            EXPECT_EQ(e.length % 2, 0u) << std::hex << e.tag;
            last = e.tag;
            // A group length counts up to the end of the group's last element.
            if ((e.tag & 0xFFFF) == 0) groupEnd = e.valueAt + 4 + le(f, e.valueAt, 4);
            const bool lastOfGroup = &e != &elements.back() && ((&e + 1)->tag >> 16) != (e.tag >> 16);
            if (lastOfGroup) {
                EXPECT_EQ(e.valueAt + e.length, groupEnd) << std::hex << e.tag;
            }
        }
        std::map<uint32_t, std::string> v = valuesOf(f);
        EXPECT_EQ(v[0x00020010], std::string("1.2.840.10008.1.2\0", 18));  // UI pad: a zero byte
        const std::string version = "HALVEX_" HALVEX_VERSION;
        EXPECT_EQ(v[0x00020013], version.size() % 2 ? version + " " : version);  // text pad: a blank
        EXPECT_EQ(v[0x00020012], std::string(kWriterImplementationClassUid) + '\0');
        EXPECT_EQ(v.count(0x00080022), 0u);  // the source has none
        EXPECT_EQ(v[0x00080008], "ORIGINAL\\SECONDARY\\AXIAL");
        EXPECT_EQ(v[0x00200011], "03");
        EXPECT_EQ(v[0x00200013], "00" + std::to_string(k) + " ");
        EXPECT_EQ(v[0x00020003], v[0x00080018]);
        // ... stamp, series 3, running number, then the save's token.
        const std::string sop = v[0x00080018].substr(0, v[0x00080018].find('\0'));
        const std::string tail = ".20240131.93000.3." + std::to_string(k + 1) + ".";
        const size_t at = sop.find(tail);
        ASSERT_NE(at, std::string::npos) << sop;
        EXPECT_EQ(sop.find_first_not_of("0123456789", at + tail.size()), std::string::npos) << sop;
    }
}

// Our reader, pydicom with strict value checks and dcmtk without corrections
// read a saved range back with the same CT numbers, locations and positions.
TEST_F(DicomSaveTest, SavedSlicesReadBackAlike) {
    readSeries("series", phantom::FileForm::ExplicitLittle, 4, 10);
    // A produced slice with a CT offset of its own: the intercept written is its own.
    LOADSLICE(store, 1);
    for (int16_t& v : store.workImage) v = static_cast<int16_t>(v + 1024);
    STOREIMG(store, 0, 11.5f, 250.0f);
    save({"1", "2", "5", "1", "20240131.093000"});
    ASSERT_EQ(outFiles().size(), 4u);
    expectValidCtImages();

    const std::string script = folder.path() + "read.py", hu = folder.path() + "hu/";
    fs::create_directories(hu);
    writeFile(script, R"PY(
import sys, pydicom, pydicom.config as config
config.settings.reading_validation_mode = config.RAISE
for path in sys.argv[2:]:
    ds = pydicom.dcmread(path)
    for e in list(ds.file_meta) + list(ds.iterall()):
        e.value
    hu = ds.pixel_array.astype("int32") * int(ds.RescaleSlope) + int(ds.RescaleIntercept)
    open(sys.argv[1] + path[-8:] + ".hu", "wb").write(hu.astype("<i4").tobytes())
    print("%.3f %.3f %s" % (ds.SliceLocation, ds.ImagePositionPatient[2], ds.ImageType[0]))
)PY");
    std::istringstream lines(runOutput("/usr/bin/python3 " + script + " " + hu + " " + out + "0001.dcm " + out +
                                       "0002.dcm " + out + "0003.dcm " + out + "0004.dcm"));
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        const SliceInfo& source = store.slices[size_t(1 + k)];
        std::vector<int16_t> pixels(kSlicePixels), saved(kSlicePixels), dumped(kSlicePixels);
        ASSERT_TRUE(readSlicePixels(store, source, pixels.data()));
        const std::string path = out + name(k), location = formatFixed(source.position, "0.000");

        DICOMM reader;
        const DicomHeader& h = reader.DCMHDRREAD(path, {});
        EXPECT_FLOAT_EQ(h.SliceLocation, source.position);
        EXPECT_FLOAT_EQ(h.ZPosition, source.position);  // the phantom's z is its location
        EXPECT_EQ(h.RescaleIntercept, source.ctOffset);
        readAt(path, h.PixelOffset, saved.data(), kSliceBytes);
        EXPECT_TRUE(saved == pixels);

        std::string line;
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_EQ(line, location + " " + location + (k == 3 ? " DERIVED" : " ORIGINAL"));
        std::vector<int32_t> pydicomHu(kSlicePixels), expectedHu(pixels.begin(), pixels.end());
        for (int32_t& v : expectedHu) v += source.ctOffset;
        readAt(hu + name(k) + ".hu", 0, pydicomHu.data(), pydicomHu.size() * 4);
        EXPECT_TRUE(pydicomHu == expectedHu);

        const std::string dump = runOutput("dcmdump -E -Ep -dc +ml +W " + hu + " " + path);
        EXPECT_EQ(dump.find("W: "), std::string::npos) << dump;
        EXPECT_NE(dump.find("\\" + location), std::string::npos) << dump;
        EXPECT_NE(dump.find("(0020,1041) DS [" + location), std::string::npos) << dump;
        EXPECT_NE(dump.find("(0028,1052) DS [" + std::to_string(source.ctOffset)), std::string::npos) << dump;
        readAt(hu + name(k) + ".0.raw", 0, dumped.data(), kSliceBytes);
        EXPECT_TRUE(dumped == pixels);
    }
}

TEST_F(DicomSaveTest, SavesFramesOfAMultiFrameFile) {
    readSeries("multi", phantom::FileForm::MultiFrame, 4, -2);
    save({"2", "4", "5", "20240131.120000"}, folder.path() + "multi/PH0001.dcm");
    ASSERT_EQ(outFiles().size(), 3u) << output();
    expectValidCtImages();
    DICOMM reader;
    EXPECT_FLOAT_EQ(reader.DCMHDRREAD(out + "0003.dcm", {}).ZPosition, 1.0f);  // frames lie at their location
}

TEST_F(DicomSaveTest, SavesOfOneStampAndSeriesNeverRepeatAUid) {
    readSeries("series", phantom::FileForm::ImplicitLittle, 4);
    std::set<std::string> seen;
    std::string uids;
    for (auto [from, to] : {std::pair{"1", "3"}, {"1", "3"}, {"2", "4"}}) {
        fs::remove_all(out);
        fs::create_directories(out);
        save({"1", from, to, "5", "20240131.093000"});
        for (const std::string& file : outFiles()) {
            std::string uid = valuesOf(readHead(out + file, 4096))[0x00080018];
            uid.erase(uid.find_last_not_of('\0') + 1);
            EXPECT_LE(uid.size(), 64u);
            EXPECT_TRUE(seen.insert(uid).second) << uid << " repeated";
            uids += uid + "\n";
        }
    }
    EXPECT_EQ(seen.size(), 9u);
    // Digits and dots only, no component with a leading zero.
    writeFile(folder.path() + "uids.txt", uids);
    EXPECT_EQ(runOutput("grep -cvE '^(0|[1-9][0-9]*)([.](0|[1-9][0-9]*))*$' " + folder.path() + "uids.txt"), "0\n");
    // The answers are offered again at the next save.
    EXPECT_NE(output().find("prompt \"series no\" default \"5\""), std::string::npos);
}

// z = zInfo + (L - Linfo) * d, d = +1 when the info file's location is its z,
// -1 when it is -z, else +1.
TEST_F(DicomSaveTest, PlacesSlicesThroughTheInfoSeries) {
    const struct {
        const char* what;
        const char* infoLocation;  // nullptr: none
        const char* infoPosition;
        std::vector<float> locations, z;
    } cases[] = {
        {"location is z", "10", "-125\\-125\\10", {12, 8}, {12, 8}},
        {"location is -z, one slice", "10", "-125\\-125\\-10", {12}, {-12}},
        {"unrelated", "10", "-125\\-125\\5", {12}, {7}},
        {"no location: z", nullptr, "-125\\-125\\-3", {-1}, {-1}},
        {"no position: the location", "4", nullptr, {6}, {6}},
    };
    writeFile(folder.path() + "slice.raw", rawSlice(7));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dicom_test::DicomBytes info(dicom_test::Layout::ExplicitLittle);
        info.meta();
        if (c.infoPosition) info.text(0x0020, 0x0032, "DS", c.infoPosition);
        if (c.infoLocation) info.text(0x0020, 0x1041, "DS", c.infoLocation);
        info.save(folder.path() + "info.dcm");
        store.sliceCount = static_cast<int16_t>(1 + c.locations.size());
        auto slot = [&](size_t i, const std::string& file, float location) {
            store.slices[i] = SliceInfo{};
            store.slices[i].path = folder.path() + file, store.slices[i].name = file;
            store.slices[i].position = location, store.slices[i].dfov = 250;
        };
        slot(0, "info.dcm", 0);
        for (size_t i = 0; i < c.locations.size(); ++i) slot(i + 1, "slice.raw", c.locations[i]);
        fs::remove_all(out);
        fs::create_directories(out);
        save({"1", "2", std::to_string(store.sliceCount), "1", "1.1"});
        ASSERT_EQ(outFiles().size(), c.locations.size()) << output();
        expectValidCtImages();  // even from an info file that holds next to nothing
        for (size_t i = 0; i < c.locations.size(); ++i) {
            DICOMM reader;
            const DicomHeader& h = reader.DCMHDRREAD(out + name(int(i)), {});
            EXPECT_FLOAT_EQ(h.ZPosition, c.z[i]);
            EXPECT_FLOAT_EQ(h.SliceLocation, c.locations[i]);
        }
    }
}

// A message (for a cancel or 9999: silence), no file, the workspace as it was.
TEST_F(DicomSaveTest, RefusesBadAnswersWithoutWritingAnything) {
    readSeries("series", phantom::FileForm::ImplicitLittle, 3);
    STOREIMG(store, 0, 3.0f, 250.0f);  // slot 4, a produced slice
    const std::string big = folder.path() + "big.dcm";
    dicom_test::DicomBytes(dicom_test::Layout::ExplicitBig).meta().save(big);
    const SliceInfo first = store.slices[0];
    const struct {
        const char* what;
        std::vector<std::string> answers;  // exactly those asked before the refusal
        const char* message;               // nullptr: none
        std::function<void()> before = [] {};
    } cases[] = {
        {"info slice 0", {"0"}, "Orig. image no.: give a slice number from 1 to 4."},
        {"info past the end", {"5"}, "Orig. image no.: give a slice number from 1 to 4."},
        {"info is a produced slice", {"4"}, "Slice 4 (ATEMP0000) was made by the program"},
        {"from 0", {"1", "0"}, "Processed From: give a slice number from 1 to 4."},
        {"to before from", {"1", "3", "2"}, "Processed To: give a slice number from 3 to 4."},
        {"to past the end", {"1", "1", "5"}, "Processed To: give a slice number from 1 to 4."},
        {"negative series", {"1", "1", "2", "-1"}, "series no: give a number from 0 to 9999."},
        {"stamp with dashes", {"1", "1", "2", "1", "2024-01-31.1200"}, "Study date time: give digits"},
        {"9999 ends", {"1", "9999"}, nullptr},
        {"a cancelled prompt ends", {"1", "1", ""}, nullptr},
        {"info file gone",
         {"1", "1", "2", "1", "1.1"},
         "is not a readable DICOM file",
         [&] { fs::remove(first.path); }},
        {"info file big endian",
         {"1", "1", "2", "1", "1.1"},
         "unsupported DICOM type!!",
         [&] { store.slices[0].path = big; }},
        {"a slice's file is short",
         {"2", "1", "3", "1", "1.1"},
         "Slice 1 (PH0001.dcm) can't be read",
         [&] { writeFile(first.path, "short"); }},
    };
    const std::vector<int16_t> view = store.workImage;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        store.slices[0] = first;
        fs::copy_file(folder.path() + "series/PH0002.dcm", first.path, fs::copy_options::overwrite_existing);
        c.before();
        echo.str("");
        ui.queueFolder(out);
        for (const std::string& a : c.answers) ui.queueAnswer(a);
        ws.guard.run([&] { win.DICOMSVBTN.click(); });
        if (c.message)
            EXPECT_NE(output().find(c.message), std::string::npos) << output();
        else
            EXPECT_EQ(output().find("message "), std::string::npos) << output();
        EXPECT_TRUE(outFiles().empty());
        EXPECT_EQ(store.sliceCount, 4);
        EXPECT_TRUE(store.workImage == view);
    }
    // No folder chosen, or one that does not exist.
    echo.str("");
    ws.guard.run([&] { win.DICOMSVBTN.click(); });
    EXPECT_EQ(output().find("message "), std::string::npos);
    ui.queueFolder(folder.path() + "nowhere");
    ws.guard.run([&] { win.DICOMSVBTN.click(); });
    EXPECT_NE(output().find("The folder " + folder.path() + "nowhere/ does not exist."), std::string::npos) << output();
}

TEST_F(DicomSaveTest, AsksBeforeReplacingAndStopsCleanlyWhenAWriteFails) {
    readSeries("series", phantom::FileForm::ImplicitLittle, 3);
    writeFile(out + "0001.dcm", "old");
    ui.queueReply(Reply::No);
    save({"1", "1", "3", "1", "1.1"});
    EXPECT_NE(output().find("question \"" + out + " already holds 0001.dcm. Replace them?\" -> no"), std::string::npos);
    EXPECT_EQ(outFiles(), std::vector<std::string>{"0001.dcm"});
    EXPECT_EQ(fileLength(out + "0001.dcm"), 3);

    // A folder where 0002.dcm should go: writing it fails after 0001.dcm.
    fs::create_directories(out + "0002.dcm/inside");
    ui.queueReply(Reply::Yes);
    save({"1", "1", "3", "1", "1.1"});
    EXPECT_NE(output().find("Cannot write " + out + "0002.dcm"), std::string::npos) << output();
    EXPECT_EQ(win.caption(), "dcmsave stopped: 0001.dcm written");
    EXPECT_EQ(outFiles(), (std::vector<std::string>{"0001.dcm", "0002.dcm"}));  // no partial file beside them
    EXPECT_GT(fileLength(out + "0001.dcm"), kSliceBytes);
}

}  // namespace
}  // namespace halvex::testing
