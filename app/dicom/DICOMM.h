// Reading CT slices from DICOM files. The reader does not walk the data set:
// it loads the head of the file into a buffer, finds each wanted element by
// searching for its tag, and decodes that one element. Every search and read
// stays inside the buffer, whatever lengths a file claims.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "workspace/image_store.h"

namespace halvex {

// The values of the last header read. RescaleIntercept, FOV and PixelSpacing
// are the workspace's workCtOffset, currentDfov and pixelSize: a read starts
// from their values and leaves its results there as well.
struct DicomHeader {
    int16_t VrMode = 0;  // 0 implicit LE, 1 explicit LE, 2 other syntax or none, 3 size out of range or unreadable
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
};

class DICOMM {
public:
    explicit DICOMM(ImageStore& store) : store_(store) {}

    DicomHeader header;

    // Element readers on the current header buffer. key: 8 hex digits, group
    // then element ("00280030"); mode: 0 implicit, 1 explicit little endian.
    std::string TAGSTR(const std::string& key, int mode);
    std::string TAGSTRNEXT(const std::string& key, int mode);
    int32_t TAGNUM(const std::string& key, int mode);
    int32_t PIXPOS(int mode);
    int32_t PIXPOSMULTI(int mode);

    // Reads the header of the single-slice file store.currentPath.
    void DCMHDRREAD();

    // Reads store.currentPath as a multi-frame file: fills the header, then
    // for each frame k = 0 .. n-1 reads its pixels into store.workImage and
    // calls frame(k, n, position of frame k). Returns the number of frames
    // handed over (0 when the file holds none).
    int DCMMULTIREAD(const std::function<void(int k, int n, float position)>& frame);

    // The header analysis of a whole file used for single files and window
    // drops: reads store.currentPath completely and decodes its elements in
    // file order with the cursor rules of that analysis.
    void DCMANA();

    // The search key of a tag text: element * 65536 + group ("00280030" -> 0x00300028).
    static int32_t tagKey(const std::string& key);

private:
    // Sizes the header buffer, zeroes it and fills it with the first bytes of
    // store.currentPath.
    void loadHead(size_t size);
    // VrMode from the transfer syntax of the file meta group.
    int16_t transferSyntaxMode();
    // The fields that the single-slice and the multi-frame reader take alike.
    void readCommonFields(int mode);
    // PIXPOS and PIXPOSMULTI, which differ only in their search limits.
    int32_t locatePixels(int mode, int32_t firstLimit, int32_t secondLimit);

    ImageStore& store_;
    std::vector<uint8_t> buffer_;  // the header buffer of the last read
    int32_t nextCursor_ = 128;     // where TAGSTRNEXT searches from
};

}  // namespace halvex
