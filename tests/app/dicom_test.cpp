// The DICOM reader on files built byte by byte: header values and their
// conversions, search limits, pad bytes, the pixel element, multi-frame files,
// the whole-file analysis, and hostile files.
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "dicom/DICOMM.h"
#include "dicom_test_files.h"
#include "platform/files.h"

namespace halvex {
namespace {

using dicom_test::DicomBytes;
using dicom_test::framePattern;
using dicom_test::kFrameBytes;
using dicom_test::Layout;

std::vector<int16_t> pixelsAt(const std::string& path, int64_t offset) {
    std::vector<int16_t> values(dicom_test::kFramePixels);
    readAt(path, offset, values.data(), kFrameBytes);
    return values;
}

std::vector<int16_t> byteSwapped(std::vector<int16_t> values) {
    for (int16_t& v : values) v = static_cast<int16_t>(static_cast<uint16_t>(v) << 8 | static_cast<uint16_t>(v) >> 8);
    return values;
}

size_t pixelHeaderBytes(Layout layout) { return layout == Layout::Implicit ? 8 : 12; }

// A CT slice with every element the readers take, in file order; pixels of
// framePattern(0). pixelsStart receives the offset of the first pixel.
DicomBytes ctSlice(Layout layout, size_t& pixelsStart) {
    DicomBytes f(layout);
    f.meta()
        .text(0x0010, 0x0010, "PN", "DOE^JOHN")
        .text(0x0018, 0x0050, "DS", "0.625")
        .text(0x0018, 0x0060, "DS", "120.5")
        .text(0x0018, 0x0090, "DS", "500")
        .text(0x0018, 0x1100, "DS", "250")
        .text(0x0018, 0x1150, "IS", "500")
        .text(0x0018, 0x1151, "DS", "287.5")
        .text(0x0018, 0x1152, "DS", "2.5")
        .text(0x0018, 0x1210, "SH", "FC03")
        .fd(0x0018, 0x9345, 12.3456)
        .text(0x0020, 0x0011, "IS", "6.5")
        .text(0x0020, 0x0032, "DS", "-125.0\\-125.0\\-37.5")
        .text(0x0020, 0x1041, "DS", "-37.0")
        .us(0x0028, 0x0010, 512)
        .us(0x0028, 0x0011, 512)
        .text(0x0028, 0x0030, "DS", "0.625\\0.625")
        .text(0x0028, 0x1052, "DS", "-1024");
    pixelsStart = f.size() + pixelHeaderBytes(layout);
    return f.pixelData(framePattern(0));
}

class DicomReaderTest : public ::testing::Test {
protected:
    dicom_test::TempDir dir;
    ImageStore store;
    DICOMM dicom;
    std::string path;

    void use(const DicomBytes& file, const std::string& name = "slice.dcm") {
        path = dir.file(name);
        file.save(path);
        store.currentPath = path;
    }
    void readSlice(const DicomBytes& file) {
        use(file);
        dicom_test::loadHeader(dicom, store);
    }
    void analyse(const DicomBytes& file) {
        use(file);
        dicom_test::loadAnalysis(dicom, store);
    }
};

TEST(DicomTagKey, IsElementThenGroupAsOneLittleEndianWord) {
    EXPECT_EQ(DICOMM::tagKey("00280030"), 0x00300028);
    EXPECT_EQ(DICOMM::tagKey("7FE00010"), 1081312);
    EXPECT_EQ(DICOMM::tagKey("00020010"), 0x00100002);
}

TEST_F(DicomReaderTest, ReadsAndConvertsEveryHeaderValue) {
    for (Layout layout : {Layout::Implicit, Layout::ExplicitLittle}) {
        SCOPED_TRACE(dicom_test::layoutName(layout));
        size_t pixels = 0;
        store.pixelSize = 0.9f;
        readSlice(ctSlice(layout, pixels));
        const DicomHeader& h = dicom.header;
        EXPECT_EQ(h.VrMode, layout == Layout::Implicit ? 0 : 1);
        EXPECT_EQ(h.PatientName, "DOE^JOHN");
        EXPECT_FLOAT_EQ(h.SliceThickness, 0.625f);
        EXPECT_EQ(h.KVP, 120);  // 120.5: halves go to even
        EXPECT_FLOAT_EQ(h.FOV, 250.0f);
        EXPECT_FLOAT_EQ(h.ExposureTime, 0.5f);
        EXPECT_FLOAT_EQ(h.TubeCurrent, 287.5f);
        EXPECT_EQ(h.Exposure, 2);
        EXPECT_EQ(h.ConvolutionKernel, "FC03");
        EXPECT_FLOAT_EQ(h.CTDIvol, 12.346f);
        EXPECT_EQ(h.SeriesNumber, 6);
        EXPECT_FLOAT_EQ(h.ZPosition, -37.5f);
        EXPECT_FLOAT_EQ(h.SliceLocation, -37.0f);
        EXPECT_EQ(h.RescaleIntercept, -1024);
        EXPECT_EQ(h.PixelOffset, static_cast<int32_t>(pixels));
        EXPECT_EQ(h.PixelLength, kFrameBytes);
        // A reconstruction diameter was found: the pixel size stays the workspace's.
        EXPECT_FLOAT_EQ(h.PixelSpacing, 0.9f);
        EXPECT_EQ(store.workCtOffset, -1024);
        EXPECT_FLOAT_EQ(store.currentDfov, 250.0f);
        EXPECT_EQ(pixelsAt(path, h.PixelOffset), framePattern(0));
    }
}

TEST_F(DicomReaderTest, AcceptsFilesOf40000To700000Bytes) {
    struct Case {
        size_t length;
        bool read;
    };
    for (Case c : {Case{39999, false}, Case{40000, true}, Case{700000, true}, Case{700001, false}}) {
        SCOPED_TRACE(c.length);
        dicom.header.PatientName = "EARLIER";
        dicom.header.FOV = 1;
        store.currentDfov = 2;
        DicomBytes f;
        f.meta(dicom_test::kImplicitSyntax).text(0x0010, 0x0010, "PN", "NEW").padTo(c.length);
        readSlice(f);
        EXPECT_EQ(dicom.header.VrMode, c.read ? 0 : 3);
        EXPECT_EQ(dicom.header.PatientName, c.read ? "NEW" : "EARLIER");
        // Not read: the DFOV is the workspace's, whatever the header held.
        EXPECT_FLOAT_EQ(dicom.header.FOV, c.read ? 0.0f : 2.0f);
    }
}

// The walk reaches every element of the head it loads, not only those near
// the start: a header with long private groups still gives its values. An
// element whose value runs past the head is not read, and the file is not
// taken as cut for it.
TEST_F(DicomReaderTest, FindsElementsWhereverTheWalkReaches) {
    for (size_t offset : {size_t{9900}, size_t{9902}, size_t{20000}, size_t{69980}, size_t{69990}}) {
        SCOPED_TRACE(offset);
        DicomBytes f;
        f.meta(dicom_test::kImplicitSyntax).fillTo(offset).text(0x0010, 0x0010, "PN", "EDGE").padTo(80000);
        readSlice(f);
        EXPECT_EQ(dicom.TAGSTR("00100010", 0), offset + 12 <= 70000 ? "EDGE" : "");
        EXPECT_EQ(dicom.header.BrokenAt, -1);
    }
}

TEST_F(DicomReaderTest, DropsOnePadByteFromTextValues) {
    DicomBytes f;
    f.meta(dicom_test::kImplicitSyntax)
        .element(0x0010, 0x0010, "PN", "AB  ")
        .element(0x0020, 0x000D, "UI", std::string("1.2.3\0", 6))
        .element(0x0020, 0x0011, "IS", "")
        .element(0x0028, 0x0034, "IS", "  7 ")
        .element(0x0018, 0x1210, "SH", "HEAD ")  // odd length: last
        .padTo(40000);
    readSlice(f);
    EXPECT_EQ(dicom.TAGSTR("00100010", 0), "AB ");
    EXPECT_EQ(dicom.TAGSTR("0020000D", 0), "1.2.3");
    EXPECT_EQ(dicom.TAGSTR("00200011", 0), "");
    EXPECT_EQ(dicom.TAGSTR("00280034", 0), "  7");
    EXPECT_EQ(dicom.TAGSTR("00181210", 0), "HEAD");
}

TEST_F(DicomReaderTest, TextIsLatin1) {
    DicomBytes f;
    f.meta(dicom_test::kImplicitSyntax).element(0x0010, 0x0010, "PN", "M\xfcller").padTo(40000);
    readSlice(f);
    EXPECT_EQ(dicom.header.PatientName, "M\xc3\xbcller");
}

TEST_F(DicomReaderTest, DecodesBinaryNumbersByLength) {
    DicomBytes f;
    f.meta(dicom_test::kImplicitSyntax)
        .us(0x0028, 0x0010, 0xFFFF)
        .element(0x0028, 0x0012, "UL", std::string("\xff\xff\xff\xff", 4))
        .fd(0x0028, 0x0013, -0.0625)
        .element(0x0028, 0x0014, "OB", std::string(6, '\x01'))
        .element(0x0028, 0x0015, "OB", std::string(258, '\x01'))
        .element(0x0028, 0x0016, "OB", std::string(256, 'x'))
        .fd(0x0018, 0x9345, 12.3456)
        .element(0x0028, 0x0011, "US", std::string("\x01\x02\x03", 3))  // odd length: last
        .padTo(40000);
    readSlice(f);
    EXPECT_EQ(dicom.TAGNUM("00280010", 0), 65535);       // unsigned
    EXPECT_EQ(dicom.TAGNUM("00280011", 0), 0x030201);    // little endian
    EXPECT_EQ(dicom.TAGNUM("00280012", 0), -1);          // all 32 bits
    EXPECT_EQ(dicom.TAGNUM("00280013", 0), -62);         // -62.5 to even
    EXPECT_EQ(dicom.TAGNUM("00280014", 0), 0);           // no binary number has 6 bytes
    EXPECT_EQ(dicom.TAGNUM("00280015", 0), 0);           // longer than 256
    EXPECT_EQ(dicom.TAGSTR("00280015", 0), "");
    EXPECT_EQ(dicom.TAGSTR("00280016", 0), std::string(256, 'x'));
    EXPECT_EQ(dicom.TAGNUM("00189345", 0), 12346);
    EXPECT_FLOAT_EQ(dicom.header.CTDIvol, 12.346f);
    EXPECT_EQ(dicom.TAGNUM("00280099", 0), 0);           // absent
}

TEST_F(DicomReaderTest, TakesZFromTheThirdImagePositionValue) {
    dicom.header.ZPosition = 5;
    DicomBytes none;
    none.meta(dicom_test::kImplicitSyntax).padTo(40000);
    readSlice(none);
    EXPECT_FLOAT_EQ(dicom.header.ZPosition, 5.0f);  // kept from the file before
    EXPECT_FLOAT_EQ(dicom.header.SliceLocation, 5.0f);

    DicomBytes position;
    position.meta(dicom_test::kImplicitSyntax).text(0x0020, 0x0032, "DS", "-125.0\\-125.0\\-37.5").padTo(40000);
    readSlice(position);
    EXPECT_FLOAT_EQ(dicom.header.ZPosition, -37.5f);
    EXPECT_FLOAT_EQ(dicom.header.SliceLocation, -37.5f);

    DicomBytes twoValues;
    twoValues.meta(dicom_test::kImplicitSyntax).text(0x0020, 0x0032, "DS", "1\\2").padTo(40000);
    readSlice(twoValues);
    EXPECT_FLOAT_EQ(dicom.header.ZPosition, 0.0f);
}

TEST_F(DicomReaderTest, TakesTheFovFromThePixelSpacingWithoutDiameter) {
    DicomBytes f(Layout::ExplicitLittle);
    f.meta().text(0x0028, 0x0030, "DS", "0.625\\0.625").padTo(40000);
    readSlice(f);
    EXPECT_EQ(dicom.header.VrMode, 1);
    EXPECT_FLOAT_EQ(dicom.header.PixelSpacing, 0.625f);
    EXPECT_FLOAT_EQ(dicom.header.FOV, 320.0f);
    EXPECT_FLOAT_EQ(store.currentDfov, 320.0f);
    EXPECT_FLOAT_EQ(store.pixelSize, 0.625f);
}

// Lengths that are not finite, not above 0 or absurd count as absent, so
// that no pixel size becomes infinite or 0.
TEST_F(DicomReaderTest, AbsurdGeometryValuesCountAsAbsent) {
    struct Case {
        const char *fov, *spacing, *thickness;
        float wantFov, wantThickness;
    };
    for (const Case& c : {Case{"1e99", "0.5\\0.5", "1e99", 256.0f, 0.0f}, Case{"-250", "inf\\inf", "nan", 0.0f, 0.0f},
                          Case{"250", "0.5", "2.5", 250.0f, 2.5f}}) {
        SCOPED_TRACE(c.fov);
        DicomBytes f(Layout::ExplicitLittle);
        f.meta()
            .text(0x0018, 0x0050, "DS", c.thickness)
            .text(0x0018, 0x1100, "DS", c.fov)
            .text(0x0028, 0x0030, "DS", c.spacing)
            .padTo(40000);
        readSlice(f);
        EXPECT_FLOAT_EQ(dicom.header.FOV, c.wantFov);
        EXPECT_FLOAT_EQ(dicom.header.SliceThickness, c.wantThickness);
        EXPECT_TRUE(std::isfinite(store.pixelSize));
    }
}

// A syntax the reader has no element form for reads nothing; a compressed
// one keeps its plain explicit header, which is read, while its pixels are
// left to the decoder.
TEST_F(DicomReaderTest, OtherTransferSyntaxes) {
    size_t pixels = 0;
    DicomBytes f = ctSlice(Layout::ExplicitLittle, pixels);
    struct Case {
        const char* syntax;
        int16_t mode;
        PixelEncoding encoding;
        const char* patient;
    };
    for (const Case& c : {Case{"1.2.840.10008.1.2.2", 2, PixelEncoding::Plain, ""},
                          Case{"1.2.3.4", 2, PixelEncoding::Plain, ""},
                          Case{"1.2.840.10008.1.2.4.70", 1, PixelEncoding::Encapsulated, "DOE^JOHN"},
                          Case{"1.2.840.10008.1.2.5", 1, PixelEncoding::Encapsulated, "DOE^JOHN"},
                          Case{"1.2.840.10008.1.2.1.99", 2, PixelEncoding::Deflated, ""}}) {
        SCOPED_TRACE(c.syntax);
        DicomBytes g(Layout::ExplicitLittle);
        g.meta(c.syntax);
        g.bytes.insert(g.bytes.end(), f.bytes.begin() + 128 + 4 + 8 + 20, f.bytes.end());
        readSlice(g);
        EXPECT_EQ(dicom.header.VrMode, c.mode);
        EXPECT_EQ(dicom.header.Encoding, c.encoding);
        EXPECT_EQ(dicom.header.PatientName, c.patient);
        if (c.mode == 2) {
            EXPECT_EQ(dicom.header.KVP, 0);
            EXPECT_EQ(dicom.TAGSTR("00100010", 2), "");
            EXPECT_EQ(dicom.TAGNUM("00280011", 2), 0);
        }
    }
}

TEST_F(DicomReaderTest, SkipsAShortFirstPixelElement) {
    for (Layout layout : {Layout::Implicit, Layout::ExplicitLittle}) {
        SCOPED_TRACE(dicom_test::layoutName(layout));
        DicomBytes f(layout);
        f.meta().header(0x7FE0, 0x0010, "OW", 64).raw(std::string(64, '\x11'));
        f.text(0x0028, 0x1052, "DS", "-1000");
        const size_t pixels = f.size() + pixelHeaderBytes(layout);
        f.pixelData(framePattern(0));
        readSlice(f);
        EXPECT_EQ(dicom.header.PixelOffset, static_cast<int32_t>(pixels));
        EXPECT_EQ(dicom.header.PixelLength, kFrameBytes);
        EXPECT_EQ(pixelsAt(path, dicom.header.PixelOffset), framePattern(0));
    }
}

TEST_F(DicomReaderTest, APixelElementOfUpTo65299BytesIsNotTheImage) {
    for (uint32_t length : {65298u, 65299u, 65300u}) {
        SCOPED_TRACE(length);
        DicomBytes f;
        f.meta(dicom_test::kImplicitSyntax).header(0x7FE0, 0x0010, "OW", length);
        const size_t first = f.size();
        f.raw(std::string(length, '\0'));
        const size_t second = f.size() + 8;
        f.pixelData(framePattern(0));
        readSlice(f);
        EXPECT_EQ(dicom.header.PixelOffset, static_cast<int32_t>(length > 65299 ? first : second));
    }
}

// Files built so that the four bytes of a wanted tag occur where no element
// starts, before the real element or in its place: inside a private
// element's binary value, inside sequence items, in the length of another
// element, in the pixels. Each value must come from the element itself.
DicomBytes decoyElements(Layout layout) {
    DicomBytes d(layout);
    d.text(0x0008, 0x0018, "UI", "9.9.9")
        .text(0x0018, 0x0050, "DS", "9.9")
        .text(0x0020, 0x0032, "DS", "1\\1\\99")
        .text(0x0020, 0x1041, "DS", "99")
        .text(0x0028, 0x0030, "DS", "9.9\\9.9")
        .text(0x0028, 0x1052, "DS", "99");
    return d;
}

enum class Decoy { ElementLength, PrivateValue, DelimitedSequence, DefinedSequence, PixelBytes };

DicomBytes sliceWithDecoy(Layout layout, Decoy decoy, size_t& pixelsStart) {
    const DicomBytes d = decoyElements(layout);
    const std::string decoys(d.bytes.begin(), d.bytes.end());
    DicomBytes f(layout);
    f.meta();
    // (0008,0008) with a value of 0x18 bytes: in implicit VR its element
    // number and length read as the tag (0008,0018).
    f.text(0x0008, 0x0008, "CS", "ORIGINAL\\PRIMARY\\AXIAL ");
    if (decoy == Decoy::PrivateValue) f.element(0x0009, 0x1010, "OB", decoys);
    if (decoy == Decoy::DelimitedSequence)
        f.header(0x0008, 0x1140, "SQ", 0xFFFFFFFFu).item().raw(decoys).itemEnd().item(8).raw(std::string(8, '\0'))
            .sequenceEnd();
    if (decoy == Decoy::DefinedSequence) {
        const auto itemLength = static_cast<uint32_t>(decoys.size());
        f.header(0x0008, 0x1115, "SQ", itemLength + 8).item(itemLength).raw(decoys);
    }
    f.text(0x0008, 0x0018, "UI", "1.2.3.4")
        .text(0x0018, 0x0050, "DS", "2.5")
        .text(0x0020, 0x0032, "DS", "-100\\-100\\-12.5")
        .text(0x0028, 0x0030, "DS", "0.5\\0.5")
        .text(0x0028, 0x1052, "DS", "-1000");
    pixelsStart = f.size() + pixelHeaderBytes(layout);
    std::vector<int16_t> pixels = framePattern(0);
    if (decoy == Decoy::PixelBytes) {
        // The file has no Slice Location; its pixels start with one.
        DicomBytes location(layout);
        location.text(0x0020, 0x1041, "DS", "77");
        std::memcpy(pixels.data(), location.bytes.data(), location.size());
    }
    return f.pixelData(pixels);
}

TEST_F(DicomReaderTest, TagsCountOnlyWhereElementsStart) {
    for (Layout layout : {Layout::Implicit, Layout::ExplicitLittle}) {
        for (Decoy decoy : {Decoy::ElementLength, Decoy::PrivateValue, Decoy::DelimitedSequence,
                            Decoy::DefinedSequence, Decoy::PixelBytes}) {
            SCOPED_TRACE(std::string(dicom_test::layoutName(layout)) + " decoy " + std::to_string(int(decoy)));
            size_t pixels = 0;
            const DicomBytes f = sliceWithDecoy(layout, decoy, pixels);
            readSlice(f);
            const DicomHeader& h = dicom.header;
            EXPECT_EQ(dicom.TAGSTR("00080018", h.VrMode), "1.2.3.4");
            EXPECT_FLOAT_EQ(h.SliceThickness, 2.5f);
            EXPECT_FLOAT_EQ(h.ZPosition, -12.5f);
            EXPECT_FLOAT_EQ(h.SliceLocation, -12.5f);  // none in the file: the position's z
            EXPECT_FLOAT_EQ(h.PixelSpacing, 0.5f);
            EXPECT_FLOAT_EQ(h.FOV, 256.0f);
            EXPECT_EQ(h.RescaleIntercept, -1000);
            EXPECT_EQ(h.PixelOffset, static_cast<int32_t>(pixels));
            EXPECT_EQ(h.BrokenAt, -1);

            analyse(f);
            EXPECT_FLOAT_EQ(dicom.header.SliceThickness, 2.5f);
            EXPECT_FLOAT_EQ(dicom.header.PixelSpacing, 0.5f);
            EXPECT_EQ(dicom.header.RescaleIntercept, -1000);
            EXPECT_EQ(dicom.header.PixelOffset, static_cast<int32_t>(pixels));
        }
    }
}

// A length past the end of the file breaks the element structure: what came
// before is read, nothing after, and the header says where it broke.
TEST_F(DicomReaderTest, ACutFileIsReadAsFarAsItIsSound) {
    for (Layout layout : {Layout::Implicit, Layout::ExplicitLittle}) {
        SCOPED_TRACE(dicom_test::layoutName(layout));
        DicomBytes f(layout);
        f.meta().text(0x0010, 0x0010, "PN", "BEFORE");
        const size_t broken = f.size();
        f.header(0x0009, 0x1010, "OB", 100000).raw(std::string(1000, '\0'));
        f.text(0x0018, 0x0050, "DS", "2.5").padTo(45000);
        readSlice(f);
        EXPECT_EQ(dicom.header.PatientName, "BEFORE");
        EXPECT_FLOAT_EQ(dicom.header.SliceThickness, 0.0f);
        EXPECT_EQ(dicom.header.PixelOffset, 0);
        EXPECT_EQ(dicom.header.BrokenAt, static_cast<int64_t>(broken));
    }
}

// Multi-frame files: the header elements, a long private block (so that the
// positions and the pixels lie far beyond the single-slice limits), one
// Image Position per frame, then the frames.
struct MultiFrame {
    DicomBytes file;
    size_t pixels = 0;
};

MultiFrame multiFrame(Layout layout, int frames, uint32_t declaredLength) {
    MultiFrame m{DicomBytes(layout)};
    m.file.meta()
        .text(0x0010, 0x0010, "PN", "PHANTOM")
        .text(0x0018, 0x0050, "DS", "1.25")
        .text(0x0018, 0x0060, "DS", "100")
        .text(0x0018, 0x1100, "DS", "400")
        .text(0x0018, 0x1210, "SH", "STANDARD")
        .text(0x0020, 0x0011, "IS", "3")
        .text(0x0020, 0x1041, "DS", "-10")
        .text(0x0028, 0x1052, "DS", "-1000")
        .fillTo(200000);
    for (int k = 0; k < frames; ++k)
        m.file.text(0x0020, 0x0032, "DS", "-200\\-200\\" + std::to_string(-10.5 - k).substr(0, 5));
    m.file.header(0x7FE0, 0x0010, "OW", declaredLength);
    m.pixels = m.file.size();
    for (int k = 0; k < frames; ++k) m.file.pixels(framePattern(k + 1));
    return m;
}

struct Frame {
    int k, n;
    float position;
    std::vector<int16_t> pixels;
    int16_t storeCtOffset;
    float storeDfov;
};

class MultiFrameTest : public DicomReaderTest {
protected:
    std::vector<Frame> frames;

    int readFrames() {
        frames.clear();
        // As the loader reads them: the header, the workspace taking its
        // geometry, then each frame the file holds.
        const std::string path = store.currentPath;
        const std::vector<float> positions = dicom.DCMMULTIREAD(path, sliceGeometry(store));
        takeGeometry(store, dicom.header);
        const int n = static_cast<int>(positions.size());
        for (int k = 0; k < n; ++k) {
            if (!dicom.readFrame(path, k, store.workImage.data())) return k;
            frames.push_back(Frame{k, n, positions[size_t(k)], store.workImage, store.workCtOffset, store.currentDfov});
        }
        return n;
    }
};

TEST_F(MultiFrameTest, HandsOverEveryFrameWithItsPosition) {
    for (Layout layout : {Layout::Implicit, Layout::ExplicitLittle}) {
        SCOPED_TRACE(dicom_test::layoutName(layout));
        const MultiFrame m = multiFrame(layout, 3, 3 * kFrameBytes);
        use(m.file, "multi.dcm");
        ASSERT_EQ(readFrames(), 3);
        const DicomHeader& h = dicom.header;
        EXPECT_EQ(h.VrMode, layout == Layout::Implicit ? 0 : 1);
        EXPECT_EQ(h.PixelOffset, static_cast<int32_t>(m.pixels));
        EXPECT_EQ(h.PixelLength, 3 * kFrameBytes);
        EXPECT_EQ(h.PatientName, "PHANTOM");
        EXPECT_EQ(h.ConvolutionKernel, "STANDARD");
        EXPECT_FLOAT_EQ(h.SliceLocation, -10.0f);
        EXPECT_FLOAT_EQ(h.PixelSpacing, 400.0f / 512);
        ASSERT_EQ(frames.size(), 3u);
        const float z[] = {-10.5f, -11.5f, -12.5f};
        for (int k = 0; k < 3; ++k) {
            SCOPED_TRACE(k);
            EXPECT_EQ(frames[k].k, k);
            EXPECT_EQ(frames[k].n, 3);
            EXPECT_FLOAT_EQ(frames[k].position, z[k]);
            EXPECT_TRUE(frames[k].pixels == framePattern(k + 1));
            // The workspace already holds this file's intercept and DFOV.
            EXPECT_EQ(frames[k].storeCtOffset, -1000);
            EXPECT_FLOAT_EQ(frames[k].storeDfov, 400.0f);
        }
    }
}

// Per-frame positions as enhanced multi-frame files keep them: in an item of
// the per-frame functional groups per frame, inside a plane position item.
TEST_F(MultiFrameTest, TakesPerFramePositionsFromSequenceItems) {
    for (Layout layout : {Layout::Implicit, Layout::ExplicitLittle}) {
        SCOPED_TRACE(dicom_test::layoutName(layout));
        DicomBytes f(layout);
        f.meta().text(0x0018, 0x1100, "DS", "400").text(0x0020, 0x1041, "DS", "5");
        f.header(0x5200, 0x9230, "SQ", 0xFFFFFFFFu);
        for (const char* z : {"-1.5", "-2.5", "-3.5"}) {
            DicomBytes position(layout);
            position.text(0x0020, 0x0032, "DS", std::string("0\\0\\") + z);
            f.item().header(0x0020, 0x9113, "SQ", 0xFFFFFFFFu).item().raw(
                std::string(position.bytes.begin(), position.bytes.end()));
            f.itemEnd().sequenceEnd().itemEnd();
        }
        f.sequenceEnd().header(0x7FE0, 0x0010, "OW", 3 * kFrameBytes);
        for (int k = 0; k < 3; ++k) f.pixels(framePattern(k + 1));
        use(f, "enhanced.dcm");
        ASSERT_EQ(readFrames(), 3);
        EXPECT_FLOAT_EQ(frames[0].position, -1.5f);
        EXPECT_FLOAT_EQ(frames[2].position, -3.5f);
        EXPECT_TRUE(frames[2].pixels == framePattern(3));
        EXPECT_EQ(dicom.framePositions(store.currentPath, 3, 0), (std::vector<float>{-1.5f, -2.5f, -3.5f}));
    }
}

TEST_F(MultiFrameTest, CountsFramesHalfToEvenAndOnlyThoseInTheFile) {
    // 2.5 declared frames round to 2.
    use(multiFrame(Layout::Implicit, 3, 5 * kFrameBytes / 2).file, "a.dcm");
    EXPECT_EQ(readFrames(), 2);
    // 3.5 declared frames round to 4, but the file holds three and a half.
    MultiFrame m = multiFrame(Layout::Implicit, 3, 7 * kFrameBytes / 2);
    m.file.padTo(m.file.size() + kFrameBytes / 2);
    use(m.file, "b.dcm");
    EXPECT_EQ(readFrames(), 3);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[2].n, 3);
    EXPECT_TRUE(frames[2].pixels == framePattern(3));
}

TEST_F(MultiFrameTest, MissingPositionsFallBackToTheSliceLocation) {
    MultiFrame m = multiFrame(Layout::Implicit, 0, 2 * kFrameBytes);
    m.file.pixels(framePattern(1)).pixels(framePattern(2));
    use(m.file, "multi.dcm");
    ASSERT_EQ(readFrames(), 2);
    EXPECT_FLOAT_EQ(frames[0].position, -10.0f);
    EXPECT_FLOAT_EQ(frames[1].position, -10.0f);
}

TEST_F(MultiFrameTest, HandsOverNothingFromOtherSyntaxesOrMissingFiles) {
    MultiFrame m = multiFrame(Layout::ExplicitLittle, 2, 2 * kFrameBytes);
    DicomBytes other(Layout::ExplicitLittle);
    other.meta("1.2.840.10008.1.2.1.99");
    other.bytes.insert(other.bytes.end(), m.file.bytes.begin() + 128 + 4 + 8 + 20, m.file.bytes.end());
    use(other, "deflated.dcm");
    EXPECT_EQ(readFrames(), 0);
    EXPECT_EQ(dicom.header.VrMode, 2);

    store.currentPath = dir.file("missing.dcm");
    EXPECT_EQ(readFrames(), 0);
    EXPECT_EQ(dicom.header.VrMode, 3);

    dicom.header.VrMode = 1;
    store.currentPath.clear();
    EXPECT_EQ(readFrames(), 0);
    EXPECT_EQ(dicom.header.VrMode, 1);
    EXPECT_TRUE(frames.empty());
}

TEST_F(MultiFrameTest, NextPositionStaysInsideTheBuffer) {
    // The buffer ends at offset 450000: a value that would run past it reads
    // as empty, and after the last occurrence nothing more is found.
    DicomBytes f;
    f.meta(dicom_test::kImplicitSyntax)
        .fillTo(449970)
        .element(0x0020, 0x0032, "DS", "1\\2\\3 ")
        .fillTo(449996)
        .element(0x0020, 0x0032, "DS", "4\\5\\6 ")
        .padTo(460000);
    use(f, "edge.dcm");
    EXPECT_EQ(readFrames(), 0);  // no pixels: the buffer stays loaded, the cursor at 128
    EXPECT_EQ(dicom.TAGSTRNEXT("00200032", 0), "1\\2\\3");
    EXPECT_EQ(dicom.TAGSTRNEXT("00200032", 0), "");
    EXPECT_EQ(dicom.TAGSTRNEXT("00200032", 0), "");
}

TEST_F(DicomReaderTest, AnalysesImplicitExplicitAndBigEndianFiles) {
    for (Layout layout : {Layout::Implicit, Layout::ExplicitLittle, Layout::ExplicitBig}) {
        SCOPED_TRACE(dicom_test::layoutName(layout));
        size_t pixels = 0;
        analyse(ctSlice(layout, pixels));
        const DicomHeader& h = dicom.header;
        EXPECT_EQ(h.VrMode, static_cast<int>(layout));
        EXPECT_EQ(h.PatientName, "DOE^JOHN");
        EXPECT_FLOAT_EQ(h.SliceThickness, 0.625f);
        EXPECT_EQ(h.KVP, 120);
        EXPECT_FLOAT_EQ(h.ExposureTime, 0.5f);
        EXPECT_FLOAT_EQ(h.TubeCurrent, 287.5f);
        EXPECT_EQ(h.Exposure, 2);
        EXPECT_EQ(h.ConvolutionKernel, "FC03");
        EXPECT_FLOAT_EQ(h.CTDIvol, 12.346f);
        EXPECT_EQ(h.SeriesNumber, 6);
        EXPECT_FLOAT_EQ(h.SliceLocation, -37.0f);
        EXPECT_FLOAT_EQ(h.PixelSpacing, 0.625f);
        EXPECT_FLOAT_EQ(h.FOV, 320.0f);  // 512 columns x 0.625, not the diameter
        EXPECT_FLOAT_EQ(store.inverseDfov, 1.0f / 320);
        EXPECT_EQ(h.RescaleIntercept, -1024);
        EXPECT_EQ(store.workCtOffset, -1024);
        EXPECT_EQ(h.PixelOffset, static_cast<int32_t>(pixels));
        const std::vector<int16_t> stored = pixelsAt(path, h.PixelOffset);
        EXPECT_TRUE((layout == Layout::ExplicitBig ? byteSwapped(stored) : stored) == framePattern(0));
    }
}

TEST_F(DicomReaderTest, AnalysisFindsElementsOnlyInTheOrderRead) {
    // The kernel comes before the thickness: once the walk is past it, it is gone.
    DicomBytes f;
    f.meta(dicom_test::kImplicitSyntax)
        .text(0x0018, 0x1210, "SH", "FC03")
        .text(0x0018, 0x0050, "DS", "5")
        .us(0x0028, 0x0011, 512)
        .text(0x0028, 0x0030, "DS", "0.5\\0.5");
    f.pixelData(framePattern(0));
    analyse(f);
    EXPECT_EQ(dicom.header.VrMode, 0);
    EXPECT_EQ(dicom.header.ConvolutionKernel, "");
    EXPECT_FLOAT_EQ(dicom.header.SliceThickness, 5.0f);
    EXPECT_FLOAT_EQ(dicom.header.FOV, 256.0f);
}

TEST_F(DicomReaderTest, AnalysisKeepsTextAsStoredAndSkipsShortPixelElements) {
    DicomBytes f(Layout::ExplicitLittle);
    f.meta().element(0x0010, 0x0010, "PN", "HEADS ").header(0x7FE0, 0x0010, "OB", 64).raw(std::string(64, '\x11'));
    const size_t pixels = f.size() + 12;
    f.pixelData(framePattern(0));
    store.inverseDfov = 0.25f;
    analyse(f);
    EXPECT_EQ(dicom.header.VrMode, 1);
    EXPECT_EQ(dicom.header.PatientName, "HEADS ");
    EXPECT_EQ(dicom.header.PixelOffset, static_cast<int32_t>(pixels));
    // No columns, so no DFOV: its inverse stays as it was.
    EXPECT_FLOAT_EQ(dicom.header.FOV, 0.0f);
    EXPECT_FLOAT_EQ(store.inverseDfov, 0.25f);
}

TEST_F(DicomReaderTest, AnalysisAcceptsOnly400000To600000BytesAndKnownSyntaxes) {
    struct Case {
        std::string syntax;
        size_t length;
        int mode;
    };
    for (const Case& c : {Case{dicom_test::kImplicitSyntax, 399999, 3}, Case{dicom_test::kImplicitSyntax, 400000, 0},
                          Case{dicom_test::kImplicitSyntax, 600000, 0}, Case{dicom_test::kImplicitSyntax, 600001, 3},
                          Case{"1.2.840.10008.1.2.4.70", 500000, 3}}) {
        SCOPED_TRACE(c.syntax + " " + std::to_string(c.length));
        DicomBytes f;
        f.meta(c.syntax).text(0x0010, 0x0010, "PN", "X").padTo(c.length);
        analyse(f);
        EXPECT_EQ(dicom.header.VrMode, c.mode);
    }
}

// Hostile files: none may crash a reader (the sanitizer build watches the
// reads), and none may come out loadable with its pixels outside the file.
class HostileFileTest : public MultiFrameTest {
protected:
    void expectSafe(const std::string& name) {
        SCOPED_TRACE(name);
        store.currentPath = name.empty() ? std::string() : dir.file(name);
        const int64_t length = fileLength(store.currentPath);

        dicom_test::loadHeader(dicom, store);
        if (VrModes::littleEndian(dicom.header.VrMode)) {
            EXPECT_GE(dicom.header.PixelOffset, 0);
            EXPECT_LT(dicom.header.PixelOffset, length);
        }
        dicom_test::loadAnalysis(dicom, store);
        if (VrModes::littleEndian(dicom.header.VrMode)) {
            EXPECT_GE(dicom.header.PixelOffset, 0);
            EXPECT_LT(dicom.header.PixelOffset, length);
        }
        const int handed = readFrames();
        EXPECT_EQ(handed, static_cast<int>(frames.size()));
        for (const Frame& f : frames)
            EXPECT_LE(int64_t(dicom.header.PixelOffset) + int64_t(f.k + 1) * kFrameBytes, length);
    }
};

TEST_F(HostileFileTest, NeverCrashNorPointOutsideTheFile) {
    std::vector<std::string> corpus;
    auto add = [&](const std::string& name, const DicomBytes& f) {
        f.save(dir.file(name));
        corpus.push_back(name);
    };

    // Truncations of a good slice and of a good multi-frame file.
    size_t pixels = 0;
    const DicomBytes good = ctSlice(Layout::ExplicitLittle, pixels);
    for (size_t cut : {size_t{0}, size_t{100}, size_t{132}, pixels - 6, pixels - 2, pixels, size_t{40000},
                       size_t{400000}}) {
        DicomBytes t = good;
        t.bytes.resize(cut);
        add("cut" + std::to_string(cut), t);
    }
    DicomBytes multi = multiFrame(Layout::Implicit, 3, 3 * kFrameBytes).file;
    multi.bytes.resize(multi.size() - kFrameBytes - 1000);
    add("multi_cut", multi);

    // Lengths pointing past the end.
    DicomBytes longText;
    longText.meta(dicom_test::kImplicitSyntax).header(0x0010, 0x0010, "PN", 0xFFFFFFF0u).raw("X").padTo(450000);
    add("long_text", longText);
    DicomBytes longPixels;
    longPixels.meta(dicom_test::kImplicitSyntax).fillTo(449990).header(0x7FE0, 0x0010, "OW", 0x7FFFFFFFu);
    add("pixels_at_end", longPixels);
    DicomBytes endTag(Layout::ExplicitLittle);
    endTag.meta().fillTo(449998).raw(std::string("\xE0\x7F\x10\x00", 4));
    add("tag_at_buffer_end", endTag);
    // A long text carries the analysis to a Pixel Data tag whose length ends the file.
    DicomBytes walkToEnd;
    walkToEnd.meta(dicom_test::kImplicitSyntax);
    const auto textLength = static_cast<uint32_t>(500000 - 8 - walkToEnd.size() - 8);
    walkToEnd.header(0x0010, 0x0010, "PN", textLength).padTo(500000 - 8).header(0x7FE0, 0x0010, "OW", 0x100000);
    add("walk_to_end", walkToEnd);

    // A Pixel Data tag only inside a private element.
    DicomBytes privateTag(Layout::ExplicitLittle);
    privateTag.meta().header(0x0009, 0x1010, "OB", 1000).raw(std::string("\xE0\x7F\x10\x00OW\0\0\x00\x00\x10\x00", 12));
    privateTag.padTo(500000);
    add("private_tag", privateTag);

    // Noise with Pixel Data tags sprinkled in.
    std::mt19937 random(7);
    DicomBytes noise;
    noise.meta(dicom_test::kImplicitSyntax);
    while (noise.size() < 520000) {
        if (random() % 50 == 0) noise.raw(std::string("\xE0\x7F\x10\x00", 4));
        noise.bytes.push_back(static_cast<uint8_t>(random()));
    }
    add("noise", noise);

    std::filesystem::create_directory(dir.file("folder.dcm"));
    corpus.push_back("folder.dcm");
    corpus.push_back("missing.dcm");
    corpus.push_back("");

    for (const std::string& name : corpus) expectSafe(name);
}

}  // namespace
}  // namespace halvex
