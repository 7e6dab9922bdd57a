// The DICOM reader on CT files written by independent software: pydicom
// (implicit and explicit VR little endian) and dcmtk's dump2dcm (implicit,
// explicit and big endian). Each header value must come out as written, with
// the reader's conversions, and the pixels at PixelOffset must be the ones
// written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "dicom/DICOMM.h"
#include "dicom_test_files.h"
#include "platform/files.h"

namespace halvex {
namespace {

using dicom_test::framePattern;
using dicom_test::kFrameBytes;

bool run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::trunc);
    out << text;
}

std::vector<int16_t> pixelsAt(const std::string& path, int64_t offset, bool bigEndian) {
    std::vector<int16_t> values(dicom_test::kFramePixels);
    readAt(path, offset, values.data(), kFrameBytes);
    if (bigEndian)
        for (int16_t& v : values) v = static_cast<int16_t>(static_cast<uint16_t>(v) << 8 | static_cast<uint16_t>(v) >> 8);
    return values;
}

// The Debian packages belong to /usr/bin/python3, whatever comes first on PATH.
constexpr const char* kPython = "/usr/bin/python3";

// Writes a CT slice with pydicom: argv[1] path, argv[2] "implicit" or
// "explicit". The explicit file has no reconstruction diameter, so the reader
// takes its DFOV from the pixel spacing. Pixels follow framePattern(0).
constexpr const char* kPydicomScript = R"PY(
import sys
import numpy as np
from pydicom.dataset import FileDataset, FileMetaDataset
from pydicom.uid import ImplicitVRLittleEndian, ExplicitVRLittleEndian

path, form = sys.argv[1], sys.argv[2]
implicit = form == "implicit"
meta = FileMetaDataset()
meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.2"
meta.MediaStorageSOPInstanceUID = "1.2.826.0.1.3680043.8.498.1"
meta.TransferSyntaxUID = ImplicitVRLittleEndian if implicit else ExplicitVRLittleEndian
ds = FileDataset(path, {}, file_meta=meta, preamble=b"\0" * 128)
ds.is_little_endian = True
ds.is_implicit_VR = implicit
ds.SOPClassUID = meta.MediaStorageSOPClassUID
ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
ds.Modality = "CT"
ds.PatientName = "CROSS^CHECK"
ds.SliceThickness = "1.25"
ds.KVP = "120"
if implicit:
    ds.ReconstructionDiameter = "350.0"
ds.ExposureTime = "750"
ds.XRayTubeCurrent = "300"
ds.Exposure = "225"
ds.ConvolutionKernel = "B30f"
ds.CTDIvol = 12.3456
ds.SeriesNumber = "4"
ds.ImagePositionPatient = ["-175", "-175", "-42.5"]
ds.SliceLocation = "-41.5"
ds.SamplesPerPixel = 1
ds.PhotometricInterpretation = "MONOCHROME2"
ds.Rows = 512
ds.Columns = 512
ds.PixelSpacing = ["0.68359375", "0.68359375"]
ds.BitsAllocated = 16
ds.BitsStored = 16
ds.HighBit = 15
ds.PixelRepresentation = 1
ds.RescaleIntercept = "-1024"
ds.RescaleSlope = "1"
i = np.arange(512 * 512, dtype=np.int64)
ds.PixelData = ((37 * i) % 4096 - 1024).astype("<i2").tobytes()
ds.save_as(path, write_like_original=False)
)PY";

// The same kind of slice as a dcmtk dump; the pixels come from a raw file.
std::string dcmtkDump(const std::string& pixelFile) {
    return "(0008,0016) UI [1.2.840.10008.5.1.4.1.1.2]\n"
           "(0008,0018) UI [1.2.826.0.1.3680043.8.498.2]\n"
           "(0008,0060) CS [CT]\n"
           "(0010,0010) PN [DUMP^TEST]\n"
           "(0018,0050) DS [2.5]\n"
           "(0018,0060) DS [140]\n"
           "(0018,0090) DS [500]\n"
           "(0018,1100) DS [300]\n"
           "(0018,1150) IS [1000]\n"
           "(0018,1151) IS [150]\n"
           "(0018,1152) IS [151]\n"
           "(0018,1210) SH [FC13]\n"
           "(0018,9345) FD 7.25\n"
           "(0020,000d) UI [1.2.826.0.1.3680043.8.498.3]\n"
           "(0020,000e) UI [1.2.826.0.1.3680043.8.498.4]\n"
           "(0020,0011) IS [12]\n"
           "(0020,0032) DS [-150\\-150\\12.75]\n"
           "(0020,1041) DS [12.5]\n"
           "(0028,0002) US 1\n"
           "(0028,0004) CS [MONOCHROME2]\n"
           "(0028,0010) US 512\n"
           "(0028,0011) US 512\n"
           "(0028,0030) DS [0.5859375\\0.5859375]\n"
           "(0028,0100) US 16\n"
           "(0028,0101) US 16\n"
           "(0028,0102) US 15\n"
           "(0028,0103) US 1\n"
           "(0028,1052) DS [-1000]\n"
           "(0028,1053) DS [1]\n"
           "(7fe0,0010) OW =" +
           pixelFile + "\n";
}

class DicomCrossCheck : public ::testing::Test {
protected:
    dicom_test::TempDir dir;
    ImageStore store;
    DICOMM dicom;

    void readHeader(const std::string& path) {
        store.currentPath = path;
        dicom_test::loadHeader(dicom, store);
    }
};

TEST_F(DicomCrossCheck, ReadsSlicesWrittenByPydicom) {
    ASSERT_TRUE(run(std::string(kPython) + " -c 'import pydicom, numpy'"))
        << "python3-pydicom and python3-numpy are needed for /usr/bin/python3 (scripts/setup.sh installs them)";
    const std::string script = dir.file("write_ct.py");
    writeText(script, kPydicomScript);

    for (const std::string form : {"implicit", "explicit"}) {
        SCOPED_TRACE(form);
        const std::string path = dir.file(form + ".dcm");
        ASSERT_TRUE(run(std::string(kPython) + " " + script + " " + path + " " + form)) << "pydicom could not write";
        store.pixelSize = 0.1f;
        readHeader(path);
        const DicomHeader& h = dicom.header;
        EXPECT_EQ(h.VrMode, form == "implicit" ? 0 : 1);
        EXPECT_EQ(h.PatientName, "CROSS^CHECK");
        EXPECT_FLOAT_EQ(h.SliceThickness, 1.25f);
        EXPECT_EQ(h.KVP, 120);
        EXPECT_FLOAT_EQ(h.FOV, 350.0f);  // implicit: the diameter; explicit: 512 x 0.68359375
        EXPECT_FLOAT_EQ(h.PixelSpacing, form == "implicit" ? 0.1f : 0.68359375f);
        EXPECT_FLOAT_EQ(h.ExposureTime, 0.75f);
        EXPECT_FLOAT_EQ(h.TubeCurrent, 300.0f);
        EXPECT_EQ(h.Exposure, 225);
        EXPECT_EQ(h.ConvolutionKernel, "B30f");
        EXPECT_FLOAT_EQ(h.CTDIvol, 12.346f);
        EXPECT_EQ(h.SeriesNumber, 4);
        EXPECT_FLOAT_EQ(h.ZPosition, -42.5f);
        EXPECT_FLOAT_EQ(h.SliceLocation, -41.5f);
        EXPECT_EQ(h.RescaleIntercept, -1024);
        EXPECT_EQ(h.PixelLength, kFrameBytes);
        EXPECT_EQ(int64_t(h.PixelOffset) + kFrameBytes, fileLength(path));  // pixels end the file
        EXPECT_TRUE(pixelsAt(path, h.PixelOffset, false) == framePattern(0));

        // The whole-file analysis agrees.
        dicom_test::loadAnalysis(dicom, store);
        EXPECT_EQ(h.VrMode, form == "implicit" ? 0 : 1);
        EXPECT_EQ(h.PatientName, "CROSS^CHECK ");  // kept with its pad blank
        EXPECT_FLOAT_EQ(h.FOV, 350.0f);
        EXPECT_FLOAT_EQ(store.inverseDfov, 1.0f / 350);
        EXPECT_FLOAT_EQ(h.CTDIvol, 12.346f);
        EXPECT_EQ(h.Exposure, 225);
        EXPECT_EQ(h.RescaleIntercept, -1024);
        EXPECT_TRUE(pixelsAt(path, h.PixelOffset, false) == framePattern(0));
    }
}

TEST_F(DicomCrossCheck, ReadsSlicesWrittenByDcmtk) {
    ASSERT_TRUE(run("dump2dcm --version")) << "dcmtk's dump2dcm is needed (package dcmtk; scripts/setup.sh installs it)";
    const std::string pixelFile = dir.file("pixels.raw");
    const std::vector<int16_t> pixels = framePattern(0);
    ASSERT_TRUE(writeAt(pixelFile, 0, pixels.data(), kFrameBytes));
    const std::string dump = dir.file("ct.dump");
    writeText(dump, dcmtkDump(pixelFile));

    struct Form {
        const char* option;
        int mode;
    };
    for (Form form : {Form{"+ti", 0}, Form{"+te", 1}, Form{"+tb", 2}}) {
        SCOPED_TRACE(form.option);
        const std::string path = dir.file(std::string(form.option + 1) + ".dcm");
        ASSERT_TRUE(run(std::string("dump2dcm ") + form.option + " " + dump + " " + path)) << "dump2dcm failed";

        readHeader(path);
        const DicomHeader& h = dicom.header;
        EXPECT_EQ(h.VrMode, form.mode);
        if (form.mode < 2) {
            EXPECT_EQ(h.PatientName, "DUMP^TEST");
            EXPECT_FLOAT_EQ(h.SliceThickness, 2.5f);
            EXPECT_EQ(h.KVP, 140);
            EXPECT_FLOAT_EQ(h.FOV, 300.0f);
            EXPECT_FLOAT_EQ(h.ExposureTime, 1.0f);
            EXPECT_FLOAT_EQ(h.TubeCurrent, 150.0f);
            EXPECT_EQ(h.Exposure, 151);
            EXPECT_EQ(h.ConvolutionKernel, "FC13");
            EXPECT_FLOAT_EQ(h.CTDIvol, 7.25f);
            EXPECT_EQ(h.SeriesNumber, 12);
            EXPECT_FLOAT_EQ(h.ZPosition, 12.75f);
            EXPECT_FLOAT_EQ(h.SliceLocation, 12.5f);
            EXPECT_EQ(h.RescaleIntercept, -1000);
            EXPECT_EQ(h.PixelLength, kFrameBytes);
            EXPECT_TRUE(pixelsAt(path, h.PixelOffset, false) == pixels);
        }

        // The whole-file analysis reads all three, big endian included.
        dicom_test::loadAnalysis(dicom, store);
        EXPECT_EQ(h.VrMode, form.mode);
        EXPECT_EQ(h.PatientName, "DUMP^TEST ");  // kept with its pad blank
        EXPECT_EQ(h.KVP, 140);
        EXPECT_FLOAT_EQ(h.ExposureTime, 1.0f);
        EXPECT_EQ(h.ConvolutionKernel, "FC13");
        EXPECT_FLOAT_EQ(h.CTDIvol, 7.25f);
        EXPECT_EQ(h.SeriesNumber, 12);
        EXPECT_FLOAT_EQ(h.SliceLocation, 12.5f);
        EXPECT_FLOAT_EQ(h.FOV, 300.0f);  // 512 x 0.5859375
        EXPECT_EQ(h.RescaleIntercept, -1000);
        EXPECT_TRUE(pixelsAt(path, h.PixelOffset, form.mode == 2) == pixels);
    }
}

}  // namespace
}  // namespace halvex
