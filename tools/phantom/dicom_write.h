// The file forms of a phantom series: single-slice DICOM CT images in three
// transfer syntaxes, one multi-frame DICOM file, or headerless raw slices.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace phantom {

enum class FileForm { ImplicitLittle, ExplicitLittle, ExplicitBig, MultiFrame, Raw };

// Parses "implicit", "explicit", "bigendian", "multiframe", "raw"; false when unknown.
bool parseFileForm(const std::string& text, FileForm& form);
std::string fileFormName(FileForm form);
// The transfer syntax UID a form is written with (the multi-frame file is
// implicit VR little endian); empty for raw slices.
std::string transferSyntaxUid(FileForm form);

// Everything a header carries that is the same for every slice of the series.
struct SeriesHeader {
    std::string patientName = "PHANTOM^WATER";
    std::string kernel = "STANDARD";
    int seriesNumber = 1;
    double sliceThickness = 1.0;  // mm
    double kvp = 120.0;
    int tubeCurrent = 200;        // mA
    int exposure = 100;           // mAs
    int exposureTimeMs = 500;
    double ctdiVol = 12.3456;     // mGy
    double dfov = 250.0;          // mm
    std::string uidRoot;          // study, series, frame and instance UIDs hang below it
};

// Shortest decimal text of at most 16 characters (the DS limit) for v.
std::string decimalText(double v);

// A single-slice file: everything up to and including the Pixel Data
// element's length, so that the caller appends the 512 x 512 pixels with
// appendPixels. `instance` is 1-based, z the slice position in mm.
std::vector<uint8_t> sliceFileHead(const SeriesHeader& series, FileForm form, int instance, double z);

// The head of the multi-frame file for frames at the positions z (in frame
// order); all frames' pixels follow it one after another.
std::vector<uint8_t> multiFrameHead(const SeriesHeader& series, const std::vector<double>& z);

// Appends int16 pixels in little- or big-endian byte order.
void appendPixels(std::vector<uint8_t>& out, std::span<const int16_t> pixels, bool bigEndian);

// A 128-bit number from text, as a decimal UID root "2.25.<number>".
std::string uidRootFromText(const std::string& text);

}  // namespace phantom
