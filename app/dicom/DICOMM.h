// Reading CT slices from DICOM files. The reader loads the head of the file
// into a buffer, walks its elements from the start of the data set (so that a
// tag counts only where an element begins), and decodes the elements it
// wants. Every read stays inside the buffer, whatever lengths a file claims.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dicom/data_set.h"

namespace halvex {

// How a file's data set is encoded, as a read found it (DicomHeader::VrMode).
struct VrModes {
    static constexpr int16_t ImplicitLittle = 0;
    static constexpr int16_t ExplicitLittle = 1;
    // The whole-file analysis: explicit VR big endian. The header reads: any
    // syntax other than the two little-endian ones, or none.
    static constexpr int16_t BigEndianOrOther = 2;
    // Too short or too long to be a slice, unreadable, or (analysis) a
    // syntax the analysis does not know.
    static constexpr int16_t Unreadable = 3;

    static bool littleEndian(int mode) { return mode == ImplicitLittle || mode == ExplicitLittle; }
};

// How a file keeps its pixels: plainly, where the reader takes them from the
// file itself; compressed in an encapsulated Pixel Data element (JPEG,
// JPEG-LS, JPEG 2000, RLE), whose header before the pixels is still plain
// explicit VR little endian; or in a deflated data set, which hides the
// header as well. The last two are decoded by the decoding library.
enum class PixelEncoding { Plain, Encapsulated, Deflated };
PixelEncoding pixelEncodingOf(std::string_view transferSyntax);

// The values of the last header read. A file may lack the intercept, the
// DFOV or the pixel spacing: a read starts them from the values the caller
// passes (the workspace's), so such a file keeps those.
struct DicomHeader {
    int16_t VrMode = 0;  // one of VrModes
    PixelEncoding Encoding = PixelEncoding::Plain;
    std::string PatientName;
    float SliceThickness = 0;
    int16_t KVP = 0;
    float FOV = 0;
    float ExposureTime = 0;  // seconds
    float TubeCurrent = 0;
    int16_t Exposure = 0;
    std::string ConvolutionKernel;
    float CTDIvol = 0;
    int32_t SeriesNumber = 0;
    float ZPosition = 0;
    float SliceLocation = 0;
    float PixelSpacing = 0;
    int16_t RescaleIntercept = 0;
    int32_t PixelOffset = 0;
    int32_t PixelLength = 0;
    // Where the file's element structure broke (a length past its end)
    // before the pixels, so that only what came before could be read; -1
    // when it held.
    int64_t BrokenAt = -1;
};

// Where a header read starts the intercept, DFOV and pixel spacing.
struct SliceGeometry {
    int16_t ctOffset = 0;
    float dfov = 0;
    float pixelSize = 0;
};

class DICOMM {
public:
    // The last header read.
    DicomHeader header;

    // Element readers on the elements of the current header buffer. key: 8
    // hex digits, group then element ("00280030"); mode: VrModes::ImplicitLittle
    // or ExplicitLittle (any other reads nothing). TAGSTR and TAGNUM take the
    // element of the data set itself, TAGSTRNEXT the next one at any depth
    // (per-frame values lie in sequence items).
    std::string TAGSTR(const std::string& key, int mode);
    std::string TAGSTRNEXT(const std::string& key, int mode);
    int32_t TAGNUM(const std::string& key, int mode);
    // The offset of the image's first pixel byte (0 when the walk reached no
    // image); sets PixelLength to its value length.
    int32_t PIXPOS(int mode);

    // Reads the header of the single-slice file at `path` into `header`.
    const DicomHeader& DCMHDRREAD(const std::string& path, const SliceGeometry& start);

    // Reads the header of the multi-frame file at `path` into `header` and
    // returns the position of each frame the file holds completely (none
    // when the file holds no readable frame).
    std::vector<float> DCMMULTIREAD(const std::string& path, const SliceGeometry& start);
    // The z of each of `count` frames of the file at `path` (explicit VR
    // little endian), from its successive image positions; a frame without
    // one gets `fallback`.
    std::vector<float> framePositions(const std::string& path, int count, float fallback);
    // The encoding of the file at `path`, from its transfer syntax.
    PixelEncoding encodingOf(const std::string& path);
    // Reads frame k of the multi-frame file whose header was read last into
    // `image` (262144 values); false when the file ends before the frame does.
    bool readFrame(const std::string& path, int k, int16_t* image) const;

    // The header analysis of a whole file used for single files and window
    // drops: reads `path` completely and decodes its elements in file order
    // with the cursor rules of that analysis.
    const DicomHeader& DCMANA(const std::string& path, const SliceGeometry& start);

    // The search key of a tag text: element * 65536 + group ("00280030" -> 0x00300028).
    static int32_t tagKey(const std::string& key);

    // Loads the head of the file at `path` as far as the single-slice reader
    // reads, so that a file of any size is read only that far; of `header`
    // only BrokenAt changes. Returns the file's length, -1 when it can't be
    // read.
    int64_t loadSearchHead(const std::string& path);
    // True when the head loaded last holds "DICM" after the 128-byte preamble.
    bool hasDicomPrefix() const;

private:
    // Fills the header buffer with the first `size` bytes of the file at
    // `path` (fewer when it is shorter), walks its elements and sets
    // header.BrokenAt; returns the file's length, -1 when it can't be read.
    int64_t loadHead(const std::string& path, size_t size);
    void startFrom(const SliceGeometry& start);
    // VrMode from the transfer syntax of the file meta group; sets
    // header.Encoding. Encapsulated files read as explicit VR little endian.
    int16_t transferSyntaxMode();
    // Fills `positions` from the successive image positions of the buffer.
    void fillFramePositions(std::vector<float>& positions, int mode);
    // The fields that the single-slice and the multi-frame reader take alike.
    void readCommonFields(int mode);

    std::vector<uint8_t> buffer_;  // the header buffer of the last read
    DataSet dataSet_;              // its elements
    int32_t nextCursor_ = 0;       // where TAGSTRNEXT looks from
};

}  // namespace halvex
